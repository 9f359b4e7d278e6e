// libFuzzer entry point for the editor's data conversion (built with clang: cmake --preset
// fuzz).
#include <memory>

#include "conversion_input.h"
#include "zplatform/messages.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  // Questions are answered OK and refusals are expected: nothing is shown.
  static const bool silent = [] {
    zplatform::MessageService::Instance().SetPresenter(
        std::make_shared<zplatform::SilentPresenter>());
    return true;
  }();
  (void)silent;
  return RunConversionFuzzInput(data, size);
}
