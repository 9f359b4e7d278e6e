// What the fuzz inputs share: a reader of the input's bytes and a scratch directory of the
// run. Header-only, so the fuzz targets use it without the test library.
#pragma once

#include <stdlib.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace fuzzing {

// The input read front to back; past its end every byte reads 0.
class FuzzReader {
 public:
  FuzzReader(const uint8_t *data, size_t size) : data_(data), size_(size) {}
  bool More() const { return at_ < size_; }
  uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  int Small(int n) { return Byte() % n; }
  uint16_t U16() { return static_cast<uint16_t>(Byte() | Byte() << 8); }
  void Fill(void *out, size_t n) {
    size_t k = std::min(n, size_ - at_);
    if (k > 0) std::memcpy(out, data_ + at_, k);
    std::memset(static_cast<uint8_t *>(out) + k, 0, n - k);
    at_ += k;
  }
  // Up to the next 0 byte (taken) or the end.
  std::string Text() {
    std::string s;
    while (at_ < size_ && data_[at_] != 0)
      s.push_back(static_cast<char>(data_[at_++]));
    if (at_ < size_) ++at_;
    return s;
  }

 private:
  const uint8_t *data_;
  size_t size_;
  size_t at_ = 0;
};

// A new directory under TMPDIR (or /tmp) for the whole run; ZELKO_CONFIG_DIR points there
// unless the caller set it, so no setting of the user's is read.
inline std::string FuzzScratchDirectory(const char *prefix) {
  const char *base = getenv("TMPDIR");
  std::string tmpl = std::string(base && *base ? base : "/tmp") + "/" + prefix + "-XXXXXX";
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  if (mkdtemp(buf.data()) == nullptr) abort();
  setenv("ZELKO_CONFIG_DIR", buf.data(), 0);
  return buf.data();
}

// 1 to `max_size` random bytes: a fixed corpus for the test suite, from a seeded generator.
inline std::vector<uint8_t> RandomInput(std::mt19937 &rng, size_t max_size) {
  std::vector<uint8_t> input(1 + rng() % max_size);
  for (auto &b : input)
    b = static_cast<uint8_t>(rng());
  return input;
}

}  // namespace fuzzing
