// The edit box's text rules, without a window: what it shows for a field text, what a put of
// Text becomes, which keystrokes the numeric mask lets pass, and what a keystroke makes of the
// text when every character is formatted. Texts are UTF-8; lengths count code-page bytes.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace zelko {

struct EditRules {
  std::string format;     // the display mask (Format), empty for none
  int format_option = 0;  // 0 none, 1 every character, 2 right align, 3 both
  int max_length = 0;     // 0: no limit
  bool numeric_mask = false;
  // Formats a text with a mask (the host's format service; Visual Basic's Format$ without one).
  std::function<std::string(const std::string &text, const std::string &mask)> format_text;

  bool RightAligned() const { return format_option == 2 || format_option == 3; }
  bool FormatsEveryCharacter() const { return format_option == 1 || format_option == 3; }

  // Within MaxLength: spaces in front up to it, or only the last MaxLength bytes.
  std::string RightAlign(const std::string &text) const;
  // The text a field text is shown as.
  std::string ShownText(const std::string &field_text) const;
  // What a put of Text becomes in run mode.
  std::string PutText(const std::string &text) const;
  // Whether the numeric mask lets the character pass (the bound field's type: 3 Date lets "/"
  // pass, 4 Time ":"; -1 when unknown). Always true without the mask.
  bool Passes(char32_t ch, int field_type) const;
  // With every character formatted: the window text after `typed` (or a backspace, which
  // takes the last byte), formatted and right-aligned; nullopt when the keystroke goes to the
  // window unchanged.
  std::optional<std::string> AfterKeystroke(const std::string &window_text,
                                            const std::string &typed, bool backspace) const;

 private:
  std::string Formatted(const std::string &text) const;
};

}  // namespace zelko
