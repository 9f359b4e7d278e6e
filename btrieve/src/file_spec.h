// File and key specifications: parsing the Create buffer with every validation, and the
// Stat layout. Offsets follow the classic record manager's 16-byte blocks.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "btrieve/btrapi.h"

namespace btr {

struct CollatingTable {
  std::string name;  // up to 8 bytes
  std::array<uint8_t, 256> map{};
};

struct SegmentSpec {
  uint16_t position = 0;  // 1-based
  uint16_t length = 0;
  uint16_t flags = 0;
  uint8_t type = 0;  // extended type (0 string when the extended flag is clear)
  uint8_t null_value = 0;
  uint8_t acs_number = 0;
  uint8_t manual_key_number = 0;

  bool Descending() const { return (flags & B_KEY_DESCENDING) != 0; }
  bool CaseInsensitive() const { return (flags & B_KEY_CASE_INSENSITIVE) != 0; }
  bool UsesCollatingTable() const { return (flags & B_KEY_ALT_COLLATING) != 0; }
  // The type the segment compares as, with the old binary flag honoured.
  uint8_t EffectiveType() const {
    if (flags & B_KEY_EXTENDED_TYPE) return type;
    return (flags & B_KEY_BINARY) ? B_TYPE_UNSIGNED_BINARY : B_TYPE_STRING;
  }
};

struct KeyDef {
  std::vector<SegmentSpec> segments;
  uint16_t Flags() const { return segments.empty() ? 0 : segments.front().flags; }
  bool Duplicates() const { return (Flags() & B_KEY_DUPLICATES) != 0; }
  bool Modifiable() const { return (Flags() & B_KEY_MODIFIABLE) != 0; }
  bool NullAll() const { return (Flags() & B_KEY_NULL_ALL) != 0; }
  bool NullAny() const { return (Flags() & B_KEY_NULL_ANY) != 0; }
  uint32_t Length() const {  // sum of the segment lengths
    uint32_t n = 0;
    for (const SegmentSpec &s : segments)
      n += s.length;
    return n;
  }
  // Index of the first Auto Increment segment, or -1.
  int AutoIncrementSegment() const {
    for (size_t i = 0; i < segments.size(); ++i) {
      if (segments[i].EffectiveType() == B_TYPE_AUTOINCREMENT) return static_cast<int>(i);
    }
    return -1;
  }
};

struct FileSpec {
  uint16_t record_length = 0;
  uint16_t page_size = 0;
  uint16_t file_flags = 0;
  uint16_t preallocation = 0;
  std::vector<KeyDef> keys;
  std::vector<CollatingTable> collating_tables;

  bool VariableLength() const { return (file_flags & 1) != 0; }
  // Whether a stored record of n bytes is sound: exactly the record length, or at least it
  // for variable-length files. Anything else is damage, and no key is built from it.
  bool FitsRecord(size_t n) const {
    return VariableLength() ? n >= record_length : n == record_length;
  }
  size_t SegmentCount() const;
  const CollatingTable *TableFor(const SegmentSpec &s) const;
};

// Whether a key segment of this type may have this length (strings and packed numbers up
// to 255 bytes).
bool LengthFitsType(uint8_t type, uint16_t len);

// Parses a Create buffer (file spec, key specs, collating tables). Returns 0 or the status
// of the first fault: 22 buffer too short, 24 page size, 26 number of keys or segments,
// 27 key position, 28 record length, 29 key length or type, 45 inconsistent flags,
// 48 missing or malformed collating table.
int ParseCreateBuffer(const uint8_t *data, uint32_t length, FileSpec *spec);
// Validates one key's segments against the file (used by Create Index as well).
int ValidateKey(const FileSpec &spec, const KeyDef &key);
// Parses the segment specifications of one key (Create Index). Returns 0 or a status.
int ParseKeyBuffer(const uint8_t *data, uint32_t length, const FileSpec &spec, KeyDef *key,
                   std::vector<CollatingTable> *new_tables);

// The Stat layout: file spec with the record count at offset 6, key specs, tables.
std::vector<uint8_t> BuildStatBuffer(const FileSpec &spec, uint32_t record_count,
                                     const std::vector<uint32_t> &unique_counts);

// Storage form of a file specification (the same layout as Create, with the flag 128 of
// supplemental keys kept).
std::vector<uint8_t> SerializeSpec(const FileSpec &spec);
bool DeserializeSpec(const std::vector<uint8_t> &bytes, FileSpec *spec);

// The most segments a page of the given size can hold.
int MaxSegmentsForPageSize(int page_size);

}  // namespace btr
