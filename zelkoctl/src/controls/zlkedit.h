// ZLKEdit: a text box bound to one field. It shows the field's text (through its Format mask
// and right alignment), and its window text is what goes back into the field.
#pragma once

#include <string>

#include "binding/given_field_text.h"
#include "controls/edit_rules.h"
#include "frame/field_control.h"

class QLineEdit;
class QString;
class QObject;
class QEvent;

namespace zelko {

class ZlkEdit : public FieldControl {
 public:
  static const ClassInfo &Info();
  ZlkEdit();
  ~ZlkEdit() override;
  const ClassInfo &Class() const override { return Info(); }

  int GetKind() const override { return kKindEdit; }
  std::string GetDbTable() const override { return db_table_; }
  std::string GetDbField() const override { return db_field_; }
  std::string GetDbSource() const override { return db_source_; }
  void ShowFieldText(const std::string &text) override;
  bool ReadFieldText(std::string *text) override;
  void ClearFieldText() override;

  // The edit window (null before the window exists).
  QLineEdit *EditWindow() const { return edit_; }
  const std::string &TextValue() const { return text_; }  // UTF-8
  // Event filter of the edit window (keys, focus, mouse).
  bool HandleEvent(QObject *watched, QEvent *event);

 protected:
  QWidget *MakeWidget(QWidget *parent) override;
  void OnWindowCreated() override;

 private:
  // Properties with more to them than their member.
  HResult PutDbField(const Variant &v);
  HResult PutText(const Variant &v);
  HResult PutSelStart(const Variant &v);
  HResult PutSelLength(const Variant &v);
  int SelectionStart() const;  // REQUIRES: the edit window exists

  int FieldType();
  // The text rules with the current properties and the site's format service.
  EditRules Rules() const;
  void ShowText(const std::string &text);  // sets the window text
  void ApplyStyle();
  bool Filter(const QString &typed);  // true: the keystroke is consumed

  std::string db_source_, db_table_, db_field_, password_char_, format_, text_;
  int max_length_ = 0, alignment_ = 0, ime_mode_ = 0, format_option_ = 0;
  bool multi_line_ = false, read_only_ = false, upper_case_ = false, numeric_mask_ = false;
  int appearance_ = 1, border_style_ = 1, mouse_pointer_ = 0;
  bool enabled_ = true, tab_stop_ = true;
  int32_t back_color_ = static_cast<int32_t>(0x80000005),
          fore_color_ = static_cast<int32_t>(0x80000008);
  std::string font_ = "ＭＳ Ｐゴシック,9,400,128";
  int field_type_ = -1;
  int former_ime_mode_ = 0;
  QLineEdit *edit_ = nullptr;
  bool showing_ = false;  // the window text is being set by the control itself
  int run_limit_ = 0;     // code-page bytes the user may type, 0 for no limit
  // The text the data source or the program last gave, under its mask and alignment.
  GivenFieldText given_;
};

}  // namespace zelko
