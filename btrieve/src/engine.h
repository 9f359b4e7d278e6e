// The record manager of this process: open files, cursors (one per position block) and
// the operations behind BTRCALL.
#pragma once

#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "storage.h"

namespace btr {

struct CallArgs {
  uint16_t operation;
  void *position_block;
  uint8_t *data;
  uint32_t *data_length;
  uint8_t *key;
  uint8_t key_length;
  int8_t key_number;

  uint32_t DataLength() const { return data_length ? *data_length : 0; }
  void SetDataLength(uint32_t n) const {
    if (data_length) *data_length = n;
  }
  // Key number with 255 (-1) kept as -1.
  [[nodiscard]] int Key() const { return key_number; }
};

struct Cursor {
  uint64_t id = 0;
  void *block = nullptr;  // the position block this cursor belongs to
  std::shared_ptr<Storage> file;
  bool read_only = false;
  bool exclusive = false;

  int key_path = -1;  // key that set the logical position, -1: none
  bool has_logical = false;
  std::string logical_k;
  int64_t logical_seq = 0;

  bool has_current = false;  // a current record for Update, Delete, Get Position
  int64_t current_pos = 0;
  // The current record as this block last read or wrote it: Update and Delete compare the
  // stored record with it and refuse (80) when another writer changed it meanwhile.
  std::string current_image;
  bool has_physical = false;  // a physical position for Step Next/Previous
  int64_t physical_pos = 0;

  // Read-ahead along the last direction walked; valid while nothing was written.
  struct ReadAhead {
    int key = -2;  // key number, -1 physical order, -2 none
    int direction = 0;
    uint64_t generation = 0;
    std::string stamp;
    RowBatch rows;
    size_t next = 0;
    size_t batch = 0;
    uint64_t call = 0;  // the call that read the rows
  } ahead;

  // Locks held through this block: the single lock (0: none) and the multiple locks.
  int64_t single_lock = 0;
  std::set<int64_t> multi_locks;
  // The position was last set by an extended operation ("EG" then starts after it).
  bool extended_position = false;

  void SetPhysical(int64_t pos);
  void SetLogical(int key, const Row &row);
  // Called on every read: a copy into the buffer the image already has.
  void SetImage(std::string_view data) {
    current_image.resize(data.size());
    if (!data.empty()) std::memcpy(current_image.data(), data.data(), data.size());
  }
};

class Engine {
 public:
  static Engine &Instance();

  int16_t Call(const CallArgs &args);
  void Release();
  // BTRDELETEFILE: the file and its journal, when no process has it open.
  int16_t DeleteFile(const char *code_page_path);
  int16_t RenameFile(const char *from_path, const char *to_path);

 private:
  Engine() = default;

  int16_t Dispatch(const CallArgs &args);
  // After an exception inside a call: rolls back every write it may have left open (the
  // process's transaction included, which then ends with 2).
  void RecoverAfterFailure();
  // After a failed call inside the process's transaction: when a store has undone its part,
  // the transaction fails with the call's status.
  void NoteLostTransaction(int status);

  // Position block handling.
  Cursor *FindCursor(void *block);
  void WriteBlock(void *block, uint64_t id);

  [[nodiscard]] int Open(const CallArgs &a);
  [[nodiscard]] int Close(const CallArgs &a, Cursor &c);
  [[nodiscard]] int Create(const CallArgs &a);
  [[nodiscard]] int Stat(const CallArgs &a, Cursor &c);
  [[nodiscard]] int Insert(const CallArgs &a, Cursor &c);
  [[nodiscard]] int Update(const CallArgs &a, Cursor &c);
  [[nodiscard]] int Delete(const CallArgs &a, Cursor &c);
  [[nodiscard]] int Get(const CallArgs &a, Cursor &c, int op, bool key_only);
  [[nodiscard]] int Step(const CallArgs &a, Cursor &c, int op);
  [[nodiscard]] int GetPosition(const CallArgs &a, Cursor &c);
  [[nodiscard]] int GetDirect(const CallArgs &a, Cursor &c);
  [[nodiscard]] int Version(const CallArgs &a);
  [[nodiscard]] int Unlock(const CallArgs &a, Cursor &c);
  [[nodiscard]] int CreateIndex(const CallArgs &a, Cursor &c);
  [[nodiscard]] int DropIndex(const CallArgs &a, Cursor &c);
  [[nodiscard]] int GetByPercentage(const CallArgs &a, Cursor &c);
  [[nodiscard]] int FindPercentage(const CallArgs &a, Cursor &c);
  [[nodiscard]] int SetOwner(const CallArgs &a, Cursor &c);
  [[nodiscard]] int ClearOwner(const CallArgs &a, Cursor &c);
  [[nodiscard]] int Extended(const CallArgs &a, Cursor &c, int op);
  [[nodiscard]] int BeginTransaction(int bias);
  [[nodiscard]] int EndTransaction();
  [[nodiscard]] int AbortTransaction();

  // Write bracket: a transaction of its own, or a part of the process's transaction
  // (joining it on the first write to the file). AbandonOp: nothing was written yet.
  // FailOp: a write failed part-way.
  [[nodiscard]] int BeginOp(Storage &f);
  [[nodiscard]] int CommitOp(Storage &f);
  void AbandonOp(Storage &f);
  void FailOp(Storage &f, int status);
  [[nodiscard]] int KeyValueTaken(Storage &f, size_t key, const std::string &k, bool *taken);

  // Locks. LockForRead takes the lock the current bias asks for (84 when another process
  // holds the record); *acquired tells whether the block did not hold it before.
  [[nodiscard]] int LockForRead(Cursor &c, int64_t pos, bool *acquired = nullptr);
  // BeginWrite waiting at most `wait_ms`; and for a transaction that already writes other
  // files.
  [[nodiscard]] int BeginWriteWaiting(Storage &f, int wait_ms);
  [[nodiscard]] int BeginWriteHoldingOthers(Storage &f, int wait_ms);
  // After this process gave way: waits while a transaction of another process waits for `f`.
  void LetWaitingTransactionGoFirst(Storage &f, int wait_ms);
  // A wait lock on a record of a file this transaction writes: 78 when the record's holder
  // is writing it (and so waits for this transaction), 84 when the wait runs out.
  [[nodiscard]] int WaitForLockAgainstWriters(Storage &f, int64_t pos);
  // LockForRead, then, when the lock is new, the record read again: it may have changed
  // before the lock was granted. *moved: the record is gone or no longer holds the key entry
  // (key >= 0) it was found by; the new lock was given back and the caller reads again.
  [[nodiscard]] int LockAndReread(Cursor &c, int key, Row *row, std::string *fresh, bool *moved);
  // A write's hold on its record: taken without waiting (84 when another process holds the
  // record), kept until End/Abort inside a transaction, else given back by ReleaseWriteLock.
  [[nodiscard]] int TakeWriteLock(Storage &f, int64_t pos);
  // TakeWriteLock's wait for another process's write of the record, in a transaction that
  // writes other files: false at once when that write waits for a file.
  bool WaitForWritingHoldingOthers(Storage &f, int64_t pos);
  void ReleaseWriteLock(Storage &f, int64_t pos, bool wrote = false);
  // Undoes a lock LockForRead has just taken.
  void GiveBackReadLock(Cursor &c, int64_t pos);
  // The stored current record for Update and Delete, read inside the write: 80 when another
  // writer changed or deleted it since this block read it, 2 when it is damaged.
  [[nodiscard]] int ReadCurrentForWrite(Storage &f, const Cursor &c, std::string *data,
                                        std::string *seqs_blob);
  void ReleaseSingle(Cursor &c);
  void ReleaseMulti(Cursor &c);
  void ReleaseAllLocks();
  // After another process created or dropped keys of the file: the cursors on it follow
  // their key to its new number, or lose their position along a key that is gone, and rows
  // read ahead are read again.
  void FollowKeyChanges(Storage &f);
  // The store's NoticeKeyChanges, then FollowKeyChanges.
  [[nodiscard]] int NoticeKeyChanges(Storage &f, bool always);
  // CheckKey for a write's key number; one the file seems not to have is checked again after
  // noticing keys another process created.
  [[nodiscard]] int CheckKeyNow(const CallArgs &a, Storage &f, int key);
  void ReleaseTransactionLocks();

  // Helpers.
  [[nodiscard]] int CheckKey(const CallArgs &a, const Storage &f, int key, bool need_buffer) const;
  void ReturnRecord(const CallArgs &a, std::string_view data, int *status) const;
  void ReturnKey(const CallArgs &a, const KeyDef &key, std::string_view data) const;
  // Rows along a key into `rows`, checked (see Reads): 0, or 2 when the file is damaged or
  // unreadable.
  [[nodiscard]] int FetchAlongKey(Cursor &c, int key, Seek how, const std::string *k, int64_t seq,
                                  size_t limit, RowBatch *rows);
  // The next row along a key or in physical order, served from the read-ahead when it is
  // still current. The pointer stays valid until the cursor's next read.
  [[nodiscard]] int NextAlongPath(Cursor &c, int key, int direction, Row *row);
  [[nodiscard]] int NextPhysical(Cursor &c, int direction, Row *row);
  bool AheadValid(Cursor &c, int key, int direction);
  // How many rows the next read along `key` (-1: physical order) reads ahead.
  size_t AheadBatch(const Cursor &c, int key, int direction) const;
  [[nodiscard]] int AssignAutoIncrement(Storage &f, std::string &record);
  // Adds (removes) the record's entries in its keys; `done` tells how many keys were
  // handled when a failure stopped it.
  [[nodiscard]] int InsertKeyEntries(Storage &f, const std::string &record, int64_t pos,
                                     const std::vector<int64_t> &seqs, size_t *done);
  [[nodiscard]] int DeleteKeyEntries(Storage &f, const std::string &record,
                                     const std::vector<int64_t> &seqs, size_t keys);
  // Entries along a key, or records for key -1.
  [[nodiscard]] int CountEntries(Storage &f, int key, int64_t *count);
  std::vector<int64_t> SeqsOf(const Storage &f, const std::string &blob, int64_t pos) const;

  // fork(): the mutex is held across it, so the child's copy is never left locked by a
  // thread the child does not have.
  static void BeforeFork();
  static void AfterForkInParent();
  static void AfterForkInChild();
  // In a child made by fork(), at its first call: the parent's files answer 95 from now on.
  // Their connections and locks are the parent's; the child never uses or closes them (a
  // write of the child could be lost when the parent closes, a close could give back the
  // parent's locks), nor opens them anew (SQLite keeps one set of locks per file and
  // process, and the child's copy claims locks the child does not hold).
  void ForgetParentFiles();
  // Every entry point: the engine's mutex, and in a forked child first the parent's files.
  [[nodiscard]] std::unique_lock<std::recursive_mutex> Enter();

  std::recursive_mutex mutex_;
  bool forked_ = false;
  std::vector<std::shared_ptr<Storage>> inherited_files_;  // never closed
  uint64_t next_id_ = 1;
  uint64_t call_serial_ = 0;  // counts calls: rows read ahead by a store without stamps
                              // serve only the call that read them
  size_t bulk_rows_ = 0;      // records an extended operation walking records asks for
  std::map<uint64_t, std::unique_ptr<Cursor>> cursors_;
  Cursor *last_cursor_ = nullptr;                       // the cursor FindCursor found last
  std::map<uint64_t, std::shared_ptr<Storage>> files_;  // by identity

  int bias_ = 0;  // lock bias of the call in progress
  bool in_transaction_ = false;
  bool transaction_no_wait_ = false;
  bool gave_way_ = false;        // the last wait for a file while holding others ended in 78
  int transaction_failure_ = 0;  // status of a write that undid the transaction
  std::set<Storage *> transaction_files_;
  std::vector<std::shared_ptr<Storage>> transaction_keepalive_;
  // Records the transaction wrote: locked against other processes until End/Abort.
  std::vector<std::pair<std::shared_ptr<Storage>, int64_t>> transaction_locks_;

  friend int16_t CallEngine(const CallArgs &);
};

}  // namespace btr
