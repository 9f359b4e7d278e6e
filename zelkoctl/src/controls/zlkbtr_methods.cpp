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
#include "frame/class_table.h"
#include "zelkoctl/zelkoapi.h"
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
  if (catalog_ == nullptr) return DB_NO_DICTIONARY;
  // A null name is no name: no table matches it.
  int t = name.IsNull() ? -1 : FindTableByName(*catalog_, Cp(name));
  if (t < 0) return DB_TABLE_NOT_FOUND;
  *table = &catalog_->tables[t];
  if (need == Need::kOpen && !(*table)->open) return DB_TABLE_NOT_OPEN;
  if (need == Need::kClosed && (*table)->open) return DB_TABLE_OPEN;
  return 0;
}

std::vector<MethodInfo> ZlkBtr::MethodTable() {
  using namespace table;
  // A method on the table the first argument names: the checks -20, -4 and -3 or -2 first.
  auto OnTable = [](Need need, auto f) {
    return [need, f](ZlkBtr &b, Args &a) -> int {
      TableDescriptor *t = nullptr;
      if (int16_t s = b.FindTable(a[0], need, &t)) return s;
      return f(b, t, a);
    };
  };
  const ParamInfo rc{"pRc", true}, table{"TableName", false}, field{"FieldName", false};
  auto by_name = [](int dispid) {
    // DbGetDataSize (23) and DbGetDataType (24): a field's declared size or type code.
    return [dispid](ZlkBtr &b, Args &a) {
      TableDescriptor *t = nullptr;
      if (int16_t s = b.FindTable(a[0], Need::kAny, &t)) return Variant::I2(s);
      int f = FindFieldByName(*t, Cp(a[1]));
      return Variant::I2(static_cast<int16_t>(f < 0          ? DB_FIELD_NOT_FOUND
                                              : dispid == 23 ? t->fields[f].size
                                                             : t->fields[f].data_type));
    };
  };
  return {
      Method<ZlkBtr>("About", -552, {}, false,
                     [](ZlkBtr &, Args &, Variant *) {
                       zplatform::MessageService::Instance().ShowFormatted(
                           zplatform::MessageButtons::kOk, zplatform::MessageIcon::kInformation,
                           "Zelko データ・コントロール バージョン 3.00");
                       return kOk;
                     }),
      StatusMethod<ZlkBtr>("DbOpen", 6, {table, rc},
                           OnTable(Need::kClosed,
                                   [](ZlkBtr &b, TableDescriptor *t, Args &) -> int {
                                     int16_t s = EngineOpen(*b.catalog_, *t, b.DdfDirectory(),
                                                            b.Owner(), b.open_mode_);
                                     if (s > 0) b.ReportFailure(*t, s, msg::kVE803);
                                     return s;
                                   })),
      StatusMethod<ZlkBtr>(
          "DbClose", 7, {table, rc},
          OnTable(Need::kOpen,
                  [](ZlkBtr &, TableDescriptor *t, Args &) -> int { return EngineClose(*t); })),
      // pRc stays as the caller passed it.
      Method<ZlkBtr>("GetUseCount", 8, {rc}, false,
                     [](ZlkBtr &, Args &, Variant *) { return kOk; }),
      ResultMethod<ZlkBtr>("DbIsOpen", 9, {table},
                           [](ZlkBtr &b, Args &a) {
                             if (b.catalog_ == nullptr) return Variant::I2(0);
                             TableDescriptor *t = nullptr;
                             int16_t s = b.FindTable(a[0], Need::kAny, &t);
                             return Variant::I2(s != 0 ? s : (t->open ? 1 : 0));
                           }),
      ResultMethod<ZlkBtr>("DbGetFieldData", 10, {table, field},
                           [](ZlkBtr &b, Args &a) {
                             TableDescriptor *t = nullptr;
                             if (b.FindTable(a[0], Need::kAny, &t) != 0) return Variant::Null();
                             return Text(ReadFieldByName(*t, Cp(a[1])));
                           }),
      StatusMethod<ZlkBtr>("DbSetFieldData", 11, {table, field, {"NewValue", false}, rc},
                           OnTable(Need::kAny,
                                   [](ZlkBtr &, TableDescriptor *t, Args &a) -> int {
                                     return WriteFieldByName(*t, Cp(a[1]), Cp(a[2]));
                                   })),
      StatusMethod<ZlkBtr>("DbAccess", 12, {{"OpCode", false}, table, {"Index", false}, rc},
                           [](ZlkBtr &b, Args &a) -> int {
                             TableDescriptor *t = nullptr;
                             if (int16_t s = b.FindTable(a[1], Need::kOpen, &t)) return s;
                             int index = FindIndexByName(*t, Cp(a[2]));
                             if (index < 0) return DB_INDEX_NOT_FOUND;
                             return EngineAccess(*t, Int(a[0]), index);
                           }),
      StatusMethod<ZlkBtr>("DbTransferToControl", 13, {table, rc},
                           OnTable(Need::kAny,
                                   [](ZlkBtr &b, TableDescriptor *t, Args &) -> int {
                                     return Module::Get().registry.TransferToControls(b, *t);
                                   })),
      StatusMethod<ZlkBtr>("DbTransferFromControl", 14, {table, rc},
                           OnTable(Need::kAny,
                                   [](ZlkBtr &b, TableDescriptor *t, Args &) -> int {
                                     return Module::Get().registry.TransferFromControls(b, *t);
                                   })),
      StatusMethod<ZlkBtr>(
          "DbBeginTransaction", 15, {{"sLockBias", false}, rc},
          [](ZlkBtr &, Args &a) -> int { return EngineBeginTransaction(Int(a[0])); }),
      StatusMethod<ZlkBtr>("DbEndTransaction", 16, {rc},
                           [](ZlkBtr &, Args &) -> int { return EngineEndTransaction(); }),
      StatusMethod<ZlkBtr>("DbAbortTransaction", 17, {rc},
                           [](ZlkBtr &, Args &) -> int { return EngineAbortTransaction(); }),
      StatusMethod<ZlkBtr>(
          "DbBeginConCurTransaction", 18, {{"sLockBias", false}, rc},
          [](ZlkBtr &, Args &a) -> int { return EngineBeginConcurrentTransaction(Int(a[0])); }),
      StatusMethod<ZlkBtr>("DbClearControlData", 19, {table, rc},
                           OnTable(Need::kAny,
                                   [](ZlkBtr &b, TableDescriptor *t, Args &) -> int {
                                     return Module::Get().registry.ClearControls(b, *t);
                                   })),
      StatusMethod<ZlkBtr>("DbUnlock", 20, {table, {"sUnlockType", false}, rc},
                           OnTable(Need::kOpen,
                                   [](ZlkBtr &, TableDescriptor *t, Args &a) -> int {
                                     return EngineUnlock(*t, Int(a[1]));
                                   })),
      ResultMethod<ZlkBtr>("DbGetPosition", 21, {table},
                           [](ZlkBtr &b, Args &a) {
                             TableDescriptor *t = nullptr;
                             return Variant::I4(b.FindTable(a[0], Need::kOpen, &t) != 0
                                                    ? -1
                                                    : EngineGetPosition(*t));
                           }),
      StatusMethod<ZlkBtr>("DbGetDirect", 22,
                           {table, {"lPosition", false}, {"NewIndex", false}, rc},
                           OnTable(Need::kOpen,
                                   [](ZlkBtr &, TableDescriptor *t, Args &a) -> int {
                                     std::string index_name = Cp(a[2]);
                                     int index = FindIndexByName(*t, index_name);
                                     if (index < 0 && !index_name.empty())
                                       return DB_INDEX_NOT_FOUND;
                                     return EngineGetDirect(*t, Int(a[1]), index);
                                   })),
      ResultMethod<ZlkBtr>("DbGetDataSize", 23, {table, field}, by_name(23)),
      ResultMethod<ZlkBtr>("DbGetDataType", 24, {table, field}, by_name(24)),
      StatusMethod<ZlkBtr>(
          "DbGetByPercentage", 25, {table, {"KeyName", false}, {"sPercentage", false}, rc},
          OnTable(Need::kOpen,
                  [](ZlkBtr &, TableDescriptor *t, Args &a) -> int {
                    std::string key = Cp(a[1]);
                    int index = key.empty() ? -1 : FindIndexByName(*t, key);
                    if (index < 0 && !key.empty()) return DB_INDEX_NOT_FOUND;
                    return EngineGetByPercentage(*t, index, static_cast<int16_t>(Int(a[2])));
                  })),
      StatusMethod<ZlkBtr>(
          "DbFindPercentage", 26,
          {table, {"KeyName", false}, {"lPhysPos", false}, {"PercenTage", true}, rc},
          OnTable(Need::kOpen,
                  [](ZlkBtr &, TableDescriptor *t, Args &a) -> int {
                    std::string key = Cp(a[1]);
                    int index = key.empty() ? -1 : FindIndexByName(*t, key);
                    if (index < 0 && !key.empty()) return DB_INDEX_NOT_FOUND;
                    int16_t percent = 0;
                    int16_t s = EngineFindPercentage(*t, index, Int(a[2]), &percent);
                    if (s == 0) a[3] = Variant::I2(percent);
                    return s;
                  })),
      ResultMethod<ZlkBtr>("DbExGetFieldData", 27,
                           {{"ResultID", false}, field, {"RecordNo", false}},
                           [](ZlkBtr &b, Args &a) {
                             if (b.catalog_ == nullptr) return Variant::String("");
                             return Text(ExGetFieldDataByName(Int(a[0]), Cp(a[1]), Int(a[2])));
                           }),
      ResultMethod<ZlkBtr>("DbExGetPosition", 28, {{"ResultID", false}, {"RecordNo", false}},
                           [](ZlkBtr &b, Args &a) {
                             return Variant::I4(
                                 b.catalog_ == nullptr ? -1 : ExGetPosition(Int(a[0]), Int(a[1])));
                           }),
      ResultMethod<ZlkBtr>(
          "DbExFree", 29, {{"ResultID", false}},
          [](ZlkBtr &, Args &a) { return Variant::I2(static_cast<int16_t>(ExFree(Int(a[0])))); }),
      StatusMethod<ZlkBtr>("DbExAccess", 30,
                           {{"OpCode", false},
                            table,
                            {"SearchCond", false},
                            {"FieldList", false},
                            {"KeyName", false},
                            {"RejectCount", false},
                            {"MaxRecords", false},
                            {"IgnoreCase", false},
                            {"ResultID", true},
                            {"NumOfResults", true},
                            rc},
                           [](ZlkBtr &b, Args &a) -> int {
                             TableDescriptor *t = nullptr;
                             if (int16_t s = b.FindTable(a[1], Need::kOpen, &t)) return s;
                             int index = FindIndexByName(*t, Cp(a[4]));
                             if (index < 0) return DB_INDEX_NOT_FOUND;
                             int16_t id = static_cast<int16_t>(Int(a[8]));
                             int16_t count = static_cast<int16_t>(Int(a[9]));
                             int16_t s =
                                 ExAccess(Int(a[0]), *t, Cp(a[2]), Cp(a[3]), index, Int(a[5]),
                                          Int(a[6]), Int(a[7]) != 0, &id, &count);
                             a[8] = Variant::I2(id);
                             a[9] = Variant::I2(count);
                             return s;
                           }),
      StatusMethod<ZlkBtr>(
          "DbCreate", 31, {table, rc},
          OnTable(Need::kClosed,
                  [](ZlkBtr &b, TableDescriptor *t, Args &) -> int {
                    std::string dir = b.DdfDirectory();
                    int16_t s = EngineCreate(
                        *b.catalog_, *t,
                        ResolveDataFilePath(*t, zplatform::ShortPathName(dir).value_or(dir)));
                    if (s > 0) {
                      int16_t shown = s;
                      b.FireBtrieveError(t->name, &shown);  // VE007 was shown already
                    }
                    return s;
                  })),
      StatusMethod<ZlkBtr>("DbGetNumOfRecords", 32, {table, {"lRecords", true}, rc},
                           OnTable(Need::kOpen,
                                   [](ZlkBtr &, TableDescriptor *t, Args &a) -> int {
                                     int32_t count = 0;
                                     int16_t s = EngineRecordCount(*t, &count);
                                     if (s == 0) a[1] = Variant::I4(count);
                                     return s;
                                   })),
      StatusMethod<ZlkBtr>("DbExSetMode", 33, {{"Mode", false}, rc},
                           [](ZlkBtr &b, Args &a) -> int {
                             std::string mode = Cp(a[0]);
                             if (mode.size() != 2) return DB_FAILED;
                             b.ex_mode_ = mode;
                             Module::Get().ex_mode = mode;
                             return 0;
                           }),
      StatusMethod<ZlkBtr>("DbSetFileName", 34, {table, {"BtrieveFileName", false}, rc},
                           OnTable(Need::kClosed,
                                   [](ZlkBtr &, TableDescriptor *t, Args &a) -> int {
                                     std::string name = Cp(a[1]);
                                     if (name.size() > 64) return DB_FAILED;
                                     t->location = name;
                                     return 0;
                                   })),
      StatusMethod<ZlkBtr>("DbClearFieldBuffer", 35, {table, rc},
                           OnTable(Need::kOpen,
                                   [](ZlkBtr &, TableDescriptor *t, Args &) -> int {
                                     ClearRecordBuffer(*t);
                                     return 0;
                                   })),
      ResultMethod<ZlkBtr>("DbGetFieldDataByID", 36, {{"TableID", false}, {"FieldID", false}},
                           [](ZlkBtr &b, Args &a) {
                             int id = Int(a[0]);
                             if (b.catalog_ == nullptr || id < 0 || id >= b.catalog_->TableCount())
                               return Variant::String("");
                             return Text(ReadFieldByNumber(b.catalog_->tables[id], Int(a[1])));
                           }),
      StatusMethod<ZlkBtr>("DbSetFieldDataByID", 37,
                           {{"TableID", false}, {"FieldID", false}, {"NewValue", false}, rc},
                           [](ZlkBtr &b, Args &a) -> int {
                             if (b.catalog_ == nullptr) return DB_NO_DICTIONARY;
                             int id = Int(a[0]);
                             if (id < 0 || id >= b.catalog_->TableCount())
                               return DB_TABLE_NOT_FOUND;
                             TableDescriptor &t = b.catalog_->tables[id];
                             if (!t.open) return DB_TABLE_NOT_OPEN;
                             return WriteFieldByNumber(t, Int(a[1]), Cp(a[2]));
                           }),
      StatusMethod<ZlkBtr>("DbGetRecord", 38, {table, {"Record", true}, rc},
                           OnTable(Need::kOpen,
                                   [](ZlkBtr &, TableDescriptor *t, Args &a) -> int {
                                     return GetRecordTexts(*t, a[1]);
                                   })),
      StatusMethod<ZlkBtr>("DbSetRecord", 39, {table, {"Record", true}, rc},
                           OnTable(Need::kOpen,
                                   [](ZlkBtr &, TableDescriptor *t, Args &a) -> int {
                                     return SetRecordTexts(*t, a[1]);
                                   })),
      StatusMethod<ZlkBtr>("DbOpenAll", 41, {rc},
                           [](ZlkBtr &b, Args &) -> int {
                             if (b.catalog_ == nullptr) return DB_NO_DICTIONARY;
                             for (TableDescriptor &t : b.catalog_->tables) {
                               if (t.open) continue;
                               int16_t s = EngineOpen(*b.catalog_, t, b.DdfDirectory(), b.Owner(),
                                                      b.open_mode_);
                               if (s != 0) {
                                 b.ReportFailure(t, s, msg::kVE803);
                                 return s;
                               }
                             }
                             return 0;
                           }),
      StatusMethod<ZlkBtr>("DbCloseAll", 42, {rc},
                           [](ZlkBtr &b, Args &) -> int {
                             if (b.catalog_ == nullptr) return DB_NO_DICTIONARY;
                             for (TableDescriptor &t : b.catalog_->tables) {
                               if (!t.open) continue;
                               int16_t s = EngineClose(t);
                               if (s != 0) {
                                 b.ReportFailure(t, s, msg::kVE813);
                                 return s;
                               }
                             }
                             return 0;
                           }),
      StatusMethod<ZlkBtr>("DbLoadDDF", 43, {rc},
                           [](ZlkBtr &b, Args &) -> int { return b.DbLoadDDF(); }),
      StatusMethod<ZlkBtr>("DbReset", 44, {rc},
                           [](ZlkBtr &b, Args &) -> int {
                             if (b.catalog_ != nullptr) CloseAllTables(*b.catalog_);
                             return EngineReset();
                           }),
      StatusMethod<ZlkBtr>("DbGetRecordLength", 45, {table, {"Length", true}, rc},
                           OnTable(Need::kAny,
                                   [](ZlkBtr &, TableDescriptor *t, Args &a) -> int {
                                     a[1] = Variant::I4(t->record_length);
                                     return 0;
                                   })),
      StatusMethod<ZlkBtr>("DbGetRecordImage", 46, {table, {"Image", true}, rc},
                           OnTable(Need::kAny,
                                   [](ZlkBtr &, TableDescriptor *t, Args &a) -> int {
                                     return GetRecordImage(*t, a[1]);
                                   })),
      StatusMethod<ZlkBtr>("DbSetRecordImage", 47, {table, {"Image", true}, rc},
                           OnTable(Need::kAny,
                                   [](ZlkBtr &, TableDescriptor *t, Args &a) -> int {
                                     return SetRecordImage(*t, a[1]);
                                   })),
      StatusMethod<ZlkBtr>("DbGetPosBlock", 48, {table, {"PosBlock", true}, rc},
                           OnTable(Need::kAny,
                                   [](ZlkBtr &, TableDescriptor *t, Args &a) -> int {
                                     return GetPositionBlock(*t, a[1]);
                                   })),
      StatusMethod<ZlkBtr>("DbAccessByID", 49,
                           {{"OpCode", false}, {"TableID", false}, {"IndexID", false}, rc},
                           [](ZlkBtr &b, Args &a) -> int {
                             if (b.catalog_ == nullptr) return DB_NO_DICTIONARY;
                             int id = Int(a[1]);
                             if (id < 0 || id >= b.catalog_->TableCount()) return DB_TABLE_ID_RANGE;
                             TableDescriptor &t = b.catalog_->tables[id];
                             if (!t.open) return DB_TABLE_NOT_OPEN;
                             return EngineAccess(t, Int(a[0]), Int(a[2]));
                           }),
      StatusMethod<ZlkBtr>("DbGetModulePath", 50, {{"Path", true}, rc},
                           [](ZlkBtr &, Args &a) -> int {
                             Dl_info info;
                             if (dladdr(reinterpret_cast<void *>(&BTRCALL), &info) == 0 ||
                                 info.dli_fname == nullptr)
                               return DB_FAILED;
                             a[0] = Variant::String(info.dli_fname);
                             return 0;
                           }),
      StatusMethod<ZlkBtr>("DbSetLockBias", 51, {{"LockBias", false}, rc},
                           [](ZlkBtr &, Args &a) -> int { return DbSetLockBias(Int(a[0])); }),
      StatusMethod<ZlkBtr>("DbGetNumOfTable", 52, {{"Count", true}, rc},
                           [](ZlkBtr &b, Args &a) -> int {
                             if (b.catalog_ == nullptr) return DB_NO_DICTIONARY;
                             a[0] = Variant::I2(static_cast<int16_t>(b.catalog_->TableCount()));
                             return 0;
                           }),
      StatusMethod<ZlkBtr>("DbGetNumOfField", 53, {table, {"Count", true}, rc},
                           OnTable(Need::kAny,
                                   [](ZlkBtr &, TableDescriptor *t, Args &a) -> int {
                                     a[1] = Variant::I2(static_cast<int16_t>(t->FieldCount()));
                                     return 0;
                                   })),
      StatusMethod<ZlkBtr>("DbGetTableName", 54, {{"TableID", false}, {"Name", true}, rc},
                           [](ZlkBtr &b, Args &a) -> int {
                             if (b.catalog_ == nullptr) return DB_NO_DICTIONARY;
                             int id = Int(a[0]);
                             if (id < 0 || id >= b.catalog_->TableCount())
                               return DB_TABLE_NOT_FOUND;
                             a[1] = Text(b.catalog_->tables[id].name);
                             return 0;
                           }),
      StatusMethod<ZlkBtr>("DbGetFieldName", 55, {table, {"FieldID", false}, {"Name", true}, rc},
                           OnTable(Need::kAny,
                                   [](ZlkBtr &, TableDescriptor *t, Args &a) -> int {
                                     int id = Int(a[1]);
                                     if (id < 0 || id >= t->FieldCount()) return DB_FIELD_ID_RANGE;
                                     a[2] = Text(t->fields[id].name);
                                     return 0;
                                   })),
      StatusMethod<ZlkBtr>("DbGetNumOfIndex", 56, {table, {"Count", true}, rc},
                           OnTable(Need::kAny,
                                   [](ZlkBtr &, TableDescriptor *t, Args &a) -> int {
                                     a[1] = Variant::I2(static_cast<int16_t>(t->SegmentCount()));
                                     return 0;
                                   })),
      StatusMethod<ZlkBtr>("DbGetIndexName", 57, {table, {"IndexID", false}, {"Name", true}, rc},
                           OnTable(Need::kAny,
                                   [](ZlkBtr &, TableDescriptor *t, Args &a) -> int {
                                     int id = Int(a[1]);
                                     if (id < 0 || id >= t->SegmentCount())
                                       return DB_INDEX_ID_RANGE;
                                     for (const FieldDescriptor &f : t->fields) {
                                       if (f.field_id == t->segments[id].field_id) {
                                         a[2] = Text(f.name);
                                         return 0;
                                       }
                                     }
                                     return DB_TABLE_NOT_FOUND;
                                   })),
  };
}

void ZlkBtr::ReportFailure(const TableDescriptor &table, int16_t status, const char *message) {
  int16_t shown = status;
  FireBtrieveError(table.name, &shown);
  if (shown != 0) ShowMessage(message, table.name.c_str(), status);
}

}  // namespace zelko
