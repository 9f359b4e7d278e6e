// Little-endian reads and writes on byte buffers: every number in a record, a key, a
// dictionary record and a Btrieve buffer is stored so.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zplatform {

inline uint16_t GetU16(const uint8_t *p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t GetU32(const uint8_t *p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
// An unsigned number of `n` bytes (at most 8).
inline uint64_t GetUnsigned(const uint8_t *p, size_t n) {
  uint64_t v = 0;
  for (size_t i = n; i-- > 0;)
    v = (v << 8) | p[i];
  return v;
}
// The low `n` bytes of `v` (at most 8).
inline void PutUnsigned(uint8_t *p, uint64_t v, size_t n) {
  for (size_t i = 0; i < n; ++i)
    p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void PutU16(uint8_t *p, uint16_t v) {
  PutUnsigned(p, v, 2);
}
inline void PutU32(uint8_t *p, uint32_t v) {
  PutUnsigned(p, v, 4);
}
inline void AppendU16(std::vector<uint8_t> &out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
inline void AppendU32(std::vector<uint8_t> &out, uint32_t v) {
  for (int i = 0; i < 4; ++i)
    out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

}  // namespace zplatform
