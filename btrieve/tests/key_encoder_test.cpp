#include "key_encoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "btrieve/btrapi.h"

namespace btr {
namespace {

SegmentSpec Seg(uint8_t type, uint16_t length, uint16_t flags = 0) {
  SegmentSpec s;
  s.position = 1;
  s.length = length;
  s.type = type;
  s.flags = static_cast<uint16_t>(flags | B_KEY_EXTENDED_TYPE);
  return s;
}

std::string Enc(const SegmentSpec &s, const std::string &value, const CollatingTable *t = nullptr) {
  std::string out;
  EncodeSegment(s, reinterpret_cast<const uint8_t *>(value.data()), t, out);
  EXPECT_EQ(out.size(), EncodedSegmentLength(s));
  return out;
}

// Asserts that the values are in strictly ascending order under the segment's encoding.
void ExpectAscending(const SegmentSpec &s, const std::vector<std::string> &values) {
  for (size_t i = 1; i < values.size(); ++i) {
    EXPECT_LT(Enc(s, values[i - 1]), Enc(s, values[i])) << "position " << i;
  }
}

std::string Int(int64_t v, size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i)
    s[i] = static_cast<char>(static_cast<uint64_t>(v) >> (8 * i));
  return s;
}
std::string F4(float f) {
  std::string s(4, '\0');
  std::memcpy(s.data(), &f, 4);
  return s;
}
std::string F8(double d) {
  std::string s(8, '\0');
  std::memcpy(s.data(), &d, 8);
  return s;
}
// Microsoft Binary Format, computed from the IEEE bits independently of the encoder.
std::string Mbf4(float f) {
  uint32_t bits;
  std::memcpy(&bits, &f, 4);
  if (f == 0) return std::string(4, '\0');
  uint32_t sign = bits >> 31, exp = (bits >> 23) & 0xFF, mant = bits & 0x7FFFFF;
  std::string s(4, '\0');
  s[0] = static_cast<char>(mant & 0xFF);
  s[1] = static_cast<char>((mant >> 8) & 0xFF);
  s[2] = static_cast<char>((sign << 7) | ((mant >> 16) & 0x7F));
  s[3] = static_cast<char>(exp + 2);
  return s;
}
std::string Mbf8(double d) {
  uint64_t bits;
  std::memcpy(&bits, &d, 8);
  if (d == 0) return std::string(8, '\0');
  uint64_t sign = bits >> 63, exp = (bits >> 52) & 0x7FF, mant = bits & 0xFFFFFFFFFFFFFull;
  uint64_t m = mant << 3;  // 55 bits
  std::string s(8, '\0');
  for (int i = 0; i < 6; ++i)
    s[i] = static_cast<char>((m >> (8 * i)) & 0xFF);
  s[6] = static_cast<char>((sign << 7) | ((m >> 48) & 0x7F));
  s[7] = static_cast<char>(exp - 894);
  return s;
}
std::string Date(int d, int m, int y) {
  return std::string{char(d), char(m)} + Int(y, 2);
}
std::string Time(int h, int mi, int s, int hu) {
  return std::string{char(hu), char(s), char(mi), char(h)};
}

TEST(KeyEncoder, SignedIntegersOfEverySize) {
  for (size_t n : {1u, 2u, 4u, 8u}) {
    std::vector<std::string> v;
    std::vector<int64_t> nums = {-128, -5, -1, 0, 1, 7, 127};
    if (n >= 2) nums = {-32768, -300, -1, 0, 1, 255, 256, 32767};
    if (n >= 4) nums = {INT32_MIN, -70000, -1, 0, 1, 65536, INT32_MAX};
    if (n == 8) nums = {INT64_MIN, -5000000000LL, -1, 0, 1, 5000000000LL, INT64_MAX};
    for (int64_t x : nums)
      v.push_back(Int(x, n));
    ExpectAscending(Seg(B_TYPE_INTEGER, n), v);
    ExpectAscending(Seg(B_TYPE_UNSIGNED_BINARY, n), {Int(0, n), Int(1, n), Int(-1, n)});
    if (n == 2 || n == 4) ExpectAscending(Seg(B_TYPE_AUTOINCREMENT, n), v);
  }
  // Unsigned types: 0xFFFF is the largest two-byte value.
  ExpectAscending(Seg(B_TYPE_UNSIGNED_BINARY, 2),
                  {Int(0, 2), Int(1, 2), Int(256, 2), Int(0xFFFF, 2)});
  ExpectAscending(Seg(B_TYPE_LOGICAL, 1), {Int(0, 1), Int(1, 1), Int(255, 1)});
  // Without the extended flag the binary flag means unsigned binary.
  SegmentSpec old;
  old.position = 1;
  old.length = 2;
  old.flags = B_KEY_BINARY;
  ExpectAscending(old, {Int(1, 2), Int(0x100, 2), Int(0xFFFF, 2)});
}

TEST(KeyEncoder, FloatsOfBothSizesAndSignedZero) {
  ExpectAscending(Seg(B_TYPE_FLOAT, 4), {F4(-INFINITY), F4(-1e10f), F4(-1.5f), F4(-1e-30f),
                                         F4(0.0f), F4(1e-30f), F4(2.5f), F4(3e38f), F4(INFINITY)});
  ExpectAscending(Seg(B_TYPE_FLOAT, 8), {F8(-1e300), F8(-2.0), F8(-1.9999999), F8(0.0), F8(1e-300),
                                         F8(1.0), F8(1.0000000001)});
  EXPECT_EQ(Enc(Seg(B_TYPE_FLOAT, 8), F8(-0.0)), Enc(Seg(B_TYPE_FLOAT, 8), F8(0.0)));
  EXPECT_EQ(Enc(Seg(B_TYPE_FLOAT, 4), F4(-0.0f)), Enc(Seg(B_TYPE_FLOAT, 4), F4(0.0f)));
}

TEST(KeyEncoder, MicrosoftBinaryFormat) {
  ExpectAscending(Seg(B_TYPE_BFLOAT, 4), {Mbf4(-1000.0f), Mbf4(-3.5f), Mbf4(-0.25f), Mbf4(0.0f),
                                          Mbf4(0.25f), Mbf4(1.0f), Mbf4(1.5f), Mbf4(100.0f)});
  ExpectAscending(Seg(B_TYPE_BFLOAT, 8), {Mbf8(-1e20), Mbf8(-2.0), Mbf8(-1.0), Mbf8(0.0),
                                          Mbf8(1e-20), Mbf8(1.0), Mbf8(1.0000001), Mbf8(3.0)});
  // Any value with exponent 0 is zero, whatever its other bytes.
  EXPECT_EQ(Enc(Seg(B_TYPE_BFLOAT, 4), std::string("\x12\x34\x80\x00", 4)),
            Enc(Seg(B_TYPE_BFLOAT, 4), Mbf4(0.0f)));
}

TEST(KeyEncoder, DatesAcrossYearsAndTimesByHour) {
  ExpectAscending(Seg(B_TYPE_DATE, 4),
                  {Date(31, 12, 1899), Date(1, 1, 1900), Date(31, 12, 1999), Date(1, 1, 2000),
                   Date(2, 1, 2000), Date(1, 2, 2000), Date(28, 2, 2100)});
  ExpectAscending(Seg(B_TYPE_TIME, 4),
                  {Time(0, 0, 0, 0), Time(0, 0, 0, 99), Time(0, 0, 59, 0), Time(0, 1, 0, 0),
                   Time(9, 59, 59, 99), Time(10, 0, 0, 0), Time(23, 0, 0, 0)});
}

TEST(KeyEncoder, PackedDecimalsWithBothSignNibbles) {
  // Size 3 holds five digits and the sign: 01 25 0D is -12.5 with two decimals.
  auto dec = [](const char *hex) {
    std::string s;
    for (const char *p = hex; p[0] && p[1]; p += 2)
      s.push_back(static_cast<char>(std::stoi(std::string(p, 2), nullptr, 16)));
    return s;
  };
  SegmentSpec s = Seg(B_TYPE_DECIMAL, 3);
  ExpectAscending(s, {dec("99999D"), dec("01250D"), dec("00010D"), dec("00000F"), dec("00010F"),
                      dec("00011C"), dec("01250F"), dec("99999C")});
  EXPECT_EQ(Enc(s, dec("00000F")), Enc(s, dec("00000C")));  // sign nibbles F and C are equal
  EXPECT_EQ(Enc(s, dec("00000D")), Enc(s, dec("00000F")));  // minus zero is zero
  EXPECT_EQ(Enc(s, dec("01250F")), Enc(s, dec("01250C")));
  ExpectAscending(Seg(B_TYPE_MONEY, 2), {dec("999D"), dec("001D"), dec("000F"), dec("999F")});
}

TEST(KeyEncoder, OverpunchedNumerics) {
  SegmentSpec s = Seg(B_TYPE_NUMERIC, 5);
  // "0012}" is -120, "0001J" is -11, "0000}" is minus zero, "0001A" is 11, "0012{" is 120.
  ExpectAscending(s, {"0012}", "0001J", "0000{", "0001A", "0001B", "0012{", "00121"});
  EXPECT_EQ(Enc(s, "00120"), Enc(s, "0012{"));
  EXPECT_EQ(Enc(s, "0000}"), Enc(s, "0000{"));
  EXPECT_EQ(Enc(s, "00123"), Enc(s, "0012C"));  // a plain last digit is positive
}

TEST(KeyEncoder, StringsWithPrefixesTablesCaseAndDescending) {
  ExpectAscending(Seg(B_TYPE_STRING, 3), {"AAA", "AAB", "B  ", "a  ", "\xFF\x00\x00"});
  SegmentSpec ci = Seg(B_TYPE_STRING, 3, B_KEY_CASE_INSENSITIVE);
  EXPECT_EQ(Enc(ci, "abc"), Enc(ci, "ABC"));
  EXPECT_LT(Enc(ci, "abc"), Enc(ci, "ABD"));

  SegmentSpec ls = Seg(B_TYPE_LSTRING, 5);
  EXPECT_EQ(Enc(ls,
                "\x02"
                "ABzz"),
            Enc(ls,
                "\x02"
                "ABqq"));  // bytes past the length do not count
  ExpectAscending(ls, {std::string("\x00zzzz", 5),
                       "\x01"
                       "Azzz",
                       "\x02"
                       "ABzz",
                       "\x01"
                       "Bzzz"});
  EXPECT_EQ(Enc(ls,
                "\x09"
                "ABCD"),
            Enc(ls,
                "\x04"
                "ABCD"));  // length limited to size - 1

  SegmentSpec zs = Seg(B_TYPE_ZSTRING, 5);
  EXPECT_EQ(Enc(zs, std::string("AB\0zz", 5)), Enc(zs, std::string("AB\0qq", 5)));
  ExpectAscending(zs, {std::string("\0\0\0\0\0", 5), std::string("A\0zzz", 5),
                       std::string("AB\0zz", 5), std::string("B\0\0\0\0", 5)});

  CollatingTable reverse;  // a table that sorts letters backwards
  for (int i = 0; i < 256; ++i)
    reverse.map[i] = static_cast<uint8_t>(i);
  for (int c = 'A'; c <= 'Z'; ++c)
    reverse.map[c] = static_cast<uint8_t>('Z' - (c - 'A'));
  SegmentSpec acs = Seg(B_TYPE_STRING, 1, B_KEY_ALT_COLLATING);
  EXPECT_LT(Enc(acs, "Z", &reverse), Enc(acs, "A", &reverse));

  SegmentSpec desc = Seg(B_TYPE_INTEGER, 2, B_KEY_DESCENDING);
  ExpectAscending(desc, {Int(300, 2), Int(1, 2), Int(0, 2), Int(-1, 2)});
  SegmentSpec desc_str = Seg(B_TYPE_ZSTRING, 3, B_KEY_DESCENDING);
  ExpectAscending(desc_str,
                  {std::string("B\0\0", 3), std::string("AB\0", 3), std::string("A\0\0", 3)});
}

TEST(KeyEncoder, NullKeysAndKeyValues) {
  KeyDef all;
  all.segments = {Seg(B_TYPE_STRING, 2, B_KEY_NULL_ALL), Seg(B_TYPE_STRING, 2, B_KEY_NULL_ALL)};
  all.segments[1].position = 3;
  all.segments[0].null_value = all.segments[1].null_value = ' ';
  KeyDef any = all;
  for (auto &s : any.segments)
    s.flags = B_KEY_EXTENDED_TYPE | B_KEY_NULL_ANY;
  auto rec = [](const char *s) { return reinterpret_cast<const uint8_t *>(s); };
  EXPECT_TRUE(IsNullKey(all, rec("    ")));
  EXPECT_FALSE(IsNullKey(all, rec("  x ")));
  EXPECT_TRUE(IsNullKey(any, rec("  x ")));
  EXPECT_FALSE(IsNullKey(any, rec("ab x")));
  EXPECT_EQ(KeyValueFromRecord(all, rec("abcd")), "abcd");
}

}  // namespace
}  // namespace btr

namespace btr {
namespace {

TEST(KeyEncoder, IntegerSegmentsDecodeToTheirValues) {
  for (uint8_t type : {B_TYPE_INTEGER, B_TYPE_AUTOINCREMENT}) {
    for (uint16_t length : {uint16_t{2}, uint16_t{4}}) {
      for (uint16_t flags : {uint16_t{0}, uint16_t{B_KEY_DESCENDING}}) {
        SegmentSpec s;
        s.position = 1;
        s.length = length;
        s.type = type;
        s.flags = static_cast<uint16_t>(flags | B_KEY_EXTENDED_TYPE);
        for (int64_t v : {int64_t{0}, int64_t{1}, int64_t{-1}, int64_t{32767}, int64_t{-32768}}) {
          uint8_t le[8];
          WriteSignedLE(le, length, v);
          std::string out;
          EncodeSegment(s, le, nullptr, out);
          EXPECT_EQ(DecodeIntegerSegment(s, out + "rest"), v)
              << "length " << length << " flags " << flags;
        }
      }
    }
  }
}

}  // namespace
}  // namespace btr
