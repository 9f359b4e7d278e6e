// One fuzz input run against the record manager: the first byte chooses the buffer under
// test (Create specification, extended descriptor, Stat buffer, Get Direct buffer, Create
// Index specification), the rest is that buffer. Only statuses may come back.
#pragma once

#include <cstddef>
#include <cstdint>

int RunBtrieveFuzzInput(const uint8_t *data, size_t size);
