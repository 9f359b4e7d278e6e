// The storage seam of the record manager. The engine keeps the Btrieve semantics (currency,
// key rules, locks held by position blocks, transactions, statuses); a store keeps what a
// file holds: its specification, its records by position, and one ordered index of entries
// (encoded key bytes, sequence, position) per key. Every call answers 0 or a status.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "file_spec.h"

namespace btr {

// One row read along a key or in physical order. The views point into the batch that read it
// (or into strings the caller keeps).
struct Row {
  std::string_view k;
  int64_t seq = 0;
  int64_t pos = 0;
  std::string_view data;
};

// Rows read by one call, their bytes in one buffer (no allocation per row).
class RowBatch {
 public:
  void Clear();
  // Inline: a walk adds and serves one row per record.
  void Add(const void *k, size_t k_len, int64_t seq, int64_t pos, const void *data,
           size_t data_len) {
    Span s{bytes_.size(), k_len, bytes_.size() + k_len, data_len, seq, pos};
    if (k_len) bytes_.append(static_cast<const char *>(k), k_len);
    if (data_len) bytes_.append(static_cast<const char *>(data), data_len);
    spans_.push_back(s);  // last: a failed append leaves no row without its bytes
  }
  // Keeps the first n rows.
  void Truncate(size_t n);
  size_t Size() const { return spans_.size(); }
  bool Empty() const { return spans_.empty(); }
  // Valid until the next Add, Truncate or Clear.
  Row At(size_t i) const {
    const Span &s = spans_[i];
    return Row{std::string_view(bytes_.data() + s.k_off, s.k_len), s.seq, s.pos,
               std::string_view(bytes_.data() + s.data_off, s.data_len)};
  }

 private:
  struct Span {
    size_t k_off, k_len, data_off, data_len;
    int64_t seq, pos;
  };
  std::string bytes_;
  std::vector<Span> spans_;
};

// Where a read along a key starts and which way it goes. kAfter and kBefore continue from an
// entry (key bytes and sequence); the others compare key bytes only.
enum class Seek {
  kEqual,
  kGreater,
  kGreaterOrEqual,
  kLess,
  kLessOrEqual,
  kFirst,
  kLast,
  kAfter,
  kBefore,
};
bool Descending(Seek how);

// One open data file of a store. Shared by every position block of the process that opened
// the file; used under the engine's lock only.
class Storage {
 public:
  virtual ~Storage() = default;

  // ---- The file
  virtual const FileSpec &Spec() const = 0;
  virtual const std::string &Owner() const = 0;  // empty: none
  [[nodiscard]] virtual int OwnerMode() const = 0;
  // True when this process may only read the file (a read-only mount, no write permission).
  virtual bool ReadOnlyFile() const = 0;
  [[nodiscard]] virtual int SetOwner(const std::string &owner, int mode) = 0;

  // ---- Writes. One bracket around each operation; inside the process's transaction the
  // bracket opened by its first write stays open until End or Abort.
  [[nodiscard]] virtual int BeginWrite() = 0;
  [[nodiscard]] virtual int CommitWrite() = 0;
  virtual void RollbackWrite() = 0;
  // True while a bracket is open (a store may end one on its own after some failures).
  virtual bool InWrite() const = 0;
  // Writes what the open bracket holds without committing it, so that a commit that follows
  // needs little room: a transaction over several files meets a full disk while all of it
  // can still be undone.
  [[nodiscard]] virtual int PrepareCommit() { return 0; }
  // How long a write waits for another process's transaction on this file.
  virtual void SetBusyTimeout(int ms) = 0;
  virtual int BusyTimeout() const = 0;

  // ---- Change detection for read-ahead. The generation counts this process's writes; the
  // stamp changes with every commit of any process.
  uint64_t WriteGeneration() const { return write_generation_; }
  void NoteWrite() { ++write_generation_; }
  virtual std::string ChangeStamp() = 0;
  virtual bool SameStamp(const std::string &stamp) = 0;
  // False when the stamp cannot tell another process's commit cheaply: rows read ahead then
  // serve only the call that read them.
  virtual bool StampsCommits() const { return true; }
  // What Stat last counted, and the stamp and generations it counted them at. Counting the
  // distinct values of a key with duplicates reads every entry, and each open of a table
  // asks for a Stat.
  struct KeptCounts {
    bool valid = false;
    std::string stamp;
    uint64_t write_generation = 0, spec_generation = 0;
    std::vector<uint32_t> unique;
    int64_t records = 0;
  };
  KeptCounts &Counts() { return kept_counts_; }
  // ---- Keys another process created or dropped. The generation counts the times the file's
  // keys were read from the file. A store reads them again in BeginWrite when they changed;
  // NoticeKeyChanges does so outside a write, where that is cheap (after a commit the stamp
  // shows) or when `always` asks; else they wait for the next write.
  uint64_t SpecGeneration() const { return spec_generation_; }
  void NoteSpecLoaded() { ++spec_generation_; }
  [[nodiscard]] virtual int NoticeKeyChanges(bool always) = 0;
  // True once the store lost what the file's state depends on (a server connection): every
  // later call fails, and the status says the session is gone.
  virtual bool Broken() const { return false; }

  // ---- Records
  // The record's data and its stored sequence blob. 0; 43 when there is none; 2 when the
  // stored record has a length the file's record layout does not allow, or cannot be read.
  [[nodiscard]] virtual int ReadRecord(int64_t pos, std::string *data, std::string *seqs_blob) = 0;
  // A new record at a position never used before in this file.
  [[nodiscard]] virtual int InsertRecord(const std::string &data, int64_t *pos) = 0;
  // New data, and new sequences when `seqs_blob` is given.
  [[nodiscard]] virtual int RewriteRecord(int64_t pos, const std::string &data,
                                          const std::string *seqs_blob) = 0;
  [[nodiscard]] virtual int RemoveRecord(int64_t pos) = 0;
  // A new insertion sequence for an entry moved along a key (from the position numbers).
  [[nodiscard]] virtual int NextSequence(int64_t *seq) = 0;
  // Called before the record at `pos` goes, so its position is never given out again.
  [[nodiscard]] virtual int RetirePosition(int64_t pos) = 0;
  [[nodiscard]] virtual int CountRecords(int64_t *count) = 0;
  // Up to `limit` records after `pos` in physical order (before it, direction -1), as they are
  // stored (the engine checks them).
  [[nodiscard]] virtual int ReadPhysical(int64_t pos, int direction, size_t limit,
                                         RowBatch *rows) = 0;
  // The record at `rank` (0-based) in physical order; none past the end.
  [[nodiscard]] virtual int ReadPhysicalAtRank(int64_t rank, RowBatch *rows) = 0;
  [[nodiscard]] virtual int CountRecordsBefore(int64_t pos, int64_t *count) = 0;
  // Every record in physical order with its stored sequences; `visit` answers 0 to go on, or
  // a status that stops it.
  using RecordVisitor =
      std::function<int(int64_t pos, std::string_view data, std::string_view seqs_blob)>;
  [[nodiscard]] virtual int ScanRecords(const RecordVisitor &visit) = 0;
  // ---- Copies between stores (inside a write bracket): a record at a given position, and
  // the highest position the file has ever given out (new ones come above it).
  [[nodiscard]] virtual int InsertRecordAt(int64_t pos, std::string_view data,
                                           std::string_view seqs_blob) = 0;
  [[nodiscard]] virtual int HighestPositionUsed(int64_t *pos) = 0;
  [[nodiscard]] virtual int KeepPositionsAbove(int64_t pos) = 0;

  // ---- Key entries (the index of key `key`, keys numbered from 0)
  // 5 when the entry (key bytes and sequence) is there already.
  [[nodiscard]] virtual int AddEntry(size_t key, std::string_view k, int64_t seq, int64_t pos) = 0;
  [[nodiscard]] virtual int RemoveEntry(size_t key, std::string_view k, int64_t seq) = 0;
  [[nodiscard]] virtual int EntryExists(size_t key, std::string_view k, bool *exists) = 0;
  // Up to `limit` entries with their records, from where `how` says, in the order of the key
  // (descending for kLess, kLessOrEqual, kLast and kBefore); entries without a record are
  // passed over. `k` is unused by kFirst and kLast; `seq` is used by kAfter and kBefore.
  [[nodiscard]] virtual int Seek(size_t key, Seek how, std::string_view k, int64_t seq,
                                 size_t limit, RowBatch *rows) = 0;
  // The entry at `rank` (0-based) along the key, with its record; none past the end.
  [[nodiscard]] virtual int EntryAtRank(size_t key, int64_t rank, RowBatch *rows) = 0;
  [[nodiscard]] virtual int CountEntries(size_t key, int64_t *count) = 0;
  [[nodiscard]] virtual int CountEntriesBelow(size_t key, std::string_view k, int64_t *count) = 0;
  [[nodiscard]] virtual int CountDistinct(size_t key, int64_t *count) = 0;

  // ---- Keys (inside a write bracket)
  // An empty index for key `number` (the next key number).
  [[nodiscard]] virtual int CreateKeyIndex(size_t number) = 0;
  // Drops the index of `number` of `keys`; the later ones take the numbers below, and stored
  // sequences lose the dropped key's slot.
  [[nodiscard]] virtual int DropKeyIndex(size_t number, size_t keys) = 0;
  // Replaces the stored specification (after Create or Drop Index).
  [[nodiscard]] virtual int StoreSpec(const FileSpec &spec) = 0;

  // ---- Locks across processes; a process's own locks never block it.
  // Record locks, counted per position; `wait_ms` 0: no wait. False when another process
  // holds the record.
  virtual bool LockRecord(int64_t pos, int wait_ms) = 0;
  virtual void UnlockRecord(int64_t pos) = 0;
  // Held for the length of one write beside its record lock, so that another write that
  // finds the record lock taken waits for a write that is running rather than failing as
  // if a user held the record. Counted per position; false when another process's write
  // still runs after `wait_ms`.
  virtual bool LockWriting(int64_t pos, int wait_ms) = 0;
  virtual void UnlockWriting(int64_t pos) = 0;
  // While this process waits to write the file, the records of it that it holds locked are
  // marked. A transaction that holds the file asks whether another process that writes or
  // holds the record at `pos` waits to write the file, and so waits for the transaction.
  virtual void MarkLockedRecordsWaiting(bool waiting) = 0;
  virtual bool HolderWaitsForWrites(int64_t pos) = 0;
  // Only the second half of that: whether the process holding the record at `pos` locked
  // waits to write the file.
  virtual bool RecordHolderWaitsForWrites(int64_t pos) = 0;
  // A transaction that holds other files and waits to write this one marks the wait (false
  // when the mark could not be set), and asks whether a transaction of another process so
  // waits for a file it holds: waits that go round are deadlocks.
  virtual bool MarkWaitForWrites(bool waiting) = 0;
  virtual bool OthersWaitForWrites() = 0;

  // In a child made by fork(): lets go of what the parent's open holds without touching
  // the parent's locks or connection (neither is ever used or closed again).
  virtual void AbandonInChild() {}

  int open_count = 0;      // position blocks of this process on the file
  uint64_t identity = 0;   // the same file opened twice has one identity
  bool inherited = false;  // opened by the parent of this forked process: answers 95
  // The keys the engine's cursors on the file were positioned by, as of SpecGeneration().
  std::vector<KeyDef> keys_followed;
  uint64_t keys_followed_generation = 0;
  // The cursors are positioned by the keys as last read from the file.
  void FollowKeysAsRead() {
    keys_followed = Spec().keys;
    keys_followed_generation = SpecGeneration();
  }

 private:
  uint64_t write_generation_ = 0;
  KeptCounts kept_counts_;
  uint64_t spec_generation_ = 0;
};

// The rows of a file a batch at a time: its records in physical order (key -1), or the
// entries of one key in key order with their records.
class RowCursor {
 public:
  RowCursor(Storage &f, int key) : f_(f), key_(key) {}
  // The next row (valid until the next call); false at the end or on failure (status()).
  bool Next(Row *row);
  int status() const { return status_; }

 private:
  static constexpr size_t kBatch = 1000;
  Storage &f_;
  int key_;
  RowBatch rows_;
  size_t next_ = 0;
  bool first_ = true, ended_ = false;
  std::string after_k_;
  int64_t after_seq_ = 0, after_pos_ = 0;
  int status_ = 0;
};

// The open-mode lock an open takes: none for a look that must not hold others back (a
// check), shared for ordinary opens, exclusive for exclusive ones.
enum class OpenLock { kNone, kShared, kExclusive };

// What keeps files: opens, creates and deletes them by path. A path belongs to exactly one
// store.
class Store {
 public:
  virtual ~Store() = default;
  // The identity of an existing file: 0; 12 none; 11 not a file.
  [[nodiscard]] virtual int Identify(const std::string &native_path, uint64_t *identity) = 0;
  // 0, 12, 11, 30 (not a file of this record manager) or 2; 88 when the open-mode lock
  // `lock` asks for cannot be had. With a lock, the file opened is the one the path names
  // while the lock is held: a file another process renames or deletes as it is opened is
  // never followed (the open looks again, and finds the file that has the name by then).
  [[nodiscard]] virtual int Open(const std::string &native_path, OpenLock lock,
                                 std::unique_ptr<Storage> *out) = 0;
  // A new file, replacing an existing one when `replace` (never one another process has
  // open: 85). 59 when it exists and `replace` is false.
  [[nodiscard]] virtual int Create(const std::string &native_path, const FileSpec &spec,
                                   bool replace) = 0;
  // The file and whatever the store keeps beside it; 85 when any process has it open.
  [[nodiscard]] virtual int Delete(const std::string &native_path) = 0;
  // The file under a new name of the same store, replacing a file there; 85 when any
  // process has either open (nothing changes then).
  [[nodiscard]] virtual int Rename(const std::string &from, const std::string &to) = 0;
};

// The store a (native) path belongs to: the server that zelko.ini [servers] maps the path's
// directory to (zplatform/servers.h), else the embedded store.
Store &StoreFor(const std::string &native_path);

// The wait limit for locks and busy files, from zelko.ini [wbtrv32] lock_wait_seconds
// (default 10), read when a wait begins.
int LockWaitMilliseconds();

// Seqs blob helpers.
std::string PackSeqs(const std::vector<int64_t> &seqs);
// The sequence of a record's entry in key `k`, from the record's seqs blob. A record inserted
// and never moved along a key stores none: its entry uses its position (a duplicates key) or
// 0 (a unique key).
int64_t EntrySeq(const KeyDef &key, size_t k, std::string_view blob, int64_t pos);

}  // namespace btr
