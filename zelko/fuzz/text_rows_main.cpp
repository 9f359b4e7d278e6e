// libFuzzer entry point for the readers of load's texts (built with clang: cmake --preset fuzz).
#include "text_rows_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  return RunTextRowsFuzzInput(data, size);
}
