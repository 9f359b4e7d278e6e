// How the embedded store keeps an encoded key in its key tables. An encoded key of at most
// 8 bytes is kept as an integer: its bytes read as a big-endian number (the top bit flipped
// for 8 bytes), which orders exactly as the bytes do, takes fewer bytes than a blob and
// compares without a call. Longer keys stay blobs. (Files of schema version 1 keep every key
// as a blob.)
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "file_spec.h"

namespace btr {

// The length of every encoded key of `key` (all its segments encode to fixed lengths).
size_t EncodedKeyLength(const KeyDef &key);

inline bool FitsIntegerColumn(size_t encoded_length) {
  return encoded_length > 0 && encoded_length <= 8;
}

// The integer an encoded key of 1 to 8 bytes is kept as, and its bytes again.
int64_t KeyToInteger(std::string_view encoded);
void IntegerToKey(int64_t value, size_t length, char *out);

}  // namespace btr
