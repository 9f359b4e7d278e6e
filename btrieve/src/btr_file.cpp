#include "btr_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "btrieve/btrapi.h"

namespace btr {
namespace {

constexpr size_t kWalIndexHeaderSize = 136;  // two 48-byte header copies and the checkpoint info

int ConfigureConnection(sqlite3 *db, bool read_only, int busy_ms) {
  sqlite3_busy_timeout(db, busy_ms);
  sqlite3_extended_result_codes(db, 0);
  if (!read_only) {
    int rc = sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) return rc;
  }
  // WAL with NORMAL synchronisation survives a killed process with every commit intact.
  // Memory-mapped reads save a system call per page.
  return sqlite3_exec(db, "PRAGMA synchronous=NORMAL; PRAGMA mmap_size=268435456", nullptr, nullptr,
                      nullptr);
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
  if (from == kSchemaVersion) return SQLITE_OK;
  return SQLITE_ERROR;  // no older versions exist yet
}

// Reads the size the file's header gives (pages x page size); false when the header does not
// say (too short to hold one, or a size it does not vouch for).
bool HeaderFileSize(const std::string &native_path, uint64_t *size) {
  uint8_t h[100];
  int fd = ::open(native_path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  ssize_t n = ::pread(fd, h, sizeof h, 0);
  ::close(fd);
  if (n != static_cast<ssize_t>(sizeof h)) return false;
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

// True when the file has no write-ahead journal with content: its database file is whole.
bool JournalEmpty(const std::string &native_path) {
  struct stat st;
  if (::stat((native_path + "-wal").c_str(), &st) != 0) return errno == ENOENT;
  return st.st_size == 0;
}

// A URI that opens the file read-only and immutable; every byte that could end the path or
// be taken for a parameter is escaped.
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

}  // namespace

bool FileCutShort(const std::string &native_path, std::string *why) {
  // A checkpoint of another process may be growing the file right now (its header first):
  // a shortfall that lasts is damage.
  for (int attempt = 0;; ++attempt) {
    uint64_t expected = 0;
    struct stat st;
    if (!HeaderFileSize(native_path, &expected) || ::stat(native_path.c_str(), &st) != 0)
      return false;
    if (static_cast<uint64_t>(st.st_size) >= expected) return false;
    if (attempt == 3) {
      if (why != nullptr) {
        *why = "the file holds " + std::to_string(st.st_size) + " bytes, its header says " +
               std::to_string(expected);
      }
      return true;
    }
    ::usleep(20 * 1000);
  }
}

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

std::string PackSeqs(const std::vector<int64_t> &seqs) {
  std::string out(seqs.size() * 8, '\0');
  for (size_t i = 0; i < seqs.size(); ++i) {
    for (int b = 0; b < 8; ++b)
      out[i * 8 + b] = static_cast<char>(static_cast<uint64_t>(seqs[i]) >> (8 * b));
  }
  return out;
}

std::vector<int64_t> UnpackSeqs(const std::string &blob, size_t keys) {
  std::vector<int64_t> seqs(keys, 0);
  for (size_t i = 0; i < keys && (i + 1) * 8 <= blob.size(); ++i) {
    uint64_t v = 0;
    for (int b = 0; b < 8; ++b)
      v |= static_cast<uint64_t>(static_cast<uint8_t>(blob[i * 8 + b])) << (8 * b);
    seqs[i] = static_cast<int64_t>(v);
  }
  return seqs;
}

BtrFile::~BtrFile() {
  if (shm_ != nullptr) ::munmap(shm_, kWalIndexHeaderSize);
  ForgetStatements();
  if (db_ != nullptr) sqlite3_close_v2(db_);
  if (shm_fd_ >= 0) ::close(shm_fd_);
}

int BtrFile::Create(const std::string &native_path, const FileSpec &spec, bool replace) {
  struct stat st;
  bool exists = ::stat(native_path.c_str(), &st) == 0;
  if (exists && S_ISDIR(st.st_mode)) return B_FILENAME_BAD;
  if (exists && !replace) return B_FILE_ALREADY_EXISTS;
  // A file another process has open is not replaced under it.
  FileLocks in_use;
  if (exists && in_use.Open(native_path) && !in_use.LockOpenMode(true)) return B_FILE_INUSE;
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
  int close_rc = sqlite3_close(db);
  if (rc == SQLITE_OK) rc = close_rc;
  if (rc != SQLITE_OK) {
    ::unlink(tmp.c_str());
    ::unlink(tmp_wal.c_str());
    ::unlink(tmp_shm.c_str());
    return StatusFromSqlite(rc) == B_IO_ERROR ? B_CREATE_IO_ERROR : StatusFromSqlite(rc);
  }
  if (replace) {
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

int BtrFile::Open(const std::string &native_path, bool read_only_file,
                  std::unique_ptr<BtrFile> *out) {
  struct stat st;
  if (native_path.empty()) return B_FILENAME_BAD;
  if (::stat(native_path.c_str(), &st) != 0) {
    return errno == ENOENT || errno == ENOTDIR ? B_FILE_NOT_FOUND : B_FILENAME_BAD;
  }
  if (!S_ISREG(st.st_mode)) return B_FILENAME_BAD;
  if (::access(native_path.c_str(), W_OK) != 0) read_only_file = true;
  // A file cut short reads as records that are silently missing or garbled: refused whole.
  if (FileCutShort(native_path, nullptr)) return B_IO_ERROR;

  std::unique_ptr<BtrFile> f(new BtrFile());
  f->path_ = native_path;
  f->read_only_file_ = read_only_file;
  f->identity = (static_cast<uint64_t>(st.st_dev) << 40) ^ static_cast<uint64_t>(st.st_ino);
  int flags = (read_only_file ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) | SQLITE_OPEN_NOMUTEX;
  int rc = sqlite3_open_v2(native_path.c_str(), &f->db_, flags, nullptr);
  if (rc != SQLITE_OK) return StatusFromSqlite(rc);
  int64_t app_id = 0;
  rc = QueryInt(f->db_, "PRAGMA application_id", &app_id);
  if (rc != SQLITE_OK && rc != SQLITE_NOTADB && JournalEmpty(native_path)) {
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
  rc = ConfigureConnection(f->db_, read_only_file, LockWaitMilliseconds());
  if (rc != SQLITE_OK) return StatusFromSqlite(rc);
  int status = f->LoadMeta();
  if (status != 0) return status;
  {
    Stmt s = f->Prepare("PRAGMA schema_version");
    if (s.Step() == SQLITE_ROW) f->schema_version_ = s.Int(0);
  }
  if (!f->locks.Open(native_path)) return B_IO_ERROR;
  *out = std::move(f);
  return 0;
}

int BtrFile::LoadMeta() {
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
  return have_spec ? 0 : B_NOT_A_BTRIEVE_FILE;
}

sqlite3_stmt *BtrFile::Compile(const std::string &sql) {
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
sqlite3_stmt *CompileInto(BtrFile &file, Map &map, Key &&key, const std::string &sql,
                          sqlite3_stmt *(BtrFile::*compile)(const std::string &)) {
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

Stmt BtrFile::Prepare(const char *sql) {
  auto it = by_address_.find(sql);
  if (it != by_address_.end()) return Stmt(it->second);
  return Stmt(CompileInto(*this, by_address_, sql, sql, &BtrFile::Compile));
}

Stmt BtrFile::PrepareKey(const char *sql, size_t key) {
  auto it = by_key_.find({sql, key});
  if (it != by_key_.end()) return Stmt(it->second);
  std::string text = sql;
  for (size_t at; (at = text.find("%N")) != std::string::npos;) {
    text.replace(at, 2, std::to_string(key));
  }
  return Stmt(CompileInto(*this, by_key_, std::make_pair(sql, key), text, &BtrFile::Compile));
}

Stmt BtrFile::PrepareText(const std::string &sql) {
  auto it = by_text_.find(sql);
  if (it != by_text_.end()) return Stmt(it->second);
  return Stmt(CompileInto(*this, by_text_, sql, sql, &BtrFile::Compile));
}

void BtrFile::ForgetStatements() {
  for (auto &kv : by_address_)
    sqlite3_finalize(kv.second);
  for (auto &kv : by_key_)
    sqlite3_finalize(kv.second);
  for (auto &kv : by_text_)
    sqlite3_finalize(kv.second);
  by_address_.clear();
  by_key_.clear();
  by_text_.clear();
}

int BtrFile::Exec(const char *sql) {
  return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
}

int BtrFile::BeginWrite() {
  // A BEGIN that fails leaves alone whatever transaction is open: it is not ours to undo.
  int status = StatusFromSqlite(Exec("BEGIN IMMEDIATE"));
  if (status != 0) return status;
  status = RefreshSpecIfChanged();
  if (status != 0) Exec("ROLLBACK");
  return status;
}

bool BtrFile::InWrite() const {
  return sqlite3_get_autocommit(db_) == 0;
}

int BtrFile::RefreshSpecIfChanged() {
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

void BtrFile::SetBusyTimeout(int ms) {
  sqlite3_busy_timeout(db_, ms);
}

int BtrFile::CommitWrite() {
  int rc = Exec("COMMIT");
  if (rc != SQLITE_OK) {
    Exec("ROLLBACK");
    return StatusFromSqlite(rc);
  }
  ++write_generation_;
  return 0;
}

void BtrFile::RollbackWrite() {
  Exec("ROLLBACK");
  high_water_valid_ = false;
  ++write_generation_;
}

int64_t BtrFile::DataVersion() {
  Stmt s = Prepare("PRAGMA data_version");
  if (!s || s.Step() != SQLITE_ROW) return -1;
  return s.Int(0);
}

std::string BtrFile::ChangeStamp() {
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

bool BtrFile::SameStamp(const std::string &stamp) {
  if (shm_ == nullptr) return stamp == ChangeStamp();
  std::atomic_thread_fence(std::memory_order_acquire);
  return stamp.size() == 48 && std::memcmp(shm_, stamp.data(), 48) == 0;
}

int BtrFile::SetOwner(const std::string &owner, int mode) {
  int status = BeginWrite();
  if (status != 0) return status;
  {
    Stmt s = Prepare("INSERT OR REPLACE INTO meta VALUES(?1, ?2)");
    s.Bind(1, std::string("owner"));
    s.Bind(2, owner);
    if (s.Step() != SQLITE_DONE) status = B_IO_ERROR;
  }
  if (status == 0) {
    Stmt s = Prepare("INSERT OR REPLACE INTO meta VALUES(?1, ?2)");
    s.Bind(1, std::string("owner_mode"));
    s.Bind(2, std::string(1, static_cast<char>('0' + mode)));
    if (s.Step() != SQLITE_DONE) status = B_IO_ERROR;
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

int BtrFile::StoreSpec(const FileSpec &spec) {
  std::vector<uint8_t> blob = SerializeSpec(spec);
  Stmt s = Prepare("INSERT OR REPLACE INTO meta VALUES('spec', ?1)");
  s.BindStatic(1, blob.data(), blob.size());
  if (s.Step() != SQLITE_DONE) return B_IO_ERROR;
  spec_ = spec;
  return 0;
}

int BtrFile::ReadRecord(int64_t pos, std::string *data, std::string *seqs_blob) {
  Stmt s = Prepare("SELECT data, seqs FROM r WHERE pos = ?1");
  if (!s) return B_IO_ERROR;
  s.Bind(1, pos);
  int rc = s.Step();
  if (rc == SQLITE_DONE) return B_INVALID_RECORD_ADDRESS;
  if (rc != SQLITE_ROW) return B_IO_ERROR;
  if (!spec_.FitsRecord(static_cast<size_t>(sqlite3_column_bytes(s.get(), 0)))) return B_IO_ERROR;
  if (data) *data = s.Blob(0);
  if (seqs_blob) *seqs_blob = s.Blob(1);
  return 0;
}

// Positions are never reused: a record gets one above every position in use and above the
// high-water mark, which a delete of the highest record raises. Sequences of entries moved
// along a key come from the same numbers and raise the mark too.
int64_t BtrFile::HighWater() {
  if (high_water_valid_ && SameStamp(high_water_stamp_)) return high_water_;
  high_water_stamp_ = ChangeStamp();
  Stmt s = Prepare("SELECT value FROM meta WHERE name = 'hwm'");
  high_water_ = s.Step() == SQLITE_ROW ? s.Int(0) : 0;
  high_water_valid_ = true;
  return high_water_;
}

int BtrFile::SetHighWater(int64_t value) {
  Stmt s = Prepare("INSERT OR REPLACE INTO meta VALUES('hwm', ?1)");
  s.Bind(1, value);
  if (s.Step() != SQLITE_DONE) {
    high_water_valid_ = false;
    return B_IO_ERROR;
  }
  high_water_ = value;
  return 0;
}

int BtrFile::InsertRecord(const std::string &data, int64_t *pos) {
  // Without a high-water mark the next position is simply the highest plus one.
  int64_t high_water = HighWater();
  Stmt s = high_water == 0
               ? Prepare("INSERT INTO r(data, seqs) VALUES(?1, x'')")
               : Prepare(
                     "INSERT INTO r(pos, data, seqs)"
                     " VALUES(max(coalesce((SELECT max(pos) FROM r), 0), ?2) + 1, ?1, x'')");
  s.BindStatic(1, data.data(), data.size());
  if (high_water != 0) s.Bind(2, high_water);
  int rc = s.Step();
  if (rc != SQLITE_DONE) return StatusFromSqlite(rc);
  *pos = sqlite3_last_insert_rowid(db_);
  return 0;
}

int BtrFile::NextSequence(int64_t *seq) {
  Stmt s = Prepare("SELECT max(coalesce((SELECT max(pos) FROM r), 0), ?1) + 1");
  s.Bind(1, HighWater());
  if (s.Step() != SQLITE_ROW) return B_IO_ERROR;
  *seq = s.Int(0);
  return SetHighWater(*seq);
}

int BtrFile::RetirePosition(int64_t pos) {
  Stmt top = Prepare("SELECT max(pos) FROM r");
  if (top.Step() != SQLITE_ROW) return B_IO_ERROR;
  if (top.Int(0) != pos || pos <= HighWater()) return 0;
  return SetHighWater(pos);
}

int64_t BtrFile::RecordCount() {
  Stmt s = Prepare("SELECT count(*) FROM r");
  if (!s || s.Step() != SQLITE_ROW) return 0;
  return s.Int(0);
}

}  // namespace btr
