#include "lock_wait.h"

#include <time.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

namespace btr {
namespace {

constexpr int kFirstPauseUs = 100;
constexpr int kLongestPauseUs = 1000;
constexpr int kDoublings = 4;  // 100, 200, 400, 800, then 1,000

int LockRetryPauseMicroseconds(int tries) {
  return tries >= kDoublings ? kLongestPauseUs : std::min(kFirstPauseUs << tries, kLongestPauseUs);
}

int64_t PausedMicroseconds(int tries) {
  int64_t paused = 0;
  int n = std::min(tries, kDoublings);
  for (int i = 0; i < n; ++i)
    paused += LockRetryPauseMicroseconds(i);
  return paused + static_cast<int64_t>(tries - n) * kLongestPauseUs;
}

int BusyHandler(void *wait_ms, int tries) {
  if (PausedMicroseconds(tries) >= reinterpret_cast<intptr_t>(wait_ms) * 1000) return 0;
  PauseBeforeRetry(tries);
  return 1;
}

}  // namespace

void PauseBeforeRetry(int tries) {
  timespec pause = {0, static_cast<long>(LockRetryPauseMicroseconds(tries)) * 1000};
  while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
  }
}

void SetLockWait(sqlite3 *db, int wait_ms) {
  if (wait_ms <= 0) {
    sqlite3_busy_handler(db, nullptr, nullptr);
    return;
  }
  sqlite3_busy_handler(db, BusyHandler, reinterpret_cast<void *>(static_cast<intptr_t>(wait_ms)));
}

}  // namespace btr
