// Design-time property pages on forms with and without a dictionary: lists, activation with
// the current values, dependent lists, the field chooser and Apply.
#include <gtest/gtest.h>

#include <QWidget>
#include <memory>

#include "control_test_util.h"
#include "controls/list_control.h"
#include "controls/zlkbtn.h"
#include "controls/zlkbtr.h"
#include "controls/zlkedit.h"
#include "controls/zlkgrid.h"
#include "engine/field_conversion.h"
#include "engine_test_util.h"
#include "frame/property_page.h"
#include "qt_test_app.h"
#include "zelko_test_env.h"

namespace zelko {
namespace {

using controltest::TestSite;

std::vector<dictio::TableSpec> Tables() {
  return {{4,
           "ITEMS",
           "items",
           {{"ID", kInteger, 4}, {"NAME", kString, 12}, {"QTY", kInteger, 2}, {"CODE", kString, 6}},
           {{"ID", 0, 0, 0x100}, {"CODE", 1, 0, 0x100}},
           {{"ByCode", 1}}},
          {5, "OTHER", "other", {{"X", kInteger, 4}}, {{"X", 0, 0, 0x100}}, {}}};
}

class Pages : public testing::Test {
 protected:
  void SetUp() override {
    zelko_testing::App();
    dir_ = enginetest::NewDir("pages");
    ASSERT_EQ(enginetest::WriteDictionary(dir_, Tables()), 0);
    form_ = std::make_unique<QWidget>();
  }
  // A control of this form in design mode, with these properties.
  template <typename C>
  std::unique_ptr<C> Make(const std::string &name,
                          std::vector<std::pair<const char *, Variant>> props) {
    sites_.push_back(std::make_unique<TestSite>(name, form_.get(), false));
    auto control = std::make_unique<C>();
    control->SetSite(sites_.back().get());
    PropertyBag bag;
    for (auto &[key, value] : props)
      bag.Write(key, value);
    LoadProperties(*control, bag, nullptr);
    return control;
  }
  std::string dir_;
  std::unique_ptr<QWidget> form_;
  std::vector<std::unique_ptr<TestSite>> sites_;
  enginetest::RecordMessages messages_;
};

TEST_F(Pages, NoDataSourceOrNoDictionaryGivesEmptyLists) {
  auto edit = Make<ZlkEdit>("Text1", {});
  PropertyPage page(*edit, PagesOf(*edit)[0]);
  EXPECT_EQ(page.Spec().name, std::string("ZLKEditPpg"));
  EXPECT_TRUE(page.Items(PageList::kSource).empty());
  auto empty = Make<ZlkBtr>("Zelko1", {});
  PropertyPage still(*edit, PagesOf(*edit)[0]);
  EXPECT_TRUE(still.Items(PageList::kSource).empty());
  EXPECT_TRUE(still.Items(PageList::kTable).empty());
  // Typed into the properties all the same.
  ASSERT_EQ(edit->PutProperty("DbTable", Variant::String("TYPED")), kOk);
  auto source = Make<ZlkBtr>("Zelko2", {{"DDFDir", Variant::String(dir_)}});
  PropertyPage again(*edit, PagesOf(*edit)[0]);
  ASSERT_EQ(again.Items(PageList::kSource), std::vector<std::string>{"Zelko2"});
  ASSERT_TRUE(again.Choose(PageList::kSource, "Zelko2"));
  EXPECT_EQ(again.Items(PageList::kTable).size(), 2u);
  EXPECT_TRUE(again.Dirty());
  // A data source chosen, no table: Apply changes DbSource only.
  ASSERT_EQ(again.Apply(), kOk);
  EXPECT_FALSE(again.Dirty());
  Variant value;
  edit->GetProperty("DbSource", &value);
  EXPECT_EQ(value.AsString(), "Zelko2");
  edit->GetProperty("DbTable", &value);
  EXPECT_EQ(value.AsString(), "TYPED");
}

TEST_F(Pages, ListsFromARealDictionaryAndApply) {
  auto source = Make<ZlkBtr>("Zelko1", {{"DDFDir", Variant::String(dir_)}});
  auto edit = Make<ZlkEdit>("Text1", {{"DbSource", Variant::String("Zelko1")},
                                      {"DbTable", Variant::String("ITEMS")},
                                      {"DbField", Variant::String("QTY")}});
  // Opened on the current values: each list selects them and its dependents are filled.
  PropertyPage page(*edit, PagesOf(*edit)[0]);
  EXPECT_EQ(page.Selected(PageList::kSource), "Zelko1");
  EXPECT_EQ(page.Items(PageList::kTable), (std::vector<std::string>{"ITEMS", "OTHER"}));
  EXPECT_EQ(page.Selected(PageList::kTable), "ITEMS");
  EXPECT_EQ(page.Items(PageList::kField), (std::vector<std::string>{"ID", "NAME", "QTY", "CODE"}));
  EXPECT_EQ(page.Selected(PageList::kField), "QTY");
  EXPECT_FALSE(page.Dirty());
  // Another table: its fields, none selected until one is chosen.
  ASSERT_TRUE(page.Choose(PageList::kTable, "OTHER"));
  EXPECT_EQ(page.Items(PageList::kField), std::vector<std::string>{"X"});
  EXPECT_EQ(page.Selected(PageList::kField), "");
  EXPECT_FALSE(page.Choose(PageList::kField, "NOPE"));
  ASSERT_TRUE(page.Choose(PageList::kField, "X"));
  ASSERT_EQ(page.Apply(), kOk);
  Variant value;
  edit->GetProperty("DbTable", &value);
  EXPECT_EQ(value.AsString(), "OTHER");
  edit->GetProperty("DbField", &value);
  EXPECT_EQ(value.AsString(), "X");
  // The button: operations in their order, keys by name and by first field.
  auto button = Make<ZlkBtn>(
      "Command1", {{"DbSource", Variant::String("Zelko1")}, {"DbTable", Variant::String("ITEMS")}});
  PropertyPage buttons(*button, PagesOf(*button)[0]);
  ASSERT_EQ(buttons.Items(PageList::kOperation).size(), 18u);
  EXPECT_EQ(buttons.Items(PageList::kOperation)[10], "GetGreaterOrEuqal");
  EXPECT_EQ(buttons.Items(PageList::kIndex), (std::vector<std::string>{"ByCode", "ID", "CODE"}));
  ASSERT_TRUE(buttons.Choose(PageList::kOperation, "GetEqual"));
  ASSERT_TRUE(buttons.Choose(PageList::kIndex, "ByCode"));
  ASSERT_EQ(buttons.Apply(), kOk);
  button->GetProperty("DbOperation", &value);
  EXPECT_EQ(value.AsInteger(), 3);
  button->GetProperty("DbIndex", &value);
  EXPECT_EQ(value.AsString(), "ByCode");
  // The grid: the chosen fields make DbListFields, the edit field the condition.
  auto grid = Make<ZlkGrid>("Grid1", {{"DbListSource", Variant::String("Zelko1")},
                                      {"DbListTable", Variant::String("ITEMS")},
                                      {"DbListFields", Variant::String("CODE")}});
  PropertyPage fields(*grid, PagesOf(*grid)[0]);
  EXPECT_EQ(fields.Chosen(), std::vector<std::string>{"CODE"});
  EXPECT_EQ(fields.Available(), (std::vector<std::string>{"ID", "NAME", "QTY"}));
  fields.Move({"QTY", "ID"}, true);
  fields.Move({"CODE"}, false);
  fields.SetEditText("@QTY > 1");
  ASSERT_EQ(fields.Apply(), kOk);
  grid->GetProperty("DbListFields", &value);
  EXPECT_EQ(value.AsString(), "QTY,ID");
  grid->GetProperty("DbConditions", &value);
  EXPECT_EQ(value.AsString(), "@QTY > 1");
  // The extended list has two pages; the data source one DDFDir.
  ZlkExListBox probe;
  EXPECT_EQ(PagesOf(probe).size(), 2u);
  EXPECT_EQ(PagesOf(probe)[1].name, std::string("ZLKExListBoxPpg2"));
  PropertyPage directory(*source, PagesOf(*source)[0]);
  EXPECT_EQ(directory.DdfDir(), dir_);
}

}  // namespace
}  // namespace zelko
