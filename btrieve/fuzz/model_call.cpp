#include "model_call.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "btrieve/btrapi.h"

namespace btrmodel {

[[noreturn]] void Fail(const char *format, ...) {
  va_list args;
  va_start(args, format);
  std::fputs("model: ", stderr);
  std::vfprintf(stderr, format, args);
  std::fputc('\n', stderr);
  va_end(args);
  abort();
}

Reply Call(int op, uint8_t *pb, const std::string &data, size_t room, const std::string &key,
           int key_number) {
  std::vector<uint8_t> buffer(std::max(room, data.size()), kUntouched);
  if (!data.empty()) std::memcpy(buffer.data(), data.data(), data.size());
  uint8_t key_buffer[255];
  std::memset(key_buffer, kUntouched, sizeof key_buffer);
  std::memcpy(key_buffer, key.data(), std::min(key.size(), sizeof key_buffer));
  uint32_t length = static_cast<uint32_t>(buffer.size());
  Reply r;
  r.status = BTRCALL(static_cast<uint16_t>(op), pb, buffer.data(), &length, key_buffer,
                     sizeof key_buffer, static_cast<int8_t>(key_number));
  if (length > buffer.size()) Fail("op %d returned a length beyond its buffer", op);
  r.data.assign(reinterpret_cast<const char *>(buffer.data()), length);
  r.key.assign(reinterpret_cast<const char *>(key_buffer), sizeof key_buffer);
  return r;
}

std::string PositionBytes(int64_t pos) {
  uint32_t p32 = static_cast<uint32_t>(pos);
  return std::string(reinterpret_cast<const char *>(&p32), 4);
}

int64_t PositionFrom(const std::string &bytes) {
  return static_cast<int32_t>(UnsignedLe(reinterpret_cast<const uint8_t *>(bytes.data()), 4));
}

void Expect(int op, int got, int want) {
  if (got != want) Fail("op %d gave status %d, the model %d", op, got, want);
}

std::string Hex(const std::string &s) {
  std::string out;
  char b[4];
  for (unsigned char c : s) {
    std::snprintf(b, sizeof b, "%02X", c);
    out += b;
  }
  return out;
}

void ExpectKey(int op, const Reply &r, const Entry &e, int key) {
  std::string kv = KeyValue(Keys()[key], e.rec->data);
  if (r.key.compare(0, kv.size(), kv) != 0)
    Fail("op %d returned key %s, the model %s", op, Hex(r.key.substr(0, kv.size())).c_str(),
         Hex(kv).c_str());
}

int Fits(const Entry &e, size_t room, bool key_only) {
  return !key_only && e.rec->data.size() > room ? B_DATALENGTH_ERROR : 0;
}

void ExpectRecord(int op, const Reply &r, const Entry &e, int key, bool key_only, size_t room) {
  if (key_only) {
    if (!r.data.empty() && r.data[0] != static_cast<char>(kUntouched))
      Fail("op %d (key only) wrote the data buffer", op);
  } else if (r.data != e.rec->data.substr(0, room)) {
    Fail("op %d returned %s, the model %s (position %lld)", op, Hex(r.data).c_str(),
         Hex(e.rec->data).c_str(), static_cast<long long>(e.pos));
  }
  if (key >= 0) ExpectKey(op, r, e, key);
}

}  // namespace btrmodel
