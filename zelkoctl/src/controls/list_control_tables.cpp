// The class tables of the four list controls: each in its persisted order, then the run-time
// properties and the methods. The extended controls keep their item field list (DbListFields)
// under the bag key "DbListField"; the combo boxes their input-method mode under "ImeMode".
#include <QComboBox>
#include <QLineEdit>

#include "controls/list_control.h"
#include "frame/class_table.h"

namespace zelko {

using namespace table;
using K = PropKind;
using L = ListBoxControl;

PropertyInfo ListBoxControl::TextProperty() {
  return Custom<L>(
      "Text", -517, K::kString, "", kPersisted,
      [](L &l, Variant *v) {
        *v = Variant::String(l.Window() != nullptr ? l.WindowText() : l.text_);
        return kOk;
      },
      [](L &l, const Variant &v) { return l.PutText(v); });
}

// The properties, methods and events every list control has after its persisted ones.
void ListBoxControl::AddRunTimeMembers(ClassInfo &c, int first_dispid, bool combo, bool extended) {
  int d = first_dispid;
  c.properties.push_back(Member("Abort", d++, K::kBool, "0", &L::abort_, kTransient));
  c.properties.push_back(Custom<L>(
      "ListCount", d++, K::kInt16, nullptr, kTransient | kReadOnly,
      [](L &l, Variant *v) {
        *v = Variant::I2(static_cast<int16_t>(l.ListCount()));
        return kOk;
      },
      nullptr));
  c.properties.push_back(Custom<L>(
      "ListIndex", d++, K::kInt16, nullptr, kTransient,
      [](L &l, Variant *v) {
        *v = Variant::I2(static_cast<int16_t>(l.ListIndex()));
        return kOk;
      },
      [](L &l, const Variant &v) {
        auto n = v.AsInteger();
        if (!n) return kTypeMismatch;
        return l.SetListIndex(*n) ? kOk : kInvalidPropertyValue;
      }));
  if (extended) {
    c.properties.push_back(
        Member("DbListIndexID", d++, K::kInt16, "0", &L::list_index_id_, kTransient));
    c.properties.push_back(Member("DbResultID", d++, K::kInt16, "-1", &L::result_id_, kTransient));
  }
  c.properties.push_back(WindowProperty<L>());
  c.methods = {
      Method<L>("List", d++, {{"Index", false}, {"Value", false, true}}, true, &L::ListMethod),
      Method<L>("ItemData", d++, {{"Index", false}, {"Value", false, true}}, true,
                &L::ItemDataMethod),
      Method<L>("AddItem", d++, {{"Text", false}, {"Index", false, true}}, true,
                [](L &l, Args &a, Variant *r) {
                  if (a.empty()) return kBadParamCount;
                  int index = a.size() > 1 && !a[1].IsEmpty() ? a[1].AsInteger().value_or(-1) : -1;
                  *r = Variant::I2(
                      static_cast<int16_t>(l.AddItem(a[0].AsString().value_or(""), index)));
                  return kOk;
                }),
      Method<L>("RemoveItem", d++, {{"Index", false}}, true,
                [](L &l, Args &a, Variant *r) {
                  auto index = a.empty() ? std::nullopt : a[0].AsInteger();
                  if (!index) return kBadParamCount;
                  *r = Variant::I2(static_cast<int16_t>(l.RemoveItem(*index)));
                  return kOk;
                }),
      Method<L>("Clear", d++, {}, false,
                [](L &l, Args &, Variant *) {
                  l.Clear();
                  return kOk;
                }),
      Method<L>("Refresh", d++, {}, false, [](L &l, Args &, Variant *) {
        l.Refresh();
        return kOk;
      })};
  c.events = {{"BtrieveError", 1, {{"TableName", false}, {"Status", true}}},
              {"Format", 2, {{"LineData", true}}},
              {"Scroll", 3, {}},
              {"Click", -600, {}},
              {"DblClick", -601, {}}};
  for (auto events : {KeyEvents(), MouseEvents()})
    c.events.insert(c.events.end(), events.begin(), events.end());
  if (combo) c.events.push_back({"Change", 4, {}});
}

// The stock look in the order the class persists it.
std::vector<PropertyInfo> ListBoxControl::Look(bool border_style_after_appearance,
                                               bool border_after_back) {
  const auto restyle = &L::ApplyStyle;
  std::vector<PropertyInfo> p;
  p.push_back(Member("Appearance", -520, K::kInt16, "1", &L::appearance_, kPersisted, restyle));
  if (border_style_after_appearance)
    p.push_back(
        Member("BorderStyle", -504, K::kInt16, "1", &L::border_style_, kPersisted, restyle));
  p.push_back(
      Member("BackColor", -501, K::kColor, "-2147483643", &L::back_color_, kPersisted, restyle));
  if (border_after_back)
    p.push_back(
        Member("BorderStyle", -504, K::kInt16, "1", &L::border_style_, kPersisted, restyle));
  p.push_back(
      Member("ForeColor", -513, K::kColor, "-2147483640", &L::fore_color_, kPersisted, restyle));
  p.push_back(Member("Font", -512, K::kFont, nullptr, &L::font_, kPersisted, restyle));
  p.push_back(Constant<L>("MouseIcon", -522, K::kString, nullptr, kPersisted, Variant::String("")));
  p.push_back(
      Member("MousePointer", -521, K::kInt16, "0", &L::mouse_pointer_, kPersisted, restyle));
  p.push_back(Member("TabStop", -516, K::kBool, "-1", &L::tab_stop_, kPersisted, restyle));
  p.push_back(TextProperty());
  p.push_back(Member("Enabled", -514, K::kBool, "-1", &L::enabled_, kPersisted, restyle));
  return p;
}

namespace {
void Append(std::vector<PropertyInfo> &to, std::vector<PropertyInfo> more) {
  for (auto &p : more)
    to.push_back(std::move(p));
}
}  // namespace

// The extended controls' data properties, DbListSource .. IntegralHeight (DISPIDs 1 to 19).
std::vector<PropertyInfo> ListBoxControl::ExtendedData() {
  return {Member("DbListSource", 1, K::kString, "", &L::db_list_source_),
          Member("DbListTable", 2, K::kString, "", &L::db_list_table_),
          Member("DbListField", 3, K::kString, "", &L::db_list_field_),
          Member("DbSource", 4, K::kString, "", &L::db_source_),
          Member("DbTable", 5, K::kString, "", &L::db_table_),
          Member("DbField", 6, K::kString, "", &L::db_field_),
          Member("DbUpdateOption", 7, K::kInt16, "1", &L::update_option_),
          Member("DbConditions", 8, K::kString, "", &L::conditions_),
          Member("DbLeaveResults", 9, K::kBool, "0", &L::leave_results_),
          Member("DbLocks", 10, K::kInt16, "0", &L::locks_),
          Member("DbExOperation", 11, K::kInt16, "1", &L::ex_operation_),
          Member("DbListIndex", 12, K::kString, "", &L::db_list_index_),
          Member("DbDelimitChar", 13, K::kString, "", &L::delimit_char_),
          Member("DbCompareCase", 14, K::kInt16, "0", &L::compare_case_),
          Member("DbSkipRecords", 15, K::kInt16, "100", &L::skip_records_),
          Member("DbMaxRecords", 16, K::kInt32, "300", &L::max_records_),
          Member("DbSavePosition", 17, K::kBool, "0", &L::save_position_),
          Member("Sort", 18, K::kBool, "0", &L::sort_, kPersisted, &L::ApplyStyle),
          Member("IntegralHeight", 19, K::kBool, "-1", &L::integral_height_)};
}

const ClassInfo &ZlkComboBox::Info() {
  static const ClassInfo info = [] {
    using E = ZlkComboBox;
    ClassInfo c{"ZLKBTRLibCtl.ZLKComboBox", "ZLKComboBox", kKindComboBox, {}, {}, {}};
    c.properties = {Member("Style", 1, K::kInt16, "0", &E::style_, kPersisted, &E::ApplyStyle),
                    Member("IntegralHeight", 2, K::kBool, "-1", &E::integral_height_),
                    Member("Sort", 3, K::kBool, "0", &E::sort_, kPersisted, &E::ApplyStyle),
                    Member("DbSource", 4, K::kString, "", &E::db_source_),
                    Member("DbTable", 5, K::kString, "", &E::db_table_),
                    Member("DbField", 6, K::kString, "", &E::db_field_),
                    Member("DbListSource", 7, K::kString, "", &E::db_list_source_),
                    Member("DbListTable", 8, K::kString, "", &E::db_list_table_),
                    Member("DbListField", 9, K::kString, "", &E::db_list_field_),
                    Member("DbListIndex", 10, K::kString, "", &E::db_list_index_),
                    Member("ImeMode", 11, K::kInt16, "0", &E::ime_mode_),
                    Member("DbUpdateOption", 12, K::kInt16, "1", &E::update_option_)};
    Append(c.properties, Look(false, false));
    AddRunTimeMembers(c, 13, true, false);
    return c;
  }();
  return info;
}

const ClassInfo &ZlkListBox::Info() {
  static const ClassInfo info = [] {
    using E = ZlkListBox;
    ClassInfo c{"ZLKBTRLibCtl.ZLKListBox", "ZLKListBox", kKindListBox, {}, {}, {}};
    c.properties = {Member("Sort", 1, K::kBool, "0", &E::sort_, kPersisted, &E::ApplyStyle),
                    Member("IntegralHeight", 2, K::kBool, "-1", &E::integral_height_),
                    Member("DbSource", 3, K::kString, "", &E::db_source_),
                    Member("DbTable", 4, K::kString, "", &E::db_table_),
                    Member("DbField", 5, K::kString, "", &E::db_field_),
                    Member("DbListSource", 6, K::kString, "", &E::db_list_source_),
                    Member("DbListTable", 7, K::kString, "", &E::db_list_table_),
                    Member("DbListField", 8, K::kString, "", &E::db_list_field_),
                    Member("DbListIndex", 9, K::kString, "", &E::db_list_index_),
                    Member("DbUpdateOption", 10, K::kInt16, "1", &E::update_option_)};
    Append(c.properties, Look(true, false));
    AddRunTimeMembers(c, 11, false, false);
    return c;
  }();
  return info;
}

const ClassInfo &ZlkExComboBox::Info() {
  static const ClassInfo info = [] {
    using E = ZlkExComboBox;
    ClassInfo c{"ZLKBTRLibCtl.ZLKExComboBox", "ZLKExComboBox", kKindExComboBox, {}, {}, {}};
    c.properties = ExtendedData();
    c.properties.push_back(
        Member("Style", 20, K::kInt16, "0", &E::style_, kPersisted, &E::ApplyStyle));
    c.properties.push_back(Member("ImeMode", 21, K::kInt16, "0", &E::ime_mode_));
    Append(c.properties, Look(false, false));
    // The item field list by its own name as well (not persisted twice).
    c.properties.push_back(
        Member("DbListFields", 3, K::kString, "", &E::db_list_field_, kTransient));
    AddRunTimeMembers(c, 22, true, true);
    return c;
  }();
  return info;
}

const ClassInfo &ZlkExListBox::Info() {
  static const ClassInfo info = [] {
    using E = ZlkExListBox;
    ClassInfo c{"ZLKBTRLibCtl.ZLKExListBox", "ZLKExListBox", kKindExListBox, {}, {}, {}};
    c.properties = ExtendedData();
    c.properties.push_back(Member("DbTabStops", 20, K::kString, "", &E::tab_stops_));
    Append(c.properties, Look(false, true));
    c.properties.push_back(
        Member("DbListFields", 3, K::kString, "", &E::db_list_field_, kTransient));
    AddRunTimeMembers(c, 21, false, true);
    return c;
  }();
  return info;
}

ZlkComboBox::ZlkComboBox() : ListBoxControl(kKindComboBox, true, false) {}
ZlkListBox::ZlkListBox() : ListBoxControl(kKindListBox, false, false) {}
ZlkExComboBox::ZlkExComboBox() : ListBoxControl(kKindExComboBox, true, true) {}
ZlkExListBox::ZlkExListBox() : ListBoxControl(kKindExListBox, false, true) {}

}  // namespace zelko
