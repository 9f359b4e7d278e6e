#include "controls/edit_rules.h"

#include <gtest/gtest.h>

namespace zelko {
namespace {

EditRules Rules(const std::string &format, int option, int max_length, bool numeric = false) {
  EditRules r;
  r.format = format;
  r.format_option = option;
  r.max_length = max_length;
  r.numeric_mask = numeric;
  return r;
}

TEST(EditRules, ShownTextFormatsAndAlignsWithinMaxLength) {
  struct Case {
    const char *format;
    int option, max;
    const char *text, *shown;
  } cases[] = {
      {"", 0, 0, "AB", "AB"},
      {"", 2, 5, "AB", "   AB"},       // spaces in front up to MaxLength
      {"", 2, 5, "ABCDEFG", "CDEFG"},  // only the last MaxLength bytes
      {"", 2, 5, "ABCDE", "ABCDE"},
      {"", 2, 0, "AB", "AB"},        // MaxLength 0: no alignment
      {"", 1, 5, "AB", "AB"},        // every character formatted, not aligned
      {"", 2, 6, "山田", "  山田"},  // counted in code-page bytes (two per character)
      {"#,##0.00", 0, 0, "1234.5", "1,234.50"},
      {"#,##0.00", 3, 10, "1234.5", "  1,234.50"},
      {"#,##0.00", 2, 0, "", ""},  // an empty text stays empty
  };
  for (const Case &c : cases) {
    EXPECT_EQ(Rules(c.format, c.option, c.max).ShownText(c.text), c.shown)
        << c.format << " " << c.option << " " << c.max << " " << c.text;
  }
  // A put of Text in run mode follows the same rules, an empty text included.
  EXPECT_EQ(Rules("", 2, 4, false).PutText(""), "    ");
  EXPECT_EQ(Rules("0.0", 0, 0).PutText("2"), "2.0");
  // The host's format service, when there is one, is asked instead.
  EditRules hosted = Rules("mask", 0, 0);
  hosted.format_text = [](const std::string &text, const std::string &mask) {
    return "[" + text + "|" + mask + "]";
  };
  EXPECT_EQ(hosted.ShownText("x"), "[x|mask]");
}

TEST(EditRules, TheNumericMaskLetsOnlyNumbersPass) {
  EditRules mask = Rules("", 0, 0, true);
  struct Case {
    char32_t ch;
    int type;  // 0 String, 3 Date, 4 Time, -1 unknown
    bool passes;
  } cases[] = {
      {U'0', 0, true},  {U'9', -1, true}, {U'.', 0, true},   {U'-', 0, true},
      {U'+', 0, true},  {U',', 0, true},  {U'\b', 0, true},  {U'a', 0, false},
      {U'/', 3, true},  {U'/', 0, false}, {U'/', -1, false}, {U':', 4, true},
      {U':', 3, false}, {U' ', 0, false}, {U'１', 0, false}, {U'e', 2, false},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(mask.Passes(c.ch, c.type), c.passes)
        << static_cast<uint32_t>(c.ch) << " type " << c.type;
  }
  EXPECT_TRUE(Rules("", 0, 0, false).Passes(U'a', 0));  // no mask: everything passes
}

TEST(EditRules, EveryCharacterFormattedWhileTyping) {
  struct Case {
    const char *format;
    int option, max;
    const char *window, *typed;
    bool backspace;
    const char *result;  // null: the keystroke goes to the window unchanged
  } cases[] = {
      {"#,##0", 1, 0, "123", "4", false, "1,234"},
      {"#,##0", 3, 7, "1,234", "5", false, " 12,345"},
      {"#,##0", 1, 0, "1,234", "", true, "123"},  // backspace takes the last byte
      {"", 1, 0, "ab", "c", false, "abc"},
      {"", 1, 0, "", "", true, nullptr},           // nothing left: the window has the key
      {"#,##0", 2, 5, "12", "3", false, nullptr},  // right align only: not while typing
      {"#,##0", 0, 0, "12", "3", false, nullptr},
  };
  for (const Case &c : cases) {
    std::optional<std::string> after =
        Rules(c.format, c.option, c.max).AfterKeystroke(c.window, c.typed, c.backspace);
    if (c.result == nullptr) {
      EXPECT_FALSE(after) << c.window << " + " << c.typed;
    } else {
      EXPECT_EQ(after.value_or("<none>"), c.result) << c.window << " + " << c.typed;
    }
  }
}

}  // namespace
}  // namespace zelko
