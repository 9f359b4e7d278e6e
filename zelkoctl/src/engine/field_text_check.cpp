#include "field_text_check.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "field_conversion.h"
#include "module.h"
#include "zplatform/c_numbers.h"
#include "zplatform/codepage.h"

namespace zelko {

namespace {

struct Number {
  bool negative = false;
  std::string integer;   // digits without leading zeros
  std::string fraction;  // digits without trailing zeros
};

// [+-] digits with optional "," groups, optional "." fraction; at least one digit.
bool ParseDecimalText(const std::string &text, Number *n) {
  size_t i = 0;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) n->negative = text[i++] == '-';
  bool digits = false;
  // Commas only between thousands (the conversion drops them): "1,5" is no 15.
  size_t group = 0;
  bool grouped = false;
  for (; i < text.size() && ((text[i] >= '0' && text[i] <= '9') || text[i] == ','); ++i) {
    if (text[i] == ',') {
      if (group == 0 || group > 3 || (grouped && group != 3)) return false;
      grouped = true;
      group = 0;
      continue;
    }
    ++group;
    digits = true;
    if (!n->integer.empty() || text[i] != '0') n->integer.push_back(text[i]);
  }
  if (grouped && group != 3) return false;
  if (i < text.size() && text[i] == '.') {
    for (++i; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
      digits = true;
      n->fraction.push_back(text[i]);
    }
  }
  while (!n->fraction.empty() && n->fraction.back() == '0')
    n->fraction.pop_back();
  return digits && i == text.size();
}

// The text in quotes, NUL shown as \0, a long one cut between characters.
std::string Quoted(const std::string &text) {
  const zplatform::CodePage &code_page = zplatform::ActiveCodePage();
  std::string shown;
  for (size_t i = 0; i < text.size(); ++i) {
    size_t width = code_page.IsLeadByte(static_cast<unsigned char>(text[i])) ? 2 : 1;
    if (text.size() > 40 && shown.size() + width > 37) {
      shown += "...";
      break;
    }
    if (text[i] == '\0') {
      shown += "\\0";
    } else {
      shown.append(text, i, std::min(width, text.size() - i));
    }
    i += width - 1;
  }
  return "\"" + shown + "\"";
}

int DaysInMonth(int month, int year) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

std::string IntegerProblem(const FieldDescriptor &f, const std::string &text) {
  Number n;
  if (!ParseDecimalText(text, &n) || !n.fraction.empty() || text.find('.') != std::string::npos) {
    return Quoted(text) + " is not a whole number";
  }
  long long low = 0, high = 0;
  int size = f.size;
  if (f.data_type == kInteger) {
    // One byte reads back unsigned; two and four bytes signed.
    if (size == 1) high = 255;
    if (size == 2) low = -32768, high = 32767;
    if (size == 4) low = -2147483648LL, high = 2147483647LL;
  } else if (f.data_type == kUBin) {
    if (size == 1) high = 255;
    if (size == 2) high = 65535;
    if (size == 4) high = 4294967295LL;
  } else {
    if (size == 2) high = 32767;  // larger values read back sign-extended
    if (size == 4) high = 4294967295LL;
  }
  if (high == 0)
    return std::string(DataTypeShortName(f.data_type)) + " of " + std::to_string(size) +
           " bytes is not supported";
  if (n.integer.size() > 12) return Quoted(text) + " is out of range";
  long long v = 0;
  for (char c : n.integer)  // digits only, at most 12 of them
    v = v * 10 + (c - '0');
  if (n.negative) v = -v;
  if (v < low || v > high) {
    return Quoted(text) + " is out of range (" + std::to_string(low) + " to " +
           std::to_string(high) + ")";
  }
  return std::string();
}

std::string PackedProblem(const FieldDescriptor &f, const std::string &text, size_t digits) {
  Number n;
  if (!ParseDecimalText(text, &n)) return Quoted(text) + " is not a number";
  if (n.fraction.size() > static_cast<size_t>(std::max(f.decimals, 0))) {
    return Quoted(text) + " has more than " + std::to_string(f.decimals) + " decimals";
  }
  size_t integer_room = digits > static_cast<size_t>(f.decimals) ? digits - f.decimals : 0;
  if (n.integer.size() > integer_room) {
    return Quoted(text) + " has more than " + std::to_string(integer_room) +
           " digits before the point";
  }
  return std::string();
}

// Digits only, 1 to `max` of them; the value in *v.
bool DigitsPart(std::string_view part, size_t max, int *v) {
  if (part.empty() || part.size() > max) return false;
  int value = 0;
  for (char c : part) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  *v = value;
  return true;
}

// A date exactly as the conversion reads it, and a real one: four-digit style "YYYY/M/D"
// (month and day of one or two digits) or "YYYY-MM-DD" (the conversion reads its parts by
// position alike), two-digit style "YY/MM/DD". "0000/00/00" is the empty date that dump writes.
std::string DateProblem(const std::string &written) {
  const bool two_digit = Module::Get().Settings().two_digit_year;
  std::string text = written;
  if (!two_digit && text.size() == 10 && text[4] == '-' && text[7] == '-') {
    text[4] = '/';
    text[7] = '/';
  }
  size_t first = text.find('/');
  size_t second = first == std::string::npos ? first : text.find('/', first + 1);
  int year = 0, month = 0, day = 0;
  bool shaped = second != std::string::npos && text.find('/', second + 1) == std::string::npos;
  if (shaped) {
    std::string_view whole(text);
    std::string_view y = whole.substr(0, first), m = whole.substr(first + 1, second - first - 1),
                     d = whole.substr(second + 1);
    shaped = y.size() == (two_digit ? 2u : 4u) && DigitsPart(y, 4, &year) &&
             DigitsPart(m, 2, &month) && DigitsPart(d, 2, &day) &&
             (!two_digit || (m.size() == 2 && d.size() == 2));
  }
  if (!shaped) {
    return Quoted(written) +
           (two_digit ? " is not a date (YY/MM/DD)" : " is not a date (YYYY/MM/DD)");
  }
  if (!two_digit && year == 0 && month == 0 && day == 0) return std::string();
  if (two_digit) year += Module::Get().Settings().TwoDigitCentury();
  if (year < 1 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(month, year))
    return Quoted(written) + " is not a date";
  return std::string();
}

}  // namespace

std::string FieldTextProblem(const FieldDescriptor &f, const std::string &text) {
  // The record would keep the bytes after a NUL, but every reader stops at it.
  if (text.find('\0') != std::string::npos) return Quoted(text) + " holds a NUL character";
  size_t size = f.size > 0 ? static_cast<size_t>(f.size) : 0;
  auto too_long = [&](size_t room) {
    return Quoted(text) + " is " + std::to_string(text.size()) + " bytes; the field holds " +
           std::to_string(room);
  };
  switch (f.data_type) {
    case kString:
      return text.size() > size ? too_long(size) : std::string();
    case kLString:
    case kZString:
    case kNote:
    case kLVar:
      return text.size() + 1 > size ? too_long(size > 0 ? size - 1 : 0) : std::string();
    case kInteger:
    case kUBin:
    case kAutoInc:
      return text.empty() ? std::string() : IntegerProblem(f, text);
    case kFloat:
    case kBFloat: {
      if (text.empty()) return std::string();
      if (size != 4 && size != 8) {
        return std::string(DataTypeShortName(f.data_type)) + " of " + std::to_string(size) +
               " bytes is not supported";
      }
      // The conversion keeps only digits, "." and "-": an exponent would change the value.
      Number n;
      if (!ParseDecimalText(text, &n))
        return Quoted(text) + " is not a number (digits and one point)";
      std::string plain;
      for (char c : text) {
        if (c != ',') plain.push_back(c);
      }
      double v = zplatform::CStrtod(plain.c_str(), nullptr);
      if (!std::isfinite(v) || (size == 4 && std::fabs(v) > 3.4e38))
        return Quoted(text) + " is out of range";
      return std::string();
    }
    case kDecimal:
    case kMoney:
      return text.empty() ? std::string() : PackedProblem(f, text, size > 0 ? 2 * size - 1 : 0);
    case kNumeric:
      return text.empty() ? std::string() : PackedProblem(f, text, size);
    case kDate:
      return text.empty() ? std::string() : DateProblem(text);
    case kTime: {
      if (text.empty()) return std::string();
      bool shape = text.size() == 8 && text[2] == ':' && text[5] == ':';
      for (size_t i : {0, 1, 3, 4, 6, 7})
        shape = shape && text[i] >= '0' && text[i] <= '9';
      if (!shape) return Quoted(text) + " is not a time (hh:mm:ss)";
      int h = std::atoi(text.substr(0, 2).c_str()), m = std::atoi(text.substr(3, 2).c_str()),
          s = std::atoi(text.substr(6, 2).c_str());
      if (h > 23 || m > 59 || s > 59) return Quoted(text) + " is not a time of day";
      return std::string();
    }
    case kLogical:
      return text.empty() || (text.size() == 1 && text[0] >= '0' && text[0] <= '9')
                 ? std::string()
                 : Quoted(text) + " is not a logical value (0 or 1)";
    default:
      return "data type " + std::to_string(f.data_type) + " is not supported";
  }
}

const char *DataTypeShortName(int type) {
  static const char *const kNames[] = {
      "String",  "Integer", "Float",   "Date",    "Time", "Decimal", "Money", "Logical",
      "Numeric", "BFloat",  "LString", "ZString", "Note", "LVar",    "UBin",  "AutoInc"};
  return type >= 0 && type < 16 ? kNames[type] : "unsupported";
}

}  // namespace zelko
