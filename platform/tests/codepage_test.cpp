#include "zplatform/codepage.h"

#include <gtest/gtest.h>

#include <string>

#include "zelko_test_env.h"

namespace zplatform {
namespace {

TEST(CodePage, JapaneseTextBothWays) {
  CodePage cp(932);
  ASSERT_TRUE(cp.Available());
  const std::string sjis = "\x83\x65\x81\x5B\x83\x75\x83\x8B";  // テーブル
  EXPECT_EQ(cp.ToUtf8(sjis), "テーブル");
  EXPECT_EQ(cp.FromUtf8("テーブル"), sjis);
  EXPECT_EQ(cp.FromUtf8("ｶﾅ ABC"), "\xB6\xC5 ABC");  // half-width katakana are single bytes
  // The trail byte 0x5C ("ソ" = 83 5C) must not be taken as a backslash.
  EXPECT_EQ(cp.ToUtf8("\x83\x5C\\"), "ソ\\");
}

TEST(CodePage, LeadBytes) {
  CodePage cp(932);
  for (int b = 0; b < 256; ++b) {
    bool lead = (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
    EXPECT_EQ(cp.IsLeadByte(static_cast<unsigned char>(b)), lead) << b;
  }
  CodePage latin(1252);
  EXPECT_FALSE(latin.IsLeadByte(0x81));
  EXPECT_EQ(latin.ToUtf8("\xE4"), "ä");
}

TEST(CodePage, RoundTripOfEveryMappedDoubleByteCharacter) {
  CodePage cp(932);
  int mapped = 0;
  for (int lead = 0x81; lead <= 0xFC; ++lead) {
    if (!cp.IsLeadByte(static_cast<unsigned char>(lead))) continue;
    for (int trail = 0x40; trail <= 0xFC; ++trail) {
      if (trail == 0x7F) continue;
      std::string bytes{static_cast<char>(lead), static_cast<char>(trail)};
      std::string utf8 = cp.ToUtf8(bytes);
      if (utf8 == "\xEF\xBF\xBD") continue;  // unmapped: one visible replacement
      ++mapped;
      std::string back = cp.FromUtf8(utf8);
      // Code page 932 maps some characters twice (NEC and IBM selections); the way back
      // gives the preferred code, which must stand for the same character.
      ASSERT_EQ(back.size(), 2u) << lead << "," << trail;
      if (back != bytes) {
        EXPECT_EQ(cp.ToUtf8(back), utf8) << lead << "," << trail;
      }
      EXPECT_EQ(cp.FromUtf8(cp.ToUtf8(back)), back);
    }
  }
  // Code page 932 maps 7,915 double-byte codes besides the user-defined area
  // (0xF040-0xF9FC, 1,880 codes) that glibc maps to the private use area.
  EXPECT_GE(mapped, 7915);
}

TEST(CodePage, UnconvertibleInputBecomesVisible) {
  CodePage cp(932);
  // A lead byte at the very end, a lead byte with a bad trail, an unmapped pair.
  EXPECT_EQ(cp.ToUtf8("A\x81"), "A\xEF\xBF\xBD");
  EXPECT_EQ(cp.ToUtf8("\x81\x20"
                      "B"),
            "\xEF\xBF\xBD B");
  EXPECT_EQ(cp.ToUtf8("\x85\x40"
                      "C"),
            "\xEF\xBF\xBD"
            "C");
  // Characters that code page 932 lacks, and malformed UTF-8.
  EXPECT_EQ(cp.FromUtf8("a€b"), "a?b");  // the euro sign is not in 932
  EXPECT_EQ(cp.FromUtf8("x\xC3"
                        "y"),
            "x?y");
  EXPECT_EQ(cp.FromUtf8("\xF0\x9F\x98\x80"), "?");  // one replacement per character
  EXPECT_EQ(cp.ToUtf8(std::string("\0a", 2)), std::string("\0a", 2));  // NUL kept
  std::string big(100000, '\x82');
  EXPECT_FALSE(cp.ToUtf8(big).empty());
}

TEST(CodePage, ActiveCodePageFromTheProfile) {
  ResetActiveCodePage();
  EXPECT_EQ(ActiveCodePage().Number(), 932);
  zelko_testing::WriteFile(zelko_testing::ConfigDir() + "/zelko.ini",
                           "[zelko300]\ncode_page=1252\n");
  ResetActiveCodePage();
  EXPECT_EQ(ActiveCodePage().Number(), 1252);
  EXPECT_EQ(ToUtf8("\xE9"), "é");
  zelko_testing::WriteFile(zelko_testing::ConfigDir() + "/zelko.ini",
                           "[zelko300]\ncode_page=99999\n");
  ResetActiveCodePage();
  EXPECT_EQ(ActiveCodePage().Number(), 932);  // an unknown code page falls back to 932
  ResetActiveCodePage();
}

}  // namespace
}  // namespace zplatform
