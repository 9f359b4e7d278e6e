// File and key specifications as the record manager reports them (Stat) and as the
// dictionary says they must be, and the differences between the two.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/table_catalog.h"

namespace zelkocli {

struct KeySegmentSpec {
  int position = 0;  // 1-based, as the record manager counts
  int length = 0;
  int flags = 0;  // without the collating-table flag, which the dictionary does not keep
  int type = 0;
  int null_value = 0;  // the byte a null key leaves out
};
struct FileSpecSummary {
  int record_length = 0;  // the fixed part
  int page_size = 0;
  bool variable = false;
  long record_count = 0;
  std::vector<std::vector<KeySegmentSpec>> keys;  // by key number
};

FileSpecSummary ReadFileSpec(const std::vector<uint8_t> &stat);
FileSpecSummary DictionaryFileSpec(const zelko::TableDescriptor &table);
// One line per difference; empty when the file is what the dictionary describes.
std::vector<std::string> CompareFileSpecs(const FileSpecSummary &dictionary,
                                          const FileSpecSummary &file);
// "duplicates, modifiable, ..." for key flags.
std::string KeyFlagText(int flags);

}  // namespace zelkocli
