#include "directory_lock.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <map>
#include <mutex>
#include <thread>
#include <tuple>
#include <utility>

namespace btr {

namespace {

using DirectoryId = std::pair<uint64_t, uint64_t>;  // device, inode

struct HeldLock {
  int fd = -1;
  int users = 0;
  bool exclusive = false;
};

struct Registry {
  std::mutex mutex;
  std::map<DirectoryId, HeldLock> held;
  std::map<int32_t, DirectoryId> handles;
  int32_t last_handle = 0;
};

Registry &TheRegistry() {
  static Registry registry;
  return registry;
}

// A child made by fork() shares its parent's descriptions, and with them the locks: it lets
// go of its copies, so it neither holds its parent's locks nor keeps them alive.
void ForgetLocksInChild() {
  Registry &r = TheRegistry();
  for (auto &entry : r.held)
    ::close(entry.second.fd);
  r.held.clear();
  r.handles.clear();
}

// flock() that gives up after `wait_ms` (negative: never).
bool Acquire(int fd, bool exclusive, int wait_ms) {
  const int operation = exclusive ? LOCK_EX : LOCK_SH;
  if (wait_ms < 0) {
    while (flock(fd, operation) != 0) {
      if (errno != EINTR) return false;
    }
    return true;
  }
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
  for (;;) {
    if (flock(fd, operation | LOCK_NB) == 0) return true;
    if (errno != EWOULDBLOCK && errno != EINTR) return false;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

int32_t NewHandle(Registry &r, const DirectoryId &id) {
  int32_t handle = r.last_handle;
  do {
    handle = handle == INT32_MAX ? 1 : handle + 1;
  } while (r.handles.count(handle) != 0);
  r.last_handle = handle;
  r.handles[handle] = id;
  return handle;
}

}  // namespace

int32_t LockDirectory(const std::string &native_directory, bool exclusive, int wait_ms) {
  static std::once_flag registered;
  std::call_once(registered, [] { pthread_atfork(nullptr, nullptr, ForgetLocksInChild); });
  int fd = ::open(native_directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return 0;
  struct stat st {};
  if (fstat(fd, &st) != 0) {
    ::close(fd);
    return 0;
  }
  const DirectoryId id{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
  Registry &r = TheRegistry();
  {
    std::lock_guard<std::mutex> guard(r.mutex);
    auto found = r.held.find(id);
    if (found != r.held.end()) {
      ::close(fd);
      HeldLock &held = found->second;
      if (exclusive && !held.exclusive) {
        if (!Acquire(held.fd, true, wait_ms)) return 0;
        held.exclusive = true;  // kept until the last user lets go
      }
      int32_t handle = NewHandle(r, id);  // first: a failure there changes nothing
      ++held.users;
      return handle;
    }
  }
  // Waited for without the registry: the process's other users go on meanwhile.
  if (!Acquire(fd, exclusive, wait_ms)) {
    ::close(fd);
    return 0;
  }
  std::lock_guard<std::mutex> guard(r.mutex);
  // Memory running out here must not leave a lock behind that nothing will let go.
  auto entry = r.held.end();
  bool fresh = false;
  try {
    std::tie(entry, fresh) = r.held.emplace(id, HeldLock{fd, 1, exclusive});
    if (!fresh) {
      // Another thread took a shared lock meanwhile (an exclusive one could not have come):
      // its descriptor serves both.
      ::close(fd);
      fd = -1;
    }
    int32_t handle = NewHandle(r, id);
    if (!fresh) ++entry->second.users;
    return handle;
  } catch (...) {
    if (fresh) r.held.erase(entry);
    if (fd >= 0) ::close(fd);
    throw;
  }
}

void UnlockDirectory(int32_t handle) {
  Registry &r = TheRegistry();
  std::lock_guard<std::mutex> guard(r.mutex);
  auto h = r.handles.find(handle);
  if (h == r.handles.end()) return;
  auto found = r.held.find(h->second);
  r.handles.erase(h);
  if (found == r.held.end()) return;
  if (--found->second.users == 0) {
    ::close(found->second.fd);  // closing the last descriptor lets the lock go
    r.held.erase(found);
  }
}

}  // namespace btr
