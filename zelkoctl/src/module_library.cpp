// The control module's shared library. The platform layer's string functions are linked in
// and exported from here, so a caller frees returned strings with SysFreeString.
#include "zelkoctl/zelkoapi.h"
#include "zplatform/bstr.h"

namespace {
// Keeps the platform layer's exported string functions in the library.
[[maybe_unused]] auto *const kFreeString = &SysFreeString;
}  // namespace
