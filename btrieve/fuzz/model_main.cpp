// libFuzzer entry point for runs checked against a model (built with clang: cmake --preset fuzz).
#include "model_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  return RunBtrieveModelInput(data, size);
}
