#include "number_text.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "engine/field_conversion.h"

namespace zelkocli {
namespace {

// The farthest a point is moved: past any field's digits, yet a short text.
constexpr long kMaxShift = 1000;

size_t SkipDigits(const std::string &s, size_t at) {
  while (at < s.size() && std::isdigit(static_cast<unsigned char>(s[at])))
    ++at;
  return at;
}

}  // namespace

bool IsNumberType(int type) {
  switch (type) {
    case zelko::kInteger:
    case zelko::kFloat:
    case zelko::kDecimal:
    case zelko::kMoney:
    case zelko::kNumeric:
    case zelko::kBFloat:
    case zelko::kUBin:
    case zelko::kAutoInc:
      return true;
    default:
      return false;
  }
}

bool WithoutExponent(const std::string &text, std::string *fixed) {
  // -?D+(.D+)?[eE][+-]?D+, as JSON writes numbers.
  if (text.find_first_of("eE") == std::string::npos) return false;
  bool negative = !text.empty() && text[0] == '-';
  size_t at = negative ? 1 : 0;
  size_t digits_end = SkipDigits(text, at);
  if (digits_end == at) return false;
  std::string integer = text.substr(at, digits_end - at), fraction;
  at = digits_end;
  if (at < text.size() && text[at] == '.') {
    size_t end = SkipDigits(text, at + 1);
    if (end == at + 1) return false;
    fraction = text.substr(at + 1, end - at - 1);
    at = end;
  }
  if (at >= text.size() || (text[at] != 'e' && text[at] != 'E')) return false;
  ++at;
  bool down = at < text.size() && text[at] == '-';
  if (at < text.size() && (text[at] == '-' || text[at] == '+')) ++at;
  size_t exponent_end = SkipDigits(text, at);
  if (exponent_end == at || exponent_end != text.size()) return false;
  std::string magnitude = text.substr(at);
  magnitude.erase(0, std::min(magnitude.find_first_not_of('0'), magnitude.size() - 1));
  if (magnitude.size() > 4) return false;
  long shift = std::atol(magnitude.c_str());
  if (shift > kMaxShift) return false;
  if (down) shift = -shift;

  // The point moves `shift` places through the digits, zeros filling in where it leaves them.
  std::string digits = integer + fraction;
  long whole = static_cast<long>(integer.size()) + shift;
  if (whole <= 0) {
    digits.insert(0, static_cast<size_t>(1 - whole), '0');
    whole = 1;
  } else if (whole > static_cast<long>(digits.size())) {
    digits.append(static_cast<size_t>(whole) - digits.size(), '0');
  }
  std::string before = digits.substr(0, static_cast<size_t>(whole));
  std::string after = digits.substr(static_cast<size_t>(whole));
  before.erase(0, std::min(before.find_first_not_of('0'), before.size() - 1));
  after.erase(after.find_last_not_of('0') + 1);
  *fixed = (negative ? "-" : "") + before + (after.empty() ? "" : "." + after);
  return true;
}

}  // namespace zelkocli
