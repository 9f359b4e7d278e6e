#include "controls/zlkcheck.h"

#include <QCheckBox>

#include "frame/class_table.h"

namespace zelko {

namespace {

// A check box that changes its state only when the control says so: a click is reported
// and the control decides.
class ManualCheckBox : public QCheckBox {
 public:
  using QCheckBox::QCheckBox;

 protected:
  void nextCheckState() override {}
};

}  // namespace

const ClassInfo &ZlkCheck::Info() {
  static const ClassInfo info = [] {
    using namespace table;
    using K = PropKind;
    using E = ZlkCheck;
    ClassInfo c{"ZLKBTRLibCtl.ZLKCheck", "ZLKCheck", kKindCheckBox, {}, {}, {}};
    const auto restyle = &E::ApplyStyle;
    // In the persisted order.
    c.properties = {
        Member("DbSource", 1, K::kString, "", &E::db_source_),
        Member("DbTable", 2, K::kString, "", &E::db_table_),
        Member("DbField", 3, K::kString, "", &E::db_field_),
        Member("DbValueTrue", 4, K::kString, "", &E::value_true_),
        Member("DbValueFalse", 5, K::kString, "", &E::value_false_),
        Member("Alignment", 7, K::kInt16, "0", &E::alignment_, kPersisted, restyle),
        Member("DbValueIndeterminate", 8, K::kString, "", &E::value_indeterminate_),
        Member("Appearance", -520, K::kInt16, "1", &E::appearance_, kPersisted, restyle),
        Member("BackColor", -501, K::kColor, "-2147483643", &E::back_color_, kPersisted, restyle),
        Member("Caption", -518, K::kString, "", &E::caption_, kPersisted, restyle),
        Member("ForeColor", -513, K::kColor, "-2147483640", &E::fore_color_, kPersisted, restyle),
        Member("Font", -512, K::kFont, nullptr, &E::font_, kPersisted, restyle),
        Constant<E>("MouseIcon", -522, K::kString, nullptr, kPersisted, Variant::String("")),
        Member("MousePointer", -521, K::kInt16, "0", &E::mouse_pointer_, kPersisted, restyle),
        Member("TabStop", -516, K::kBool, "-1", &E::tab_stop_, kPersisted, restyle),
        Member("Enabled", -514, K::kBool, "-1", &E::enabled_, kPersisted, restyle),
        Custom<E>(
            "Value", 6, K::kInt16, "0", kTransient,
            [](E &e, Variant *v) {
              *v = Variant::I2(static_cast<int16_t>(e.value_));
              return kOk;
            },
            [](E &e, const Variant &v) { return e.PutValue(v); }),
        Custom<E>(
            "Window", -515, K::kInt32, nullptr, kTransient | kReadOnly,
            [](E &e, Variant *v) {
              *v = Variant::I4(static_cast<int32_t>(reinterpret_cast<intptr_t>(e.Window())));
              return kOk;
            },
            nullptr),
    };
    c.events = {{"Click", -600, {}}};
    return c;
  }();
  return info;
}

ZlkCheck::ZlkCheck() = default;
ZlkCheck::~ZlkCheck() {
  DestroyWindow();
}

QWidget *ZlkCheck::MakeWidget(QWidget *parent) {
  auto *box = new ManualCheckBox(parent);
  box->setTristate(true);
  QObject::connect(box, &QCheckBox::clicked, [this] { OnClick(); });
  return box;
}

void ZlkCheck::ShowValue() {
  auto *box = static_cast<QCheckBox *>(Window());
  if (box == nullptr) return;
  box->setCheckState(value_ == 1   ? Qt::Checked
                     : value_ == 2 ? Qt::PartiallyChecked
                                   : Qt::Unchecked);
}

HResult ZlkCheck::PutValue(const Variant &v) {
  auto n = v.AsInteger();
  if (!n) return kTypeMismatch;
  if (*n < 0 || *n > 2) return kInvalidPropertyValue;
  value_ = *n;
  ShowValue();
  return kOk;
}

void ZlkCheck::OnClick() {
  // Checked becomes unchecked; unchecked and grayed become checked. The state is Value.
  value_ = value_ == 1 ? 0 : 1;
  ShowValue();
  std::vector<Variant> none;
  FireEvent("Click", none);
}

void ZlkCheck::ShowFieldText(const std::string &text) {
  if (text == CodePage(value_true_)) {
    value_ = 1;
  } else if (text == CodePage(value_false_)) {
    value_ = 0;
  } else if (text == CodePage(value_indeterminate_)) {
    value_ = 2;
  } else {
    return;  // none of the values: the box keeps its state
  }
  ShowValue();
}

bool ZlkCheck::ReadFieldText(std::string *text) {
  switch (value_) {
    case 0:
      *text = CodePage(value_false_);
      return true;
    case 1:
      *text = CodePage(value_true_);
      return true;
    case 2:
      *text = CodePage(value_indeterminate_);
      return true;
    default:
      return false;
  }
}

void ZlkCheck::ClearFieldText() {
  value_ = 0;
  ShowValue();
}

}  // namespace zelko
