#include "key_encoder.h"

#include <cstring>

#include "btrieve/btrapi.h"
#include "zplatform/ascii.h"

namespace btr {
namespace {

// One append: every key of every insert passes through here.
void AppendBigEndian(std::string &out, uint64_t v, size_t n) {
  char bytes[8];
  for (size_t i = 0; i < n; ++i)
    bytes[i] = static_cast<char>(v >> (8 * (n - 1 - i)));
  out.append(bytes, n);
}

uint64_t ReadUnsignedLE(const uint8_t *p, size_t n) {
  uint64_t v = 0;
  for (size_t i = 0; i < n; ++i)
    v |= static_cast<uint64_t>(p[i]) << (8 * i);
  return v;
}

// Signed integers: big-endian with the sign bit flipped.
void EncodeSigned(const uint8_t *p, size_t n, std::string &out) {
  uint64_t v = ReadUnsignedLE(p, n);
  v ^= uint64_t{1} << (8 * n - 1);
  AppendBigEndian(out, v, n);
}

// IEEE floats: flip the sign bit of positives, complement negatives; -0.0 equals 0.0.
void EncodeIeee(const uint8_t *p, size_t n, std::string &out) {
  uint64_t bits = ReadUnsignedLE(p, n);
  uint64_t sign = uint64_t{1} << (8 * n - 1);
  uint64_t mask = n == 8 ? ~uint64_t{0} : (uint64_t{1} << (8 * n)) - 1;
  if ((bits & ~sign & mask) == 0) bits = 0;  // both zeros
  bits = (bits & sign) ? (~bits & mask) : (bits | sign);
  AppendBigEndian(out, bits, n);
}

// Microsoft Binary Format: exponent in the last byte (0 means zero), sign in the top bit of
// the byte before it, mantissa below. Magnitude orders by exponent, then mantissa.
void EncodeMbf(const uint8_t *p, size_t n, std::string &out) {
  uint8_t exponent = p[n - 1];
  bool negative = (p[n - 2] & 0x80) != 0;
  uint64_t magnitude = 0;  // exponent, then the mantissa without its sign bit
  if (exponent != 0) {
    magnitude = exponent;
    magnitude = (magnitude << 7) | (p[n - 2] & 0x7F);
    for (size_t i = n - 2; i-- > 0;)
      magnitude = (magnitude << 8) | p[i];
  }
  uint64_t top = uint64_t{1} << (8 * n - 1);
  uint64_t mask = n == 8 ? ~uint64_t{0} : (uint64_t{1} << (8 * n)) - 1;
  uint64_t v = (exponent == 0) ? top : negative ? (~(magnitude | top) & mask) : (magnitude | top);
  AppendBigEndian(out, v, n);
}

// Packed decimal: sign byte (0 negative, 1 positive), then the digits, complemented for
// negative values so larger magnitudes sort lower. Zero is positive whatever its sign.
void EncodeDigits(const std::string &digits, bool negative, std::string &out) {
  bool zero = digits.find_first_not_of('\0') == std::string::npos;
  negative = negative && !zero;
  out.push_back(negative ? 0 : 1);
  for (char d : digits)
    out.push_back(negative ? static_cast<char>(0x0F - d) : d);
}

void EncodeDecimal(const uint8_t *p, size_t n, std::string &out) {
  std::string digits;
  for (size_t i = 0; i < n; ++i) {
    digits.push_back(static_cast<char>(p[i] >> 4));
    if (i + 1 < n) digits.push_back(static_cast<char>(p[i] & 0x0F));
  }
  EncodeDigits(digits, (p[n - 1] & 0x0F) == 0x0D, out);
}

// Numeric: ASCII digits, the sign overpunched in the last character.
void EncodeNumeric(const uint8_t *p, size_t n, std::string &out) {
  std::string digits;
  bool negative = false;
  for (size_t i = 0; i < n; ++i) {
    uint8_t c = p[i];
    int d = 0;
    if (c >= '0' && c <= '9') {
      d = c - '0';
    } else if (i + 1 == n) {
      if (c == '{')
        d = 0;
      else if (c >= 'A' && c <= 'I')
        d = c - 'A' + 1;
      else if (c == '}')
        d = 0, negative = true;
      else if (c >= 'J' && c <= 'R')
        d = c - 'J' + 1, negative = true;
    } else if (c == '-') {
      negative = true;
    }
    digits.push_back(static_cast<char>(d));
  }
  EncodeDigits(digits, negative, out);
}

uint8_t MapByte(uint8_t c, const SegmentSpec &seg, const CollatingTable *table) {
  if (table != nullptr) return table->map[c];
  if (seg.CaseInsensitive())
    return static_cast<uint8_t>(zplatform::ToUpperAscii(static_cast<char>(c)));
  return c;
}

}  // namespace

int64_t ReadSignedLE(const uint8_t *p, size_t n) {
  uint64_t v = ReadUnsignedLE(p, n);
  if (n < 8 && (v & (uint64_t{1} << (8 * n - 1)))) v |= ~uint64_t{0} << (8 * n);
  return static_cast<int64_t>(v);
}

void WriteSignedLE(uint8_t *p, size_t n, int64_t v) {
  for (size_t i = 0; i < n; ++i)
    p[i] = static_cast<uint8_t>(static_cast<uint64_t>(v) >> (8 * i));
}

size_t EncodedSegmentLength(const SegmentSpec &seg) {
  switch (seg.EffectiveType()) {
    case B_TYPE_DECIMAL:
    case B_TYPE_MONEY:
      return 2 * seg.length;  // sign byte + (2 * length - 1) digits
    case B_TYPE_NUMERIC:
      return 1 + seg.length;
    case B_TYPE_LSTRING:
      return seg.length - 1u;
    default:
      return seg.length;
  }
}

void EncodeSegment(const SegmentSpec &seg, const uint8_t *value, const CollatingTable *table,
                   std::string &out) {
  size_t start = out.size();
  size_t n = seg.length;
  switch (seg.EffectiveType()) {
    case B_TYPE_INTEGER:
    case B_TYPE_AUTOINCREMENT:
      EncodeSigned(value, n, out);
      break;
    case B_TYPE_UNSIGNED_BINARY:
    case B_TYPE_LOGICAL:
      AppendBigEndian(out, ReadUnsignedLE(value, n), n);
      break;
    case B_TYPE_FLOAT:
      EncodeIeee(value, n, out);
      break;
    case B_TYPE_BFLOAT:
      EncodeMbf(value, n, out);
      break;
    case B_TYPE_DATE:  // day, month, year(16) -> year, month, day
      EncodeSigned(value + 2, 2, out);
      out.push_back(static_cast<char>(value[1]));
      out.push_back(static_cast<char>(value[0]));
      break;
    case B_TYPE_TIME:  // hundredths, seconds, minutes, hours -> reversed
      for (int i = 3; i >= 0; --i)
        out.push_back(static_cast<char>(value[i]));
      break;
    case B_TYPE_DECIMAL:
    case B_TYPE_MONEY:
      EncodeDecimal(value, n, out);
      break;
    case B_TYPE_NUMERIC:
      EncodeNumeric(value, n, out);
      break;
    case B_TYPE_LSTRING: {
      size_t len = value[0] < n - 1 ? value[0] : n - 1;
      for (size_t i = 0; i < n - 1; ++i) {
        out.push_back(static_cast<char>(i < len ? MapByte(value[1 + i], seg, table) : 0));
      }
      break;
    }
    case B_TYPE_ZSTRING: {
      bool ended = false;
      for (size_t i = 0; i < n; ++i) {
        ended = ended || value[i] == 0;
        out.push_back(static_cast<char>(ended ? 0 : MapByte(value[i], seg, table)));
      }
      break;
    }
    default:  // String
      if (table == nullptr && !seg.CaseInsensitive()) {
        out.append(reinterpret_cast<const char *>(value), n);  // the bytes as they are
      } else {
        out.resize(start + n);
        for (size_t i = 0; i < n; ++i)
          out[start + i] = static_cast<char>(MapByte(value[i], seg, table));
      }
      break;
  }
  if (seg.Descending()) {
    for (size_t i = start; i < out.size(); ++i)
      out[i] = static_cast<char>(~out[i]);
  }
}

std::string EncodeKeyFromRecord(const FileSpec &spec, const KeyDef &key, const uint8_t *record) {
  std::string out;
  out.reserve(key.Length());
  for (const SegmentSpec &s : key.segments) {
    EncodeSegment(s, record + s.position - 1, spec.TableFor(s), out);
  }
  return out;
}

std::string EncodeKeyValue(const FileSpec &spec, const KeyDef &key, const uint8_t *key_value) {
  std::string out;
  size_t offset = 0;
  for (const SegmentSpec &s : key.segments) {
    EncodeSegment(s, key_value + offset, spec.TableFor(s), out);
    offset += s.length;
  }
  return out;
}

std::string KeyValueFromRecord(const KeyDef &key, const uint8_t *record) {
  std::string out;
  for (const SegmentSpec &s : key.segments) {
    out.append(reinterpret_cast<const char *>(record + s.position - 1), s.length);
  }
  return out;
}

bool IsNullKey(const KeyDef &key, const uint8_t *record) {
  if (!key.NullAll() && !key.NullAny()) return false;
  size_t null_segments = 0;
  for (const SegmentSpec &s : key.segments) {
    const uint8_t *p = record + s.position - 1;
    bool all = true;
    for (size_t i = 0; i < s.length && all; ++i)
      all = p[i] == s.null_value;
    if (all) ++null_segments;
  }
  return key.NullAny() ? null_segments > 0 : null_segments == key.segments.size();
}

int64_t DecodeIntegerSegment(const SegmentSpec &seg, std::string_view encoded) {
  // Big-endian with the sign bit flipped, complemented when descending.
  uint64_t v = 0;
  for (size_t i = 0; i < seg.length && i < encoded.size(); ++i) {
    uint8_t b = static_cast<uint8_t>(encoded[i]);
    v = (v << 8) | (seg.Descending() ? static_cast<uint8_t>(~b) : b);
  }
  v ^= uint64_t{1} << (8 * seg.length - 1);
  uint8_t le[8];
  for (size_t i = 0; i < seg.length && i < 8; ++i)
    le[i] = static_cast<uint8_t>(v >> (8 * i));
  return ReadSignedLE(le, seg.length);
}

}  // namespace btr
