#include "controls/zlkscroll.h"

#include <QScrollBar>
#include <algorithm>
#include <cstdlib>

#include "btrieve/btrapi.h"
#include "engine/messages.h"
#include "engine/module.h"
#include "engine/table_access.h"
#include "frame/class_table.h"
#include "zplatform/codepage.h"

namespace zelko {

namespace {

constexpr int kFullScale = 10000;  // hundredths of a percent

// The message a scroll step's failure shows when the BtrieveError handler keeps the status.
void ShowStatusText(int status) {
  switch (status) {
    case 3:
      ShowMessage("ファイルがオ－プンされてません。(rc=3)");
      break;
    case 4:
      ShowMessage("該当レコ－ドがみつかりません。");
      break;
    case 5:
      ShowMessage("キ－の値が重複しています。");
      break;
    case 8:
      ShowMessage("現在レコ－ドがありません。");
      break;
    case 9:
      ShowMessage("ファイルの先頭または最後です。");
      break;
    case 18:
      ShowMessage("ディスクが満杯。");
      break;
    default:
      ShowMessage("Btrieve エラ－(rc=%d)", status);
  }
}

}  // namespace

ClassInfo ZlkScroll::MakeInfo(bool vertical) {
  using namespace table;
  using K = PropKind;
  using S = ZlkScroll;
  ClassInfo c{vertical ? "ZLKBTRLibCtl.ZLKVScroll" : "ZLKBTRLibCtl.ZLKHScroll",
              vertical ? "ZLKVScroll" : "ZLKHScroll",
              kKindScrollBar,
              {},
              {},
              {}};
  const auto names = &S::NamesChanged;
  // In the persisted order.
  c.properties = {
      Member("DbSource", 1, K::kString, "", &S::db_source_, kPersisted, names),
      Member("DbTable", 2, K::kString, "", &S::db_table_, kPersisted, names),
      Member("DbIndex", 3, K::kString, "", &S::db_index_),
      Member("LargeChange", 4, K::kInt16, "1", &S::large_change_),
      Member("SmallChange", 5, K::kInt16, "1", &S::small_change_),
      Member("Max", 6, K::kInt16, "10000", &S::max_),
      Member("Min", 7, K::kInt16, "0", &S::min_),
      Constant<S>("MouseIcon", -522, K::kString, nullptr, kPersisted, Variant::String("")),
      Member("MousePointer", -521, K::kInt16, "0", &S::mouse_pointer_),
      Member("TabStop", -516, K::kBool, "-1", &S::tab_stop_),
      Custom<S>(
          "Enabled", -514, K::kBool, "-1", kPersisted,
          [](S &s, Variant *v) {
            *v = Variant::Bool(s.enabled_);
            return kOk;
          },
          [](S &s, const Variant &v) {
            HResult hr = Assign(&s.enabled_, v);
            if (s.bar_ != nullptr) s.bar_->setEnabled(s.enabled_);
            return hr;
          }),
      Custom<S>(
          "Value", 8, K::kInt32, "0", kTransient,
          [](S &s, Variant *v) {
            *v = Variant::I4(s.value_);
            return kOk;
          },
          [](S &s, const Variant &v) { return s.PutValue(v); }),
      Member("AutoFirst", 10, K::kBool, "-1", &S::auto_first_, kTransient),
      WindowProperty<S>(),
  };
  c.methods = {Method<S>("Refresh", 9, {}, false, [](S &s, Args &, Variant *) {
    s.Refresh();
    return kOk;
  })};
  c.events = {{"BtrieveError", 1, {{"TableName", false}, {"Status", true}}},
              {"Change", 2, {}},
              {"Scroll", 3, {}}};
  return c;
}

const ClassInfo &ZlkScroll::HorizontalInfo() {
  static const ClassInfo info = MakeInfo(false);
  return info;
}

const ClassInfo &ZlkScroll::VerticalInfo() {
  static const ClassInfo info = MakeInfo(true);
  return info;
}

ZlkScroll::ZlkScroll(bool vertical) : vertical_(vertical) {}
ZlkScroll::~ZlkScroll() {
  DestroyWindow();
}

QWidget *ZlkScroll::MakeWidget(QWidget *parent) {
  bar_ = new QScrollBar(vertical_ ? Qt::Vertical : Qt::Horizontal, parent);
  bar_->setRange(min_, kFullScale);
  bar_->setTracking(false);  // dragging the thumb reads nothing until it is let go
  QObject::connect(bar_, &QAbstractSlider::actionTriggered, [this](int action) {
    if (moving_) return;
    switch (action) {
      case QAbstractSlider::SliderSingleStepSub:
        Scroll(Request::kLineUp);
        break;
      case QAbstractSlider::SliderSingleStepAdd:
        Scroll(Request::kLineDown);
        break;
      case QAbstractSlider::SliderPageStepSub:
        Scroll(Request::kPageUp);
        break;
      case QAbstractSlider::SliderPageStepAdd:
        Scroll(Request::kPageDown);
        break;
      case QAbstractSlider::SliderToMinimum:
        Scroll(Request::kTop);
        break;
      case QAbstractSlider::SliderToMaximum:
        Scroll(Request::kBottom);
        break;
      default:
        return;  // the thumb tracking: nothing
    }
    // The thumb shows where the record is, not where the action would put it.
    bar_->setSliderPosition(value_);
  });
  QObject::connect(bar_, &QAbstractSlider::sliderReleased,
                   [this] { Scroll(Request::kThumbPosition, bar_->sliderPosition()); });
  return bar_;
}

void ZlkScroll::OnWindowCreated() {
  bar_->setEnabled(enabled_);
  bar_->setFocusPolicy(tab_stop_ ? Qt::StrongFocus : Qt::NoFocus);
  if (RunMode()) Module::Get().registry.RegisterNavigator(this);
}

void ZlkScroll::OnWindowDestroying() {
  Module::Get().registry.Unregister(this);
  bar_ = nullptr;
}

void ZlkScroll::NamesChanged() {
  if (bar_ != nullptr && RunMode()) Module::Get().registry.RefreshNavigator(this);
}

TableDescriptor *ZlkScroll::Table() const {
  return Module::Get().registry.FindBoundTable(GetFormWindow(), db_source_, db_table_);
}

int ZlkScroll::KeyOf(const TableDescriptor &table) const {
  return KeyOfDbIndex(table, db_index_);
}

void ZlkScroll::Show(TableDescriptor &table) {
  BindingRegistry &registry = Module::Get().registry;
  if (DataSource *source = registry.FindDataSource(GetFormWindow(), db_source_))
    registry.TransferToControls(*source, table);
}

void ZlkScroll::MoveThumb(int value) {
  value_ = value;
  if (bar_ == nullptr) return;
  moving_ = true;
  bar_->setValue(value);
  bar_->setSliderPosition(value);
  value_ = bar_->value();  // the thumb stays within Min .. 10,000, and Value with it
  moving_ = false;
}

int16_t ZlkScroll::Read(TableDescriptor &table, int operation) {
  int16_t status = EngineAccess(table, operation, KeyOf(table));
  if (status == 0) Show(table);
  return status;
}

int16_t ZlkScroll::ReadAtPercentage(TableDescriptor &table, int percentage) {
  int16_t status = EngineGetByPercentage(table, KeyOf(table), static_cast<int16_t>(percentage));
  if (status == 0) {
    Show(table);
  } else {
    ShowMessage(msg::kVE817, status);
  }
  return status;
}

int16_t ZlkScroll::CurrentPercentage(TableDescriptor &table, int *percentage) {
  int16_t value = 0;
  int16_t status = EngineFindPercentage(table, KeyOf(table), EngineGetPosition(table), &value);
  if (status == 0) *percentage = value;
  return status;
}

void ZlkScroll::ReportStatus(int16_t status) {
  int16_t left = BtrieveErrorEvent(db_table_, status);
  if (left != 0) ShowStatusText(left);
}

bool ZlkScroll::ComputeRange(TableDescriptor **found) {
  TableDescriptor *table = Table();
  if (table == nullptr) return false;
  if (!table->open &&
      Module::Get().registry.OpenListTable(*table, GetFormWindow(), db_source_) != 0)
    return false;
  int32_t count = 0;
  if (EngineRecordCount(*table, &count) != 0) count = 0;
  min_ = count > 0 ? kFullScale / count : 0;
  max_ = kFullScale;
  if (bar_ != nullptr) {
    moving_ = true;
    bar_->setRange(min_, kFullScale);
    moving_ = false;
  }
  *found = table;
  return true;
}

void ZlkScroll::OnSourceReady() {
  TableDescriptor *table = nullptr;
  if (!ComputeRange(&table) || !auto_first_) return;
  int16_t status = Read(*table, B_GET_FIRST);
  if (status != 0) {
    BtrieveErrorEvent(db_table_, status);
    return;
  }
  int percentage = 0;
  status = CurrentPercentage(*table, &percentage);
  if (status != 0) {
    ShowMessage(msg::kVE816, status);
    return;
  }
  MoveThumb(percentage);
}

void ZlkScroll::RefreshWith(bool auto_first) {
  TableDescriptor *table = nullptr;
  if (!ComputeRange(&table)) return;
  if (auto_first) {
    int16_t status = Read(*table, B_GET_FIRST);
    if (status != 0) {
      BtrieveErrorEvent(db_table_, status);
    }
    MoveThumb(min_);
    return;
  }
  int percentage = 0;
  int16_t status = CurrentPercentage(*table, &percentage);
  if (status != 0) {
    int16_t left = BtrieveErrorEvent(db_table_, status);
    if (left != 0) ShowMessage(msg::kVE816, left);
    return;
  }
  MoveThumb(percentage);
}

void ZlkScroll::OnRecordMoved(const std::string &table_name, int key) {
  TableDescriptor *table = Table();
  if (table_name != db_table_ || table == nullptr || key != KeyOf(*table)) return;
  RefreshWith(false);
}

void ZlkScroll::Scroll(Request request, int thumb) {
  if (!RunMode()) return;
  TableDescriptor *table = Table();
  if (table == nullptr) {
    ShowMessage(msg::kVE802);
    return;
  }
  if (!table->open &&
      Module::Get().registry.OpenListTable(*table, GetFormWindow(), db_source_) != 0)
    return;
  // One record up or down; at an end the first (last) record is read and 9 remains.
  auto line = [&](bool up) {
    int16_t status = Read(*table, up ? B_GET_PREVIOUS : B_GET_NEXT);
    if (status != B_END_OF_FILE) return status;
    if (!up) MoveThumb(kFullScale);
    int16_t again = Read(*table, up ? B_GET_FIRST : B_GET_LAST);
    return again != 0 ? again : status;
  };
  int16_t status = 0;
  switch (request) {
    case Request::kLineUp:
    case Request::kLineDown:
      status = line(request == Request::kLineUp);
      break;
    case Request::kPageUp:
    case Request::kPageDown: {
      bool up = request == Request::kPageUp;
      int before = 0, after = 0;
      if (int16_t s = CurrentPercentage(*table, &before)) {
        ShowMessage(msg::kVE816, s);
        return;
      }
      status = line(up);
      if (status != 0) break;
      if (int16_t s = CurrentPercentage(*table, &after)) {
        ShowMessage(msg::kVE816, s);
        return;
      }
      if (large_change_ > 1) {
        int step = large_change_ * std::abs(after - before);
        int target = std::clamp(up ? before - step : before + step, 0, kFullScale);
        status = ReadAtPercentage(*table, target);
        value_ = target;
      }
      break;
    }
    case Request::kThumbPosition: {
      int target = std::clamp(thumb, 0, kFullScale);
      status = ReadAtPercentage(*table, target);
      if (status != 0) {
        ReportStatus(status);
        MoveThumb(value_);
        return;
      }
      MoveThumb(target);
      return;
    }
    case Request::kTop:
      status = Read(*table, B_GET_FIRST);
      break;
    case Request::kBottom:
      status = Read(*table, B_GET_LAST);
      break;
  }
  if (status != 0 && status != B_FILE_NOT_OPEN) {
    ReportStatus(status);
    return;
  }
  int percentage = 0;
  if (int16_t s = CurrentPercentage(*table, &percentage)) {
    ShowMessage(msg::kVE816, s);
    return;
  }
  MoveThumb(percentage);
  std::vector<Variant> none;
  FireEvent("Change", none);
  Module::Get().registry.NotifyRecordMoved(db_source_, db_table_, KeyOf(*table), this);
}

HResult ZlkScroll::PutValue(const Variant &v) {
  auto n = v.AsInteger();
  if (!n) return kTypeMismatch;
  // A Value set at run time moves the record as a drag of the thumb to it would.
  if (RunMode() && bar_ != nullptr && !Loading()) {
    Scroll(Request::kThumbPosition, *n);
  } else {
    MoveThumb(*n);
  }
  return kOk;
}

}  // namespace zelko
