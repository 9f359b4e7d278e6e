/* The public headers compile as C (built with the tests; nothing runs). */
#include "btrieve/btrapi.h"
#include "dictio/dictio.h"
#include "zelkoctl/zelkoapi.h"

int zelko_public_headers_compile_as_c(void) {
  BtrFileSpec file = {0};
  BtrKeySpec key = {0};
  return file.record_length + key.position + DB_OK + (DDF_NAMED_INDEX - 255);
}
