#include "controls/zlkoptbtn.h"

#include <QRadioButton>

#include "engine/module.h"
#include "frame/class_table.h"

namespace zelko {

const ClassInfo &ZlkOptBtn::Info() {
  static const ClassInfo info = [] {
    using namespace table;
    using K = PropKind;
    using E = ZlkOptBtn;
    ClassInfo c{"ZLKBTRLibCtl.ZLKOptBtn", "ZLKOptBtn", kKindOptionButton, {}, {}, {}};
    const auto restyle = &E::ApplyStyle;
    // In the persisted order.
    c.properties = {
        Member("DbSource", 1, K::kString, "", &E::db_source_),
        Member("DbTable", 2, K::kString, "", &E::db_table_),
        Member("DbField", 3, K::kString, "", &E::db_field_),
        Member("DbValueTrue", 4, K::kString, "", &E::value_true_),
        Member("DbValueFalse", 5, K::kString, "", &E::value_false_),
        Member("Alignment", 7, K::kInt16, "0", &E::alignment_, kPersisted, restyle),
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

ZlkOptBtn::ZlkOptBtn() = default;
ZlkOptBtn::~ZlkOptBtn() {
  DestroyWindow();
}

QWidget *ZlkOptBtn::MakeWidget(QWidget *parent) {
  auto *button = new QRadioButton(parent);
  QObject::connect(button, &QRadioButton::clicked, [this] { OnClick(); });
  return button;
}

void ZlkOptBtn::ShowChecked(bool checked) {
  auto *button = static_cast<QRadioButton *>(Window());
  if (button == nullptr) return;
  // An automatic radio button cannot be unchecked while it is its group's checked one.
  button->setAutoExclusive(false);
  button->setChecked(checked);
  button->setAutoExclusive(true);
}

void ZlkOptBtn::ShowValue() {
  ShowChecked(value_ != 0);
}

void ZlkOptBtn::ShowUnchecked() {
  ShowChecked(false);
}

HResult ZlkOptBtn::PutValue(const Variant &v) {
  auto n = v.AsInteger();
  if (!n) return kTypeMismatch;
  if (*n != 0 && *n != 1 && *n != -1) return kInvalidPropertyValue;
  value_ = *n != 0 ? 1 : 0;
  ShowValue();
  return kOk;
}

void ZlkOptBtn::OnClick() {
  value_ = 1;
  ShowChecked(true);
  if (RunMode()) {
    for (BoundControl *other : Module::Get().registry.FieldControls()) {
      if (other == this || other->GetKind() != kKindOptionButton) continue;
      if (other->GetDbSource() == db_source_ && other->GetDbTable() == db_table_ &&
          other->GetDbField() == db_field_) {
        if (auto *button = dynamic_cast<ZlkOptBtn *>(other)) button->ShowUnchecked();
      }
    }
  }
  std::vector<Variant> none;
  FireEvent("Click", none);
}

void ZlkOptBtn::ShowFieldText(const std::string &text) {
  // Tested in this order: when both values are equal, unchecked wins.
  if (text == CodePage(value_true_)) value_ = 1;
  if (text == CodePage(value_false_)) value_ = 0;
  if (text == CodePage(value_true_) || text == CodePage(value_false_)) ShowValue();
}

bool ZlkOptBtn::ReadFieldText(std::string *text) {
  *text = CodePage(value_ == 0 ? value_false_ : value_true_);
  return true;
}

void ZlkOptBtn::ClearFieldText() {
  ShowUnchecked();
}

}  // namespace zelko
