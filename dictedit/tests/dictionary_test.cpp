#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "batch.h"
#include "btrieve/btrapi.h"
#include "ddf_dictionary.h"
#include "dictionary_builder.h"
#include "editing.h"
#include "editor_messages.h"
#include "editor_test_util.h"
#include "text_transfer.h"
#include "zelko_test_env.h"

namespace dictedit {
namespace {

std::string NewDir(const std::string &name) {
  std::string d = zelko_testing::ScratchDir() + "/" + name;
  std::filesystem::create_directories(d);
  return d;
}

// Two tables with file ids 10 and 7, odd offsets and ids, a name with a blank.
std::string LegacyDictionary(const std::string &name) {
  std::string dir = NewDir(name);
  dictio::TableSpec a{10,
                      "ORDERS X",
                      "orders.dat",
                      {{"NO", 1, 4}, {"WHAT IS", 0, 10}, {"QTY", 1, 2}},
                      {{"NO", 0, 0, 0x110}, {"QTY", 0, 1, 0x100}, {"WHAT IS", 1, 0, 0x103}},
                      {{"BY WHAT", 1}}};
  dictio::TableSpec b{
      7, "ITEMS", "items", {{"CODE", 0, 8}, {"PRICE", 5, 4, 2}}, {{"CODE", 0, 0, 0x100}}, {}};
  EXPECT_EQ(dictio::BuildDictionary(dir, {a, b}, 40), 0);
  return dir;
}

TEST(Dictionary, LoadNormaliseSaveAndLoadAgain) {
  RecordingUi ui;
  DdfDictionary dict(ui);
  dict.ddf_directory = LegacyDictionary("legacy");
  ASSERT_EQ(dict.LoadDictionary(), 0);
  ASSERT_EQ(dict.tables.size(), 2u);
  // Tables come in FILE.DDF's key order: by file id.
  DdfTable &items = *dict.tables[0];
  DdfTable &orders = *dict.tables[1];
  EXPECT_EQ(items.name, "ITEMS");
  EXPECT_EQ(orders.name, "ORDERS");  // cut at the blank
  EXPECT_EQ(orders.file_id, 10);
  ASSERT_EQ(orders.field_count(), 3);
  EXPECT_EQ(orders.fields[1]->name, "WHAT^IS");
  ASSERT_EQ(orders.named_index_count(), 1);
  EXPECT_EQ(orders.named_indexes[0]->name, "BY^WHAT");
  EXPECT_EQ(orders.RecordLength(), 16);

  ASSERT_EQ(dict.NormaliseDictionary(), 0);
  EXPECT_EQ(items.file_id, 4);
  EXPECT_EQ(orders.file_id, 5);
  EXPECT_EQ(items.fields[0]->field_id, 19);
  EXPECT_EQ(orders.fields[0]->field_id, 21);
  EXPECT_EQ(orders.fields[2]->field_id, 23);
  EXPECT_EQ(orders.named_indexes[0]->field_id, 24);  // after every table's fields
  EXPECT_EQ(orders.fields[2]->offset, 14);
  EXPECT_EQ(orders.segments[1]->field_id, 23);  // segments follow their fields
  EXPECT_EQ(orders.segments[1]->file_id, 5);
  EXPECT_EQ(orders.named_indexes[0]->file_id, 5);
  EXPECT_EQ(orders.segments[1]->part, 1);
  EXPECT_EQ(orders.segments[2]->key_number, 1);
  ASSERT_EQ(dict.SaveDictionary(), 0);

  DdfDictionary again(ui);
  again.ddf_directory = dict.ddf_directory;
  ASSERT_EQ(again.LoadDictionary(), 0);
  ASSERT_EQ(again.tables.size(), 2u);
  EXPECT_EQ(again.tables[1]->named_indexes[0]->name, "BY^WHAT");
  EXPECT_EQ(again.tables[1]->fields[1]->name, "WHAT^IS");
  EXPECT_EQ(again.tables[0]->fields[1]->decimals, 2);
  EXPECT_EQ(again.tables[1]->file_id, 5);
  // Named indexes are stored with blanks: the catalog reads the name as written.
  DdfFieldRecord r{};
  ASSERT_EQ(DDFOpen(dict.ddf_directory.c_str(), 0), 0);
  std::string names;
  while (DDFReadField(&r) == 0)
    names += std::string(r.name, 20) + "|";
  DDFClose();
  EXPECT_NE(names.find("BY WHAT"), std::string::npos);
  EXPECT_NE(names.find("WHAT^IS"), std::string::npos);
  EXPECT_TRUE(ui.messages.empty());
}

TEST(Dictionary, NormaliseRefusals) {
  RecordingUi ui;
  DdfDictionary dict(ui);
  EXPECT_EQ(dict.NormaliseDictionary(), -1);
  EXPECT_EQ(ui.Last(), "VE1021 テーブルが定義されていません");
  DdfTable *t = AddTable(dict, "cust", "cust");
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->location, "CUST.BTR");
  EXPECT_EQ(AddTable(dict, "x", "x.dat")->location, "X.DAT");
  EXPECT_EQ(AddTable(dict, "CUST", "y"), nullptr);
  EXPECT_EQ(ui.Last(), "VE1007 すでに同名のテーブルが定義されています。");
  EXPECT_EQ(AddTable(dict, "", "y"), nullptr);
  EXPECT_EQ(ui.Last(), "VE1001 DDF情報を正しく指定してください。");
  ASSERT_TRUE(AddField(dict, *t, "a", 0, 10, 0));
  EXPECT_EQ(dict.NormaliseDictionary(), -1);
  EXPECT_EQ(ui.Last(),
            "VE1057 "
            "テーブル[CUST]"
            "にインデックスがありません。ZelkoからのDDF利用にはすくなくとも一つインデックスを作成し"
            "てください。");
  // Segments flagged 0x10, 0, 0x10, 0x10, 0 number (0,0) (0,1) (1,0) (1,1) (1,2).
  for (int flags : {0x10, 0, 0x10, 0x10, 0}) {
    auto s = std::make_unique<DdfIndexSegment>();
    s->flags = flags;
    s->file_id = t->file_id;
    t->segments.push_back(std::move(s));
  }
  for (auto &tt : dict.tables) {
    if (tt->segments.empty()) tt->segments.push_back(std::make_unique<DdfIndexSegment>());
  }
  ASSERT_EQ(dict.NormaliseDictionary(), 0);
  int expected[][2] = {{0, 0}, {0, 1}, {1, 0}, {1, 1}, {1, 2}};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(t->segments[i]->key_number, expected[i][0]);
    EXPECT_EQ(t->segments[i]->part, expected[i][1]);
  }
  t->segments.back()->flags = 0x10;
  EXPECT_EQ(dict.NormaliseDictionary(), -1);
  EXPECT_EQ(ui.Last(), "VE1022 インデックスの最後の項目はセグメントをオフにしてください。");
}

TEST(Dictionary, EditRules) {
  RecordingUi ui;
  DdfDictionary dict(ui);
  DdfTable &t = *AddTable(dict, "T", "T");
  struct Case {
    int type, size, decimals;
    bool ok;
  } cases[] = {{5, 4, 7, true},      {5, 4, 8, false},  {8, 4, 4, true},  {8, 4, 5, false},
               {0, 256, 0, false},   {1, 3, 0, false},  {2, 8, 0, true},  {7, 2, 0, true},
               {10, 1, 0, false},    {13, 4, 0, false}, {14, 4, 0, true}, {3, 8, 0, false},
               {12, 32001, 0, false}};
  int n = 0;
  for (const Case &c : cases) {
    EXPECT_EQ(AddField(dict, t, "F" + std::to_string(n++), c.type, c.size, c.decimals), c.ok)
        << c.type << " " << c.size << " " << c.decimals;
  }
  EXPECT_EQ(ui.Last(), "VE1003 データサイズまたは小数点以下桁数が不正です");
  EXPECT_FALSE(AddField(dict, t, "", 0, 1, 0));
  EXPECT_EQ(ui.Last(), "VE1002 フィールド名を指定してください");
  EXPECT_FALSE(AddField(dict, t, "x", -1, 1, 0));
  EXPECT_EQ(ui.Last(), "VE1023 データ型が選択されていません");
  EXPECT_FALSE(AddField(dict, t, "f0", 0, 1, 0));  // upper-cased, then taken
  EXPECT_EQ(ui.Last(), "VE1006 すでに同名のフィールドが定義されています");
  EXPECT_FALSE(AddField(dict, t, "NOTE", 12, 10, 0, 0));
  EXPECT_EQ(ui.Last(),
            "VE1052 "
            "可変長フィールドを挿入することはできません。テーブルの最後に１フィールドのみの追加は可"
            "能です。");
  EXPECT_FALSE(ChangeField(dict, t, 0, "F0", 13, 10, 0));
  EXPECT_EQ(ui.Last(), "VE1054 テーブルの最後の項目以外は可変長データ型に変更できません。");
  ASSERT_TRUE(AddField(dict, t, "NOTE", 12, 10, 0));
  EXPECT_FALSE(AddField(dict, t, "AFTER", 0, 1, 0));
  EXPECT_EQ(ui.Last(), "VE1053 すでに可変長の項目が存在します。");
  // A message without arguments follows the locale as the formatted ones do.
  setenv("LC_ALL", "en_US.UTF-8", 1);
  EXPECT_FALSE(AddField(dict, t, "AFTER", 0, 1, 0));
  setenv("LC_ALL", "C.UTF-8", 1);
  EXPECT_EQ(ui.Last(), "VE1053 A variable-length item already exists.");
  EXPECT_TRUE(AddField(dict, t, "BEFORE", 0, 1, 0, 0));  // a fixed field may go before it
  EXPECT_EQ(t.fields[0]->name, "BEFORE");

  ASSERT_TRUE(AddIndex(dict, t, {{"F0", 1}, {"F2", 0}}));
  EXPECT_EQ(t.segments[0]->flags, 0x111);
  EXPECT_EQ(t.segments[1]->flags, 0x101);  // the key's duplicates flag on every segment
  EXPECT_FALSE(SetIndexName(dict, t, 1, "BYF"));
  EXPECT_EQ(
      ui.Last(),
      "VE1064 "
      "ｲﾝﾃﾞｯｸｽ名を設定するときはセグメント・キーの場合はセグメントの先頭にセットしてください。");
  EXPECT_FALSE(SetIndexName(dict, t, 0, "f0"));
  EXPECT_EQ(ui.Last(), "VE1006 すでに同名のフィールドが定義されています");
  ASSERT_TRUE(SetIndexName(dict, t, 0, "by f"));
  EXPECT_EQ(t.named_indexes[0]->name, "BY^F");
  EXPECT_FALSE(SetIndexName(dict, t, 0, "OTHER"));  // the key has a name already

  EXPECT_FALSE(DeleteField(dict, t, "F0"));
  EXPECT_EQ(
      ui.Last(),
      "VE1024 フィールドにはインデックスが作成されています。先にインデックスを削除してください。");
  EXPECT_FALSE(DeleteField(dict, t, "BY^F"));
  EXPECT_EQ(ui.Last(), "VE1055 Named Indexは変更できません。");
  ui.answers.push_back(false);
  EXPECT_FALSE(DeleteField(dict, t, "F6"));
  EXPECT_EQ(ui.Last(), "VE1010 フィールド [F6] を削除しますか？");
  EXPECT_TRUE(DeleteField(dict, t, "F6"));
  EXPECT_EQ(t.FindField("F6"), nullptr);
  EXPECT_TRUE(DeleteIndex(dict, t, 0));
  EXPECT_EQ(t.segment_count(), 0);
  EXPECT_EQ(t.named_index_count(), 0);

  // Capacities.
  DdfTable &wide = *AddTable(dict, "WIDE", "W");
  for (int i = 0; i < kMaxFields; ++i)
    ASSERT_TRUE(AddField(dict, wide, "W" + std::to_string(i), 1, 2, 0));
  EXPECT_FALSE(AddField(dict, wide, "ONE MORE", 1, 2, 0));
  EXPECT_EQ(ui.Last(), "VE1004 フィールドはこれ以上追加できません。");
  for (int i = 0; i < kMaxSegments; ++i)
    ASSERT_TRUE(AddIndex(dict, wide, {{"W" + std::to_string(i), 1}}));
  EXPECT_FALSE(AddIndex(dict, wide, {{"W0", 1}}));
  EXPECT_EQ(ui.Last(), "VE1012 インデックスはこれ以上設定できません。");
}

// Whatever an edit accepts, the saved dictionary gives back: nothing is cut, wrapped or read
// as another name or another data file.
TEST(Dictionary, WhatAnEditAcceptsALoadGivesBack) {
  RecordingUi ui;
  DdfDictionary dict(ui);
  dict.ddf_directory = NewDir("accepted");
  dict.options.data_conv_mode = false;
  const std::string invalid = "VE1003 データサイズまたは小数点以下桁数が不正です";
  // A blank ends a table name or location when the dictionary is read.
  EXPECT_EQ(AddTable(dict, "MY TABLE", "T"), nullptr);
  EXPECT_EQ(ui.Last(), "VE1001 DDF情報を正しく指定してください。");
  EXPECT_EQ(AddTable(dict, "T", "MY FILE.DAT"), nullptr);
  // Table names are 20 bytes: two that differ later are the same table.
  ASSERT_NE(AddTable(dict, "ABCDEFGHIJKLMNOPQRSTU1", "one"), nullptr);
  EXPECT_EQ(dict.tables[0]->name, "ABCDEFGHIJKLMNOPQRST");
  EXPECT_EQ(AddTable(dict, "ABCDEFGHIJKLMNOPQRSTU2", "two"), nullptr);
  EXPECT_EQ(ui.Last(), "VE1007 すでに同名のテーブルが定義されています。");
  DdfTable &t = *dict.tables[0];
  EXPECT_FALSE(SetTableInfo(dict, t, "T", "/DATA DIR/T.BTR"));
  EXPECT_EQ(ui.Last(), "VE1001 DDF情報を正しく指定してください。");
  // A table text ends the location at a line end.
  EXPECT_FALSE(SetTableInfo(dict, t, "T", "T\nX.BTR"));
  // A table text and the clipboard carry field names between commas.
  EXPECT_FALSE(AddField(dict, t, "A,B", B_TYPE_STRING, 10, 0));
  EXPECT_EQ(ui.Last(), "VE1002 フィールド名を指定してください");
  // A field of the named-index type would come back as an index name.
  EXPECT_FALSE(AddField(dict, t, "IDX", kNamedIndexType, 0, 0));
  EXPECT_EQ(ui.Last(), "VE1023 データ型が選択されていません");

  // Sizes and decimals are 16 and 8 bits wide in FIELD.DDF.
  EXPECT_FALSE(AddField(dict, t, "D", B_TYPE_DECIMAL, 65536, 0));
  EXPECT_EQ(ui.Last(), invalid);
  EXPECT_FALSE(AddField(dict, t, "L", B_TYPE_LVAR, 70000, 0));
  EXPECT_FALSE(AddField(dict, t, "D", B_TYPE_DECIMAL, 200, 256));
  EXPECT_FALSE(AddField(dict, t, "D", B_TYPE_DECIMAL, 4, -1));
  // Field and index names are 20 bytes, cut between characters; the cut name must be free.
  const std::string kanji = "\x93\xbe\x88\xd3\x90\xe6";  // three double-byte characters
  std::string long_name = "A";
  for (int i = 0; i < 4; ++i)
    long_name += kanji;  // 25 bytes
  ASSERT_TRUE(AddField(dict, t, long_name, B_TYPE_STRING, 10, 0));
  EXPECT_EQ(t.fields[0]->name, long_name.substr(0, 19));
  EXPECT_FALSE(AddField(dict, t, long_name + "X", B_TYPE_STRING, 10, 0));
  EXPECT_EQ(ui.Last(), "VE1006 すでに同名のフィールドが定義されています");
  ASSERT_TRUE(AddField(dict, t, "N", B_TYPE_DECIMAL, 65535 - 10, 3));
  // Offsets are 16 bits wide too: the record cannot grow past them.
  EXPECT_FALSE(AddField(dict, t, "ONE MORE", B_TYPE_INTEGER, 1, 0));
  EXPECT_EQ(ui.Last(), invalid);
  EXPECT_FALSE(ChangeField(dict, t, 0, t.fields[0]->name, B_TYPE_STRING, 11, 0));
  EXPECT_EQ(ui.Last(), invalid);
  ASSERT_TRUE(AddField(dict, t, "MEMO", B_TYPE_NOTE, 32000, 0));  // after the fixed part
  ASSERT_TRUE(AddIndex(dict, t, {{"N", 0}}));
  ASSERT_TRUE(AddIndex(dict, t, {{t.fields[0]->name, 0}}));
  ASSERT_TRUE(SetIndexName(dict, t, 0, "BY N AND SOMETHING ELSE"));
  EXPECT_EQ(t.named_indexes[0]->name, "BY^N^AND^SOMETHING^E");
  ASSERT_TRUE(SetIndexName(dict, t, 1, "BY MEMO "));  // stored padded with blanks
  EXPECT_EQ(t.named_indexes[1]->name, "BY^MEMO");

  ASSERT_EQ(dict.FullSave(), 0);
  DdfDictionary again(ui);
  again.ddf_directory = dict.ddf_directory;
  ASSERT_EQ(again.LoadDictionary(), 0);
  ASSERT_EQ(again.tables.size(), 1u);
  const DdfTable &back = *again.tables[0];
  EXPECT_EQ(back.name, t.name);
  EXPECT_EQ(back.location, "ONE.BTR");
  ASSERT_EQ(back.field_count(), 3);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(back.fields[i]->name, t.fields[i]->name);
    EXPECT_EQ(back.fields[i]->size, t.fields[i]->size);
    EXPECT_EQ(back.fields[i]->offset, t.fields[i]->offset);
    EXPECT_EQ(back.fields[i]->decimals, t.fields[i]->decimals);
  }
  EXPECT_EQ(back.fields[2]->offset, 65535);
  ASSERT_EQ(back.named_index_count(), 2);
  EXPECT_EQ(back.named_indexes[0]->name, t.named_indexes[0]->name);
  EXPECT_EQ(back.named_indexes[1]->name, t.named_indexes[1]->name);

  // Exported as text, the table imports as the same table.
  const std::string text = dict.ddf_directory + "/t.txt";
  ASSERT_TRUE(ExportTableText(dict, t, text));
  DdfDictionary other(ui);
  const DdfTable *copy = ImportTableText(other, text);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->name, t.name);
  ASSERT_EQ(copy->field_count(), 3);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(copy->fields[i]->name, t.fields[i]->name);
    EXPECT_EQ(copy->fields[i]->size, t.fields[i]->size);
  }
  ASSERT_EQ(copy->segment_count(), 2);
  EXPECT_EQ(copy->FieldById(copy->segments[1]->field_id)->name, t.fields[0]->name);
}

TEST(Dictionary, IdentifiersAndModifiedFlag) {
  RecordingUi ui;
  DdfDictionary dict(ui);
  for (int id : {4, 5, 7}) {
    auto t = std::make_unique<DdfTable>();
    t->file_id = id;
    dict.tables.push_back(std::move(t));
  }
  DdfTable *added = AddTable(dict, "NEW", "NEW");
  EXPECT_EQ(added->file_id, 6);
  EXPECT_EQ(dict.IsModified(), 1);
  EXPECT_EQ(added->modified, 1);
  EXPECT_EQ(dict.tables[0]->modified, 0);
  dict.SetModified(0);
  EXPECT_EQ(added->modified, 0);
  // Identifiers are the dictionary's own: each dictionary numbers from the start.
  EXPECT_EQ(dict.NewField()->field_id, 19);
  EXPECT_EQ(dict.NewField()->field_id, 20);
  EXPECT_EQ(dict.NewSegment()->serial, 1);
  DdfDictionary other(ui);
  EXPECT_EQ(other.NewField()->field_id, 19);
  // With every id taken in order, a new table counts the tables there are and itself.
  DdfDictionary full(ui);
  for (int id : {4, 5}) {
    auto t = std::make_unique<DdfTable>();
    t->file_id = id;
    full.tables.push_back(std::move(t));
  }
  EXPECT_EQ(full.FirstFreeFileId(), 6);
  EXPECT_EQ(BlanksToCarets("A B\x82\x20 C"), "A^B\x82\x20^C");  // the pair's second byte stays
  EXPECT_EQ(CaretsToBlanks("A^B"), "A B");
}

// Writes fail after a number of successful ones.
int g_writes_left = 0;
int FailingWriteField(DdfFieldRecord *r) {
  return g_writes_left-- > 0 ? DDFWriteField(r) : 2;
}

TEST(Dictionary, FailedSaveLeavesTheDictionaryOnDiskIntact) {
  RecordingUi ui;
  DdfDictionary dict(ui);
  dict.ddf_directory = LegacyDictionary("safe");
  ASSERT_EQ(dict.LoadDictionary(), 0);
  ASSERT_TRUE(AddField(dict, *dict.tables[0], "EXTRA", 0, 5, 0));
  dict.io.write_field = FailingWriteField;
  g_writes_left = 2;
  EXPECT_EQ(dict.FullSave(), -1);
  EXPECT_EQ(ui.Last(), "VE1019 DDFWriteField APIエラー[EXTRA](2)");
  EXPECT_EQ(dict.IsModified(), 1);
  // The files on disk still hold the whole former dictionary.
  RecordingUi ui2;
  DdfDictionary before(ui2);
  before.ddf_directory = dict.ddf_directory;
  ASSERT_EQ(before.LoadDictionary(), 0);
  ASSERT_EQ(before.tables.size(), 2u);
  EXPECT_EQ(before.tables[0]->field_count(), 2);
  EXPECT_EQ(before.tables[1]->field_count(), 3);
  EXPECT_EQ(before.tables[0]->file_id, 7);
  // No scratch directory is left behind.
  int entries = 0;
  for (const auto &e : std::filesystem::directory_iterator(dict.ddf_directory))
    entries += e.is_directory();
  EXPECT_EQ(entries, 0);
  // The save's records were written in one transaction: it is over, failed or not.
  auto no_transaction_left = [] {
    uint32_t length = 0;
    EXPECT_EQ(BTRCALL(B_BEGIN_TRAN, nullptr, nullptr, &length, nullptr, 0, 0), 0);
    EXPECT_EQ(BTRCALL(B_ABORT_TRAN, nullptr, nullptr, &length, nullptr, 0, 0), 0);
  };
  no_transaction_left();
  dict.io = DictioCalls();
  EXPECT_EQ(dict.FullSave(), 0);
  EXPECT_EQ(dict.IsModified(), 0);
  no_transaction_left();
  RecordingUi ui3;
  DdfDictionary after(ui3);
  after.ddf_directory = dict.ddf_directory;
  ASSERT_EQ(after.LoadDictionary(), 0);
  EXPECT_EQ(after.tables[0]->field_count(), 3);
}

TEST(Dictionary, MissingAndEmptyDictionaries) {
  RecordingUi ui;
  DdfDictionary dict(ui);
  dict.ddf_directory = NewDir("nothing");
  EXPECT_EQ(dict.LoadDictionary(), -1);
  EXPECT_EQ(ui.Last(), "VE1025 DDFﾌｧｲﾙが存在しません。");
  std::string empty = NewDir("empty");
  ASSERT_EQ(dictio::BuildDictionary(empty, {}), 0);
  dict.ddf_directory = empty;
  EXPECT_EQ(dict.LoadDictionary(), 0);
  EXPECT_TRUE(dict.tables.empty());
  EXPECT_EQ(dict.SaveDictionary(), -1);
  EXPECT_EQ(ui.Last(), "VE1021 テーブルが定義されていません");
}

TEST(Options, DefaultsReadWriteAndRefusals) {
  RecordingUi ui;
  EditorOptions o = LoadOptions();
  EXPECT_TRUE(o.upper_field);
  EXPECT_FALSE(o.renumber_ddf_at_read);
  EXPECT_EQ(o.fields_per_page, 40);
  EXPECT_EQ(o.form_version, 5);
  EXPECT_EQ(o.maxmize_at_open, 1);
  EXPECT_TRUE(SetOption(o, "upper_field", "no", ui));
  EXPECT_TRUE(SetOption(o, "form_version", "4", ui));
  EXPECT_FALSE(SetOption(o, "fields_per_page", "0", ui));
  EXPECT_EQ(ui.Last(), "VE1051 １ﾍﾟｰｼﾞに印字するﾌｨｰﾙﾄﾞ数が不正です。");
  EXPECT_FALSE(SetOption(o, "form_version", "3", ui));
  ASSERT_TRUE(SaveOptions(o, ui));
  std::ifstream in(std::string(getenv("ZELKO_CONFIG_DIR")) + "/zelko.ini");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("upper_field=No"), std::string::npos) << text;
  EXPECT_LT(text.find("upper_field"), text.find("ime_on_at_field"));
  EXPECT_LT(text.find("fields_per_page"), text.find("maxmize_at_open"));
  EditorOptions back = LoadOptions();
  EXPECT_FALSE(back.upper_field);
  EXPECT_EQ(back.form_version, 4);
  std::ofstream(std::string(getenv("ZELKO_CONFIG_DIR")) + "/zelko.ini")
      << "[dicteditp]\nfields_per_page=0\n";
  EXPECT_EQ(LoadOptions().fields_per_page, 40);
}

}  // namespace
}  // namespace dictedit

namespace dictedit {
namespace {

// The example dictionary saved by the editor reads back the same, record for record.
TEST(Dictionary, ExampleDictionaryRoundTrip) {
  std::string dir = NewDir("example");
  for (const char *n : {"FILE.DDF", "FIELD.DDF", "INDEX.DDF"}) {
    std::filesystem::copy_file(std::string(ZELKO_SOURCE_DIR) + "/examples/shop/" + n,
                               dir + "/" + n);
  }
  auto records = [](const std::string &d) {
    std::vector<std::string> out;
    EXPECT_EQ(DDFOpen(d.c_str(), 0), 0);
    DdfFileRecord f{};
    while (DDFReadFile(&f) == 0)
      out.push_back(std::string(reinterpret_cast<char *>(&f), sizeof f));
    DdfFieldRecord e{};
    while (DDFReadField(&e) == 0) {
      e.flags = 0;  // the editor keeps no field flags
      out.push_back(std::string(reinterpret_cast<char *>(&e), sizeof e));
    }
    DdfIndexRecord i{};
    while (DDFReadIndex(&i) == 0)
      out.push_back(std::string(reinterpret_cast<char *>(&i), sizeof i));
    DDFClose();
    return out;
  };
  // What a table says, without the identifiers the editor renumbers.
  auto content = [](const DdfDictionary &d) {
    std::ostringstream text;
    for (const auto &t : d.tables) {
      text << t->name << " " << t->location << "\n";
      for (const auto &f : t->fields) {
        text << f->name << " " << int(f->data_type) << " " << f->offset << " " << f->size << " "
             << int(f->decimals) << "\n";
      }
      for (const auto &sg : t->segments) {
        text << sg->key_number << " " << sg->part << " " << t->FieldById(sg->field_id)->name << " "
             << sg->flags << "\n";
      }
      for (const auto &n : t->named_indexes)
        text << n->name << " " << n->offset << "\n";
    }
    return text.str();
  };
  RecordingUi ui;
  DdfDictionary dict(ui);
  dict.ddf_directory = dir;
  ASSERT_EQ(dict.LoadDictionary(), 0);
  ASSERT_EQ(dict.tables.size(), 3u);
  std::string loaded = content(dict);
  dict.SetModified(1);
  ASSERT_EQ(dict.FullSave(), 0);
  EXPECT_TRUE(ui.messages.empty());
  std::vector<std::string> first = records(dir);
  DdfDictionary again(ui);
  again.ddf_directory = dir;
  ASSERT_EQ(again.LoadDictionary(), 0);
  EXPECT_EQ(content(again), loaded);
  again.SetModified(1);
  ASSERT_EQ(again.FullSave(), 0);
  EXPECT_EQ(records(dir), first);  // a second save writes the same records
}

// The batch front: edits chained with ";", saved once; a refused edit saves nothing.
TEST(Dictionary, BatchCommands) {
  std::string dir = zelko_testing::ScratchDir() + "/batch";
  std::ostringstream out, err;
  ASSERT_EQ(RunBatch({dir, "new"}, out, err), 0);
  ASSERT_EQ(
      RunBatch({dir, "add-table", "cust", "cust", ";", "add-field", "cust", "name", "String", "20",
                ";", "add-index", "cust", "name:3", ";", "set-index-name", "cust", "0", "by name"},
               out, err),
      0)
      << err.str();
  EXPECT_EQ(RunBatch({dir, "add-field", "cust", "bad", "Integer", "3"}, out, err), 1);
  EXPECT_NE(err.str().find("VE1003"), std::string::npos);
  // A number past an int was taken as what was left of it (4294967300 as a size of 4).
  EXPECT_EQ(RunBatch({dir, "add-field", "cust", "big", "String", "4294967300"}, out, err), 2);
  EXPECT_EQ(RunBatch({dir, "add-field", "cust", "big", "String", "x", "2"}, out, err), 2);
  // Names past 20 bytes and locations past 64 were cut to fit: a location cut short names
  // another file. They are refused.
  std::ostringstream long_names;
  EXPECT_EQ(
      RunBatch({dir, "add-field", "cust", "a_name_of_twenty_one1", "String", "2"}, out, long_names),
      1);
  EXPECT_EQ(
      RunBatch({dir, "add-table", "t", "/data/" + std::string(60, 'x') + ".btr"}, out, long_names),
      1);
  EXPECT_EQ(
      RunBatch({dir, "set-index-name", "cust", "0", "an_index_name_of_21_b"}, out, long_names), 1);
  EXPECT_EQ(long_names.str(),
            "dictedit: the name a_name_of_twenty_one1 is 21 bytes; the dictionary keeps 20\n"
            "dictedit: the location /data/" +
                std::string(60, 'x') +
                ".btr is 70 bytes; the dictionary keeps 64\n"
                "dictedit: the name an_index_name_of_21_b is 21 bytes; the dictionary keeps 20\n");
  // A blank inside a table's name or location is named, where the editor says only VE1001.
  std::ostringstream blanks;
  EXPECT_EQ(RunBatch({dir, "add-table", "t", "a b.btr"}, out, blanks), 1);
  EXPECT_EQ(RunBatch({dir, "add-table", "顧 客", "c.btr"}, out, blanks), 1);
  EXPECT_EQ(blanks.str(),
            "dictedit: the table location \"a b.btr\" holds a blank or a control character, "
            "which the dictionary cannot keep\n"
            "dictedit: the table name \"顧 客\" holds a blank or a control character, which the "
            "dictionary cannot keep\n");
  // What a command names and the table lacks is named back, not answered with the editor's
  // "no field selected".
  std::ostringstream missing;
  EXPECT_EQ(RunBatch({dir, "add-field", "cust", "t", "Strng", "2"}, out, missing), 1);
  EXPECT_EQ(RunBatch({dir, "add-index", "cust", "nosuch"}, out, missing), 1);
  EXPECT_EQ(RunBatch({dir, "delete-field", "cust", "nosuch"}, out, missing), 1);
  EXPECT_EQ(RunBatch({dir, "set-index-name", "cust", "1", "x"}, out, missing), 1);
  EXPECT_EQ(RunBatch({dir, "delete-index", "cust", "7"}, out, missing), 1);
  EXPECT_EQ(missing.str(),
            "dictedit: no type Strng (String, Integer, Float, Date, Time, Decimal, Money, "
            "Logical, Numeric, Bfloat, Lstring, Zstring, Note, LVar, \"Unsigned Binary\", \"Auto "
            "Increment\")\n"
            "dictedit: table CUST has no field NOSUCH\n"
            "dictedit: table CUST has no field NOSUCH\n"
            "dictedit: table CUST has no key 1\n"
            "dictedit: table CUST has no key 7\n");
  // A character the code page lacks was stored as "?" ("äpfel" as "?PFEL"); the run is
  // refused before anything is read.
  std::ostringstream outside;
  EXPECT_EQ(RunBatch({dir, "add-field", "cust", "äpfel", "String", "4"}, out, outside), 1);
  EXPECT_EQ(
      RunBatch({dir, "add-field", "cust", "x", "String", "4", "--before", "名前😀"}, out, outside),
      1);
  // A name takes the JIS forms the code page writes with its own codes ("〜" as "～", as the
  // editor's dialogs take it); a file named so would read back as another file, and is
  // refused wherever a command names one.
  std::ostringstream done;
  EXPECT_EQ(RunBatch({dir, "add-field", "cust", "波〜", "String", "4", ";", "export-table", "cust",
                      dir + "/cust.txt"},
                     out, done),
            0);
  EXPECT_EQ(RunBatch({dir, "add-table", "t〜", "t〜.btr"}, out, outside), 1);
  EXPECT_EQ(RunBatch({dir, "export-table", "cust", dir + "/〜.txt"}, out, outside), 1);
  EXPECT_EQ(RunBatch({dir, "delete-field", "cust", "x", ";", "print", "cust", "--pdf", "−.pdf"},
                     out, outside),
            1);
  EXPECT_EQ(outside.str(),
            "dictedit: äpfel has characters outside the code page\n"
            "dictedit: 名前😀 has characters outside the code page\n"
            "dictedit: t〜.btr has characters outside the code page\n"
            "dictedit: " +
                dir +
                "/〜.txt has characters outside the code page\n"
                "dictedit: −.pdf has characters outside the code page\n");
  std::ostringstream with_wave;
  EXPECT_EQ(RunBatch({dir, "list"}, with_wave, outside), 0);
  EXPECT_NE(with_wave.str().find(" 波～ String 4"), std::string::npos) << with_wave.str();
  EXPECT_EQ(RunBatch({dir, "delete-field", "cust", "波〜"}, out, outside), 0);
  // A named key is renamed by taking its name away first; the run says so instead of the
  // editor's "set it on the first segment".
  std::ostringstream renamed;
  EXPECT_EQ(RunBatch({dir, "set-index-name", "cust", "0", "byname"}, out, renamed), 1);
  EXPECT_EQ(RunBatch({dir, "delete-index-name", "cust", "0", ";", "delete-index-name", "cust", "0"},
                     out, renamed),
            1);
  EXPECT_EQ(renamed.str(),
            "dictedit: key 0 of table CUST is named BY^NAME already; delete-index-name CUST 0 "
            "takes the name away\n"
            "VE1063 ｲﾝﾃﾞｯｸｽ名[BY^NAME]を削除しますか？ [OK]\n"
            "dictedit: key 0 of table CUST has no name\n");
  ASSERT_EQ(RunBatch({dir, "delete-index-name", "cust", "0", ";", "set-index-name", "cust", "0",
                      "byname"},
                     out, err),
            0)
      << err.str();
  std::ostringstream listed;
  ASSERT_EQ(RunBatch({dir, "list"}, listed, err), 0);
  EXPECT_NE(listed.str().find("  name BYNAME key 0\n"), std::string::npos) << listed.str();
  EXPECT_EQ(listed.str().find("BY^NAME"), std::string::npos);
  ASSERT_EQ(RunBatch({dir, "delete-index-name", "cust", "0", ";", "set-index-name", "cust", "0",
                      "by name"},
                     out, err),
            0);
  EXPECT_EQ(RunBatch({dir, "add-table", "x", "x"}, out, err), 1);  // no key: VE1057, not saved
  std::ostringstream cancelled;
  EXPECT_EQ(RunBatch({dir, "add-field", "cust", "age", "Integer", "2", ";", "delete-field", "cust",
                      "age", "--cancel"},
                     out, cancelled),
            1);
  EXPECT_NE(cancelled.str().find("VE1010 フィールド [AGE] を削除しますか？ [Cancel]"),
            std::string::npos);
  std::ostringstream listing;
  ASSERT_EQ(RunBatch({dir, "list"}, listing, err), 0);
  EXPECT_EQ(listing.str(),
            "table 4 CUST CUST.BTR\n"
            "  field 19 NAME String 20 0 @0\n"
            "  segment key 0 part 0 NAME flags 259\n"
            "  name BY^NAME key 0\n");
  EXPECT_EQ(RunBatch({dir, "frobnicate"}, out, err), 2);
  // A table text written with LF alone is refused, and the run says why.
  std::ofstream(dir + "/lf.txt", std::ios::binary) << "[TableName]\nT\n[TableLocation]\nT\n";
  std::ostringstream unix_lines;
  EXPECT_EQ(RunBatch({dir, "import-table", dir + "/lf.txt"}, out, unix_lines), 1);
  EXPECT_NE(unix_lines.str().find("lf.txt is no table text: it begins with the lines [TableName]"),
            std::string::npos)
      << unix_lines.str();
  // --before names the field the new one goes before, or gives its number from 0; a field
  // the table lacks refuses the edit rather than putting the new one first.
  std::ostringstream before, placed;
  EXPECT_EQ(
      RunBatch({dir, "add-field", "cust", "a", "Integer", "2", "--before", "nosuch"}, out, before),
      1);
  EXPECT_EQ(RunBatch({dir, "add-field", "cust", "a", "Integer", "2", "--before", "1"}, out, before),
            1);
  EXPECT_NE(before.str().find("--before 1: table CUST has no such field"), std::string::npos)
      << before.str();
  ASSERT_EQ(RunBatch({dir, "add-field", "cust", "a", "Integer", "2", "--before", "name", ";",
                      "add-field", "cust", "b", "Integer", "2", "--before", "0", ";", "list"},
                     placed, err),
            0)
      << err.str();
  EXPECT_NE(placed.str().find(" B Integer 2 0 @0\n  field 21 A Integer 2 0 @2\n  field 19 NAME"),
            std::string::npos)
      << placed.str();
  ASSERT_EQ(
      RunBatch({dir, "delete-field", "cust", "a", ";", "delete-field", "cust", "b"}, out, err), 0);
  // A command whose message says it failed ends the run with 1.
  std::ostringstream failed;
  EXPECT_EQ(RunBatch({dir, "export-table", "cust", dir + "/no/such/dir/x.txt"}, out, failed), 1);
  EXPECT_NE(failed.str().find("VE1032"), std::string::npos);
  EXPECT_EQ(RunBatch({dir, "export-table", "cust", dir + "/ok.txt"}, out, err), 0);
  // "new" never empties an existing dictionary; chained, it starts one in a new directory.
  std::ostringstream refused;
  EXPECT_EQ(RunBatch({dir, "new"}, out, refused), 1);
  EXPECT_NE(refused.str().find("already holds a dictionary"), std::string::npos);
  std::ostringstream kept;
  ASSERT_EQ(RunBatch({dir, "list"}, kept, err), 0);
  EXPECT_EQ(kept.str(), listing.str());
  std::string fresh = zelko_testing::ScratchDir() + "/batch_new/deeper";
  ASSERT_EQ(RunBatch({fresh, "new", ";", "add-table", "item", "item", ";", "add-field", "item",
                      "code", "Integer", "4", ";", "add-index", "item", "code"},
                     out, err),
            0)
      << err.str();
  std::ostringstream fresh_listing;
  ASSERT_EQ(RunBatch({fresh, "list"}, fresh_listing, err), 0);
  EXPECT_EQ(fresh_listing.str().substr(0, 20), "table 4 ITEM ITEM.BT");
  EXPECT_EQ(RunBatch({fresh + "2", "new", "list"}, out, err), 2);
  std::ostringstream help;
  EXPECT_EQ(RunBatch({"--help"}, help, err), 0);
  EXPECT_NE(help.str().find("Commands separated by \";\""), std::string::npos);

  EXPECT_EQ(RunBatch({dir, "set-option", "form_version", "4"}, out, err), 0);
  std::ostringstream options;
  ASSERT_EQ(RunBatch({dir, "options"}, options, err), 0);
  EXPECT_NE(options.str().find("form_version=4\n"), std::string::npos);
  std::ostringstream unknown;
  EXPECT_EQ(RunBatch({dir, "set-option", "form_versoin", "4"}, out, unknown), 1);
  EXPECT_NE(unknown.str().find("there is no option form_versoin"), std::string::npos)
      << unknown.str();
  std::ostringstream wrong_value;
  EXPECT_EQ(RunBatch({dir, "set-option", "form_version", "3"}, out, wrong_value), 1);
  EXPECT_NE(wrong_value.str().find("option form_version does not take 3"), std::string::npos);
  // 4294967297 was kept as 1.
  EXPECT_EQ(RunBatch({dir, "set-option", "fields_per_page", "4294967297"}, out, wrong_value), 1);
}

// A disk that fills while "new" writes leaves no part of a dictionary behind (one that no
// program could read and that a second "new" would refuse).
TEST(Dictionary, ANewDictionaryThatCannotBeWrittenLeavesNothing) {
  const std::string dir = NewDir("new_on_full_disk");
  pid_t child = fork();
  if (child == 0) {
    LimitFileSizes(64 * 1024);
    std::ostringstream out, err;
    _exit(RunBatch({dir, "new"}, out, err));
  }
  int wait_status = 0;
  ASSERT_EQ(waitpid(child, &wait_status, 0), child);
  ASSERT_TRUE(WIFEXITED(wait_status));
  EXPECT_EQ(WEXITSTATUS(wait_status), 1);
  std::vector<std::string> left;
  for (const auto &e : std::filesystem::directory_iterator(dir))
    left.push_back(e.path().filename().string());
  EXPECT_TRUE(left.empty()) << left.front();
  std::ostringstream out, err;
  ASSERT_EQ(RunBatch({dir, "new"}, out, err), 0) << err.str();
  std::ostringstream listing;
  EXPECT_EQ(RunBatch({dir, "list"}, listing, err), 0) << err.str();
}

// Two editors on one dictionary: the later save asks before it writes over the earlier one.
TEST(Dictionary, ASaveAsksBeforeWritingOverAnotherProgramsSave) {
  std::string dir = LegacyDictionary("two_editors");
  RecordingUi ui;
  DdfDictionary first(ui), second(ui);
  first.ddf_directory = second.ddf_directory = dir;
  ASSERT_EQ(first.LoadDictionary(), 0);
  ASSERT_EQ(second.LoadDictionary(), 0);
  auto add_field = [](DdfDictionary &d, const char *name) {
    auto f = d.NewField();
    f->name = name;
    f->file_id = d.tables[0]->file_id;
    f->data_type = 1;
    f->size = 4;
    d.tables[0]->fields.push_back(std::move(f));
    d.SetModified(1);
    return d.FullSave();
  };
  auto field_names = [&]() {
    RecordingUi quiet;
    DdfDictionary d(quiet);
    d.ddf_directory = dir;
    EXPECT_EQ(d.LoadDictionary(), 0);
    std::string names;
    for (auto &f : d.tables[0]->fields)
      names += f->name + " ";
    return names;
  };
  ASSERT_EQ(add_field(second, "B"), 0);
  EXPECT_TRUE(ui.messages.empty());
  // Cancel keeps the other save and this dictionary's edits (still to be saved).
  ui.answers = {false};
  EXPECT_EQ(add_field(first, "A"), -1);
  EXPECT_EQ(ui.Last(), msg::kVE1081);
  EXPECT_EQ(field_names(), "CODE PRICE B ");
  EXPECT_EQ(first.IsModified(), 1);
  // OK writes over it; a later save of what this editor itself saved asks nothing.
  ui.answers = {true};
  ASSERT_EQ(first.FullSave(), 0);
  EXPECT_EQ(field_names(), "CODE PRICE A ");
  ui.messages.clear();
  ASSERT_EQ(add_field(first, "C"), 0);
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(field_names(), "CODE PRICE A C ");
}

// A new dictionary begun where there was none: a dictionary another program has made there
// since is not replaced unasked.
TEST(Dictionary, ANewDictionarysFirstSaveAsksBeforeReplacingOneMadeMeanwhile) {
  RecordingUi ui;
  DdfDictionary fresh(ui);
  fresh.ddf_directory = LegacyDictionary("template");
  ASSERT_EQ(fresh.LoadDictionary(), 0);
  auto tables = std::move(fresh.tables);  // as if entered into a new dictionary
  fresh.ClearDictionary();
  fresh.tables = std::move(tables);
  fresh.ddf_directory = zelko_testing::ScratchDir() + "/made_meanwhile";
  fresh.SetModified(1);
  std::ostringstream out, err;
  ASSERT_EQ(RunBatch({fresh.ddf_directory, "new", ";", "add-table", "other", "other.btr", ";",
                      "add-field", "other", "k", "Integer", "4", ";", "add-index", "other", "k"},
                     out, err),
            0)
      << err.str();
  auto table_names = [&]() {
    std::ostringstream listing;
    EXPECT_EQ(RunBatch({fresh.ddf_directory, "list"}, listing, err), 0);
    return listing.str().substr(0, listing.str().find('\n'));
  };
  ui.answers = {false};
  EXPECT_EQ(fresh.FullSave(), -1);
  EXPECT_EQ(ui.Last(), msg::kVE1081);
  EXPECT_NE(table_names().find("OTHER"), std::string::npos);
  ui.answers = {true};
  ASSERT_EQ(fresh.FullSave(), 0);
  EXPECT_EQ(table_names().find("OTHER"), std::string::npos);
}

namespace {

// Sets or clears the file system's immutable flag (no rename, link or write, even for
// root); false where the file system or the process's rights do not allow it.
bool SetImmutable(const std::string &path, bool on) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  int flags = 0;
  bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
  flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
  done = done && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
  ::close(fd);
  return done;
}

// A new dictionary in `dir` with table A: key field K.
int MakeOneTableDictionary(const std::string &dir, std::ostream &err) {
  std::ostringstream out;
  return RunBatch({dir, "new", ";", "add-table", "a", "a", ";", "add-field", "a", "k", "Integer",
                   "4", ";", "add-index", "a", "k"},
                  out, err);
}

std::string FileBytes(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

// A save whose second file cannot take its place leaves the whole old dictionary: never a new
// FILE.DDF beside an old FIELD.DDF.
TEST(Dictionary, ASaveReplacesAllThreeFilesOrNone) {
  std::string dir = zelko_testing::ScratchDir() + "/all_or_none";
  std::ostringstream out, err;
  ASSERT_EQ(MakeOneTableDictionary(dir, err), 0) << err.str();
  const std::string file_ddf = FileBytes(dir + "/FILE.DDF");
  if (!SetImmutable(dir + "/FIELD.DDF", true)) GTEST_SKIP() << "no immutable flag here";
  const std::vector<std::string> edit = {dir, "add-table", "b", "b", ";",         "add-field", "b",
                                         "x", "Integer",   "4", ";", "add-index", "b",         "x"};
  int failed = RunBatch(edit, out, err);
  SetImmutable(dir + "/FIELD.DDF", false);
  EXPECT_NE(failed, 0);
  // The refusal as a status: 46, access denied (not the system's error number).
  EXPECT_NE(err.str().find("VE1017 DDFOpen APIエラー(46)"), std::string::npos) << err.str();
  EXPECT_EQ(FileBytes(dir + "/FILE.DDF"), file_ddf);
  for (const auto &entry : std::filesystem::directory_iterator(dir))
    EXPECT_NE(entry.path().filename().string().rfind(".dictedit-save", 0), 0u) << entry.path();
  // The same edit goes through once the file can be replaced.
  std::ostringstream listing;
  ASSERT_EQ(RunBatch(edit, out, err), 0) << err.str();
  ASSERT_EQ(RunBatch({dir, "list"}, listing, err), 0);
  EXPECT_NE(listing.str().find("B "), std::string::npos) << listing.str();
}

// Batch runs of several processes on one dictionary at once: each run's edit is kept.
TEST(Dictionary, ConcurrentBatchRunsKeepEveryEdit) {
  std::string dir = zelko_testing::ScratchDir() + "/concurrent";
  std::ostringstream out, err;
  ASSERT_EQ(MakeOneTableDictionary(dir, err), 0) << err.str();
  const int kRuns = 4, kEditsEach = 3;
  std::string script;
  for (int r = 0; r < kRuns; ++r) {
    script += "(for i in";
    for (int i = 0; i < kEditsEach; ++i)
      script += " " + std::to_string(i);
    script += "; do " + std::string(DICTEDIT_PATH) + " --batch " + dir + " add-field a f" +
              std::to_string(r) + "_$i Integer 4 >/dev/null 2>&1 || echo failed; done) & ";
  }
  script += "wait";
  int status = 0;
  std::string failures = zelko_testing::RunShell(script, &status);
  EXPECT_EQ(failures, "");
  std::ostringstream listing;
  ASSERT_EQ(RunBatch({dir, "list"}, listing, err), 0);
  std::string text = listing.str();
  int fields = 0;
  for (size_t at = text.find("  field "); at != std::string::npos;
       at = text.find("  field ", at + 1))
    ++fields;
  EXPECT_EQ(fields, 1 + kRuns * kEditsEach) << text;
}

// A directory with a Japanese name: the path is converted once, the files land in it.
TEST(Dictionary, BatchInAJapaneseDirectory) {
  std::string parent = zelko_testing::ScratchDir() + "/jp";
  std::filesystem::create_directories(parent);
  std::string dir = parent + "/顧客辞書";
  std::ostringstream out, err;
  ASSERT_EQ(RunBatch({dir, "new"}, out, err), 0) << err.str();
  // The second segment gives only its order: it takes the key's flags from the first, or
  // the record manager would refuse the key. The list numbers it as the save will.
  ASSERT_EQ(
      RunBatch({dir,       "add-table", "cust", "cust.btr",    ";",         "add-field", "cust",
                "name",    "String",    "20",   ";",           "add-field", "cust",      "rank",
                "Integer", "2",         ";",    "add-index",   "cust",      "name:11",   "rank:64",
                ";",       "list",      ";",    "create-files"},
               out, err),
      0)
      << err.str();
  EXPECT_NE(out.str().find("segment key 0 part 1 RANK flags 331"), std::string::npos) << out.str();
  ASSERT_EQ(RunBatch({dir, "export-table", "cust", dir + "/表.txt", ";", "field-id-list",
                      dir + "/定数.bas"},
                     out, err),
            0)
      << err.str();
  std::vector<std::string> inside;
  for (const auto &e : std::filesystem::directory_iterator(dir))
    inside.push_back(e.path().filename().string());
  std::sort(inside.begin(), inside.end());
  EXPECT_EQ(inside, (std::vector<std::string>{"CUST.BTR", "FIELD.DDF", "FILE.DDF", "INDEX.DDF",
                                              "定数.bas", "表.txt"}));
  std::vector<std::string> beside;
  for (const auto &e : std::filesystem::directory_iterator(parent))
    beside.push_back(e.path().filename().string());
  EXPECT_EQ(beside, std::vector<std::string>{"顧客辞書"});
}

}  // namespace
}  // namespace dictedit

namespace dictedit {
namespace {

TEST(Dictionary, SavePromptBeforeClosing) {
  RecordingUi ui;
  DdfDictionary dict(ui);
  dict.ddf_directory = LegacyDictionary("prompt");
  ASSERT_EQ(dict.LoadDictionary(), 0);
  EXPECT_TRUE(dict.OfferSave(true));  // nothing changed: no question
  EXPECT_TRUE(ui.messages.empty());
  ASSERT_TRUE(AddField(dict, *dict.tables[0], "MORE", 0, 2, 0));
  ui.answers = {false, false};
  EXPECT_TRUE(dict.OfferSave(false));  // Exit: leave without saving
  EXPECT_EQ(ui.Last(), "VE1045 DDFファイルを保存しますか？");
  EXPECT_FALSE(dict.OfferSave(true));  // Close All: abandoned
  dict.tables[0]->segments.clear();    // a save that cannot succeed keeps the window open
  EXPECT_FALSE(dict.OfferSave(false));
  EXPECT_EQ(dict.IsModified(), 1);
}

}  // namespace
}  // namespace dictedit
