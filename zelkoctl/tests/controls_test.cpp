#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QScrollBar>
#include <QTableView>
#include <QValidator>
#include <QWidget>
#include <filesystem>
#include <tuple>

#include "control_test_util.h"
#include "controls/list_control.h"
#include "controls/zlkbtr.h"
#include "controls/zlkcheck.h"
#include "controls/zlkgrid.h"
#include "controls/zlkoptbtn.h"
#include "controls/zlkpic.h"
#include "controls/zlkscroll.h"
#include "engine/extended_access.h"
#include "engine/field_conversion.h"
#include "engine/module.h"
#include "engine/table_access.h"
#include "engine_test_util.h"
#include "frame/class_factory.h"
#include "frame/ime_service.h"
#include "qt_test_app.h"
#include "zelko_test_env.h"
#include "zplatform/profile.h"

namespace zelko {
namespace {

using controltest::TestFieldControl;
using controltest::TestSite;
using enginetest::RecordMessages;

using zelko_testing::App;

std::vector<dictio::TableSpec> Tables() {
  return {{4,
           "PEOPLE",
           "people",
           {{"ID", kInteger, 4},
            {"NAME", kString, 10},
            {"AGE", kInteger, 2},
            {"VIP", kString, 1},
            {"KIND", kString, 1}},
           {{"ID", 0, 0, 0x100}},
           {{"ById", 0}}}};
}

class Controls : public testing::Test {
 protected:
  void SetUp() override {
    App();
    dir_ = enginetest::NewDir("dict");
    ASSERT_EQ(enginetest::WriteDictionary(dir_, Tables()), 0);
    form_ = std::make_unique<QWidget>();
  }
  // A data source on `form` named `name`, in run or design mode, with DDFDir set.
  std::unique_ptr<ZlkBtr> Source(const std::string &name, QWidget *form, bool run = true,
                                 bool all_open = true) {
    sites_.push_back(std::make_unique<TestSite>(name, form, run));
    auto s = std::make_unique<ZlkBtr>();
    s->SetSite(sites_.back().get());
    PropertyBag bag;
    bag.Write("DDFDir", Variant::String(dir_));
    bag.Write("AllOpen", Variant::Bool(all_open));
    LoadProperties(*s, bag, nullptr);
    return s;
  }
  int16_t Call(Control &c, const char *method, std::vector<Variant> args,
               Variant *result = nullptr) {
    EXPECT_EQ(c.Invoke(method, args, result), kOk) << method;
    return static_cast<int16_t>(args.back().AsInteger().value_or(-999));
  }
  std::string dir_;
  std::unique_ptr<QWidget> form_;
  std::vector<std::unique_ptr<TestSite>> sites_;
  RecordMessages messages_;
};

TEST_F(Controls, DataSourcePropertiesPersistInOrder) {
  auto s = Source("Zelko1", form_.get(), false);
  ASSERT_EQ(s->PutProperty("OwnerName", Variant::String("OWN")), kOk);
  ASSERT_EQ(s->PutProperty("OpenMode", Variant::I2(2)), kOk);
  ASSERT_EQ(s->PutProperty("DistName", Variant::String("sites")), kOk);
  ASSERT_EQ(s->PutProperty("CacheDDF", Variant::Bool(false)), kOk);
  PropertyBag bag;
  SaveProperties(*s, &bag);
  std::vector<std::string> names;
  for (const auto &i : bag.Items())
    names.push_back(i.name);
  EXPECT_EQ(names, (std::vector<std::string>{"DDFDir", "OwnerName", "OpenMode", "AllOpen",
                                             "DistName", "CacheDDF"}));
  ZlkBtr copy;
  LoadProperties(copy, bag, nullptr);
  PropertyBag again;
  SaveProperties(copy, &again);
  ASSERT_EQ(again.Items().size(), bag.Items().size());
  for (size_t i = 0; i < bag.Items().size(); ++i) {
    EXPECT_EQ(again.Items()[i].value.AsString(), bag.Items()[i].value.AsString()) << names[i];
  }
  Variant tab;
  ASSERT_EQ(s->PutProperty("TabStop", Variant::Bool(true)), kOk);
  ASSERT_EQ(s->GetProperty("TabStop", &tab), kOk);
  EXPECT_EQ(tab.AsInteger(), 0);  // always false
  EXPECT_EQ(s->PutProperty("NoSuch", Variant::I2(1)), kUnknownName);
}

TEST_F(Controls, DDFDirRules) {
  auto s = Source("Zelko1", form_.get(), false);
  ASSERT_NE(s->Catalog(), nullptr);  // design mode loads at once
  TableCatalog *before = s->Catalog();
  EXPECT_EQ(s->PutProperty("DDFDir", Variant::String(std::string(65, 'd'))), kInvalidPropertyValue);
  EXPECT_EQ(AutomationErrorNumber(kInvalidPropertyValue), 380);
  EXPECT_EQ(s->PutProperty("DDFDir", Variant::String("")), kInvalidPropertyValue);
  Variant v;
  ASSERT_EQ(s->GetProperty("DDFDir", &v), kOk);
  EXPECT_EQ(v.AsString(), dir_);  // the old value is kept
  ASSERT_EQ(s->PutProperty("DDFDir", Variant::String(dir_)), kOk);
  EXPECT_EQ(s->Catalog(), before);  // the same value: nothing happens
  std::string other = enginetest::NewDir("other");
  ASSERT_EQ(enginetest::WriteDictionary(other, {{4, "T", "t", {{"F", 0, 2}}, {}, {}}}), 0);
  ASSERT_EQ(s->PutProperty("DDFDir", Variant::String(other)), kOk);
  ASSERT_NE(s->Catalog(), nullptr);
  EXPECT_EQ(s->Catalog()->tables[0].name, "T");  // design time: reloaded at once
  // At run time the value is only stored.
  auto r = Source("Zelko2", form_.get(), true);
  ASSERT_EQ(r->PutProperty("DDFDir", Variant::String(other)), kOk);
  EXPECT_EQ(r->Catalog()->tables[0].name, "PEOPLE");
  std::vector<Variant> args;
  EXPECT_EQ(Call(*r, "DbLoadDDF", {}), 0);
  EXPECT_EQ(r->Catalog()->tables[0].name, "T");
}

TEST_F(Controls, MethodStatusesInTheirOrder) {
  ZlkBtr empty;  // no catalog
  TestSite site("Zelko9", form_.get());
  empty.SetSite(&site);
  EXPECT_EQ(Call(empty, "DbAccess",
                 {Variant::I2(12), Variant::String("PEOPLE"), Variant::String("ById")}),
            -20);
  EXPECT_EQ(Call(empty, "DbLoadDDF", {}), -21);
  Variant result;
  Call(empty, "DbGetNumOfTable", {});
  std::vector<Variant> is_open = {Variant::String("PEOPLE")};
  ASSERT_EQ(empty.Invoke("DbIsOpen", is_open, &result), kOk);
  EXPECT_EQ(result.AsInteger(), 0);

  auto s = Source("Zelko1", form_.get(), true, false);
  EXPECT_EQ(
      Call(*s, "DbAccess", {Variant::I2(12), Variant::String("NOSUCH"), Variant::String("ById")}),
      -4);
  EXPECT_EQ(
      Call(*s, "DbAccess", {Variant::I2(12), Variant::String("PEOPLE"), Variant::String("ById")}),
      -3);
  EXPECT_EQ(Call(*s, "DbClose", {Variant::String("PEOPLE")}), -3);
  EXPECT_EQ(Call(*s, "DbCreate", {Variant::String("PEOPLE")}), 0);
  EXPECT_EQ(Call(*s, "DbOpen", {Variant::String("PEOPLE")}), 0);
  EXPECT_EQ(Call(*s, "DbOpen", {Variant::String("PEOPLE")}), -2);
  EXPECT_EQ(Call(*s, "DbCreate", {Variant::String("PEOPLE")}), -2);
  EXPECT_EQ(Call(*s, "DbSetFileName", {Variant::String("PEOPLE"), Variant::String("x")}), -2);
  EXPECT_EQ(Call(*s, "DbAccess", {Variant::I2(12), Variant::String("PEOPLE"), Variant::String("")}),
            -6);
  EXPECT_EQ(
      Call(*s, "DbAccess", {Variant::I2(12), Variant::String("PEOPLE"), Variant::String("ById")}),
      9);
  EXPECT_EQ(Call(*s, "DbSetFieldData",
                 {Variant::String("PEOPLE"), Variant::String("NAME"), Variant::String("ANN")}),
            0);
  EXPECT_EQ(Call(*s, "DbSetFieldData",
                 {Variant::String("PEOPLE"), Variant::String("NOPE"), Variant::String("x")}),
            -5);
  EXPECT_EQ(Call(*s, "DbSetLockBias", {Variant::I2(150)}), -10);
  EXPECT_EQ(
      Call(*s, "DbAccess", {Variant::I2(2), Variant::String("PEOPLE"), Variant::String("ById")}),
      0);
  std::vector<Variant> get = {Variant::String("PEOPLE"), Variant::String("NAME")};
  ASSERT_EQ(s->Invoke("DbGetFieldData", get, &result), kOk);
  EXPECT_EQ(result.AsString(), "ANN");
  std::vector<Variant> unknown = {Variant::String("NOSUCH"), Variant::String("NAME")};
  ASSERT_EQ(s->Invoke("DbGetFieldData", unknown, &result), kOk);
  EXPECT_TRUE(result.IsNull());  // no string for an unknown table
  std::vector<Variant> isopen = {Variant::String("PEOPLE")};
  ASSERT_EQ(s->Invoke("DbIsOpen", isopen, &result), kOk);
  EXPECT_EQ(result.AsInteger(), 1);
  isopen = {Variant::String("NOSUCH")};
  ASSERT_EQ(s->Invoke("DbIsOpen", isopen, &result), kOk);
  EXPECT_EQ(result.AsInteger(), -4);
  EXPECT_EQ(Call(*s, "DbExSetMode", {Variant::String("E")}), -1);
  EXPECT_EQ(Call(*s, "DbExSetMode", {Variant::String("EG")}), 0);
  std::vector<Variant> name_args = {Variant::I2(0)};
  ASSERT_EQ(s->Invoke("DbGetTableName", name_args, nullptr), kOk);
  EXPECT_EQ(name_args[1].AsString(), "PEOPLE");
  std::vector<Variant> path = {};
  ASSERT_EQ(s->Invoke("DbGetModulePath", path, nullptr), kOk);
  EXPECT_NE(path[0].AsString().value_or("").find("libwbtrv32.so"), std::string::npos);
  EXPECT_EQ(Call(*s, "DbCloseAll", {}), 0);
  EXPECT_EQ(Call(*s, "DbReset", {}), 0);
  // Record arrays.
  EXPECT_EQ(Call(*s, "DbOpenAll", {}), 0);
  auto texts = zplatform::SafeArray::Vector(zplatform::kVtBstr, 0, 1);
  EXPECT_EQ(Call(*s, "DbGetRecord", {Variant::String("PEOPLE"), Variant::Array(texts)}), 0);
  auto numbers = zplatform::SafeArray::Vector(zplatform::kVtI4, 0, 1);
  EXPECT_EQ(Call(*s, "DbGetRecord", {Variant::String("PEOPLE"), Variant::Array(numbers)}), -17);
  auto beyond = zplatform::SafeArray::Vector(zplatform::kVtBstr, 6, 7);
  EXPECT_EQ(Call(*s, "DbGetRecord", {Variant::String("PEOPLE"), Variant::Array(beyond)}), -19);
  auto image = zplatform::SafeArray::Vector(zplatform::kVtUI1, 0, 5);
  EXPECT_EQ(Call(*s, "DbGetRecordImage", {Variant::String("PEOPLE"), Variant::Array(image)}), 0);
}

TEST_F(Controls, BtrieveErrorSuppressesTheMessage) {
  auto s = Source("Zelko1", form_.get(), true, false);  // no file exists: opens fail with 12
  EXPECT_EQ(Call(*s, "DbOpen", {Variant::String("PEOPLE")}), 12);
  ASSERT_EQ(messages_.Texts().size(), 1u);
  EXPECT_EQ(messages_.Texts()[0], "VE803 Btrieveファイル PEOPLE のオープンに失敗。(12)");
  std::string seen;
  s->SetEventHandler([&](const std::string &event, std::vector<Variant> &args) {
    seen = event + ":" + args[0].AsString().value_or("") + ":" +
           std::to_string(args[1].AsInteger().value_or(0));
    args[1] = Variant::I2(0);
  });
  messages_.Recorder().Clear();
  EXPECT_EQ(Call(*s, "DbOpen", {Variant::String("PEOPLE")}), 12);  // pRc keeps the status
  EXPECT_EQ(seen, "BtrieveError:PEOPLE:12");
  EXPECT_TRUE(messages_.Texts().empty());
  EXPECT_EQ(Call(*s, "DbOpenAll", {}), 12);
  EXPECT_TRUE(messages_.Texts().empty());
}

TEST_F(Controls, PreparationRegistersLoadsAndOpens) {
  auto s = Source("Zelko1", form_.get(), true, true);
  ASSERT_TRUE(s->Prepared());
  EXPECT_TRUE(s->Catalog()->tables[0].open);  // AllOpen created and opened the file
  EXPECT_TRUE(std::filesystem::exists(dir_ + "/people.btr"));
  EXPECT_EQ(Module::Get().registry.FindDataSource(form_.get(), "Zelko1"), s.get());
  // An empty display name: VE814, nothing loaded, not prepared.
  TestSite nameless("", form_.get());
  ZlkBtr n;
  n.SetSite(&nameless);
  PropertyBag bag;
  bag.Write("DDFDir", Variant::String(dir_));
  LoadProperties(n, bag, nullptr);
  EXPECT_FALSE(n.Prepared());
  EXPECT_EQ(n.Catalog(), nullptr);
  EXPECT_EQ(messages_.Texts().back(), "VE814 コンテナからName,FormNameを取得できません。");
  // CacheDDF: a second data source of the same dictionary gets a copy, every table closed.
  QWidget other_form;
  auto copy = Source("Zelko1", &other_form, false);
  ASSERT_NE(copy->Catalog(), nullptr);
  EXPECT_NE(copy->Catalog(), s->Catalog());
  EXPECT_FALSE(copy->Catalog()->tables[0].open);
  // DistName: at run time the key named like the control replaces DDFDir.
  std::string other = enginetest::NewDir("elsewhere");
  ASSERT_EQ(enginetest::WriteDictionary(other, {{4, "ELSE", "e", {{"F", 0, 2}}, {}, {}}}), 0);
  ASSERT_TRUE(zplatform::WritePrivateProfileString("sites", "Zelko5", other.c_str(), "zelko.ini"));
  TestSite site5("Zelko5", form_.get());
  ZlkBtr d;
  d.SetSite(&site5);
  PropertyBag dist;
  dist.Write("DDFDir", Variant::String(dir_));
  dist.Write("DistName", Variant::String("sites"));
  dist.Write("AllOpen", Variant::Bool(false));
  LoadProperties(d, dist, nullptr);
  ASSERT_NE(d.Catalog(), nullptr);
  EXPECT_EQ(d.Catalog()->tables[0].name, "ELSE");
  std::vector<Variant> about;
  ASSERT_EQ(d.Invoke("About", about, nullptr), kOk);
  EXPECT_NE(messages_.Texts().back().find("3.00"), std::string::npos);
}

TEST_F(Controls, RegistryTransfersOnTheRightFormOnly) {
  QWidget form2;
  auto s1 = Source("Zelko1", form_.get(), true);
  auto s2 = Source("Zelko1", &form2, true);
  // Two controls bound to PEOPLE.NAME on form 1 (one inside a frame), one on form 2.
  auto *frame = new QGroupBox(form_.get());
  frame->setProperty(kWindowClassProperty, "ThunderFrame");
  TestSite a_site("Edit1", form_.get()), b_site("Edit2", frame), c_site("Edit1", &form2);
  TestFieldControl a("PEOPLE", "NAME"), b("PEOPLE", "NAME"), c("PEOPLE", "NAME");
  a.SetSite(&a_site);
  b.SetSite(&b_site);
  c.SetSite(&c_site);
  a.CreateWindow(form_.get());
  b.CreateWindow(frame);
  c.CreateWindow(&form2);
  EXPECT_EQ(b.GetFormWindow(), form_.get());  // the frame's parent identifies the form
  EXPECT_EQ(Module::Get().registry.FieldControlCount(), 3u);
  // Design mode: bound controls register nothing.
  TestSite d_site("Edit3", form_.get(), false);
  TestFieldControl d("PEOPLE", "NAME");
  d.SetSite(&d_site);
  d.CreateWindow(form_.get());
  EXPECT_EQ(Module::Get().registry.FieldControlCount(), 3u);

  TableDescriptor &t1 = s1->Catalog()->tables[0];
  ClearRecordBuffer(t1);
  WriteFieldByName(t1, "NAME", "SMITH");
  EXPECT_EQ(Call(*s1, "DbTransferToControl", {Variant::String("PEOPLE")}), 0);
  EXPECT_EQ(a.text, "SMITH");
  EXPECT_EQ(b.text, "SMITH");
  EXPECT_EQ(c.text, "");  // the other form is untouched
  EXPECT_EQ(d.text, "");
  // Back: the control registered later wins.
  a.text = "FIRST";
  b.text = "LATER";
  EXPECT_EQ(Call(*s1, "DbTransferFromControl", {Variant::String("PEOPLE")}), 0);
  EXPECT_EQ(ReadFieldByName(t1, "NAME"), "LATER");
  b.answers = false;
  EXPECT_EQ(Call(*s1, "DbTransferFromControl", {Variant::String("PEOPLE")}), 0);
  EXPECT_EQ(ReadFieldByName(t1, "NAME"), "FIRST");
  WriteFieldByName(t1, "AGE", "42");
  EXPECT_EQ(Call(*s1, "DbTransferFromControl", {Variant::String("PEOPLE")}), 0);
  EXPECT_EQ(ReadFieldByName(t1, "AGE"), "42");  // no control: the bytes stay
  EXPECT_EQ(Call(*s1, "DbClearControlData", {Variant::String("PEOPLE")}), 0);
  EXPECT_EQ(a.text, "");
  EXPECT_EQ(b.text, "");
  // Re-registration with the same name on the same form replaces the entry.
  TestSite a2_site("Edit1", form_.get());
  TestFieldControl a2("PEOPLE", "NAME");
  a2.SetSite(&a2_site);
  a2.CreateWindow(form_.get());
  EXPECT_EQ(Module::Get().registry.FieldControlCount(), 3u);
  // Lookups.
  BindingRegistry &r = Module::Get().registry;
  EXPECT_NE(r.FindBoundTable(form_.get(), "Zelko1", "PEOPLE"), nullptr);
  EXPECT_EQ(r.FindBoundTable(form_.get(), "zelko1", "PEOPLE"), nullptr);
  EXPECT_EQ(r.FindFieldType(form_.get(), "Zelko1", "PEOPLE", "AGE"), kInteger);
  EXPECT_EQ(r.FindFieldType(form_.get(), "Zelko1", "PEOPLE", "NONE"), -1);
  DataSource *found = nullptr;
  std::string form_name = "Form1";
  EXPECT_EQ(r.FindForAttachment("ZELKO1", &form_name, nullptr, &found), 0);
  EXPECT_EQ(found, s1.get());  // name without regard to case, first on a form of that name
  std::string wrong = "Other";
  EXPECT_EQ(r.FindForAttachment("Zelko1", &wrong, nullptr, &found), -11);
  EXPECT_EQ(r.FindForAttachment("Zelko1", nullptr, &form2, &found), 0);
  EXPECT_EQ(found, s2.get());
  // A destroyed window leaves the registry.
  a2.DestroyWindow();
  EXPECT_EQ(Module::Get().registry.FieldControlCount(), 2u);
}

// A property bag of texts.
PropertyBag Texts(std::initializer_list<std::pair<const char *, const char *>> items) {
  PropertyBag bag;
  for (auto [name, value] : items)
    bag.Write(name, Variant::String(value));
  return bag;
}

// A list of PEOPLE's names along ById, bound to PEOPLE.KIND.
PropertyBag PeopleNamesForKind() {
  return Texts({{"DbListSource", "Zelko1"},
                {"DbListTable", "PEOPLE"},
                {"DbListField", "NAME"},
                {"DbListIndex", "ById"},
                {"DbSource", "Zelko1"},
                {"DbTable", "PEOPLE"},
                {"DbField", "KIND"}});
}

// The names the property bag receives, in order.
std::vector<std::string> SavedNames(Control &c) {
  PropertyBag bag;
  SaveProperties(c, &bag);
  std::vector<std::string> names;
  for (const auto &item : bag.Items())
    names.push_back(item.name);
  return names;
}

TEST_F(Controls, CheckBoxShowsAndReadsItsThreeValues) {
  auto source = Source("Zelko1", form_.get());
  ZlkCheck check;
  EXPECT_EQ(SavedNames(check),
            (std::vector<std::string>{"DbSource", "DbTable", "DbField", "DbValueTrue",
                                      "DbValueFalse", "Alignment", "DbValueIndeterminate",
                                      "Appearance", "BackColor", "Caption", "ForeColor", "Font",
                                      "MouseIcon", "MousePointer", "TabStop", "Enabled"}));
  TestSite site("Check1", form_.get());
  check.SetSite(&site);
  PropertyBag bag = Texts({{"DbSource", "Zelko1"},
                           {"DbTable", "PEOPLE"},
                           {"DbField", "VIP"},
                           {"DbValueTrue", "Y"},
                           {"DbValueFalse", "N"},
                           {"DbValueIndeterminate", "?"},
                           {"Caption", "会員"}});
  bag.Write("Alignment", Variant::I2(1));
  std::vector<std::string> unknown;
  LoadProperties(check, bag, &unknown);
  EXPECT_TRUE(unknown.empty());
  PropertyBag saved;
  SaveProperties(check, &saved);
  EXPECT_EQ(saved.Read("DbValueIndeterminate")->AsString(), "?");
  EXPECT_EQ(saved.Read("Alignment")->AsInteger(), 1);
  auto *box = static_cast<QCheckBox *>(check.CreateWindow(form_.get()));
  EXPECT_EQ(box->text(), QString("会員"));
  EXPECT_EQ(box->layoutDirection(), Qt::RightToLeft);  // text left of the box

  TableDescriptor &t = source->Catalog()->tables[0];
  auto show = [&](const char *text) {
    WriteFieldByName(t, "VIP", text);
    EXPECT_EQ(Call(*source, "DbTransferToControl", {Variant::String("PEOPLE")}), 0);
  };
  auto read_back = [&] {
    WriteFieldByName(t, "VIP", "-");
    EXPECT_EQ(Call(*source, "DbTransferFromControl", {Variant::String("PEOPLE")}), 0);
    return ReadFieldByName(t, "VIP");
  };
  show("Y");
  EXPECT_EQ(box->checkState(), Qt::Checked);
  EXPECT_EQ(read_back(), "Y");
  show("?");
  EXPECT_EQ(box->checkState(), Qt::PartiallyChecked);
  EXPECT_EQ(read_back(), "?");
  show("X");  // none of the three: the state stays
  EXPECT_EQ(box->checkState(), Qt::PartiallyChecked);
  // ... that of the record before, which an update must not store here: "X" goes back.
  EXPECT_EQ(read_back(), "X");
  // A click: grayed and unchecked become checked, checked unchecked; Click fires.
  int clicks = 0;
  check.SetEventHandler(
      [&](const std::string &e, std::vector<Variant> &) { clicks += e == "Click"; });
  box->click();
  EXPECT_EQ(box->checkState(), Qt::Checked);
  EXPECT_EQ(read_back(), "Y");
  box->click();
  EXPECT_EQ(box->checkState(), Qt::Unchecked);
  EXPECT_EQ(read_back(), "N");
  EXPECT_EQ(clicks, 2);
  EXPECT_EQ(check.PutProperty("Value", Variant::I2(2)), kOk);
  EXPECT_EQ(read_back(), "?");
  EXPECT_EQ(check.PutProperty("Value", Variant::I2(3)), kInvalidPropertyValue);
  EXPECT_EQ(Call(*source, "DbClearControlData", {Variant::String("PEOPLE")}), 0);
  EXPECT_EQ(box->checkState(), Qt::Unchecked);
  EXPECT_EQ(read_back(), "N");
  check.DestroyWindow();
}

TEST_F(Controls, OptionButtonsOfOneFieldShowOneChoice) {
  auto source = Source("Zelko1", form_.get());
  ZlkOptBtn probe;
  EXPECT_EQ(SavedNames(probe), (std::vector<std::string>{
                                   "DbSource", "DbTable", "DbField", "DbValueTrue", "DbValueFalse",
                                   "Alignment", "Appearance", "BackColor", "Caption", "ForeColor",
                                   "Font", "MouseIcon", "MousePointer", "TabStop", "Enabled"}));
  // Two buttons on KIND: "P" (person) and "C" (company).
  TestSite site1("Option1", form_.get()), site2("Option2", form_.get());
  ZlkOptBtn person, company;
  auto bind = [&](ZlkOptBtn &b, TestSite &site, const char *yes, const char *no) {
    b.SetSite(&site);
    PropertyBag bag;
    bag.Write("DbSource", Variant::String("Zelko1"));
    bag.Write("DbTable", Variant::String("PEOPLE"));
    bag.Write("DbField", Variant::String("KIND"));
    bag.Write("DbValueTrue", Variant::String(yes));
    bag.Write("DbValueFalse", Variant::String(no));
    LoadProperties(b, bag, nullptr);
    return static_cast<QRadioButton *>(b.CreateWindow(form_.get()));
  };
  QRadioButton *p = bind(person, site1, "P", "C");
  QRadioButton *c = bind(company, site2, "C", "P");
  TableDescriptor &t = source->Catalog()->tables[0];
  WriteFieldByName(t, "KIND", "P");
  EXPECT_EQ(Call(*source, "DbTransferToControl", {Variant::String("PEOPLE")}), 0);
  EXPECT_TRUE(p->isChecked());
  EXPECT_FALSE(c->isChecked());
  // A click selects company and shows person unchecked; person's Value stays 1.
  c->click();
  EXPECT_TRUE(c->isChecked());
  EXPECT_FALSE(p->isChecked());
  Variant value;
  EXPECT_EQ(person.GetProperty("Value", &value), kOk);
  EXPECT_EQ(value.AsInteger(), 1);
  EXPECT_EQ(Call(*source, "DbTransferFromControl", {Variant::String("PEOPLE")}), 0);
  EXPECT_EQ(ReadFieldByName(t, "KIND"), "C");  // the later one in the list wins
  // Equal true and false values: unchecked wins. A text equal to neither changes nothing.
  EXPECT_EQ(person.PutProperty("DbValueFalse", Variant::String("P")), kOk);
  WriteFieldByName(t, "KIND", "P");
  EXPECT_EQ(Call(*source, "DbTransferToControl", {Variant::String("PEOPLE")}), 0);
  EXPECT_EQ(person.GetProperty("Value", &value), kOk);
  EXPECT_EQ(value.AsInteger(), 0);
  WriteFieldByName(t, "KIND", "Z");
  EXPECT_EQ(Call(*source, "DbTransferToControl", {Variant::String("PEOPLE")}), 0);
  EXPECT_FALSE(c->isChecked());  // company took "P" as false before; "Z" leaves it
  EXPECT_EQ(Call(*source, "DbTransferFromControl", {Variant::String("PEOPLE")}), 0);
  EXPECT_EQ(ReadFieldByName(t, "KIND"), "Z");  // untouched, it goes back as it came
  person.DestroyWindow();
  company.DestroyWindow();
}

TEST_F(Controls, ScrollBarNavigatesTheTableAlongItsKey) {
  auto source = Source("Zelko1", form_.get());
  TableDescriptor &t = source->Catalog()->tables[0];
  for (auto [id, name] :
       {std::pair<const char *, const char *>{"30", "C"}, {"10", "A"}, {"20", "B"}}) {
    ClearRecordBuffer(t);
    WriteFieldByName(t, "ID", id);
    WriteFieldByName(t, "NAME", name);
    ASSERT_EQ(EngineAccess(t, B_INSERT, 0), 0);
  }
  ZlkScroll probe(false);
  EXPECT_EQ(
      SavedNames(probe),
      (std::vector<std::string>{"DbSource", "DbTable", "DbIndex", "LargeChange", "SmallChange",
                                "Max", "Min", "MouseIcon", "MousePointer", "TabStop", "Enabled"}));
  TestSite name_site("Edit1", form_.get()), bar_site("VScroll1", form_.get());
  TestFieldControl name("PEOPLE", "NAME");
  name.SetSite(&name_site);
  name.CreateWindow(form_.get());
  ZlkScroll scroll(true);
  scroll.SetSite(&bar_site);
  PropertyBag bag;
  bag.Write("DbSource", Variant::String("Zelko1"));
  bag.Write("DbTable", Variant::String("PEOPLE"));
  bag.Write("DbIndex", Variant::String("ById"));
  LoadProperties(scroll, bag, nullptr);
  auto *bar = static_cast<QScrollBar *>(scroll.CreateWindow(form_.get()));
  std::vector<std::string> events;
  scroll.SetEventHandler([&](const std::string &e, std::vector<Variant> &args) {
    events.push_back(e + (args.size() > 1 ? ":" + args[1].AsString().value_or("") : ""));
  });
  scroll.OnSourceReady();           // as the data source's load tells it
  EXPECT_EQ(bar->minimum(), 3333);  // 10,000 / 3 records
  EXPECT_EQ(bar->maximum(), 10000);
  EXPECT_EQ(name.text, "A");  // AutoFirst: the first record along ById
  Variant value;
  auto thumb = [&] {
    EXPECT_EQ(scroll.GetProperty("Value", &value), kOk);
    EXPECT_EQ(bar->value(), value.AsInteger().value_or(-1));
    return bar->value();
  };
  int first = thumb();
  scroll.Scroll(ZlkScroll::Request::kLineDown);
  EXPECT_EQ(name.text, "B");
  EXPECT_GT(thumb(), first);
  EXPECT_EQ(events, std::vector<std::string>{"Change"});
  scroll.Scroll(ZlkScroll::Request::kBottom);
  EXPECT_EQ(name.text, "C");
  // Line down on the last record: the last again, the thumb at the end, BtrieveError 9 and
  // its message when the handler keeps the status.
  events.clear();
  messages_.Recorder().Clear();
  scroll.Scroll(ZlkScroll::Request::kLineDown);
  EXPECT_EQ(name.text, "C");
  EXPECT_EQ(thumb(), 10000);
  EXPECT_EQ(events, std::vector<std::string>{"BtrieveError:9"});
  ASSERT_EQ(messages_.Texts().size(), 1u);
  EXPECT_EQ(messages_.Texts()[0], "ファイルの先頭または最後です。");
  // A Value set moves as a drag of the thumb would: 0 reaches the first record, 10,000 the last.
  EXPECT_EQ(scroll.PutProperty("Value", Variant::I4(0)), kOk);
  EXPECT_EQ(name.text, "A");
  EXPECT_EQ(scroll.PutProperty("Value", Variant::I4(10000)), kOk);
  EXPECT_EQ(name.text, "C");
  // Another control moved the record: the thumb shows where it is now.
  ASSERT_EQ(EngineAccess(t, B_GET_FIRST, 0), 0);
  Module::Get().registry.NotifyRecordMoved("Zelko1", "PEOPLE", 0, nullptr);
  EXPECT_EQ(thumb(), first);
  // The top, and line up at the top: the first again with 9.
  events.clear();
  scroll.SetEventHandler([&](const std::string &e, std::vector<Variant> &args) {
    events.push_back(e);
    if (e == "BtrieveError") args[1] = Variant::I2(0);  // the handler takes the error
  });
  messages_.Recorder().Clear();
  scroll.Scroll(ZlkScroll::Request::kLineUp);
  EXPECT_EQ(name.text, "A");
  EXPECT_EQ(events, std::vector<std::string>{"BtrieveError"});
  EXPECT_TRUE(messages_.Texts().empty());
  scroll.Scroll(ZlkScroll::Request::kPageDown);  // LargeChange 1: one record
  EXPECT_EQ(name.text, "B");
  EXPECT_EQ(scroll.PutProperty("LargeChange", Variant::I2(2)), kOk);
  scroll.Scroll(ZlkScroll::Request::kPageUp);  // two records' worth of percentage back
  EXPECT_EQ(name.text, "A");
  // A table the data source does not have: VE802 and nothing else.
  EXPECT_EQ(scroll.PutProperty("DbTable", Variant::String("NOPE")), kOk);
  scroll.Scroll(ZlkScroll::Request::kLineDown);
  ASSERT_EQ(messages_.Texts().size(), 1u);
  EXPECT_EQ(messages_.Texts()[0], "VE802 DbSourceまたはDbTableﾌﾟﾛﾊﾟﾃｨが不正です。");
  scroll.DestroyWindow();
  name.DestroyWindow();
}

TEST_F(Controls, PictureShowsTheImageItsFieldNames) {
  auto source = Source("Zelko1", form_.get());
  std::string images = zelko_testing::ScratchDir() + "/images";
  std::filesystem::create_directories(images);
  QImage red(8, 6, QImage::Format_RGB32);
  red.fill(Qt::red);
  ASSERT_TRUE(red.save(QString::fromStdString(images + "/red.png")));
  ASSERT_TRUE(red.scaled(4, 4).save(QString::fromStdString(images + "/small.bmp")));
  zelko_testing::WriteFile(images + "/bad.png", "not an image");
  ZlkPic probe;
  EXPECT_EQ(SavedNames(probe), (std::vector<std::string>{
                                   "DbSource", "DbTable", "DbField", "Stretch", "BlobPath",
                                   "Appearance", "BackColor", "BorderStyle", "Enabled", "ForeColor",
                                   "Font", "MouseIcon", "MousePointer", "Picture"}));
  TestSite site("Pic1", form_.get());
  ZlkPic pic;
  pic.SetSite(&site);
  PropertyBag bag;
  bag.Write("DbSource", Variant::String("Zelko1"));
  bag.Write("DbTable", Variant::String("PEOPLE"));
  bag.Write("DbField", Variant::String("NAME"));
  bag.Write("BlobPath", Variant::String(images));
  LoadProperties(pic, bag, nullptr);
  auto *label = static_cast<QLabel *>(pic.CreateWindow(form_.get()));
  TableDescriptor &t = source->Catalog()->tables[0];
  auto show = [&](const char *name) {
    WriteFieldByName(t, "NAME", name);
    EXPECT_EQ(Call(*source, "DbTransferToControl", {Variant::String("PEOPLE")}), 0);
    return label->pixmap().isNull() ? QSize() : label->pixmap().size();
  };
  EXPECT_EQ(show("red.png"), QSize(8, 6));
  EXPECT_EQ(show("nope.png"), QSize());       // missing: an empty picture, not the one before
  EXPECT_EQ(show("small.bmp"), QSize(4, 4));  // the extension in lower case
  EXPECT_EQ(show("bad.png"), QSize());        // not an image
  EXPECT_EQ(show(""), QSize());
  EXPECT_TRUE(messages_.Texts().empty());  // no box per record
  // The picture answers no field and is not cleared.
  show("red.png");
  WriteFieldByName(t, "NAME", "KEPT");
  EXPECT_EQ(Call(*source, "DbTransferFromControl", {Variant::String("PEOPLE")}), 0);
  EXPECT_EQ(ReadFieldByName(t, "NAME"), "KEPT");
  EXPECT_EQ(Call(*source, "DbClearControlData", {Variant::String("PEOPLE")}), 0);
  EXPECT_EQ(label->pixmap().size(), QSize(8, 6));
  // Bound to a field that is not a String: nothing is shown.
  EXPECT_EQ(pic.PutProperty("DbField", Variant::String("AGE")), kOk);
  WriteFieldByName(t, "AGE", "7");
  EXPECT_EQ(Call(*source, "DbTransferToControl", {Variant::String("PEOPLE")}), 0);
  EXPECT_EQ(label->pixmap().size(), QSize(8, 6));
  pic.DestroyWindow();
}

// PEOPLE with ID 30 "C" 33, 10 "A" 11, 20 "B" 22 (in that physical order).
void AddThreePeople(TableDescriptor &t) {
  for (auto [id, name, age] :
       {std::tuple<const char *, const char *, const char *>{"30", "C", "33"},
        {"10", "A", "11"},
        {"20", "B", "22"}}) {
    ClearRecordBuffer(t);
    WriteFieldByName(t, "ID", id);
    WriteFieldByName(t, "NAME", name);
    WriteFieldByName(t, "AGE", age);
    ASSERT_EQ(EngineAccess(t, B_INSERT, 0), 0);
  }
}

std::vector<std::string> Items(ListBoxControl &l) {
  std::vector<std::string> items;
  for (int i = 0; i < l.ListCount(); ++i)
    items.push_back(l.ItemText(i));
  return items;
}

TEST_F(Controls, ListBoxFillsAlongItsKeyAndBindsItsSelection) {
  auto source = Source("Zelko1", form_.get());
  TableDescriptor &t = source->Catalog()->tables[0];
  AddThreePeople(t);
  ZlkListBox probe;
  EXPECT_EQ(SavedNames(probe),
            (std::vector<std::string>{
                "Sort",         "IntegralHeight", "DbSource",    "DbTable",     "DbField",
                "DbListSource", "DbListTable",    "DbListField", "DbListIndex", "DbUpdateOption",
                "Appearance",   "BorderStyle",    "BackColor",   "ForeColor",   "Font",
                "MouseIcon",    "MousePointer",   "TabStop",     "Text",        "Enabled"}));
  // The table stands on B before the fill and after it.
  WriteFieldByName(t, "ID", "20");
  ASSERT_EQ(EngineAccess(t, B_GET_EQUAL, 0), 0);
  TestSite site("List1", form_.get());
  ZlkListBox list;
  list.SetSite(&site);
  PropertyBag bag = PeopleNamesForKind();
  LoadProperties(list, bag, nullptr);
  std::vector<std::string> formats;
  list.SetEventHandler([&](const std::string &e, std::vector<Variant> &args) {
    if (e != "Format") return;
    std::string line = args[0].AsString().value_or("");
    formats.push_back(line);
    if (line == "B") args[0] = Variant::String("B!");
  });
  list.CreateWindow(form_.get());  // UpdateOnInit: filled at once
  EXPECT_EQ(Items(list), (std::vector<std::string>{"A", "B!", "C"}));
  EXPECT_EQ(formats, (std::vector<std::string>{"A", "B", "C"}));
  EXPECT_EQ(ReadFieldByName(t, "NAME"), "B");  // the table's record is where it was
  ASSERT_EQ(EngineAccess(t, B_GET_NEXT, 0), 0);
  EXPECT_EQ(ReadFieldByName(t, "NAME"), "C");
  // Abort on the third record keeps two items; an empty LineData leaves a record out.
  list.SetEventHandler([&](const std::string &e, std::vector<Variant> &args) {
    if (e != "Format") return;
    std::string line = args[0].AsString().value_or("");
    if (line == "A") args[0] = Variant::String("");
    if (line == "C") list.PutProperty("Abort", Variant::Bool(true));
  });
  list.Refresh();
  EXPECT_EQ(Items(list), std::vector<std::string>{"B"});
  list.SetEventHandler(nullptr);
  list.Refresh();
  // The bound field: the first item that begins with the text; no selection reads empty.
  WriteFieldByName(t, "KIND", "b");
  EXPECT_EQ(Call(*source, "DbTransferToControl", {Variant::String("PEOPLE")}), 0);
  EXPECT_EQ(list.ListIndex(), 1);
  WriteFieldByName(t, "KIND", "Z");
  EXPECT_EQ(Call(*source, "DbTransferToControl", {Variant::String("PEOPLE")}), 0);
  EXPECT_EQ(list.ListIndex(), 1);  // no match: the selection stays
  // The item still selected is the record before's: an update must not store it here, nor
  // an item that only begins with the value. A selection made since goes back.
  EXPECT_EQ(Call(*source, "DbTransferFromControl", {Variant::String("PEOPLE")}), 0);
  EXPECT_EQ(ReadFieldByName(t, "KIND"), "Z");
  ASSERT_EQ(list.PutProperty("ListIndex", Variant::I2(2)), kOk);
  EXPECT_EQ(Call(*source, "DbTransferFromControl", {Variant::String("PEOPLE")}), 0);
  EXPECT_EQ(ReadFieldByName(t, "KIND"), "C");
  EXPECT_EQ(Call(*source, "DbClearControlData", {Variant::String("PEOPLE")}), 0);
  EXPECT_EQ(Call(*source, "DbTransferFromControl", {Variant::String("PEOPLE")}), 0);
  EXPECT_EQ(ReadFieldByName(t, "KIND"), "");
  // The standard list access.
  std::vector<Variant> args = {Variant::I2(2)};
  Variant result;
  EXPECT_EQ(list.Invoke("List", args, &result), kOk);
  EXPECT_EQ(result.AsString(), "C");
  args = {Variant::I2(1), Variant::I4(77)};
  EXPECT_EQ(list.Invoke("ItemData", args, &result), kOk);
  EXPECT_EQ(list.ItemData(1), 77);
  args = {Variant::I2(9)};
  EXPECT_EQ(list.Invoke("List", args, &result), kInvalidPropertyValue);
  args = {Variant::String("D")};
  EXPECT_EQ(list.Invoke("AddItem", args, &result), kOk);
  EXPECT_EQ(result.AsInteger(), 3);
  // A list field the table does not have: the list keeps what it had.
  EXPECT_EQ(list.PutProperty("DbListField", Variant::String("NOPE")), kOk);
  list.Refresh();
  EXPECT_EQ(list.ListCount(), 4);
  list.DestroyWindow();
}

TEST_F(Controls, ExtendedListsFillFromTheConditionWithTheirFields) {
  auto source = Source("Zelko1", form_.get());
  TableDescriptor &t = source->Catalog()->tables[0];
  AddThreePeople(t);
  ZlkExComboBox probe;
  std::vector<std::string> names = SavedNames(probe);
  ASSERT_EQ(names.size(), 30u);
  EXPECT_EQ(names[2], "DbListField");  // the item field list under its bag key
  EXPECT_EQ(names[20], "ImeMode");
  TestSite site("ExList1", form_.get());
  ZlkExListBox list;
  list.SetSite(&site);
  PropertyBag bag = Texts({{"DbListSource", "Zelko1"},
                           {"DbListTable", "PEOPLE"},
                           {"DbListField", "NAME,AGE"},
                           {"DbListIndex", "ById"},
                           {"DbConditions", "@AGE >= 20"},
                           {"DbDelimitChar", "/"}});
  bag.Write("DbSavePosition", Variant::Bool(true));
  bag.Write("DbMaxRecords", Variant::I4(1));  // one record a read: the fill reads on
  LoadProperties(list, bag, nullptr);
  list.CreateWindow(form_.get());
  EXPECT_EQ(Items(list), (std::vector<std::string>{"B/22", "C/33"}));
  EXPECT_GT(list.ItemData(0), 0);  // the record's physical position
  // Another direction, the default delimiter, and a stored result.
  EXPECT_EQ(list.PutProperty("DbExOperation", Variant::I2(0)), kOk);  // OpGetPrevEx
  EXPECT_EQ(list.PutProperty("DbDelimitChar", Variant::String("")), kOk);
  EXPECT_EQ(list.PutProperty("DbLeaveResults", Variant::Bool(true)), kOk);
  EXPECT_EQ(list.PutProperty("DbMaxRecords", Variant::I4(300)), kOk);
  list.Refresh();
  EXPECT_EQ(Items(list), (std::vector<std::string>{"C 33", "B 22"}));
  Variant id;
  EXPECT_EQ(list.GetProperty("DbResultID", &id), kOk);
  EXPECT_EQ(ExGetFieldDataByName(id.AsInteger().value_or(-1), "NAME", 1), "B");
  // A condition that does not parse: its message, the list keeps its items, no crash.
  EXPECT_EQ(list.PutProperty("DbConditions", Variant::String("AGE >= 20")), kOk);
  messages_.Recorder().Clear();
  list.Refresh();
  EXPECT_EQ(list.ListCount(), 2);
  ASSERT_FALSE(messages_.Texts().empty());
  EXPECT_EQ(messages_.Texts()[0].substr(0, 5), "VE041");
  list.DestroyWindow();
}

TEST_F(Controls, ComboBoxExchangesItsEditTextOrItsItem) {
  auto source = Source("Zelko1", form_.get());
  TableDescriptor &t = source->Catalog()->tables[0];
  AddThreePeople(t);
  TestSite site("Combo1", form_.get());
  ZlkComboBox combo;
  combo.SetSite(&site);
  PropertyBag bag = PeopleNamesForKind();
  bag.Write("ImeMode", Variant::I2(4));
  LoadProperties(combo, bag, nullptr);
  auto *box = static_cast<QComboBox *>(combo.CreateWindow(form_.get()));
  EXPECT_EQ(Items(combo), (std::vector<std::string>{"A", "B", "C"}));
  // DropDownCombo: the field's text becomes the edit text, and goes back as typed.
  WriteFieldByName(t, "KIND", "Q");
  EXPECT_EQ(Call(*source, "DbTransferToControl", {Variant::String("PEOPLE")}), 0);
  EXPECT_EQ(box->currentText(), QString("Q"));
  box->setEditText("R");
  EXPECT_EQ(Call(*source, "DbTransferFromControl", {Variant::String("PEOPLE")}), 0);
  EXPECT_EQ(ReadFieldByName(t, "KIND"), "R");
  // Typing takes no character the code page lacks (the field stored "?").
  ASSERT_NE(box->lineEdit(), nullptr);
  ASSERT_NE(box->lineEdit()->validator(), nullptr);
  QKeyEvent umlaut(QEvent::KeyPress, 0, Qt::NoModifier, QString::fromUtf8("ü"));
  box->lineEdit()->end(false);
  QApplication::sendEvent(box->lineEdit(), &umlaut);
  EXPECT_EQ(box->lineEdit()->text(), QString("R"));
  // The input-method mode while it has the focus.
  ImeService::Get().ClearRequests();
  combo.OnFocus(true);
  EXPECT_FALSE(ImeService::Get().Requests().empty());
  // DropDownList: the item whose whole text equals, in any case; none leaves it.
  EXPECT_EQ(combo.PutProperty("Style", Variant::I2(2)), kOk);
  WriteFieldByName(t, "KIND", "c");
  EXPECT_EQ(Call(*source, "DbTransferToControl", {Variant::String("PEOPLE")}), 0);
  EXPECT_EQ(combo.ListIndex(), 2);
  WriteFieldByName(t, "KIND", "X");
  EXPECT_EQ(Call(*source, "DbTransferToControl", {Variant::String("PEOPLE")}), 0);
  EXPECT_EQ(combo.ListIndex(), 2);
  EXPECT_EQ(Call(*source, "DbClearControlData", {Variant::String("PEOPLE")}), 0);
  EXPECT_EQ(combo.ListIndex(), -1);
  // A list table the data source does not have: no fill, no message, the items stay.
  EXPECT_EQ(combo.PutProperty("DbListTable", Variant::String("NOPE")), kOk);
  messages_.Recorder().Clear();
  combo.Refresh();
  EXPECT_EQ(combo.ListCount(), 3);
  EXPECT_TRUE(messages_.Texts().empty());
  combo.DestroyWindow();
}

TEST_F(Controls, GridFillsEditsWritesBackAndDeletes) {
  auto source = Source("Zelko1", form_.get());
  TableDescriptor &t = source->Catalog()->tables[0];
  AddThreePeople(t);
  ZlkGrid probe;
  std::vector<std::string> names = SavedNames(probe);
  ASSERT_EQ(names.size(), 37u);
  EXPECT_EQ(names[0], "DbListSource");
  EXPECT_EQ(names[4], "Cols");
  EXPECT_EQ(names[21], "DbListIndex");
  EXPECT_EQ(names[36], "Enabled");
  TestSite site("Grid1", form_.get());
  ZlkGrid grid;
  grid.SetSite(&site);
  PropertyBag bag = Texts({{"DbListSource", "Zelko1"},
                           {"DbListTable", "PEOPLE"},
                           {"DbListFields", "NAME,AGE"},
                           {"DbListIndex", "ById"}});
  bag.Write("Cols", Variant::I4(3));
  bag.Write("SetColNames", Variant::Bool(true));
  bag.Write("SetRecordNumbers", Variant::Bool(true));
  bag.Write("AllowUpdate", Variant::Bool(true));
  bag.Write("AllowDelete", Variant::Bool(true));
  LoadProperties(grid, bag, nullptr);
  std::vector<std::string> events;
  grid.SetEventHandler([&](const std::string &e, std::vector<Variant> &) { events.push_back(e); });
  grid.CreateWindow(form_.get());
  ASSERT_EQ(grid.Rows(), 4);  // grown by one row a record
  EXPECT_EQ(grid.Cell(0, 1), "NAME");
  EXPECT_EQ(grid.Cell(0, 2), "AGE");
  EXPECT_EQ(grid.Cell(1, 0), "   1");
  EXPECT_EQ(grid.Cell(1, 1), "A");
  EXPECT_EQ(grid.Cell(3, 2), "33");
  auto *view = static_cast<QTableView *>(grid.Window());
  // The fixed cells are the headers, which stay put.
  EXPECT_EQ(view->model()->headerData(0, Qt::Horizontal).toString(), QString("NAME"));
  EXPECT_EQ(view->model()->headerData(0, Qt::Vertical).toString(), QString("   1"));
  EXPECT_EQ(view->model()->data(view->model()->index(1, 0)).toString(), QString("B"));
  EXPECT_EQ(grid.PutProperty("HighLight", Variant::Bool(false)), kOk);
  EXPECT_EQ(view->palette().color(QPalette::Highlight), view->palette().color(QPalette::Base));
  std::vector<Variant> args = {Variant::I4(2), Variant::I4(1)};
  Variant cell;
  EXPECT_EQ(grid.Invoke("TextMatrix", args, &cell), kOk);
  EXPECT_EQ(cell.AsString(), "B");
  // An edited cell makes its row dirty; leaving the row writes it back to its record.
  grid.OnCellEdited(1, 1, "AA");
  EXPECT_TRUE(grid.DirtyRow(1));
  grid.SetEventHandler([&](const std::string &e, std::vector<Variant> &a) {
    events.push_back(e);
    if (e == "BeforeUpdate") a[0] = Variant::Bool(true);  // cancelled: stays dirty
  });
  grid.OnCurrentCellChanged(2, 1, 1);
  EXPECT_TRUE(grid.DirtyRow(1));
  grid.SetEventHandler([&](const std::string &e, std::vector<Variant> &) { events.push_back(e); });
  grid.OnCurrentCellChanged(2, 1, 1);  // asked again
  EXPECT_FALSE(grid.DirtyRow(1));
  EXPECT_EQ(events.back(), "AfterUpdate");
  WriteFieldByName(t, "ID", "10");
  ASSERT_EQ(EngineAccess(t, B_GET_EQUAL, 0), 0);
  EXPECT_EQ(ReadFieldByName(t, "NAME"), "AA");
  EXPECT_EQ(ReadFieldByName(t, "AGE"), "11");
  // Deleting the last filled row moves the current row up by one.
  grid.OnCurrentCellChanged(3, 1, 2);
  ASSERT_TRUE(grid.DeleteRow(3));
  EXPECT_EQ(events.back(), "AfterDelete");
  Variant row;
  EXPECT_EQ(grid.GetProperty("Row", &row), kOk);
  EXPECT_EQ(row.AsInteger(), 2);
  EXPECT_EQ(grid.Cell(3, 1), "");
  WriteFieldByName(t, "ID", "30");
  EXPECT_EQ(EngineAccess(t, B_GET_EQUAL, 0), B_KEY_VALUE_NOT_FOUND);
  // Format: Abort on the second record keeps one data row.
  grid.SetEventHandler([&](const std::string &e, std::vector<Variant> &a) {
    if (e == "Format" && a[0].AsString().value_or("").rfind("B", 0) == 0)
      grid.PutProperty("Abort", Variant::Bool(true));
  });
  grid.Refresh();
  EXPECT_EQ(grid.Cell(1, 1), "AA");
  EXPECT_EQ(grid.Cell(2, 1), "");
  grid.DestroyWindow();
}

TEST_F(Controls, GridNeverGrowsBeyondItsRowLimit) {
  zplatform::WritePrivateProfileString("zelko300", "grid_max_row", "3", "zelko.ini");
  auto source = Source("Zelko1", form_.get());
  AddThreePeople(source->Catalog()->tables[0]);
  TestSite site("Grid1", form_.get());
  ZlkGrid grid;
  grid.SetSite(&site);
  LoadProperties(grid,
                 Texts({{"DbListSource", "Zelko1"},
                        {"DbListTable", "PEOPLE"},
                        {"DbListFields", "NAME"},
                        {"DbListIndex", "ById"}}),
                 nullptr);
  grid.CreateWindow(form_.get());
  EXPECT_EQ(grid.Rows(), 3);  // one fixed row and two data rows
  EXPECT_EQ(grid.Cell(2, 1), "B");
  grid.DestroyWindow();
}

TEST(ClassFactory, TheThirteenClassesByName) {
  App();
  EXPECT_EQ(ControlClasses().size(), 13u);
  HResult error;
  for (const char *name :
       {"ZLKBTRLibCtl.ZelkoDb", "ZLKBtr.ZLKBtr.1", "ZLKBtr.ZLKBtr", "zelkodb", "ZLKBtr"}) {
    auto c = CreateControl(name, &error);
    ASSERT_NE(c, nullptr) << name;
    EXPECT_EQ(c->GetKind(), kKindDataSource);
  }
  EXPECT_EQ(CreateControl("VB.TextBox", &error), nullptr);
  EXPECT_EQ(error, kClassNotRegistered);
  EXPECT_EQ(ZlkBtr::Info().Method(57)->name, std::string("DbGetIndexName"));
  EXPECT_EQ(ZlkBtr::Info().Method(-552)->name, std::string("About"));
  EXPECT_EQ(ZlkBtr::Info().methods.size(), 52u);  // -552 and 1 to 57 less the six properties
}

}  // namespace
}  // namespace zelko
