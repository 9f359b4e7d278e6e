#include "frame/property_page.h"

#include <algorithm>

#include "binding/data_source.h"
#include "engine/extended_fill.h"
#include "engine/module.h"
#include "engine/table_catalog.h"
#include "zplatform/codepage.h"

namespace zelko {

namespace {

const char *const kOperations[] = {"Insert",
                                   "Update",
                                   "Delete",
                                   "GetEqual",
                                   "GetFirst",
                                   "GetLast",
                                   "GetNext",
                                   "GetPrevious",
                                   "GetGreater",
                                   "GetLessThan",
                                   "GetGreaterOrEuqal",
                                   "GetLessThanOrEqual",
                                   "StepFirst",
                                   "StepLast",
                                   "StepNext",
                                   "StepPrevious",
                                   "InsertNCC",
                                   "UpdateNCC"};

const PageListSpec kSource{PageList::kSource, "ﾃﾞｰﾀｿｰｽ", "DbSource"};
const PageListSpec kTable{PageList::kTable, "ﾃｰﾌﾞﾙ", "DbTable"};
const PageListSpec kField{PageList::kField, "ﾌｨｰﾙﾄﾞ", "DbField"};
const PageListSpec kIndex{PageList::kIndex, "ｲﾝﾃﾞｯｸｽ", "DbIndex"};
const PageListSpec kOperation{PageList::kOperation, "Btrieveｵﾍﾟﾚｰｼｮﾝ", "DbOperation"};
const PageListSpec kListSource{PageList::kListSource, "ﾘｽﾄﾃﾞｰﾀｿｰｽ", "DbListSource"};
const PageListSpec kListTable{PageList::kListTable, "ﾘｽﾄﾃｰﾌﾞﾙ", "DbListTable"};
const PageListSpec kListField{PageList::kListField, "ﾘｽﾄﾌｨｰﾙﾄﾞ", "DbListField"};
const PageListSpec kListIndex{PageList::kListIndex, "ﾘｽﾄｲﾝﾃﾞｯｸｽ", "DbListIndex"};

// Which list a list is filled from.
PageList Parent(PageList list) {
  switch (list) {
    case PageList::kTable:
      return PageList::kSource;
    case PageList::kField:
    case PageList::kIndex:
      return PageList::kTable;
    case PageList::kListTable:
      return PageList::kListSource;
    case PageList::kListField:
    case PageList::kListIndex:
      return PageList::kListTable;
    default:
      return list;
  }
}

}  // namespace

std::vector<PageSpec> PagesOf(const Control &control) {
  std::string name = control.Class().class_name;
  auto bound = [](const char *page) { return PageSpec{page, {kSource, kTable, kField}}; };
  if (name == "ZLKBtr") return {PageSpec{"ZLKBtrPpg", {}, nullptr, nullptr, true}};
  if (name == "ZLKBtn") return {PageSpec{"ZLKBtnPpg", {kSource, kTable, kOperation, kIndex}}};
  if (name == "ZLKEdit") return {bound("ZLKEditPpg")};
  if (name == "ZLKCheck") return {bound("ZLKCheckPpg")};
  if (name == "ZLKOptBtn") return {bound("ZLKOptBtnPpg")};
  if (name == "ZLKPic") return {bound("ZLKPicPpg")};
  if (name == "ZLKListBox" || name == "ZLKComboBox") {
    return {PageSpec{name == "ZLKListBox" ? "ZLKListBoxPpg" : "ZLKComboBoxPpg",
                     {kSource, kTable, kField, kListSource, kListTable, kListField, kListIndex}}};
  }
  if (name == "ZLKHScroll" || name == "ZLKVScroll")
    return {PageSpec{name == "ZLKHScroll" ? "ZLKHScrollPpg" : "ZLKVScrollPpg",
                     {kSource, kTable, kIndex}}};
  if (name == "ZLKGrid")
    return {PageSpec{
        "ZLKGridPpg", {kListSource, kListTable, kListIndex}, "DbListFields", "DbConditions"}};
  if (name == "ZLKExComboBox" || name == "ZLKExListBox") {
    bool combo = name == "ZLKExComboBox";
    return {PageSpec{combo ? "ZLKExComboBoxPpg" : "ZLKExListBoxPpg",
                     {kListSource, kListTable, kListIndex},
                     "DbListField",
                     "DbConditions"},
            bound(combo ? "ZLKExComboBoxPpg2" : "ZLKExListBoxPpg2")};
  }
  return {};
}

PropertyPage::PropertyPage(Control &control, PageSpec spec)
    : control_(control), spec_(std::move(spec)) {
  for (const PageListSpec &list : spec_.lists)
    lists_.push_back(ListState{list, {}, -1});
  // Activation: each list filled and its current value selected, in dependency order.
  for (ListState &state : lists_) {
    if (Parent(state.spec.list) != state.spec.list) continue;
    Fill(state);
    std::string current = Current(state.spec.property);
    if (state.spec.list == PageList::kOperation) {
      Variant value;
      if (control_.GetProperty("DbOperation", &value) == kOk) {
        int at = static_cast<int>(value.AsInteger().value_or(-1));
        if (at >= 0 && at < static_cast<int>(state.items.size())) state.selected = at;
      }
    } else {
      auto found = std::find(state.items.begin(), state.items.end(), current);
      if (found != state.items.end())
        state.selected = static_cast<int>(found - state.items.begin());
    }
    FillDependents(state.spec.list, true);
  }
  if (spec_.edit_property != nullptr) edit_text_ = Current(spec_.edit_property);
  if (spec_.ddf_dir) ddf_dir_ = Current("DDFDir");
  if (spec_.chosen_fields_property != nullptr) {
    chosen_ = SplitFieldList(Current(spec_.chosen_fields_property));
    FillDependents(PageList::kListTable, false);
  }
}

std::string PropertyPage::Current(const char *property) const {
  Variant value;
  if (control_.GetProperty(property, &value) != kOk) return std::string();
  return value.AsString().value_or("");
}

PropertyPage::ListState *PropertyPage::State(PageList list) {
  for (ListState &state : lists_) {
    if (state.spec.list == list) return &state;
  }
  return nullptr;
}

const PropertyPage::ListState *PropertyPage::State(PageList list) const {
  return const_cast<PropertyPage *>(this)->State(list);
}

bool PropertyPage::Has(PageList list) const {
  return State(list) != nullptr;
}

std::vector<std::string> PropertyPage::Items(PageList list) const {
  const ListState *state = State(list);
  return state != nullptr ? state->items : std::vector<std::string>();
}

std::string PropertyPage::Selected(PageList list) const {
  const ListState *state = State(list);
  return state != nullptr && state->selected >= 0
             ? state->items[static_cast<size_t>(state->selected)]
             : std::string();
}

TableDescriptor *PropertyPage::SelectedTable(bool list_side) const {
  std::string source = Selected(list_side ? PageList::kListSource : PageList::kSource);
  std::string table = Selected(list_side ? PageList::kListTable : PageList::kTable);
  if (source.empty() || table.empty()) return nullptr;
  DataSource *found = Module::Get().registry.FindDataSource(control_.GetFormWindow(), source);
  TableCatalog *catalog = found != nullptr ? found->Catalog() : nullptr;
  if (catalog == nullptr) return nullptr;
  int at = FindTableByName(*catalog, zplatform::FromUtf8(table));
  if (at < 0) return nullptr;
  TableDescriptor &descriptor = catalog->tables[static_cast<size_t>(at)];
  if (ResolveTable(*catalog, descriptor) != 0) return nullptr;
  return &descriptor;
}

void PropertyPage::Fill(ListState &state) {
  state.items.clear();
  state.selected = -1;
  BindingRegistry &registry = Module::Get().registry;
  switch (state.spec.list) {
    case PageList::kSource:
    case PageList::kListSource:
      for (DataSource *source : registry.DataSources()) {
        if (source->GetFormWindow() == control_.GetFormWindow())
          state.items.push_back(source->GetName());
      }
      break;
    case PageList::kTable:
    case PageList::kListTable: {
      std::string source =
          Selected(state.spec.list == PageList::kTable ? PageList::kSource : PageList::kListSource);
      DataSource *found =
          source.empty() ? nullptr : registry.FindDataSource(control_.GetFormWindow(), source);
      TableCatalog *catalog = found != nullptr ? found->Catalog() : nullptr;
      if (catalog != nullptr) {
        for (const TableDescriptor &table : catalog->tables)
          state.items.push_back(zplatform::ToUtf8(table.name));
      }
      break;
    }
    case PageList::kField:
    case PageList::kListField:
      if (TableDescriptor *table = SelectedTable(state.spec.list == PageList::kListField)) {
        for (const FieldDescriptor &field : table->fields)
          state.items.push_back(zplatform::ToUtf8(field.name));
      }
      break;
    case PageList::kIndex:
    case PageList::kListIndex:
      if (TableDescriptor *table = SelectedTable(state.spec.list == PageList::kListIndex)) {
        // The names, then the fields that start a key (what DbIndex takes).
        for (const FieldDescriptor &named : table->named_indexes)
          state.items.push_back(zplatform::ToUtf8(named.name));
        bool starts = true;
        for (const SegmentDescriptor &segment : table->segments) {
          if (starts) {
            for (const FieldDescriptor &field : table->fields) {
              if (field.field_id == segment.field_id) {
                state.items.push_back(zplatform::ToUtf8(field.name));
                break;
              }
            }
          }
          starts = (segment.key_flags & kSegmentFlagFollows) == 0;
        }
      }
      break;
    case PageList::kOperation:
      state.items.assign(std::begin(kOperations), std::end(kOperations));
      break;
  }
}

void PropertyPage::FillDependents(PageList list, bool select_current) {
  for (ListState &state : lists_) {
    if (Parent(state.spec.list) != list || state.spec.list == list) continue;
    Fill(state);
    if (select_current) {
      std::string current = Current(state.spec.property);
      auto found = std::find(state.items.begin(), state.items.end(), current);
      if (found != state.items.end())
        state.selected = static_cast<int>(found - state.items.begin());
    }
    FillDependents(state.spec.list, select_current);
  }
  if (spec_.chosen_fields_property != nullptr && list == PageList::kListTable) {
    available_.clear();
    if (TableDescriptor *table = SelectedTable(true)) {
      for (const FieldDescriptor &field : table->fields) {
        std::string name = zplatform::ToUtf8(field.name);
        if (std::find(chosen_.begin(), chosen_.end(), name) == chosen_.end())
          available_.push_back(name);
      }
    }
  }
}

bool PropertyPage::Choose(PageList list, const std::string &entry) {
  ListState *state = State(list);
  if (state == nullptr) return false;
  auto found = std::find(state->items.begin(), state->items.end(), entry);
  if (found == state->items.end()) return false;
  state->selected = static_cast<int>(found - state->items.begin());
  dirty_ = true;
  if (list == PageList::kListTable && spec_.chosen_fields_property != nullptr) {
    // Another table: its fields start unchosen.
    chosen_.clear();
    chooser_touched_ = true;
  }
  FillDependents(list, false);
  return true;
}

void PropertyPage::Move(const std::vector<std::string> &names, bool to_chosen) {
  std::vector<std::string> &from = to_chosen ? available_ : chosen_;
  std::vector<std::string> &to = to_chosen ? chosen_ : available_;
  std::vector<std::string> moving = names.empty() ? from : names;
  for (const std::string &name : moving) {
    auto at = std::find(from.begin(), from.end(), name);
    if (at == from.end()) continue;
    from.erase(at);
    to.push_back(name);
  }
  chooser_touched_ = dirty_ = true;
}

void PropertyPage::SetEditText(const std::string &text) {
  edit_text_ = text;
  edit_touched_ = dirty_ = true;
}

void PropertyPage::SetDdfDir(const std::string &directory) {
  ddf_dir_ = directory;
  ddf_touched_ = dirty_ = true;
}

HResult PropertyPage::Apply() {
  HResult result = kOk;
  auto put = [&](const char *property, Variant value) {
    HResult hr = control_.PutProperty(property, value);
    if (hr != kOk && result == kOk) result = hr;
  };
  for (const ListState &state : lists_) {
    if (state.selected < 0) continue;  // no selection: the property stays as it is
    if (state.spec.list == PageList::kOperation) {
      put(state.spec.property, Variant::I2(static_cast<int16_t>(state.selected)));
    } else {
      put(state.spec.property, Variant::String(state.items[static_cast<size_t>(state.selected)]));
    }
  }
  if (spec_.chosen_fields_property != nullptr && chooser_touched_) {
    std::string joined;
    for (const std::string &name : chosen_)
      joined += (joined.empty() ? "" : ",") + name;
    put(spec_.chosen_fields_property, Variant::String(joined));
  }
  if (spec_.edit_property != nullptr && edit_touched_)
    put(spec_.edit_property, Variant::String(edit_text_));
  if (spec_.ddf_dir && ddf_touched_) put("DDFDir", Variant::String(ddf_dir_));
  dirty_ = chooser_touched_ = edit_touched_ = ddf_touched_ = false;
  return result;
}

}  // namespace zelko
