// The macro language against the example form run by the real program: arrays both ways,
// handlers that act while their event runs, answered message boxes, two forms in one
// process, wait and expect, and bad input reported with its line.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "zelko_test_env.h"

namespace {

// A copy of the shop dictionary with the customer form and a second form "Other" made of it.
std::string Shop() {
  std::string dir = zelko_testing::ScratchDir() + "/shop";
  std::filesystem::create_directories(dir);
  for (const char *f : {"FILE.DDF", "FIELD.DDF", "INDEX.DDF", "Customer.frm"}) {
    std::filesystem::copy_file(std::string(ZELKO_SOURCE_DIR) + "/examples/shop/" + f,
                               dir + "/" + f);
  }
  std::string form = zelko_testing::ReadFile(dir + "/Customer.frm");
  for (auto [from, to] :
       {std::pair<std::string, std::string>{"Begin VB.Form Customer", "Begin VB.Form Other"},
        {"VB_Name = \"Customer\"", "VB_Name = \"Other\""}}) {
    size_t at = form.find(from);
    if (at != std::string::npos) form.replace(at, from.size(), to);
  }
  zelko_testing::WriteFile(dir + "/Other.frm", form);
  return dir;
}

struct Result {
  int status;
  std::string out, err;
};

Result RunMacro(const std::string &dir, const std::string &script,
                const std::string &forms = "Customer.frm") {
  zelko_testing::WriteFile(dir + "/test.macro", script);
  int status = 0;
  std::filesystem::create_directories(dir + "/runtime");
  std::filesystem::permissions(dir + "/runtime", std::filesystem::perms::owner_all);
  std::string command = "cd " + dir + " && XDG_RUNTIME_DIR=" + dir +
                        "/runtime QT_QPA_PLATFORM=offscreen " + ZELKOFORM_PATH +
                        " --macro test.macro " + forms;
  std::string out = zelko_testing::RunShell(command + " 2>" + dir + "/errors.txt", &status);
  return {status, out, zelko_testing::ReadFile(dir + "/errors.txt")};
}

bool Has(const std::string &text, const std::string &part) {
  return text.find(part) != std::string::npos;
}

TEST(Macro, ArraysRoundTripARecordAsTextsAndBytes) {
  std::string dir = Shop();
  Result r = RunMacro(dir,
                      "row = Array(\"\", \"佐藤 花子\", \"ｻﾄｳ\", \"1985/02/03\", \"1200\", \"1\")\n"
                      "call Zelko1.DbSetRecord \"CUSTOMER\", row\n"
                      "call Zelko1.DbAccess 2, \"CUSTOMER\", \"CUST_NO\"\n"
                      "call Zelko1.DbClearFieldBuffer \"CUSTOMER\"\n"
                      "call Zelko1.DbAccess 12, \"CUSTOMER\", \"CUST_NO\"\n"
                      "dim rec(5)\n"
                      "call Zelko1.DbGetRecord \"CUSTOMER\", rec\n"
                      "print rec\n"
                      "print rec(1)\n"
                      "expect rec(3) = \"1985/02/03\"\n"
                      "dim image(75) As Byte\n"
                      "call Zelko1.DbGetRecordImage \"CUSTOMER\", image\n"
                      "expect image(4) = &H8D\n"
                      "call Zelko1.DbClearFieldBuffer \"CUSTOMER\"\n"
                      "call Zelko1.DbSetRecordImage \"CUSTOMER\", image\n"
                      "expect Zelko1.DbStatus = 0\n"
                      "call Zelko1.DbGetFieldData \"CUSTOMER\", \"NAME\"\n"
                      "call Zelko1.DbClearFieldBuffer \"CUSTOMER\"\n"
                      "call Zelko1.DbSetRecordImage \"CUSTOMER\", Bytes(7, 0, 0, 0, &H41, 66)\n"
                      "call Zelko1.DbGetFieldData \"CUSTOMER\", \"NAME\"\n"
                      "call Zelko1.DbGetFieldData \"CUSTOMER\", \"CUST_NO\"\n"
                      "mixed = Array(1, \"a\", Null, Empty)\n"
                      "print mixed\n");
  EXPECT_EQ(r.status, 1) << r.err;  // only the unknown property DbStatus fails
  EXPECT_TRUE(Has(r.err, "test.macro:16: Zelko1 has no property DbStatus (automation error 438)"))
      << r.err;
  for (const char *line : {"Zelko1.DbAccess pRc=0", "rec(0) = \"1\"\n", "rec(1) = \"佐藤 花子\"\n",
                           "rec(2) = \"ｻﾄｳ\"\n", "rec(3) = \"1985/02/03\"\n", "rec(5) = \"1\"\n",
                           "rec(1) = \"佐藤 花子\"\n", "Zelko1.DbGetFieldData = \"佐藤 花子\"",
                           "Zelko1.DbGetFieldData = \"AB\"", "Zelko1.DbGetFieldData = \"7\"",
                           "mixed(0) = 1\nmixed(1) = \"a\"\nmixed(2) = Null\nmixed(3) = Empty\n"}) {
    EXPECT_TRUE(Has(r.out, line)) << line << "\n" << r.out;
  }
}

TEST(Macro, HandlersActWhileTheEventRunsAndMessageBoxesAreAnswered) {
  std::string dir = Shop();
  Result r = RunMacro(dir,
                      "veto = True\n"
                      "on ZelkoBtn1.SetData set ZelkoBtn1.Abort = veto\n"
                      "on ZelkoBtn1.SetData print ZelkoEdit2.Text\n"
                      "type ZelkoEdit2 \"山田 太郎\"\n"
                      "type ZelkoEdit4 \"1990/04/01\"\n"
                      "click ZelkoBtn1\n"
                      "call Zelko1.DbGetNumOfRecords \"CUSTOMER\", count\n"
                      "expect count = 0\n"
                      "veto = False\n"
                      "click ZelkoBtn1\n"
                      "call Zelko1.DbGetNumOfRecords \"CUSTOMER\", count\n"
                      "expect count = 1\n"
                      // The delete button asks first; Cancel leaves the record.
                      "call Zelko1.DbAccess 12, \"CUSTOMER\", \"CUST_NO\"\n"
                      "ZelkoBtn3.ConfirmMsg = \"削除しますか？\"\n"
                      "answer Cancel\n"
                      "click ZelkoBtn3\n"
                      "call Zelko1.DbGetNumOfRecords \"CUSTOMER\", count\n"
                      "expect count = 1\n"
                      "answer OK\n"
                      "click ZelkoBtn3\n"
                      "call Zelko1.DbGetNumOfRecords \"CUSTOMER\", count\n"
                      "expect count = 0\n"
                      // An answer the box does not offer takes its first button.
                      "answer always Yes\n"
                      "click ZelkoBtn3\n"
                      "wait 30\n"
                      "on ZelkoBtn3.BtrieveError call Zelko1.DbGetNumOfRecords \"CUSTOMER\", n\n"
                      "answer always No\n"
                      "click ZelkoBtn3\n"
                      "expect n = 0\n");
  EXPECT_EQ(r.status, 0) << r.err << r.out;
  EXPECT_TRUE(Has(r.out, "event ZelkoBtn1.SetData\nZelkoEdit2.Text = \"山田 太郎\"\n")) << r.out;
  EXPECT_TRUE(Has(r.out, "msgbox 削除しますか？ -> Cancel\n")) << r.out;
  EXPECT_TRUE(Has(r.out, "msgbox 削除しますか？ -> OK\n")) << r.out;
  EXPECT_TRUE(Has(r.out, "msgbox 削除しますか？ -> OK (Yes is not one of its buttons)\n")) << r.out;
  // No current record: the button's failure is a message box too, answered and printed.
  EXPECT_TRUE(Has(r.out,
                  "msgbox warning VE807 ボタンによるBtrieveオペレーションに失敗しました。(8) -> "
                  "OK (Yes is not one of its buttons)\n"))
      << r.out;
  EXPECT_TRUE(Has(r.out, "Zelko1.DbGetNumOfRecords lRecords=0 pRc=0")) << r.out;
}

TEST(Macro, TwoFormsKeepTheirOwnDataSources) {
  std::string dir = Shop();
  Result r = RunMacro(dir,
                      "type ZelkoEdit2 \"一郎\"\n"
                      "type Other!ZelkoEdit2 \"二郎\"\n"
                      "click Other!ZelkoBtn1\n"
                      "click ZelkoBtn1\n"
                      "dim rec(5)\n"
                      "call Other!Zelko1.DbAccess 12, \"CUSTOMER\", \"CUST_NO\"\n"
                      "call Other!Zelko1.DbGetRecord \"CUSTOMER\", rec\n"
                      "expect rec(1) = \"二郎\"\n"
                      "call Zelko1.DbAccess 13, \"CUSTOMER\", \"CUST_NO\"\n"
                      "call Zelko1.DbGetRecord \"CUSTOMER\", rec\n"
                      "expect rec(1) = \"一郎\"\n"
                      "expect Other!ZelkoEdit2.Text = \"\"\n"
                      "hide Other\n"
                      "show Other\n"
                      "unload Other\n"
                      "print Other!ZelkoEdit2.Text\n"
                      "expect ZelkoEdit2.Text = \"\"\n",
                      "Customer.frm Other.frm");
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_EQ(r.err, "test.macro:16: no form named Other is loaded\n") << r.out;
}

// "v = Array(Array(...(1)...))", `depth` calls deep.
std::string DeeplyNestedArray(int depth) {
  std::string line = "v = ";
  for (int i = 0; i < depth; ++i)
    line += "Array(";
  return line + "1" + std::string(depth, ')') + "\n";
}

// A dictionary that cannot be read is said while the form loads; a script saw only the
// failures it led to later ("VE802 DbSource or DbTable not valid").
TEST(Macro, WhatAFormSaysWhileItLoadsIsPrinted) {
  std::string dir = Shop();
  std::string form = zelko_testing::ReadFile(dir + "/Customer.frm");
  const std::string ddf_dir = "DDFDir          =   \".\"";
  ASSERT_NE(form.find(ddf_dir), std::string::npos);
  form.replace(form.find(ddf_dir), ddf_dir.size(), "DDFDir          =   \"missing\"");
  zelko_testing::WriteFile(dir + "/Customer.frm", form);
  Result r = RunMacro(dir, "print Zelko1.DDFDir\n");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "msgbox warning VE028 DDFOpen APIエラー(12) -> OK\n"
            "Zelko1.DDFDir = \"missing\"\n");
}

TEST(Macro, BadInputIsReportedWithItsLineAndTheRunGoesOn) {
  std::string dir = Shop();
  Result r = RunMacro(dir,
                      "frobnicate ZelkoEdit2\n"
                      "ZelkoEdit2.Text = \"unclosed\n"
                      "dim rec(2)\n"
                      "print rec(9)\n"
                      "show Nowhere\n"
                      "print nothing\n"
                      "call Zelko1.DbNope 1\n"
                      "expect ZelkoEdit2.Text = \"x\"\n"
                      "answer Maybe\n"
                      "print Zelko1.DDFDir\n"
                      "wait 99999999999999999999\n"
                      "big = 99999999999\n"
                      "print big\n"
                      "wide = &H1FFFFFFFF\n" +
                          DeeplyNestedArray(100000) +
                          // Values are literals: what follows one would have been dropped, so
                          // that the expect below passed.
                          "n = 1 + 5\n"
                          "expect big = 99999999999 or 1\n"
                          "type ZelkoEdit2 \"a\" \"b\"\n"
                          "click ZelkoBtn1 twice\n"
                          // A bound that is not a whole number of 32 bits made another array.
                          "dim many(4294967296 To 4294967300)\n"
                          "dim few(two)\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "test.macro:1: unknown statement \"frobnicate\"\n"
            "test.macro:2: a string is not closed:  \"unclosed\n"
            "test.macro:4: rec(9) is out of range 0 to 2\n"
            "test.macro:5: no form named Nowhere is loaded\n"
            "test.macro:6: no variable named nothing\n"
            "test.macro:7: Zelko1 has no method DbNope (automation error 438)\n"
            "test.macro:8: expected ZelkoEdit2.Text = \"x\", found \"\"\n"
            "test.macro:9: answer takes OK, Cancel, Yes, No, Retry, Ignore or Abort\n"
            "test.macro:11: wait takes milliseconds (0 to 2147483647)\n"
            "test.macro:14: not a number: &H1FFFFFFFF\n"
            "test.macro:15: expressions nested more than 32 deep\n"
            "test.macro:16: unexpected text after the value: + 5\n"
            "test.macro:17: unexpected text after the value: or 1\n"
            "test.macro:18: unexpected text after the value: \"b\"\n"
            "test.macro:19: click takes a control alone, not twice\n"
            "test.macro:20: dim needs NAME(UPPER) [As String|Byte|Variant]\n"
            "test.macro:21: dim needs NAME(UPPER) [As String|Byte|Variant]\n");
  EXPECT_TRUE(Has(r.out, "Zelko1.DDFDir = \".\"")) << r.out;
  EXPECT_TRUE(Has(r.out, "big = 99999999999")) << r.out;  // a Double, not a wrapped Long
  // A script from standard input; a passing one exits 0.
  int status = 0;
  std::string out =
      zelko_testing::RunShell("cd " + dir +
                                  " && printf 'wait 10\\nexpect ZelkoEdit2.Text = \"\"\\n' | "
                                  "QT_QPA_PLATFORM=offscreen " +
                                  ZELKOFORM_PATH + " --macro - Customer.frm 2>&1",
                              &status);
  EXPECT_EQ(status, 0) << out;
  // One failed expectation alone fails the run.
  out = zelko_testing::RunShell("cd " + dir +
                                    " && printf 'expect ZelkoEdit2.Text = \"y\"\\n' | "
                                    "QT_QPA_PLATFORM=offscreen " +
                                    ZELKOFORM_PATH + " --macro - Customer.frm 2>&1",
                                &status);
  EXPECT_EQ(status, 1);
  EXPECT_TRUE(Has(out, "stdin:1: expected ZelkoEdit2.Text = \"y\", found \"\"")) << out;
}

// A copy of the example dictionary with `form`, its pictures and its sample records; empty
// when the records could not be loaded.
std::string ExampleWithRecords(const char *form) {
  std::string dir = zelko_testing::ScratchDir() + "/example";
  std::string shop = std::string(ZELKO_SOURCE_DIR) + "/examples/shop";
  std::filesystem::create_directories(dir);
  for (const char *f : {"FILE.DDF", "FIELD.DDF", "INDEX.DDF", "prepare-data"})
    std::filesystem::copy_file(shop + "/" + f, dir + "/" + f);
  std::filesystem::copy_file(shop + "/" + form, dir + "/" + form);
  std::filesystem::copy(shop + "/data", dir + "/data");
  std::filesystem::copy(shop + "/images", dir + "/images");
  int status = 0;
  zelko_testing::RunShell(dir + "/prepare-data " + ZELKO_PATH + " >/dev/null", &status);
  return status == 0 ? dir : std::string();
}

// The example order form over the sample records: every list, choice, navigator and picture
// control driven by a script.
TEST(Macro, TheExampleOrderForm) {
  std::string dir = ExampleWithRecords("Order.frm");
  ASSERT_FALSE(dir.empty());
  Result r = RunMacro(dir,
                      "expect ExList1.ListCount = 2\n"
                      "expect ExList1.List(1) = \"2  2026/10/15  B020  1\"\n"
                      "expect Combo1.ListCount = 5\n"
                      "expect Combo1.List(4) = \"C100\"\n"
                      "select Combo1 2\n"
                      "click Show1\n"
                      "expect ProductName.Text = \"湯呑み\"\n"
                      "expect CustName.Text = \"山田太郎\"\n"
                      "expect Check1.Value = 1\n"
                      "VScroll1.Value = 10000\n"
                      "expect CustName.Text = \"伊藤由美\"\n"
                      "expect Check1.Value = 0\n"
                      "expect Option2.Value = 1\n"
                      "click Option1\n"
                      "expect Option1.Value = 1\n"
                      "ExList1.ItemData(0) = 7\n"
                      "expect ExList1.ItemData(0) = 7\n"
                      "print ExList1.List(5)\n",
                      "Order.frm");
  EXPECT_EQ(r.status, 1) << r.err << r.out;
  EXPECT_EQ(r.err, "test.macro:18: invalid value for ExList1.List (automation error 380)\n")
      << r.out;
  // Written back as designed, without the texts of the records its controls show.
  int status = 0;
  zelko_testing::RunShell("cd " + dir + " && QT_QPA_PLATFORM=offscreen " + ZELKOFORM_PATH +
                              " --rewrite again.frm Order.frm 2>/dev/null",
                          &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(zelko_testing::ReadFile(dir + "/again.frm"),
            zelko_testing::ReadFile(dir + "/Order.frm"));
}

// The example grid of orders: a cell typed into as a user does, the row written back when
// the current row leaves it, the Delete key deleting a row's record.
TEST(Macro, TheExampleGridForm) {
  std::string dir = ExampleWithRecords("Grid.frm");
  ASSERT_FALSE(dir.empty());
  int status = 0;
  Result r = RunMacro(dir,
                      "expect Grid1.TextMatrix(0, 5) = \"QTY\"\n"
                      "expect Grid1.TextMatrix(6, 0) = \"   6\"\n"
                      "Grid1.Row = 2\n"
                      "Grid1.Col = 5\n"
                      "type Grid1 \"957\"\n"
                      "key Grid1 Backspace\n"
                      "key Grid1 Down\n"
                      "Grid1.Row = 6\n"
                      "key Grid1 Delete\n"
                      "expect Grid1.Row = 5\n"
                      "call Grid1.Refresh\n"
                      "expect Grid1.TextMatrix(2, 5) = \"95\"\n"
                      "expect Grid1.TextMatrix(6, 1) = \"\"\n",
                      "Grid.frm");
  EXPECT_EQ(r.status, 0) << r.err << r.out;
  EXPECT_NE(r.out.find("event Grid1.AfterUpdate"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("event Grid1.AfterDelete"), std::string::npos) << r.out;
  std::string dump =
      zelko_testing::RunShell(std::string(ZELKO_PATH) + " dump " + dir + " ORDERS", &status);
  EXPECT_NE(dump.find("2,1,2026/10/15,B020,95,6800"), std::string::npos) << dump;
  EXPECT_EQ(dump.find("\n6,4,"), std::string::npos) << dump;
}

}  // namespace
