// The designer through the program's macro front: a form built from a data source alone
// (controls added, bound through their property pages, saved) then run, every example form
// read and saved byte for byte, undo and redo, saves refused, and a file another program saved
// meanwhile.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

#include "designer.h"
#include "form_host.h"
#include "frm_document.h"
#include "qt_test_app.h"
#include "zelko_test_env.h"

namespace {

std::string Dir() {
  std::string dir = zelko_testing::ScratchDir() + "/design";
  std::filesystem::create_directories(dir + "/runtime");
  std::filesystem::permissions(dir + "/runtime", std::filesystem::perms::owner_all);
  for (const char *f : {"FILE.DDF", "FIELD.DDF", "INDEX.DDF"})
    std::filesystem::copy_file(std::string(ZELKO_SOURCE_DIR) + "/examples/shop/" + f, dir + "/" + f,
                               std::filesystem::copy_options::skip_existing);
  return dir;
}

struct DesignRun {
  int status;
  std::string out, err;
  bool Says(const std::string &text) const { return out.find(text) != std::string::npos; }
};

DesignRun Macro(const std::string &dir, const std::string &script, const std::string &form,
                bool design) {
  zelko_testing::WriteFile(dir + "/test.macro", script);
  int status = 0;
  std::string out = zelko_testing::RunShell(
      "cd " + dir + " && XDG_RUNTIME_DIR=" + dir + "/runtime QT_QPA_PLATFORM=offscreen " +
          ZELKOFORM_PATH + (design ? " --design" : "") + " --macro test.macro " + form + " 2>" +
          dir + "/errors.txt",
      &status);
  return {status, out, zelko_testing::ReadFile(dir + "/errors.txt")};
}

const char kBlank[] =
    "VERSION 5.00\r\n"
    "Object = \"{CD6D08F8-E47B-4645-B049-2D709AB7CA6E}#1.1#0\"; \"ZELKOCTL.OCX\"\r\n"
    "Begin VB.Form Blank \r\n"
    "   Caption         =   \"Blank\"\r\n"
    "   Height          =   3600\r\n"
    "   Width           =   6000\r\n"
    "   Begin ZLKBTRLibCtl.ZelkoDb Zelko1 \r\n"
    "      Left            =   10\r\n"
    "      Top             =   10\r\n"
    "      DDFDir          =   \".\"\r\n"
    "   End\r\n"
    "End\r\n"
    "Attribute VB_Name = \"Blank\"\r\n";

TEST(Designer, AFormBuiltThroughItsPagesRunsInRunMode) {
  std::string dir = Dir();
  zelko_testing::WriteFile(dir + "/Blank.frm", kBlank);
  DesignRun designed = Macro(dir,
                             "add ZLKEdit NameEdit 1200 300 2400 375\n"
                             "page NameEdit\n"
                             "print page ﾃﾞｰﾀｿｰｽ\n"
                             "page choose ﾃﾞｰﾀｿｰｽ Zelko1\n"
                             "page choose ﾃｰﾌﾞﾙ CUSTOMER\n"
                             "print page ﾌｨｰﾙﾄﾞ\n"
                             "page choose ﾌｨｰﾙﾄﾞ NAME\n"
                             "print page dirty\n"
                             "page apply\n"
                             "print NameEdit.Text\n"
                             "NameEdit.Text = \"\"\n"
                             "add ZLKBtn Insert1 300 900 900 375\n"
                             "page Insert1\n"
                             "page choose DbSource Zelko1\n"
                             "page choose DbTable CUSTOMER\n"
                             "page choose Btrieveｵﾍﾟﾚｰｼｮﾝ Insert\n"
                             "page choose ｲﾝﾃﾞｯｸｽ CUST_NO\n"
                             "page apply\n"
                             "add ZLKBtn First1 1300 900 900 375\n"
                             "page First1\n"
                             "page choose DbSource Zelko1\n"
                             "page choose DbTable CUSTOMER\n"
                             "page choose Btrieveｵﾍﾟﾚｰｼｮﾝ GetFirst\n"
                             "page choose ｲﾝﾃﾞｯｸｽ CUST_NO\n"
                             "page apply\n"
                             "save\n",
                             "Blank.frm", true);
  ASSERT_EQ(designed.status, 0) << designed.err;
  EXPECT_TRUE(designed.Says("page ﾃﾞｰﾀｿｰｽ = Zelko1; selected = \n"));
  EXPECT_TRUE(designed.Says("page ﾌｨｰﾙﾄﾞ = CUST_NO,NAME,KANA,BIRTHDAY,CREDIT,VIP;"));
  EXPECT_TRUE(designed.Says("page dirty = True"));
  EXPECT_TRUE(designed.Says("NameEdit.Text = \"NAME\""));  // shows its field while designed
  std::string saved = zelko_testing::ReadFile(dir + "/Blank.frm");
  EXPECT_NE(saved.find("Begin ZLKBTRLibCtl.ZLKEdit NameEdit"), std::string::npos);
  EXPECT_NE(saved.find("DbOperation     =   4"), std::string::npos);
  // Run mode: a record typed, inserted by one button and read back by the other.
  DesignRun ran = Macro(dir,
                        "type NameEdit \"Designed\"\n"
                        "click Insert1\n"
                        "NameEdit.Text = \"\"\n"
                        "click First1\n"
                        "print NameEdit.Text\n",
                        "Blank.frm", false);
  ASSERT_EQ(ran.status, 0) << ran.err;
  EXPECT_TRUE(ran.Says("NameEdit.Text = \"Designed\"")) << ran.out;
}

TEST(Designer, EveryExampleFormSavesByteForByteAndEditsUndo) {
  std::string dir = Dir();
  for (const char *form : {"Customer.frm", "Order.frm", "Grid.frm"}) {
    std::string source = std::string(ZELKO_SOURCE_DIR) + "/examples/shop/" + form;
    std::filesystem::copy_file(source, dir + "/" + form,
                               std::filesystem::copy_options::overwrite_existing);
    DesignRun run = Macro(dir, std::string("save copy-") + form + "\n", form, true);
    ASSERT_EQ(run.status, 0) << form << run.err;
    EXPECT_EQ(zelko_testing::ReadFile(dir + "/copy-" + form), zelko_testing::ReadFile(source))
        << form;
  }
  // Moved, sized, undone and redone: the twips are exact.
  DesignRun edits = Macro(dir,
                          "select ZelkoEdit1\n"
                          "move ZelkoEdit1 2615 115\n"
                          "resize ZelkoEdit1 2655 405\n"
                          "undo\n"
                          "save undone.frm\n"
                          "redo\n"
                          "delete ZelkoEdit2\n"
                          "save edited.frm\n"
                          "delete Nothing\n",
                          "Customer.frm", true);
  EXPECT_EQ(edits.status, 1);
  EXPECT_NE(edits.err.find("no control Nothing"), std::string::npos) << edits.err;
  std::string undone = zelko_testing::ReadFile(dir + "/undone.frm");
  std::string edited = zelko_testing::ReadFile(dir + "/edited.frm");
  EXPECT_NE(undone.find("Left            =   2615"), std::string::npos);
  EXPECT_NE(undone.find("Width           =   2640"), std::string::npos);
  EXPECT_NE(edited.find("Width           =   2655"), std::string::npos);
  EXPECT_EQ(edited.find("ZelkoEdit2"), std::string::npos);
}

TEST(Designer, SavesThatWouldLoseSomethingAreRefused) {
  std::string dir = Dir();
  std::string broken = kBlank;
  broken.insert(broken.find("   Begin ZLKBTRLibCtl"), "   this line is not a property\r\n");
  struct Case {
    std::string file, text, script;
    std::vector<std::string> said;
  } cases[] = {{"Broken.frm",
                broken,
                "save\nsave elsewhere.frm\nsave /proc/version/none.frm\n",
                {"not read whole", "cannot write /proc/version/none.frm"}},
               // A text a form file cannot keep (code page 932 lacks "ü") was written as "?".
               {"Blank.frm",
                kBlank,
                "add ZLKBtn Btn9 100 100 900 300\nBtn9.Caption = \"Müller\"\nsave\n",
                {"the form holds \"ü\", which a form file (code page 932) cannot keep"}}};
  for (const Case &c : cases) {
    zelko_testing::WriteFile(dir + "/" + c.file, c.text);
    DesignRun run = Macro(dir, c.script, c.file, true);
    EXPECT_EQ(run.status, 1) << c.file;
    for (const std::string &said : c.said)
      EXPECT_NE(run.err.find(said), std::string::npos) << run.err;
    EXPECT_EQ(zelko_testing::ReadFile(dir + "/" + c.file), c.text);
  }
  EXPECT_TRUE(std::filesystem::exists(dir + "/elsewhere.frm"));
}

// Another program saves the form while the designer has it: a save over it asks first.
TEST(Designer, AFormAnotherProgramSavedMeanwhileIsNotSavedOverUnasked) {
  std::string dir = Dir();
  zelko_testing::WriteFile(dir + "/Blank.frm", kBlank);
  DesignRun run{};
  std::thread designer([&] {
    run = Macro(dir,
                "save started.frm\n"
                "wait 3000\n"
                "answer Cancel\n"
                "save\n"
                "save\n"
                "save\n",
                "Blank.frm", true);
  });
  for (int waited = 0; waited < 60000 && !std::filesystem::exists(dir + "/started.frm");
       waited += 10)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  const std::string theirs = std::string(kBlank) + "' saved by another program\r\n";
  zelko_testing::WriteFile(dir + "/Blank.frm", theirs);
  designer.join();
  // Asked once and refused (the file keeps their save), asked again and saved over; the
  // third save, of a file as this designer left it, asks nothing.
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("keeps the other program's changes"), std::string::npos) << run.err;
  size_t asked = 0;
  for (size_t at = 0; (at = run.out.find("changed by another program", at)) != std::string::npos;
       ++at)
    ++asked;
  EXPECT_EQ(asked, 2u) << run.out;
  EXPECT_NE(run.out.find("-> Cancel"), std::string::npos) << run.out;
  EXPECT_EQ(zelko_testing::ReadFile(dir + "/Blank.frm"), kBlank);
}

// In the process: the designer's own key handling.
TEST(Designer, AnArrowKeyHeldDownIsOneStepAndTheStepsAreBounded) {
  zelko_testing::App();
  std::string dir = Dir();
  const std::string text = std::string(kBlank).insert(
      std::string(kBlank).find("End\r\nAttribute"),
      "   Begin VB.Label Label1 \r\n      Left = 150\r\n      Top = 300\r\n   End\r\n");
  zelko_testing::WriteFile(dir + "/Keys.frm", text);
  std::vector<std::string> problems;
  auto doc = zelkoform::ParseFrm(text, &problems);
  ASSERT_TRUE(doc);
  zelkoform::FormHost host;
  ASSERT_TRUE(host.Load(*doc, true, &problems));
  zelkoform::Designer designer(host, dir + "/Keys.frm", true);
  std::string error;
  ASSERT_TRUE(designer.Select("Label1", &error)) << error;
  QWidget *label = host.FindWidget("Label1");
  auto press = [&](Qt::Key key, bool repeated) {
    QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier, QString(), repeated);
    QApplication::sendEvent(label, &event);
  };
  auto left = [&] { return host.Object("Label1")->Number("Left", -1); };
  // A press, then twenty the key repeats while held: one step.
  press(Qt::Key_Right, false);
  for (int i = 0; i < 20; ++i)
    press(Qt::Key_Right, true);
  EXPECT_EQ(left(), 150 + 21 * 15);
  // Two presses of their own: a step each.
  press(Qt::Key_Down, false);
  press(Qt::Key_Down, false);
  ASSERT_TRUE(designer.Undo(&error));
  ASSERT_TRUE(designer.Undo(&error));
  EXPECT_EQ(left(), 150 + 21 * 15);
  ASSERT_TRUE(designer.Undo(&error));
  EXPECT_EQ(left(), 150);
  EXPECT_FALSE(designer.Undo(&error));
  // Each step keeps a copy of the form: the oldest go first.
  for (int i = 1; i <= 1005; ++i)
    ASSERT_TRUE(designer.Move("Label1", 150 + i, 300, &error)) << error;
  int undone = 0;
  while (designer.Undo(&error))
    ++undone;
  EXPECT_EQ(undone, 1000);
  EXPECT_EQ(left(), 155);
}

}  // namespace
