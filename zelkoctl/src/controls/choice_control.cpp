#include "controls/choice_control.h"

#include <QAbstractButton>
#include <QApplication>

#include "frame/class_table.h"
#include "frame/stock_look.h"
#include "zplatform/codepage.h"

namespace zelko {

std::vector<PropertyInfo> ChoiceControl::Properties(bool with_indeterminate) {
  using namespace table;
  using K = PropKind;
  using C = ChoiceControl;
  const auto restyle = &C::ApplyStyle;
  std::vector<PropertyInfo> p = {
      Member("DbSource", 1, K::kString, "", &C::db_source_),
      Member("DbTable", 2, K::kString, "", &C::db_table_),
      Member("DbField", 3, K::kString, "", &C::db_field_),
      Member("DbValueTrue", 4, K::kString, "", &C::value_true_),
      Member("DbValueFalse", 5, K::kString, "", &C::value_false_),
      Member("Alignment", 7, K::kInt16, "0", &C::alignment_, kPersisted, restyle)};
  if (with_indeterminate)
    p.push_back(Member("DbValueIndeterminate", 8, K::kString, "", &C::value_indeterminate_));
  for (PropertyInfo &look : std::vector<PropertyInfo>{
           Member("Appearance", -520, K::kInt16, "1", &C::appearance_, kPersisted, restyle),
           Member("BackColor", -501, K::kColor, "-2147483643", &C::back_color_, kPersisted,
                  restyle),
           Member("Caption", -518, K::kString, "", &C::caption_, kPersisted, restyle),
           Member("ForeColor", -513, K::kColor, "-2147483640", &C::fore_color_, kPersisted,
                  restyle),
           Member("Font", -512, K::kFont, nullptr, &C::font_, kPersisted, restyle),
           Constant<C>("MouseIcon", -522, K::kString, nullptr, kPersisted, Variant::String("")),
           Member("MousePointer", -521, K::kInt16, "0", &C::mouse_pointer_, kPersisted, restyle),
           Member("TabStop", -516, K::kBool, "-1", &C::tab_stop_, kPersisted, restyle),
           Member("Enabled", -514, K::kBool, "-1", &C::enabled_, kPersisted, restyle),
           Custom<C>(
               "Value", 6, K::kInt16, "0", kTransient,
               [](C &c, Variant *v) {
                 *v = Variant::I2(static_cast<int16_t>(c.value_));
                 return kOk;
               },
               [](C &c, const Variant &v) { return c.PutValue(v); }),
           WindowProperty<C>()})
    p.push_back(std::move(look));
  return p;
}

QAbstractButton *ChoiceControl::Button() const {
  return static_cast<QAbstractButton *>(Window());
}

void ChoiceControl::ApplyStyle() {
  QAbstractButton *button = Button();
  if (button == nullptr) return;
  button->setText(QString::fromStdString(caption_));
  // Alignment 1 puts the text to the left of the box.
  button->setLayoutDirection(alignment_ == 1 ? Qt::RightToLeft : Qt::LeftToRight);
  button->setEnabled(enabled_);
  button->setFocusPolicy(tab_stop_ ? Qt::StrongFocus : Qt::ClickFocus);
  button->setFont(FontOf(font_));
  QPalette pal = button->palette();
  pal.setColor(QPalette::Window, OleColor(back_color_, QApplication::palette().window().color()));
  pal.setColor(QPalette::WindowText,
               OleColor(fore_color_, QApplication::palette().windowText().color()));
  button->setPalette(pal);
  button->setAutoFillBackground(true);
}

void ChoiceControl::OnWindowCreated() {
  ApplyStyle();
  ShowValue();
  FieldControl::OnWindowCreated();  // registration in run mode
}

}  // namespace zelko
