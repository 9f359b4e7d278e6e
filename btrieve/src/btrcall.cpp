#include "btrieve/btrapi.h"

// The record manager arrives with its own change; until then every operation is refused.
extern "C" int16_t BTRCALL(uint16_t, void *, void *, uint32_t *, void *, uint8_t, int8_t) {
  return B_RECORD_MANAGER_INACTIVE;
}

extern "C" void BTRRELEASE(void) {}
