#include "controls/zlkbtr.h"

#include <QPainter>
#include <QWidget>

#include "engine/messages.h"
#include "engine/module.h"
#include "engine/table_access.h"
#include "zplatform/codepage.h"
#include "zplatform/paths.h"
#include "zplatform/profile.h"

namespace zelko {
namespace {

class ZlkBtrWidget : public QWidget {
 public:
  ZlkBtrWidget(ZlkBtr *control, QWidget *parent) : QWidget(parent), control_(control) {
    resize(32, 32);
  }

 protected:
  void paintEvent(QPaintEvent *) override { control_->Paint(this); }

 private:
  ZlkBtr *control_;
};

// The two design-time pictures: a database drum, coloured while a catalog is loaded.
QPixmap DesignPicture(bool loaded) {
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  QColor body = loaded ? QColor(0x2E, 0x7D, 0x32) : QColor(0x9E, 0x9E, 0x9E);
  p.setBrush(body);
  p.setPen(QPen(Qt::black, 1));
  p.drawRect(6, 8, 20, 18);
  p.drawEllipse(6, 3, 20, 9);
  p.drawEllipse(6, 21, 20, 9);
  p.setBrush(body.lighter(130));
  p.drawEllipse(6, 3, 20, 9);
  return pixmap;
}

}  // namespace

const ClassInfo &ZlkBtr::Info() {
  static const ClassInfo info = [] {
    ClassInfo c{"ZLKBTRLibCtl.ZelkoDb", "ZLKBtr", kKindDataSource, {}, {}, {}};
    c.properties = {
        {"DDFDir", 1, PropKind::kString, "", true, false, false},
        {"OwnerName", 2, PropKind::kString, "", true, false, false},
        {"OpenMode", 3, PropKind::kInt16, "0", true, false, false},
        {"AllOpen", 4, PropKind::kBool, "-1", true, false, false},
        {"DistName", 5, PropKind::kString, "", true, false, false},
        {"CacheDDF", 40, PropKind::kBool, "-1", true, false, false},
        {"TabStop", -516, PropKind::kBool, "0", false, false, false},
    };
    auto m = [](const char *name, int32_t id, std::vector<ParamInfo> params, bool result = false) {
      return MethodInfo{name, id, std::move(params), result};
    };
    const ParamInfo rc{"pRc", true}, table{"TableName", false}, field{"FieldName", false};
    c.methods = {
        m("About", -552, {}),
        m("DbOpen", 6, {table, rc}),
        m("DbClose", 7, {table, rc}),
        m("GetUseCount", 8, {rc}),
        m("DbIsOpen", 9, {table}, true),
        m("DbGetFieldData", 10, {table, field}, true),
        m("DbSetFieldData", 11, {table, field, {"NewValue", false}, rc}),
        m("DbAccess", 12, {{"OpCode", false}, table, {"Index", false}, rc}),
        m("DbTransferToControl", 13, {table, rc}),
        m("DbTransferFromControl", 14, {table, rc}),
        m("DbBeginTransaction", 15, {{"sLockBias", false}, rc}),
        m("DbEndTransaction", 16, {rc}),
        m("DbAbortTransaction", 17, {rc}),
        m("DbBeginConCurTransaction", 18, {{"sLockBias", false}, rc}),
        m("DbClearControlData", 19, {table, rc}),
        m("DbUnlock", 20, {table, {"sUnlockType", false}, rc}),
        m("DbGetPosition", 21, {table}, true),
        m("DbGetDirect", 22, {table, {"lPosition", false}, {"NewIndex", false}, rc}),
        m("DbGetDataSize", 23, {table, field}, true),
        m("DbGetDataType", 24, {table, field}, true),
        m("DbGetByPercentage", 25, {table, {"KeyName", false}, {"sPercentage", false}, rc}),
        m("DbFindPercentage", 26,
          {table, {"KeyName", false}, {"lPhysPos", false}, {"PercenTage", true}, rc}),
        m("DbExGetFieldData", 27, {{"ResultID", false}, field, {"RecordNo", false}}, true),
        m("DbExGetPosition", 28, {{"ResultID", false}, {"RecordNo", false}}, true),
        m("DbExFree", 29, {{"ResultID", false}}, true),
        m("DbExAccess", 30,
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
           rc}),
        m("DbCreate", 31, {table, rc}),
        m("DbGetNumOfRecords", 32, {table, {"lRecords", true}, rc}),
        m("DbExSetMode", 33, {{"Mode", false}, rc}),
        m("DbSetFileName", 34, {table, {"BtrieveFileName", false}, rc}),
        m("DbClearFieldBuffer", 35, {table, rc}),
        m("DbGetFieldDataByID", 36, {{"TableID", false}, {"FieldID", false}}, true),
        m("DbSetFieldDataByID", 37,
          {{"TableID", false}, {"FieldID", false}, {"NewValue", false}, rc}),
        m("DbGetRecord", 38, {table, {"Record", true}, rc}),
        m("DbSetRecord", 39, {table, {"Record", true}, rc}),
        m("DbOpenAll", 41, {rc}),
        m("DbCloseAll", 42, {rc}),
        m("DbLoadDDF", 43, {rc}),
        m("DbReset", 44, {rc}),
        m("DbGetRecordLength", 45, {table, {"Length", true}, rc}),
        m("DbGetRecordImage", 46, {table, {"Image", true}, rc}),
        m("DbSetRecordImage", 47, {table, {"Image", true}, rc}),
        m("DbGetPosBlock", 48, {table, {"PosBlock", true}, rc}),
        m("DbAccessByID", 49, {{"OpCode", false}, {"TableID", false}, {"IndexID", false}, rc}),
        m("DbGetModulePath", 50, {{"Path", true}, rc}),
        m("DbSetLockBias", 51, {{"LockBias", false}, rc}),
        m("DbGetNumOfTable", 52, {{"Count", true}, rc}),
        m("DbGetNumOfField", 53, {table, {"Count", true}, rc}),
        m("DbGetTableName", 54, {{"TableID", false}, {"Name", true}, rc}),
        m("DbGetFieldName", 55, {table, {"FieldID", false}, {"Name", true}, rc}),
        m("DbGetNumOfIndex", 56, {table, {"Count", true}, rc}),
        m("DbGetIndexName", 57, {table, {"IndexID", false}, {"Name", true}, rc}),
    };
    c.events = {{"BtrieveError", 1, {{"TableName", false}, {"Status", true}}}};
    return c;
  }();
  return info;
}

ZlkBtr::ZlkBtr() = default;

ZlkBtr::~ZlkBtr() {
  DestroyWindow();
  if (catalog_ != nullptr && RunMode()) CloseAllTables(*catalog_);
  Module::Get().registry.Unregister(this);
  Module::Get().OnDataSourceDestroyed(this);
}

std::string ZlkBtr::DdfDirectory() const {
  return zplatform::FromUtf8(ddf_dir_);
}
std::string ZlkBtr::Owner() const {
  return zplatform::FromUtf8(owner_name_);
}

void ZlkBtr::FireBtrieveError(const std::string &table_name_cp, int16_t *status) {
  std::vector<Variant> args = {Variant::String(zplatform::ToUtf8(table_name_cp)),
                               Variant::I2(*status)};
  FireEvent("BtrieveError", args);
  if (auto v = args[1].AsInteger()) *status = static_cast<int16_t>(*v);
}

int ZlkBtr::ParentFormName(std::string *name) {
  if (Site() == nullptr) return -1;
  int step = Site()->ParentName(name);
  if (step == 0) return 0;
  static const char *const kMessages[] = {msg::kVE808, msg::kVE809, msg::kVE810, msg::kVE811};
  if (step >= 808 && step <= 811)
    ShowMessage("%s", zplatform::FromUtf8(kMessages[step - 808]).c_str());
  return -1;
}

int ZlkBtr::ParentFormHandle(int32_t *hwnd) {
  if (Site() == nullptr) return -1;
  int step = Site()->ParentHandle(hwnd);
  if (step == 0) return 0;
  static const char *const kMessages[] = {msg::kVE808, msg::kVE809, msg::kVE810, msg::kVE811};
  if (step >= 808 && step <= 811)
    ShowMessage("%s", zplatform::FromUtf8(kMessages[step - 808]).c_str());
  return -1;
}

QWidget *ZlkBtr::MakeWidget(QWidget *parent) {
  return new ZlkBtrWidget(this, parent);
}

void ZlkBtr::Paint(QWidget *widget) {
  QPainter p(widget);
  if (RunMode()) {
    uint32_t color = Site()->AmbientBackColor();
    // System colours (0x80xxxxxx) take the window's own background.
    QColor c = (color & 0x80000000u)
                   ? widget->palette().window().color()
                   : QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
    p.fillRect(widget->rect(), c);
    return;
  }
  p.drawPixmap(0, 0, DesignPicture(catalog_ != nullptr));
}

void ZlkBtr::OnSited() {
  if (!Loading()) Prepare();
}

void ZlkBtr::OnPropertiesLoaded() {
  Prepare();
}

bool ZlkBtr::LoadOrCopyCatalog() {
  catalog_.reset();
  if (cache_ddf_) {
    for (DataSource *other : Module::Get().registry.DataSources()) {
      auto *btr = dynamic_cast<ZlkBtr *>(other);
      if (btr == nullptr || btr == this || btr->catalog_ == nullptr) continue;
      if (!EqualNoCase(btr->ddf_dir_, ddf_dir_)) continue;
      catalog_ = CopyCatalog(*btr->catalog_);
      return catalog_ != nullptr;
    }
  }
  return LoadCatalog(DdfDirectory(), &catalog_) == 0;
}

void ZlkBtr::Prepare() {
  if (prepared_ || ddf_dir_.empty() || Site() == nullptr) return;
  std::string name = Site()->AmbientDisplayName();
  bool run_mode = Site()->UserMode();
  if (run_mode && !dist_name_.empty() && !name.empty()) {
    std::string replaced = zplatform::ProfileString(zplatform::FromUtf8(dist_name_),
                                                    zplatform::FromUtf8(name), "", "zelko.ini");
    if (!replaced.empty()) ddf_dir_ = zplatform::ToUtf8(replaced);
  }
  if (name.empty()) {
    ShowMessage(msg::kVE814);
    return;
  }
  Module::Get().registry.RegisterDataSource(this);
  bool loaded = LoadOrCopyCatalog();
  if (run_mode && loaded) {
    if (!all_open_ || OpenAllPass()) Module::Get().registry.NotifySourceReady(*this);
  }
  prepared_ = true;
  if (Window() != nullptr) Window()->update();
}

bool ZlkBtr::OpenAllPass() {
  std::string dir = DdfDirectory();
  std::string short_dir = zplatform::ShortPathName(dir).value_or(dir);
  for (TableDescriptor &t : catalog_->tables) {
    if (t.open) continue;
    std::string path = ResolveDataFilePath(t, short_dir);
    if (t.fields.empty() && ResolveTable(*catalog_, t) != 0) return false;
    if (!zplatform::FileExists(path) && EngineCreate(*catalog_, t, path) != 0) return false;
    int16_t status = EngineOpen(*catalog_, t, dir, Owner(), open_mode_);
    if (status != 0) {
      ShowMessage(msg::kVE803, t.name.c_str(), status);
      return false;
    }
  }
  return true;
}

int16_t ZlkBtr::DbLoadDDF() {
  if (ddf_dir_.empty()) return -21;
  if (catalog_ != nullptr) CloseAllTables(*catalog_);
  catalog_.reset();
  return LoadCatalog(DdfDirectory(), &catalog_) == 0 ? 0 : -1;
}

HResult ZlkBtr::DoGet(const PropertyInfo &p, Variant *value) {
  switch (p.dispid) {
    case 1:
      *value = Variant::String(ddf_dir_);
      return kOk;
    case 2:
      *value = Variant::String(owner_name_);
      return kOk;
    case 3:
      *value = Variant::I2(static_cast<int16_t>(open_mode_));
      return kOk;
    case 4:
      *value = Variant::Bool(all_open_);
      return kOk;
    case 5:
      *value = Variant::String(dist_name_);
      return kOk;
    case 40:
      *value = Variant::Bool(cache_ddf_);
      return kOk;
    default:  // TabStop
      *value = Variant::Bool(false);
      return kOk;
  }
}

HResult ZlkBtr::DoPut(const PropertyInfo &p, const Variant &value) {
  auto text = value.AsString();
  auto number = value.AsInteger();
  switch (p.dispid) {
    case 1: {
      if (!text) return kTypeMismatch;
      // 1 to 64 characters of the code page.
      size_t length = zplatform::FromUtf8(*text).size();
      if (length < 1 || length > 64) return kInvalidPropertyValue;
      if (*text == ddf_dir_) return kOk;
      ddf_dir_ = *text;
      if (Loading() || Site() == nullptr) return kOk;
      if (!prepared_) {
        Prepare();
      } else if (!RunMode()) {
        LoadOrCopyCatalog();  // design time: the new dictionary at once
        if (Window() != nullptr) Window()->update();
      }
      return kOk;
    }
    case 2:
      if (!text) return kTypeMismatch;
      owner_name_ = *text;
      return kOk;
    case 3:
      if (!number) return kTypeMismatch;
      open_mode_ = *number;
      return kOk;
    case 4:
      if (!number) return kTypeMismatch;
      all_open_ = *number != 0;
      return kOk;
    case 5:
      if (!text) return kTypeMismatch;
      dist_name_ = *text;
      return kOk;
    case 40:
      if (!number) return kTypeMismatch;
      cache_ddf_ = *number != 0;
      return kOk;
    default:  // TabStop ignores writes
      return kOk;
  }
}

}  // namespace zelko
