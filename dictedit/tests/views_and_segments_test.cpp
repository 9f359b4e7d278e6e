// What the table view's grids show, and the index edits the index dialog makes one segment at
// a time.
#include <gtest/gtest.h>

#include "editing.h"
#include "editor_test_util.h"
#include "view_grids.h"
#include "zplatform/codepage.h"

namespace dictedit {
namespace {

struct Keyed {
  RecordingUi ui;
  DdfDictionary dict{ui};
  DdfTable *t = nullptr;
  Keyed() {
    dict.options.data_conv_mode = false;
    t = AddTable(dict, "t", "t.dat");
    for (const char *name : {"A", "B", "C", "D"})
      AddField(dict, *t, name, 0, 4, 0);
    AddField(dict, *t, "P", 5, 6, 2);
    AddIndex(dict, *t, {{"A", 3}, {"B", 0}, {"C", 0}});  // key 0: A+B+C
    AddIndex(dict, *t, {{"D", 0x40}});                   // key 1: D descending
    SetIndexName(dict, *t, 3, "BYD");
    ui.messages.clear();
  }
  std::string Cell(const GridCells &cells, int row, int col) {
    return zplatform::ToUtf8(cells[static_cast<size_t>(row)][static_cast<size_t>(col)]);
  }
};

TEST(Views, GridTextsNumbersAndWidths) {
  Keyed k;
  GridCells fields = FieldGridCells(*k.t, false);
  ASSERT_EQ(fields.size(), 512u);
  EXPECT_EQ(k.Cell(fields, 0, 5), "小数点以下桁数");
  EXPECT_EQ(k.Cell(fields, 1, 0), "  1");
  EXPECT_EQ(k.Cell(fields, 5, 2), "Decimal");
  EXPECT_EQ(k.Cell(fields, 5, 4), "    16");
  EXPECT_EQ(k.Cell(fields, 5, 5), " 2");
  EXPECT_EQ(k.Cell(fields, 1, 5), "");
  EXPECT_EQ(k.Cell(fields, 6, 1), "BYD");  // the named index after the fields
  EXPECT_EQ(k.Cell(fields, 6, 4), "     1");
  EXPECT_EQ(k.Cell(FieldGridCells(*k.t, true), 511, 0), "510");
  GridCells index = IndexGridCells(*k.t, false);
  ASSERT_EQ(index.size(), 120u);
  EXPECT_EQ(
      (std::vector<std::string>{k.Cell(index, 1, 3), k.Cell(index, 1, 4), k.Cell(index, 1, 5),
                                k.Cell(index, 3, 5), k.Cell(index, 4, 6), k.Cell(index, 4, 2)}),
      (std::vector<std::string>{"可", "可", "あり", "なし", "降順", "BYD"}));
  EXPECT_EQ(KeySegments(*k.t, 1), (std::pair<int, int>{0, 2}));
  EXPECT_EQ(FieldGridWidths(375 + 1100), (std::vector<int>{375, 400, 200, 100, 200, 200}));
  EXPECT_EQ(IndexGridWidths(375 + 1400),
            (std::vector<int>{375, 400, 400, 100, 200, 100, 100, 100}));
  EXPECT_EQ(zplatform::ToUtf8(TableViewTitle(*k.t)),
            "ﾃｰﾌﾞﾙ:" + std::to_string(k.t->file_id - 3) + ":T");
}

TEST(Views, SegmentEditsOneAtATime) {
  Keyed k;
  DdfTable &t = *k.t;
  // The last segment of A+B+C goes: B ends the key now instead of running on into D's key.
  k.ui.answers = {true};
  ASSERT_TRUE(DeleteSegment(k.dict, t, 2));
  EXPECT_EQ(
      k.ui.Last(),
      "VE1015 "
      "インデックス[C]を削除しますか？\nﾃﾞｰﾀ変換ﾓｰﾄﾞの場合で、ｾｸﾞﾒﾝﾄ･ｷｰの場合はｾｸﾞﾒﾝﾄ・ｷｰを一括"
      "削除します。");
  ASSERT_EQ(t.segment_count(), 3);
  EXPECT_EQ(t.segments[1]->flags & kFlagSegmented, 0);
  ASSERT_EQ(t.named_indexes.size(), 1u);
  EXPECT_EQ(t.named_indexes[0]->offset, 1);  // D's key is still key 1
  // A whole single-segment key goes with its name; Cancel changes nothing.
  k.ui.answers = {false};
  EXPECT_FALSE(DeleteSegment(k.dict, t, 2));
  EXPECT_EQ(t.segment_count(), 3);
  k.ui.answers = {true};
  ASSERT_TRUE(DeleteSegment(k.dict, t, 2));
  EXPECT_TRUE(t.named_indexes.empty());
  EXPECT_FALSE(DeleteSegment(k.dict, t, 7));
  EXPECT_EQ(k.ui.Last(), "VE1016 削除するインデックスが選択されていません");
  // Added before a segment, changed, refused without a field.
  ASSERT_TRUE(AddSegment(k.dict, t, "C", 0x100 | kFlagSegmented, 0, nullptr));
  EXPECT_EQ(t.FieldById(t.segments[0]->field_id)->name, "C");
  ASSERT_TRUE(ChangeSegment(k.dict, t, 0, "D", 0x40));
  EXPECT_EQ(t.segments[0]->flags, 0x140);
  EXPECT_FALSE(AddSegment(k.dict, t, "", 0x100, -1, nullptr));
  EXPECT_EQ(k.ui.Last(), "VE1013 フィールドが選択されていません。");
  EXPECT_FALSE(ChangeSegment(k.dict, t, 9, "A", 0));
  EXPECT_EQ(k.ui.Last(), "VE1014 修正するインデックスが選択されていません。");
  // An index name asked away.
  ASSERT_TRUE(SetIndexName(k.dict, t, 1, "byab"));
  k.ui.answers = {true};
  ASSERT_TRUE(DeleteIndexName(k.dict, t, 1));
  EXPECT_EQ(k.ui.Last(), "VE1063 ｲﾝﾃﾞｯｸｽ名[BYAB]を削除しますか？");
  EXPECT_TRUE(t.named_indexes.empty());
}

}  // namespace
}  // namespace dictedit
