// Importing a genuine Btrieve file into a file of our record manager: the same record length,
// page size, variable-record flag and keys (collating sequences included), every record
// inserted, then verified (the count against the source's control record, the file's own
// check, every record read back byte for byte). The file is made under a temporary name and
// renamed only when verified.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "legacy_file.h"

namespace btr::legacy {

struct ImportReport {
  uint32_t records_read = 0, records_written = 0;
};

// `destination` is a code-page path that must not exist yet. `progress` (may be empty) is
// told the records written so far. `interrupted` (may be empty) is asked as the records are
// written; once it answers true the import stops and leaves nothing ("interrupted" in `why`).
// 0, or 1 with the reason in `why`.
int ImportLegacyFile(const LegacyFile &file, const std::string &destination,
                     const std::function<void(uint32_t done, uint32_t total)> &progress,
                     ImportReport *report, std::string *why,
                     const std::function<bool()> &interrupted = {});

// The same for a file whose records are never held together, walked from `source` as they
// are written: `header` is what ReadLegacyFile(source, &header, why, false) read.
int ImportLegacyFile(const LegacyFile &header, const LegacySource &source,
                     const std::string &destination,
                     const std::function<void(uint32_t done, uint32_t total)> &progress,
                     ImportReport *report, std::string *why,
                     const std::function<bool()> &interrupted = {});

// The Create buffer of our record manager for the file's specification; empty with `why`
// when a key cannot be made (a key type the record manager lacks).
std::string CreateBufferFor(const LegacyFile &file, std::string *why);

}  // namespace btr::legacy
