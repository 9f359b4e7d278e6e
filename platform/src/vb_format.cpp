#include "zplatform/vb_format.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "zplatform/ascii.h"
#include "zplatform/c_numbers.h"
#include "zplatform/codepage.h"

namespace zplatform {
namespace {

bool EqNoCase(const std::string &a, const char *b) {
  size_t n = 0;
  for (; b[n]; ++n) {
    if (n >= a.size() || ToLowerAscii(a[n]) != ToLowerAscii(b[n])) {
      return false;
    }
  }
  return n == a.size();
}

std::string Trim(const std::string &s) {
  size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return std::string();
  return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

// A number as Visual Basic reads a string: sign, digits with thousands separators, a
// fraction, an exponent; a leading currency sign is allowed.
std::optional<double> ReadNumber(const std::string &text) {
  std::string t = Trim(text);
  if (t.rfind("\xC2\xA5", 0) == 0) t = t.substr(2);  // the yen sign
  std::string clean;
  bool digits = false;
  for (size_t i = 0; i < t.size(); ++i) {
    char c = t[i];
    if (std::isdigit(static_cast<unsigned char>(c))) {
      digits = true;
      clean.push_back(c);
    } else if (c == ',' && digits) {
      continue;
    } else if (c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E') {
      clean.push_back(c);
    } else {
      return std::nullopt;
    }
  }
  if (!digits) return std::nullopt;
  char *end = nullptr;
  double v = CStrtod(clean.c_str(), &end);
  // Too large for a number: the text is shown as it is.
  if (end == nullptr || *end != '\0' || !std::isfinite(v)) return std::nullopt;
  return v;
}

struct DateTime {
  int year = 1899, month = 12, day = 30;  // the zero date
  int hour = 0, minute = 0, second = 0;
  bool has_date = false, has_time = false;
};

bool IsLeapYear(int y) {
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

bool ValidDate(int y, int m, int d) {
  static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (y < 100 || y > 9999 || m < 1 || m > 12 || d < 1 || d > kDays[m - 1]) return false;
  return m != 2 || d <= (IsLeapYear(y) ? 29 : 28);
}

// Dates as "yyyy/m/d" (or "-", or two-digit years), times as "h:m[:s]", or both.
std::optional<DateTime> ReadDate(const std::string &text) {
  std::string t = Trim(text);
  DateTime dt;
  size_t space = t.find(' ');
  std::string date_part = space == std::string::npos ? t : t.substr(0, space);
  std::string time_part = space == std::string::npos ? std::string() : Trim(t.substr(space + 1));
  if (date_part.find(':') != std::string::npos && time_part.empty()) {
    time_part = date_part;
    date_part.clear();
  }
  if (!date_part.empty()) {
    int y, m, d;
    char s1, s2;
    char rest;
    if (std::sscanf(date_part.c_str(), "%d%c%d%c%d%c", &y, &s1, &m, &s2, &d, &rest) != 5 ||
        s1 != s2 || (s1 != '/' && s1 != '-')) {
      return std::nullopt;
    }
    if (y < 100) y += y < 30 ? 2000 : 1900;
    if (!ValidDate(y, m, d)) return std::nullopt;
    dt.year = y, dt.month = m, dt.day = d, dt.has_date = true;
  }
  if (!time_part.empty()) {
    int h, n, s = 0;
    char rest;
    int got = std::sscanf(time_part.c_str(), "%d:%d:%d%c", &h, &n, &s, &rest);
    if (got < 2 || got > 3 || h < 0 || h > 23 || n < 0 || n > 59 || s < 0 || s > 59)
      return std::nullopt;
    dt.hour = h, dt.minute = n, dt.second = s, dt.has_time = true;
  }
  if (!dt.has_date && !dt.has_time) return std::nullopt;
  return dt;
}

int Weekday(const DateTime &d) {  // 0 Sunday
  int y = d.year, m = d.month;
  if (m < 3) {
    m += 12;
    --y;
  }
  int k = y % 100, j = y / 100;
  int h = (d.day + 13 * (m + 1) / 5 + k + k / 4 + j / 4 + 5 * j) % 7;  // 0 Saturday
  return (h + 6) % 7;
}

std::string Two(int v) {
  char b[16];
  std::snprintf(b, sizeof b, "%02d", v);
  return b;
}

// Splits a mask into sections at ";" outside quotes.
std::vector<std::string> Sections(const std::string &mask) {
  std::vector<std::string> out(1);
  bool quoted = false;
  for (size_t i = 0; i < mask.size(); ++i) {
    char c = mask[i];
    if (c == '"') quoted = !quoted;
    if (c == '\\' && i + 1 < mask.size() && !quoted) {
      out.back() += mask.substr(i, 2);
      ++i;
      continue;
    }
    if (c == ';' && !quoted) {
      out.emplace_back();
      continue;
    }
    out.back().push_back(c);
  }
  return out;
}

// ---- Strings --------------------------------------------------------------------------

std::vector<std::string> Utf8Chars(const std::string &s) {
  std::vector<std::string> chars;
  for (size_t i = 0; i < s.size();) {
    size_t n = Utf8SequenceLength(std::string_view(s).substr(i));
    chars.push_back(s.substr(i, n));
    i += n;
  }
  return chars;
}

std::string FormatString(const std::string &text, const std::string &mask) {
  bool lower = false, upper = false, left = false;
  struct Piece {
    bool placeholder;
    bool optional;  // &
    std::string literal;
  };
  std::vector<Piece> pieces;
  for (size_t i = 0; i < mask.size(); ++i) {
    char c = mask[i];
    if (c == '@' || c == '&') {
      pieces.push_back({true, c == '&', ""});
    } else if (c == '<') {
      lower = true;
    } else if (c == '>') {
      upper = true;
    } else if (c == '!') {
      left = true;
    } else if (c == '\\' && i + 1 < mask.size()) {
      pieces.push_back({false, false, mask.substr(++i, 1)});
    } else if (c == '"') {
      size_t end = mask.find('"', i + 1);
      pieces.push_back(
          {false, false,
           mask.substr(i + 1, end == std::string::npos ? std::string::npos : end - i - 1)});
      i = end == std::string::npos ? mask.size() : end;
    } else {
      pieces.push_back({false, false, std::string(1, c)});
    }
  }
  std::string t = text;
  for (char &c : t) {
    if (lower) c = ToLowerAscii(c);
    if (upper) c = ToUpperAscii(c);
  }
  std::vector<std::string> chars = Utf8Chars(t);
  size_t holders = 0;
  for (const Piece &p : pieces)
    holders += p.placeholder;
  std::vector<std::string> out(pieces.size());
  std::string extra;
  if (left) {
    size_t next = 0;
    for (size_t i = 0; i < pieces.size(); ++i) {
      if (!pieces[i].placeholder) {
        out[i] = pieces[i].literal;
      } else if (next < chars.size()) {
        out[i] = chars[next++];
      } else {
        out[i] = pieces[i].optional ? "" : " ";
      }
    }
    for (; next < chars.size(); ++next)
      extra += chars[next];
    std::string s;
    for (const std::string &p : out)
      s += p;
    return s + extra;
  }
  long next = static_cast<long>(chars.size()) - 1;
  for (size_t k = pieces.size(); k-- > 0;) {
    if (!pieces[k].placeholder) {
      out[k] = pieces[k].literal;
    } else if (next >= 0) {
      out[k] = chars[next--];
    } else {
      out[k] = pieces[k].optional ? "" : " ";
    }
  }
  for (long i = 0; i <= next; ++i)
    extra += chars[i];
  std::string s = extra;
  for (const std::string &p : out)
    s += p;
  (void)holders;
  return s;
}

// ---- Numbers --------------------------------------------------------------------------

double RoundHalfAway(double v, int decimals) {
  double scale = std::pow(10.0, decimals);
  double x = std::fabs(v) * scale;
  double r = std::floor(x + 0.5 + 1e-9 * (x > 1 ? 1 : 0));
  return std::copysign(r / scale, v);
}

std::string Group(const std::string &digits) {
  std::string out;
  int n = static_cast<int>(digits.size());
  for (int i = 0; i < n; ++i) {
    out.push_back(digits[i]);
    if ((n - i - 1) % 3 == 0 && i + 1 < n) out.push_back(',');
  }
  return out;
}

// One numeric section applied to a non-negative value.
std::string FormatNumberSection(double value, const std::string &section) {
  // Literals around the number, the number's placeholders, an exponent part.
  std::string prefix, suffix, int_mask, frac_mask, exp_mask;
  bool percent = false, seen_digit = false, seen_point = false, grouping = false, in_exp = false;
  char exp_sign = 0;
  int scaling = 0;
  std::string *literal_target = &prefix;
  for (size_t i = 0; i < section.size(); ++i) {
    char c = section[i];
    if (in_exp) {
      if (c == '0' || c == '#') {
        exp_mask.push_back(c);
        continue;
      }
      in_exp = false;
    }
    if (c == '0' || c == '#') {
      (seen_point ? frac_mask : int_mask).push_back(c);
      seen_digit = true;
      literal_target = &suffix;
      continue;
    }
    if (c == '.' && !seen_point) {
      seen_point = true;
      seen_digit = true;
      literal_target = &suffix;
      continue;
    }
    if (c == ',' && !seen_point) {
      // Before the point with digits on both sides: grouping; right before the point (or
      // the end of the digits): scaling by a thousand.
      size_t j = i;
      while (j < section.size() && section[j] == ',')
        ++j;
      bool digit_follows = j < section.size() && (section[j] == '0' || section[j] == '#');
      if (digit_follows && seen_digit) {
        grouping = true;
      } else if (seen_digit) {
        scaling += static_cast<int>(j - i);
      }
      i = j - 1;
      continue;
    }
    if ((c == 'E' || c == 'e') && i + 1 < section.size() &&
        (section[i + 1] == '+' || section[i + 1] == '-')) {
      exp_sign = section[++i];
      in_exp = true;
      continue;
    }
    if (c == '%') {
      percent = true;
      literal_target->push_back('%');
      continue;
    }
    if (c == '\\' && i + 1 < section.size()) {
      literal_target->push_back(section[++i]);
      continue;
    }
    if (c == '"') {
      size_t end = section.find('"', i + 1);
      literal_target->append(section, i + 1,
                             end == std::string::npos ? std::string::npos : end - i - 1);
      i = end == std::string::npos ? section.size() : end;
      continue;
    }
    literal_target->push_back(c);
  }
  if (percent) value *= 100;
  for (int k = 0; k < scaling; ++k)
    value /= 1000;
  int decimals = static_cast<int>(frac_mask.size());
  int exponent = 0;
  if (exp_sign != 0 && value != 0) {
    int int_places = std::max<int>(1, static_cast<int>(int_mask.size()));
    exponent = static_cast<int>(std::floor(std::log10(value))) - (int_places - 1);
    value /= std::pow(10.0, exponent);
    if (RoundHalfAway(value, decimals) >= std::pow(10.0, int_places)) {
      value /= 10;
      ++exponent;
    }
  }
  double rounded = RoundHalfAway(value, decimals);
  char buf[512];
  CSnprintf(buf, sizeof buf, "%.*f", decimals, rounded);
  std::string digits = buf;
  std::string int_digits = digits.substr(0, digits.find('.'));
  std::string frac_digits = decimals > 0 ? digits.substr(digits.find('.') + 1) : std::string();
  // Integer part: at least as many digits as "0" placeholders; no lone zero for "#".
  size_t min_int = 0;
  for (char c : int_mask)
    min_int += c == '0';
  if (int_digits == "0" && min_int == 0) int_digits.clear();
  while (int_digits.size() < min_int)
    int_digits.insert(int_digits.begin(), '0');
  if (grouping) int_digits = Group(int_digits);
  // Fraction: trailing "#" positions drop their zeros.
  size_t keep = frac_digits.size();
  while (keep > 0 && frac_mask[keep - 1] == '#' && frac_digits[keep - 1] == '0')
    --keep;
  frac_digits.resize(keep);
  std::string number = int_digits + (seen_point ? "." : "") + frac_digits;
  if (exp_sign != 0) {
    std::string digits_e = std::to_string(std::abs(exponent));
    size_t width = std::max<size_t>(1, exp_mask.size());
    if (digits_e.size() < width) digits_e.insert(0, width - digits_e.size(), '0');
    std::string sign = exponent < 0 ? "-" : (exp_sign == '+' ? "+" : "");
    number += "E" + sign + digits_e;
  }
  return prefix + number + suffix;
}

std::string FormatNumber(double v, const std::string &mask) {
  std::vector<std::string> s = Sections(mask);
  if (v < 0) {
    if (s.size() >= 2 && !s[1].empty()) return FormatNumberSection(-v, s[1]);
    std::string r = FormatNumberSection(-v, s[0]);
    // A value that rounds to zero shows no sign.
    bool zero = r.find_first_of("123456789") == std::string::npos;
    return zero ? r : "-" + r;
  }
  if (v == 0 && s.size() >= 3 && !s[2].empty()) return FormatNumberSection(0, s[2]);
  return FormatNumberSection(v, s[0]);
}

// ---- Dates ----------------------------------------------------------------------------

const char *const kMonths[] = {"January",   "February", "March",    "April",
                               "May",       "June",     "July",     "August",
                               "September", "October",  "November", "December"};
const char *const kDays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                             "Thursday", "Friday", "Saturday"};
const char *const kJapaneseDays[] = {"日", "月", "火", "水", "木", "金", "土"};

std::string LongTime(const DateTime &d) {
  return std::to_string(d.hour) + ":" + Two(d.minute) + ":" + Two(d.second);
}

// The Japanese short and long date.
std::string ShortDate(const DateTime &d) {
  return std::to_string(d.year) + "/" + Two(d.month) + "/" + Two(d.day);
}
constexpr const char kLongDateMask[] = "yyyy\"年\"m\"月\"d\"日\"";

std::string GeneralDate(const DateTime &d) {
  std::string s;
  if (d.has_date) s = ShortDate(d);
  if (d.has_time && (d.hour || d.minute || d.second || !d.has_date))
    s += (s.empty() ? "" : " ") + LongTime(d);
  return s;
}

int DayOfYear(const DateTime &d) {
  static const int kBefore[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
  return kBefore[d.month - 1] + d.day + (IsLeapYear(d.year) && d.month > 2 ? 1 : 0);
}

// The Japanese eras, newest first, from the day each began (Meiji from 1868/1/1, as the
// Windows calendar that Visual Basic formats with counts it).
struct Era {
  int year, month, day;
  const char *letter, *initial, *name;
};
const Era kEras[] = {{2019, 5, 1, "R", "令", "令和"},
                     {1989, 1, 8, "H", "平", "平成"},
                     {1926, 12, 25, "S", "昭", "昭和"},
                     {1912, 7, 30, "T", "大", "大正"},
                     {1868, 1, 1, "M", "明", "明治"}};

// Nothing before the first era: its year then counts as in the Western calendar.
const Era *EraOf(const DateTime &d) {
  for (const Era &e : kEras) {
    if (std::tie(d.year, d.month, d.day) >= std::tie(e.year, e.month, e.day)) return &e;
  }
  return nullptr;
}

std::string FormatDate(const DateTime &d, const std::string &mask) {
  std::string out;
  bool after_hour = false;
  bool twelve = false;
  for (const char *designator : {"AM/PM", "am/pm", "A/P", "a/p", "AMPM"}) {
    if (mask.find(designator) != std::string::npos) twelve = true;
  }
  size_t i = 0;
  auto run = [&](char c) {
    size_t n = 0;
    while (i + n < mask.size() && ToLowerAscii(mask[i + n]) == c)
      ++n;
    return n;
  };
  while (i < mask.size()) {
    char c = ToLowerAscii(mask[i]);
    if (mask.compare(i, 5, "AM/PM") == 0 || mask.compare(i, 5, "am/pm") == 0) {
      bool am = d.hour < 12;
      out += mask[i] == 'A' ? (am ? "AM" : "PM") : (am ? "am" : "pm");
      i += 5;
      continue;
    }
    if (mask.compare(i, 3, "A/P") == 0 || mask.compare(i, 3, "a/p") == 0) {
      out.push_back(d.hour < 12 ? mask[i] : mask[i + 2]);
      i += 3;
      continue;
    }
    if (mask.compare(i, 4, "AMPM") == 0) {  // the locale's designators
      out += d.hour < 12 ? "午前" : "午後";
      i += 4;
      continue;
    }
    if (c == '"') {
      size_t end = mask.find('"', i + 1);
      out += mask.substr(i + 1, end == std::string::npos ? std::string::npos : end - i - 1);
      i = end == std::string::npos ? mask.size() : end + 1;
      continue;
    }
    if (c == '\\' && i + 1 < mask.size()) {
      out.push_back(mask[i + 1]);
      i += 2;
      continue;
    }
    size_t n = (c == 'y' || c == 'm' || c == 'd' || c == 'h' || c == 'n' || c == 's' || c == 'a' ||
                c == 't' || c == 'c' || c == 'g' || c == 'e' || c == 'w')
                   ? run(c)
                   : 0;
    const Era *era = c == 'g' || c == 'e' ? EraOf(d) : nullptr;
    if (c == 'y' && n >= 3) {
      out += std::to_string(d.year);
    } else if (c == 'y' && n == 2) {
      out += Two(d.year % 100);
    } else if (c == 'y') {
      out += std::to_string(DayOfYear(d));
    } else if (c == 'g') {
      if (era != nullptr) out += n == 1 ? era->letter : n == 2 ? era->initial : era->name;
    } else if (c == 'e') {
      int year = era != nullptr ? d.year - era->year + 1 : d.year;
      out += n >= 2 ? Two(year) : std::to_string(year);
    } else if (c == 'w' && n >= 2) {  // weeks from Sunday, the first holding 1 January
      DateTime first = d;
      first.month = first.day = 1;
      out += std::to_string((DayOfYear(d) - 1 + Weekday(first)) / 7 + 1);
    } else if (c == 'w') {
      out += std::to_string(Weekday(d) + 1);
    } else if (c == 'q') {
      out += std::to_string((d.month + 2) / 3);
    } else if (c == 'm' && n <= 2 && after_hour) {
      out += n == 2 ? Two(d.minute) : std::to_string(d.minute);
    } else if (c == 'm' && n >= 4) {
      out += kMonths[d.month - 1];
    } else if (c == 'm' && n == 3) {
      out += std::string(kMonths[d.month - 1]).substr(0, 3);
    } else if (c == 'm') {
      out += n == 2 ? Two(d.month) : std::to_string(d.month);
    } else if (c == 'd' && n == 5) {
      out += ShortDate(d);
    } else if (c == 'd' && n >= 6) {
      out += FormatDate(d, kLongDateMask);
    } else if (c == 'd' && n >= 4) {
      out += kDays[Weekday(d)];
    } else if (c == 'd' && n == 3) {
      out += std::string(kDays[Weekday(d)]).substr(0, 3);
    } else if (c == 'd') {
      out += n == 2 ? Two(d.day) : std::to_string(d.day);
    } else if (c == 'a' && n >= 3) {
      out += std::string(kJapaneseDays[Weekday(d)]) + (n >= 4 ? "曜日" : "");
    } else if (c == 'h') {
      int h = twelve ? (d.hour % 12 == 0 ? 12 : d.hour % 12) : d.hour;
      out += n >= 2 ? Two(h) : std::to_string(h);
      after_hour = true;
      i += n;
      continue;
    } else if (c == 'n') {
      out += n >= 2 ? Two(d.minute) : std::to_string(d.minute);
    } else if (c == 's') {
      out += n >= 2 ? Two(d.second) : std::to_string(d.second);
    } else if (c == 't' && n >= 5) {
      out += LongTime(d);
    } else if (c == 'c') {
      out += GeneralDate(d);
    } else {
      out.push_back(mask[i]);
      n = 1;
    }
    if (c != ':' && c != ' ') after_hour = after_hour && (c == ':');
    i += n == 0 ? 1 : n;
  }
  return out;
}

bool IsDateMask(const std::string &mask) {
  bool quoted = false;
  for (size_t i = 0; i < mask.size(); ++i) {
    char c = ToLowerAscii(mask[i]);
    if (mask[i] == '"') quoted = !quoted;
    if (quoted) continue;
    if (c == '\\') {
      ++i;
      continue;
    }
    if (c == 'y' || c == 'm' || c == 'd' || c == 'h' || c == 'n' || c == 's' || c == 'c' ||
        c == 't' || c == 'g' || c == 'e' || c == 'w' || c == 'q' ||
        (c == 'a' && i + 2 < mask.size() && ToLowerAscii(mask[i + 1]) == 'a')) {
      return true;
    }
  }
  return false;
}

bool IsStringMask(const std::string &mask) {
  bool quoted = false;
  for (size_t i = 0; i < mask.size(); ++i) {
    if (mask[i] == '"') quoted = !quoted;
    if (quoted) continue;
    if (mask[i] == '\\') {
      ++i;
      continue;
    }
    if (mask[i] == '@' || mask[i] == '&' || mask[i] == '<' || mask[i] == '>' || mask[i] == '!')
      return true;
  }
  return false;
}

}  // namespace

std::string VbFormat(const std::string &text, const std::string &mask) {
  if (mask.empty()) return text;
  std::string m = Trim(mask);
  // Named formats.
  struct Named {
    const char *name;
    const char *numeric;
  };
  static const Named kNumeric[] = {{"Fixed", "0.00"},
                                   {"Standard", "#,##0.00"},
                                   {"Percent", "0.00%"},
                                   {"Scientific", "0.00E+00"}};
  for (const Named &n : kNumeric) {
    if (EqNoCase(m, n.name)) {
      auto v = ReadNumber(text);
      return v ? FormatNumber(*v, n.numeric) : text;
    }
  }
  if (EqNoCase(m, "General Number")) {
    auto v = ReadNumber(text);
    if (!v) return text;
    char b[64];
    CSnprintf(b, sizeof b, "%.15g", *v);
    return b;
  }
  if (EqNoCase(m, "Currency")) {
    auto v = ReadNumber(text);
    if (!v) return text;
    std::string r = FormatNumber(std::fabs(*v), "#,##0");
    return (*v < 0 && r != "0" ? "-" : "") + std::string("\xC2\xA5") + r;
  }
  struct Pair {
    const char *name, *yes, *no;
  };
  static const Pair kPairs[] = {
      {"Yes/No", "Yes", "No"}, {"True/False", "True", "False"}, {"On/Off", "On", "Off"}};
  for (const Pair &p : kPairs) {
    if (EqNoCase(m, p.name)) {
      auto v = ReadNumber(text);
      if (!v) {
        if (EqNoCase(Trim(text), "True")) return p.yes;
        if (EqNoCase(Trim(text), "False")) return p.no;
        return text;
      }
      return *v != 0 ? p.yes : p.no;
    }
  }
  static const Named kDates[] = {{"Long Date", kLongDateMask},
                                 {"Short Date", "yyyy/mm/dd"},
                                 {"Long Time", "ttttt"},
                                 {"Medium Time", "hh:nn AM/PM"},
                                 {"Short Time", "hh:nn"}};
  if (EqNoCase(m, "General Date")) {
    auto d = ReadDate(text);
    return d ? GeneralDate(*d) : text;
  }
  for (const Named &n : kDates) {
    if (EqNoCase(m, n.name)) {
      auto d = ReadDate(text);
      if (!d) return text;
      std::string r = FormatDate(*d, n.numeric);
      if (EqNoCase(m, "Medium Time")) {
        // The Japanese designators.
        size_t at = r.find("AM");
        if (at == std::string::npos) at = r.find("PM");
        if (at != std::string::npos) r.replace(at, 2, d->hour < 12 ? "午前" : "午後");
      }
      return r;
    }
  }
  if (IsStringMask(mask)) return FormatString(text, mask);
  if (mask.find_first_of("0#") != std::string::npos || mask.find('%') != std::string::npos) {
    auto v = ReadNumber(text);
    return v ? FormatNumber(*v, mask) : text;
  }
  if (IsDateMask(mask)) {
    auto d = ReadDate(text);
    return d ? FormatDate(*d, mask) : text;
  }
  auto v = ReadNumber(text);
  return v ? FormatNumber(*v, mask) : text;
}

}  // namespace zplatform
