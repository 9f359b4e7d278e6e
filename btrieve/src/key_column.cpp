#include "key_column.h"

#include "key_encoder.h"

namespace btr {

size_t EncodedKeyLength(const KeyDef &key) {
  size_t length = 0;
  for (const SegmentSpec &s : key.segments)
    length += EncodedSegmentLength(s);
  return length;
}

int64_t KeyToInteger(std::string_view encoded) {
  uint64_t v = 0;
  for (unsigned char c : encoded)
    v = v << 8 | c;
  // Eight bytes use the whole range: flipping the top bit keeps the order in signed terms.
  if (encoded.size() == 8) v ^= uint64_t{1} << 63;
  return static_cast<int64_t>(v);
}

void IntegerToKey(int64_t value, size_t length, char *out) {
  uint64_t v = static_cast<uint64_t>(value);
  if (length == 8) v ^= uint64_t{1} << 63;
  for (size_t i = length; i-- > 0;) {
    out[i] = static_cast<char>(v & 0xFF);
    v >>= 8;
  }
}

}  // namespace btr
