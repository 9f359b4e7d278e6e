#include "engine/table_catalog.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "btrieve/btrapi.h"
#include "dictio/dictio.h"
#include "engine/module.h"
#include "engine_test_util.h"
#include "zelko_test_env.h"
#include "zplatform/profile.h"

namespace zelko {
namespace {

using namespace enginetest;

// Two tables with ID 4 and 6; table 5 is missing so that its orphans are dropped.
std::vector<TableDef> ShopTables() {
  return {
      {4,
       "CUSTOMER",
       "cust",
       {{"CODE", 1, 4}, {"NAME", 0, 30}, {"CITY", 0, 20}},
       {{"CODE", 0, 0, 0}, {"NAME", 1, 0, 16 | 1}, {"CITY", 1, 1, 1}},
       {{"ByName", 1}, {"Beyond", 9}}},
      {6,
       "ORDERS",
       "d:\\data\\orders.dat",
       {{"NO", 15, 4}, {"CUST", 1, 4}, {"AMOUNT", 5, 6, 2}},
       {{"NO", 0, 0, 0x20}, {"CUST", 1, 0, 1}},
       {}},
  };
}

class Catalog : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = NewDir("dict");
    ASSERT_EQ(WriteDictionary(dir_, ShopTables()), 0);
  }
  std::string dir_;
  RecordMessages messages_;
};

TEST_F(Catalog, FullLoadFollowsTheReaderRules) {
  // Records every reader must drop: a user field named with "$" third, a field and a
  // segment of a table that does not exist.
  ASSERT_EQ(DDFOpen(dir_.c_str(), 0), 0);
  ASSERT_EQ(DDFClose(), 0);
  {
    // Append records directly (dictio writes append).
    uint8_t pb[128] = {};
    std::string path = dir_ + "/FIELD.DDF";
    uint32_t len = 0;
    ASSERT_EQ(BTRCALL(0, pb, nullptr, &len, path.data(), 0, 0), 0);
    DdfFieldRecord r;
    std::memset(&r, ' ', sizeof r);
    r.id = 90, r.file_id = 4, r.data_type = 0, r.offset = 54, r.size = 3, r.decimals = 0,
    r.flags = 0;
    std::memcpy(r.name, "AB$C", 4);
    len = sizeof r;
    uint8_t key[64];
    ASSERT_EQ(BTRCALL(2, pb, &r, &len, key, 64, 0), 0);
    r.id = 91, r.file_id = 5;
    std::memcpy(r.name, "ORPHAN", 6);
    len = sizeof r;
    ASSERT_EQ(BTRCALL(2, pb, &r, &len, key, 64, 0), 0);
    len = 0;
    BTRCALL(1, pb, nullptr, &len, nullptr, 0, 0);
  }
  std::unique_ptr<TableCatalog> c;
  ASSERT_EQ(LoadCatalog(dir_, false, &c), 0);
  EXPECT_TRUE(messages_.Texts().empty());
  ASSERT_EQ(c->TableCount(), 2);
  const TableDescriptor &cust = c->tables[0];
  EXPECT_EQ(cust.name, "CUSTOMER");
  EXPECT_EQ(cust.location, "cust");
  EXPECT_EQ(cust.table_id, 4);
  ASSERT_EQ(cust.FieldCount(), 3);
  EXPECT_EQ(cust.fields[1].name, "NAME");
  EXPECT_EQ(cust.fields[1].offset, 4);
  EXPECT_EQ(cust.record_length, 54);  // named indexes do not count
  ASSERT_EQ(cust.named_indexes.size(), 2u);
  ASSERT_EQ(cust.SegmentCount(), 3);
  EXPECT_EQ(cust.segments[1].offset, 4);
  EXPECT_EQ(cust.segments[1].length, 30);
  EXPECT_EQ(cust.segments[1].data_type, 0);
  const TableDescriptor &orders = c->tables[1];
  EXPECT_EQ(orders.segments[0].key_flags, 0);  // flag 32 is cleared
  EXPECT_EQ(orders.fields[2].decimals, 2);
  EXPECT_FALSE(cust.open);
}

TEST_F(Catalog, IndexesByNameAndPosition) {
  std::unique_ptr<TableCatalog> c;
  ASSERT_EQ(LoadCatalog(dir_, false, &c), 0);
  const TableDescriptor &t = c->tables[0];
  EXPECT_EQ(FindIndexByName(t, "ByName"), 1);  // key 1 starts at position 1
  EXPECT_EQ(FindIndexByName(t, "Beyond"), 0);  // a key number the table does not have
  EXPECT_EQ(FindIndexByName(t, "CODE"), 0);
  EXPECT_EQ(FindIndexByName(t, "NAME"), 1);
  EXPECT_EQ(FindIndexByName(t, "CITY"), -1);  // not the first segment of a key
  EXPECT_EQ(FindIndexByName(t, "code"), -1);  // exact, with case
  EXPECT_EQ(FindIndexByName(t, ""), -1);
  EXPECT_EQ(KeyNumberOfPosition(t, 0), 0);
  EXPECT_EQ(KeyNumberOfPosition(t, 1), 1);
  EXPECT_EQ(KeyNumberOfPosition(t, 2), 1);
  EXPECT_EQ(PositionOfKeyNumber(t, 1), 1);
  EXPECT_EQ(PositionOfKeyNumber(t, 7), 0);
  EXPECT_EQ(FindTableByName(*c, "ORDERS"), 1);
  EXPECT_EQ(FindTableByName(*c, "orders"), -1);
  EXPECT_EQ(FindFieldByName(t, "CITY"), 2);
  EXPECT_EQ(FindFieldByName(t, "NONE"), -1);

  TableDescriptor open = t;
  open.record_buffer.assign(open.record_length + 1, 0);
  std::memcpy(open.record_buffer.data() + 4, "SMITH", 5);
  std::memcpy(open.record_buffer.data() + 34, "TOKYO", 5);
  KeyValue k;
  ASSERT_TRUE(BuildKeyValue(open, 1, &k));
  EXPECT_EQ(k.length, 50);
  EXPECT_EQ(k.key_number, 1);
  ASSERT_EQ(k.bytes.size(), 51u);
  EXPECT_EQ(std::string(k.bytes.begin(), k.bytes.begin() + 5), "SMITH");
  EXPECT_EQ(std::string(k.bytes.begin() + 30, k.bytes.begin() + 35), "TOKYO");
  EXPECT_EQ(k.bytes.back(), 0);
  ASSERT_TRUE(BuildKeyValue(open, -1, &k));
  EXPECT_EQ(k.length, 0);
  EXPECT_EQ(k.key_number, -1);
  EXPECT_EQ(k.bytes.size(), 1u);
  EXPECT_TRUE(messages_.Texts().empty());
  EXPECT_FALSE(BuildKeyValue(open, 3, &k));
  ASSERT_EQ(messages_.Texts().size(), 1u);
  EXPECT_EQ(messages_.Texts()[0], "VE804 インデックスの指定が不正です。");
}

TEST_F(Catalog, DataFilePaths) {
  std::unique_ptr<TableCatalog> c;
  ASSERT_EQ(LoadCatalog(dir_, false, &c), 0);
  std::string canonical = std::filesystem::canonical(dir_).string();
  TableDescriptor t = c->tables[0];
  EXPECT_EQ(ResolveDataFilePath(t, dir_), canonical + "/cust.btr");
  t.location = "cust.dat";
  EXPECT_EQ(ResolveDataFilePath(t, dir_ + "/"), canonical + "/cust.dat");
  EXPECT_EQ(ResolveDataFilePath(c->tables[1], dir_), "d:\\data\\orders.dat");
  t.location = "\\\\server\\share\\cust";
  EXPECT_EQ(ResolveDataFilePath(t, dir_), "\\\\server\\share\\cust");
  t.location = "/srv/data/cust";
  EXPECT_EQ(ResolveDataFilePath(t, dir_), "/srv/data/cust");
}

TEST_F(Catalog, LazyLoadingResolvesOnFirstUse) {
  std::unique_ptr<TableCatalog> c;
  ASSERT_EQ(LoadCatalog(dir_, true, &c), 0);
  ASSERT_EQ(c->TableCount(), 2);
  EXPECT_TRUE(c->tables[0].fields.empty());
  ASSERT_EQ(ResolveTable(*c, c->tables[1]), 0);
  EXPECT_EQ(c->tables[1].FieldCount(), 3);
  EXPECT_EQ(c->tables[1].SegmentCount(), 2);
  EXPECT_EQ(c->tables[1].record_length, 14);
  ASSERT_EQ(ResolveTable(*c, c->tables[0]), 0);
  EXPECT_EQ(c->tables[0].SegmentCount(), 3);
  EXPECT_TRUE(c->tables[0].named_indexes.empty());  // never loaded in this mode
  EXPECT_EQ(FindIndexByName(c->tables[0], "ByName"), -1);
  EXPECT_EQ(FindIndexByName(c->tables[0], "NAME"), 1);

  // The setting chooses the mode; two lazy dictionaries resolve from their own directories.
  ASSERT_TRUE(
      zplatform::WritePrivateProfileString("zelko300", "delayed_resolve", "1", "zelko.ini"));
  Module::Reset();
  std::string other = NewDir("other");
  ASSERT_EQ(WriteDictionary(other, {{6, "ORDERS", "o", {{"X", 0, 7}}, {}, {}}}), 0);
  std::unique_ptr<TableCatalog> a, b;
  ASSERT_EQ(LoadCatalog(dir_, &a), 0);
  ASSERT_EQ(LoadCatalog(other, &b), 0);
  ASSERT_EQ(ResolveTable(*a, a->tables[1]), 0);
  EXPECT_EQ(a->tables[1].FieldCount(), 3);
  ASSERT_EQ(ResolveTable(*b, b->tables[0]), 0);
  EXPECT_EQ(b->tables[0].FieldCount(), 1);
  EXPECT_TRUE(messages_.Texts().empty());
}

TEST_F(Catalog, CopiesHaveTheirOwnListsAndStartClosed) {
  std::unique_ptr<TableCatalog> c;
  ASSERT_EQ(LoadCatalog(dir_, false, &c), 0);
  c->tables[0].open = true;
  c->tables[0].record_buffer.assign(55, 1);
  c->tables[0].position_block[0] = 9;
  auto copy = CopyCatalog(*c);
  ASSERT_TRUE(copy);
  EXPECT_FALSE(copy->tables[0].open);
  EXPECT_TRUE(copy->tables[0].record_buffer.empty());
  EXPECT_EQ(copy->tables[0].position_block[0], 0);
  copy->tables[0].fields.pop_back();
  EXPECT_EQ(c->tables[0].FieldCount(), 3);
  EXPECT_EQ(copy->directory, c->directory);
}

TEST(CatalogFailures, NotDictionariesGiveTheirMessages) {
  RecordMessages messages;
  std::unique_ptr<TableCatalog> c;
  // An empty directory.
  EXPECT_EQ(LoadCatalog(NewDir("empty"), false, &c), -1);
  ASSERT_EQ(messages.Texts().size(), 1u);
  EXPECT_EQ(messages.Texts()[0], "VE028 DDFOpen APIエラー(12)");
  // No INDEX.DDF: VE031 with status 3.
  std::string noindex = NewDir("noindex");
  ASSERT_EQ(WriteDictionary(noindex, ShopTables()), 0);
  std::filesystem::remove(noindex + "/INDEX.DDF");
  messages.Recorder().Clear();
  EXPECT_EQ(LoadCatalog(noindex, false, &c), -1);
  ASSERT_EQ(messages.Texts().size(), 1u);
  EXPECT_EQ(messages.Texts()[0], "VE031 DDF読み込みエラー(3)");
  // A truncated FILE.DDF: the record manager reports the damage (I/O error).
  std::string truncated = NewDir("truncated");
  ASSERT_EQ(WriteDictionary(truncated, ShopTables()), 0);
  std::filesystem::resize_file(truncated + "/FILE.DDF", 100);
  messages.Recorder().Clear();
  EXPECT_EQ(LoadCatalog(truncated, false, &c), -1);
  ASSERT_EQ(messages.Texts().size(), 1u);
  EXPECT_EQ(messages.Texts()[0], "VE028 DDFOpen APIエラー(2)");
  // A file that is not a Btrieve file at all.
  std::string text = NewDir("text");
  ASSERT_EQ(WriteDictionary(text, ShopTables()), 0);
  zelko_testing::WriteFile(text + "/FILE.DDF", std::string(5000, 'x'));
  messages.Recorder().Clear();
  EXPECT_EQ(LoadCatalog(text, false, &c), -1);
  ASSERT_EQ(messages.Texts().size(), 1u);
  EXPECT_EQ(messages.Texts()[0], "VE028 DDFOpen APIエラー(30)");
  // A foreign Btrieve file in place of FIELD.DDF: its records do not fit the buffer.
  std::string foreign = NewDir("foreign");
  ASSERT_EQ(WriteDictionary(foreign, ShopTables()), 0);
  {
    // 64-byte records keyed by a 2-byte number, one of them past the system fields.
    std::string path = foreign + "/FIELD.DDF";
    std::filesystem::remove(path);
    uint8_t spec[16 + 16] = {};
    spec[0] = 64, spec[3] = 2, spec[4] = 1;
    spec[16] = 1, spec[18] = 2, spec[20] = 0x04, spec[21] = 0x01, spec[26] = 14;
    uint8_t pb[128] = {};
    uint32_t len = sizeof spec;
    ASSERT_EQ(BTRCALL(14, pb, spec, &len, path.data(), 0, 0), 0);
    len = 0;
    ASSERT_EQ(BTRCALL(0, pb, nullptr, &len, path.data(), 0, 0), 0);
    uint8_t rec[64] = {20, 0};
    uint8_t key[2];
    len = sizeof rec;
    ASSERT_EQ(BTRCALL(2, pb, rec, &len, key, 2, 0), 0);
    BTRCALL(1, pb, nullptr, &len, nullptr, 0, 0);
  }
  messages.Recorder().Clear();
  EXPECT_EQ(LoadCatalog(foreign, false, &c), -1);
  ASSERT_EQ(messages.Texts().size(), 1u);
  EXPECT_EQ(messages.Texts()[0], "VE030 DDF読み込みエラー");
}

TEST(CatalogSample, TheShopDictionary) {
  RecordMessages messages;
  std::string dir = NewDir("shop");
  for (const char *f : {"FILE.DDF", "FIELD.DDF", "INDEX.DDF"}) {
    std::filesystem::copy_file(std::string(ZELKO_SOURCE_DIR) + "/examples/shop/" + f,
                               dir + "/" + f);
  }
  std::unique_ptr<TableCatalog> c;
  ASSERT_EQ(LoadCatalog(dir, false, &c), 0);
  ASSERT_EQ(c->TableCount(), 3);
  const TableDescriptor &orders = c->tables[FindTableByName(*c, "ORDERS")];
  EXPECT_EQ(orders.SegmentCount(), 3);
  EXPECT_EQ(FindIndexByName(orders, "ByCustomer"), 1);
  KeyValue k;
  TableDescriptor open = orders;
  open.record_buffer.assign(open.record_length + 1, 0);
  ASSERT_TRUE(BuildKeyValue(open, 1, &k));
  EXPECT_EQ(k.length, 8);  // customer number and order date
  EXPECT_EQ(c->tables[0].record_length, 76);
}

TEST(CatalogCapacity, AnyNumberOfTables) {
  RecordMessages messages;
  std::vector<TableDef> many;
  for (int i = 0; i < 300; ++i)
    many.push_back({4 + i, "T" + std::to_string(i), "t", {{"F", 0, 2}}, {}, {}});
  std::string dir = NewDir("many");
  ASSERT_EQ(WriteDictionary(dir, many), 0);
  std::unique_ptr<TableCatalog> c;
  ASSERT_EQ(LoadCatalog(dir, false, &c), 0);
  ASSERT_EQ(c->TableCount(), 300);
  EXPECT_EQ(c->tables[299].name, "T299");
  EXPECT_EQ(c->tables[299].FieldCount(), 1);
}

}  // namespace
}  // namespace zelko
