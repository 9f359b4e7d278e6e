// libFuzzer entry point for damaged files (built with clang: cmake --preset fuzz).
#include "record_table_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  return RunRecordTableFuzzInput(data, size);
}
