#include "field_conversion.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include "messages.h"
#include "module.h"
#include "zelkoctl/zelkoapi.h"
#include "zplatform/bytes.h"
#include "zplatform/c_numbers.h"
#include "zplatform/messages.h"

namespace zelko {
namespace {

using zplatform::GetU16;
using zplatform::GetU32;
using zplatform::PutUnsigned;

// Decimal digits of an integer (the common case of FieldToText, without printf).
std::string Digits(long long v) {
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

// "YYYY/MM/DD"-like: numbers of at least `width` digits joined by `sep`.
std::string Joined(int a, int b, int c, int width_a, char sep) {
  char buf[48];
  char *p = buf;
  auto put = [&p, &buf](int v, int width) {
    char digits[16];
    auto r = std::to_chars(digits, digits + sizeof digits, v);
    int n = static_cast<int>(r.ptr - digits);
    bool negative = v < 0;
    if (negative) {  // printf's %02d pads after the sign
      *p++ = '-';
      --n;
    }
    for (int i = n + (negative ? 1 : 0); i < width; ++i)  // the sign counts, as with printf
      *p++ = '0';
    std::memcpy(p, digits + (negative ? 1 : 0), n);
    p += n;
    (void)buf;
  };
  put(a, width_a);
  *p++ = sep;
  put(b, 2);
  *p++ = sep;
  put(c, 2);
  return std::string(buf, p);
}

std::string Format(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char *fmt, ...) {
  char buf[64];
  va_list args;
  va_start(args, fmt);
  int n = std::vsnprintf(buf, sizeof buf, fmt, args);
  va_end(args);
  return std::string(buf, n > 0 ? static_cast<size_t>(n) : 0);
}

bool Supported(int type) {
  return type >= kString && type <= kAutoInc;
}

// Zeroed room for a copy of one field: on the stack for the usual short field.
class FieldScratch {
 public:
  explicit FieldScratch(size_t size) {
    if (size > sizeof small_) {
      large_.resize(size);
      data_ = large_.data();
    }
    std::memset(data_, 0, size);
  }
  FieldScratch(const FieldScratch &) = delete;
  FieldScratch &operator=(const FieldScratch &) = delete;
  uint8_t *data() { return data_; }

 private:
  uint8_t small_[264];
  std::vector<uint8_t> large_;
  uint8_t *data_ = small_;
};

// Only digits, "." and "-" are kept, in order.
std::string Filter(const std::string &text) {
  std::string out;
  for (char c : text) {
    if ((c >= '0' && c <= '9') || c == '.' || c == '-') out.push_back(c);
  }
  return out;
}

// The leading decimal integer, as a 32-bit conversion reads it (saturating).
int64_t LeadingInteger(const std::string &s) {
  size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) negative = s[i++] == '-';
  int64_t v = 0;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    v = v * 10 + (s[i] - '0');
    if (v > 0x7FFFFFFF) v = 0x80000000LL;
  }
  v = negative ? -v : v;
  if (v > 0x7FFFFFFF) v = 0x7FFFFFFF;
  return v;
}

// The leading decimal integer of an unsigned field: up to 4294967295 (saturating), so every
// value such a field shows reads back; a negative one wraps as before.
int64_t LeadingUnsigned(const std::string &s) {
  size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) negative = s[i++] == '-';
  if (negative) return LeadingInteger(s);
  int64_t v = 0;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i)
    v = std::min<int64_t>(v * 10 + (s[i] - '0'), 0xFFFFFFFFLL);
  return v;
}

// The leading floating point number (strtod of the filtered text, 0 when there is none).
double LeadingDouble(const std::string &s) {
  return zplatform::CStrtod(s.c_str(), nullptr);
}

// Number made of characters [from, from + count) of `text` (1-based positions as the rules
// state them; a missing part reads 0).
int PartAt(const std::string &text, size_t from, size_t count) {
  if (from < 1 || from > text.size()) return 0;
  // What atoi reads of the part: blanks, a sign, digits (a run too long to be a date's part
  // saturates rather than overflows).
  std::string_view part = std::string_view(text).substr(from - 1, count);
  size_t i = 0;
  while (i < part.size() && (part[i] == ' ' || (part[i] >= '\t' && part[i] <= '\r')))
    ++i;
  bool negative = false;
  if (i < part.size() && (part[i] == '-' || part[i] == '+')) negative = part[i++] == '-';
  int value = 0;
  for (; i < part.size() && part[i] >= '0' && part[i] <= '9'; ++i)
    value = value > 99999999 ? value : value * 10 + (part[i] - '0');
  return negative ? -value : value;
}

// Microsoft Binary Format conversions.
double MbfToDouble(const uint8_t *p, size_t n) {
  uint8_t exponent = p[n - 1];
  if (exponent == 0) return 0.0;
  bool negative = (p[n - 2] & 0x80) != 0;
  uint64_t mantissa = p[n - 2] & 0x7F;
  for (size_t i = n - 2; i-- > 0;)
    mantissa = (mantissa << 8) | p[i];
  int bits = static_cast<int>(8 * (n - 1) - 1);  // 23 or 55
  double value = std::ldexp(1.0 + std::ldexp(static_cast<double>(mantissa), -bits), exponent - 129);
  return negative ? -value : value;
}

void DoubleToMbf(double value, uint8_t *out, size_t n) {
  std::memset(out, 0, n);
  if (value == 0.0 || std::isnan(value)) return;
  bool negative = value < 0;
  // A 4-byte value is an IEEE single first (rounded to nearest), then re-based.
  if (n == 4) value = static_cast<float>(value);
  int e;
  double m = std::frexp(std::fabs(value), &e);  // value = m * 2^e, m in [0.5, 1)
  int exponent = e + 128;
  int bits = static_cast<int>(8 * (n - 1) - 1);
  // Round the mantissa to the bits the format keeps (hidden leading bit dropped).
  double scaled = std::ldexp(m * 2.0 - 1.0, bits);
  uint64_t mantissa = static_cast<uint64_t>(std::floor(scaled));  // exact: no bits are lost
  if (mantissa >> bits) {  // rounding carried into the hidden bit
    mantissa = 0;
    ++exponent;
  }
  if (exponent <= 0) return;                  // below the smallest value: zero
  if (exponent > 255 || std::isinf(value)) {  // the largest value of the format
    exponent = 255;
    mantissa = (uint64_t{1} << bits) - 1;
  }
  for (size_t i = 0; i < n - 2; ++i)
    out[i] = static_cast<uint8_t>(mantissa >> (8 * i));
  out[n - 2] = static_cast<uint8_t>(((mantissa >> (8 * (n - 2))) & 0x7F) | (negative ? 0x80 : 0));
  out[n - 1] = static_cast<uint8_t>(exponent);
}

std::string DecimalToText(const uint8_t *p, int size, int dec) {
  bool negative = (p[size - 1] & 0x0F) == 0x0D;
  std::string nibbles;
  for (int i = 0; i < size; ++i) {
    nibbles.push_back(static_cast<char>('0' + (p[i] >> 4)));
    if (i + 1 < size) nibbles.push_back(static_cast<char>('0' + (p[i] & 0x0F)));
  }
  // Leading zeros are skipped, but never into the fraction digits.
  size_t integer_digits = nibbles.size() > static_cast<size_t>(dec) ? nibbles.size() - dec : 0;
  size_t skip = 0;
  while (skip < integer_digits && nibbles[skip] == '0')
    ++skip;
  std::string digits = nibbles.substr(skip);
  if (digits.empty()) digits = "0";
  std::string text;
  size_t n = digits.size();
  if (dec > 0 && n <= static_cast<size_t>(dec)) {
    text = "0." + std::string(dec - n, '0') + digits;
  } else if (dec > 0) {
    std::string fraction = digits.substr(n - dec);
    if (fraction.find_first_not_of('0') == std::string::npos) {
      text = digits.substr(0, n - dec);
    } else {
      text = digits.substr(0, n - dec) + "." + fraction;
    }
  } else {
    text = digits;
  }
  return negative ? "-" + text : text;
}

std::string NumericToText(const uint8_t *p, int size, int dec) {
  std::string copy(reinterpret_cast<const char *>(p), size);
  if (size <= 0 || copy[0] == '\0') return "0";
  char &last = copy.back();
  bool negative = false;
  if (last == '{') {
    last = '0';
  } else if (last >= 'A' && last <= 'I') {
    last = static_cast<char>('1' + (last - 'A'));
  } else if (last == '}') {
    last = '0';
    negative = true;
  } else if (last >= 'J' && last <= 'R') {
    last = static_cast<char>('1' + (last - 'J'));
    negative = true;
  }
  size_t max_skip = size > dec ? static_cast<size_t>(size - dec) : 0;
  size_t skip = 0;
  while (skip < max_skip && skip < copy.size() && copy[skip] == '0')
    ++skip;
  std::string rest = copy.substr(skip);
  std::string text;
  if (dec > 0) {
    if (rest.size() > static_cast<size_t>(dec)) {
      text = rest.substr(0, rest.size() - dec) + "." + rest.substr(rest.size() - dec);
    } else if (rest.empty()) {
      text = "0";
    } else if (rest.size() == static_cast<size_t>(dec)) {
      text = "0." + rest;
    } else {
      text = rest;
    }
  } else {
    text = rest.empty() ? "0" : rest;
  }
  return negative ? "-" + text : text;
}

void TextToDecimal(const ConversionSettings &s, const std::string &text, uint8_t *p, int size,
                   int dec) {
  std::string t = Filter(text);
  std::memset(p, 0, size);
  if (!t.empty() && t[0] == '-') {
    t.erase(0, 1);
    p[size - 1] = 0x0D;
  } else {
    p[size - 1] = static_cast<uint8_t>(s.sign_nibble & 0x0F);
  }
  size_t dot = t.find('.');
  std::string digits;
  if (dec > 0 && dot != std::string::npos) {
    std::string fraction = t.substr(dot + 1);
    fraction.resize(dec, '0');
    digits = t.substr(0, dot) + fraction;
  } else if (dec > 0) {
    digits = t + std::string(dec, '0');
  } else {
    // A fraction has no place in a field without decimals: it is dropped.
    digits = dot == std::string::npos ? t : t.substr(0, dot);
  }
  // Leading zeros place nothing: "0.5" fits a field of one digit, as it reads.
  digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size()));
  if (digits.size() > static_cast<size_t>(2 * size - 1)) return;  // does not fit: zero
  // From the last digit backwards: the high nibble of the last byte, then low and high
  // nibbles of the bytes before it.
  for (size_t k = 0; k < digits.size(); ++k) {
    char c = digits[digits.size() - 1 - k];
    uint8_t d = (c >= '0' && c <= '9') ? static_cast<uint8_t>(c - '0') : 0;
    size_t byte = k == 0 ? size - 1 : size - 1 - (k + 1) / 2;
    bool high = k == 0 || k % 2 == 0;
    p[byte] = high ? static_cast<uint8_t>((p[byte] & 0x0F) | (d << 4))
                   : static_cast<uint8_t>((p[byte] & 0xF0) | d);
  }
}

void TextToNumeric(const std::string &text, uint8_t *p, int size, int dec) {
  bool negative = !text.empty() && text[0] == '-';
  std::string collected;
  int digits = 0;
  for (size_t i = negative ? 1 : 0; i < text.size() && digits < size; ++i) {
    char c = text[i];
    if (c == '+' || c == ' ' || c == ',') continue;
    // Leading zeros are no digits of the value: "0.25" fills a field of two digits.
    if (c == '0' && collected.empty()) continue;
    if (c >= '0' && c <= '9') {
      collected.push_back(c);
      ++digits;
    } else if (c == '.') {
      collected.push_back(c);
    } else {
      break;
    }
  }
  size_t dot = collected.find('.');
  std::string value;
  if (dec > 0) {
    std::string integer = dot == std::string::npos ? collected : collected.substr(0, dot);
    std::string fraction = dot == std::string::npos ? std::string() : collected.substr(dot + 1);
    fraction.erase(std::remove(fraction.begin(), fraction.end(), '.'), fraction.end());
    fraction.resize(dec, '0');
    value = integer + fraction;
  } else {
    value = dot == std::string::npos ? collected : collected.substr(0, dot);
  }
  // Right-aligned; what does not fit gives up its leading digits.
  if (value.size() > static_cast<size_t>(size)) value = value.substr(value.size() - size);
  std::string field = std::string(size - value.size(), '0') + value;
  char &last = field.back();
  int d = last - '0';
  last = negative ? (d == 0 ? '}' : static_cast<char>('J' + d - 1))
                  : (d == 0 ? '{' : static_cast<char>('A' + d - 1));
  std::memcpy(p, field.data(), size);
}

std::string StringToText(const uint8_t *p, int size, bool trim) {
  const void *nul = std::memchr(p, 0, size);
  if (nul != nullptr)
    return std::string(reinterpret_cast<const char *>(p), static_cast<const uint8_t *>(nul) - p);
  size_t n = size;
  if (trim) {
    while (n > 0 && p[n - 1] == ' ')
      --n;
  }
  return std::string(reinterpret_cast<const char *>(p), n);
}

}  // namespace

int FieldStorageSize(int type, int declared_size, const std::string &text) {
  switch (type) {
    case kDate:
    case kTime:
      return 4;
    case kLogical:
      return 1;
    case kNote:
    case kLVar:
      return static_cast<int>(text.size()) + 1;
    default:
      if (Supported(type)) return declared_size;
      ShowMessage(msg::kVE011);
      return 0;
  }
}

std::string FloatText(double value, int digits) {
  if (digits < 1) digits = 1;
  if (digits > 40) digits = 40;
  if (std::isnan(value) || std::isinf(value))
    return value < 0 ? "-inf" : std::isnan(value) ? "nan" : "inf";
  // "d.ddddde+XX": the digits and the exponent, as "%.*e" in the C locale writes them.
  char buf[128];
  auto written = std::to_chars(buf, buf + sizeof buf - 1, std::fabs(value),
                               std::chars_format::scientific, digits - 1);
  *written.ptr = '\0';
  std::string mantissa = buf;
  size_t e = mantissa.find('e');
  int exponent = std::atoi(mantissa.c_str() + e + 1);
  std::string d;
  for (size_t i = 0; i < e; ++i) {
    if (mantissa[i] != '.') d.push_back(mantissa[i]);
  }
  int p = exponent + 1;
  std::string text = value < 0 ? "-" : "";
  if (p > 0) {
    if (p > digits) return text + d + std::string(p - digits, '0');
    text += d.substr(0, p);
    std::string rest = d.substr(p);
    if (rest.find_first_not_of('0') != std::string::npos) text += "." + rest;
    return text;
  }
  return text + "0." + std::string(-p, '0') + d;
}

std::string FieldToText(const ConversionSettings &s, const FieldDescriptor &f, const uint8_t *p) {
  int size = f.size;
  switch (f.data_type) {
    case kString:
      return StringToText(p, size, true);
    case kInteger:
      if (size == 4) return Digits(static_cast<int32_t>(GetU32(p)));
      if (size == 2) return Digits(static_cast<int16_t>(GetU16(p)));
      return Digits(p[0]);
    case kFloat: {
      double v;
      if (size == 8) {
        std::memcpy(&v, p, 8);
      } else {
        float fl;
        std::memcpy(&fl, p, 4);
        v = fl;
      }
      return FloatText(v, s.float_size);
    }
    case kDate: {
      int day = p[0], month = p[1], year = static_cast<int16_t>(GetU16(p + 2));
      if (s.two_digit_year)
        return Joined(year >= 2000 ? year - 2000 : year - 1900, month, day, 2, '/');
      return Joined(year, month, day, 4, '/');
    }
    case kTime:
      return Joined(p[3], p[2], p[1], 2, ':');
    case kDecimal:
    case kMoney:
      return size > 0 ? DecimalToText(p, size, f.decimals) : std::string();
    case kLogical:
      return std::string(1, static_cast<char>(p[0] + '0'));
    case kNumeric:
      return NumericToText(p, size, f.decimals);
    case kBFloat:
      return FloatText(MbfToDouble(p, size == 8 ? 8 : 4), s.float_size);
    case kLString: {
      size_t n = p[0];
      if (size > 0 && n > static_cast<size_t>(size - 1)) n = size - 1;
      return std::string(reinterpret_cast<const char *>(p + 1), size > 0 ? n : 0);
    }
    case kZString: {
      const void *nul = std::memchr(p, 0, size);
      size_t n = nul ? static_cast<const uint8_t *>(nul) - p : size;
      return std::string(reinterpret_cast<const char *>(p), n);
    }
    case kNote:
    case kLVar:
      return StringToText(p, size, false);
    case kUBin:
      if (size == 4) return Digits(GetU32(p));
      if (size == 1) return Digits(p[0]);
      return Digits(GetU16(p));
    case kAutoInc:
      if (size == 4) return Digits(GetU32(p));
      return Digits(static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(GetU16(p)))));
    default:
      return std::string();
  }
}

void TextToField(const ConversionSettings &s, const FieldDescriptor &f, const std::string &text,
                 uint8_t *out, size_t capacity) {
  int size = f.size;
  if (size < 0) return;
  // The conversion works on a copy of the field; only the field's bytes that fit go back.
  size_t field_bytes = static_cast<size_t>(FieldStorageSize(f.data_type, size, text));
  if (f.data_type == kNote || f.data_type == kLVar) field_bytes = size;
  FieldScratch copy(std::max<size_t>(field_bytes, 8));
  uint8_t *p = copy.data();
  size_t keep = std::min(field_bytes, capacity);
  std::memcpy(p, out, keep);
  switch (f.data_type) {
    case kString:
      if (text.size() < static_cast<size_t>(size)) {
        std::memcpy(p, text.data(), text.size());
        p[text.size()] = 0;
        if (s.fill_space) std::memset(p + text.size(), ' ', size - text.size());
      } else {
        std::memcpy(p, text.data(), size);
      }
      break;
    case kInteger:
    case kUBin:
    case kAutoInc: {
      std::string digits = Filter(text);
      int64_t v = f.data_type == kInteger ? LeadingInteger(digits) : LeadingUnsigned(digits);
      if (size == 4) {
        PutUnsigned(p, static_cast<uint64_t>(v), 4);
      } else if (size == 1 && f.data_type != kAutoInc) {
        p[0] = static_cast<uint8_t>(v);
      } else {
        PutUnsigned(p, static_cast<uint64_t>(v), 2);
      }
      break;
    }
    case kFloat: {
      double v = LeadingDouble(Filter(text));
      if (size == 4) {
        float fl = static_cast<float>(v);
        std::memcpy(p, &fl, 4);
      } else {
        std::memcpy(p, &v, 8);
      }
      break;
    }
    case kDate: {
      int year, month, day;
      if (s.two_digit_year) {
        year = PartAt(text, 1, 2) + s.TwoDigitCentury();
        month = PartAt(text, 4, 2);
        day = PartAt(text, 7, 2);
      } else {
        year = PartAt(text, 1, 4);
        bool one_digit_month = text.size() >= 7 && text[6] == '/';
        month = PartAt(text, 6, one_digit_month ? 1 : 2);
        size_t day_from = one_digit_month ? 8 : 9;  // after the month's separator
        bool one_digit_day = text.size() >= day_from + 1 && text[day_from] == '/';
        day = PartAt(text, day_from, one_digit_day ? 1 : 2);
      }
      p[0] = static_cast<uint8_t>(day);
      p[1] = static_cast<uint8_t>(month);
      PutUnsigned(p + 2, static_cast<uint64_t>(year), 2);
      break;
    }
    case kTime:
      if (text.size() == 8) {
        p[0] = 0;
        p[1] = static_cast<uint8_t>(PartAt(text, 7, 2));
        p[2] = static_cast<uint8_t>(PartAt(text, 4, 2));
        p[3] = static_cast<uint8_t>(PartAt(text, 1, 2));
      } else {
        std::memset(p, 0, 4);
      }
      break;
    case kDecimal:
    case kMoney:
      if (size > 0) TextToDecimal(s, text, p, size, f.decimals);
      break;
    case kLogical:
      // An empty text clears the flag (the rule's "first character" would be the terminator).
      p[0] = text.empty() ? 0 : static_cast<uint8_t>(text[0] - '0');
      break;
    case kNumeric:
      if (size > 0) TextToNumeric(text, p, size, f.decimals);
      break;
    case kBFloat:
      DoubleToMbf(LeadingDouble(Filter(text)), p, size == 4 ? 4 : 8);
      break;
    case kLString: {
      if (size < 1) break;
      size_t n = std::min(text.size(), static_cast<size_t>(size - 1));
      std::memset(p, 0, size);
      p[0] = static_cast<uint8_t>(n);
      std::memcpy(p + 1, text.data(), n);
      break;
    }
    case kZString:
      if (size < 1) break;
      std::memset(p, 0, size);
      std::memcpy(p, text.data(), std::min(text.size(), static_cast<size_t>(size - 1)));
      break;
    case kNote:
    case kLVar:
      if (text.size() < static_cast<size_t>(size)) {
        std::memset(p, 0, size);
        std::memcpy(p, text.data(), text.size());
      } else {
        std::memcpy(p, text.data(), size);
      }
      break;
    default:
      return;  // nothing is written
  }
  std::memcpy(out, p, keep);
}

int FieldPosition(const TableDescriptor &table, int number) {
  int position = 0;
  for (int i = 0; i < number && i < table.FieldCount(); ++i) {
    position += FieldStorageSize(table.fields[i].data_type, table.fields[i].size, std::string());
  }
  return position;
}

namespace {

// The field's bytes from the record buffer into `bytes` (zeroed, at least max(size, 8) + 1
// long).
void FieldBytesAt(const TableDescriptor &table, int number, size_t at, uint8_t *bytes) {
  const FieldDescriptor &f = table.fields[number];
  const std::vector<uint8_t> &rec = table.record_buffer;
  size_t want = static_cast<size_t>(std::max(f.size, 4));
  if (at < rec.size()) std::memcpy(bytes, rec.data() + at, std::min(want, rec.size() - at));
}

std::string Cut(std::string text) {
  if (text.size() > kTextResultLength) text.resize(kTextResultLength);
  return text;
}

// The field's text, cut to the text result's length unless `whole` (then exact).
std::string FieldTextAt(const ConversionSettings &settings, const TableDescriptor &table,
                        int number, size_t at, bool whole = false) {
  const FieldDescriptor &f = table.fields[number];
  FieldScratch bytes(static_cast<size_t>(std::max(f.size, 8)) + 1);
  FieldBytesAt(table, number, at, bytes.data());
  if (whole) return FieldToExactText(settings, f, bytes.data());
  return Cut(FieldToText(settings, f, bytes.data()));
}

void ReadEveryField(const TableDescriptor &table, std::vector<std::string> *texts, bool whole) {
  const ConversionSettings &settings = Module::Get().Settings();
  texts->resize(static_cast<size_t>(table.FieldCount()));
  size_t at = 0;
  for (int i = 0; i < table.FieldCount(); ++i) {
    const FieldDescriptor &f = table.fields[i];
    (*texts)[i] = FieldTextAt(settings, table, i, at, whole);
    at += static_cast<size_t>(FieldStorageSize(f.data_type, f.size, std::string()));
  }
}

}  // namespace

std::string FieldToExactText(const ConversionSettings &settings, const FieldDescriptor &field,
                             const uint8_t *bytes) {
  std::string rule_text = FieldToText(settings, field, bytes);
  size_t size = static_cast<size_t>(field.size);
  if (field.data_type != kFloat || (size != 4 && size != 8)) return rule_text;
  // The rule keeps float_size significant digits (ten): a double with more
  // (0.30000000000000004) would be read back as another number.
  uint8_t again[9] = {};
  TextToField(settings, field, rule_text, again, size);
  if (std::memcmp(again, bytes, size) == 0) return rule_text;
  // The shortest text of the value at its own width (a float's digits for 4 bytes).
  auto shortest = [&](auto value) {
    std::memcpy(&value, bytes, sizeof value);
    char text[400];  // the longest double in fixed notation has 309 digits before the point
    auto written = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
    if (!std::isfinite(value) || written.ec != std::errc()) return rule_text;
    return std::string(text, written.ptr);
  };
  return size == 8 ? shortest(double{}) : shortest(float{});
}

std::string ReadFieldByNumber(const TableDescriptor &table, int number) {
  if (number < 0 || number >= table.FieldCount()) return std::string();
  return FieldTextAt(Module::Get().Settings(), table, number,
                     static_cast<size_t>(FieldPosition(table, number)));
}

void ReadAllFields(const TableDescriptor &table, std::vector<std::string> *texts) {
  ReadEveryField(table, texts, false);
}

void ReadAllFieldsWhole(const TableDescriptor &table, std::vector<std::string> *texts) {
  ReadEveryField(table, texts, true);
}

std::string ReadFieldByName(const TableDescriptor &table, const std::string &name) {
  return ReadFieldByNumber(table, FindFieldByName(table, name));
}

int WriteFieldByNumber(TableDescriptor &table, int number, const std::string &text) {
  if (number < 0 || number >= table.FieldCount()) return DB_FIELD_NOT_FOUND;
  return WriteFieldAt(table, number, static_cast<size_t>(FieldPosition(table, number)), text);
}

int WriteFieldAt(TableDescriptor &table, int number, size_t at, const std::string &text) {
  if (number < 0 || number >= table.FieldCount()) return DB_FIELD_NOT_FOUND;
  std::vector<uint8_t> &rec = table.record_buffer;
  if (at >= rec.size()) return 0;
  TextToField(Module::Get().Settings(), table.fields[number], text, rec.data() + at,
              rec.size() - at);
  return 0;
}

int WriteFieldByName(TableDescriptor &table, const std::string &name, const std::string &text) {
  int number = FindFieldByName(table, name);
  return number < 0 ? DB_FIELD_NOT_FOUND : WriteFieldByNumber(table, number, text);
}

void ClearRecordBuffer(TableDescriptor &table) {
  std::vector<uint8_t> &rec = table.record_buffer;
  size_t length = std::min(rec.size(), static_cast<size_t>(std::max(table.record_length, 0)));
  std::memset(rec.data(), 0, length);
  for (const FieldDescriptor &f : table.fields) {
    if (f.offset < 0 || f.size <= 0 || static_cast<size_t>(f.offset) >= length) continue;
    uint8_t *p = rec.data() + f.offset;
    size_t room = std::min(static_cast<size_t>(f.size), length - f.offset);
    if (f.data_type == kString) {
      std::memset(p, ' ', room);
    } else if (f.data_type == kNumeric) {
      std::memset(p, '0', room);
      if (room == static_cast<size_t>(f.size)) p[room - 1] = '{';
    }
    // Every other type's empty value is zero bytes.
  }
}

int VariableRecordLength(const TableDescriptor &table) {
  if (table.fields.empty()) return -1;
  const FieldDescriptor &last = table.fields.back();
  if (last.data_type != kNote && last.data_type != kLVar) return -1;
  int at = FieldPosition(table, table.FieldCount() - 1);
  const std::vector<uint8_t> &rec = table.record_buffer;
  size_t n = 0;
  while (at + n < rec.size() && n < static_cast<size_t>(last.size) && rec[at + n] != 0)
    ++n;
  return at + static_cast<int>(n) + 1;
}

namespace {

int CurrentYear() {
  std::time_t now = std::time(nullptr);
  std::tm tm;
  localtime_r(&now, &tm);
  return tm.tm_year + 1900;
}

// Three numbers separated by `sep` (the third 1 or 0 when absent), or fixed-width parts.
void SplitParts(const std::string &t, char sep, int widths[3], int missing_third, int out[3]) {
  size_t first = t.find(sep);
  if (first != std::string::npos) {
    size_t second = t.find(sep, first + 1);
    out[0] = std::atoi(t.substr(0, first).c_str());
    out[1] = std::atoi(
        t.substr(first + 1, second == std::string::npos ? std::string::npos : second - first - 1)
            .c_str());
    out[2] = second == std::string::npos ? missing_third : std::atoi(t.substr(second + 1).c_str());
    return;
  }
  size_t at = 1;
  for (int i = 0; i < 3; ++i) {
    out[i] = PartAt(t, at, widths[i]);
    at += widths[i];
  }
}

}  // namespace

std::string NormalizeDateText(const ConversionSettings &s, const std::string &text) {
  std::string t = text.substr(0, 15);
  if (t.empty()) return text;
  int parts[3];
  if (s.two_digit_year) {
    int widths[3] = {2, 2, 2};
    SplitParts(t, '/', widths, 1, parts);
    if (parts[1] > 12 || parts[2] >= 32) {
      zplatform::Beep();
      parts[1] = parts[2] = 1;
    }
    return Format("%02d/%02d/%02d", parts[0], parts[1], parts[2]);
  }
  int widths[3] = {4, 2, 2};
  SplitParts(t, '/', widths, 1, parts);
  if (parts[0] < 1900 || parts[0] >= 2100) {
    zplatform::Beep();
    parts[0] = CurrentYear();
  }
  if (parts[1] < 1 || parts[1] > 12) {
    zplatform::Beep();
    parts[1] = 1;
  }
  if (parts[2] < 1 || parts[2] > 31) {
    zplatform::Beep();
    parts[2] = 1;
  }
  return Format("%04d/%02d/%02d", parts[0], parts[1], parts[2]);
}

std::string NormalizeTimeText(const std::string &text) {
  std::string t = text.substr(0, 15);
  if (t.empty()) return text;
  int parts[3];
  int widths[3] = {2, 2, 2};
  SplitParts(t, ':', widths, 0, parts);
  if (parts[0] >= 25 || parts[1] >= 61 || parts[2] >= 61) {
    zplatform::Beep();
    parts[0] = parts[1] = parts[2] = 0;
  }
  return Format("%02d:%02d:%02d", parts[0], parts[1], parts[2]);
}

}  // namespace zelko
