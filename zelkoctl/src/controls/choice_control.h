// The base of the check box and the option button: a button that shows a field whose text
// is one of its configured values (DbValueTrue, DbValueFalse ...) as a check state. The
// stock look, the field binding and the value texts are alike; the classes differ in their
// states and in what a click does.
#pragma once

#include <string>
#include <vector>

#include "binding/given_field_text.h"
#include "frame/field_control.h"

class QAbstractButton;

namespace zelko {

class ChoiceControl : public FieldControl {
 public:
  std::string GetDbTable() const override { return db_table_; }
  std::string GetDbField() const override { return db_field_; }
  std::string GetDbSource() const override { return db_source_; }
  int Value() const { return value_; }

 protected:
  // The window's button (made by the class) with its caption, alignment and look.
  QAbstractButton *Button() const;
  void ApplyStyle();
  void OnWindowCreated() override;
  // Shows `value_` (0 unchecked, 1 checked, 2 grayed) on the button.
  virtual void ShowValue() = 0;
  // The class table both classes share, in the persisted order; the check box has
  // DbValueIndeterminate (8) after Alignment.
  static std::vector<PropertyInfo> Properties(bool with_indeterminate);
  virtual HResult PutValue(const Variant &v) = 0;

  std::string db_source_, db_table_, db_field_;
  std::string value_true_, value_false_, value_indeterminate_;  // UTF-8
  std::string caption_;
  int value_ = 0;
  // The field text last shown: one none of the values names leaves the state of the record
  // shown before, which an update must not store here. A click, a Value put or a clear
  // forgets it.
  GivenFieldText given_;
  int alignment_ = 0, appearance_ = 1, mouse_pointer_ = 0;
  bool enabled_ = true, tab_stop_ = true;
  int32_t back_color_ = static_cast<int32_t>(0x80000005),
          fore_color_ = static_cast<int32_t>(0x80000008);
  std::string font_ = "ＭＳ Ｐゴシック,9,400,128";
};

}  // namespace zelko
