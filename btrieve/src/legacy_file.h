// A reader of genuine Btrieve files, the old layout of versions 3 to 5 and the page-table
// layout of 6.0 and 6.1: the file control record, the key specifications with their
// alternate collating sequences, and every live record (fixed part and variable tail) in
// physical order. Every offset and length is checked against the file before it is used; a
// file that cannot be read whole is refused with the reason, naming the page and offset.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "legacy_source.h"

namespace btr::legacy {

struct LegacyCollating {
  std::string name;  // up to 8 characters, blanks and zeros removed from the end
  std::array<uint8_t, 256> map{};
};

struct LegacySegment {
  int position = 0;  // 1-based, in the logical record
  int length = 0;
  int flags = 0;  // as the file has them
  int type = 0;   // extended type (old style: 0 string, 14 when binary)
  int null_value = 0;
  int collating = -1;  // index into LegacyFile::collating, -1 none
};

struct LegacyKey {
  std::vector<LegacySegment> segments;
};

struct LegacyFile {
  bool page_table = false;  // 6.x
  int version = 0;          // 4 for the old layout, 0x600 or 0x610
  int page_size = 0;
  int record_length = 0;    // the fixed part
  int physical_length = 0;  // the slot
  bool variable = false;
  uint32_t fcr_records = 0;
  std::vector<LegacyKey> keys;
  std::vector<LegacyCollating> collating;
  std::vector<std::string> records;  // physical order
};

// Reads a file. True with `out` filled; false with the reason in `why`.
// `records_too` false reads the header, keys and collating tables only.
bool ReadLegacyFile(const LegacySource &source, LegacyFile *out, std::string *why,
                    bool records_too = true);

// Walks the live records in physical order without keeping them, for files larger than
// memory. A false answer of `visit` stops the walk: false is returned and `why` is left as
// it was. False with the reason in `why` when the file cannot be read.
using RecordVisitor = std::function<bool(const std::string &record)>;
bool ForEachLegacyRecord(const LegacySource &source, const RecordVisitor &visit, std::string *why);
// The number of live records, by such a walk.
bool CountLegacyRecords(const LegacySource &source, uint32_t *count, std::string *why);

// Said of such a file where a program of this record manager cannot open it.
inline constexpr char kImportHint[] =
    "a genuine Btrieve file: btrimport makes a file of this record manager from it, and "
    "zelko import-dictionary a whole dictionary with its files";

// Whether the file at `native_path` begins as a genuine Btrieve file that the reader takes
// (its control records read sound): a cue to point the user at the import.
bool LooksLikeLegacyFile(const std::string &native_path);

}  // namespace btr::legacy
