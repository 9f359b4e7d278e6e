// ZLKOptBtn: an option button bound to one field: the field's text equal to DbValueTrue
// checks it, equal to DbValueFalse unchecks it; Value 0 goes back as DbValueFalse, any
// other Value as DbValueTrue. A click selects it and shows unchecked every other option
// button bound to the same data source, table and field (their Value stays).
#pragma once

#include "controls/choice_control.h"

namespace zelko {

class ZlkOptBtn : public ChoiceControl {
 public:
  static const ClassInfo &Info();
  ZlkOptBtn();
  ~ZlkOptBtn() override;
  const ClassInfo &Class() const override { return Info(); }

  int GetKind() const override { return kKindOptionButton; }
  void ShowFieldText(const std::string &text) override;
  bool ReadFieldText(std::string *text) override;
  void ClearFieldText() override;
  // Shows the button unchecked without changing its Value.
  void ShowUnchecked();

 protected:
  QWidget *MakeWidget(QWidget *parent) override;
  void ShowValue() override;

 private:
  HResult PutValue(const Variant &v) override;
  void ShowChecked(bool checked);
  void OnClick();
  // The value text of the state (code page).
  std::string StateText() const;
};

}  // namespace zelko
