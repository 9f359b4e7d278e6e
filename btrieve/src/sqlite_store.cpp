#include "sqlite_store.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <map>
#include <unordered_map>

#include "btrieve/btrapi.h"
#include "file_locks.h"
#include "key_column.h"
#include "lock_wait.h"
#include "zplatform/paths.h"

namespace btr {
namespace {

constexpr size_t kWalIndexHeaderSize = 136;  // two 48-byte header copies and the checkpoint info

// A prepared statement from the file's cache, reset when it goes out of scope. Blobs bound
// without a copy are unbound then, so no cached statement keeps the address of a caller's
// buffer; numbers and copies stay, as every use binds again each parameter it reads.
class Stmt {
 public:
  explicit Stmt(sqlite3_stmt *s) : s_(s) {}
  ~Stmt() {
    if (s_) {
      sqlite3_reset(s_);
      if (borrowed_) sqlite3_clear_bindings(s_);
    }
  }
  Stmt(const Stmt &) = delete;
  Stmt &operator=(const Stmt &) = delete;
  sqlite3_stmt *get() const { return s_; }
  explicit operator bool() const { return s_ != nullptr; }
  void Bind(int i, int64_t v) { sqlite3_bind_int64(s_, i, v); }
  void Bind(int i, std::string_view blob) { BindBlob(i, blob, SQLITE_TRANSIENT); }
  void BindStatic(int i, std::string_view blob) {
    borrowed_ = true;
    BindBlob(i, blob, SQLITE_STATIC);
  }
  int Step() { return sqlite3_step(s_); }
  int64_t Int(int col) const { return sqlite3_column_int64(s_, col); }
  std::string Blob(int col) const { return std::string(View(col)); }
  // A column's value, read with one sqlite3_column_* call: each costs as much as a walk's
  // copy of a short record, and a blob's address and length would take two. The value is
  // unprotected, which a connection opened without a mutex may read; valid until the next
  // step.
  sqlite3_value *Value(int col) const { return sqlite3_column_value(s_, col); }
  std::string_view View(int col) const { return BlobOf(Value(col)); }
  static std::string_view BlobOf(sqlite3_value *v) {
    const void *p = sqlite3_value_blob(v);
    return p ? std::string_view(static_cast<const char *>(p),
                                static_cast<size_t>(sqlite3_value_bytes(v)))
             : std::string_view();
  }

 private:
  void BindBlob(int i, std::string_view blob, sqlite3_destructor_type lifetime) {
    // An empty view may have no address (one read from an empty column has none), which
    // would bind NULL: an empty blob is still a blob.
    sqlite3_bind_blob(s_, i, blob.data() != nullptr ? blob.data() : "",
                      static_cast<int>(blob.size()), lifetime);
  }
  sqlite3_stmt *s_;
  bool borrowed_ = false;
};

// Columns of a key's table k<N>.
constexpr const char *kKeyTableColumns =
    "(k BLOB NOT NULL, seq INTEGER NOT NULL, pos INTEGER NOT NULL, PRIMARY KEY(k, seq))"
    " WITHOUT ROWID";

// Reads along a key: ?1 key bytes, ?2 sequence, ?3 limit; indexed by Seek.
#define FETCH_SELECT "SELECT x.k, x.seq, x.pos, r.data FROM k%N x JOIN r ON r.pos = x.pos WHERE "
#define FETCH_UP " ORDER BY x.k, x.seq LIMIT ?3"
#define FETCH_DOWN " ORDER BY x.k DESC, x.seq DESC LIMIT ?3"
constexpr const char *kSeekSql[] = {
    FETCH_SELECT "x.k = ?1" FETCH_UP,
    FETCH_SELECT "x.k > ?1" FETCH_UP,
    FETCH_SELECT "x.k >= ?1" FETCH_UP,
    FETCH_SELECT "x.k < ?1" FETCH_DOWN,
    FETCH_SELECT "x.k <= ?1" FETCH_DOWN,
    FETCH_SELECT "?1 IS NULL" FETCH_UP,
    FETCH_SELECT "?1 IS NULL" FETCH_DOWN,
    // kAfter and kBefore: the rest of the value's entries; Seek reads on with kGreater or
    // kLess. Seeks alone find both parts; a row value, (x.k, x.seq) > (?1, ?2), would be
    // compared again on every row.
    FETCH_SELECT "x.k = ?1 AND x.seq > ?2" FETCH_UP,
    FETCH_SELECT "x.k = ?1 AND x.seq < ?2" FETCH_DOWN,
};
#undef FETCH_SELECT
#undef FETCH_UP
#undef FETCH_DOWN

// One file of the embedded store: its connection, specification and cached statements.
class SqliteStorage : public Storage {
 public:
  ~SqliteStorage() override;
  static int Create(const std::string &native_path, const FileSpec &spec, bool replace);
  // kNameMoved: the name went to another file between looking and locking.
  static constexpr int kNameMoved = -1;
  static int Open(const std::string &native_path, OpenLock lock,
                  std::unique_ptr<SqliteStorage> *out);

  const FileSpec &Spec() const override { return spec_; }
  const std::string &Owner() const override { return owner_; }
  int OwnerMode() const override { return owner_mode_; }
  bool ReadOnlyFile() const override { return read_only_file_; }
  int SetOwner(const std::string &owner, int mode) override;

  int BeginWrite() override;
  int CommitWrite() override;
  void RollbackWrite() override;
  bool InWrite() const override;
  int PrepareCommit() override;
  void SetBusyTimeout(int ms) override;
  int BusyTimeout() const override { return busy_ms_; }

  std::string ChangeStamp() override;
  bool SameStamp(const std::string &stamp) override;
  int NoticeKeyChanges(bool always) override;

  int ReadRecord(int64_t pos, std::string *data, std::string *seqs_blob) override;
  int InsertRecord(const std::string &data, int64_t *pos) override;
  int RewriteRecord(int64_t pos, const std::string &data, const std::string *seqs_blob) override;
  int RemoveRecord(int64_t pos) override;
  int NextSequence(int64_t *seq) override;
  int RetirePosition(int64_t pos) override;
  int CountRecords(int64_t *count) override;
  int ReadPhysical(int64_t pos, int direction, size_t limit, RowBatch *rows) override;
  int ReadPhysicalAtRank(int64_t rank, RowBatch *rows) override;
  int CountRecordsBefore(int64_t pos, int64_t *count) override;
  int ScanRecords(const RecordVisitor &visit) override;
  int InsertRecordAt(int64_t pos, std::string_view data, std::string_view seqs_blob) override;
  int HighestPositionUsed(int64_t *pos) override;
  int KeepPositionsAbove(int64_t pos) override;

  int AddEntry(size_t key, std::string_view k, int64_t seq, int64_t pos) override;
  int RemoveEntry(size_t key, std::string_view k, int64_t seq) override;
  int EntryExists(size_t key, std::string_view k, bool *exists) override;
  int Seek(size_t key, btr::Seek how, std::string_view k, int64_t seq, size_t limit,
           RowBatch *rows) override;
  int EntryAtRank(size_t key, int64_t rank, RowBatch *rows) override;
  int CountEntries(size_t key, int64_t *count) override;
  int CountEntriesBelow(size_t key, std::string_view k, int64_t *count) override;
  int CountDistinct(size_t key, int64_t *count) override;

  int CreateKeyIndex(size_t number) override;
  int DropKeyIndex(size_t number, size_t keys) override;
  int StoreSpec(const FileSpec &spec) override;

  void AbandonInChild() override { locks_.Abandon(); }
  bool LockRecord(int64_t pos, int wait_ms) override { return locks_.LockRecord(pos, wait_ms); }
  void UnlockRecord(int64_t pos) override { locks_.UnlockRecord(pos); }
  bool LockWriting(int64_t pos, int wait_ms) override { return locks_.LockWriting(pos, wait_ms); }
  void UnlockWriting(int64_t pos) override { locks_.UnlockWriting(pos); }
  void MarkLockedRecordsWaiting(bool waiting) override { locks_.MarkLockedRecordsWaiting(waiting); }
  bool HolderWaitsForWrites(int64_t pos) override {
    return locks_.WritingElsewhere(pos) || locks_.LockedRecordWaiting(pos);
  }
  bool RecordHolderWaitsForWrites(int64_t pos) override { return locks_.LockedRecordWaiting(pos); }
  bool MarkWaitForWrites(bool waiting) override { return locks_.MarkWaitForWrites(waiting); }
  bool OthersWaitForWrites() override { return locks_.OthersWaitForWrites(); }

  // A fresh statement (null when it does not compile); the caches own what they keep.
  sqlite3_stmt *Compile(const std::string &sql);

 private:
  SqliteStorage() = default;
  int LoadMeta();
  // Cached statements. Prepare: fixed SQL, cached by the literal's address. PrepareKey: SQL in
  // which "%N" names key N's table.
  Stmt Prepare(const char *sql);
  Stmt PrepareKey(const char *sql, size_t key);
  // Drops every cached statement (after the key tables changed).
  void ForgetStatements();
  int Exec(const char *sql);
  // Reloads the file and key layout when another process changed the keys (inside a write).
  int RefreshSpecIfChanged();
  // Raises the page cache to what the file's present size asks for.
  void GrowCache();
  int64_t DataVersion();
  int HighWater(int64_t *mark);
  int SetHighWater(int64_t value);
  // SQLite rolls a transaction back by itself after some failures (a read error, no room):
  // a statement after that would commit on its own, part of an operation. Every statement
  // that changes records or keys runs only inside the write the engine began.
  int OutsideWrite() const { return InWrite() ? 0 : B_IO_ERROR; }
  // One read along key `key`, its rows added to the batch.
  int SeekPart(size_t key, btr::Seek how, std::string_view k, int64_t seq, size_t limit,
               RowBatch *rows);
  // Adds a statement's rows (key, seq, pos, data) of key `key` to the batch; 0 or 2.
  int Collect(Stmt &s, size_t key, size_t limit, RowBatch *rows);
  // Binds an encoded key of key table entries as the file keeps it.
  void BindKey(Stmt &s, int i, std::string_view k) const;

  sqlite3 *db_ = nullptr;
  std::string path_;
  FileSpec spec_;
  std::string keys_stamp_;  // the stamp when NoticeKeyChanges last looked
  bool read_only_file_ = false;
  std::string owner_;
  int owner_mode_ = 0;
  int64_t schema_version_ = -1;
  bool integer_keys_ = false;  // short keys kept as integers (schema version 2 and later)
  int64_t cache_kib_ = 0;      // the page cache set, in KiB
  int busy_ms_ = 0;            // how long a write waits for another process's
  uint64_t inserts_ = 0;
  bool schema_changed_ = false;  // key tables changed inside the open write
  int64_t high_water_ = 0;
  bool high_water_valid_ = false;
  std::string high_water_stamp_;
  void *shm_ = nullptr;  // mapping of the WAL-index header
  int shm_fd_ = -1;
  bool shm_tried_ = false;
  FileLocks locks_;
  std::unordered_map<const char *, sqlite3_stmt *> by_address_;
  std::map<std::pair<const char *, size_t>, sqlite3_stmt *> by_key_;
};

class SqliteStoreImpl : public Store {
 public:
  int Identify(const std::string &native_path, uint64_t *identity) override;
  int Open(const std::string &native_path, OpenLock lock, std::unique_ptr<Storage> *out) override;
  int Create(const std::string &native_path, const FileSpec &spec, bool replace) override;
  int Delete(const std::string &native_path) override;
  int Rename(const std::string &from, const std::string &to) override;
};

// Maps an SQLite result code to a status.
int StatusFromSqlite(int rc) {
  switch (rc & 0xFF) {
    case SQLITE_OK:
    case SQLITE_DONE:
    case SQLITE_ROW:
      return 0;
    case SQLITE_FULL:
      return B_DISK_FULL;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return B_FILE_INUSE;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
      return B_ACCESS_TO_FILE_DENIED;
    case SQLITE_NOTADB:
      return B_NOT_A_BTRIEVE_FILE;
    case SQLITE_CONSTRAINT:
      return B_DUPLICATE_KEY_VALUE;
    case SQLITE_CANTOPEN:
      return B_FILE_NOT_FOUND;
    default:
      return B_IO_ERROR;
  }
}

// A process that may open no more files is told so (86), not that the file is missing.
bool OutOfDescriptors(int err) {
  return err == EMFILE || err == ENFILE;
}

// A connection's open or first read that failed.
int OpenFailure(sqlite3 *db, int rc) {
  return OutOfDescriptors(sqlite3_system_errno(db)) ? B_FILE_TABLE_FULL : StatusFromSqlite(rc);
}

// A statement that did not end as it should: a full disk keeps its own status.
int StepFailure(int rc) {
  return (rc & 0xFF) == SQLITE_FULL ? B_DISK_FULL : B_IO_ERROR;
}

int64_t CacheKibibytes(int64_t file_bytes) {
  return std::clamp<int64_t>(file_bytes / 1024, 2048, 65536);
}

int ConfigureConnection(sqlite3 *db, bool read_only, int busy_ms, int64_t file_bytes) {
  SetLockWait(db, busy_ms);
  sqlite3_extended_result_codes(db, 0);
  if (!read_only) {
    int rc = sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) return rc;
  }
  // WAL with NORMAL synchronisation survives a killed process with every commit intact.
  // Memory-mapped reads save a system call per page. Writes go through the page cache: as
  // much as the file, from the default 2 MiB to 64 MiB, keeps the key pages that random
  // inserts touch (keys are stored at their full width) from being spilled and read back.
  // Pages read through the map take no room in it.
  std::string sql = "PRAGMA synchronous=NORMAL; PRAGMA mmap_size=268435456; PRAGMA cache_size=-" +
                    std::to_string(CacheKibibytes(file_bytes));
  return sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
}

int QueryInt(sqlite3 *db, const char *sql, int64_t *out) {
  sqlite3_stmt *s = nullptr;
  int rc = sqlite3_prepare_v2(db, sql, -1, &s, nullptr);
  if (rc != SQLITE_OK) return rc;
  rc = sqlite3_step(s);
  if (rc == SQLITE_ROW) {
    *out = sqlite3_column_int64(s, 0);
    rc = SQLITE_OK;
  }
  sqlite3_finalize(s);
  return rc;
}

// Applied to files of an older schema version when they are opened.
int MigrateSchema(sqlite3 *db, int64_t from) {
  (void)db;
  // Version 1 differs only in keeping every key as a blob, which this store still reads and
  // writes for such files: nothing to change.
  if (from >= 1 && from <= kSchemaVersion) return SQLITE_OK;
  return SQLITE_ERROR;
}

// The size a file's header `h` gives (pages x page size); false when the header does not
// say (a size it does not vouch for).
bool HeaderFileSize(const uint8_t (&h)[100], uint64_t *size) {
  auto be32 = [&](int at) {
    return static_cast<uint32_t>(h[at]) << 24 | static_cast<uint32_t>(h[at + 1]) << 16 |
           static_cast<uint32_t>(h[at + 2]) << 8 | h[at + 3];
  };
  // Only a database file of the storage engine says anything (others are refused as foreign).
  if (std::memcmp(h, "SQLite format 3", 16) != 0) return false;
  uint32_t page_size = static_cast<uint32_t>(h[16]) << 8 | h[17];
  if (page_size == 1) page_size = 65536;
  if (page_size < 512 || (page_size & (page_size - 1)) != 0) return false;
  uint32_t pages = be32(28);
  // The page count is valid when the change counter matches "version valid for".
  if (pages == 0 || be32(24) != be32(92)) return false;
  *size = static_cast<uint64_t>(pages) * page_size;
  return true;
}

}  // namespace

uint64_t LocalIdentity(uint64_t device, uint64_t inode) {
  return (device << 40) ^ inode;
}

bool JournalEmpty(const std::string &native_path) {
  struct stat st;
  if (::stat((native_path + "-wal").c_str(), &st) != 0) return errno == ENOENT;
  return st.st_size == 0;
}

std::string ImmutableUri(const std::string &native_path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string uri = "file:";
  for (unsigned char ch : native_path) {
    bool plain = (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9') ||
                 ch == '/' || ch == '-' || ch == '_' || ch == '.' || ch == '~';
    if (plain) {
      uri.push_back(static_cast<char>(ch));
    } else {
      uri.push_back('%');
      uri.push_back(kHex[ch >> 4]);
      uri.push_back(kHex[ch & 15]);
    }
  }
  return uri + "?immutable=1";
}

bool FileCutShort(sqlite3 *db, std::string *why) {
  // Read through the connection's own descriptor: closing another descriptor of the file
  // would drop every lock this process holds on it, and another process would then take the
  // journal the connections here still write to for its own to delete.
  sqlite3_file *file = nullptr;
  if (sqlite3_file_control(db, "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK ||
      file == nullptr || file->pMethods == nullptr) {
    return false;
  }
  // A checkpoint of another process may be growing the file right now (its header first):
  // a shortfall that lasts is damage.
  for (int attempt = 0;; ++attempt) {
    uint8_t header[100];
    uint64_t expected = 0;
    sqlite3_int64 size = 0;
    // A file too short to hold a header says nothing here (SQLite refuses it itself).
    if (file->pMethods->xRead(file, header, sizeof header, 0) != SQLITE_OK ||
        !HeaderFileSize(header, &expected) || file->pMethods->xFileSize(file, &size) != SQLITE_OK)
      return false;
    if (static_cast<uint64_t>(size) >= expected) return false;
    if (attempt == 3) {
      if (why != nullptr) {
        *why = "the file holds " + std::to_string(size) + " bytes, its header says " +
               std::to_string(expected);
      }
      return true;
    }
    ::usleep(20 * 1000);
  }
}

SqliteStorage::~SqliteStorage() {
  if (shm_ != nullptr) ::munmap(shm_, kWalIndexHeaderSize);
  ForgetStatements();
  if (db_ != nullptr) sqlite3_close_v2(db_);
  if (shm_fd_ >= 0) ::close(shm_fd_);
}

int SqliteStoreImpl::Identify(const std::string &native_path, uint64_t *identity) {
  struct stat st;
  if (native_path.empty()) return B_FILENAME_BAD;
  if (::stat(native_path.c_str(), &st) != 0) {
    return errno == ENOENT || errno == ENOTDIR ? B_FILE_NOT_FOUND : B_FILENAME_BAD;
  }
  if (!S_ISREG(st.st_mode)) return B_FILENAME_BAD;
  *identity = LocalIdentity(st.st_dev, st.st_ino);
  return 0;
}

int SqliteStoreImpl::Open(const std::string &native_path, OpenLock lock,
                          std::unique_ptr<Storage> *out) {
  // A name that moves on between looking and locking is looked up again: another process is
  // renaming, replacing or deleting the file, each a short step under its exclusive lock.
  for (int attempt = 0;; ++attempt) {
    std::unique_ptr<SqliteStorage> file;
    int status = SqliteStorage::Open(native_path, lock, &file);
    if (status == 0) *out = std::move(file);
    if (status != SqliteStorage::kNameMoved) return status;
    if (attempt == 50) return B_FILE_INUSE;
    ::usleep(1000);
  }
}

int SqliteStoreImpl::Create(const std::string &native_path, const FileSpec &spec, bool replace) {
  return SqliteStorage::Create(native_path, spec, replace);
}

namespace {

// The exclusive open-mode lock on the file `native_path` names, for a change of its name.
// Locked after another process gave the name to a new file, the lock would hold the old one
// while the new one, perhaps open, was renamed or deleted: that counts as in use.
bool LockedUnderItsName(FileLocks &locks, const std::string &native_path) {
  dev_t dev;
  ino_t ino;
  return locks.LockOpenMode(true) && locks.NamedBy(native_path, &dev, &ino);
}

}  // namespace

int SqliteStoreImpl::Delete(const std::string &native_path) {
  struct stat st;
  if (::lstat(native_path.c_str(), &st) != 0) return B_FILE_NOT_FOUND;
  if (!S_ISREG(st.st_mode)) return B_FILENAME_BAD;
  // The exclusive open-mode lock keeps other processes' opens away while the files go.
  FileLocks probe;
  if (probe.Open(native_path) && !LockedUnderItsName(probe, native_path)) return B_FILE_INUSE;
  if (::unlink(native_path.c_str()) != 0) return errno == ENOSPC ? B_DISK_FULL : B_IO_ERROR;
  ::unlink((native_path + "-wal").c_str());
  ::unlink((native_path + "-shm").c_str());
  return 0;
}

namespace {

// Folds a file's journal into it (the file is at rest: no process has it open).
bool FoldJournal(const std::string &native_path) {
  sqlite3 *db = nullptr;
  int rc = sqlite3_open_v2(native_path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
  if (rc == SQLITE_OK) {
    SetLockWait(db, LockWaitMilliseconds());
    rc = sqlite3_exec(db, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr);
  }
  int closed = sqlite3_close(db);
  return rc == SQLITE_OK && closed == SQLITE_OK && JournalEmpty(native_path);
}

}  // namespace

int SqliteStoreImpl::Rename(const std::string &from, const std::string &to) {
  struct stat st;
  if (::lstat(from.c_str(), &st) != 0) return B_FILE_NOT_FOUND;
  if (!S_ISREG(st.st_mode)) return B_FILENAME_BAD;
  bool replacing = ::lstat(to.c_str(), &st) == 0;
  if (replacing && !S_ISREG(st.st_mode)) return B_FILENAME_BAD;
  // Both stay at rest while the names change: the exclusive open-mode locks keep other
  // processes' opens away.
  FileLocks source, target;
  if (source.Open(from) && !LockedUnderItsName(source, from)) return B_FILE_INUSE;
  if (replacing && target.Open(to) && !LockedUnderItsName(target, to)) return B_FILE_INUSE;
  // A journal belongs to its file's name: each file takes in its own before the names
  // change, so no journal is ever applied to the other file.
  if (!JournalEmpty(from) && !FoldJournal(from)) return B_IO_ERROR;
  if (replacing && !JournalEmpty(to) && !FoldJournal(to)) return B_IO_ERROR;
  ::unlink((to + "-wal").c_str());
  ::unlink((to + "-shm").c_str());
  if (::rename(from.c_str(), to.c_str()) != 0) return errno == ENOSPC ? B_DISK_FULL : B_IO_ERROR;
  ::unlink((from + "-wal").c_str());
  ::unlink((from + "-shm").c_str());
  return 0;
}

int SqliteStorage::Create(const std::string &native_path, const FileSpec &spec, bool replace) {
  struct stat st;
  bool exists = ::stat(native_path.c_str(), &st) == 0;
  if (exists && S_ISDIR(st.st_mode)) return B_FILENAME_BAD;
  if (exists && !replace) return B_FILE_ALREADY_EXISTS;
  // A file another process has open is not replaced under it.
  FileLocks in_use;
  if (exists) {
    if (in_use.Open(native_path)) {
      if (!LockedUnderItsName(in_use, native_path)) return B_FILE_INUSE;
    } else if (OutOfDescriptors(errno)) {
      return B_FILE_TABLE_FULL;  // whether it is in use cannot be told
    }
  }
  size_t slash = native_path.rfind('/');
  std::string dir =
      slash == std::string::npos ? "." : native_path.substr(0, slash == 0 ? 1 : slash);
  if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return B_FILE_NOT_FOUND;

  // Build the new file beside the target and move it into place only when complete, so a
  // failed create never destroys an existing file.
  std::string tmp = native_path + ".create-" + std::to_string(::getpid());
  const std::string tmp_wal = tmp + "-wal", tmp_shm = tmp + "-shm";
  // Everything that allocates is made before the connection exists: nothing thrown can leave
  // it open.
  std::string sql = "PRAGMA application_id=" + std::to_string(kApplicationId) +
                    "; PRAGMA user_version=" + std::to_string(kSchemaVersion) +
                    "; PRAGMA journal_mode=WAL; BEGIN;"
                    "CREATE TABLE meta(name TEXT PRIMARY KEY, value BLOB);"
                    "CREATE TABLE r(pos INTEGER PRIMARY KEY, data BLOB NOT NULL,"
                    " seqs BLOB NOT NULL);";
  for (size_t k = 0; k < spec.keys.size(); ++k) {
    sql += "CREATE TABLE k" + std::to_string(k) + kKeyTableColumns + ";";
  }
  std::vector<uint8_t> blob = SerializeSpec(spec);
  ::unlink(tmp.c_str());
  sqlite3 *db = nullptr;
  int rc = sqlite3_open_v2(tmp.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
  if (rc == SQLITE_OK) {
    sqlite3_stmt *s = nullptr;
    rc = sqlite3_prepare_v2(db, "INSERT INTO meta VALUES('spec', ?1)", -1, &s, nullptr);
    if (rc == SQLITE_OK) {
      sqlite3_bind_blob(s, 1, blob.data(), static_cast<int>(blob.size()), SQLITE_STATIC);
      rc = sqlite3_step(s) == SQLITE_DONE ? SQLITE_OK : sqlite3_errcode(db);
      sqlite3_finalize(s);
    }
  }
  if (rc == SQLITE_OK) rc = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  const bool out_of_descriptors = OutOfDescriptors(sqlite3_system_errno(db));
  int close_rc = sqlite3_close(db);
  if (rc == SQLITE_OK) rc = close_rc;
  if (rc != SQLITE_OK) {
    ::unlink(tmp.c_str());
    ::unlink(tmp_wal.c_str());
    ::unlink(tmp_shm.c_str());
    // The directory is there: a file that cannot be made in it (no write permission, a
    // read-only disk) is a create error, not a file that was not found.
    if (out_of_descriptors) return B_FILE_TABLE_FULL;
    const int status = StatusFromSqlite(rc);
    return status == B_IO_ERROR || status == B_FILE_NOT_FOUND ? B_CREATE_IO_ERROR : status;
  }
  // SQLite makes 0644 whatever the umask; a replaced file's access goes on.
  zplatform::GiveNewFileAccess(tmp);
  if (replace) {
    zplatform::KeepAccessOf(native_path, tmp);
    // Journal files of the old file must not be applied to the new one.
    ::unlink((native_path + "-wal").c_str());
    ::unlink((native_path + "-shm").c_str());
    if (::rename(tmp.c_str(), native_path.c_str()) != 0) {
      ::unlink(tmp.c_str());
      return B_CREATE_IO_ERROR;
    }
  } else {
    // link() fails when the name appeared meanwhile: no file is ever overwritten.
    int err = ::link(tmp.c_str(), native_path.c_str()) == 0 ? 0 : errno;
    ::unlink(tmp.c_str());
    if (err == EEXIST) return B_FILE_ALREADY_EXISTS;
    if (err != 0) return B_CREATE_IO_ERROR;
  }
  return 0;
}

int SqliteStorage::Open(const std::string &native_path, OpenLock lock,
                        std::unique_ptr<SqliteStorage> *out) {
  struct stat st;
  bool read_only_file = false;
  if (native_path.empty()) return B_FILENAME_BAD;
  if (::stat(native_path.c_str(), &st) != 0) {
    return errno == ENOENT || errno == ENOTDIR ? B_FILE_NOT_FOUND : B_FILENAME_BAD;
  }
  if (!S_ISREG(st.st_mode)) return B_FILENAME_BAD;
  if (::access(native_path.c_str(), W_OK) != 0) read_only_file = true;

  std::unique_ptr<SqliteStorage> f(new SqliteStorage());
  // The open-mode lock comes before the connection: once it is held on the file the name
  // gives, no other process moves that file away, so the connection opens the locked file.
  // (Locked after the connection, a rename in between left the connection on the old file,
  // writing where nobody would read again.)
  if (lock != OpenLock::kNone) {
    // A file that cannot be opened gives 12, as the connection's own open would.
    if (!f->locks_.Open(native_path)) {
      if (OutOfDescriptors(errno)) return B_FILE_TABLE_FULL;
      return errno == ENOENT ? kNameMoved : B_FILE_NOT_FOUND;
    }
    if (!f->locks_.LockOpenMode(lock == OpenLock::kExclusive)) return B_INCOMPATIBLE_MODE;
    if (!f->locks_.NamedBy(native_path, &st.st_dev, &st.st_ino)) return kNameMoved;
  }

  f->path_ = native_path;
  f->read_only_file_ = read_only_file;
  f->identity = LocalIdentity(st.st_dev, st.st_ino);
  int flags = (read_only_file ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) | SQLITE_OPEN_NOMUTEX;
  int rc = sqlite3_open_v2(native_path.c_str(), &f->db_, flags, nullptr);
  if (rc != SQLITE_OK) return OpenFailure(f->db_, rc);
  // A file cut short reads as records that are silently missing or garbled: refused whole.
  if (FileCutShort(f->db_, nullptr)) return B_IO_ERROR;
  // Another process busy with the file (a commit, a checkpoint) is waited for from the first
  // read on, as every later one is; it never makes this open a read-only one.
  SetLockWait(f->db_, LockWaitMilliseconds());
  int64_t app_id = 0;
  rc = QueryInt(f->db_, "PRAGMA application_id", &app_id);
  bool busy = (rc & 0xFF) == SQLITE_BUSY || (rc & 0xFF) == SQLITE_LOCKED;
  // A process out of descriptors cannot open the index either; that says nothing of the disk.
  if (rc != SQLITE_OK && OutOfDescriptors(sqlite3_system_errno(f->db_))) return B_FILE_TABLE_FULL;
  if (rc != SQLITE_OK && rc != SQLITE_NOTADB && !busy && JournalEmpty(native_path)) {
    // The journal's shared-memory index cannot be made here (a read-only mount, a full
    // disk). With no journal waiting, the file alone holds every committed record: it is
    // read as it stands, and writes through this open are refused (46).
    sqlite3_close_v2(f->db_);
    f->db_ = nullptr;
    read_only_file = true;
    f->read_only_file_ = true;
    rc = sqlite3_open_v2(ImmutableUri(native_path).c_str(), &f->db_,
                         SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) return StatusFromSqlite(rc);
    rc = QueryInt(f->db_, "PRAGMA application_id", &app_id);
  }
  if (rc != SQLITE_OK) return rc == SQLITE_NOTADB ? B_NOT_A_BTRIEVE_FILE : StatusFromSqlite(rc);
  if (app_id != kApplicationId) return B_NOT_A_BTRIEVE_FILE;
  int64_t version = 0;
  rc = QueryInt(f->db_, "PRAGMA user_version", &version);
  if (rc != SQLITE_OK) return StatusFromSqlite(rc);
  if (version > kSchemaVersion || version < 1) return B_NOT_A_BTRIEVE_FILE;
  if (version < kSchemaVersion && (read_only_file || MigrateSchema(f->db_, version) != SQLITE_OK)) {
    return B_NOT_A_BTRIEVE_FILE;
  }
  f->integer_keys_ = version >= kIntegerKeysVersion;
  rc = ConfigureConnection(f->db_, read_only_file, LockWaitMilliseconds(), st.st_size);
  f->busy_ms_ = LockWaitMilliseconds();
  f->cache_kib_ = CacheKibibytes(st.st_size);
  if (rc != SQLITE_OK) return StatusFromSqlite(rc);
  int status = f->LoadMeta();
  if (status != 0) return status;
  {
    Stmt s = f->Prepare("PRAGMA schema_version");
    if (s.Step() == SQLITE_ROW) f->schema_version_ = s.Int(0);
  }
  if (lock == OpenLock::kNone && !f->locks_.Open(native_path))
    return OutOfDescriptors(errno) ? B_FILE_TABLE_FULL : B_IO_ERROR;
  *out = std::move(f);
  return 0;
}

int SqliteStorage::LoadMeta() {
  Stmt s = Prepare("SELECT name, value FROM meta");
  if (!s) return B_NOT_A_BTRIEVE_FILE;
  bool have_spec = false;
  int rc;
  while ((rc = s.Step()) == SQLITE_ROW) {
    std::string name = reinterpret_cast<const char *>(sqlite3_column_text(s.get(), 0));
    std::string value = s.Blob(1);
    if (name == "spec") {
      std::vector<uint8_t> bytes(value.begin(), value.end());
      have_spec = DeserializeSpec(bytes, &spec_);
    } else if (name == "owner") {
      owner_ = value;
    } else if (name == "owner_mode") {
      owner_mode_ = value.empty() ? 0 : value[0] - '0';
    }
  }
  if (rc != SQLITE_DONE) return StatusFromSqlite(rc);
  if (!have_spec) return B_NOT_A_BTRIEVE_FILE;
  NoteSpecLoaded();
  return 0;
}

sqlite3_stmt *SqliteStorage::Compile(const std::string &sql) {
  sqlite3_stmt *s = nullptr;
  if (sqlite3_prepare_v3(db_, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &s, nullptr) !=
      SQLITE_OK) {
    sqlite3_finalize(s);
    return nullptr;
  }
  return s;
}

// Compiles `sql` into the cache `map` under `key`; a failed insertion finalizes the statement,
// so no statement outlives its cache (it would keep the connection from closing).
template <typename Map, typename Key>
sqlite3_stmt *CompileInto(SqliteStorage &file, Map &map, Key &&key, const std::string &sql,
                          sqlite3_stmt *(SqliteStorage::*compile)(const std::string &)) {
  sqlite3_stmt *s = (file.*compile)(sql);
  if (s == nullptr) return nullptr;
  try {
    map.emplace(std::forward<Key>(key), s);
  } catch (...) {
    sqlite3_finalize(s);
    throw;
  }
  return s;
}

Stmt SqliteStorage::Prepare(const char *sql) {
  auto it = by_address_.find(sql);
  if (it != by_address_.end()) return Stmt(it->second);
  return Stmt(CompileInto(*this, by_address_, sql, sql, &SqliteStorage::Compile));
}

Stmt SqliteStorage::PrepareKey(const char *sql, size_t key) {
  auto it = by_key_.find({sql, key});
  if (it != by_key_.end()) return Stmt(it->second);
  std::string text = sql;
  for (size_t at; (at = text.find("%N")) != std::string::npos;) {
    text.replace(at, 2, std::to_string(key));
  }
  return Stmt(CompileInto(*this, by_key_, std::make_pair(sql, key), text, &SqliteStorage::Compile));
}

void SqliteStorage::ForgetStatements() {
  for (auto &kv : by_address_)
    sqlite3_finalize(kv.second);
  for (auto &kv : by_key_)
    sqlite3_finalize(kv.second);
  by_address_.clear();
  by_key_.clear();
}

int SqliteStorage::Exec(const char *sql) {
  return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
}

int SqliteStorage::BeginWrite() {
  // A BEGIN that fails leaves alone whatever transaction is open: it is not ours to undo.
  // SQLite answers some conflicts at once, without waiting as the busy timeout asks (a
  // snapshot another process has moved past, a contended lock protocol); they are tried
  // again until that time is up.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(busy_ms_);
  int rc = Exec("BEGIN IMMEDIATE");
  for (int tries = 0;
       (rc == SQLITE_BUSY || rc == SQLITE_PROTOCOL) && std::chrono::steady_clock::now() < deadline;
       ++tries) {
    PauseBeforeRetry(tries);
    rc = Exec("BEGIN IMMEDIATE");
  }
  int status = StatusFromSqlite(rc);
  if (status != 0) return status;
  status = RefreshSpecIfChanged();
  if (status != 0) {
    Exec("ROLLBACK");
    return status;
  }
  GrowCache();
  return 0;
}

void SqliteStorage::GrowCache() {
  // A file filled after it was opened (a load into a new file) gets the cache its size asks
  // for as it grows; the cache never shrinks while the file is open.
  Stmt s = Prepare("SELECT page_count * page_size FROM pragma_page_count, pragma_page_size");
  if (!s || s.Step() != SQLITE_ROW) return;
  int64_t wanted = CacheKibibytes(s.Int(0));
  if (wanted <= cache_kib_) return;
  cache_kib_ = wanted;
  std::string sql = "PRAGMA cache_size=-" + std::to_string(wanted);
  Exec(sql.c_str());
}

int SqliteStorage::PrepareCommit() {
  int rc = sqlite3_db_cacheflush(db_);
  return rc == SQLITE_OK ? 0 : StepFailure(rc);
}

bool SqliteStorage::InWrite() const {
  return sqlite3_get_autocommit(db_) == 0;
}

int SqliteStorage::NoticeKeyChanges(bool always) {
  if (InWrite() || (!always && !keys_stamp_.empty() && SameStamp(keys_stamp_))) return 0;
  // Taken before the check: a change after it shows as another stamp next time.
  std::string stamp = ChangeStamp();
  int status = RefreshSpecIfChanged();
  if (status == 0) keys_stamp_ = std::move(stamp);
  return status;
}

int SqliteStorage::RefreshSpecIfChanged() {
  int64_t version = -1;
  {
    Stmt s = Prepare("PRAGMA schema_version");
    if (s.Step() == SQLITE_ROW) version = s.Int(0);
  }
  if (version == schema_version_) return 0;
  schema_version_ = version;
  // Another process created or dropped a key: statements and specification are reloaded.
  ForgetStatements();
  return LoadMeta();
}

void SqliteStorage::SetBusyTimeout(int ms) {
  busy_ms_ = ms;
  SetLockWait(db_, ms);
}

int SqliteStorage::CommitWrite() {
  int rc = Exec("COMMIT");
  if (rc != SQLITE_OK) {
    RollbackWrite();
    return StatusFromSqlite(rc);
  }
  NoteWrite();
  schema_changed_ = false;
  return 0;
}

void SqliteStorage::RollbackWrite() {
  Exec("ROLLBACK");
  high_water_valid_ = false;
  NoteWrite();
  if (schema_changed_) {
    // The key tables are back as they were: so are the statements and the file's key layout.
    schema_changed_ = false;
    ForgetStatements();
    LoadMeta();
  }
}

int64_t SqliteStorage::DataVersion() {
  Stmt s = Prepare("PRAGMA data_version");
  if (!s || s.Step() != SQLITE_ROW) return -1;
  return s.Int(0);
}

std::string SqliteStorage::ChangeStamp() {
  if (!shm_tried_) {
    shm_tried_ = true;
    DataVersion();  // makes sure the shared-memory file exists
    // The descriptor stays open as long as the connection: closing any descriptor of a
    // file drops every POSIX lock the process holds on it, SQLite's own included.
    shm_fd_ = ::open((path_ + "-shm").c_str(), O_RDONLY | O_CLOEXEC);
    if (shm_fd_ >= 0) {
      struct stat st;
      if (::fstat(shm_fd_, &st) == 0 && static_cast<size_t>(st.st_size) >= kWalIndexHeaderSize) {
        void *p = ::mmap(nullptr, kWalIndexHeaderSize, PROT_READ, MAP_SHARED, shm_fd_, 0);
        if (p != MAP_FAILED) shm_ = p;
      }
    }
  }
  if (shm_ == nullptr) return std::to_string(DataVersion());
  // The first header copy: iChange, mxFrame, salts and checksums change with every commit,
  // checkpoint restart and reset.
  std::atomic_thread_fence(std::memory_order_acquire);
  return std::string(static_cast<const char *>(shm_), 48);
}

bool SqliteStorage::SameStamp(const std::string &stamp) {
  if (shm_ == nullptr) return stamp == ChangeStamp();
  std::atomic_thread_fence(std::memory_order_acquire);
  return stamp.size() == 48 && std::memcmp(shm_, stamp.data(), 48) == 0;
}

int SqliteStorage::SetOwner(const std::string &owner, int mode) {
  int status = BeginWrite();
  if (status != 0) return status;
  {
    Stmt s = Prepare("INSERT OR REPLACE INTO meta VALUES(?1, ?2)");
    s.Bind(1, std::string("owner"));
    s.Bind(2, owner);
    if (int rc = s.Step(); rc != SQLITE_DONE) status = StepFailure(rc);
  }
  if (status == 0) {
    Stmt s = Prepare("INSERT OR REPLACE INTO meta VALUES(?1, ?2)");
    s.Bind(1, std::string("owner_mode"));
    s.Bind(2, std::string(1, static_cast<char>('0' + mode)));
    if (int rc = s.Step(); rc != SQLITE_DONE) status = StepFailure(rc);
  }
  if (status != 0) {
    RollbackWrite();
    return status;
  }
  status = CommitWrite();
  if (status == 0) {
    owner_ = owner;
    owner_mode_ = mode;
  }
  return status;
}

int SqliteStorage::StoreSpec(const FileSpec &spec) {
  std::vector<uint8_t> blob = SerializeSpec(spec);
  Stmt s = Prepare("INSERT OR REPLACE INTO meta VALUES('spec', ?1)");
  s.BindStatic(1, std::string_view(reinterpret_cast<const char *>(blob.data()), blob.size()));
  if (int rc = s.Step(); rc != SQLITE_DONE) return StepFailure(rc);
  spec_ = spec;
  return 0;
}

int SqliteStorage::ReadRecord(int64_t pos, std::string *data, std::string *seqs_blob) {
  Stmt s = Prepare("SELECT data, seqs FROM r WHERE pos = ?1");
  if (!s) return B_IO_ERROR;
  s.Bind(1, pos);
  int rc = s.Step();
  if (rc == SQLITE_DONE) return B_INVALID_RECORD_ADDRESS;
  if (rc != SQLITE_ROW) return StepFailure(rc);
  if (!spec_.FitsRecord(static_cast<size_t>(sqlite3_column_bytes(s.get(), 0)))) return B_IO_ERROR;
  if (data) *data = s.Blob(0);
  if (seqs_blob) *seqs_blob = s.Blob(1);
  return 0;
}

// Positions are never reused: a record gets one above every position in use and above the
// high-water mark, which a delete of the highest record raises. Sequences of entries moved
// along a key come from the same numbers and raise the mark too.
int SqliteStorage::HighWater(int64_t *mark) {
  if (!high_water_valid_ || !SameStamp(high_water_stamp_)) {
    high_water_valid_ = false;
    high_water_stamp_ = ChangeStamp();
    Stmt s = Prepare("SELECT value FROM meta WHERE name = 'hwm'");
    if (!s) return B_IO_ERROR;
    // A mark that could not be read is not taken as none: positions would be used again.
    int rc = s.Step();
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) return StepFailure(rc);
    high_water_ = rc == SQLITE_ROW ? s.Int(0) : 0;
    high_water_valid_ = true;
  }
  *mark = high_water_;
  return 0;
}

int SqliteStorage::SetHighWater(int64_t value) {
  if (int status = OutsideWrite(); status != 0) return status;
  Stmt s = Prepare("INSERT OR REPLACE INTO meta VALUES('hwm', ?1)");
  s.Bind(1, value);
  if (int rc = s.Step(); rc != SQLITE_DONE) {
    high_water_valid_ = false;
    return StepFailure(rc);
  }
  high_water_ = value;
  return 0;
}

int SqliteStorage::InsertRecord(const std::string &data, int64_t *pos) {
  if (int status = OutsideWrite(); status != 0) return status;
  // A long transaction of inserts grows the file too.
  if ((++inserts_ & 1023) == 0) GrowCache();
  // Without a high-water mark the next position is simply the highest plus one.
  int64_t high_water = 0;
  if (int status = HighWater(&high_water); status != 0) return status;
  Stmt s = high_water == 0
               ? Prepare("INSERT INTO r(data, seqs) VALUES(?1, x'')")
               : Prepare(
                     "INSERT INTO r(pos, data, seqs)"
                     " VALUES(max(coalesce((SELECT max(pos) FROM r), 0), ?2) + 1, ?1, x'')");
  s.BindStatic(1, data);
  if (high_water != 0) s.Bind(2, high_water);
  int rc = s.Step();
  if (rc != SQLITE_DONE) return StatusFromSqlite(rc);
  *pos = sqlite3_last_insert_rowid(db_);
  return 0;
}

int SqliteStorage::NextSequence(int64_t *seq) {
  int64_t high_water = 0;
  if (int status = HighWater(&high_water); status != 0) return status;
  Stmt s = Prepare("SELECT max(coalesce((SELECT max(pos) FROM r), 0), ?1) + 1");
  s.Bind(1, high_water);
  if (int rc = s.Step(); rc != SQLITE_ROW) return StepFailure(rc);
  *seq = s.Int(0);
  return SetHighWater(*seq);
}

int SqliteStorage::RetirePosition(int64_t pos) {
  Stmt top = Prepare("SELECT max(pos) FROM r");
  if (int rc = top.Step(); rc != SQLITE_ROW) return StepFailure(rc);
  int64_t high_water = 0;
  if (int status = HighWater(&high_water); status != 0) return status;
  if (top.Int(0) != pos || pos <= high_water) return 0;
  return SetHighWater(pos);
}

int SqliteStorage::CountRecords(int64_t *count) {
  Stmt s = Prepare("SELECT count(*) FROM r");
  if (!s) return B_IO_ERROR;
  if (int rc = s.Step(); rc != SQLITE_ROW) return StepFailure(rc);
  *count = s.Int(0);
  return 0;
}

int SqliteStorage::RewriteRecord(int64_t pos, const std::string &data,
                                 const std::string *seqs_blob) {
  if (int status = OutsideWrite(); status != 0) return status;
  Stmt s = Prepare(seqs_blob != nullptr ? "UPDATE r SET data = ?1, seqs = ?3 WHERE pos = ?2"
                                        : "UPDATE r SET data = ?1 WHERE pos = ?2");
  s.BindStatic(1, data);
  s.Bind(2, pos);
  if (seqs_blob != nullptr) s.BindStatic(3, *seqs_blob);
  return StatusFromSqlite(s.Step());
}

int SqliteStorage::RemoveRecord(int64_t pos) {
  if (int status = OutsideWrite(); status != 0) return status;
  Stmt s = Prepare("DELETE FROM r WHERE pos = ?1");
  s.Bind(1, pos);
  int rc = s.Step();
  return rc == SQLITE_DONE ? 0 : StepFailure(rc);
}

void SqliteStorage::BindKey(Stmt &s, int i, std::string_view k) const {
  if (integer_keys_ && FitsIntegerColumn(k.size())) {
    s.Bind(i, KeyToInteger(k));
  } else {
    s.BindStatic(i, k);
  }
}

// Adds at most `limit` rows; once it has them it steps no further, as the statement's LIMIT
// would only end it there (a Get Equal's read would take a second step for that).
int SqliteStorage::Collect(Stmt &s, size_t key, size_t limit, RowBatch *rows) {
  const size_t length = key < spec_.keys.size() ? EncodedKeyLength(spec_.keys[key]) : 0;
  char integer_key[8];
  int rc = SQLITE_DONE;
  for (size_t added = 0; added < limit && (rc = s.Step()) == SQLITE_ROW; ++added) {
    std::string_view k(integer_key, length);
    sqlite3_value *stored = s.Value(0);
    if (sqlite3_value_type(stored) == SQLITE_INTEGER && FitsIntegerColumn(length)) {
      IntegerToKey(sqlite3_value_int64(stored), length, integer_key);
    } else {
      k = Stmt::BlobOf(stored);  // a blob as stored (damage shows as a wrong length)
    }
    std::string_view data = s.View(3);
    rows->Add(k.data(), k.size(), s.Int(1), s.Int(2), data.data(), data.size());
  }
  return rc == SQLITE_ROW || rc == SQLITE_DONE ? 0 : StepFailure(rc);
}

int SqliteStorage::ReadPhysical(int64_t pos, int direction, size_t limit, RowBatch *rows) {
  Stmt s = Prepare(direction > 0 ? "SELECT pos, data FROM r WHERE pos > ?1 ORDER BY pos LIMIT ?2"
                                 : "SELECT pos, data FROM r WHERE pos < ?1"
                                   " ORDER BY pos DESC LIMIT ?2");
  if (!s) return B_IO_ERROR;
  s.Bind(1, pos);
  s.Bind(2, static_cast<int64_t>(limit));
  rows->Clear();
  int rc = SQLITE_DONE;
  for (size_t added = 0; added < limit && (rc = s.Step()) == SQLITE_ROW; ++added) {
    std::string_view data = s.View(1);
    rows->Add(nullptr, 0, 0, s.Int(0), data.data(), data.size());
  }
  return rc == SQLITE_ROW || rc == SQLITE_DONE ? 0 : StepFailure(rc);
}

int SqliteStorage::ReadPhysicalAtRank(int64_t rank, RowBatch *rows) {
  Stmt s = Prepare("SELECT NULL, 0, pos, data FROM r ORDER BY pos LIMIT 1 OFFSET ?1");
  if (!s) return B_IO_ERROR;
  s.Bind(1, rank);
  rows->Clear();
  return Collect(s, SIZE_MAX, 1, rows);
}

int SqliteStorage::CountRecordsBefore(int64_t pos, int64_t *count) {
  Stmt s = Prepare("SELECT count(*) FROM r WHERE pos < ?1");
  s.Bind(1, pos);
  if (int rc = s.Step(); rc != SQLITE_ROW) return StepFailure(rc);
  *count = s.Int(0);
  return 0;
}

int SqliteStorage::ScanRecords(const RecordVisitor &visit) {
  Stmt s = Prepare("SELECT pos, data, seqs FROM r ORDER BY pos");
  if (!s) return B_IO_ERROR;
  int rc;
  while ((rc = s.Step()) == SQLITE_ROW) {
    int status = visit(s.Int(0), s.View(1), s.View(2));
    if (status != 0) return status;
  }
  return rc == SQLITE_DONE ? 0 : StepFailure(rc);
}

int SqliteStorage::InsertRecordAt(int64_t pos, std::string_view data, std::string_view seqs_blob) {
  if (int status = OutsideWrite(); status != 0) return status;
  Stmt s = Prepare("INSERT INTO r(pos, data, seqs) VALUES(?1, ?2, ?3)");
  s.Bind(1, pos);
  s.BindStatic(2, data);
  s.BindStatic(3, seqs_blob);
  return StatusFromSqlite(s.Step());
}

int SqliteStorage::HighestPositionUsed(int64_t *pos) {
  Stmt s = Prepare("SELECT coalesce(max(pos), 0) FROM r");
  if (!s) return B_IO_ERROR;
  if (int rc = s.Step(); rc != SQLITE_ROW) return StepFailure(rc);
  int64_t high_water = 0;
  if (int status = HighWater(&high_water); status != 0) return status;
  *pos = std::max(s.Int(0), high_water);
  return 0;
}

int SqliteStorage::KeepPositionsAbove(int64_t pos) {
  int64_t high_water = 0;
  if (int status = HighWater(&high_water); status != 0) return status;
  return pos > high_water ? SetHighWater(pos) : 0;
}

int SqliteStorage::AddEntry(size_t key, std::string_view k, int64_t seq, int64_t pos) {
  if (int status = OutsideWrite(); status != 0) return status;
  Stmt s = PrepareKey("INSERT INTO k%N VALUES(?1, ?2, ?3)", key);
  if (!s) return B_IO_ERROR;
  BindKey(s, 1, k);
  s.Bind(2, seq);
  s.Bind(3, pos);
  return StatusFromSqlite(s.Step());
}

int SqliteStorage::RemoveEntry(size_t key, std::string_view k, int64_t seq) {
  if (int status = OutsideWrite(); status != 0) return status;
  Stmt s = PrepareKey("DELETE FROM k%N WHERE k = ?1 AND seq = ?2", key);
  if (!s) return B_IO_ERROR;
  BindKey(s, 1, k);
  s.Bind(2, seq);
  int rc = s.Step();
  return rc == SQLITE_DONE ? 0 : StepFailure(rc);
}

int SqliteStorage::EntryExists(size_t key, std::string_view k, bool *exists) {
  Stmt s = PrepareKey("SELECT 1 FROM k%N WHERE k = ?1 LIMIT 1", key);
  if (!s) return B_IO_ERROR;
  BindKey(s, 1, k);
  int rc = s.Step();
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) return StepFailure(rc);
  *exists = rc == SQLITE_ROW;
  return 0;
}

int SqliteStorage::Seek(size_t key, btr::Seek how, std::string_view k, int64_t seq, size_t limit,
                        RowBatch *rows) {
  rows->Clear();
  if (how != Seek::kAfter && how != Seek::kBefore) return SeekPart(key, how, k, seq, limit, rows);
  // The rest of the value's entries, then the values beyond it: two reads that must see one
  // state of the file, so outside a write they share one read transaction.
  const bool own = !InWrite();
  if (own) {
    Stmt begin = Prepare("BEGIN");
    if (int rc = begin.Step(); rc != SQLITE_DONE) return StepFailure(rc);
  }
  int status = SeekPart(key, how, k, seq, limit, rows);
  if (status == 0 && rows->Size() < limit) {
    status = SeekPart(key, how == Seek::kAfter ? Seek::kGreater : Seek::kLess, k, seq,
                      limit - rows->Size(), rows);
  }
  if (own) {
    Stmt commit = Prepare("COMMIT");
    // A read that failed may have ended the transaction already; none may stay open.
    if (commit.Step() != SQLITE_DONE && InWrite()) Exec("ROLLBACK");
  }
  return status;
}

int SqliteStorage::SeekPart(size_t key, btr::Seek how, std::string_view k, int64_t seq,
                            size_t limit, RowBatch *rows) {
  Stmt s = PrepareKey(kSeekSql[static_cast<int>(how)], key);
  if (!s) return B_IO_ERROR;
  if (how != Seek::kFirst && how != Seek::kLast) BindKey(s, 1, k);
  if (how == Seek::kAfter || how == Seek::kBefore) s.Bind(2, seq);  // only they compare it
  s.Bind(3, static_cast<int64_t>(limit));
  return Collect(s, key, limit, rows);
}

int SqliteStorage::EntryAtRank(size_t key, int64_t rank, RowBatch *rows) {
  Stmt s = PrepareKey(
      "SELECT x.k, x.seq, x.pos, r.data FROM k%N x JOIN r ON r.pos = x.pos"
      " ORDER BY x.k, x.seq LIMIT 1 OFFSET ?1",
      key);
  if (!s) return B_IO_ERROR;
  s.Bind(1, rank);
  rows->Clear();
  return Collect(s, key, 1, rows);
}

int SqliteStorage::CountEntries(size_t key, int64_t *count) {
  Stmt s = PrepareKey("SELECT count(*) FROM k%N", key);
  if (!s) return B_IO_ERROR;
  if (int rc = s.Step(); rc != SQLITE_ROW) return StepFailure(rc);
  *count = s.Int(0);
  return 0;
}

int SqliteStorage::CountEntriesBelow(size_t key, std::string_view k, int64_t *count) {
  Stmt s = PrepareKey("SELECT count(*) FROM k%N WHERE k < ?1", key);
  if (!s) return B_IO_ERROR;
  BindKey(s, 1, k);
  if (int rc = s.Step(); rc != SQLITE_ROW) return StepFailure(rc);
  *count = s.Int(0);
  return 0;
}

int SqliteStorage::CountDistinct(size_t key, int64_t *count) {
  // In the key's own order each value differs from the one before it or is the same; compared
  // here, that takes half the time SQL's DISTINCT takes (count(DISTINCT) would build a
  // temporary index of every value). Short keys are integers, longer ones bytes.
  Stmt s = PrepareKey("SELECT k FROM k%N ORDER BY k", key);
  if (!s) return B_IO_ERROR;
  sqlite3_stmt *st = s.get();
  int64_t distinct = 0, last_integer = 0;
  int last_type = SQLITE_NULL;  // no value yet: the first differs (k is never null)
  std::string last_bytes;
  int rc;
  while ((rc = s.Step()) == SQLITE_ROW) {
    const int type = sqlite3_column_type(st, 0);
    if (type == SQLITE_INTEGER) {
      const int64_t v = s.Int(0);
      if (last_type != type || v != last_integer) ++distinct;
      last_integer = v;
    } else {
      std::string_view v = s.View(0);
      if (last_type != type || v != last_bytes) {
        ++distinct;
        last_bytes.assign(v);
      }
    }
    last_type = type;
  }
  if (rc != SQLITE_DONE) return StepFailure(rc);
  *count = distinct;
  return 0;
}

int SqliteStorage::CreateKeyIndex(size_t number) {
  std::string sql = "CREATE TABLE k" + std::to_string(number) + kKeyTableColumns;
  schema_changed_ = true;
  ForgetStatements();
  int rc = Exec(sql.c_str());
  return rc == SQLITE_OK ? 0 : StepFailure(rc);
}

int SqliteStorage::DropKeyIndex(size_t number, size_t keys) {
  schema_changed_ = true;
  ForgetStatements();
  std::string sql = "DROP TABLE k" + std::to_string(number);
  if (int rc = Exec(sql.c_str()); rc != SQLITE_OK) return StepFailure(rc);
  for (size_t k = number + 1; k < keys; ++k) {
    sql = "ALTER TABLE k" + std::to_string(k) + " RENAME TO k" + std::to_string(k - 1);
    if (int rc = Exec(sql.c_str()); rc != SQLITE_OK) return StepFailure(rc);
  }
  // The dropped key's slot leaves explicitly stored sequences.
  sql = "UPDATE r SET seqs = substr(seqs, 1, " + std::to_string(8 * number) + ") || substr(seqs, " +
        std::to_string(8 * number + 9) + ") WHERE length(seqs) > " + std::to_string(8 * number);
  int rc = Exec(sql.c_str());
  return rc == SQLITE_OK ? 0 : StepFailure(rc);
}

Store &SqliteStore() {
  static SqliteStoreImpl *store = new SqliteStoreImpl();  // lives for the process
  return *store;
}

}  // namespace btr
