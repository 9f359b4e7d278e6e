#include "zplatform/bstr.h"

#include <gtest/gtest.h>

#include <cstring>

namespace zplatform {
namespace {

TEST(Bstr, PrefixHoldsTheByteLength) {
  // Three double-byte characters: six bytes, and the prefix says 6.
  const char sjis[] = "\x83\x65\x81\x5B\x83\x75";
  char *s = SysAllocStringByteLen(sjis, 6);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(SysStringByteLen(s), 6u);
  uint32_t prefix;
  std::memcpy(&prefix, s - 4, 4);
  EXPECT_EQ(prefix, 6u);
  EXPECT_EQ(std::memcmp(s, sjis, 6), 0);
  EXPECT_EQ(s[6], '\0');
  EXPECT_EQ(s[7], '\0');
  SysFreeString(s);
  SysFreeString(nullptr);
  EXPECT_EQ(SysStringByteLen(nullptr), 0u);

  char *zero = SysAllocStringByteLen(nullptr, 3);
  EXPECT_EQ(std::string(zero, 3), std::string(3, '\0'));
  SysFreeString(zero);

  Bstr b(std::string_view("abc\0d", 5));
  EXPECT_EQ(b.ByteLength(), 5u);
  EXPECT_EQ(b.View(), std::string_view("abc\0d", 5));
  Bstr moved = std::move(b);
  EXPECT_EQ(b.get(), nullptr);
  char *raw = moved.Release();
  EXPECT_EQ(moved.get(), nullptr);
  SysFreeString(raw);
}

}  // namespace
}  // namespace zplatform
