// The fuzz targets' entry points run their input without showing a message: refusals are
// expected, and a question is answered with its first button.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "zplatform/messages.h"

namespace fuzzing {

inline int RunQuietly(int (*run)(const uint8_t *, size_t), const uint8_t *data, size_t size) {
  static const bool silent = [] {
    zplatform::MessageService::Instance().SetPresenter(
        std::make_shared<zplatform::SilentPresenter>());
    return true;
  }();
  (void)silent;
  return run(data, size);
}

}  // namespace fuzzing
