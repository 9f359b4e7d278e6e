#include "controls/zlkoptbtn.h"

#include <QRadioButton>

#include "engine/module.h"
#include "frame/class_table.h"
#include "zplatform/codepage.h"

namespace zelko {

const ClassInfo &ZlkOptBtn::Info() {
  static const ClassInfo info = [] {
    ClassInfo c{"ZLKBTRLibCtl.ZLKOptBtn", "ZLKOptBtn", kKindOptionButton, {}, {}, {}};
    c.properties = Properties(false);
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
  given_.Forget();
  ShowValue();
  return kOk;
}

void ZlkOptBtn::OnClick() {
  value_ = 1;
  given_.Forget();
  ShowChecked(true);
  if (RunMode()) {
    for (BoundControl *other : Module::Get().registry.FieldControls()) {
      if (other == this || other->GetKind() != kKindOptionButton) continue;
      if (other->GetDbSource() == db_source_ && other->GetDbTable() == db_table_ &&
          other->GetDbField() == db_field_) {
        // The choice is made: the group's buttons answer for it, none for the text before.
        if (auto *button = dynamic_cast<ZlkOptBtn *>(other)) {
          button->ShowUnchecked();
          button->given_.Forget();
        }
      }
    }
  }
  std::vector<Variant> none;
  FireEvent("Click", none);
}

void ZlkOptBtn::ShowFieldText(const std::string &text) {
  // Tested in this order: when both values are equal, unchecked wins.
  bool is_true = text == zplatform::FromUtf8(value_true_);
  bool is_false = text == zplatform::FromUtf8(value_false_);
  if (is_true) value_ = 1;
  if (is_false) value_ = 0;
  if (is_true || is_false) ShowValue();
  given_.Remember(text, StateText());
}

std::string ZlkOptBtn::StateText() const {
  return zplatform::FromUtf8(value_ == 0 ? value_false_ : value_true_);
}

bool ZlkOptBtn::ReadFieldText(std::string *text) {
  *text = given_.Resolve(*this, StateText());
  return true;
}

void ZlkOptBtn::ClearFieldText() {
  given_.Forget();
  ShowUnchecked();
}

}  // namespace zelko
