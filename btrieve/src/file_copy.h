// A data file copied between stores (a local file and a server, either way, or two of a kind):
// the same specification and owner, every record at its position with its key sequences,
// every key entry, and the positions given out so far; then both are read back and compared.
#pragma once

#include <cstdint>
#include <string>

namespace btr {

struct CopyReport {
  int64_t records = 0;
  int64_t entries = 0;  // key entries, every key
};

// Copies `from` to `to` (native paths); `to` must not exist. While it runs no other process
// writes `from`. 0 or a status, with the reason in `why`; a failed copy leaves no `to`.
int CopyDataFile(const std::string &from, const std::string &to, CopyReport *report,
                 std::string *why);

}  // namespace btr
