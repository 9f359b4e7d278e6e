// One fuzz input run against a damaged file: a sound file of 12 records is written, then the
// input's bytes damage its stored record and key tables (records shortened, lengthened,
// removed or moved, key entries removed, rewritten or added, sequences garbled), then every
// kind of operation runs on it. Only statuses may come back, and every read loop ends.
#pragma once

#include <cstddef>
#include <cstdint>

int RunRecordTableFuzzInput(const uint8_t *data, size_t size);
