// The listing's pages: page counts, the lines of a page, numbering and flag words; and the
// same pages as a PDF written by the program, read back with pdftotext.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "editing.h"
#include "editor_test_util.h"
#include "listing.h"
#include "zelko_test_env.h"
#include "zplatform/codepage.h"

namespace dictedit {
namespace {

std::vector<std::string> Texts(const std::vector<ListingLine> &lines) {
  std::vector<std::string> texts;
  for (const ListingLine &line : lines)
    texts.push_back(zplatform::ToUtf8(line.text));
  return texts;
}

struct Listed {
  RecordingUi ui;
  DdfDictionary dict{ui};
  DdfTable *table = nullptr;
  std::tm today{};
  Listed() {
    dict.options.data_conv_mode = false;
    table = AddTable(dict, "items", "items.dat");
    today.tm_year = 126;
    today.tm_mon = 11;
    today.tm_mday = 7;
  }
};

TEST(Listing, PagesLinesNumbersAndFlagWords) {
  Listed l;
  DdfTable &t = *l.table;
  EXPECT_FALSE(CanList(l.dict, &t));
  EXPECT_EQ(l.ui.Last(), "VE1011 フィールドが定義されていません。");
  EXPECT_FALSE(CanList(l.dict, nullptr));
  EXPECT_EQ(l.ui.Last(), "VE1009 テーブルが選択されていません");
  // Three fields, two single-segment keys, a name on the second key: one page.
  ASSERT_TRUE(AddField(l.dict, t, "CODE", 0, 8, 0));
  ASSERT_TRUE(AddField(l.dict, t, "PRICE", 5, 8, 2));
  ASSERT_TRUE(AddField(l.dict, t, "QTY", 1, 2, 0));
  ASSERT_TRUE(AddIndex(l.dict, t, {{"CODE", 3}}));
  ASSERT_TRUE(AddIndex(l.dict, t, {{"QTY", 0x40}}));
  ASSERT_TRUE(SetIndexName(l.dict, t, 1, "BYQTY"));
  EXPECT_TRUE(CanList(l.dict, &t));
  EXPECT_EQ(ListingPageCount(t, l.dict.options), 1);
  std::vector<ListingLine> page = ListingPage(t, l.dict.options, 1, l.today);
  EXPECT_EQ(
      Texts(page),
      (std::vector<std::string>{
          "ﾃｰﾌﾞﾙ名       : ITEMS", "印刷日 : 2026/12/07", "BTRIEVE ﾌｧｲﾙ名: ITEMS.DAT",
          "ﾃｰﾌﾞﾙID: " + std::to_string(t.file_id - 4),
          "No. フィールド名         データ型        サイズ 小数点以下",
          "  1 CODE                 String               8",
          "  2 PRICE                Decimal              8      2",
          "  3 QTY                  Integer              2",
          "No. インデックス         インデックス名        重複  修正  セグメント  ソート  ヌル",
          "  1 CODE                                       可    可    なし        昇順    不可",
          "  2 QTY                  BYQTY                 不可  不可  なし        降順    不可"}));
  EXPECT_EQ(page[1].x, 500);
  EXPECT_EQ(page[2].y, 14);
  EXPECT_EQ(page[4].y, 38);
  EXPECT_EQ(page[4].font, ListingLine::Font::kHeader);
  EXPECT_EQ(page[8].y, 38 + 14 * 4 + 14);  // a blank line before the index header
  EXPECT_EQ(page[9].font, ListingLine::Font::kRow);
  // Zero offset numbers the fields from 0, the segments still from 1.
  l.dict.options.zero_offset = true;
  page = ListingPage(t, l.dict.options, 1, l.today);
  EXPECT_EQ(zplatform::ToUtf8(page[5].text).substr(0, 8), "  0 CODE");
  EXPECT_EQ(zplatform::ToUtf8(page[9].text).substr(0, 8), "  1 CODE");
}

TEST(Listing, FortyFieldsAPageAndTheNextPage) {
  Listed l;
  DdfTable &t = *l.table;
  for (int i = 1; i <= 40; ++i)
    ASSERT_TRUE(AddField(l.dict, t, "F" + std::to_string(i), 1, 2, 0));
  ASSERT_TRUE(AddIndex(l.dict, t, {{"F1", 0}}));
  l.dict.options.fields_per_page = 0;  // read as 40
  EXPECT_EQ(ListingPageCount(t, l.dict.options), 1);
  ASSERT_TRUE(AddField(l.dict, t, "F41", 1, 2, 0));
  EXPECT_EQ(ListingPageCount(t, l.dict.options), 2);
  std::vector<std::string> first = Texts(ListingPage(t, l.dict.options, 1, l.today));
  EXPECT_EQ(first[44].substr(0, 6), " 40 F4");  // the page's 40th field, then the index part
  EXPECT_EQ(first[45].substr(0, 3), "No.");
  EXPECT_EQ(first.size(), 47u);
  // Page 2: the 41st field at y 38 + 14, then the index section again.
  std::vector<ListingLine> second = ListingPage(t, l.dict.options, 2, l.today);
  ASSERT_EQ(second.size(), 4u);
  EXPECT_EQ(second[0].y, 38);
  EXPECT_EQ(zplatform::ToUtf8(second[1].text).substr(0, 7), " 41 F41");
  EXPECT_EQ(zplatform::ToUtf8(second[3].text).substr(0, 6), "  1 F1");
}

TEST(Listing, ThePdfHoldsTheLines) {
  std::string dir = zelko_testing::ScratchDir();
  std::string pdf = dir + "/items.pdf";
  int status = -1;
  std::string dictedit = DICTEDIT_PATH;
  zelko_testing::RunShell(dictedit + " --batch " + dir + " new \\; add-table ITEMS items.dat" +
                              " \\; add-field ITEMS CODE String 8 \\; add-field ITEMS PRICE" +
                              " Decimal 8 2 \\; add-index ITEMS CODE:3 >/dev/null 2>&1",
                          &status);
  ASSERT_EQ(status, 0);
  zelko_testing::RunShell(dictedit + " --batch " + dir + " print ITEMS --pdf " + pdf, &status);
  ASSERT_EQ(status, 0);
  std::string text = zelko_testing::RunShell("pdftotext -layout " + pdf + " -", &status);
  ASSERT_EQ(status, 0);
  for (const char *line : {"ﾃｰﾌﾞﾙ名       : ITEMS", "BTRIEVE ﾌｧｲﾙ名: ITEMS.DAT", "2 PRICE",
                           "Decimal", "可    可    なし", "昇順"})
    EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
  // A write cut short (a full disk, here a limit on file sizes) fails and leaves the former
  // PDF whole; it was cut, and the run said it was done.
  std::string before = zelko_testing::ReadFile(pdf);
  std::string cut = zelko_testing::RunShell("trap '' XFSZ; ulimit -f 8; " + dictedit + " --batch " +
                                                dir + " print ITEMS --pdf " + pdf + " 2>&1",
                                            &status);
  EXPECT_EQ(status, 1);
  EXPECT_NE(cut.find("dictedit: cannot write " + pdf), std::string::npos) << cut;
  EXPECT_EQ(zelko_testing::ReadFile(pdf), before);
  for (const auto &entry : std::filesystem::directory_iterator(dir))
    EXPECT_EQ(entry.path().filename().string().find("items.pdf."), std::string::npos);
  // No fields: the message, no file.
  std::string refused = zelko_testing::RunShell(
      dictedit + " --batch " + dir + " add-table EMPTY e.dat \\; print EMPTY --pdf " + dir +
          "/e.pdf 2>&1",
      &status);
  EXPECT_EQ(status, 1);
  EXPECT_NE(refused.find("VE1011"), std::string::npos) << refused;
  EXPECT_FALSE(std::filesystem::exists(dir + "/e.pdf"));
}

}  // namespace
}  // namespace dictedit
