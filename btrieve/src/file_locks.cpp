#include "file_locks.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

#include "counted_locks.h"
#include "lock_wait.h"

namespace btr {
namespace {

constexpr off_t kOpenModeByte = 0x50000000;
constexpr off_t kWaitForWritesByte = 0x50000001;
constexpr off_t kRecordBase = 0x60000000;          // + position (positions are below 2^31)
constexpr off_t kWritingBase = 0x100000000;        // + position
constexpr off_t kWaitingHolderBase = 0x200000000;  // + position
static_assert(sizeof(off_t) == 8, "lock bytes lie above 4 GiB");

int64_t NowMs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

}  // namespace

FileLocks::~FileLocks() {
  if (fd_ >= 0) ::close(fd_);  // releases every lock of this description
}

bool FileLocks::Open(const std::string &native_path) {
  fd_ = ::open(native_path.c_str(), O_RDWR | O_CLOEXEC);
  writable_ = fd_ >= 0;
  if (fd_ < 0) fd_ = ::open(native_path.c_str(), O_RDONLY | O_CLOEXEC);
  return fd_ >= 0;
}

bool FileLocks::SetLock(off_t byte, short type, int wait_ms) {
  if (fd_ < 0) return false;
  // A description opened read-only can hold shared locks only; they still keep other
  // processes' exclusive locks away.
  if (type == F_WRLCK && !writable_) type = F_RDLCK;
  struct flock fl = {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = byte;
  fl.l_len = 1;
  int64_t deadline = NowMs() + wait_ms;
  for (int tries = 0;; ++tries) {
    if (::fcntl(fd_, F_OFD_SETLK, &fl) == 0) return true;
    if (errno != EAGAIN && errno != EACCES && errno != EINTR) return false;
    if (NowMs() >= deadline) return false;
    // Polling with a short pause never waits forever, even when two processes wait on each
    // other: the limit ends it.
    PauseBeforeRetry(tries);
  }
}

bool FileLocks::LockOpenMode(bool exclusive) {
  return SetLock(kOpenModeByte, exclusive ? F_WRLCK : F_RDLCK, 0);
}

bool FileLocks::NamedBy(const std::string &native_path, dev_t *dev, ino_t *ino) const {
  struct stat held, named;
  if (fd_ < 0 || ::fstat(fd_, &held) != 0 || ::stat(native_path.c_str(), &named) != 0) return false;
  *dev = held.st_dev;
  *ino = held.st_ino;
  return held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

bool FileLocks::LockRecord(int64_t pos, int wait_ms) {
  return TakeCounted(records_, pos, [&] { return SetLock(kRecordBase + pos, F_WRLCK, wait_ms); });
}

void FileLocks::UnlockRecord(int64_t pos) {
  GiveCounted(records_, pos, [&] { SetLock(kRecordBase + pos, F_UNLCK, 0); });
}

bool FileLocks::LockWriting(int64_t pos, int wait_ms) {
  return TakeCounted(writing_, pos, [&] { return SetLock(kWritingBase + pos, F_WRLCK, wait_ms); });
}

void FileLocks::UnlockWriting(int64_t pos) {
  GiveCounted(writing_, pos, [&] { SetLock(kWritingBase + pos, F_UNLCK, 0); });
}

bool FileLocks::HeldElsewhere(off_t byte) const {
  if (fd_ < 0) return false;
  struct flock fl = {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = byte;
  fl.l_len = 1;
  if (::fcntl(fd_, F_OFD_GETLK, &fl) != 0) return false;
  return fl.l_type != F_UNLCK;
}

bool FileLocks::WritingElsewhere(int64_t pos) {
  return writing_.count(pos) == 0 && HeldElsewhere(kWritingBase + pos);
}

void FileLocks::MarkLockedRecordsWaiting(bool waiting) {
  for (const auto &kv : records_)
    SetLock(kWaitingHolderBase + kv.first, waiting ? F_RDLCK : F_UNLCK, 0);
}

bool FileLocks::LockedRecordWaiting(int64_t pos) {
  return records_.count(pos) == 0 && HeldElsewhere(kWaitingHolderBase + pos);
}

bool FileLocks::MarkWaitForWrites(bool waiting) {
  return SetLock(kWaitForWritesByte, waiting ? F_RDLCK : F_UNLCK, 0);
}

bool FileLocks::OthersWaitForWrites() {
  return HeldElsewhere(kWaitForWritesByte);
}

void FileLocks::UnlockAll() {
  for (auto &kv : records_)
    SetLock(kRecordBase + kv.first, F_UNLCK, 0);
  records_.clear();
  for (auto &kv : writing_)
    SetLock(kWritingBase + kv.first, F_UNLCK, 0);
  writing_.clear();
}

void FileLocks::Abandon() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  records_.clear();
  writing_.clear();
}

}  // namespace btr
