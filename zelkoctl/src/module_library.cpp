// The control module's shared library. The platform layer's string functions are linked in
// and exported from here, so a caller frees returned strings with SysFreeString; the one
// decorated export is made here too.
#include <cstdint>

#include "zelkoctl/zelkoapi.h"
#include "zplatform/bstr.h"

// DbGetTableName under the decorated name declared functions of the original platform use,
// "_DbGetTableName@4". ELF tools read "@" as a symbol version, so the library is linked with
// this stand-in of the same length and the same GNU hash, and the build renames it afterwards
// (zelkoctl/tools/decorate_symbol.cpp).
extern "C" __attribute__((visibility("default"))) char *DecoratedDbGetTableName(
    int16_t table_id) __asm__("_DbGetTableNamda4");
char *DecoratedDbGetTableName(int16_t table_id) {
  return DbGetTableName(table_id);
}

namespace {
// Keeps the platform layer's exported string functions in the library.
[[maybe_unused]] auto *const kFreeString = &SysFreeString;
[[maybe_unused]] auto *const kStringLength = &SysStringByteLen;
}  // namespace
