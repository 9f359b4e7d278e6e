// What every flat export shares: the attached source, the checks A, T and O or N in their
// order, the two string-return modes, and the guard that keeps exceptions inside.
#pragma once

#include <cstdint>
#include <string>

#include "binding/data_source.h"
#include "engine/table_catalog.h"
#include "zelkoctl/zelkoapi.h"

namespace zelko {

enum class Need { kAny, kOpen, kClosed };

DataSource *Source();

// The checks A, T and O or N, in that order: 0 with the table, or the first failing status.
int16_t Check(int16_t table_id, Need need, TableDescriptor **table);

// A text as the string-return mode says: a new automation string, or the static buffer.
char *ReturnText(const std::string &code_page);
char *EmptyText();

// A C string argument; null is the empty text.
inline std::string Text(const char *text) {
  return text != nullptr ? std::string(text) : std::string();
}

// Runs an export's body; whatever is thrown inside (memory exhausted) answers `failure`.
template <typename Result, typename Body>
Result Guarded(Result failure, Body body) {
  try {
    return body();
  } catch (...) {
    return failure;
  }
}

// An export on one table: the checks for `need`, then `body(table)`, guarded; a failing check
// answers its status.
template <typename Result = int16_t, typename Body>
Result OnTable(int16_t table_id, Need need, Body body, Result failure = DB_NO_MEMORY) {
  return Guarded<Result>(failure, [&]() -> Result {
    TableDescriptor *t = nullptr;
    if (int16_t s = Check(table_id, need, &t)) return s;
    return body(*t);
  });
}

}  // namespace zelko
