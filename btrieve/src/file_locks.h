// Locks that hold across processes and vanish with the process that holds them: open file
// description (OFD) byte-range locks on the data file, at offsets far above the bytes
// SQLite locks. A process's own locks never block it (they share one description).
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <string>

namespace btr {

class FileLocks {
 public:
  ~FileLocks();
  // Opens the description the locks are taken on.
  bool Open(const std::string &native_path);

  // The open-mode lock: shared for ordinary opens, exclusive for exclusive ones. False when
  // another process's lock is in the way.
  bool LockOpenMode(bool exclusive);

  // Whether `native_path` names the file these locks are taken on, and that file's identity.
  // Other processes rename, replace or delete a file only under the exclusive open-mode lock,
  // so once a lock is held and the name checked, the name stays with the file.
  bool NamedBy(const std::string &native_path, dev_t *dev, ino_t *ino) const;

  // Record locks, counted per position so several cursors of this process may hold one.
  // `wait_ms` 0: no wait. False when another process holds the record.
  bool LockRecord(int64_t pos, int wait_ms);
  void UnlockRecord(int64_t pos);
  // Held by a write while it runs, beside the record lock: a write that finds the record
  // lock taken can tell another process's write (which will be over soon) from a lock a
  // user holds. Counted per position; false when another process's write still runs after
  // `wait_ms`.
  bool LockWriting(int64_t pos, int wait_ms);
  void UnlockWriting(int64_t pos);
  // Whether another process's write of the record at `pos` runs.
  bool WritingElsewhere(int64_t pos);
  // Marks on the records this process holds locked while it waits to write the file, and
  // whether another process set one on the record at `pos`.
  void MarkLockedRecordsWaiting(bool waiting);
  bool LockedRecordWaiting(int64_t pos);
  // The mark of a transaction waiting to write the file (shared among waiters), and whether
  // another process holds it.
  bool MarkWaitForWrites(bool waiting);
  bool OthersWaitForWrites();
  void UnlockAll();
  // Closes this process's descriptor without giving any lock back: a child made by fork()
  // shares the parent's description, and with it the parent's locks.
  void Abandon();

 private:
  bool SetLock(off_t byte, short type, int wait_ms);
  // Whether another description holds a lock on `byte`.
  bool HeldElsewhere(off_t byte) const;
  int fd_ = -1;
  bool writable_ = false;
  std::map<int64_t, int> records_;
  std::map<int64_t, int> writing_;
};

}  // namespace btr
