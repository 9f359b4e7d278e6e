// Turns key segments into byte strings that sort, compared with memcmp, exactly as the
// segment values compare. Every segment encodes to a fixed number of bytes, so a
// descending segment is its encoding with every byte complemented.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "file_spec.h"

namespace btr {

// Number of bytes EncodeSegment appends for this segment.
size_t EncodedSegmentLength(const SegmentSpec &seg);

// Appends the encoding of one segment value (seg.length bytes at `value`).
void EncodeSegment(const SegmentSpec &seg, const uint8_t *value, const CollatingTable *table,
                   std::string &out);

// The encoded key of a record (segments read at their positions).
std::string EncodeKeyFromRecord(const FileSpec &spec, const KeyDef &key, const uint8_t *record);
// The encoded key of a key value as callers pass it (segments concatenated).
std::string EncodeKeyValue(const FileSpec &spec, const KeyDef &key, const uint8_t *key_value);
// The key value of a record as callers receive it (segment bytes concatenated).
std::string KeyValueFromRecord(const KeyDef &key, const uint8_t *record);
// True when the record is absent from this key's index (null key rules).
bool IsNullKey(const KeyDef &key, const uint8_t *record);

// The value of an Integer or Auto Increment segment from its encoding (the leading bytes of
// an encoded key).
int64_t DecodeIntegerSegment(const SegmentSpec &seg, std::string_view encoded);

// Signed little-endian integer of 1, 2, 4 or 8 bytes.
int64_t ReadSignedLE(const uint8_t *p, size_t n);
void WriteSignedLE(uint8_t *p, size_t n, int64_t v);

}  // namespace btr
