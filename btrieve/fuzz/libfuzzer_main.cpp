// libFuzzer entry point (built with clang: cmake --preset fuzz).
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  return RunBtrieveFuzzInput(data, size);
}
