#include "controls/choice_control.h"

#include <QAbstractButton>
#include <QApplication>

#include "frame/stock_look.h"
#include "zplatform/codepage.h"

namespace zelko {

QAbstractButton *ChoiceControl::Button() const {
  return static_cast<QAbstractButton *>(Window());
}

std::string ChoiceControl::CodePage(const std::string &utf8) {
  return zplatform::FromUtf8(utf8);
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
