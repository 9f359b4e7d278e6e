// libFuzzer entry point for the editor's data conversion (built with clang: cmake --preset fuzz).
#include "conversion_input.h"
#include "fuzz_main.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  return fuzzing::RunQuietly(RunConversionFuzzInput, data, size);
}
