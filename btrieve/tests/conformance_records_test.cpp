// Conformance: Insert, Update, Delete, currency, Step, positions, percentages, variable
// length records and Auto Increment keys.
#include <gtest/gtest.h>

#include "btr_test_util.h"
#include "check.h"

namespace {

using namespace btrtest;
constexpr uint16_t kExt = B_KEY_EXTENDED_TYPE;

class Records : public testing::Test {
 protected:
  void SetUp() override {
    path_ = Scratch("people.btr");
    // id: unique integer (key 0, not modifiable); name: duplicates, modifiable (key 1).
    ASSERT_EQ(Create(path_, CreateBuffer(20, 1024,
                                         {{{1, 4, kExt, B_TYPE_INTEGER}},
                                          {{5, 16, B_KEY_DUPLICATES | B_KEY_MODIFIABLE}}})),
              0);
    ASSERT_EQ(Open(pb_, path_), 0);
  }
  void TearDown() override {
    Close(pb_);
    std::vector<std::string> problems;
    EXPECT_TRUE(btr::CheckFile(path_, &problems)) << (problems.empty() ? "" : problems[0]);
  }
  static std::string Person(int id, const std::string &name) { return Le32(id) + Pad(name, 16); }
  int16_t Get(int op, int8_t key_number, std::string *record,
              std::string key = std::string(16, '\0')) {
    std::string data(20, '\0');
    int16_t rc = Op(op, pb_, data, key, key_number);
    if (record) *record = data;
    last_key_ = key;
    return rc;
  }
  int Id(const std::string &record) { return static_cast<uint8_t>(record[0]) | record[1] << 8; }
  std::string path_;
  PosBlock pb_;
  std::string last_key_;
};

TEST_F(Records, WriteStatuses) {
  std::string rec, key(16, '\0');
  EXPECT_EQ(Insert(pb_, Person(1, "ANN")), 0);
  EXPECT_EQ(Insert(pb_, Person(1, "BOB")), B_DUPLICATE_KEY_VALUE);
  EXPECT_EQ(Insert(pb_, Person(2, "ANN")), 0);  // duplicates allowed on key 1
  EXPECT_EQ(Insert(pb_, Person(3, "X").substr(0, 19)), B_DATALENGTH_ERROR);
  std::string data = Person(9, "Z");
  EXPECT_EQ(Op(B_INSERT, pb_, data, key, 7), B_INVALID_KEYNUMBER);
  std::string short_key(3, '\0');
  EXPECT_EQ(Op(B_INSERT, pb_, data, short_key, 0), B_KEYBUF_TOO_SHORT);

  // Update and Delete need a current record.
  PosBlock fresh;
  ASSERT_EQ(Open(fresh, path_), 0);
  data = Person(1, "ANNA");
  EXPECT_EQ(Op(B_UPDATE, fresh, data, key, 0), B_POSITIONING_ERROR);
  EXPECT_EQ(Op(B_DELETE, fresh, data, key, 0), B_POSITIONING_ERROR);
  Close(fresh);

  ASSERT_EQ(Get(B_GET_FIRST, 0, &rec), 0);
  data = Person(5, "ANN");  // key 0 is not modifiable
  EXPECT_EQ(Op(B_UPDATE, pb_, data, key, 0), B_MODIFIABLE_KEYVALUE_ERROR);
  data = Person(1, "CAROL");
  EXPECT_EQ(Op(B_UPDATE, pb_, data, key, 0), 0);
  ASSERT_EQ(Get(B_GET_EQUAL, 0, &rec, Le32(1) + std::string(12, '\0')), 0);
  EXPECT_EQ(rec, Person(1, "CAROL"));
  EXPECT_EQ(Op(B_DELETE, pb_, data, key, 0), 0);
  EXPECT_EQ(Op(B_DELETE, pb_, data, key, 0), B_POSITIONING_ERROR);  // nothing current now
  EXPECT_EQ(Get(B_GET_EQUAL, 0, &rec, Le32(1) + std::string(12, '\0')), B_KEY_VALUE_NOT_FOUND);
}

TEST_F(Records, CurrencyTransitions) {
  for (int id : {10, 20, 30, 40})
    ASSERT_EQ(Insert(pb_, Person(id, "N" + std::to_string(id))), 0);
  std::string rec;
  // Get then Next / Previous.
  ASSERT_EQ(Get(B_GET_GE, 0, &rec, Le32(15) + std::string(12, '\0')), 0);
  EXPECT_EQ(Id(rec), 20);
  EXPECT_EQ(last_key_.substr(0, 4), Le32(20));  // the key value comes back
  ASSERT_EQ(Get(B_GET_NEXT, 0, &rec), 0);
  EXPECT_EQ(Id(rec), 30);
  ASSERT_EQ(Get(B_GET_PREVIOUS, 0, &rec), 0);
  EXPECT_EQ(Id(rec), 20);
  EXPECT_EQ(Get(B_GET_NEXT, 1, &rec), B_DIFFERENT_KEYNUMBER);
  // Delete then Next continues with the record that followed.
  std::string none, key(16, '\0');
  ASSERT_EQ(Op(B_DELETE, pb_, none, key, 0), 0);
  ASSERT_EQ(Get(B_GET_NEXT, 0, &rec), 0);
  EXPECT_EQ(Id(rec), 30);
  // Greater / Less / LE.
  ASSERT_EQ(Get(B_GET_GREATER, 0, &rec, Le32(30) + std::string(12, '\0')), 0);
  EXPECT_EQ(Id(rec), 40);
  ASSERT_EQ(Get(B_GET_LESS, 0, &rec, Le32(30) + std::string(12, '\0')), 0);
  EXPECT_EQ(Id(rec), 10);
  ASSERT_EQ(Get(B_GET_LE, 0, &rec, Le32(30) + std::string(12, '\0')), 0);
  EXPECT_EQ(Id(rec), 30);
  EXPECT_EQ(Get(B_GET_GREATER, 0, &rec, Le32(40) + std::string(12, '\0')), B_END_OF_FILE);
  EXPECT_EQ(Get(B_GET_LESS, 0, &rec, Le32(10) + std::string(12, '\0')), B_END_OF_FILE);
  ASSERT_EQ(Get(B_GET_LAST, 0, &rec), 0);
  EXPECT_EQ(Get(B_GET_NEXT, 0, &rec), B_END_OF_FILE);

  // An Update that moves a record along its key: Next continues from its new place.
  ASSERT_EQ(Get(B_GET_FIRST, 1, &rec), 0);  // N10
  std::string data = Person(10, "N35");
  ASSERT_EQ(Op(B_UPDATE, pb_, data, key, 1), 0);
  ASSERT_EQ(Get(B_GET_NEXT, 1, &rec), 0);
  EXPECT_EQ(Id(rec), 40);
  // With key number 255 the position stays where it was.
  ASSERT_EQ(Get(B_GET_FIRST, 1, &rec), 0);  // N30
  data = Person(30, "N99");
  ASSERT_EQ(Op(B_UPDATE, pb_, data, key, -1), 0);
  ASSERT_EQ(Get(B_GET_NEXT, 1, &rec), 0);
  EXPECT_EQ(Id(rec), 10);  // N35 follows N30's old place

  // Get Position then Get Direct with a key then Next.
  ASSERT_EQ(Get(B_GET_EQUAL, 0, &rec, Le32(30) + std::string(12, '\0')), 0);
  std::string pos(4, '\0');
  ASSERT_EQ(Op(B_GET_POSITION, pb_, pos, key, 0), 0);
  ASSERT_EQ(pos.size(), 4u);
  ASSERT_EQ(Get(B_GET_FIRST, 0, &rec), 0);
  std::string direct = pos + std::string(16, '\0');
  ASSERT_EQ(Op(B_GET_DIRECT, pb_, direct, key, 0), 0);
  EXPECT_EQ(Id(direct), 30);
  ASSERT_EQ(Get(B_GET_NEXT, 0, &rec), 0);
  EXPECT_EQ(Id(rec), 40);
  // Get Direct with key number -1: physical currency only.
  direct = pos + std::string(16, '\0');
  ASSERT_EQ(Op(B_GET_DIRECT, pb_, direct, key, -1), 0);
  EXPECT_EQ(Get(B_GET_NEXT, 0, &rec), B_POSITIONING_ERROR);
  direct = Le32(999) + std::string(16, '\0');
  EXPECT_EQ(Op(B_GET_DIRECT, pb_, direct, key, 0), B_INVALID_RECORD_ADDRESS);

  // Step then Get Next: a step leaves no position on any key.
  std::string step(20, '\0');
  ASSERT_EQ(Op(B_STEP_FIRST, pb_, step, key, 0), 0);
  EXPECT_EQ(Get(B_GET_NEXT, 0, &rec), B_POSITIONING_ERROR);
  // Get Key (+50) positions without returning the record.
  std::string untouched(20, 'u');
  std::string k = Le32(40) + std::string(12, '\0');
  ASSERT_EQ(Op(B_GET_EQUAL + B_GET_KEY, pb_, untouched, k, 0), 0);
  EXPECT_EQ(untouched, std::string(20, 'u'));
  ASSERT_EQ(Get(B_GET_PREVIOUS, 0, &rec), 0);
  EXPECT_EQ(Id(rec), 30);
}

TEST_F(Records, StepsAndPositions) {
  std::string key(16, '\0');
  for (int id : {3, 1, 2})
    ASSERT_EQ(Insert(pb_, Person(id, "P")), 0);
  std::string step(20, '\0');
  PosBlock fresh;  // no physical position yet
  ASSERT_EQ(Open(fresh, path_), 0);
  EXPECT_EQ(Op(B_STEP_NEXT, fresh, step, key, 0), B_POSITIONING_ERROR);
  Close(fresh);
  step.assign(20, '\0');
  ASSERT_EQ(Op(B_STEP_FIRST, pb_, step, key, 0), 0);
  EXPECT_EQ(Id(step), 3);  // physical order is insertion order
  step.assign(20, '\0');
  ASSERT_EQ(Op(B_STEP_NEXT, pb_, step, key, 0), 0);
  EXPECT_EQ(Id(step), 1);
  std::string pos(4, '\0');
  ASSERT_EQ(Op(B_GET_POSITION, pb_, pos, key, 0), 0);
  std::string none;
  ASSERT_EQ(Op(B_DELETE, pb_, none, key, 0), 0);
  EXPECT_EQ(Op(B_GET_POSITION, pb_, pos, key, 0), B_POSITIONING_ERROR);
  step.assign(20, '\0');
  ASSERT_EQ(Op(B_STEP_NEXT, pb_, step, key, 0), 0);
  EXPECT_EQ(Id(step), 2);
  step.assign(20, '\0');
  EXPECT_EQ(Op(B_STEP_NEXT, pb_, step, key, 0), B_END_OF_FILE);
  step.assign(20, '\0');
  ASSERT_EQ(Op(B_STEP_LAST, pb_, step, key, 0), 0);
  step.assign(20, '\0');
  ASSERT_EQ(Op(B_STEP_PREVIOUS, pb_, step, key, 0), 0);
  EXPECT_EQ(Id(step), 3);
  // Positions are never reused: the record inserted after a delete gets a new one.
  ASSERT_EQ(Insert(pb_, Person(1, "P")), 0);
  std::string newpos(4, '\0');
  ASSERT_EQ(Op(B_GET_POSITION, pb_, newpos, key, 0), 0);
  EXPECT_EQ(newpos, Le32(4));
}

TEST_F(Records, Percentages) {
  std::string key(16, '\0');
  std::string pct(20, '\0');
  pct[0] = 0;
  EXPECT_EQ(Op(B_GET_BY_PERCENTAGE, pb_, pct, key, 0), B_END_OF_FILE);
  for (int id = 1; id <= 11; ++id)
    ASSERT_EQ(Insert(pb_, Person(id * 10, "P")), 0);
  // 50.00% of 11 records along key 0 is rank 5: id 60.
  pct = Le16(5000) + std::string(18, '\0');
  ASSERT_EQ(Op(B_GET_BY_PERCENTAGE, pb_, pct, key, 0), 0);
  EXPECT_EQ(Id(pct), 60);
  std::string rec;
  ASSERT_EQ(Get(B_GET_NEXT, 0, &rec), 0);
  EXPECT_EQ(Id(rec), 70);
  // Find Percentage of id 30 (rank 2 of 11): 2000; currency unchanged.
  std::string out(4, '\0');
  std::string k = Le32(30) + std::string(12, '\0');
  ASSERT_EQ(Op(B_FIND_PERCENTAGE, pb_, out, k, 0), 0);
  EXPECT_EQ(out.substr(0, 2), Le16(2000));
  ASSERT_EQ(Get(B_GET_NEXT, 0, &rec), 0);
  EXPECT_EQ(Id(rec), 80);
  pct = Le16(10000) + std::string(18, '\0');
  ASSERT_EQ(Op(B_GET_BY_PERCENTAGE, pb_, pct, key, -1), 0);  // physical: last inserted
  EXPECT_EQ(Id(pct), 110);
  pct = Le16(10001) + std::string(18, '\0');
  EXPECT_EQ(Op(B_GET_BY_PERCENTAGE, pb_, pct, key, 0), B_DATALENGTH_ERROR);
  k = Le32(35) + std::string(12, '\0');
  EXPECT_EQ(Op(B_FIND_PERCENTAGE, pb_, out, k, 0), B_KEY_VALUE_NOT_FOUND);
  // By physical position.
  std::string pos(4, '\0');
  ASSERT_EQ(Op(B_GET_POSITION, pb_, pos, key, 0), 0);
  std::string by_pos = pos;
  ASSERT_EQ(Op(B_FIND_PERCENTAGE, pb_, by_pos, key, -1), 0);
  EXPECT_EQ(by_pos.substr(0, 2), Le16(10000));  // id 110 is the last of 11
}

TEST(VariableLength, FixedPartAndVariablePart) {
  std::string path = Scratch("notes.btr");
  ASSERT_EQ(
      Create(path, CreateBuffer(8, 1024, {{{1, 4, kExt, B_TYPE_INTEGER}}}, B_FILE_VARIABLE_LENGTH)),
      0);
  PosBlock pb;
  ASSERT_EQ(Open(pb, path), 0);
  std::string note(3000, 'n');
  ASSERT_EQ(Insert(pb, Le32(1) + "head" + note), 0);
  ASSERT_EQ(Insert(pb, Le32(2) + "tail"), 0);
  EXPECT_EQ(Insert(pb, Le32(3) + "ab"), B_DATALENGTH_ERROR);  // shorter than the fixed part
  std::string data(4000, '\0'), key(4, '\0');
  ASSERT_EQ(Op(B_GET_FIRST, pb, data, key, 0), 0);
  EXPECT_EQ(data, Le32(1) + "head" + note);
  // A short buffer: 22 with the part that fits.
  data.assign(100, '\0');
  ASSERT_EQ(Op(B_GET_FIRST, pb, data, key, 0), B_DATALENGTH_ERROR);
  EXPECT_EQ(data, (Le32(1) + "head" + note).substr(0, 100));
  // The position is established all the same.
  data.assign(100, '\0');
  ASSERT_EQ(Op(B_GET_NEXT, pb, data, key, 0), 0);
  EXPECT_EQ(data, Le32(2) + "tail");
  data = Le32(2) + "tail" + std::string(10, 'v');
  ASSERT_EQ(Op(B_UPDATE, pb, data, key, 0), 0);
  data.assign(100, '\0');
  ASSERT_EQ(Op(B_GET_LAST, pb, data, key, 0), 0);
  EXPECT_EQ(data.size(), 18u);
  Close(pb);
}

TEST(AutoIncrement, ZeroGetsTheHighestPlusOne) {
  std::string path = Scratch("auto.btr");
  ASSERT_EQ(Create(path, CreateBuffer(8, 1024,
                                      {{{1, 4, kExt, B_TYPE_AUTOINCREMENT}},
                                       {{5, 2, kExt | B_KEY_DUPLICATES, B_TYPE_AUTOINCREMENT}}})),
            0);
  PosBlock pb;
  ASSERT_EQ(Open(pb, path), 0);
  std::string data = Le32(0) + Le16(7) + "xy", key(4, '\0');
  ASSERT_EQ(Op(B_INSERT, pb, data, key, 0), 0);
  EXPECT_EQ(data.substr(0, 4), Le32(1));  // written into the caller's buffer
  EXPECT_EQ(key, Le32(1));
  data = Le32(41) + Le16(0) + "xy";
  ASSERT_EQ(Op(B_INSERT, pb, data, key, 0), 0);
  EXPECT_EQ(data.substr(4, 2), Le16(8));  // second key: highest 7 + 1
  data = Le32(0) + Le16(1) + "xy";
  ASSERT_EQ(Op(B_INSERT, pb, data, key, 0), 0);
  EXPECT_EQ(data.substr(0, 4), Le32(42));
  data = Le32(42) + Le16(1) + "xy";
  EXPECT_EQ(Op(B_INSERT, pb, data, key, 0), B_DUPLICATE_KEY_VALUE);
  // At the largest number a field holds no next one is made: the insert finds a duplicate
  // and stores nothing, where the number wrapped round to a negative one before.
  data = Le32(43) + Le16(0x7FFF) + "xy";
  ASSERT_EQ(Op(B_INSERT, pb, data, key, 0), 0);
  data = Le32(44) + Le16(0) + "xy";
  EXPECT_EQ(Op(B_INSERT, pb, data, key, 0), B_DUPLICATE_KEY_VALUE);
  data = Le32(0x7FFFFFFF) + Le16(9) + "xy";
  ASSERT_EQ(Op(B_INSERT, pb, data, key, 0), 0);
  data = Le32(0) + Le16(9) + "xy";
  EXPECT_EQ(Op(B_INSERT, pb, data, key, 0), B_DUPLICATE_KEY_VALUE);
  EXPECT_EQ(data.substr(0, 4), Le32(0));
  std::string stat(100, '\0'), name(64, '\0');
  ASSERT_EQ(Op(B_STAT, pb, stat, name, 0), 0);
  EXPECT_EQ(stat.substr(6, 4), Le32(5));  // 1, 41, 42, 43 and 0x7FFFFFFF
  Close(pb);
}

}  // namespace
