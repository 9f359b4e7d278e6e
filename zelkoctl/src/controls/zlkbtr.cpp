#include "controls/zlkbtr.h"

#include <QPainter>
#include <QWidget>

#include "engine/messages.h"
#include "engine/module.h"
#include "engine/table_access.h"
#include "frame/class_table.h"
#include "zelkoctl/zelkoapi.h"
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
    using namespace table;
    using K = PropKind;
    ClassInfo c{"ZLKBTRLibCtl.ZelkoDb", "ZLKBtr", kKindDataSource, {}, {}, {}};
    c.properties = {
        Custom<ZlkBtr>(
            "DDFDir", 1, K::kString, "", kPersisted,
            [](ZlkBtr &b, Variant *v) {
              *v = Variant::String(b.ddf_dir_);
              return kOk;
            },
            [](ZlkBtr &b, const Variant &v) { return b.PutDdfDir(v); }),
        Member("OwnerName", 2, K::kString, "", &ZlkBtr::owner_name_),
        Member("OpenMode", 3, K::kInt16, "0", &ZlkBtr::open_mode_),
        Member("AllOpen", 4, K::kBool, "-1", &ZlkBtr::all_open_),
        Member("DistName", 5, K::kString, "", &ZlkBtr::dist_name_),
        Member("CacheDDF", 40, K::kBool, "-1", &ZlkBtr::cache_ddf_),
        // A stock property the control has no use for: reads False, ignores writes.
        Constant<ZlkBtr>("TabStop", -516, K::kBool, "0", kTransient, Variant::Bool(false)),
    };
    c.methods = MethodTable();
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
  *status = BtrieveErrorEvent(zplatform::ToUtf8(table_name_cp), *status);
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
    // Made when missing, never replaced: a file another process made meanwhile (or one a
    // server keeps, which this machine cannot see) is kept.
    if (EngineCreateMissing(*catalog_, t, path) != 0) return false;
    int16_t status = EngineOpen(*catalog_, t, dir, Owner(), open_mode_);
    if (status != 0) {
      ShowMessage(msg::kVE803, t.name.c_str(), status);
      return false;
    }
  }
  return true;
}

int16_t ZlkBtr::DbLoadDDF() {
  if (ddf_dir_.empty()) return DB_DDF_DIR_EMPTY;
  if (catalog_ != nullptr) CloseAllTables(*catalog_);
  catalog_.reset();
  return LoadCatalog(DdfDirectory(), &catalog_) == 0 ? 0 : -1;
}

HResult ZlkBtr::PutDdfDir(const Variant &value) {
  auto text = value.AsString();
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

}  // namespace zelko
