// Calls of the record manager for the model-checked fuzz target, and the checks of what
// they return against the model. A difference aborts with a description.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "model_file.h"

namespace btrmodel {

[[noreturn]] void Fail(const char *format, ...) __attribute__((format(printf, 1, 2)));

struct Reply {
  int16_t status;
  std::string data;
  std::string key;  // the whole key buffer
};

constexpr uint8_t kUntouched = 0xEE;

// One call with a data buffer of `room` bytes (or `data`'s size) that starts with `data`, and
// a 255-byte key buffer that starts with `key`; the rest of both holds kUntouched.
Reply Call(int op, uint8_t *pb, const std::string &data, size_t room, const std::string &key,
           int key_number);

// A record position as a data buffer holds it (4 bytes), and back.
std::string PositionBytes(int64_t pos);
int64_t PositionFrom(const std::string &bytes);

void Expect(int op, int got, int want);
std::string Hex(const std::string &s);
// The key buffer must hold the key value of `e`'s record.
void ExpectKey(int op, const Reply &r, const Entry &e, int key);
// A read into `room` bytes gives as much of the record as fits, and 22 when it is cut.
int Fits(const Entry &e, size_t room, bool key_only);
// A read that found `e` returns its record (unless only the key was asked for) and its key
// value.
void ExpectRecord(int op, const Reply &r, const Entry &e, int key, bool key_only,
                  size_t room = kRoom);

}  // namespace btrmodel
