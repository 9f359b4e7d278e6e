#include "legacy_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace btr::legacy {

LegacySource LegacySource::OpenFile(const std::string &native_path) {
  LegacySource source;
  source.ok_ = false;
  source.fd_ = ::open(native_path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st {};
  if (source.fd_ >= 0 && ::fstat(source.fd_, &st) == 0 && S_ISREG(st.st_mode)) {
    source.size_ = static_cast<size_t>(st.st_size);
    source.ok_ = true;
  }
  return source;
}

LegacySource::LegacySource(LegacySource &&other) noexcept
    : memory_(other.memory_), size_(other.size_), fd_(other.fd_), ok_(other.ok_) {
  other.fd_ = -1;
}

LegacySource::~LegacySource() {
  if (fd_ >= 0) ::close(fd_);
}

int LegacySource::Read(size_t at, size_t n, char *out) const {
  if (memory_ != nullptr) {
    if (at > size_ || n > size_ - at) return kEndedEarly;
    std::memcpy(out, memory_ + at, n);
    return 0;
  }
  if (fd_ < 0) return EBADF;
  while (n > 0) {
    ssize_t got = ::pread(fd_, out, n, static_cast<off_t>(at));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return errno;
    if (got == 0) return kEndedEarly;
    out += got;
    at += static_cast<size_t>(got);
    n -= static_cast<size_t>(got);
  }
  return 0;
}

}  // namespace btr::legacy
