// libFuzzer entry point for the dictionary editor (built with clang: cmake --preset fuzz).
#include <memory>

#include "editor_input.h"
#include "zplatform/messages.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  // The messages of refused inputs are expected: none is shown.
  static const bool silent = [] {
    zplatform::MessageService::Instance().SetPresenter(
        std::make_shared<zplatform::SilentPresenter>());
    return true;
  }();
  (void)silent;
  return RunEditorFuzzInput(data, size);
}
