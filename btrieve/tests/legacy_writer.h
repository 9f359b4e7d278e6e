// For tests only: writes files in the old (3.x-5.x) Btrieve layout, a control record with
// its key table and data pages of fixed-length records, with no index pages (a reader of the
// layout does not need them). Checked against the genuine files by reading a rewritten copy
// identically.
#pragma once

#include <string>
#include <vector>

namespace legacytest {

struct OldSegment {
  int position = 1;  // 1-based
  int length = 1;
  int flags = 0;  // 0x10 when another segment of the key follows, 0x100 with `type`
  int type = 0;
};

// Every record must be `record_length` bytes.
std::string WriteOldLayout(int page_size, int record_length,
                           const std::vector<std::vector<OldSegment>> &keys,
                           const std::vector<std::string> &records);

}  // namespace legacytest
