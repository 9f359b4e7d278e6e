#include "file_spec.h"

#include <algorithm>
#include <cstring>

#include "btrieve/btrapi.h"
#include "zplatform/bytes.h"

namespace btr {

namespace {

constexpr size_t kSpecSize = sizeof(BtrFileSpec);
constexpr size_t kTableSize = sizeof(BtrCollatingTable);
constexpr uint8_t kTableMarker = 0xAC;

SegmentSpec ReadSegment(const uint8_t *p) {
  BtrKeySpec k;
  std::memcpy(&k, p, sizeof k);
  SegmentSpec s;
  s.position = k.position;
  s.length = k.length;
  s.flags = k.flags;
  s.type = k.type;
  s.null_value = k.null_value;
  s.manual_key_number = k.key_number;
  s.acs_number = k.acs_number;
  return s;
}

template <typename T>
void Append(std::vector<uint8_t> &out, const T &block) {
  // Grown, then copied into: GCC 12 misreads an insert of a range into an empty vector as an
  // overflow at -O3.
  size_t at = out.size();
  out.resize(at + sizeof block);
  std::memcpy(out.data() + at, &block, sizeof block);
}

void WriteSegment(std::vector<uint8_t> &out, const SegmentSpec &s, uint32_t unique_count) {
  BtrKeySpec k{};
  k.position = s.position;
  k.length = s.length;
  k.flags = s.flags;
  k.unique_count = unique_count;
  k.type = s.type;
  k.null_value = s.null_value;
  k.key_number = s.manual_key_number;
  k.acs_number = s.acs_number;
  Append(out, k);
}

void WriteTable(std::vector<uint8_t> &out, const CollatingTable &t) {
  BtrCollatingTable table{};
  table.signature = kTableMarker;
  std::memcpy(table.name, t.name.data(), std::min<size_t>(t.name.size(), sizeof table.name));
  std::memcpy(table.map, t.map.data(), sizeof table.map);
  Append(out, table);
}

// Reads `count` collating tables or as many well-formed ones as follow (count < 0).
size_t ReadTables(const uint8_t *data, uint32_t length, size_t offset,
                  std::vector<CollatingTable> *tables) {
  while (offset + kTableSize <= length && data[offset] == kTableMarker) {
    CollatingTable t;
    const uint8_t *name = data + offset + 1;
    size_t n = 0;
    while (n < 8 && name[n] != 0)
      ++n;
    t.name.assign(reinterpret_cast<const char *>(name), n);
    std::memcpy(t.map.data(), data + offset + 9, 256);
    tables->push_back(std::move(t));
    offset += kTableSize;
  }
  return offset;
}

// Reads the segments of one key starting at `offset`. Returns 0 or a status.
int ReadKey(const uint8_t *data, uint32_t length, size_t *offset, size_t max_segments,
            KeyDef *key) {
  for (;;) {
    if (*offset + kSpecSize > length) return B_DATALENGTH_ERROR;
    SegmentSpec s = ReadSegment(data + *offset);
    *offset += kSpecSize;
    key->segments.push_back(s);
    if (key->segments.size() > max_segments) return B_NUMBER_OF_KEYS;
    if ((s.flags & B_KEY_SEGMENTED) == 0) return 0;
  }
}

int ParseRaw(const uint8_t *data, uint32_t length, FileSpec *spec, bool validate) {
  if (data == nullptr || length < kSpecSize) return B_DATALENGTH_ERROR;
  BtrFileSpec file;
  std::memcpy(&file, data, sizeof file);
  spec->record_length = file.record_length;
  spec->page_size = file.page_size;
  uint16_t key_count = file.key_count;
  spec->file_flags = file.file_flags;
  spec->preallocation = file.preallocation;
  spec->keys.clear();
  spec->collating_tables.clear();
  if (validate) {
    if (spec->page_size < 512 || spec->page_size > 4096 || spec->page_size % 512 != 0) {
      return B_PAGE_SIZE_ERROR;
    }
    if (spec->record_length == 0) return B_INVALID_RECORD_LENGTH;
    if (key_count > 119) return B_NUMBER_OF_KEYS;
  }
  size_t offset = kSpecSize;
  size_t max_segments =
      validate ? static_cast<size_t>(MaxSegmentsForPageSize(spec->page_size)) : 4096;
  size_t segments = 0;
  for (uint16_t k = 0; k < key_count; ++k) {
    KeyDef key;
    int rc = ReadKey(data, length, &offset, max_segments - segments, &key);
    if (rc != 0) return rc;
    segments += key.segments.size();
    spec->keys.push_back(std::move(key));
  }
  ReadTables(data, length, offset, &spec->collating_tables);
  if (validate) {
    for (const KeyDef &key : spec->keys) {
      int rc = ValidateKey(*spec, key);
      if (rc != 0) return rc;
    }
  }
  return 0;
}

bool IsStringType(uint8_t type) {
  return type == B_TYPE_STRING || type == B_TYPE_LSTRING || type == B_TYPE_ZSTRING;
}

}  // namespace

bool LengthFitsType(uint8_t type, uint16_t len) {
  switch (type) {
    case B_TYPE_STRING:
    case B_TYPE_DECIMAL:
    case B_TYPE_MONEY:
    case B_TYPE_NUMERIC:
    case B_TYPE_ZSTRING:
      return len >= 1 && len <= 255;
    case B_TYPE_LSTRING:
      return len >= 2 && len <= 255;
    case B_TYPE_INTEGER:
    case B_TYPE_UNSIGNED_BINARY:
      return len == 1 || len == 2 || len == 4 || len == 8;
    case B_TYPE_FLOAT:
    case B_TYPE_BFLOAT:
      return len == 4 || len == 8;
    case B_TYPE_DATE:
    case B_TYPE_TIME:
      return len == 4;
    case B_TYPE_LOGICAL:
      return len == 1 || len == 2;
    case B_TYPE_AUTOINCREMENT:
      return len == 2 || len == 4;
    default:  // Note, LVar and unknown codes cannot be keys
      return false;
  }
}

size_t FileSpec::SegmentCount() const {
  size_t n = 0;
  for (const KeyDef &k : keys)
    n += k.segments.size();
  return n;
}

const CollatingTable *FileSpec::TableFor(const SegmentSpec &s) const {
  if (!s.UsesCollatingTable() || collating_tables.empty()) return nullptr;
  size_t i = s.acs_number < collating_tables.size() ? s.acs_number : 0;
  return &collating_tables[i];
}

int MaxSegmentsForPageSize(int page_size) {
  if (page_size < 1024) return 8;
  if (page_size < 1536) return 23;
  if (page_size < 2048) return 24;
  if (page_size < 4096) return 54;
  return 119;
}

int ValidateKey(const FileSpec &spec, const KeyDef &key) {
  if (key.segments.empty()) return B_INVALID_KEYLENGTH;
  const uint16_t consistent_bits =
      B_KEY_DUPLICATES | B_KEY_MODIFIABLE | B_KEY_NULL_ALL | B_KEY_NULL_ANY;
  uint16_t first = key.segments.front().flags & consistent_bits;
  uint32_t total = 0;
  for (const SegmentSpec &s : key.segments) {
    if (s.length == 0) return B_INVALID_KEYLENGTH;
    if (s.position == 0 || static_cast<uint32_t>(s.position) + s.length - 1 > spec.record_length) {
      return B_INVALID_KEY_POSITION;
    }
    uint8_t type = s.EffectiveType();
    if (!LengthFitsType(type, s.length)) return B_INVALID_KEYLENGTH;
    total += s.length;
    if ((s.flags & consistent_bits) != first) return B_INCONSISTENT_KEY_FLAGS;
    if ((s.flags & B_KEY_NULL_ALL) && (s.flags & B_KEY_NULL_ANY)) return B_INCONSISTENT_KEY_FLAGS;
    if (s.CaseInsensitive() && (!IsStringType(type) || s.UsesCollatingTable())) {
      return B_INCONSISTENT_KEY_FLAGS;
    }
    if (s.UsesCollatingTable()) {
      if (!IsStringType(type)) return B_INCONSISTENT_KEY_FLAGS;
      if (spec.collating_tables.empty()) return B_INVALID_ALT_SEQUENCE_DEF;
    }
  }
  if (total > 255) return B_INVALID_KEYLENGTH;
  return 0;
}

int ParseCreateBuffer(const uint8_t *data, uint32_t length, FileSpec *spec) {
  return ParseRaw(data, length, spec, true);
}

int ParseKeyBuffer(const uint8_t *data, uint32_t length, const FileSpec &spec, KeyDef *key,
                   std::vector<CollatingTable> *new_tables) {
  size_t offset = 0;
  size_t room = static_cast<size_t>(MaxSegmentsForPageSize(spec.page_size));
  room = room > spec.SegmentCount() ? room - spec.SegmentCount() : 0;
  if (room == 0) return B_NUMBER_OF_KEYS;
  int rc = ReadKey(data, length, &offset, room, key);
  if (rc != 0) return rc;
  ReadTables(data, length, offset, new_tables);
  FileSpec probe = spec;
  probe.collating_tables.insert(probe.collating_tables.end(), new_tables->begin(),
                                new_tables->end());
  return ValidateKey(probe, *key);
}

std::vector<uint8_t> BuildStatBuffer(const FileSpec &spec, uint32_t record_count,
                                     const std::vector<uint32_t> &unique_counts) {
  std::vector<uint8_t> out;
  BtrFileSpec file{};
  file.record_length = spec.record_length;
  file.page_size = spec.page_size;
  file.key_count = static_cast<uint16_t>(spec.keys.size());
  file.record_count = record_count;
  file.file_flags = spec.file_flags;
  file.preallocation = spec.preallocation;
  Append(out, file);
  for (size_t k = 0; k < spec.keys.size(); ++k) {
    uint32_t unique = k < unique_counts.size() ? unique_counts[k] : 0;
    for (const SegmentSpec &s : spec.keys[k].segments)
      WriteSegment(out, s, unique);
  }
  for (const CollatingTable &t : spec.collating_tables)
    WriteTable(out, t);
  return out;
}

std::vector<uint8_t> SerializeSpec(const FileSpec &spec) {
  return BuildStatBuffer(spec, 0, {});
}

bool DeserializeSpec(const std::vector<uint8_t> &bytes, FileSpec *spec) {
  return ParseRaw(bytes.data(), static_cast<uint32_t>(bytes.size()), spec, false) == 0;
}

}  // namespace btr
