#include "engine/table_access.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "btrieve/btrapi.h"
#include "engine/field_conversion.h"
#include "engine/module.h"
#include "engine_test_util.h"
#include "zelko_test_env.h"
#include "zplatform/profile.h"

namespace zelko {
namespace {

using namespace enginetest;

// PEOPLE: ID AutoInc 4 (key 0), NAME String 10 (key 1, duplicates, modifiable), AGE
// Integer 2, PAY Decimal 4.2, CODE Numeric 5; NOTES: ID Integer 4 (key 0), TEXT Note 100.
std::vector<TableDef> Tables() {
  return {{4,
           "PEOPLE",
           "people",
           {{"ID", kAutoInc, 4},
            {"NAME", kString, 10},
            {"AGE", kInteger, 2},
            {"PAY", kDecimal, 4, 2},
            {"CODE", kNumeric, 5}},
           {{"ID", 0, 0, 0x100}, {"NAME", 1, 0, 0x103}},
           {{"ByName", 1}}},
          {5,
           "NOTES",
           "notes.dat",
           {{"ID", kInteger, 4}, {"TEXT", kNote, 100}},
           {{"ID", 0, 0, 0x100}},
           {}}};
}

class Access : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = NewDir("dict");
    ASSERT_EQ(WriteDictionary(dir_, Tables()), 0);
    ASSERT_EQ(LoadCatalog(dir_, false, &catalog_), 0);
    people_ = &catalog_->tables[0];
    notes_ = &catalog_->tables[1];
    ASSERT_EQ(EngineCreate(*catalog_, *people_, ResolveDataFilePath(*people_, dir_)), 0);
    ASSERT_EQ(EngineOpen(*catalog_, *people_, dir_, "", 0), 0);
  }
  void TearDown() override {
    CloseAllTables(*catalog_);
    DbSetLockBias(0);
  }
  int16_t Add(const char *name, int age) {
    ClearRecordBuffer(*people_);
    WriteFieldByName(*people_, "NAME", name);
    WriteFieldByName(*people_, "AGE", std::to_string(age));
    WriteFieldByName(*people_, "PAY", "1234.5");
    return EngineAccess(*people_, B_INSERT, 0);
  }
  std::string dir_;
  std::unique_ptr<TableCatalog> catalog_;
  TableDescriptor *people_ = nullptr;
  TableDescriptor *notes_ = nullptr;
  RecordMessages messages_;
};

TEST_F(Access, RecordsThroughKeysPositionsAndPercentages) {
  ASSERT_TRUE(people_->open);
  EXPECT_EQ(people_->record_buffer.size(), 26u);  // record length + 1
  for (auto [name, age] : std::vector<std::pair<const char *, int>>{
           {"CAROL", 30}, {"ANN", 20}, {"BOB", 25}, {"ANN", 40}}) {
    ASSERT_EQ(Add(name, age), 0);
  }
  EXPECT_EQ(ReadFieldByName(*people_, "ID"), "4");  // auto-increment came back
  ASSERT_EQ(EngineAccess(*people_, B_GET_FIRST, FindIndexByName(*people_, "ByName")), 0);
  EXPECT_EQ(ReadFieldByName(*people_, "NAME"), "ANN");
  EXPECT_EQ(ReadFieldByName(*people_, "AGE"), "20");
  EXPECT_EQ(ReadFieldByName(*people_, "PAY"), "1234.50");
  ASSERT_EQ(EngineAccess(*people_, B_GET_NEXT, 1), 0);
  EXPECT_EQ(ReadFieldByName(*people_, "AGE"), "40");  // duplicates in insertion order
  // Get Equal with the key cut from the record buffer.
  ClearRecordBuffer(*people_);
  WriteFieldByName(*people_, "NAME", "BOB");
  ASSERT_EQ(EngineAccess(*people_, B_GET_EQUAL, 1), 0);
  EXPECT_EQ(ReadFieldByName(*people_, "AGE"), "25");
  int32_t bob = EngineGetPosition(*people_);
  EXPECT_GT(bob, 0);
  ASSERT_EQ(EngineAccess(*people_, B_GET_FIRST, 0), 0);
  ASSERT_EQ(EngineGetDirect(*people_, bob, 1), 0);
  EXPECT_EQ(ReadFieldByName(*people_, "NAME"), "BOB");
  ASSERT_EQ(EngineAccess(*people_, B_GET_NEXT, 1), 0);
  EXPECT_EQ(ReadFieldByName(*people_, "NAME"), "CAROL");
  EXPECT_EQ(EngineGetDirect(*people_, bob, -1), 0);
  EXPECT_EQ(EngineAccess(*people_, B_GET_NEXT, 0), B_POSITIONING_ERROR);
  // Step operations take no key.
  ASSERT_EQ(EngineAccess(*people_, B_STEP_FIRST, -1), 0);
  EXPECT_EQ(ReadFieldByName(*people_, "NAME"), "CAROL");
  // Percentages along a key and by position.
  ASSERT_EQ(EngineGetByPercentage(*people_, 0, 10000), 0);
  EXPECT_EQ(ReadFieldByName(*people_, "ID"), "4");
  int16_t percent = -1;
  ASSERT_EQ(EngineFindPercentage(*people_, -1, bob, &percent), 0);
  EXPECT_EQ(percent, 6667);
  ClearRecordBuffer(*people_);
  WriteFieldByName(*people_, "ID", "2");
  ASSERT_EQ(EngineFindPercentage(*people_, 0, 0, &percent), 0);
  EXPECT_EQ(percent, 3333);
  int32_t count = 0;
  ASSERT_EQ(EngineRecordCount(*people_, &count), 0);
  EXPECT_EQ(count, 4);
  EXPECT_EQ(EngineAccess(*people_, B_GET_FIRST, 4), -6);  // no key at that position
  EXPECT_EQ(messages_.Texts().back(), "VE804 インデックスの指定が不正です。");
  uint8_t version[5];
  EXPECT_EQ(EngineVersion(version), 0);
  EXPECT_EQ(version[4], 'L');
}

TEST_F(Access, LockBiasAndTransactions) {
  ASSERT_EQ(Add("ANN", 1), 0);
  EXPECT_EQ(DbSetLockBias(150), -10);
  ASSERT_EQ(DbSetLockBias(200), 0);
  ASSERT_EQ(EngineAccess(*people_, B_GET_FIRST, 0), 0);  // sent as 212: a single lock
  EXPECT_EQ(EngineUnlock(*people_, 0), 0);
  EXPECT_EQ(EngineUnlock(*people_, 0), B_LOCKERROR);
  ASSERT_EQ(DbSetLockBias(400), 0);
  ASSERT_EQ(EngineAccess(*people_, B_GET_FIRST, 0), 0);  // a multiple lock, released by position
  EXPECT_EQ(EngineUnlock(*people_, -1), 0);
  EXPECT_EQ(EngineUnlock(*people_, -1), B_LOCKERROR);
  ASSERT_EQ(DbSetLockBias(0), 0);
  ASSERT_EQ(EngineAccess(*people_, B_GET_FIRST, 0), 0);
  EXPECT_EQ(EngineUnlock(*people_, 0), B_LOCKERROR);

  EXPECT_EQ(EngineBeginTransaction(500), -10);
  EXPECT_EQ(EngineBeginTransaction(150), -10);
  ASSERT_EQ(EngineBeginConcurrentTransaction(500), 0);  // sent as 1519
  ASSERT_EQ(Add("BOB", 2), 0);
  ASSERT_EQ(EngineAbortTransaction(), 0);
  int32_t count = 0;
  ASSERT_EQ(EngineRecordCount(*people_, &count), 0);
  EXPECT_EQ(count, 1);
  ASSERT_EQ(EngineBeginTransaction(0), 0);
  ASSERT_EQ(Add("BOB", 2), 0);
  ASSERT_EQ(EngineEndTransaction(), 0);
  ASSERT_EQ(EngineRecordCount(*people_, &count), 0);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(EngineEndTransaction(), B_END_TRANSACTION_ERROR);
}

TEST_F(Access, OpenModesMismatchesAndCreateFailures) {
  ASSERT_EQ(EngineClose(*people_), 0);
  EXPECT_FALSE(people_->open);
  EXPECT_TRUE(people_->record_buffer.empty());
  EXPECT_EQ(OpenModeKeyNumber(5), -32);
  EXPECT_EQ(OpenModeKeyNumber(6), -64);
  EXPECT_EQ(OpenModeKeyNumber(9), 0);
  EXPECT_EQ(LockBiasOf(3), 300);
  // Read-only: writes are refused.
  ASSERT_EQ(EngineOpen(*catalog_, *people_, dir_, "", 2), 0);
  EXPECT_EQ(Add("X", 1), B_ACCESS_TO_FILE_DENIED);
  ASSERT_EQ(EngineClose(*people_), 0);
  // A directory that does not exist: -16.
  EXPECT_EQ(EngineOpen(*catalog_, *people_, dir_ + "/none", "", 0), -16);
  // A file whose record length differs: VE806, the table stays closed, the file too.
  people_->record_length = 30;
  EXPECT_EQ(EngineOpen(*catalog_, *people_, dir_, "", 0), 0);
  EXPECT_FALSE(people_->open);
  EXPECT_EQ(messages_.Texts().back(),
            "VE806 BtrieveﾌｧｲﾙとDDFファイルの定義が合致していません。(Btrieve=25,DDF=30)");
  people_->record_length = 25;
  ASSERT_EQ(EngineOpen(*catalog_, *people_, dir_, "", 4), 0);  // exclusive: the file was closed
  EXPECT_EQ(EngineClose(*people_), 0);
  // A missing file: the Btrieve status.
  EXPECT_EQ(EngineOpen(*catalog_, *notes_, dir_, "", 0), B_FILE_NOT_FOUND);
  // Create into a directory that does not exist: VE007.
  EXPECT_EQ(EngineCreate(*catalog_, *notes_, dir_ + "/none/notes.dat"), B_FILE_NOT_FOUND);
  EXPECT_EQ(messages_.Texts().back(), "VE007 Btrieveファイルの生成に失敗(rc=12)");
}

TEST_F(Access, CreatedSpecificationAndVariableLengthRecords) {
  // The PEOPLE file: record length 25, page 4096, 2 keys, file flags 130, null value 0.
  uint8_t stat[4096];
  uint32_t len = sizeof stat;
  uint8_t key[255];
  ASSERT_EQ(BTRCALL(B_STAT, people_->position_block.data(), stat, &len, key, 255, 0), 0);
  EXPECT_EQ(stat[0] | stat[1] << 8, 25);
  EXPECT_EQ(stat[2] | stat[3] << 8, 4096);
  EXPECT_EQ(stat[4], 2);
  EXPECT_EQ(stat[10] | stat[11] << 8, 130);
  EXPECT_EQ(stat[16 + 10], kAutoInc);      // extended type from the field
  EXPECT_EQ(stat[32] | stat[33] << 8, 5);  // NAME at position 5
  EXPECT_EQ(stat[32 + 4] | stat[32 + 5] << 8, 0x103);

  // NOTES: a Note as last field makes the file variable length, its fixed part 4 bytes.
  ASSERT_TRUE(zplatform::WritePrivateProfileString("zelko300", "null_key", "32", "zelko.ini"));
  Module::Reset();
  std::string path = ResolveDataFilePath(*notes_, dir_);
  EXPECT_EQ(path.substr(path.size() - 10), "/notes.dat");
  ASSERT_EQ(EngineCreate(*catalog_, *notes_, path), 0);
  ASSERT_EQ(EngineOpen(*catalog_, *notes_, dir_, "", 0), 0);
  len = sizeof stat;
  ASSERT_EQ(BTRCALL(B_STAT, notes_->position_block.data(), stat, &len, key, 255, 0), 0);
  EXPECT_EQ(stat[0], 4);
  EXPECT_EQ(stat[10] | stat[11] << 8, 131);
  EXPECT_EQ(stat[16 + 11], 32);  // null value from null_key
  ClearRecordBuffer(*notes_);
  WriteFieldByName(*notes_, "ID", "7");
  WriteFieldByName(*notes_, "TEXT", "short note");
  EXPECT_EQ(VariableRecordLength(*notes_), 4 + 11);
  ASSERT_EQ(EngineAccess(*notes_, B_INSERT, 0), 0);
  WriteFieldByName(*notes_, "TEXT", "a longer note than before");
  ASSERT_EQ(EngineAccess(*notes_, B_UPDATE, 0), 0);
  ClearRecordBuffer(*notes_);
  ASSERT_EQ(EngineAccess(*notes_, B_GET_FIRST, 0), 0);
  EXPECT_EQ(ReadFieldByName(*notes_, "TEXT"), "a longer note than before");
}

TEST_F(Access, ClearingAndFieldAccessByNameAndNumber) {
  ClearRecordBuffer(*people_);
  EXPECT_EQ(std::string(reinterpret_cast<char *>(people_->record_buffer.data()) + 4, 10),
            "          ");
  EXPECT_EQ(std::string(reinterpret_cast<char *>(people_->record_buffer.data()) + 20, 5), "0000{");
  EXPECT_EQ(ReadFieldByName(*people_, "CODE"), "0");
  EXPECT_EQ(ReadFieldByNumber(*people_, 3), "0.00");
  EXPECT_EQ(ReadFieldByNumber(*people_, 5), "");
  EXPECT_EQ(ReadFieldByName(*people_, "NOPE"), "");
  EXPECT_EQ(WriteFieldByName(*people_, "NOPE", "1"), -5);
  EXPECT_EQ(WriteFieldByNumber(*people_, 9, "1"), -5);
  EXPECT_EQ(WriteFieldByNumber(*people_, 1, "ZED"), 0);
  EXPECT_EQ(ReadFieldByName(*people_, "NAME"), "ZED");
  EXPECT_EQ(FieldPosition(*people_, 4), 20);
  // A long text is cut to 4,096 bytes.
  TableDescriptor wide;
  wide.fields.push_back(FieldDescriptor{"W", kString, 5000, 0, 4, 19, 0});
  wide.record_length = 5000;
  wide.record_buffer.assign(5001, 'w');
  EXPECT_EQ(ReadFieldByNumber(wide, 0).size(), 4096u);
  // All fields at once read what each read alone does, a Date (4 bytes whatever its declared
  // size) and a field past the buffer's end among them.
  TableDescriptor mixed;
  mixed.fields.push_back(FieldDescriptor{"D", kDate, 6, 0, 0, 19, 0});
  mixed.fields.push_back(FieldDescriptor{"N", kInteger, 2, 0, 0, 19, 0});
  mixed.fields.push_back(FieldDescriptor{"S", kString, 5, 0, 0, 19, 0});
  mixed.fields.push_back(FieldDescriptor{"F", kInteger, 4, 0, 0, 19, 0});
  mixed.record_length = 11;
  mixed.record_buffer = {7, 12, 0xE8, 0x07, 0x2A, 0x00, 'a', 'b', 'c', 'd', 'e'};
  std::vector<std::string> all;
  ReadAllFields(mixed, &all);
  ASSERT_EQ(all.size(), 4u);
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(all[i], ReadFieldByNumber(mixed, i)) << i;
  EXPECT_EQ(all[0], "2024/12/07");
  EXPECT_EQ(all[1], "42");
  EXPECT_EQ(all[2], "abcde");
  EXPECT_EQ(all[3], "0");
  // Button operations.
  EXPECT_EQ(ButtonOperationFor(10).btrieve_op, B_GET_GE);
  EXPECT_EQ(ButtonOperationFor(11).btrieve_op, B_GET_LE);
  EXPECT_EQ(ButtonOperationFor(2).key_use, ButtonOperation::kNoKey);
  EXPECT_EQ(ButtonOperationFor(16).key_use, ButtonOperation::kNoCurrencyChange);
  EXPECT_EQ(ButtonOperationFor(18).btrieve_op, -1);
}

TEST(AccessLazy, FirstOpenResolvesTheTable) {
  RecordMessages messages;
  std::string dir = NewDir("lazy");
  ASSERT_EQ(WriteDictionary(dir, Tables()), 0);
  std::unique_ptr<TableCatalog> c;
  ASSERT_EQ(LoadCatalog(dir, true, &c), 0);
  ASSERT_TRUE(c->tables[0].fields.empty());
  ASSERT_EQ(EngineCreate(*c, c->tables[0], ResolveDataFilePath(c->tables[0], dir)), 0);
  EXPECT_EQ(c->tables[0].FieldCount(), 5);
  ASSERT_EQ(EngineOpen(*c, c->tables[0], dir, "", 0), 0);
  EXPECT_EQ(EngineClose(c->tables[0]), 0);
  EXPECT_TRUE(messages.Texts().empty());
}

}  // namespace
}  // namespace zelko
