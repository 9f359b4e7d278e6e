#include "form_host.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <cstdio>
#include <filesystem>

#include "btrieve/btrapi.h"
#include "engine/module.h"
#include "macro.h"
#include "qt_test_app.h"
#include "zelko_test_env.h"
#include "zplatform/codepage.h"
#include "zplatform/messages.h"

namespace zelkoform {
namespace {

using zelko_testing::App;

// A copy of the example shop directory with its customer form.
std::string ShopCopy() {
  std::string dir = zelko_testing::ScratchDir() + "/shop";
  std::filesystem::create_directories(dir);
  for (const char *f : {"FILE.DDF", "FIELD.DDF", "INDEX.DDF", "Customer.frm"}) {
    std::filesystem::copy_file(std::string(ZELKO_SOURCE_DIR) + "/examples/shop/" + f,
                               dir + "/" + f);
  }
  return dir;
}

TEST(FormHost, BuildsTheFormWithItsControlsAndReportsUnknownOnes) {
  App();
  auto shared = std::make_shared<zplatform::RecordingPresenter>();
  zplatform::MessageService::Instance().SetPresenter(shared);
  std::string dir = ShopCopy();
  std::string text =
      "VERSION 5.00\r\nBegin VB.Form F1 \r\n   Caption = \"見出し\"\r\n   Width = 6000\r\n   "
      "Height = 3000\r\n"
      "   Begin VB.Frame Frame1 \r\n      Left = 150\r\n      Top = 300\r\n      Width = 3000\r\n  "
      "    Height = 1500\r\n"
      "      Begin VB.Label Label1 \r\n         Caption = \"氏名\"\r\n         Left = 150\r\n      "
      "End\r\n   End\r\n"
      "   Begin ZLKBTRLibCtl.ZelkoDb Zelko1 \r\n      DDFDir = \"" +
      std::string() +
      "\"\r\n   End\r\n   Begin MSComctlLib.Slider Slider1 \r\n   End\r\n"
      "   Begin ZLKBTRLibCtl.ZLKGrid Grid1 \r\n      Bogus = 1\r\n   End\r\nEnd\r\n";
  std::string form_text = text;  // the dictionary directory goes into DDFDir
  size_t at = form_text.find("DDFDir = \"") + 10;
  form_text.insert(at, dir);
  std::vector<std::string> problems;
  auto doc = ParseFrm(form_text, &problems);
  ASSERT_TRUE(doc);
  FormHost host;
  ASSERT_TRUE(host.Load(*doc, false, &problems));
  ASSERT_EQ(problems.size(), 2u);  // the slider is unknown, and a property of the grid
  EXPECT_NE(problems[0].find("Slider1"), std::string::npos);
  EXPECT_NE(problems[1].find("Grid1"), std::string::npos);
  EXPECT_EQ(host.Window()->width(), 400);  // 6000 twips
  auto *frame = qobject_cast<QGroupBox *>(host.FindWidget("Frame1"));
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(frame->geometry(), QRect(10, 20, 200, 100));
  auto *label = qobject_cast<QLabel *>(host.FindWidget("label1"));
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->parentWidget(), frame);
  EXPECT_EQ(label->text(), QString("氏名"));
  zelko::Control *source = host.FindControl("Zelko1");
  ASSERT_NE(source, nullptr);
  EXPECT_EQ(zelko::Module::Get().registry.FindDataSource(host.Window(), "Zelko1"),
            dynamic_cast<zelko::DataSource *>(source));
  // A macro answers an event and reads results.
  std::ostringstream out, errors;
  MacroRunner runner(host, out);
  EXPECT_EQ(runner.Run("on Zelko1.BtrieveError set Status = 0\n"
                       "call Zelko1.DbClose \"CUSTOMER\"\n"
                       "call Zelko1.DbDelete \"CUSTOMER\"\n"
                       "Zelko1.DDFDir = \"" +
                           std::string(70, 'x') +
                           "\"\n"
                           "print Zelko1.AllOpen\n",
                       errors),
            2);
  EXPECT_NE(out.str().find("Zelko1.DbClose pRc=0"), std::string::npos);
  EXPECT_NE(out.str().find("Zelko1.AllOpen = True"), std::string::npos);
  EXPECT_NE(errors.str().find("automation error 380"), std::string::npos);
  // Saved back: nothing persisted changed, so the same text; a changed property is written.
  EXPECT_EQ(WriteFrm(host.Save()), form_text);
  std::string ignored;
  ASSERT_TRUE(runner.RunLine("Zelko1.OwnerName = \"pw\"", &ignored));
  FrmDocument saved = host.Save();
  const FrmObject &db = saved.form.children[1];
  ASSERT_EQ(db.properties.size(), 2u);
  EXPECT_EQ(db.properties[1].name, "OwnerName");
  EXPECT_EQ(db.properties[1].value, "\"pw\"");
  zplatform::MessageService::Instance().SetPresenter(nullptr);
}

TEST(FormHost, MacroRunOfTheExampleForm) {
  std::string dir = ShopCopy();
  std::string macro = zelko_testing::ScratchDir() + "/script.txt";
  zelko_testing::WriteFile(macro,
                           "' insert a customer, read it back\n"
                           "call Zelko1.DbSetFieldData \"CUSTOMER\", \"NAME\", \"山田 太郎\"\n"
                           "call Zelko1.DbSetFieldData \"CUSTOMER\", \"BIRTHDAY\", \"1990/04/01\"\n"
                           "call Zelko1.DbAccess 2, \"CUSTOMER\", \"CUST_NO\"\n"
                           "call Zelko1.DbClearFieldBuffer \"CUSTOMER\"\n"
                           "call Zelko1.DbAccess 12, \"CUSTOMER\", \"ByName\"\n"
                           "call Zelko1.DbGetFieldData \"CUSTOMER\", \"NAME\"\n"
                           "call Zelko1.DbGetFieldData \"CUSTOMER\", \"BIRTHDAY\"\n"
                           "call Zelko1.DbGetNumOfRecords \"CUSTOMER\"\n"
                           "print Zelko1.DDFDir\n");
  int status = 0;
  std::string out =
      zelko_testing::RunShell(std::string("QT_QPA_PLATFORM=offscreen ") + ZELKOFORM_PATH +
                                  " --macro " + macro + " " + dir + "/Customer.frm 2>/dev/null",
                              &status);
  EXPECT_EQ(status, 0) << out;
  EXPECT_NE(out.find("Zelko1.DbAccess pRc=0"), std::string::npos) << out;
  EXPECT_NE(out.find("Zelko1.DbGetFieldData = \"山田 太郎\""), std::string::npos) << out;
  EXPECT_NE(out.find("Zelko1.DbGetFieldData = \"1990/04/01\""), std::string::npos) << out;
  EXPECT_NE(out.find("Zelko1.DbGetNumOfRecords lRecords=1 pRc=0"), std::string::npos) << out;
  EXPECT_TRUE(std::filesystem::exists(dir + "/CUSTOMER.btr"));  // the AllOpen pass created it
  // Output that cannot be written is a failure, the help's too.
  for (std::string args :
       {" --macro " + macro + " " + dir + "/Customer.frm", std::string(" --help")}) {
    zelko_testing::RunShell(std::string("QT_QPA_PLATFORM=offscreen ") + ZELKOFORM_PATH + args +
                                " >/dev/full 2>/dev/null",
                            &status);
    EXPECT_EQ(status, 1) << args;
  }
  // Rewriting keeps the form readable.
  std::string rewritten = zelko_testing::ScratchDir() + "/out.frm";
  zelko_testing::RunShell(std::string("QT_QPA_PLATFORM=offscreen ") + ZELKOFORM_PATH +
                              " --rewrite " + rewritten + " " + dir + "/Customer.frm 2>/dev/null",
                          &status);
  EXPECT_EQ(status, 0);
  std::vector<std::string> problems;
  auto doc = ReadFrmFile(rewritten, &problems);
  ASSERT_TRUE(doc);
  EXPECT_EQ(doc->form.children.size(), 14u);  // 4 labels, 4 edit boxes, 5 buttons, the data source
}

TEST(FormHost, DataEntryThroughTheExampleFormsButtons) {
  std::string dir = ShopCopy();
  std::string macro = zelko_testing::ScratchDir() + "/entry.txt";
  zelko_testing::WriteFile(
      macro,
      "type ZelkoEdit2 \"山田\"\ntype ZelkoEdit4 \"1990/04/01\"\nclick ZelkoBtn1\n"
      "type ZelkoEdit2 \"佐藤\"\nclick ZelkoBtn1\n"
      "type ZelkoEdit2 \"田中\"\nclick ZelkoBtn1\n"
      "click ZelkoBtn4\nprint ZelkoEdit2.Text\n"
      "click ZelkoBtn5\nprint ZelkoEdit2.Text\n"
      "ZelkoEdit2.Text = \"\"\ntype ZelkoEdit2 \"鈴木\"\nclick ZelkoBtn2\n"
      "click ZelkoBtn4\nclick ZelkoBtn3\n"
      "on ZelkoBtn5.BtrieveError set Status = 0\n"
      "click ZelkoBtn4\nclick ZelkoBtn5\nclick ZelkoBtn5\nprint ZelkoEdit2.Text\n");
  int status = 0;
  std::string out =
      zelko_testing::RunShell(std::string("QT_QPA_PLATFORM=offscreen ") + ZELKOFORM_PATH +
                                  " --macro " + macro + " " + dir + "/Customer.frm 2>&1",
                              &status);
  EXPECT_EQ(status, 0) << out;
  size_t first = out.find("ZelkoEdit2.Text = \"山田\"");
  EXPECT_NE(first, std::string::npos) << out;
  EXPECT_NE(out.find("ZelkoEdit2.Text = \"佐藤\"", first), std::string::npos) << out;
  // The handler cleared the end-of-file status: no message, the controls keep the last record.
  EXPECT_EQ(out.find("VE807"), std::string::npos) << out;
  EXPECT_NE(out.find("Status=9 -> Status=0\nZelkoEdit2.Text = \"田中\""), std::string::npos) << out;
  // The data file through the record manager: 2 (renamed) and 3 remain.
  uint8_t pb[128] = {};
  uint32_t len = 0;
  std::string path = dir + "/CUSTOMER.btr";
  ASSERT_EQ(BTRCALL(B_OPEN, pb, nullptr, &len, path.data(), 0, -2), 0);
  std::vector<std::pair<int, std::string>> rows;
  uint8_t rec[200], key[4];
  len = sizeof rec;
  for (int rc = BTRCALL(B_GET_FIRST, pb, rec, &len, key, 4, 0); rc == 0;
       rc = BTRCALL(B_GET_NEXT, pb, rec, &len, key, 4, 0)) {
    std::string name(reinterpret_cast<char *>(rec) + 4, 30);
    name = name.substr(0, name.find_last_not_of(' ') + 1);
    rows.emplace_back(rec[0], zplatform::CodePage(932).ToUtf8(name));
    len = sizeof rec;
  }
  BTRCALL(B_CLOSE, pb, nullptr, &len, nullptr, 0, 0);
  EXPECT_EQ(rows, (std::vector<std::pair<int, std::string>>{{2, "鈴木"}, {3, "田中"}}));
}

}  // namespace
}  // namespace zelkoform
