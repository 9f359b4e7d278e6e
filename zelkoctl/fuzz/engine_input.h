// One fuzz input run against the data engine's value handling: field conversion both ways
// for any type, size and decimals; the display mask service; the edit box's text rules; date
// and time normalisation; and a dictionary of arbitrary records loaded as a catalog, every
// field of a garbled record read and written. Nothing may read or write outside its
// buffers, and a field write never touches bytes beyond the field's room.
#pragma once

#include <cstddef>
#include <cstdint>

int RunEngineFuzzInput(const uint8_t *data, size_t size);
