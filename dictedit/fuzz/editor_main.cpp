// libFuzzer entry point for the dictionary editor (built with clang: cmake --preset fuzz).
#include "editor_input.h"
#include "fuzz_main.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  return fuzzing::RunQuietly(RunEditorFuzzInput, data, size);
}
