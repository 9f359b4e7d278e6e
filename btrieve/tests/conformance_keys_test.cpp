// Conformance: key ordering of every type through real Get calls, under both duplicate
// settings; duplicates in insertion order; null keys; case-insensitive, collating-table
// and descending keys.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "btr_test_util.h"
#include "check.h"

namespace {

using namespace btrtest;
constexpr uint16_t kExt = B_KEY_EXTENDED_TYPE;

std::string F8(double d) {
  std::string s(8, '\0');
  std::memcpy(s.data(), &d, 8);
  return s;
}
std::string F4(float f) {
  std::string s(4, '\0');
  std::memcpy(s.data(), &f, 4);
  return s;
}
std::string Bytes(std::initializer_list<int> b) {
  std::string s;
  for (int x : b)
    s.push_back(static_cast<char>(x));
  return s;
}

struct TypeCase {
  const char *name;
  uint8_t type;
  uint16_t length;
  std::vector<std::string> ascending;  // distinct values in ascending order
  uint16_t extra_flags = 0;
};

std::vector<TypeCase> Cases() {
  return {
      {"string", B_TYPE_STRING, 4, {"    ", "AAAA", "AAAB", "ZZZZ", "aaaa", "\xFF\xFF\xFF\xFF"}},
      {"integer2", B_TYPE_INTEGER, 2, {Le16(-300), Le16(-1), Le16(0), Le16(1), Le16(256)}},
      {"integer4", B_TYPE_INTEGER, 4, {Le32(-70000), Le32(-1), Le32(0), Le32(65536)}},
      {"float8", B_TYPE_FLOAT, 8, {F8(-1e100), F8(-1.5), F8(0.0), F8(0.25), F8(1e100)}},
      {"float4", B_TYPE_FLOAT, 4, {F4(-2.5f), F4(-0.5f), F4(0.0f), F4(3.0f)}},
      {"date",
       B_TYPE_DATE,
       4,
       {Bytes({31, 12, 0xCF, 0x07}), Bytes({1, 1, 0xD0, 0x07}), Bytes({2, 1, 0xD0, 0x07}),
        Bytes({1, 2, 0xD0, 0x07})}},
      {"time",
       B_TYPE_TIME,
       4,
       {Bytes({99, 59, 59, 9}), Bytes({0, 0, 0, 10}), Bytes({0, 0, 1, 10})}},
      {"decimal",
       B_TYPE_DECIMAL,
       3,
       {Bytes({0x01, 0x25, 0x0D}), Bytes({0x00, 0x00, 0x0F}), Bytes({0x00, 0x01, 0x0C}),
        Bytes({0x01, 0x25, 0x0F})}},
      {"money", B_TYPE_MONEY, 2, {Bytes({0x10, 0x0D}), Bytes({0x00, 0x0F}), Bytes({0x99, 0x9F})}},
      {"logical", B_TYPE_LOGICAL, 1, {Bytes({0}), Bytes({1})}},
      {"numeric", B_TYPE_NUMERIC, 3, {"01}", "00J", "00{", "00A", "12{"}},
      {"bfloat4",
       B_TYPE_BFLOAT,
       4,
       {Bytes({0, 0, 0xE0, 0x82}), Bytes({0, 0, 0, 0}), Bytes({0, 0, 0x00, 0x81}),
        Bytes({0, 0, 0x40, 0x82})}},  // -3.5, 0, 1, 3
      {"lstring",
       B_TYPE_LSTRING,
       4,
       {Bytes({0, 'z', 'z', 'z'}), Bytes({1, 'A', 'z', 'z'}), Bytes({2, 'A', 'B', 'z'}),
        Bytes({1, 'B', 'q', 'q'})}},
      {"zstring",
       B_TYPE_ZSTRING,
       4,
       {Bytes({0, 'q', 'q', 'q'}), Bytes({'A', 0, 'x', 'x'}), Bytes({'A', 'B', 0, 0})}},
      {"ubinary", B_TYPE_UNSIGNED_BINARY, 2, {Le16(0), Le16(1), Le16(0x8000), Le16(0xFFFF)}},
      {"autoinc", B_TYPE_AUTOINCREMENT, 4, {Le32(-5), Le32(1), Le32(2), Le32(100000)}},
      {"descending", B_TYPE_INTEGER, 2, {Le16(500), Le16(3), Le16(-3)}, B_KEY_DESCENDING},
      {"caseless", B_TYPE_STRING, 2, {"AB", "ac", "BA"}, B_KEY_CASE_INSENSITIVE},
  };
}

class KeyOrdering : public testing::TestWithParam<bool> {};

TEST_P(KeyOrdering, EveryTypeThroughGetCalls) {
  const bool duplicates = GetParam();
  for (const TypeCase &tc : Cases()) {
    SCOPED_TRACE(tc.name);
    std::string path = Scratch(std::string(tc.name) + (duplicates ? "_dup.btr" : ".btr"));
    uint16_t flags = kExt | tc.extra_flags | (duplicates ? B_KEY_DUPLICATES : 0);
    uint16_t reclen = tc.length + 4;
    ASSERT_EQ(Create(path, CreateBuffer(reclen, 1024, {{{1, tc.length, flags, tc.type}}})), 0);
    PosBlock pb;
    ASSERT_EQ(Open(pb, path), 0);
    // Insert in a scrambled order; with duplicates, twice (the copy's tag is +100).
    std::vector<int> order(tc.ascending.size());
    for (size_t i = 0; i < order.size(); ++i)
      order[i] = static_cast<int>(i);
    std::mt19937 rng(7);
    std::shuffle(order.begin(), order.end(), rng);
    for (int copy = 0; copy < (duplicates ? 2 : 1); ++copy) {
      for (int i : order)
        ASSERT_EQ(Insert(pb, tc.ascending[i] + Le32(i + 100 * copy), -1), 0);
    }
    auto tag = [&](const std::string &rec) {
      return static_cast<uint8_t>(rec[tc.length]) | static_cast<uint8_t>(rec[tc.length + 1]) << 8;
    };
    // Get First and Next walk the values in order, duplicates in insertion order.
    std::vector<int> expected;
    for (size_t i = 0; i < tc.ascending.size(); ++i) {
      expected.push_back(static_cast<int>(i));
      if (duplicates) expected.push_back(static_cast<int>(i) + 100);
    }
    std::vector<int> walked;
    std::string data(reclen, '\0'), key(tc.length, '\0');
    for (int16_t rc = Op(B_GET_FIRST, pb, data, key, 0); rc == 0;
         rc = Op(B_GET_NEXT, pb, data, key, 0)) {
      walked.push_back(tag(data));
      data.assign(reclen, '\0');
    }
    EXPECT_EQ(walked, expected);
    // And Get Last with Previous walk them backwards.
    walked.clear();
    data.assign(reclen, '\0');
    for (int16_t rc = Op(B_GET_LAST, pb, data, key, 0); rc == 0;
         rc = Op(B_GET_PREVIOUS, pb, data, key, 0)) {
      walked.push_back(tag(data));
      data.assign(reclen, '\0');
    }
    std::reverse(walked.begin(), walked.end());
    EXPECT_EQ(walked, expected);
    // Greater, GE, Less, LE from every value: first of a group going up, last going down.
    int last_copy = duplicates ? 100 : 0;
    for (size_t i = 0; i < tc.ascending.size(); ++i) {
      int n = static_cast<int>(tc.ascending.size());
      struct Probe {
        int op;
        int want;  // -1: end of file
      } probes[] = {{B_GET_GREATER, static_cast<int>(i) + 1 < n ? static_cast<int>(i) + 1 : -1},
                    {B_GET_GE, static_cast<int>(i)},
                    {B_GET_LESS, i > 0 ? static_cast<int>(i) - 1 + last_copy : -1},
                    {B_GET_LE, static_cast<int>(i) + last_copy},
                    {B_GET_EQUAL, static_cast<int>(i)}};
      for (const Probe &p : probes) {
        std::string k = tc.ascending[i];
        data.assign(reclen, '\0');
        int16_t rc = Op(p.op, pb, data, k, 0);
        if (p.want < 0) {
          EXPECT_EQ(rc, B_END_OF_FILE) << "op " << p.op << " value " << i;
        } else {
          ASSERT_EQ(rc, 0) << "op " << p.op << " value " << i;
          EXPECT_EQ(tag(data), p.want) << "op " << p.op << " value " << i;
        }
      }
    }
    Close(pb);
    std::vector<std::string> problems;
    EXPECT_TRUE(btr::CheckFile(path, &problems)) << (problems.empty() ? "" : problems[0]);
  }
}

INSTANTIATE_TEST_SUITE_P(BothDuplicateSettings, KeyOrdering, testing::Bool(),
                         [](const testing::TestParamInfo<bool> &i) {
                           return i.param ? "Duplicates" : "Unique";
                         });

// Runs of duplicates longer than a read-ahead batch, on a key kept as an integer and on one
// kept as bytes, walked both ways; a record that joins a run the walk is inside comes at the
// run's end.
TEST(Keys, LongRunsOfDuplicatesWalkWholeBothWays) {
  std::string path = Scratch("runs.btr");
  constexpr uint16_t kLength = 18;  // value (2), the value as text (12), tag (4)
  ASSERT_EQ(Create(path, CreateBuffer(kLength, 1024,
                                      {{{1, 2, kExt | B_KEY_DUPLICATES, B_TYPE_INTEGER}},
                                       {{3, 12, kExt | B_KEY_DUPLICATES, B_TYPE_STRING}}})),
            0);
  PosBlock pb, other;
  ASSERT_EQ(Open(pb, path), 0);
  ASSERT_EQ(Open(other, path), 0);
  auto record = [](int value, int tag) {
    return Le16(value) + Pad("value " + std::to_string(value), 12) + Le32(tag);
  };
  auto tag = [](const std::string &rec) { return static_cast<uint8_t>(rec[14]); };
  // Value v has 5v + 1 records (1 to 36), inserted in no order; tags count up as inserted.
  std::vector<int> values;
  for (int v = 0; v < 8; ++v)
    values.insert(values.end(), 5 * v + 1, v);
  std::mt19937 rng(3);
  std::shuffle(values.begin(), values.end(), rng);
  std::vector<std::vector<int>> runs(8);
  for (size_t i = 0; i < values.size(); ++i) {
    ASSERT_EQ(Insert(other, record(values[i], static_cast<int>(i))), 0);
    runs[values[i]].push_back(static_cast<int>(i));
  }
  // Walks key `key` one way; when it reaches the third record of run `join_at`, `other` adds
  // a record of value `join`.
  auto walk = [&](int key, bool forward, int join_at, int join, int join_tag) {
    std::vector<int> walked;
    std::string data(kLength, '\0'), k(12, '\0');
    int in_run = 0, last_value = -1;
    for (int16_t rc = Op(forward ? B_GET_FIRST : B_GET_LAST, pb, data, k, key); rc == 0;
         rc = Op(forward ? B_GET_NEXT : B_GET_PREVIOUS, pb, data, k, key)) {
      walked.push_back(tag(data));
      int value = static_cast<uint8_t>(data[0]);
      in_run = value == last_value ? in_run + 1 : 1;
      last_value = value;
      if (value == join_at && in_run == 3) {
        EXPECT_EQ(Insert(other, record(join, join_tag)), 0);
      }
      data.assign(kLength, '\0');
    }
    if (!forward) std::reverse(walked.begin(), walked.end());
    return walked;
  };
  auto expected = [&]() {
    std::vector<int> all;
    for (const auto &run : runs)
      all.insert(all.end(), run.begin(), run.end());
    return all;
  };
  int next_tag = static_cast<int>(values.size());
  for (int key = 0; key < 2; ++key) {
    SCOPED_TRACE(key);
    EXPECT_EQ(walk(key, true, -1, 0, 0), expected());
    EXPECT_EQ(walk(key, false, -1, 0, 0), expected());
    // Forward, inside the run of 7 (the last): the new record comes at its end.
    runs[7].push_back(next_tag);
    EXPECT_EQ(walk(key, true, 7, 7, next_tag++), expected());
    // Backward, inside the run of 6: a record of 3 comes first on the way down.
    runs[3].push_back(next_tag);
    EXPECT_EQ(walk(key, false, 6, 3, next_tag++), expected());
  }
  Close(other);
  Close(pb);
  std::vector<std::string> problems;
  EXPECT_TRUE(btr::CheckFile(path, &problems)) << (problems.empty() ? "" : problems[0]);
}

TEST(Keys, NullKeysOfBothKinds) {
  std::string path = Scratch("nulls.btr");
  // Key 0: id. Key 1: two segments, null when all are blank. Key 2: null when any is blank.
  ASSERT_EQ(Create(path, CreateBuffer(8, 1024,
                                      {{{1, 4, kExt, B_TYPE_INTEGER}},
                                       {{5, 2, B_KEY_NULL_ALL | B_KEY_DUPLICATES, 0, ' '},
                                        {7, 2, B_KEY_NULL_ALL | B_KEY_DUPLICATES, 0, ' '}},
                                       {{5, 2, B_KEY_NULL_ANY | B_KEY_DUPLICATES, 0, ' '},
                                        {7, 2, B_KEY_NULL_ANY | B_KEY_DUPLICATES, 0, ' '}}})),
            0);
  PosBlock pb;
  ASSERT_EQ(Open(pb, path), 0);
  ASSERT_EQ(Insert(pb, Le32(1) + "    "), 0);  // null in both
  ASSERT_EQ(Insert(pb, Le32(2) + "AB  "), 0);  // null only in key 2
  ASSERT_EQ(Insert(pb, Le32(3) + "ABCD"), 0);  // in both
  auto count = [&](int key) {
    int n = 0;
    std::string data(8, '\0'), k(4, '\0');
    for (int16_t rc = Op(B_GET_FIRST, pb, data, k, key); rc == 0;
         rc = Op(B_GET_NEXT, pb, data, k, key))
      ++n;
    return n;
  };
  EXPECT_EQ(count(0), 3);
  EXPECT_EQ(count(1), 2);
  EXPECT_EQ(count(2), 1);
  // Step still sees every record.
  int steps = 0;
  std::string data(8, '\0'), k(4, '\0');
  for (int16_t rc = Op(B_STEP_FIRST, pb, data, k, 0); rc == 0; rc = Op(B_STEP_NEXT, pb, data, k, 0))
    ++steps;
  EXPECT_EQ(steps, 3);
  // An update that makes a key null takes the record out of that key.
  k = Le32(3);
  data.assign(8, '\0');
  ASSERT_EQ(Op(B_GET_EQUAL, pb, data, k, 0), 0);
  data = Le32(3) + "AB  ";
  ASSERT_EQ(Op(B_UPDATE, pb, data, k, 0), B_MODIFIABLE_KEYVALUE_ERROR);  // key 1 not modifiable
  Close(pb);
  std::vector<std::string> problems;
  EXPECT_TRUE(btr::CheckFile(path, &problems)) << (problems.empty() ? "" : problems[0]);
}

TEST(Keys, CollatingTableKeys) {
  std::string path = Scratch("acs.btr");
  ASSERT_EQ(Create(path, CreateBuffer(4, 512, {{{1, 4, B_KEY_ALT_COLLATING | B_KEY_DUPLICATES}}}, 0,
                                      {UpperTable()})),
            0);
  PosBlock pb;
  ASSERT_EQ(Open(pb, path), 0);
  for (const char *v : {"bob ", "ANN ", "Bob ", "ann "})
    ASSERT_EQ(Insert(pb, v, -1), 0);
  std::vector<std::string> walked;
  std::string data(4, '\0'), k(4, '\0');
  for (int16_t rc = Op(B_GET_FIRST, pb, data, k, 0); rc == 0; rc = Op(B_GET_NEXT, pb, data, k, 0)) {
    walked.push_back(data);
    data.assign(4, '\0');
  }
  EXPECT_EQ(walked, (std::vector<std::string>{"ANN ", "ann ", "bob ", "Bob "}));
  k = "BOB ";
  data.assign(4, '\0');
  ASSERT_EQ(Op(B_GET_EQUAL, pb, data, k, 0), 0);
  EXPECT_EQ(data, "bob ");
  Close(pb);
}

}  // namespace
