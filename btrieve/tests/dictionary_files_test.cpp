// The dictionary files' own key definitions, created and used as the dictionary library
// creates and reads them.
#include <gtest/gtest.h>

#include "btr_test_util.h"
#include "check.h"

namespace {

using namespace btrtest;

std::vector<uint8_t> FileDdf() {
  return CreateBuffer(97, 512, {{{1, 2, 0x0104, 14}}, {{3, 20, 0x0502, 0}}}, 0, {UpperTable()},
                      false);
}
std::vector<uint8_t> FieldDdf() {
  return CreateBuffer(32, 1024,
                      {{{1, 2, 0x0104, 14}},
                       {{3, 2, 0x0105, 14}},
                       {{5, 20, 0x0503, 0}},
                       {{3, 2, 0x0116, 14}, {5, 20, 0x0502, 0}},
                       {{3, 2, 0x0117, 14}, {26, 2, 0x0117, 14}, {30, 1, 0x0107, 0}}},
                      0, {UpperTable()}, false);
}
std::vector<uint8_t> IndexDdf() {
  return CreateBuffer(10, 512,
                      {{{1, 2, 0x0105, 14}},
                       {{3, 2, 0x0105, 14}},
                       {{1, 2, 0x0116, 14}, {5, 2, 0x0116, 14}, {7, 2, 0x0106, 14}}},
                      0, {UpperTable()}, false);
}

std::string TableRecord(int id, const std::string &name, const std::string &loc, int flags) {
  return Le16(id) + Pad(name, 20) + Pad(loc, 64) + std::string(1, static_cast<char>(flags)) +
         std::string(10, '\0');
}
std::string FieldRecord(int id, int file, const std::string &name, int type, int offset, int size) {
  return Le16(id) + Le16(file) + Pad(name, 20) + std::string(1, static_cast<char>(type)) +
         Le16(offset) + Le16(size) + std::string(1, '\0') + Le16(0);
}
std::string IndexRecord(int file, int field, int number, int part, int flags) {
  return Le16(file) + Le16(field) + Le16(number) + Le16(part) + Le16(flags);
}

TEST(DictionaryFiles, CreatedWithTheirExactDefinitions) {
  EXPECT_EQ(FileDdf().size(), 313u);
  EXPECT_EQ(FieldDdf().size(), 409u);
  EXPECT_EQ(IndexDdf().size(), 361u);
  ASSERT_EQ(Create(Scratch("FILE.DDF"), FileDdf()), 0);
  ASSERT_EQ(Create(Scratch("FIELD.DDF"), FieldDdf()), 0);
  ASSERT_EQ(Create(Scratch("INDEX.DDF"), IndexDdf()), 0);

  PosBlock file, field, index;
  ASSERT_EQ(Open(file, Scratch("FILE.DDF"), -1), 0);
  ASSERT_EQ(Open(field, Scratch("FIELD.DDF"), -1), 0);
  ASSERT_EQ(Open(index, Scratch("INDEX.DDF"), -1), 0);
  std::string key(64, '\0');
  ASSERT_EQ(Insert(file, TableRecord(1, "X$File", "file.ddf", 16)), 0);
  ASSERT_EQ(Insert(file, TableRecord(2, "X$Field", "field.ddf", 16)), 0);
  ASSERT_EQ(Insert(file, TableRecord(3, "X$Index", "index.ddf", 16)), 0);
  ASSERT_EQ(Insert(file, TableRecord(4, "CUSTOMER", "cust.btr", 0)), 0);
  // Table names are unique without regard to case.
  EXPECT_EQ(Insert(file, TableRecord(5, "customer", "c2.btr", 0)), B_DUPLICATE_KEY_VALUE);
  ASSERT_EQ(Insert(field, FieldRecord(18, 3, "Xi$Flags", 14, 8, 2)), 0);
  ASSERT_EQ(Insert(field, FieldRecord(19, 4, "CODE", 1, 0, 4)), 0);
  ASSERT_EQ(Insert(field, FieldRecord(20, 4, "NAME", 0, 4, 30)), 0);
  EXPECT_EQ(Insert(field, FieldRecord(21, 4, "name", 0, 34, 2)), B_DUPLICATE_KEY_VALUE);  // key 3
  ASSERT_EQ(Insert(index, IndexRecord(3, 17, 2, 2, 0x102)), 0);
  ASSERT_EQ(Insert(index, IndexRecord(4, 19, 0, 0, 0)), 0);
  ASSERT_EQ(Insert(index, IndexRecord(4, 20, 1, 0, 0x13)), 0);
  ASSERT_EQ(Close(file), 0);
  ASSERT_EQ(Close(field), 0);
  ASSERT_EQ(Close(index), 0);

  // The reading pass: read-only open, Get Next gives 8 first, then Get Greater on key 0
  // with the 4-byte key value 3 starts after the dictionary's own tables.
  ASSERT_EQ(Open(file, Scratch("file.ddf"), -2), 0);
  std::string data(97, '\0');
  std::string k4 = Le32(0);
  EXPECT_EQ(Op(B_GET_NEXT, file, data, k4, 0), B_POSITIONING_ERROR);
  k4 = Le32(3);
  data.assign(97, '\0');
  ASSERT_EQ(Op(B_GET_GREATER, file, data, k4, 0), 0);
  EXPECT_EQ(data.substr(2, 8), "CUSTOMER");
  data.assign(97, '\0');
  EXPECT_EQ(Op(B_GET_NEXT, file, data, k4, 0), B_END_OF_FILE);
  ASSERT_EQ(Close(file), 0);

  ASSERT_EQ(Open(field, Scratch("FIELD.DDF"), -2), 0);
  k4 = Le32(17);
  data.assign(32, '\0');
  ASSERT_EQ(Op(B_GET_GREATER, field, data, k4, 0), 0);
  EXPECT_EQ(data.substr(0, 2), Le16(18));  // the pass begins with the last system field
  // Key 4 orders a table's fields by offset.
  std::string k = Le16(4) + Le16(0) + std::string(1, '\0');
  data.assign(32, '\0');
  ASSERT_EQ(Op(B_GET_GE, field, data, k, 4), 0);
  EXPECT_EQ(data.substr(4, 4), "CODE");
  ASSERT_EQ(Close(field), 0);

  ASSERT_EQ(Open(index, Scratch("INDEX.DDF"), -2), 0);
  k4 = Le32(2);
  data.assign(10, '\0');
  ASSERT_EQ(Op(B_GET_GREATER, index, data, k4, 0), 0);
  EXPECT_EQ(data.substr(0, 2), Le16(3));
  data.assign(10, '\0');
  ASSERT_EQ(Op(B_GET_NEXT, index, data, k4, 0), 0);
  EXPECT_EQ(data, IndexRecord(4, 19, 0, 0, 0));
  data.assign(10, '\0');
  ASSERT_EQ(Op(B_GET_NEXT, index, data, k4, 0), 0);
  EXPECT_EQ(data, IndexRecord(4, 20, 1, 0, 0x13));  // equal Xi$File: insertion order
  ASSERT_EQ(Close(index), 0);

  for (const char *name : {"FILE.DDF", "FIELD.DDF", "INDEX.DDF"}) {
    std::vector<std::string> problems;
    EXPECT_TRUE(btr::CheckFile(Scratch(name), &problems)) << name;
  }
}

}  // namespace
