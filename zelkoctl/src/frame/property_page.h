// A control's design-time property page without a window: the lists it offers (data sources
// on the same form, the chosen source's tables, the table's fields or keys, the button's
// operations, and for the grid and extended lists the available and chosen fields), filled
// from the binding registry, with the current values selected when the page opens, dirty
// after a choice, and Apply writing every chosen value into the control's properties.
// Texts are UTF-8.
#pragma once

#include <string>
#include <vector>

#include "frame/control.h"

namespace zelko {

struct TableDescriptor;

enum class PageList {
  kSource,
  kTable,
  kField,
  kIndex,
  kOperation,
  kListSource,
  kListTable,
  kListField,
  kListIndex
};

struct PageListSpec {
  PageList list;
  const char *label;     // as the page shows it
  const char *property;  // the property Apply writes
};

struct PageSpec {
  const char *name = "";  // ZLKEditPpg ...
  std::vector<PageListSpec> lists;
  // The grid and the extended lists: the available and chosen fields, the field list
  // property they make, and an edit field for the condition.
  const char *chosen_fields_property = nullptr;
  const char *edit_property = nullptr;
  bool ddf_dir = false;  // the data source's page
};

// The pages of a control's class: one, or two for the extended lists.
std::vector<PageSpec> PagesOf(const Control &control);

class PropertyPage {
 public:
  // Opens page `spec` on `control`: the lists filled, the current values selected.
  PropertyPage(Control &control, PageSpec spec);
  const PageSpec &Spec() const { return spec_; }
  std::vector<std::string> Items(PageList list) const;
  std::string Selected(PageList list) const;  // empty: no selection
  bool Has(PageList list) const;
  // Selects an entry of the list (false when the list has no such entry): the page is dirty
  // and the lists that depend on it are filled again, without a selection.
  bool Choose(PageList list, const std::string &entry);
  // The field chooser: moves the named fields (all with an empty list) between the lists.
  std::vector<std::string> Available() const { return available_; }
  std::vector<std::string> Chosen() const { return chosen_; }
  void Move(const std::vector<std::string> &names, bool to_chosen);
  // The edit field (condition) and the data source's DDFDir.
  std::string EditText() const { return edit_text_; }
  void SetEditText(const std::string &text);
  std::string DdfDir() const { return ddf_dir_; }
  void SetDdfDir(const std::string &directory);
  bool Dirty() const { return dirty_; }
  // Writes every list with a selection (and the chooser, edit field and DDFDir when touched)
  // into the control; the page is clean afterwards. kOk, or the first refusal.
  HResult Apply();

 private:
  struct ListState {
    PageListSpec spec;
    std::vector<std::string> items;
    int selected = -1;
  };
  ListState *State(PageList list);
  const ListState *State(PageList list) const;
  void Fill(ListState &state);
  // Fills the lists that depend on `list`, selecting the control's current values when
  // `select_current`.
  void FillDependents(PageList list, bool select_current);
  TableDescriptor *SelectedTable(bool list_side) const;
  std::string Current(const char *property) const;

  Control &control_;
  PageSpec spec_;
  std::vector<ListState> lists_;
  std::vector<std::string> available_, chosen_;
  std::string edit_text_, ddf_dir_;
  bool chooser_touched_ = false, edit_touched_ = false, ddf_touched_ = false, dirty_ = false;
};

}  // namespace zelko
