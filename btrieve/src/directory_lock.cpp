#include "directory_lock.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <utility>

#include "pg_store.h"
#include "zplatform/ascii.h"
#include "zplatform/servers.h"

namespace btr {

namespace {

// What a directory is known by: its device and inode on this machine, or its server and
// folded path there.
using DirectoryId = std::string;

struct HeldLock {
  int fd = -1;                                  // a local directory's
  std::unique_ptr<ServerDirectoryLock> server;  // a server's directory's
  int users = 0;
  bool exclusive = false;

  HeldLock() = default;
  HeldLock(HeldLock &&o) noexcept
      : fd(std::exchange(o.fd, -1)),
        server(std::move(o.server)),
        users(o.users),
        exclusive(o.exclusive) {}
  HeldLock &operator=(HeldLock &&) = delete;
  ~HeldLock() {
    if (fd >= 0) ::close(fd);  // closing the last descriptor lets the lock go
  }
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

// A child made by fork() shares its parent's descriptions and connections, and with them
// the locks: it lets go of its copies, so it neither holds its parent's locks nor keeps them
// alive (a connection left to a child is never used or ended by it).
void ForgetLocksInChild() {
  Registry &r = TheRegistry();
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

bool Acquire(HeldLock &lock, bool exclusive, int wait_ms) {
  return lock.server ? lock.server->Take(exclusive, wait_ms) : Acquire(lock.fd, exclusive, wait_ms);
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
  const std::string conninfo = zplatform::ServerFor(native_directory);
  DirectoryId id;
  HeldLock lock;
  if (!conninfo.empty()) {
    // Its directory need not exist here; the server is asked only when the process does
    // not hold the lock yet.
    id = "S" + conninfo + '\n' +
         zplatform::LowerAscii(zplatform::LexicallyAbsolute(native_directory));
  } else {
    lock.fd = ::open(native_directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat st {};
    if (lock.fd < 0 || fstat(lock.fd, &st) != 0) return 0;
    id = "L" + std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
  }
  Registry &r = TheRegistry();
  {
    std::lock_guard<std::mutex> guard(r.mutex);
    auto found = r.held.find(id);
    if (found != r.held.end()) {
      HeldLock &held = found->second;
      if (exclusive && !held.exclusive) {
        if (!Acquire(held, true, wait_ms)) return 0;
        held.exclusive = true;  // kept until the last user lets go
      }
      int32_t handle = NewHandle(r, id);  // first: a failure there changes nothing
      ++held.users;
      return handle;
    }
  }
  // Connected and waited for without the registry: the process's other users go on
  // meanwhile.
  if (!conninfo.empty() && !(lock.server = ConnectDirectoryLock(conninfo, native_directory)))
    return 0;
  if (!Acquire(lock, exclusive, wait_ms)) return 0;
  lock.users = 1;
  lock.exclusive = exclusive;
  std::lock_guard<std::mutex> guard(r.mutex);
  // Memory running out here must not leave a lock behind that nothing will let go.
  auto entry = r.held.end();
  bool fresh = false;
  try {
    std::tie(entry, fresh) = r.held.emplace(id, std::move(lock));
    // Not fresh: another thread took a shared lock meanwhile (an exclusive one could not
    // have come); its lock serves both, and ours went with the node not inserted.
    int32_t handle = NewHandle(r, id);
    if (!fresh) ++entry->second.users;
    return handle;
  } catch (...) {
    if (fresh) r.held.erase(entry);
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
  if (--found->second.users == 0) r.held.erase(found);
}

}  // namespace btr
