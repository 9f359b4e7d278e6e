// The automation methods of ZLKBtr.
#include <dlfcn.h>

#include <cstring>

#include "btrieve/btrapi.h"
#include "controls/zlkbtr.h"
#include "engine/extended_access.h"
#include "engine/field_conversion.h"
#include "engine/messages.h"
#include "engine/module.h"
#include "engine/record_image.h"
#include "engine/table_access.h"
#include "zplatform/codepage.h"
#include "zplatform/messages.h"
#include "zplatform/paths.h"

namespace zelko {
namespace {

std::string Cp(const Variant &v) {
  return zplatform::FromUtf8(v.AsString().value_or(std::string()));
}
int Int(const Variant &v) {
  return v.AsInteger().value_or(0);
}
Variant Text(const std::string &cp) {
  return Variant::String(zplatform::ToUtf8(cp));
}

}  // namespace

int16_t ZlkBtr::FindTable(const Variant &name, Need need, TableDescriptor **table) {
  if (catalog_ == nullptr) return -20;
  // A null name is no name: no table matches it.
  int t = name.IsNull() ? -1 : FindTableByName(*catalog_, Cp(name));
  if (t < 0) return -4;
  *table = &catalog_->tables[t];
  if (need == Need::kOpen && !(*table)->open) return -3;
  if (need == Need::kClosed && (*table)->open) return -2;
  return 0;
}

HResult ZlkBtr::DoInvoke(const MethodInfo &m, std::vector<Variant> &a, Variant *result) {
  // The status goes into the last argument.
  auto rc = [&](int v) {
    a.back() = Variant::I2(static_cast<int16_t>(v));
    return kOk;
  };
  TableDescriptor *t = nullptr;
  int16_t s;
  BindingRegistry &registry = Module::Get().registry;
  switch (m.dispid) {
    case -552:
      zplatform::MessageService::Instance().ShowFormatted(
          zplatform::MessageButtons::kOk, zplatform::MessageIcon::kInformation,
          "Zelko データ・コントロール バージョン 3.00");
      return kOk;
    case 6:  // DbOpen
      if ((s = FindTable(a[0], Need::kClosed, &t)) != 0) return rc(s);
      s = EngineOpen(*catalog_, *t, DdfDirectory(), Owner(), open_mode_);
      if (s > 0) {
        int16_t shown = s;
        FireBtrieveError(t->name, &shown);
        if (shown != 0) ShowMessage(msg::kVE803, t->name.c_str(), s);
      }
      return rc(s);
    case 7:  // DbClose
      if ((s = FindTable(a[0], Need::kOpen, &t)) != 0) return rc(s);
      return rc(EngineClose(*t));
    case 8:  // GetUseCount: pRc stays as passed
      return kOk;
    case 9:  // DbIsOpen
      if (catalog_ == nullptr) {
        *result = Variant::I2(0);
      } else {
        s = FindTable(a[0], Need::kAny, &t);
        *result = Variant::I2(s != 0 ? s : (t->open ? 1 : 0));
      }
      return kOk;
    case 10:  // DbGetFieldData
      if (FindTable(a[0], Need::kAny, &t) != 0) {
        *result = Variant::Null();
      } else {
        *result = Text(ReadFieldByName(*t, Cp(a[1])));
      }
      return kOk;
    case 11:  // DbSetFieldData
      if ((s = FindTable(a[0], Need::kAny, &t)) != 0) return rc(s);
      return rc(WriteFieldByName(*t, Cp(a[1]), Cp(a[2])));
    case 12:  // DbAccess
      if ((s = FindTable(a[1], Need::kOpen, &t)) != 0) return rc(s);
      {
        int index = FindIndexByName(*t, Cp(a[2]));
        if (index < 0) return rc(-6);
        return rc(EngineAccess(*t, Int(a[0]), index));
      }
    case 13:  // DbTransferToControl
      if ((s = FindTable(a[0], Need::kAny, &t)) != 0) return rc(s);
      return rc(registry.TransferToControls(*this, *t));
    case 14:  // DbTransferFromControl
      if ((s = FindTable(a[0], Need::kAny, &t)) != 0) return rc(s);
      return rc(registry.TransferFromControls(*this, *t));
    case 15:
      return rc(EngineBeginTransaction(Int(a[0])));
    case 16:
      return rc(EngineEndTransaction());
    case 17:
      return rc(EngineAbortTransaction());
    case 18:
      return rc(EngineBeginConcurrentTransaction(Int(a[0])));
    case 19:  // DbClearControlData
      if ((s = FindTable(a[0], Need::kAny, &t)) != 0) return rc(s);
      return rc(registry.ClearControls(*this, *t));
    case 20:  // DbUnlock
      if ((s = FindTable(a[0], Need::kOpen, &t)) != 0) return rc(s);
      return rc(EngineUnlock(*t, Int(a[1])));
    case 21:  // DbGetPosition
      *result = Variant::I4(FindTable(a[0], Need::kOpen, &t) != 0 ? -1 : EngineGetPosition(*t));
      return kOk;
    case 22:  // DbGetDirect
      if ((s = FindTable(a[0], Need::kOpen, &t)) != 0) return rc(s);
      {
        std::string index_name = Cp(a[2]);
        int index = FindIndexByName(*t, index_name);
        if (index < 0 && !index_name.empty()) return rc(-6);
        return rc(EngineGetDirect(*t, Int(a[1]), index));
      }
    case 23:    // DbGetDataSize
    case 24: {  // DbGetDataType
      if ((s = FindTable(a[0], Need::kAny, &t)) != 0) {
        *result = Variant::I2(s);
        return kOk;
      }
      int f = FindFieldByName(*t, Cp(a[1]));
      *result = Variant::I2(static_cast<int16_t>(f < 0            ? -5
                                                 : m.dispid == 23 ? t->fields[f].size
                                                                  : t->fields[f].data_type));
      return kOk;
    }
    case 25:  // DbGetByPercentage
      if ((s = FindTable(a[0], Need::kOpen, &t)) != 0) return rc(s);
      {
        std::string key = Cp(a[1]);
        int index = key.empty() ? -1 : FindIndexByName(*t, key);
        if (index < 0 && !key.empty()) return rc(-6);
        return rc(EngineGetByPercentage(*t, index, static_cast<int16_t>(Int(a[2]))));
      }
    case 26:  // DbFindPercentage
      if ((s = FindTable(a[0], Need::kOpen, &t)) != 0) return rc(s);
      {
        std::string key = Cp(a[1]);
        int index = key.empty() ? -1 : FindIndexByName(*t, key);
        if (index < 0 && !key.empty()) return rc(-6);
        int16_t percent = 0;
        s = EngineFindPercentage(*t, index, Int(a[2]), &percent);
        if (s == 0) a[3] = Variant::I2(percent);
        return rc(s);
      }
    case 27: {  // DbExGetFieldData
      if (catalog_ == nullptr) {
        *result = Variant::String("");
        return kOk;
      }
      *result = Text(ExGetFieldDataByName(Int(a[0]), Cp(a[1]), Int(a[2])));
      return kOk;
    }
    case 28:
      *result = Variant::I4(catalog_ == nullptr ? -1 : ExGetPosition(Int(a[0]), Int(a[1])));
      return kOk;
    case 29:
      *result = Variant::I2(static_cast<int16_t>(ExFree(Int(a[0]))));
      return kOk;
    case 30: {  // DbExAccess
      if ((s = FindTable(a[1], Need::kOpen, &t)) != 0) return rc(s);
      std::string key = Cp(a[4]);
      int index = FindIndexByName(*t, key);
      if (index < 0) return rc(-6);
      int16_t id = Int(a[8]), count = Int(a[9]);
      s = ExAccess(Int(a[0]), *t, Cp(a[2]), Cp(a[3]), index, Int(a[5]), Int(a[6]), Int(a[7]) != 0,
                   &id, &count);
      a[8] = Variant::I2(id);
      a[9] = Variant::I2(count);
      return rc(s);
    }
    case 31:  // DbCreate
      if ((s = FindTable(a[0], Need::kClosed, &t)) != 0) return rc(s);
      {
        std::string dir = DdfDirectory();
        s = EngineCreate(*catalog_, *t,
                         ResolveDataFilePath(*t, zplatform::ShortPathName(dir).value_or(dir)));
        if (s > 0) {
          int16_t shown = s;
          FireBtrieveError(t->name, &shown);  // VE007 has been shown already
        }
        return rc(s);
      }
    case 32: {  // DbGetNumOfRecords
      if ((s = FindTable(a[0], Need::kOpen, &t)) != 0) return rc(s);
      int32_t count = 0;
      s = EngineRecordCount(*t, &count);
      if (s == 0) a[1] = Variant::I4(count);
      return rc(s);
    }
    case 33: {  // DbExSetMode
      std::string mode = Cp(a[0]);
      if (mode.size() != 2) return rc(-1);
      ex_mode_ = mode;
      Module::Get().ex_mode = mode;
      return rc(0);
    }
    case 34: {  // DbSetFileName
      if ((s = FindTable(a[0], Need::kClosed, &t)) != 0) return rc(s);
      std::string name = Cp(a[1]);
      if (name.size() > 64) return rc(-1);
      t->location = name;
      return rc(0);
    }
    case 35:  // DbClearFieldBuffer
      if ((s = FindTable(a[0], Need::kOpen, &t)) != 0) return rc(s);
      ClearRecordBuffer(*t);
      return rc(0);
    case 36: {  // DbGetFieldDataByID
      int id = Int(a[0]);
      if (catalog_ == nullptr || id < 0 || id >= catalog_->TableCount()) {
        *result = Variant::String("");
        return kOk;
      }
      *result = Text(ReadFieldByNumber(catalog_->tables[id], Int(a[1])));
      return kOk;
    }
    case 37: {  // DbSetFieldDataByID
      if (catalog_ == nullptr) return rc(-20);
      int id = Int(a[0]);
      if (id < 0 || id >= catalog_->TableCount()) return rc(-4);
      t = &catalog_->tables[id];
      if (!t->open) return rc(-3);
      return rc(WriteFieldByNumber(*t, Int(a[1]), Cp(a[2])));
    }
    case 38:  // DbGetRecord
    case 39:  // DbSetRecord
      if ((s = FindTable(a[0], Need::kOpen, &t)) != 0) return rc(s);
      return rc(m.dispid == 38 ? GetRecordTexts(*t, a[1]) : SetRecordTexts(*t, a[1]));
    case 41: {  // DbOpenAll
      if (catalog_ == nullptr) return rc(-20);
      for (TableDescriptor &table : catalog_->tables) {
        if (table.open) continue;
        s = EngineOpen(*catalog_, table, DdfDirectory(), Owner(), open_mode_);
        if (s != 0) {
          int16_t shown = s;
          FireBtrieveError(table.name, &shown);
          if (shown != 0) ShowMessage(msg::kVE803, table.name.c_str(), s);
          return rc(s);
        }
      }
      return rc(0);
    }
    case 42: {  // DbCloseAll
      if (catalog_ == nullptr) return rc(-20);
      for (TableDescriptor &table : catalog_->tables) {
        if (!table.open) continue;
        s = EngineClose(table);
        if (s != 0) {
          int16_t shown = s;
          FireBtrieveError(table.name, &shown);
          if (shown != 0) ShowMessage(msg::kVE813, table.name.c_str(), s);
          return rc(s);
        }
      }
      return rc(0);
    }
    case 43:
      return rc(DbLoadDDF());
    case 44:  // DbReset
      if (catalog_ != nullptr) CloseAllTables(*catalog_);
      return rc(EngineReset());
    case 45:  // DbGetRecordLength
      if ((s = FindTable(a[0], Need::kAny, &t)) != 0) return rc(s);
      a[1] = Variant::I4(t->record_length);
      return rc(0);
    case 46:  // DbGetRecordImage
    case 47:  // DbSetRecordImage
    case 48:  // DbGetPosBlock
      if ((s = FindTable(a[0], Need::kAny, &t)) != 0) return rc(s);
      return rc(m.dispid == 46   ? GetRecordImage(*t, a[1])
                : m.dispid == 47 ? SetRecordImage(*t, a[1])
                                 : GetPositionBlock(*t, a[1]));
    case 49: {  // DbAccessByID
      if (catalog_ == nullptr) return rc(-20);
      int id = Int(a[1]);
      if (id < 0 || id >= catalog_->TableCount()) return rc(-15);
      t = &catalog_->tables[id];
      if (!t->open) return rc(-3);
      s = EngineAccess(*t, Int(a[0]), Int(a[2]));
      return rc(s);
    }
    case 50: {  // DbGetModulePath
      Dl_info info;
      if (dladdr(reinterpret_cast<void *>(&BTRCALL), &info) == 0 || info.dli_fname == nullptr)
        return rc(-1);
      a[0] = Variant::String(info.dli_fname);
      return rc(0);
    }
    case 51:
      return rc(DbSetLockBias(Int(a[0])));
    case 52:
      if (catalog_ == nullptr) return rc(-20);
      a[0] = Variant::I2(static_cast<int16_t>(catalog_->TableCount()));
      return rc(0);
    case 53:
      if ((s = FindTable(a[0], Need::kAny, &t)) != 0) return rc(s);
      a[1] = Variant::I2(static_cast<int16_t>(t->FieldCount()));
      return rc(0);
    case 54: {  // DbGetTableName
      if (catalog_ == nullptr) return rc(-20);
      int id = Int(a[0]);
      if (id < 0 || id >= catalog_->TableCount()) return rc(-4);
      a[1] = Text(catalog_->tables[id].name);
      return rc(0);
    }
    case 55: {  // DbGetFieldName
      if ((s = FindTable(a[0], Need::kAny, &t)) != 0) return rc(s);
      int id = Int(a[1]);
      if (id < 0 || id >= t->FieldCount()) return rc(-13);
      a[2] = Text(t->fields[id].name);
      return rc(0);
    }
    case 56:
      if ((s = FindTable(a[0], Need::kAny, &t)) != 0) return rc(s);
      a[1] = Variant::I2(static_cast<int16_t>(t->SegmentCount()));
      return rc(0);
    case 57: {  // DbGetIndexName
      if ((s = FindTable(a[0], Need::kAny, &t)) != 0) return rc(s);
      int id = Int(a[1]);
      if (id < 0 || id >= t->SegmentCount()) return rc(-14);
      for (const FieldDescriptor &f : t->fields) {
        if (f.field_id == t->segments[id].field_id) {
          a[2] = Text(f.name);
          return rc(0);
        }
      }
      return rc(-4);
    }
    default:
      return kMemberNotFound;
  }
}

}  // namespace zelko
