// One Btrieve file of this process: its SQLite connection, its specification and its cached
// statements. Every position block that opens the same file shares one BtrFile.
//
// Storage layout (one SQLite database at the file's path):
//   meta(name TEXT PRIMARY KEY, value BLOB)  -- 'spec', 'owner', 'owner_mode', 'hwm'
//   r(pos INTEGER PRIMARY KEY, data BLOB, seqs BLOB)
//       seqs: per key, the 8-byte insertion sequence of the record's entry in that key
//   k<N>(k BLOB, seq, pos, PRIMARY KEY(k, seq)) WITHOUT ROWID
//       one table per key (each grows at its own end, as indexes do); k sorts as the key's
//       segments compare (key_encoder.h); seq is 0 for unique keys (so the primary key
//       rejects duplicates) and the insertion sequence for keys with duplicates (so they
//       keep insertion order).
// application_id marks our files; user_version is the schema version.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "file_locks.h"
#include "file_spec.h"

namespace btr {

constexpr int32_t kApplicationId = 0x5A4C4B42;  // "ZLKB"
constexpr int kSchemaVersion = 1;
// Columns of a key's table k<N>.
constexpr const char *kKeyTableColumns =
    "(k BLOB NOT NULL, seq INTEGER NOT NULL, pos INTEGER NOT NULL, PRIMARY KEY(k, seq))"
    " WITHOUT ROWID";

// A prepared statement from the file's cache, reset and cleared when it goes out of scope.
class Stmt {
 public:
  explicit Stmt(sqlite3_stmt *s) : s_(s) {}
  ~Stmt() {
    if (s_) {
      sqlite3_reset(s_);
      sqlite3_clear_bindings(s_);
    }
  }
  Stmt(const Stmt &) = delete;
  Stmt &operator=(const Stmt &) = delete;
  sqlite3_stmt *get() const { return s_; }
  explicit operator bool() const { return s_ != nullptr; }
  void Bind(int i, int64_t v) { sqlite3_bind_int64(s_, i, v); }
  void Bind(int i, const std::string &blob) {
    sqlite3_bind_blob(s_, i, blob.data(), static_cast<int>(blob.size()), SQLITE_TRANSIENT);
  }
  void BindStatic(int i, const void *p, size_t n) {
    sqlite3_bind_blob(s_, i, p, static_cast<int>(n), SQLITE_STATIC);
  }
  int Step() { return sqlite3_step(s_); }
  int64_t Int(int col) const { return sqlite3_column_int64(s_, col); }
  std::string Blob(int col) const {
    const void *p = sqlite3_column_blob(s_, col);
    return p ? std::string(static_cast<const char *>(p), sqlite3_column_bytes(s_, col))
             : std::string();
  }

 private:
  sqlite3_stmt *s_;
};

// Maps an SQLite result code to a status.
int StatusFromSqlite(int rc);

// True when the file is shorter than its own header says (cut short by a copy or a crash of
// the file system); `why` says by how much.
bool FileCutShort(const std::string &native_path, std::string *why);

class BtrFile {
 public:
  ~BtrFile();

  // Creates a new file at `native_path` (replacing an existing one when `replace`).
  static int Create(const std::string &native_path, const FileSpec &spec, bool replace);
  // Opens an existing file. Status 12, 11, 30 or 0.
  static int Open(const std::string &native_path, bool read_only_file,
                  std::unique_ptr<BtrFile> *out);

  const FileSpec &Spec() const { return spec_; }
  const std::string &Path() const { return path_; }
  sqlite3 *Db() const { return db_; }
  bool ReadOnlyFile() const { return read_only_file_; }

  // Cached statements. Prepare: fixed SQL, cached by the literal's address. PrepareKey: SQL
  // in which "%K" names key N's table. PrepareText: any SQL, cached by its text.
  Stmt Prepare(const char *sql);
  Stmt PrepareKey(const char *sql, size_t key);
  Stmt PrepareText(const std::string &sql);
  // Drops every cached statement (after the key tables changed).
  void ForgetStatements();
  int Exec(const char *sql);

  // Write transaction around one operation (nested inside the process transaction when one
  // is active on this file).
  int BeginWrite();
  int CommitWrite();
  void RollbackWrite();
  // True while a write transaction is open on the connection (SQLite may end one on its own
  // after some failures).
  bool InWrite() const;

  // Incremented by every write through this connection; with data_version it tells cached
  // reads whether they are still current.
  uint64_t WriteGeneration() const { return write_generation_; }
  int64_t DataVersion();
  // A cheap snapshot of the file's commit state: the WAL-index header in the shared-memory
  // file (a documented part of SQLite's WAL format, changed by every commit of any process),
  // or PRAGMA data_version when that header cannot be mapped. Equal snapshots mean that no
  // other connection committed in between.
  std::string ChangeStamp();
  bool SameStamp(const std::string &stamp);
  void NoteWrite() { ++write_generation_; }

  // Owner of the file (empty: none) and its access mode.
  const std::string &Owner() const { return owner_; }
  int OwnerMode() const { return owner_mode_; }
  int SetOwner(const std::string &owner, int mode);

  // Replaces the stored specification (Create/Drop Index).
  int StoreSpec(const FileSpec &spec);

  // Records and keys.
  struct Entry {
    std::string k;
    int64_t seq = 0;
    int64_t pos = 0;
  };
  // The record's data and its stored sequence blob (short or empty for entries that use the
  // defaults; Engine::SeqsOf reads it). 0; 43 when there is no such record; 2 when the
  // stored record is damaged (a length the specification does not allow) or unreadable.
  int ReadRecord(int64_t pos, std::string *data, std::string *seqs_blob);
  // Inserts a record at a new position (never one used before).
  int InsertRecord(const std::string &data, int64_t *pos);
  // A new insertion sequence for an entry moved along a key (from the position numbers).
  int NextSequence(int64_t *seq);
  // Called before the record at `pos` is deleted, so its position is not given out again.
  int RetirePosition(int64_t pos);
  int64_t RecordCount();

  // Reloads the file and key layout when another process changed the keys (call inside a write
  // transaction).
  int RefreshSpecIfChanged();
  // Sets how long a write waits for another process's transaction on this file.
  void SetBusyTimeout(int ms);

  FileLocks locks;
  int open_count = 0;     // position blocks of this process on the file
  uint64_t identity = 0;  // device/inode identity

 private:
  BtrFile() = default;
  int LoadMeta();

  sqlite3 *db_ = nullptr;
  std::string path_;
  FileSpec spec_;
  bool read_only_file_ = false;
  std::string owner_;
  int owner_mode_ = 0;
  uint64_t write_generation_ = 0;
  int64_t schema_version_ = -1;
  int64_t HighWater();
  int SetHighWater(int64_t value);
  int64_t high_water_ = 0;
  bool high_water_valid_ = false;
  std::string high_water_stamp_;
  void *shm_ = nullptr;  // mapping of the WAL-index header
  int shm_fd_ = -1;
  bool shm_tried_ = false;

 public:
  // A fresh statement (null when it does not compile); the caches own what they keep.
  sqlite3_stmt *Compile(const std::string &sql);

 private:
  std::unordered_map<const char *, sqlite3_stmt *> by_address_;
  std::map<std::pair<const char *, size_t>, sqlite3_stmt *> by_key_;
  std::unordered_map<std::string, sqlite3_stmt *> by_text_;
};

// Seqs blob helpers.
std::string PackSeqs(const std::vector<int64_t> &seqs);
std::vector<int64_t> UnpackSeqs(const std::string &blob, size_t keys);

}  // namespace btr
