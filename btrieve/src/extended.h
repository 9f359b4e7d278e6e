// Extended operations: the descriptor (filter terms and the fields to extract), its
// validation, and the filter's evaluation on a record.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "file_spec.h"

namespace btr {

struct FilterTerm {
  uint8_t type = 0;
  uint16_t length = 0;
  uint16_t offset = 0;
  uint8_t comparison = 0;         // 1 =, 2 >, 3 <, 4 <>, 5 >=, 6 <=
  bool collating = false;         // +32
  bool other_field = false;       // +64: the value is the offset of another field
  bool case_insensitive = false;  // +128
  uint8_t connector = 0;          // 0 last, 1 and, 2 or
  std::string value;              // the value in stored form (other_field: unused)
  uint16_t other_offset = 0;
};

struct ExtractField {
  uint16_t length = 0;
  uint16_t offset = 0;
};

struct ExtendedDescriptor {
  char mode[2] = {'U', 'C'};
  uint16_t reject_count = 0;
  std::vector<FilterTerm> terms;
  uint16_t max_records = 0;
  std::vector<ExtractField> fields;
  uint32_t ExtractedLength() const;
  bool ExtendedMode() const { return mode[0] == 'E' && mode[1] == 'G'; }
};

// Parses a descriptor from `data` (`length` bytes available). Returns 0, 62 for a malformed
// descriptor or 65 for a field outside the record (`record_length` bytes).
int ParseExtendedDescriptor(const uint8_t *data, uint32_t length, uint32_t record_length,
                            ExtendedDescriptor *out);

// Compiled filter: every term's value encoded once so a record is tested by memcmp.
class ExtendedFilter {
 public:
  ExtendedFilter(const FileSpec &spec, const ExtendedDescriptor &d);
  // True when the record (at least the fixed length) passes the terms, left to right.
  bool Matches(const uint8_t *record) const;
  // For the early end: the result of comparing the first term's value with the record's
  // field, as encoded key bytes (<0, 0, >0: field below, equal, above the value).
  int CompareFirst(const uint8_t *record) const;
  const std::vector<FilterTerm> &Terms() const { return terms_; }

 private:
  struct Compiled {
    SegmentSpec segment;
    const CollatingTable *table;
    std::string encoded_value;
  };
  bool Test(size_t i, const uint8_t *record) const;
  std::vector<FilterTerm> terms_;
  std::vector<Compiled> compiled_;
};

}  // namespace btr
