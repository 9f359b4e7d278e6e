// The editor's windows, driven by the program's own macro front (dictedit --macro) on the
// offscreen platform: a whole editing session, the grids' edge cases, and failures.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "zelko_test_env.h"

namespace {

using zelko_testing::ConfigDir;
using zelko_testing::RunShell;
using zelko_testing::ScratchDir;
using zelko_testing::WriteFile;

struct MacroRun {
  int status = -1;
  std::vector<std::string> lines;  // standard output
  std::string errors;
  bool Says(const std::string &text) const {
    for (const std::string &line : lines)
      if (line.find(text) != std::string::npos) return true;
    return false;
  }
};

// Runs `macro` in the editor, opened on `directory` when one is given.
MacroRun Macro(const std::string &macro, const std::string &directory = "") {
  static int count = 0;
  std::string file = ScratchDir() + "/m" + std::to_string(++count) + ".macro";
  WriteFile(file, macro);
  MacroRun run;
  std::string errors = ScratchDir() + "/errors.txt";
  std::string out = RunShell(std::string("QT_QPA_PLATFORM=offscreen ") + DICTEDIT_PATH +
                                 " --macro " + file + " " + directory + " 2>" + errors,
                             &run.status);
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);)
    run.lines.push_back(line);
  run.errors = zelko_testing::ReadFile(errors);
  return run;
}

void Batch(const std::string &arguments) {
  int status = -1;
  RunShell(std::string(DICTEDIT_PATH) + " --batch " + arguments + " >/dev/null 2>&1", &status);
  ASSERT_EQ(status, 0) << arguments;
}

void Options(const std::string &lines) {
  WriteFile(ConfigDir() + "/zelko.ini", "[dicteditp]\n" + lines);
}

TEST(Windows, AWholeEditingSessionSavedAndReopened) {
  std::string dir = ScratchDir() + "/shop";
  std::filesystem::create_directories(dir);
  MacroRun made = Macro("file " + dir +
                        "/file.ddf\n"
                        "dialog テーブル名 = items\n"
                        "dialog BTRIEVEファイル名 = items.dat\n"
                        "menu 新規DDFの作成\n"
                        "print title\n"
                        "dialog フィールド名 = CODE\n"
                        "dialog データ型 = String\n"
                        "dialog サイズ = 8\n"
                        "dialog button 登録・継続\n"
                        "menu フィールド/追加\n"
                        "dialog フィールド名 = PRICE\n"
                        "dialog データ型 = Decimal\n"
                        "dialog 小数点以下桁数 = 2\n"
                        "menu フィールド/追加\n"
                        "dialog フィールド名 = QTY\n"
                        "dialog データ型 = Integer\n"
                        "dialog サイズ = 2\n"
                        "select field 2\n"
                        "menu フィールド/挿入\n"
                        "dialog フィールド = CODE\n"
                        "dialog 重複 = 1\n"
                        "dialog 修正可能 = 1\n"
                        "menu インデックス/追加\n"
                        "select index 1\n"
                        "dialog ｲﾝﾃﾞｯｸｽ名 = bycode\n"
                        "menu ｲﾝﾃﾞｯｸｽ名を追加\n"
                        "select field 4\n"
                        "menu フィールド/修正\n"
                        "print modified\n"
                        "menu 保存\n"
                        "print modified\n"
                        "print enabled 保存\n");
  ASSERT_EQ(made.status, 0) << made.errors;
  EXPECT_EQ(made.lines[0], "ﾃｰﾌﾞﾙ:1:ITEMS");
  EXPECT_TRUE(made.Says("message VE1055 Named Indexは変更できません。"));
  EXPECT_EQ(made.lines.back(), "0");  // Save is disabled once saved
  // Reopened, the grids show what was made: QTY went before PRICE, the name follows the
  // fields, the decimal Decimal got its offered size 8.
  std::string grids =
      "activate ITEMS\n"
      "print grid fields 1 1\nprint grid fields 2 1\nprint grid fields 3 1\n"
      "print grid fields 3 3\nprint grid fields 3 4\nprint grid fields 3 5\n"
      "print grid fields 4 1\nprint grid fields 4 2\nprint grid fields 1 0\n"
      "print grid index 1 1\nprint grid index 1 2\nprint grid index 1 3\n"
      "print grid index 1 4\nprint grid index 1 6\nprint grid index 0 1\n";
  MacroRun reopened = Macro(grids, dir);
  ASSERT_EQ(reopened.status, 0) << reopened.errors;
  EXPECT_EQ(reopened.lines,
            (std::vector<std::string>{"CODE", "QTY", "PRICE", "     8", "    10", " 2", "BYCODE",
                                      "Named Index", "  1", "CODE", "BYCODE", "可", "可", "昇順",
                                      "インデックス"}));
}

TEST(Windows, GridEdgeCases) {
  std::string dir = ScratchDir() + "/big";
  std::string fields;
  for (int i = 1; i <= 511; ++i)
    fields += " \\; add-field T F" + std::to_string(i) + " Integer 2";
  Batch(dir + " new \\; add-table T t.dat" + fields + " \\; add-index T F1 \\; add-table K k.dat" +
        " \\; add-field K A String 4 \\; add-field K B String 4 \\; add-field K C String 4" +
        " \\; add-index K A B C \\; add-index K C \\; set-index-name K 1 BYC");
  Options("openwin_at_read=No\nzero_offset=Yes\ndata_conv_mode=No\n");
  MacroRun run = Macro(
      "print list\n"
      "open table T\n"
      "print list\n"
      "print grid fields 1 0\n"
      "print grid fields 511 0\n"
      "print grid fields 511 1\n"
      "dialog フィールド名 = EXTRA\n"
      "dialog サイズ = 2\n"
      "menu フィールド/追加\n"
      "print grid fields 511 1\n"
      "menu ﾃｰﾌﾞﾙのｸﾛｰｽﾞ\n"
      "print list\n"
      "open table K\n"
      "answer OK\n"
      "select index 2\n"
      "menu インデックス/削除\n"
      "print grid index 1 1\nprint grid index 1 5\nprint grid index 2 1\n"
      "print grid index 2 5\nprint grid index 3 1\nprint grid index 3 2\n",
      dir);
  ASSERT_EQ(run.status, 0) << run.errors;
  EXPECT_EQ(run.lines[0], "T,K");
  EXPECT_EQ(run.lines[1], "K");
  EXPECT_EQ(run.lines[2], "  0");  // zero offset
  EXPECT_EQ(run.lines[3], "510");  // the last usable row
  EXPECT_EQ(run.lines[4], "F511");
  EXPECT_TRUE(run.Says("message VE1004 フィールドはこれ以上追加できません。"));
  EXPECT_EQ(run.lines[6], "F511");  // nothing changed
  EXPECT_EQ(run.lines[7], "K,T");   // the closed view's name back at the end
  // The middle segment of A+B+C went alone: A still runs on into C, which ends the key.
  std::vector<std::string> tail(run.lines.end() - 6, run.lines.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"A", "あり", "C", "なし", "C", "BYC"}));
}

TEST(Windows, RefusalsAndAFailedSaveKeepTheEdits) {
  std::string dir = ScratchDir() + "/shop";
  Batch(dir + " new \\; add-table T t.dat \\; add-field T A String 4 \\; add-index T A");
  Options("openwin_at_read=Yes\ndata_conv_mode=No\n");
  // A size that is not a number, and a size of 0: the type's size message, nothing added.
  MacroRun sizes = Macro(
      "activate T\n"
      "dialog フィールド名 = B\ndialog サイズ = abc\nmenu フィールド/追加\n"
      "dialog フィールド名 = B\ndialog サイズ = 0\nmenu フィールド/追加\n"
      "print grid fields 2 1\n",
      dir);
  ASSERT_EQ(sizes.status, 0) << sizes.errors;
  EXPECT_EQ(sizes.lines.back(), "");
  // Output that cannot be written is a failure, the help's too.
  int status = 0;
  std::string macro = ScratchDir() + "/title.macro";
  WriteFile(macro, "print title\n");
  for (std::string args : {" --macro " + macro + " " + dir, std::string(" --help")}) {
    RunShell(std::string("QT_QPA_PLATFORM=offscreen ") + DICTEDIT_PATH + args +
                 " >/dev/full 2>/dev/null",
             &status);
    EXPECT_EQ(status, 1) << args;
  }
  int refusals = 0;
  for (const std::string &line : sizes.lines)
    refusals += line.rfind("message VE1003", 0) == 0;
  EXPECT_EQ(refusals, 2);
  // A save the dictionary's rules refuse (a table without a key): the window keeps the edits
  // and the dictionary stays modified.
  MacroRun failed = Macro(
      "dialog テーブル名 = U\ndialog BTRIEVEファイル名 = u.dat\nmenu 新規ﾃｰﾌﾞﾙ\n"
      "dialog フィールド名 = X\ndialog サイズ = 4\nmenu フィールド/追加\n"
      "menu 保存\n"
      "print modified\nprint grid fields 1 1\nprint enabled 保存\n",
      dir);
  ASSERT_EQ(failed.status, 0) << failed.errors;
  EXPECT_TRUE(failed.Says("message VE1057"));
  std::vector<std::string> tail(failed.lines.end() - 3, failed.lines.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"1", "X", "1"}));
  // A table brought in with a size its record cannot keep: the save refuses it and brings
  // its view forward, whichever view was active.
  std::string wide = ScratchDir() + "/wide.txt";
  WriteFile(wide,
            "[TableName]\r\nWIDE\r\n[TableLocation]\r\nWIDE.DAT\r\n"
            "[FieldName,Type,Offset,Size,Decimal]\r\nA,0,0,70000,0\r\n"
            "[IndexNumber,Part,FieldName,Flags]\r\n0,0,A,256\r\n");
  MacroRun refused = Macro("activate T\nfile " + wide +
                               "\nmenu ﾃｰﾌﾞﾙの搬入\nactivate T\nmenu 保存\nprint title\n"
                               "print modified\n",
                           dir);
  ASSERT_EQ(refused.status, 0) << refused.errors;
  EXPECT_TRUE(refused.Says("message VE1003")) << refused.errors;
  ASSERT_GE(refused.lines.size(), 2u);
  EXPECT_NE(refused.lines[refused.lines.size() - 2].find("WIDE"), std::string::npos);
  EXPECT_EQ(refused.lines.back(), "1");
  // A file name with a character the code page lacks was used with "?" in its place (the
  // module written as "?.bas"): said, and nothing written.
  MacroRun outside =
      Macro("activate T\nfile " + ScratchDir() + "/ü.bas\nmenu ツール/ﾌｨｰﾙﾄﾞIDﾘｽﾄ\n", dir);
  EXPECT_EQ(outside.status, 0) << outside.errors;
  EXPECT_TRUE(outside.Says("にはコードページにない文字があります。")) << outside.errors;
  EXPECT_FALSE(std::filesystem::exists(ScratchDir() + "/?.bas"));
  EXPECT_FALSE(std::filesystem::exists(ScratchDir() + "/ü.bas"));
  MacroRun named = Macro("print title\n", ScratchDir() + "/ü");
  EXPECT_TRUE(named.Says("/? にはコードページにない文字があります。")) << named.errors;
  // No dictionary, a damaged FIELD.DDF: a message, nothing open, no crash.
  std::string empty = ScratchDir() + "/none";
  std::filesystem::create_directories(empty);
  MacroRun none = Macro("print title\nprint enabled 新規DDFの作成\n", empty);
  EXPECT_EQ(none.status, 0) << none.errors;
  EXPECT_EQ(none.lines.back(), "1");
  WriteFile(dir + "/FIELD.DDF", "not a dictionary file");
  MacroRun damaged = Macro("print title\nprint enabled 既存DDFのｵｰﾌﾟﾝ\n", dir);
  EXPECT_EQ(damaged.status, 0) << damaged.errors;
  EXPECT_EQ(damaged.lines.back(), "1");
  EXPECT_TRUE(damaged.Says("message ")) << damaged.errors;
  // A dialog value of two words was cut to its first: it must be quoted.
  MacroRun two_words = Macro("dialog テーブル名 = two words\n", dir);
  EXPECT_EQ(two_words.status, 1);
  EXPECT_NE(two_words.errors.find("unknown statement: dialog"), std::string::npos)
      << two_words.errors;
}

}  // namespace
