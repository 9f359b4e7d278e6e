#include "zplatform/c_numbers.h"

#include <locale.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace zplatform {
namespace {

locale_t CLocale() {
  static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  return c;
}

}  // namespace

double CStrtod(const char *text, char **end) {
  locale_t c = CLocale();
  if (c == static_cast<locale_t>(0)) return std::strtod(text, end);
  return strtod_l(text, end, c);
}

int CSnprintf(char *buffer, size_t size, const char *format, ...) {
  locale_t c = CLocale();
  // The thread's own locale only, for this call: other threads keep theirs.
  locale_t before = c != static_cast<locale_t>(0) ? uselocale(c) : static_cast<locale_t>(0);
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(buffer, size, format, args);
  va_end(args);
  if (before != static_cast<locale_t>(0)) uselocale(before);
  return n;
}

}  // namespace zplatform
