// Floating-point texts in the C notation ("1.5"), whatever locale the process runs in: a
// host that takes the user's locale (Qt does at start) must not read "1.5" as 1 or write
// "1,5" into a record.
#pragma once

#include <cstddef>

namespace zplatform {

// strtod in the C locale.
double CStrtod(const char *text, char **end);

// snprintf in the C locale.
int CSnprintf(char *buffer, size_t size, const char *format, ...)
    __attribute__((format(printf, 3, 4)));

}  // namespace zplatform
