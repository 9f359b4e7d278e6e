// libFuzzer entry point for the form file reader (built with clang: cmake --preset fuzz).
#include "frm_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  return RunFrmFuzzInput(data, size);
}
