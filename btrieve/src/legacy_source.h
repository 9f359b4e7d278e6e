// Where the reader of genuine Btrieve files finds their bytes: in memory, or in a file read a
// piece at a time. A file is neither mapped nor read whole: one larger than memory can be
// walked, and one that shrinks or fails while it is read gives an error, not a crash.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace btr::legacy {

class LegacySource {
 public:
  // Bytes in memory, which must outlive the source.
  LegacySource(std::string_view bytes) : memory_(bytes.data()), size_(bytes.size()) {}
  LegacySource(const std::string &bytes) : LegacySource(std::string_view(bytes)) {}
  // The file at `native_path`; ok() is false when it cannot be opened.
  static LegacySource OpenFile(const std::string &native_path);
  LegacySource(LegacySource &&other) noexcept;
  LegacySource(const LegacySource &) = delete;
  LegacySource &operator=(const LegacySource &) = delete;
  ~LegacySource();

  bool ok() const { return ok_; }
  size_t Size() const { return size_; }
  // The bytes when they are in memory, else null.
  const char *Memory() const { return memory_; }
  // Reads `n` bytes at `at`: 0, the operating system's error, or kEndedEarly when the file
  // now ends before them (it changed since it was opened).
  static constexpr int kEndedEarly = -1;
  int Read(size_t at, size_t n, char *out) const;

 private:
  LegacySource() = default;
  const char *memory_ = nullptr;
  size_t size_ = 0;
  int fd_ = -1;
  bool ok_ = true;
};

}  // namespace btr::legacy
