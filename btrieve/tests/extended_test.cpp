// Extended operations: descriptor validation, filters, "UC" and "EG", endings, results.
#include <gtest/gtest.h>

#include <cstring>

#include "btr_test_util.h"

namespace {

using namespace btrtest;
constexpr uint16_t kExt = B_KEY_EXTENDED_TYPE;

// Records of 16 bytes: id (4, integer, key 0), name (8, string, key 1 with duplicates),
// age (2, integer), code (2, integer).
std::string Rec(int id, const std::string &name, int age, int code = 0) {
  return Le32(id) + Pad(name, 8) + Le16(age) + Le16(code);
}

struct Term {
  uint8_t type;
  uint16_t length, offset;
  uint8_t comparison, connector;
  std::string value;
};

std::string Descriptor(const std::vector<Term> &terms, uint16_t max_records,
                       const std::vector<std::pair<uint16_t, uint16_t>> &fields,
                       const char *mode = "UC", uint16_t reject = 0) {
  std::string body = std::string(mode, 2) + Le16(reject) + Le16(static_cast<int>(terms.size()));
  for (const Term &t : terms) {
    body += std::string(1, static_cast<char>(t.type)) + Le16(t.length) + Le16(t.offset) +
            std::string(1, static_cast<char>(t.comparison)) +
            std::string(1, static_cast<char>(t.connector)) + t.value;
  }
  body += Le16(max_records) + Le16(static_cast<int>(fields.size()));
  for (auto [len, off] : fields)
    body += Le16(len) + Le16(off);
  return Le16(static_cast<int>(body.size() + 2)) + body;
}

class Extended : public testing::Test {
 protected:
  void SetUp() override {
    path_ = Scratch("people.btr");
    ASSERT_EQ(Create(path_, CreateBuffer(16, 1024,
                                         {{{1, 4, kExt, B_TYPE_INTEGER}},
                                          {{5, 8, B_KEY_DUPLICATES | B_KEY_MODIFIABLE}}})),
              0);
    ASSERT_EQ(Open(pb_, path_), 0);
    const char *names[] = {"ann",   "Bob",  "carol", "dave", "eve",
                           "frank", "gina", "hal",   "ivy",  "jo"};
    for (int i = 0; i < 10; ++i)
      ASSERT_EQ(Insert(pb_, Rec(i + 1, names[i], 20 + i * 5, i % 3), -1), 0);
  }
  void TearDown() override { Close(pb_); }

  // Runs an extended operation with a result buffer of `size` bytes.
  int16_t Run(int op, const std::string &descriptor, int8_t key, std::string *result,
              size_t size = 4096) {
    std::string buf = descriptor;
    if (buf.size() < size) buf.resize(size, '\0');
    std::string k(16, '\0');
    int16_t rc = Op(op, pb_, buf, k, key);
    *result = buf;
    return rc;
  }
  // Ids of the records in a result whose extracted data begin with the 4-byte id.
  static std::vector<int> Ids(const std::string &result) {
    std::vector<int> ids;
    int n = static_cast<uint8_t>(result[0]) | static_cast<uint8_t>(result[1]) << 8;
    size_t at = 2;
    for (int i = 0; i < n; ++i) {
      int len = static_cast<uint8_t>(result[at]) | static_cast<uint8_t>(result[at + 1]) << 8;
      ids.push_back(static_cast<uint8_t>(result[at + 6]));
      at += 6 + len;
    }
    return ids;
  }
  void GetFirst(int key) {
    std::string data(16, '\0'), k(16, '\0');
    ASSERT_EQ(Op(B_GET_FIRST, pb_, data, k, static_cast<int8_t>(key)), 0);
  }
  std::string path_;
  PosBlock pb_;
};

TEST_F(Extended, DescriptorValidation) {
  GetFirst(0);
  std::string r;
  std::string good = Descriptor({}, 5, {{4, 0}});
  EXPECT_EQ(Run(B_GET_NEXT_EXTENDED, good, 0, &r), 0);
  auto bad = [&](std::string d) { return Run(B_GET_NEXT_EXTENDED, d, 0, &r); };
  std::string wrong_length = good;
  wrong_length[0] = static_cast<char>(good.size() + 1);
  EXPECT_EQ(bad(wrong_length), B_INCORRECT_DESCRIPTOR);
  EXPECT_EQ(bad(Descriptor({}, 5, {{4, 0}}, "XX")), B_INCORRECT_DESCRIPTOR);
  EXPECT_EQ(bad(Descriptor({{B_TYPE_INTEGER, 2, 12, 7, 0, Le16(1)}}, 5, {{4, 0}})),
            B_INCORRECT_DESCRIPTOR);
  EXPECT_EQ(bad(Descriptor({{B_TYPE_INTEGER, 2, 12, 1, 1, Le16(1)}}, 5, {{4, 0}})),
            B_INCORRECT_DESCRIPTOR);
  EXPECT_EQ(bad(Descriptor(
                {{B_TYPE_INTEGER, 2, 12, 1, 3, Le16(1)}, {B_TYPE_INTEGER, 2, 12, 1, 0, Le16(1)}}, 5,
                {{4, 0}})),
            B_INCORRECT_DESCRIPTOR);
  EXPECT_EQ(bad(Descriptor({{16, 2, 12, 1, 0, Le16(1)}}, 5, {{4, 0}})), B_INCORRECT_DESCRIPTOR);
  EXPECT_EQ(bad(Descriptor({{B_TYPE_INTEGER, 3, 12, 1, 0, "abc"}}, 5, {{4, 0}})),
            B_INCORRECT_DESCRIPTOR);
  EXPECT_EQ(bad(Descriptor({}, 5, {})), B_INCORRECT_DESCRIPTOR);
  EXPECT_EQ(bad(Descriptor({{B_TYPE_INTEGER, 2, 15, 1, 0, Le16(1)}}, 5, {{4, 0}})),
            B_INCORRECT_FIELD_OFFSET);
  EXPECT_EQ(bad(Descriptor({}, 5, {{4, 14}})), B_INCORRECT_FIELD_OFFSET);
  EXPECT_EQ(bad(Descriptor({{B_TYPE_INTEGER, 2, 12, 1 + 64, 0, Le16(15)}}, 5, {{4, 0}})),
            B_INCORRECT_FIELD_OFFSET);
  EXPECT_EQ(bad(std::string("\x04\x00UC", 4)), B_INCORRECT_DESCRIPTOR);
}

TEST_F(Extended, FiltersAndConnectorsLeftToRight) {
  GetFirst(0);  // id 1; "UC" starts after it
  std::string r;
  // age >= 40 (ids 5..10, the first is not examined: UC)
  ASSERT_EQ(
      Run(B_GET_NEXT_EXTENDED,
          Descriptor({{B_TYPE_INTEGER, 2, 12, 5, 0, Le16(40)}}, 20, {{4, 0}, {2, 12}}), 0, &r),
      B_END_OF_FILE);
  EXPECT_EQ(Ids(r), (std::vector<int>{5, 6, 7, 8, 9, 10}));
  // Result layout: count, then length, position, data.
  EXPECT_EQ(r.substr(2, 2), Le16(6));
  EXPECT_EQ(r.substr(8, 6), Le32(5) + Le16(40));
  // ((age < 30 or code = 2) and name <> "carol"): left to right, no precedence.
  GetFirst(0);
  ASSERT_EQ(Run(B_GET_NEXT_EXTENDED,
                Descriptor({{B_TYPE_INTEGER, 2, 12, 3, 2, Le16(30)},
                            {B_TYPE_INTEGER, 2, 14, 1, 1, Le16(2)},
                            {B_TYPE_STRING, 8, 4, 4, 0, Pad("carol", 8)}},
                           20, {{4, 0}}),
                0, &r),
            B_END_OF_FILE);
  EXPECT_EQ(Ids(r), (std::vector<int>{2, 6, 9}));
  // Case-insensitive (+128) string comparison: "bob" finds "Bob".
  GetFirst(0);
  ASSERT_EQ(
      Run(B_GET_NEXT_EXTENDED,
          Descriptor({{B_TYPE_STRING, 8, 4, 1 + 128, 0, Pad("bob", 8)}}, 20, {{4, 0}}), 0, &r),
      B_END_OF_FILE);
  EXPECT_EQ(Ids(r), (std::vector<int>{2}));
  GetFirst(0);
  ASSERT_EQ(Run(B_GET_NEXT_EXTENDED,
                Descriptor({{B_TYPE_STRING, 8, 4, 1, 0, Pad("bob", 8)}}, 20, {{4, 0}}), 0, &r),
            B_END_OF_FILE);
  EXPECT_TRUE(Ids(r).empty());
  // Field against field (+64): code (offset 14) < age (offset 12).
  GetFirst(0);
  ASSERT_EQ(Run(B_GET_NEXT_EXTENDED,
                Descriptor({{B_TYPE_INTEGER, 2, 14, 3 + 64, 0, Le16(12)}}, 3, {{4, 0}}), 0, &r),
            0);
  EXPECT_EQ(Ids(r), (std::vector<int>{2, 3, 4}));  // three asked for: status 0
}

TEST_F(Extended, UcEgAndCurrency) {
  // A Get First followed by repeated "EG" reads returns every record exactly once.
  GetFirst(0);
  std::vector<int> all;
  std::string r;
  for (int guard = 0; guard < 20; ++guard) {
    int16_t rc = Run(B_GET_NEXT_EXTENDED, Descriptor({}, 3, {{4, 0}}, "EG"), 0, &r);
    for (int id : Ids(r))
      all.push_back(id);
    if (rc == B_END_OF_FILE) break;
    ASSERT_EQ(rc, 0);
  }
  EXPECT_EQ(all, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
  // After an extended read Update needs a Get first.
  std::string data = Rec(10, "jo", 1), k(16, '\0');
  EXPECT_EQ(Op(B_UPDATE, pb_, data, k, 0), B_POSITIONING_ERROR);
  // Get Position answers the last record examined, where the next read goes on from.
  std::string position(4, '\0');
  ASSERT_EQ(Op(B_GET_POSITION, pb_, position, k, 0), 0);
  std::string direct = position + std::string(12, '\0');
  ASSERT_EQ(Op(B_GET_DIRECT, pb_, direct, k, 0), 0);
  EXPECT_EQ(static_cast<uint8_t>(direct[0]), 10);
  // Previous extended along key 1 (names: "Bob" < "ann" ... by byte).
  data.assign(16, '\0');
  ASSERT_EQ(Op(B_GET_LAST, pb_, data, k, 1), 0);
  ASSERT_EQ(Run(B_GET_PREV_EXTENDED, Descriptor({}, 2, {{4, 0}}, "UC"), 1, &r), 0);
  EXPECT_EQ(Ids(r), (std::vector<int>{9, 8}));
  EXPECT_EQ(Run(B_GET_NEXT_EXTENDED, Descriptor({}, 2, {{4, 0}}), 0, &r), B_DIFFERENT_KEYNUMBER);
  // Step extended in physical order.
  data.assign(16, '\0');
  ASSERT_EQ(Op(B_STEP_LAST, pb_, data, k, 0), 0);
  ASSERT_EQ(Run(B_STEP_PREVIOUS_EXT, Descriptor({}, 2, {{4, 0}}, "EG"), 0, &r), 0);
  EXPECT_EQ(Ids(r), (std::vector<int>{10, 9}));
  PosBlock fresh;
  ASSERT_EQ(Open(fresh, path_), 0);
  std::string buf = Descriptor({}, 2, {{4, 0}});
  buf.resize(100);
  EXPECT_EQ(Op(B_STEP_NEXT_EXT, fresh, buf, k, 0), B_POSITIONING_ERROR);
  Close(fresh);
}

TEST_F(Extended, EndingsRejectEarlyAndBufferFull) {
  std::string r;
  // Reject count: at most 2 failing records.
  GetFirst(0);
  ASSERT_EQ(
      Run(B_GET_NEXT_EXTENDED,
          Descriptor({{B_TYPE_INTEGER, 2, 12, 2, 0, Le16(60)}}, 20, {{4, 0}}, "UC", 2), 0, &r),
      B_REJECT_COUNT_REACHED);
  EXPECT_TRUE(Ids(r).empty());
  // Early end: id <= 4 along key 0 stops at id 5 with 64.
  GetFirst(0);
  ASSERT_EQ(Run(B_GET_NEXT_EXTENDED,
                Descriptor({{B_TYPE_INTEGER, 4, 0, 6, 0, Le32(4)}}, 20, {{4, 0}}, "EG"), 0, &r),
            B_FILTER_LIMIT_REACHED);
  EXPECT_EQ(Ids(r), (std::vector<int>{1, 2, 3, 4}));
  // The same walk along key 1 cannot end early.
  std::string data(16, '\0'), k(16, '\0');
  ASSERT_EQ(Op(B_GET_FIRST, pb_, data, k, 1), 0);
  ASSERT_EQ(Run(B_GET_NEXT_EXTENDED,
                Descriptor({{B_TYPE_INTEGER, 4, 0, 6, 0, Le32(4)}}, 20, {{4, 0}}, "EG"), 1, &r),
            B_END_OF_FILE);
  EXPECT_EQ(Ids(r).size(), 4u);
  // A buffer that holds two records (2 + 2 * (6 + 4) = 22 bytes): 22 with what fits.
  GetFirst(0);
  std::string d = Descriptor({}, 20, {{4, 0}}, "EG");
  ASSERT_EQ(d.size(), 16u);
  ASSERT_EQ(Run(B_GET_NEXT_EXTENDED, d, 0, &r, 25), B_DATALENGTH_ERROR);
  EXPECT_EQ(Ids(r), (std::vector<int>{1, 2}));
}

TEST_F(Extended, LockBiasesLockReturnedRecords) {
  GetFirst(0);
  std::string r;
  ASSERT_EQ(Run(B_GET_NEXT_EXTENDED + 400, Descriptor({}, 3, {{4, 0}}), 0, &r), 0);
  EXPECT_EQ(Ids(r), (std::vector<int>{2, 3, 4}));
  // Unlock -2 releases them all; a second -2 finds nothing.
  std::string none, k(16, '\0');
  EXPECT_EQ(Op(B_UNLOCK, pb_, none, k, -2), 0);
  EXPECT_EQ(Op(B_UNLOCK, pb_, none, k, -2), B_LOCKERROR);
  EXPECT_EQ(Op(B_UNLOCK, pb_, none, k, 0), B_LOCKERROR);
}

}  // namespace
