// ZLKCheck: a check box bound to one field. The field's text equal to DbValueTrue,
// DbValueFalse or DbValueIndeterminate shows checked, unchecked or grayed; the state goes
// back as that text.
#pragma once

#include "controls/choice_control.h"

namespace zelko {

class ZlkCheck : public ChoiceControl {
 public:
  static const ClassInfo &Info();
  ZlkCheck();
  ~ZlkCheck() override;
  const ClassInfo &Class() const override { return Info(); }

  int GetKind() const override { return kKindCheckBox; }
  void ShowFieldText(const std::string &text) override;
  bool ReadFieldText(std::string *text) override;
  void ClearFieldText() override;

 protected:
  QWidget *MakeWidget(QWidget *parent) override;
  void ShowValue() override;

 private:
  HResult PutValue(const Variant &v) override;
  void OnClick();
  // The value text of the state (code page).
  std::string StateText() const;
};

}  // namespace zelko
