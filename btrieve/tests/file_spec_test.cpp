#include "file_spec.h"

#include <gtest/gtest.h>

#include "btr_test_util.h"
#include "btrieve/btrapi.h"

namespace btr {
namespace {

using btrtest::CreateBuffer;
using btrtest::Seg;

int Parse(const std::vector<uint8_t> &b, FileSpec *spec = nullptr) {
  FileSpec local;
  return ParseCreateBuffer(b.data(), static_cast<uint32_t>(b.size()), spec ? spec : &local);
}

constexpr uint16_t kExt = B_KEY_EXTENDED_TYPE;

TEST(FileSpec, EveryValidationStatus) {
  EXPECT_EQ(Parse(CreateBuffer(10, 512, {{{1, 2, kExt, B_TYPE_INTEGER}}})), 0);
  // 22: too short for the file spec or the promised key specs.
  EXPECT_EQ(Parse(std::vector<uint8_t>(10, 0)), B_DATALENGTH_ERROR);
  auto truncated = CreateBuffer(10, 512, {{{1, 2, kExt, B_TYPE_INTEGER}}});
  truncated.resize(20);
  EXPECT_EQ(Parse(truncated), B_DATALENGTH_ERROR);
  // 24: page sizes.
  for (uint16_t page : {0, 256, 511, 1000, 4608, 8192}) {
    EXPECT_EQ(Parse(CreateBuffer(10, page, {})), B_PAGE_SIZE_ERROR) << page;
  }
  for (uint16_t page : {512, 1024, 1536, 2048, 3584, 4096})
    EXPECT_EQ(Parse(CreateBuffer(10, page, {})), 0);
  // 26: too many segments for the page size (8 on 512-byte pages).
  std::vector<btrtest::Key> nine(9, btrtest::Key{{1, 1, 0}});
  EXPECT_EQ(Parse(CreateBuffer(10, 512, nine)), B_NUMBER_OF_KEYS);
  EXPECT_EQ(Parse(CreateBuffer(10, 1024, nine)), 0);
  // 27: key position.
  EXPECT_EQ(Parse(CreateBuffer(10, 512, {{{0, 2, 0}}})), B_INVALID_KEY_POSITION);
  EXPECT_EQ(Parse(CreateBuffer(10, 512, {{{10, 2, 0}}})), B_INVALID_KEY_POSITION);
  EXPECT_EQ(Parse(CreateBuffer(10, 512, {{{9, 2, 0}}})), 0);
  // 28: record length.
  EXPECT_EQ(Parse(CreateBuffer(0, 512, {})), B_INVALID_RECORD_LENGTH);
  // 29: key length for the type, and types that cannot be keys.
  EXPECT_EQ(Parse(CreateBuffer(10, 512, {{{1, 3, kExt, B_TYPE_INTEGER}}})), B_INVALID_KEYLENGTH);
  EXPECT_EQ(Parse(CreateBuffer(10, 512, {{{1, 5, kExt, B_TYPE_FLOAT}}})), B_INVALID_KEYLENGTH);
  EXPECT_EQ(Parse(CreateBuffer(10, 512, {{{1, 3, kExt, B_TYPE_DATE}}})), B_INVALID_KEYLENGTH);
  EXPECT_EQ(Parse(CreateBuffer(10, 512, {{{1, 1, kExt, B_TYPE_LSTRING}}})), B_INVALID_KEYLENGTH);
  EXPECT_EQ(Parse(CreateBuffer(10, 512, {{{1, 3, kExt, B_TYPE_AUTOINCREMENT}}})),
            B_INVALID_KEYLENGTH);
  EXPECT_EQ(Parse(CreateBuffer(10, 512, {{{1, 4, kExt, B_TYPE_NOTE}}})), B_INVALID_KEYLENGTH);
  EXPECT_EQ(Parse(CreateBuffer(10, 512, {{{1, 4, kExt, B_TYPE_LVAR}}})), B_INVALID_KEYLENGTH);
  EXPECT_EQ(Parse(CreateBuffer(10, 512, {{{1, 4, kExt, 16}}})), B_INVALID_KEYLENGTH);
  EXPECT_EQ(Parse(CreateBuffer(10, 512, {{{1, 0, 0}}})), B_INVALID_KEYLENGTH);
  EXPECT_EQ(Parse(CreateBuffer(400, 4096, {{{1, 200, 0}, {201, 100, 0}}})), B_INVALID_KEYLENGTH);
  // 45: inconsistent flags.
  EXPECT_EQ(Parse(CreateBuffer(10, 512, {{{1, 2, 0}, {3, 2, B_KEY_DUPLICATES}}})),
            B_INCONSISTENT_KEY_FLAGS);
  EXPECT_EQ(Parse(CreateBuffer(10, 512, {{{1, 2, B_KEY_MODIFIABLE}, {3, 2, 0}}})),
            B_INCONSISTENT_KEY_FLAGS);
  EXPECT_EQ(Parse(CreateBuffer(10, 512, {{{1, 2, kExt | B_KEY_CASE_INSENSITIVE, B_TYPE_INTEGER}}})),
            B_INCONSISTENT_KEY_FLAGS);
  EXPECT_EQ(Parse(CreateBuffer(10, 512, {{{1, 2, B_KEY_NULL_ALL | B_KEY_NULL_ANY}}})),
            B_INCONSISTENT_KEY_FLAGS);
  // A collating table named by a key must be there.
  EXPECT_EQ(Parse(CreateBuffer(10, 512, {{{1, 2, B_KEY_ALT_COLLATING}}})),
            B_INVALID_ALT_SEQUENCE_DEF);
  EXPECT_EQ(
      Parse(CreateBuffer(10, 512, {{{1, 2, B_KEY_ALT_COLLATING}}}, 0, {btrtest::UpperTable()})), 0);
}

TEST(FileSpec, StatLayoutCarriesTheCountAndEverySegment) {
  FileSpec spec;
  auto b = CreateBuffer(97, 512, {{{1, 2, 0x0104, 14}}, {{3, 20, 0x0502, 0}}}, 0,
                        {btrtest::UpperTable()});
  ASSERT_EQ(Parse(b, &spec), 0);
  ASSERT_EQ(spec.keys.size(), 2u);
  ASSERT_EQ(spec.collating_tables.size(), 1u);
  EXPECT_EQ(spec.collating_tables[0].name, "UPPER");
  std::vector<uint8_t> stat = BuildStatBuffer(spec, 1234, {7, 8});
  ASSERT_EQ(stat.size(), b.size());
  EXPECT_EQ(stat[6] | stat[7] << 8, 1234);  // record count at offset 6
  EXPECT_EQ(stat[16 + 6], 7);               // unique values of key 0
  stat[6] = stat[7] = 0;
  stat[16 + 6] = stat[32 + 6] = 0;
  EXPECT_EQ(stat, b);  // otherwise exactly the creation buffer
  FileSpec again;
  ASSERT_TRUE(DeserializeSpec(SerializeSpec(spec), &again));
  EXPECT_EQ(SerializeSpec(again), SerializeSpec(spec));
}

}  // namespace
}  // namespace btr
