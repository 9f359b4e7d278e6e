// A data file copied between stores (a local file and a server, either way, or two of a kind):
// the same specification and owner, every record at its position with its key sequences,
// every key entry, and the positions given out so far; then both are read back and compared.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace btr {

struct CopyReport {
  int64_t records = 0;
  int64_t entries = 0;  // key entries, every key
};

// What CopyDataFile returns when `interrupted` stopped it.
constexpr int kCopyInterrupted = -1;

// Copies `from` to `to` (native paths); `to` must not exist. While it runs no other process
// writes `from`. 0 or a status, with the reason in `why`; a failed copy leaves no `to`. The
// copy is made under a temporary name beside `to` ("TO.copying.PID") and takes the name only
// once it compares equal and checks clean, so a copy cut short (the process killed, the power
// lost) never leaves a `to` holding part of the file. `interrupted`, when given, is asked as
// the copy goes; once it answers true the copy stops, leaves nothing and returns
// kCopyInterrupted.
int CopyDataFile(const std::string &from, const std::string &to, CopyReport *report,
                 std::string *why, const std::function<bool()> &interrupted = {});

}  // namespace btr
