// The standard controls of Visual Basic forms: shown with their properties, driven by
// macros, their events fired by the user's actions; the form window's close keys; the one
// line a form file that cannot be read gets.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <chrono>
#include <sstream>
#include <thread>

#include "form_host.h"
#include "macro.h"
#include "qt_test_app.h"
#include "zelko_test_env.h"

namespace zelkoform {
namespace {

using zelko_testing::App;

const char kForm[] =
    "VERSION 5.00\r\n"
    "Begin VB.Form Form1 \r\n"
    "   Caption = \"Standard\"\r\n   ClientWidth = 6000\r\n   ClientHeight = 6000\r\n"
    "   Begin VB.TextBox Text1 \r\n      Left = 150\r\n      Top = 150\r\n      Width = 1500\r\n"
    "      Height = 300\r\n      Text = \"初期値\"\r\n      MaxLength = 10\r\n   End\r\n"
    "   Begin VB.CommandButton Command1 \r\n      Caption = \"実行\"\r\n      Left = 1800\r\n"
    "      Top = 150\r\n      Width = 900\r\n      Height = 300\r\n   End\r\n"
    "   Begin VB.CommandButton Cancel1 \r\n      Caption = \"取消\"\r\n      Cancel = -1  'True\r\n"
    "      Left = 2800\r\n      Top = 150\r\n   End\r\n"
    "   Begin VB.CheckBox Check1 \r\n      Caption = \"会員\"\r\n      Value = 1  'Checked\r\n"
    "      Left = 150\r\n      Top = 600\r\n   End\r\n"
    "   Begin VB.Frame Frame1 \r\n      Caption = \"区分\"\r\n      Left = 150\r\n      Top = "
    "1000\r\n"
    "      Width = 3000\r\n      Height = 900\r\n"
    "      Begin VB.OptionButton Option1 \r\n         Caption = \"個人\"\r\n"
    "         Value = -1  'True\r\n      End\r\n"
    "      Begin VB.OptionButton Option2 \r\n         Caption = \"法人\"\r\n         Top = 400\r\n"
    "      End\r\n   End\r\n"
    "   Begin VB.ComboBox Combo1 \r\n      Style = 2  'Dropdown List\r\n      Left = 150\r\n"
    "      Top = 2000\r\n   End\r\n"
    "   Begin VB.ListBox List1 \r\n      Left = 150\r\n      Top = 2500\r\n   End\r\n"
    "   Begin VB.PictureBox Picture1 \r\n      BackColor = &H0000FF00&\r\n      Left = 3300\r\n"
    "      Top = 600\r\n      Width = 1500\r\n      Height = 1500\r\n"
    "      Begin VB.Label Label1 \r\n         Caption = \"中\"\r\n      End\r\n   End\r\n"
    "   Begin VB.Image Image1 \r\n      Left = 3300\r\n      Top = 2200\r\n   End\r\n"
    "   Begin VB.Shape Shape1 \r\n      Shape = 3  'Circle\r\n      FillStyle = 0  'Solid\r\n"
    "      FillColor = &H000000FF&\r\n      Left = 4900\r\n      Top = 600\r\n   End\r\n"
    "   Begin VB.Line Line1 \r\n      X1 = 150\r\n      Y1 = 3500\r\n      X2 = 4500\r\n"
    "      Y2 = 3500\r\n      BorderWidth = 2\r\n   End\r\n"
    "   Begin VB.Timer Timer1 \r\n      Interval = 20\r\n      Left = 5000\r\n      Top = 5000\r\n"
    "   End\r\n"
    "End\r\n";

std::unique_ptr<FormHost> LoadForm(const std::string &text, bool design = false) {
  App();
  std::vector<std::string> problems;
  auto doc = ParseFrm(text, &problems);
  EXPECT_TRUE(doc);
  auto host = std::make_unique<FormHost>();
  EXPECT_TRUE(host->Load(*doc, design, &problems));
  EXPECT_TRUE(problems.empty()) << problems.front();
  return host;
}

TEST(StandardControls, ShownWithTheirPropertiesAndDrivenByMacros) {
  auto host = LoadForm(kForm);
  auto *text = qobject_cast<QLineEdit *>(host->FindWidget("Text1"));
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(text->text(), QString("初期値"));
  EXPECT_EQ(text->geometry(), QRect(10, 10, 100, 20));
  auto *check = qobject_cast<QCheckBox *>(host->FindWidget("Check1"));
  ASSERT_NE(check, nullptr);
  EXPECT_TRUE(check->isChecked());
  EXPECT_EQ(host->FindWidget("Label1")->parentWidget(), host->FindWidget("Picture1"));
  EXPECT_EQ(host->FindWidget("Option2")->parentWidget(), host->FindWidget("Frame1"));
  EXPECT_EQ(host->FindWidget("Timer1"), nullptr);  // invisible at run time
  EXPECT_EQ(host->FindWidget("Picture1")->palette().color(QPalette::Window), QColor(0, 255, 0));

  std::ostringstream out, errors;
  MacroRunner runner(*host, out);
  int failed = runner.Run(
      "trace all\n"
      "Text1.Text = \"山田\"\n"
      "print Text1.Text\n"
      "print Text1.Left\n"
      "click Command1\n"
      "Check1.Value = 0\n"
      "print Check1.Value\n"
      "Option2.Value = True\n"
      "print Option1.Value\n"
      "call Combo1.AddItem \"東京\"\n"
      "call Combo1.AddItem \"大阪\"\n"
      "Combo1.ListIndex = 1\n"
      "print Combo1.Text\n"
      "print Combo1.ListCount\n"
      "call List1.AddItem \"一\"\n"
      "call List1.AddItem \"二\", 0\n"
      "List1.Text = \"一\"\n"
      "print List1.ListIndex\n"
      "Line1.X2 = 3000\n"
      "print Line1.X2\n"
      "print Shape1.Shape\n"
      "print Label1.Caption\n"
      "Label1.Caption = \"下\"\n"
      "print Timer1.Interval\n"
      "print Nope.Text\n"
      "print Text1.Nope\n"
      "Check1.Value = 7\n"
      "Combo1.Style = 0\n"
      "Combo1.Text = \"名古屋\"\n"
      "call Text1.AddItem \"x\"\n",
      errors, "std.macro");
  EXPECT_EQ(failed, 6) << errors.str();
  std::string o = out.str();
  for (const char *expected :
       {"event Text1.Change", "Text1.Text = \"山田\"", "Text1.Left = 150", "event Command1.Click",
        "event Check1.Click", "Check1.Value = 0", "event Option2.Click", "Option1.Value = False",
        "event Combo1.Click", "Combo1.Text = \"大阪\"", "Combo1.ListCount = 2",
        "List1.ListIndex = 1", "Line1.X2 = 3000", "Shape1.Shape = 3", "Label1.Caption = \"中\"",
        "Timer1.Interval = 20"}) {
    EXPECT_NE(o.find(expected), std::string::npos) << expected << "\n" << o;
  }
  EXPECT_EQ(qobject_cast<QLabel *>(host->FindWidget("Label1"))->text(), QString("下"));
  std::string e = errors.str();
  for (const char *expected :
       {"std.macro:25: the form has no control named Nope (automation error 424)",
        "std.macro:26: Text1 has no property Nope (automation error 438)",
        "std.macro:27: invalid value for Check1.Value (automation error 380)",
        "std.macro:28: Combo1.Style is read-only (automation error 383)",
        "std.macro:29: invalid value for Combo1.Text (automation error 380)",
        "std.macro:30: Text1 (VB.TextBox) has no method AddItem"}) {
    EXPECT_NE(e.find(expected), std::string::npos) << expected << "\n" << e;
  }

  // MaxLength holds back typing only: a text the program sets stays whole (it was cut).
  std::ostringstream limited_out, limited_errors;
  MacroRunner limited(*host, limited_out);
  EXPECT_EQ(limited.Run("Text1.MaxLength = 3\n"
                        "Text1.Text = \"abcdef\"\n"
                        "type Text1 \"x\"\n"
                        "expect Text1.Text = \"abcdef\"\n"
                        "Text1.Text = \"a\"\n"
                        "type Text1 \"bcd\"\n"
                        "expect Text1.Text = \"abc\"\n"
                        "expect Text1.MaxLength = 3\n",
                        limited_errors, "limit.macro"),
            0)
      << limited_errors.str();

  // The timer fires while the event loop runs.
  std::ostringstream timer_out;
  MacroRunner timer_runner(*host, timer_out);
  for (int i = 0; i < 200 && timer_out.str().find("event Timer1.Timer") == std::string::npos; ++i) {
    QApplication::processEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_NE(timer_out.str().find("event Timer1.Timer"), std::string::npos);
}

TEST(StandardControls, DesignModeShowsHiddenControlsAndFiresNothing) {
  std::string form = kForm;
  form.insert(form.find("      MaxLength = 10"), "      Visible = 0   'False\r\n");
  auto host = LoadForm(form, true);
  host->Window()->show();
  EXPECT_TRUE(host->FindWidget("Text1")->isVisible());
  std::ostringstream out, errors;
  MacroRunner runner(*host, out);
  EXPECT_EQ(runner.Run("click Command1\nText1.Text = \"x\"\n", errors), 0);
  EXPECT_EQ(out.str().find("event"), std::string::npos) << out.str();
  auto run_host = LoadForm(form);
  run_host->Window()->show();
  EXPECT_FALSE(run_host->FindWidget("Text1")->isVisible());
}

TEST(StandardControls, EscapeAndCtrlQCloseTheWindow) {
  // With a Cancel button, Escape clicks it; Ctrl+Q closes.
  auto host = LoadForm(kForm);
  host->EnableCloseKeys();
  host->Window()->show();
  QApplication::setActiveWindow(host->Window());
  std::ostringstream out;
  MacroRunner runner(*host, out);
  std::string ignored;
  runner.RunLine("trace all", &ignored);
  QTest::keyClick(host->Window(), Qt::Key_Escape);
  EXPECT_NE(out.str().find("event Cancel1.Click"), std::string::npos);
  EXPECT_TRUE(host->Window()->isVisible());
  QTest::keyClick(host->Window(), Qt::Key_Q, Qt::ControlModifier);
  EXPECT_FALSE(host->Window()->isVisible());
  // Without one, Escape closes.
  std::string form = kForm;
  form.replace(form.find("Cancel = -1"), 11, "Cancel = 0 ");
  auto plain = LoadForm(form);
  plain->EnableCloseKeys();
  plain->Window()->show();
  QApplication::setActiveWindow(plain->Window());
  QTest::keyClick(plain->Window(), Qt::Key_Escape);
  EXPECT_FALSE(plain->Window()->isVisible());
}

TEST(StandardControls, FormFilesThatCannotBeReadGetOneLine) {
  std::string dir = zelko_testing::ScratchDir();
  std::string program = std::string("QT_QPA_PLATFORM=offscreen ") + ZELKOFORM_PATH + " ";
  int status = 0;
  std::string missing = zelko_testing::RunShell(program + dir + "/none.frm 2>&1", &status);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(missing, "zelkoform: " + dir + "/none.frm: no such file\n");
  zelko_testing::WriteFile(dir + "/binary.frm", std::string("\x7f"
                                                            "ELF\0\0\1",
                                                            7));
  std::string binary = zelko_testing::RunShell(program + dir + "/binary.frm 2>&1", &status);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(std::count(binary.begin(), binary.end(), '\n'), 1) << binary;
  EXPECT_NE(binary.find("is not a Visual Basic form file"), std::string::npos);
  // Macro errors name the script file and the line.
  zelko_testing::WriteFile(dir + "/f.frm", kForm);
  zelko_testing::WriteFile(dir + "/bad.macro", "print Text1.Text\nprint Text9.Text\n");
  std::string macro = zelko_testing::RunShell(
      program + "--macro " + dir + "/bad.macro " + dir + "/f.frm 2>&1", &status);
  EXPECT_EQ(status, 1);
  EXPECT_NE(macro.find("bad.macro:2: the form has no control named Text9 (automation error 424)"),
            std::string::npos)
      << macro;
}

}  // namespace
}  // namespace zelkoform
