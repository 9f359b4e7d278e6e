// The list and combo boxes: a list filled from a table (one field per record along a key, or
// several fields of the records an extended read selects) whose selection is bound to a
// field. ZLKListBox, ZLKComboBox, ZLKExListBox and ZLKExComboBox differ in their window and
// in which fill they run; their class tables live with each class.
#pragma once

#include <string>
#include <vector>

#include "binding/given_field_text.h"
#include "frame/field_control.h"

class QComboBox;
class QListWidget;

namespace zelko {

struct TableDescriptor;

class ListBoxControl : public ListControl {
 public:
  ListBoxControl(int kind, bool combo, bool extended);
  ~ListBoxControl() override;

  int GetKind() const override { return kind_; }
  std::string GetListSource() const override { return db_list_source_; }
  std::string GetDbSource() const override { return db_source_; }
  std::string GetDbTable() const override { return db_table_; }
  std::string GetDbField() const override { return db_field_; }
  int GetUpdateOption() const override { return update_option_; }
  void Refresh() override;
  void ShowFieldText(const std::string &text) override;
  bool ReadFieldText(std::string *text) override;
  void ClearFieldText() override;

  // Standard list access (UTF-8 texts).
  int ListCount() const;
  std::string ItemText(int index) const;
  int32_t ItemData(int index) const;
  bool SetItemData(int index, int32_t data);
  int ListIndex() const;
  bool SetListIndex(int index);  // -1 removes the selection
  int AddItem(const std::string &text, int index);
  // The window got (lost) the focus: UpdateOnFocus fills, a combo box sets its IMEMode.
  void OnFocus(bool focused);
  int RemoveItem(int index);
  void Clear();

 protected:
  QWidget *MakeWidget(QWidget *parent) override;
  void OnWindowCreated() override;
  void OnWindowDestroying() override;
  void ApplyStyle();
  HResult PutText(const Variant &v);
  std::string WindowText() const;
  // Indexed properties, as methods: (Index) reads, (Index, Value) writes.
  static HResult ListMethod(ListBoxControl &c, std::vector<Variant> &args, Variant *result);
  static HResult ItemDataMethod(ListBoxControl &c, std::vector<Variant> &args, Variant *result);

  // Pieces of the class tables (list_control_tables.cpp).
  static PropertyInfo TextProperty();
  static std::vector<PropertyInfo> Look(bool border_after_appearance, bool border_after_back);
  static std::vector<PropertyInfo> ExtendedData();
  static void AddRunTimeMembers(ClassInfo &c, int first_dispid, bool combo, bool extended);

  // The item a record gives after Format; false when Abort stopped the fill.
  bool AddFormatted(std::string text_cp, int32_t position);
  void SimpleFill(TableDescriptor &table, int key);
  void ExtendedFill(TableDescriptor &table, int key);
  int KeyOf(const TableDescriptor &table) const;
  // Selects the item the field text names (the exchange rules of the binding protocol).
  void Select(const std::string &text_cp);
  // What the control answers for its field now (code page).
  std::string Answer() const;

  int kind_;
  bool combo_, extended_;
  std::string db_list_source_, db_list_table_, db_list_field_, db_list_index_;
  std::string db_source_, db_table_, db_field_;
  GivenFieldText given_;
  int update_option_ = 1;
  bool abort_ = false, sort_ = false, integral_height_ = true;
  int style_ = 0, ime_mode_ = 0, former_ime_mode_ = 0;
  int appearance_ = 1, border_style_ = 1, mouse_pointer_ = 0;
  bool tab_stop_ = true, enabled_ = true;
  int32_t back_color_ = static_cast<int32_t>(0x80000005),
          fore_color_ = static_cast<int32_t>(0x80000008);
  std::string font_ = "ＭＳ Ｐゴシック,9,400,128";
  std::string text_;  // the edit text before the window exists
  // Extended fill.
  std::string conditions_, delimit_char_, tab_stops_;
  bool leave_results_ = false, save_position_ = false;
  int locks_ = 0, ex_operation_ = 1, compare_case_ = 0, skip_records_ = 100;
  int32_t max_records_ = 300;
  int list_index_id_ = 0, result_id_ = -1;

  QComboBox *combo_box_ = nullptr;
  QListWidget *list_ = nullptr;
};

class ZlkListBox : public ListBoxControl {
 public:
  static const ClassInfo &Info();
  ZlkListBox();
  const ClassInfo &Class() const override { return Info(); }
};

class ZlkComboBox : public ListBoxControl {
 public:
  static const ClassInfo &Info();
  ZlkComboBox();
  const ClassInfo &Class() const override { return Info(); }
};

class ZlkExListBox : public ListBoxControl {
 public:
  static const ClassInfo &Info();
  ZlkExListBox();
  const ClassInfo &Class() const override { return Info(); }
};

class ZlkExComboBox : public ListBoxControl {
 public:
  static const ClassInfo &Info();
  ZlkExComboBox();
  const ClassInfo &Class() const override { return Info(); }
};

}  // namespace zelko
