// One fuzz input run against the readers of the texts that load takes (CSV, TSV, JSON
// Lines): the rows read from any bytes, then those rows written as dump writes each format
// and read back. Nothing may read outside its input, and every row must come back as it
// was written: a value that dump writes and load reads otherwise is changed data.
#pragma once

#include <cstddef>
#include <cstdint>

int RunTextRowsFuzzInput(const uint8_t *data, size_t size);
