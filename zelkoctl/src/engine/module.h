// The control module's process-wide state, in one object created on first use.
#pragma once

#include <cstdint>
#include <memory>

#include "settings.h"

namespace zelko {

class Module {
 public:
  static Module &Get();
  // Drops the state so the next use starts afresh (tests).
  static void Reset();

  const ConversionSettings &Settings() const { return settings_; }
  ConversionSettings &MutableSettings() { return settings_; }

  int16_t lock_bias = 0;  // added to the access operations (DbSetLockBias)

 private:
  Module();
  ConversionSettings settings_;
};

}  // namespace zelko
