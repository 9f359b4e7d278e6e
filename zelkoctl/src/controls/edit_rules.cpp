#include "controls/edit_rules.h"

#include "zplatform/codepage.h"
#include "zplatform/vb_format.h"

namespace zelko {

namespace {
constexpr int kDateType = 3;
constexpr int kTimeType = 4;
}  // namespace

std::string EditRules::Formatted(const std::string &text) const {
  return format_text ? format_text(text, format) : zplatform::VbFormat(text, format);
}

std::string EditRules::RightAlign(const std::string &text) const {
  if (max_length == 0) return text;
  std::string cp = zplatform::FromUtf8(text);
  size_t max = static_cast<size_t>(max_length);
  if (cp.size() < max) cp.insert(0, max - cp.size(), ' ');
  if (cp.size() > max) cp = cp.substr(cp.size() - max);
  return zplatform::ToUtf8(cp);
}

std::string EditRules::ShownText(const std::string &text) const {
  if (text.empty()) return text;
  if (!format.empty()) {
    std::string shown = Formatted(text);
    return RightAligned() ? RightAlign(shown) : shown;
  }
  return RightAligned() ? RightAlign(text) : text;
}

std::string EditRules::PutText(const std::string &text) const {
  if (RightAligned()) return RightAlign(format.empty() ? text : Formatted(text));
  return format.empty() ? text : Formatted(text);
}

bool EditRules::Passes(char32_t ch, int field_type) const {
  if (!numeric_mask || ch == U'\b') return true;
  return (ch >= U'0' && ch <= U'9') || ch == U'.' || ch == U'-' || ch == U'+' || ch == U',' ||
         (ch == U'/' && field_type == kDateType) || (ch == U':' && field_type == kTimeType);
}

std::optional<std::string> EditRules::AfterKeystroke(const std::string &window_text,
                                                     const std::string &typed,
                                                     bool backspace) const {
  if (!FormatsEveryCharacter()) return std::nullopt;
  std::string cp = zplatform::FromUtf8(window_text);
  if (backspace) {
    if (!cp.empty()) cp.pop_back();
  } else {
    cp += zplatform::FromUtf8(typed);
  }
  std::string shown = RightAlign(Formatted(zplatform::ToUtf8(cp)));
  if (shown.empty()) return std::nullopt;
  return shown;
}

}  // namespace zelko
