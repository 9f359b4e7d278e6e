// libFuzzer entry point for the data engine (built with clang: cmake --preset fuzz).
#include "engine_input.h"
#include "fuzz_main.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  return fuzzing::RunQuietly(RunEngineFuzzInput, data, size);
}
