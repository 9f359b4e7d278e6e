// libFuzzer target: the reader of genuine Btrieve files on any bytes. It must refuse what it
// cannot read with a reason and never read outside the input; the walk of the records, and
// the same bytes read from a file a piece at a time, must give what the whole read gives.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "legacy_file.h"

namespace {

// The bytes as a file (in memory, named through /proc), or an empty name when none is made.
std::string AsFile(std::string_view bytes, int *fd) {
  *fd = memfd_create("legacy", MFD_CLOEXEC);
  if (*fd < 0) return std::string();
  if (::write(*fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
    ::close(*fd);
    return std::string();
  }
  return "/proc/self/fd/" + std::to_string(*fd);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  // Exactly the input's bytes, so a read past them is caught.
  std::string_view bytes(reinterpret_cast<const char *>(data), size);
  btr::legacy::LegacyFile file;
  std::string why;
  bool read = btr::legacy::ReadLegacyFile(bytes, &file, &why);
  if (!read && why.empty()) __builtin_trap();  // a refusal always says why
  std::vector<std::string> walked;
  std::string walk_why;
  bool walk = btr::legacy::ForEachLegacyRecord(
      bytes,
      [&walked](const std::string &record) {
        walked.push_back(record);
        return true;
      },
      &walk_why);
  if (walk != read || walk_why != (read ? std::string() : why)) __builtin_trap();
  if (read && walked != file.records) __builtin_trap();
  int fd = -1;
  std::string path = AsFile(bytes, &fd);
  if (!path.empty()) {
    btr::legacy::LegacyFile from_file;
    std::string file_why;
    bool file_read = btr::legacy::ReadLegacyFile(btr::legacy::LegacySource::OpenFile(path),
                                                 &from_file, &file_why);
    ::close(fd);
    if (file_read != read || file_why != (read ? std::string() : why)) __builtin_trap();
    if (read && from_file.records != file.records) __builtin_trap();
  }
  return 0;
}
