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

// The lookup tables give iconv's answer for every input: each single byte, each pair, each
// pair cut short, every character of the Basic Multilingual Plane, malformed UTF-8, and
// random texts.
TEST(CodePage, TablesAnswerAsIconvDoes) {
  for (int number : {932, 1252}) {
    CodePage cp(number);
    ASSERT_TRUE(cp.Available());
    for (int a = 0; a < 256; ++a) {
      std::string one{static_cast<char>(a)};
      ASSERT_EQ(cp.ToUtf8(one), cp.ToUtf8ByIconv(one)) << number << ": " << a;
      ASSERT_EQ(cp.ToUtf8(one + "A"), cp.ToUtf8ByIconv(one + "A")) << number << ": " << a;
      for (int b = 0; b < 256; ++b) {
        std::string two{static_cast<char>(a), static_cast<char>(b)};
        ASSERT_EQ(cp.ToUtf8(two), cp.ToUtf8ByIconv(two)) << number << ": " << a << "," << b;
      }
    }
    for (uint32_t c = 1; c < 0x10000; ++c) {
      std::string utf8;
      if (c < 0x80) {
        utf8 = {static_cast<char>(c)};
      } else if (c < 0x800) {
        utf8 = {static_cast<char>(0xC0 | (c >> 6)), static_cast<char>(0x80 | (c & 0x3F))};
      } else {
        utf8 = {static_cast<char>(0xE0 | (c >> 12)), static_cast<char>(0x80 | ((c >> 6) & 0x3F)),
                static_cast<char>(0x80 | (c & 0x3F))};
      }
      ASSERT_EQ(cp.FromUtf8(utf8 + "x"), cp.FromUtf8ByIconv(utf8 + "x")) << number << ": " << c;
    }
    const char *odd[] = {"\xC0\x80",
                         "\xED\xA0\x80",
                         "\xF0\x9F\x98\x80",
                         "\xF4\x90\x80\x80",
                         "\x80",
                         "\xE3\x81",
                         "a\xFF"
                         "b",
                         "\xE3\x81\x82\xE3"};
    for (const char *text : odd)
      EXPECT_EQ(cp.FromUtf8(text), cp.FromUtf8ByIconv(text)) << text;
    uint32_t seed = 12345;
    for (int round = 0; round < 2000; ++round) {
      std::string text;
      for (int i = 0; i < 12; ++i) {
        seed = seed * 1103515245 + 12345;
        text.push_back(static_cast<char>(seed >> 16));
      }
      ASSERT_EQ(cp.ToUtf8(text), cp.ToUtf8ByIconv(text));
      std::string utf8 = cp.ToUtf8ByIconv(text);
      ASSERT_EQ(cp.FromUtf8(utf8), cp.FromUtf8ByIconv(utf8));
      ASSERT_EQ(cp.FromUtf8(text), cp.FromUtf8ByIconv(text));
    }
    // Runs of ASCII (copied whole) between lead bytes, trail bytes in the ASCII range and
    // bytes cut short at the end.
    const char mixed[] = {'A',    '1',    ',',    ' ',    '\\',   '@',
                          '\x81', '\x82', '\x88', '\xA0', '\xE0', '\xFC'};
    for (int round = 0; round < 4000; ++round) {
      std::string text;
      for (int i = 0; i < 16; ++i) {
        seed = seed * 1103515245 + 12345;
        text.push_back(mixed[(seed >> 16) % sizeof mixed]);
      }
      ASSERT_EQ(cp.ToUtf8(text), cp.ToUtf8ByIconv(text)) << number << ": " << text;
      std::string utf8 = cp.ToUtf8ByIconv(text);
      ASSERT_EQ(cp.FromUtf8(utf8), cp.FromUtf8ByIconv(utf8)) << number << ": " << utf8;
    }
    // ASCII is scanned eight bytes at a time: a character outside it at every place of runs
    // shorter and longer than that.
    for (size_t length = 0; length <= 20; ++length) {
      for (size_t at = 0; at <= length; ++at) {
        std::string bytes(length, 'q');
        bytes.insert(at, "\x82\xA0");  // HIRAGANA LETTER A in 932, two letters in 1252
        std::string utf8 = cp.ToUtf8ByIconv(bytes);
        ASSERT_EQ(cp.ToUtf8(bytes), utf8) << number << ": " << length << "," << at;
        ASSERT_EQ(cp.FromUtf8(utf8), cp.FromUtf8ByIconv(utf8)) << number << ": " << length;
      }
    }
    // Whether a text comes back from the code page unchanged, told without the text back:
    // as the text back tells it, for every character and for mixed texts.
    auto round_trips_as_text_says = [&](const std::string &utf8) {
      std::string bytes;
      bool says = cp.FromUtf8RoundTrips(utf8, &bytes);
      return bytes == cp.FromUtf8(utf8) && says == (cp.ToUtf8(bytes) == utf8);
    };
    for (uint32_t c = 0x80; c < 0x10000; ++c) {
      if (c >= 0xD800 && c < 0xE000) continue;
      std::string utf8 = c < 0x800 ? std::string{static_cast<char>(0xC0 | (c >> 6)),
                                                 static_cast<char>(0x80 | (c & 0x3F))}
                                   : std::string{static_cast<char>(0xE0 | (c >> 12)),
                                                 static_cast<char>(0x80 | ((c >> 6) & 0x3F)),
                                                 static_cast<char>(0x80 | (c & 0x3F))};
      ASSERT_TRUE(round_trips_as_text_says("a" + utf8 + "1")) << number << ": " << c;
    }
    for (const char *text : odd)
      EXPECT_TRUE(round_trips_as_text_says(text)) << text;
    EXPECT_TRUE(round_trips_as_text_says("\xE3\x80\x9C"));  // WAVE DASH: no code of its own
    for (int round = 0; round < 2000; ++round) {
      std::string text;
      for (int i = 0; i < 12; ++i) {
        seed = seed * 1103515245 + 12345;
        text.push_back(static_cast<char>(seed >> 16));
      }
      ASSERT_TRUE(round_trips_as_text_says(cp.ToUtf8ByIconv(text))) << number;
    }
  }
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
  // The JIS forms Linux input methods type have the codes of the forms Windows reads there:
  // a text holds them, a path (which must read back as itself) does not.
  const std::pair<const char *, const char *> jis_forms[] = {
      {"〜", "\x81\x60"}, {"‖", "\x81\x61"}, {"−", "\x81\x7C"},
      {"—", "\x81\x5C"},  {"¢", "\x81\x91"}, {"£", "\x81\x92"},
      {"¬", "\x81\xCA"},  {"¥", "\x5C"},     {"‾", "\x7E"}};
  for (const auto &[form, code] : jis_forms) {
    std::string bytes;
    EXPECT_TRUE(cp.FromUtf8Holds(std::string("10") + form + "20", &bytes)) << form;
    EXPECT_EQ(bytes, std::string("10") + code + "20") << form;
    EXPECT_FALSE(cp.FromUtf8RoundTrips(form, &bytes)) << form;
  }
  std::string held;
  EXPECT_FALSE(cp.FromUtf8Holds("〜€", &held));  // the euro sign has no code at all
  EXPECT_EQ(held, "\x81\x60?");
  EXPECT_TRUE(cp.FromUtf8Holds("山田", &held));
  EXPECT_EQ(held, "\x8E\x52\x93\x63");
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

TEST(CodePage, Utf8OfCodePointsAtEveryLength) {
  const std::pair<uint32_t, std::string> cases[] = {{0x41, "A"},
                                                    {0x7F, "\x7F"},
                                                    {0x80, "\xC2\x80"},
                                                    {0x7FF, "\xDF\xBF"},
                                                    {0x800, "\xE0\xA0\x80"},
                                                    {0x6771, "\xE6\x9D\xB1"},  // 東
                                                    {0xFFFF, "\xEF\xBF\xBF"},
                                                    {0x10000, "\xF0\x90\x80\x80"},
                                                    {0x1F600, "\xF0\x9F\x98\x80"},
                                                    {0x10FFFF, "\xF4\x8F\xBF\xBF"}};
  std::string all, expected;
  for (const auto &[code, utf8] : cases) {
    std::string one;
    AppendUtf8(code, &one);
    EXPECT_EQ(one, utf8) << std::hex << code;
    AppendUtf8(code, &all);
    expected += utf8;
    // The sequence is read back as one character; cut short, its first byte stands alone.
    EXPECT_EQ(Utf8SequenceLength(utf8), utf8.size()) << std::hex << code;
    if (utf8.size() > 1) {
      EXPECT_EQ(Utf8SequenceLength(utf8.substr(0, utf8.size() - 1)), 1u);
    }
  }
  EXPECT_EQ(all, expected);  // appended, not replaced
}

}  // namespace
}  // namespace zplatform
