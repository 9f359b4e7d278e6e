#include "pg_store.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "btrieve/btrapi.h"
#include "counted_locks.h"
#include "pq_library.h"
#include "zplatform/ascii.h"
#include "zplatform/servers.h"

namespace btr {
namespace {

constexpr int kWriteLock = -1;                // second advisory key: writes to the file
constexpr int kOpenModeLock = -2;             // second advisory key: opens of the file
constexpr int kWaitForWritesLock = -3;        // second advisory key: transactions waiting to write
constexpr int64_t kCatalogLock = 0x5A4C4B42;  // one-key advisory lock: catalog changes
constexpr size_t kScanBatch = 1000;
// A client that ended a moment ago holds its session's locks until the server has noticed and
// ended the session: a lock asked without waiting rides over that moment.
constexpr int kSessionEndGraceMs = 200;

// Tries `attempt` until it succeeds or `wait_ms` is up (pauses growing to 20 ms).
template <typename Attempt>
bool TryUntil(int wait_ms, Attempt attempt) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
  for (int pause_ms = 1;; pause_ms = std::min(pause_ms * 2, 20)) {
    int result = attempt();
    if (result >= 0) return result > 0;  // < 0: not yet
    if (std::chrono::steady_clock::now() >= deadline) return false;
    ::usleep(static_cast<useconds_t>(pause_ms) * 1000);
  }
}

std::mutex g_error_mutex;
std::string g_last_error;

void NoteServerError(const std::string &what) {
  std::lock_guard<std::mutex> lock(g_error_mutex);
  g_last_error = what;
  while (!g_last_error.empty() && (g_last_error.back() == '\n' || g_last_error.back() == ' '))
    g_last_error.pop_back();
}

void PutBe64(int64_t v, char *out) {
  for (int i = 0; i < 8; ++i)
    out[i] = static_cast<char>(static_cast<uint64_t>(v) >> (56 - 8 * i));
}

int64_t GetBe64(const char *p) {
  uint64_t v = 0;
  for (int i = 0; i < 8; ++i)
    v = v << 8 | static_cast<uint8_t>(p[i]);
  return static_cast<int64_t>(v);
}

// A result, cleared when it goes out of scope.
class Result {
 public:
  explicit Result(PGresult *r = nullptr) : r_(r) {}
  // Results exist only once the library is loaded, except the empty one.
  ~Result() {
    if (r_ != nullptr) Pq().PQclear(r_);
  }
  Result(Result &&o) noexcept : r_(std::exchange(o.r_, nullptr)) {}
  Result &operator=(Result &&o) noexcept {
    std::swap(r_, o.r_);
    return *this;
  }
  PGresult *get() const { return r_; }
  bool Ok() const {
    if (r_ == nullptr) return false;
    ExecStatusType s = Pq().PQresultStatus(r_);
    return s == PGRES_TUPLES_OK || s == PGRES_COMMAND_OK;
  }
  int Rows() const { return Pq().PQntuples(r_); }
  bool Null(int row, int col) const { return Pq().PQgetisnull(r_, row, col) != 0; }
  // Binary results.
  int64_t Int(int row, int col) const { return GetBe64(Pq().PQgetvalue(r_, row, col)); }
  bool Bool(int row, int col) const { return Pq().PQgetvalue(r_, row, col)[0] != 0; }
  std::string_view Bytes(int row, int col) const {
    return std::string_view(Pq().PQgetvalue(r_, row, col),
                            static_cast<size_t>(Pq().PQgetlength(r_, row, col)));
  }
  // Text results (simple queries).
  std::string Text(int row, int col) const { return Pq().PQgetvalue(r_, row, col); }
  std::string State() const {
    const char *s = r_ ? Pq().PQresultErrorField(r_, PG_DIAG_SQLSTATE) : nullptr;
    return s ? s : "";
  }

 private:
  PGresult *r_;
};

// Bound parameters, all in binary: bigint as 8 bytes big-endian, bytea as they are.
class Params {
 public:
  Params &Int(int64_t v) {
    PutBe64(v, ints_[count_]);
    Add(ints_[count_], 8);
    return *this;
  }
  Params &Bytes(std::string_view v) {
    Add(v.empty() ? "" : v.data(), static_cast<int>(v.size()));
    return *this;
  }
  int Count() const { return count_; }
  const char *const *Values() const { return values_; }
  const int *Lengths() const { return lengths_; }
  const int *Formats() const { return formats_; }

 private:
  void Add(const char *p, int n) {
    values_[count_] = p;
    lengths_[count_] = n;
    formats_[count_] = 1;
    ++count_;
  }
  static constexpr int kMax = 4;
  char ints_[kMax][8];
  const char *values_[kMax];
  int lengths_[kMax];
  int formats_[kMax];
  int count_ = 0;
};

// A connection with the statements it has prepared. Names in the SQL templates: %R the
// records table, %S its sequence, %K the table of the key given, %I the file's id.
class Session {
 public:
  ~Session() { Close(); }

  int Connect(const std::string &conninfo) {
    Close();
    std::string why;
    if (LoadPq(&why) == nullptr) {
      NoteServerError("the PostgreSQL client library cannot be loaded: " + why);
      return B_RECORD_MANAGER_INACTIVE;
    }
    conn_ = Pq().PQconnectdb(conninfo.c_str());
    pid_ = ::getpid();
    if (conn_ == nullptr || Pq().PQstatus(conn_) != CONNECTION_OK) {
      NoteServerError(conn_ ? Pq().PQerrorMessage(conn_) : "out of memory");
      Close();
      return B_RECORD_MANAGER_INACTIVE;
    }
    // The server's notices (a shutdown's warning among them) are not the caller's output.
    Pq().PQsetNoticeProcessor(
        conn_, [](void *, const char *) {}, nullptr);
    Result r(Pq().PQexec(conn_, "SET client_min_messages = warning"));
    return r.Ok() ? 0 : Failure(r);
  }

  void Close() {
    if (conn_ == nullptr) return;
    if (pid_ == ::getpid()) {
      Pq().PQfinish(conn_);
    } else {
      // A forked child shares the parent's socket: it must not end the parent's session, so
      // the connection is left as it is (and kept reachable).
      static auto *inherited = new std::vector<PGconn *>();
      inherited->push_back(conn_);
    }
    conn_ = nullptr;
    lost_ = false;
    statements_.clear();
  }

  // True when the connection is usable by this process.
  bool Alive() const {
    return conn_ != nullptr && !lost_ && pid_ == ::getpid() &&
           Pq().PQstatus(conn_) == CONNECTION_OK;
  }
  PGconn *conn() const { return conn_; }

  // A prepared statement of `tmpl` for `file` (and `key`), run with `p`; binary results.
  Result Run(const char *tmpl, int64_t file, size_t key, const Params &p) {
    if (!Alive()) return Result();
    auto id = std::make_pair(tmpl, key);
    auto it = statements_.find(id);
    if (it == statements_.end()) {
      std::string name = "z" + std::to_string(++prepared_);
      Result made(
          Pq().PQprepare(conn_, name.c_str(), Expand(tmpl, file, key).c_str(), p.Count(), nullptr));
      if (!made.Ok()) return made;
      it = statements_.emplace(id, std::move(name)).first;
    }
    return Result(Pq().PQexecPrepared(conn_, it->second.c_str(), p.Count(), p.Values(), p.Lengths(),
                                      p.Formats(), 1));
  }

  // Simple query text (only numbers are ever formatted into it); text results.
  Result Exec(const std::string &sql) {
    if (!Alive()) return Result();
    return Result(Pq().PQexec(conn_, sql.c_str()));
  }

  // Statement with parameters, not kept (catalog work); binary results.
  Result Once(const std::string &sql, const Params &p) {
    if (!Alive()) return Result();
    return Result(Pq().PQexecParams(conn_, sql.c_str(), p.Count(), nullptr, p.Values(), p.Lengths(),
                                    p.Formats(), 1));
  }

  // Prepared statements name tables by their identity: after tables are renamed or replaced
  // they are made again.
  void ForgetStatements() {
    if (!statements_.empty() && Alive()) Result(Pq().PQexec(conn_, "DEALLOCATE ALL"));
    statements_.clear();
  }

  // The status a failed result stands for; the server's text is kept for tools.
  int Failure(const Result &r) {
    if (!Alive()) {
      NoteServerError(conn_ ? Pq().PQerrorMessage(conn_) : "no connection to the server");
      return B_SESSION_NO_LONGER_VALID;
    }
    if (r.get() == nullptr) {
      NoteServerError(Pq().PQerrorMessage(conn_));
      lost_ = true;
      return B_SESSION_NO_LONGER_VALID;
    }
    const char *text = Pq().PQresultErrorMessage(r.get());
    if (text != nullptr && *text) NoteServerError(text);
    std::string state = r.State();
    if (state.empty() || state.rfind("08", 0) == 0 || state.rfind("57P", 0) == 0) {
      // Failed on the client's side (the server went away) or ended by the server: the
      // session and what it held are gone.
      lost_ = true;
      return B_SESSION_NO_LONGER_VALID;
    }
    if (state == "23505") return B_DUPLICATE_KEY_VALUE;
    if (state == "55P03") return B_FILE_INUSE;  // lock not available in time
    if (state == "40P01") return B_DEADLOCK;
    if (state == "53100" || state == "2200H") return B_DISK_FULL;  // no room, no positions
    if (state == "42501") return B_ACCESS_TO_FILE_DENIED;
    return B_IO_ERROR;
  }

  bool InTransaction() const { return Alive() && Pq().PQtransactionStatus(conn_) != PQTRANS_IDLE; }

 private:
  static std::string Expand(const char *tmpl, int64_t file, size_t key) {
    std::string id = std::to_string(file);
    std::string out;
    for (const char *p = tmpl; *p; ++p) {
      if (p[0] == '%' && p[1] != 0) {
        switch (*++p) {
          case 'R':
            out += "zelko_r" + id;
            continue;
          case 'S':
            out += "zelko_s" + id;
            continue;
          case 'K':
            out += "zelko_k" + id + "_" + std::to_string(key);
            continue;
          case 'I':
            out += id;
            continue;
          default:
            out += '%';
            break;
        }
      }
      out += *p;
    }
    return out;
  }

  PGconn *conn_ = nullptr;
  bool lost_ = false;
  pid_t pid_ = 0;
  uint64_t prepared_ = 0;
  std::map<std::pair<const char *, size_t>, std::string> statements_;
};

const char *const kCatalogSql =
    "CREATE TABLE IF NOT EXISTS zelko_files("
    " id serial PRIMARY KEY,"
    " path bytea NOT NULL UNIQUE,"
    " folded bytea NOT NULL,"
    " spec bytea NOT NULL,"
    " owner bytea NOT NULL DEFAULT ''::bytea,"
    " owner_mode integer NOT NULL DEFAULT 0,"
    " spec_version bigint NOT NULL DEFAULT 0);"
    "CREATE INDEX IF NOT EXISTS zelko_files_folded ON zelko_files(folded)";

// The catalog exists before anything else is asked; made once, under the catalog lock.
int EnsureCatalog(Session &s) {
  Result there(s.Exec("SELECT to_regclass('zelko_files') IS NOT NULL"));
  if (!there.Ok()) return s.Failure(there);
  if (there.Rows() == 1 && there.Text(0, 0) == "t") return 0;
  Result made(s.Exec("BEGIN; SELECT pg_advisory_xact_lock(" + std::to_string(kCatalogLock) + "); " +
                     kCatalogSql + "; COMMIT"));
  if (!made.Ok()) {
    int status = s.Failure(made);
    s.Exec("ROLLBACK");
    return status;
  }
  return 0;
}

// The id of the file at `path`: the exact name, else the one name that differs in letter
// case only. 0 with *id 0 when there is none.
int LookUp(Session &s, const std::string &path, int64_t *id) {
  *id = 0;
  Params p;
  std::string folded = zplatform::LowerAscii(path);
  p.Bytes(path).Bytes(folded);
  Result r(
      s.Once("SELECT id::bigint, (path = $1)::integer::bigint FROM zelko_files"
             " WHERE path = $1 OR folded = $2 ORDER BY 2 DESC LIMIT 2",
             p));
  if (!r.Ok()) return s.Failure(r);
  if (r.Rows() >= 1 && (r.Int(0, 1) == 1 || r.Rows() == 1)) *id = r.Int(0, 0);
  return 0;
}

// Drops every table of file `id` with `keys` keys (inside the caller's transaction).
int DropFileTables(Session &s, int64_t id, size_t keys) {
  std::string n = std::to_string(id);
  std::string sql = "DROP TABLE IF EXISTS zelko_r" + n;
  for (size_t k = 0; k < keys; ++k)
    sql += ", zelko_k" + n + "_" + std::to_string(k);
  sql += "; DROP SEQUENCE IF EXISTS zelko_s" + n + "; DELETE FROM zelko_files WHERE id = " + n;
  Result r(s.Exec(sql));
  return r.Ok() ? 0 : s.Failure(r);
}

std::string KeyTableSql(int64_t id, size_t key) {
  return "CREATE TABLE zelko_k" + std::to_string(id) + "_" + std::to_string(key) +
         "(k bytea NOT NULL, seq bigint NOT NULL, pos bigint NOT NULL, PRIMARY KEY(k, seq))";
}

// Reads along a key, indexed by Seek. Parameters: the key bytes, the sequence (kAfter and
// kBefore), and the limit, in that order where used.
#define FETCH "SELECT x.k, x.seq, x.pos, r.data FROM %K x JOIN %R r ON r.pos = x.pos WHERE "
#define UP " ORDER BY x.k, x.seq LIMIT "
#define DOWN " ORDER BY x.k DESC, x.seq DESC LIMIT "
constexpr const char *kSeekSql[] = {
    FETCH "x.k = $1" UP "$2",
    FETCH "x.k > $1" UP "$2",
    FETCH "x.k >= $1" UP "$2",
    FETCH "x.k < $1" DOWN "$2",
    FETCH "x.k <= $1" DOWN "$2",
    FETCH "true" UP "$1",
    FETCH "true" DOWN "$1",
    FETCH "(x.k, x.seq) > ($1, $2)" UP "$3",
    FETCH "(x.k, x.seq) < ($1, $2)" DOWN "$3",
};
#undef FETCH
#undef UP
#undef DOWN

class PgStorage : public Storage {
 public:
  ~PgStorage() override {
    // The session's locks go now, not when the server gets round to ending the session:
    // a Delete or Create of this file right after the close must find it free.
    if (s_.Alive()) {
      if (s_.InTransaction()) s_.Exec("ROLLBACK");
      s_.Exec("SELECT pg_advisory_unlock_all()");
    }
  }
  // kNameMoved: the path went to another file between looking and locking.
  static constexpr int kNameMoved = -1;
  static int Open(const std::string &conninfo, const std::string &path, uint64_t identity_base,
                  OpenLock lock, std::unique_ptr<Storage> *out);

  const FileSpec &Spec() const override { return spec_; }
  const std::string &Owner() const override { return owner_; }
  int OwnerMode() const override { return owner_mode_; }
  bool ReadOnlyFile() const override { return false; }
  int SetOwner(const std::string &owner, int mode) override;

  int BeginWrite() override;
  int NoticeKeyChanges(bool always) override;
  int CommitWrite() override;
  void RollbackWrite() override;
  bool InWrite() const override {
    return s_.Alive() && Pq().PQtransactionStatus(s_.conn()) == PQTRANS_INTRANS;
  }
  void SetBusyTimeout(int ms) override { busy_ms_ = ms; }
  int BusyTimeout() const override { return busy_ms_; }

  // Another process's commit cannot be seen without asking the server: rows read ahead
  // serve only the call that read them (the engine's rule for such stores).
  std::string ChangeStamp() override { return std::string(); }
  bool SameStamp(const std::string &) override { return true; }
  bool StampsCommits() const override { return false; }
  bool Broken() const override { return !s_.Alive(); }

  int ReadRecord(int64_t pos, std::string *data, std::string *seqs_blob) override;
  int InsertRecord(const std::string &data, int64_t *pos) override;
  int RewriteRecord(int64_t pos, const std::string &data, const std::string *seqs_blob) override;
  int RemoveRecord(int64_t pos) override;
  int NextSequence(int64_t *seq) override;
  int RetirePosition(int64_t) override { return 0; }  // the sequence never goes back
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

  bool LockRecord(int64_t pos, int wait_ms) override;
  bool LockWriting(int64_t pos, int wait_ms) override;
  void UnlockWriting(int64_t pos) override;
  void MarkLockedRecordsWaiting(bool waiting) override;
  bool HolderWaitsForWrites(int64_t pos) override;
  bool RecordHolderWaitsForWrites(int64_t pos) override;
  bool MarkWaitForWrites(bool waiting) override;
  bool OthersWaitForWrites() override;
  void UnlockRecord(int64_t pos) override;

 private:
  // Shared for ordinary opens, exclusive for exclusive ones; false when another process's
  // open is in the way.
  bool LockOpenMode(bool exclusive);
  // The file's catalog row: its FileSpec, owner and the version of that FileSpec.
  int LoadRow();
  Result Run(const char *tmpl, const Params &p, size_t key = 0) {
    return s_.Run(tmpl, id_, key, p);
  }
  // One bigint from a statement.
  int QueryInt(const char *tmpl, const Params &p, int64_t *out, size_t key = 0);
  // Rows (k, seq, pos, data) into the batch.
  int Collect(const Result &r, RowBatch *rows);
  bool TryLock(int64_t second, bool shared);
  // An advisory lock as the server lists it (pg_locks): two int4 keys, or one int8 key.
  struct LockKey {
    int64_t classid, objid, objsubid;
    static LockKey Pair(int64_t first, int64_t second) {
      return {static_cast<uint32_t>(first), static_cast<uint32_t>(second), 2};
    }
    static LockKey Single(int64_t key) {
      return {static_cast<uint32_t>(static_cast<uint64_t>(key) >> 32), static_cast<uint32_t>(key),
              1};
    }
  };
  // `take` for `wait_ms`, then for the rest of kSessionEndGraceMs while a holder of the lock
  // on the record at `pos` may be a session that is ending (OtherHolders).
  template <typename Take>
  bool TryWithGrace(int wait_ms, int64_t pos, const LockKey &key, Take take);
  // Other sessions' grants of the lock: whether there are any, and whether any of them is
  // idle (its client may have been killed and the server not yet ended it) or cannot be
  // seen; true when there are none.
  struct Holders {
    bool any = false;
    bool idle = true;
  };
  Holders OtherHolders(const LockKey &key);

  Session s_;
  int64_t id_ = 0;
  FileSpec spec_;
  std::string owner_;
  int owner_mode_ = 0;
  int64_t spec_version_ = -1;
  int busy_ms_ = 0;
  bool schema_changed_ = false;  // key tables changed inside the open write
  std::map<int64_t, int> record_locks_;
  std::map<int64_t, int> writing_locks_;
  std::vector<int64_t> waiting_marks_;  // MarkLockedRecordsWaiting's marks taken
};

int PgStorage::Open(const std::string &conninfo, const std::string &path, uint64_t identity_base,
                    OpenLock lock, std::unique_ptr<Storage> *out) {
  std::unique_ptr<PgStorage> f(new PgStorage());
  int status = f->s_.Connect(conninfo);
  if (status == 0) status = EnsureCatalog(f->s_);
  if (status == 0) status = LookUp(f->s_, path, &f->id_);
  if (status != 0) return status;
  if (f->id_ == 0) return B_FILE_NOT_FOUND;
  // Renames and deletes take the file's exclusive open-mode lock: once ours is held and the
  // path still gives the same file, it stays that file's (see the embedded store's Open).
  if (lock != OpenLock::kNone) {
    if (!f->LockOpenMode(lock == OpenLock::kExclusive)) return B_INCOMPATIBLE_MODE;
    int64_t again = 0;
    status = LookUp(f->s_, path, &again);
    if (status != 0) return status;
    if (again != f->id_) return kNameMoved;
  }
  status = f->LoadRow();
  if (status != 0) return status;
  // A file whose tables went behind our back is refused whole.
  Result tables(f->s_.Exec("SELECT count(*) FROM pg_class WHERE relname IN ('zelko_r" +
                           std::to_string(f->id_) + "', 'zelko_s" + std::to_string(f->id_) + "')"));
  if (!tables.Ok()) return f->s_.Failure(tables);
  if (tables.Text(0, 0) != "2") {
    NoteServerError("the tables of " + path + " are missing on the server");
    return B_IO_ERROR;
  }
  f->busy_ms_ = LockWaitMilliseconds();
  f->identity = identity_base | static_cast<uint64_t>(f->id_);
  *out = std::move(f);
  return 0;
}

int PgStorage::LoadRow() {
  Params p;
  p.Int(id_);
  Result r(
      s_.Once("SELECT spec, owner, owner_mode::bigint, spec_version FROM zelko_files"
              " WHERE id = $1::bigint",
              p));
  if (!r.Ok()) return s_.Failure(r);
  if (r.Rows() != 1) {
    NoteServerError("the file is no longer in the server's catalog");
    return B_IO_ERROR;
  }
  std::string_view blob = r.Bytes(0, 0);
  std::vector<uint8_t> bytes(blob.begin(), blob.end());
  FileSpec spec;
  if (!DeserializeSpec(bytes, &spec)) return B_NOT_A_BTRIEVE_FILE;
  spec_ = std::move(spec);
  owner_ = std::string(r.Bytes(0, 1));
  owner_mode_ = static_cast<int>(r.Int(0, 2));
  spec_version_ = r.Int(0, 3);
  NoteSpecLoaded();
  return 0;
}

int PgStorage::QueryInt(const char *tmpl, const Params &p, int64_t *out, size_t key) {
  Result r = Run(tmpl, p, key);
  if (!r.Ok()) return s_.Failure(r);
  if (r.Rows() != 1 || r.Null(0, 0)) return B_IO_ERROR;
  *out = r.Int(0, 0);
  return 0;
}

int PgStorage::NoticeKeyChanges(bool always) {
  // A question to the server per read would double what reads cost: only when asked.
  if (!always || InWrite()) return 0;
  if (!s_.Alive()) return B_SESSION_NO_LONGER_VALID;
  const int64_t version = spec_version_;
  int status = LoadRow();
  if (status == 0 && spec_version_ != version) s_.ForgetStatements();
  return status;
}

int PgStorage::BeginWrite() {
  if (!s_.Alive()) return B_SESSION_NO_LONGER_VALID;
  // A transaction a failed statement ended is cleared away; an open one is not ours to end
  // (as on the embedded store, a second bracket is refused).
  PGTransactionStatusType state = Pq().PQtransactionStatus(s_.conn());
  if (state == PQTRANS_INERROR) s_.Exec("ROLLBACK");
  if (state == PQTRANS_INTRANS) return B_IO_ERROR;
  std::string id = std::to_string(id_);
  // Writers of one file take turns, as they do on the embedded store; a writer waits for
  // another one's transaction as long as the lock wait allows.
  std::string sql = "BEGIN; ";
  if (busy_ms_ > 0) {
    sql += "SET LOCAL lock_timeout = " + std::to_string(busy_ms_) +
           "; SELECT pg_advisory_xact_lock(" + id + ", " + std::to_string(kWriteLock) +
           "); SELECT true, ";
  } else {
    sql += "SELECT pg_try_advisory_xact_lock(" + id + ", " + std::to_string(kWriteLock) + "), ";
  }
  sql += "(SELECT spec_version FROM zelko_files WHERE id = " + id + ")";
  Result r(s_.Exec(sql));
  int status = 0;
  if (!r.Ok()) {
    status = s_.Failure(r);
  } else if (r.Text(0, 0) == "f") {
    status = B_FILE_INUSE;
  } else if (r.Null(0, 1)) {
    NoteServerError("the file is no longer in the server's catalog");
    status = B_IO_ERROR;
  } else if (std::stoll(r.Text(0, 1)) != spec_version_) {
    // Another process created or dropped a key: statements and FileSpec are reloaded.
    s_.ForgetStatements();
    status = LoadRow();
  }
  if (status != 0) {
    s_.Exec("ROLLBACK");
    return status;
  }
  schema_changed_ = false;
  return 0;
}

int PgStorage::CommitWrite() {
  if (!s_.Alive()) return B_SESSION_NO_LONGER_VALID;
  if (Pq().PQtransactionStatus(s_.conn()) != PQTRANS_INTRANS) {
    // A statement failed inside: the server undid the transaction, nothing is committed.
    RollbackWrite();
    return B_IO_ERROR;
  }
  Result r(s_.Exec("COMMIT"));
  if (!r.Ok() || std::strcmp(Pq().PQcmdStatus(r.get()), "COMMIT") != 0) {
    int status = r.Ok() ? B_IO_ERROR : s_.Failure(r);
    RollbackWrite();
    return status;
  }
  NoteWrite();
  schema_changed_ = false;
  return 0;
}

void PgStorage::RollbackWrite() {
  if (s_.InTransaction()) s_.Exec("ROLLBACK");
  NoteWrite();
  if (schema_changed_) {
    // The key tables are back as they were: so are the statements and the FileSpec.
    schema_changed_ = false;
    s_.ForgetStatements();
    LoadRow();
  }
}

int PgStorage::SetOwner(const std::string &owner, int mode) {
  int status = BeginWrite();
  if (status != 0) return status;
  Params p;
  p.Bytes(owner).Int(mode).Int(id_);
  Result r(
      s_.Once("UPDATE zelko_files SET owner = $1, owner_mode = $2::bigint::integer"
              " WHERE id = $3::bigint",
              p));
  if (!r.Ok()) {
    status = s_.Failure(r);
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

int PgStorage::StoreSpec(const FileSpec &spec) {
  std::vector<uint8_t> blob = SerializeSpec(spec);
  Params p;
  p.Bytes(std::string_view(reinterpret_cast<const char *>(blob.data()), blob.size())).Int(id_);
  Result r(
      s_.Once("UPDATE zelko_files SET spec = $1, spec_version = spec_version + 1"
              " WHERE id = $2::bigint RETURNING spec_version",
              p));
  if (!r.Ok()) return s_.Failure(r);
  if (r.Rows() != 1) return B_IO_ERROR;
  spec_ = spec;
  spec_version_ = r.Int(0, 0);
  schema_changed_ = true;
  return 0;
}

int PgStorage::ReadRecord(int64_t pos, std::string *data, std::string *seqs_blob) {
  Params p;
  p.Int(pos);
  Result r = Run("SELECT data, seqs FROM %R WHERE pos = $1", p);
  if (!r.Ok()) return s_.Failure(r);
  if (r.Rows() == 0) return B_INVALID_RECORD_ADDRESS;
  if (!spec_.FitsRecord(r.Bytes(0, 0).size())) return B_IO_ERROR;
  if (data) *data = std::string(r.Bytes(0, 0));
  if (seqs_blob) *seqs_blob = std::string(r.Bytes(0, 1));
  return 0;
}

int PgStorage::InsertRecord(const std::string &data, int64_t *pos) {
  Params p;
  p.Bytes(data);
  return QueryInt(
      "INSERT INTO %R(pos, data, seqs) VALUES(nextval('%S'), $1, ''::bytea)"
      " RETURNING pos",
      p, pos);
}

int PgStorage::InsertRecordAt(int64_t pos, std::string_view data, std::string_view seqs_blob) {
  Params p;
  p.Int(pos).Bytes(data).Bytes(seqs_blob);
  Result r = Run("INSERT INTO %R(pos, data, seqs) VALUES($1, $2, $3)", p);
  return r.Ok() ? 0 : s_.Failure(r);
}

int PgStorage::HighestPositionUsed(int64_t *pos) {
  Params p;
  return QueryInt(
      "SELECT greatest((SELECT coalesce(max(pos), 0) FROM %R),"
      " (SELECT CASE WHEN is_called THEN last_value ELSE 0 END FROM %S))",
      p, pos);
}

int PgStorage::KeepPositionsAbove(int64_t pos) {
  // Records copied in at their positions did not move the sequence: it goes above them too.
  int64_t used = 0;
  int status = HighestPositionUsed(&used);
  if (status != 0 || std::max(pos, used) == 0) return status;
  Params p;
  p.Int(std::max(pos, used));
  int64_t set = 0;
  return QueryInt("SELECT setval('%S', $1)", p, &set);
}

int PgStorage::RewriteRecord(int64_t pos, const std::string &data, const std::string *seqs_blob) {
  Params p;
  p.Bytes(data).Int(pos);
  if (seqs_blob != nullptr) p.Bytes(*seqs_blob);
  Result r = Run(seqs_blob != nullptr ? "UPDATE %R SET data = $1, seqs = $3 WHERE pos = $2"
                                      : "UPDATE %R SET data = $1 WHERE pos = $2",
                 p);
  return r.Ok() ? 0 : s_.Failure(r);
}

int PgStorage::RemoveRecord(int64_t pos) {
  Params p;
  p.Int(pos);
  Result r = Run("DELETE FROM %R WHERE pos = $1", p);
  return r.Ok() ? 0 : s_.Failure(r);
}

int PgStorage::NextSequence(int64_t *seq) {
  Params p;
  return QueryInt("SELECT nextval('%S')", p, seq);
}

int PgStorage::CountRecords(int64_t *count) {
  Params p;
  return QueryInt("SELECT count(*) FROM %R", p, count);
}

int PgStorage::ReadPhysical(int64_t pos, int direction, size_t limit, RowBatch *rows) {
  Params p;
  p.Int(pos).Int(static_cast<int64_t>(limit));
  Result r = Run(direction > 0 ? "SELECT NULL::bytea, 0::bigint, pos, data FROM %R"
                                 " WHERE pos > $1 ORDER BY pos LIMIT $2"
                               : "SELECT NULL::bytea, 0::bigint, pos, data FROM %R"
                                 " WHERE pos < $1 ORDER BY pos DESC LIMIT $2",
                 p);
  return Collect(r, rows);
}

int PgStorage::ReadPhysicalAtRank(int64_t rank, RowBatch *rows) {
  Params p;
  p.Int(rank);
  Result r =
      Run("SELECT NULL::bytea, 0::bigint, pos, data FROM %R ORDER BY pos OFFSET $1 LIMIT 1", p);
  return Collect(r, rows);
}

int PgStorage::CountRecordsBefore(int64_t pos, int64_t *count) {
  Params p;
  p.Int(pos);
  return QueryInt("SELECT count(*) FROM %R WHERE pos < $1", p, count);
}

int PgStorage::ScanRecords(const RecordVisitor &visit) {
  // In batches, so that `visit` may use the connection between them.
  int64_t after = 0;
  for (;;) {
    Params p;
    p.Int(after).Int(static_cast<int64_t>(kScanBatch));
    Result r = Run("SELECT pos, data, seqs FROM %R WHERE pos > $1 ORDER BY pos LIMIT $2", p);
    if (!r.Ok()) return s_.Failure(r);
    for (int i = 0; i < r.Rows(); ++i) {
      after = r.Int(i, 0);
      int status = visit(after, r.Bytes(i, 1), r.Bytes(i, 2));
      if (status != 0) return status;
    }
    if (r.Rows() < static_cast<int>(kScanBatch)) return 0;
  }
}

int PgStorage::Collect(const Result &r, RowBatch *rows) {
  rows->Clear();
  if (!r.Ok()) return s_.Failure(r);
  for (int i = 0; i < r.Rows(); ++i) {
    std::string_view k = r.Null(i, 0) ? std::string_view() : r.Bytes(i, 0);
    std::string_view data = r.Bytes(i, 3);
    rows->Add(k.data(), k.size(), r.Int(i, 1), r.Int(i, 2), data.data(), data.size());
  }
  return 0;
}

int PgStorage::AddEntry(size_t key, std::string_view k, int64_t seq, int64_t pos) {
  Params p;
  p.Bytes(k).Int(seq).Int(pos);
  // A duplicate is answered without failing the statement: inside a transaction a failed
  // statement would undo everything before it.
  Result r = Run("INSERT INTO %K VALUES($1, $2, $3) ON CONFLICT DO NOTHING", p, key);
  if (!r.Ok()) return s_.Failure(r);
  return std::strcmp(Pq().PQcmdTuples(r.get()), "1") == 0 ? 0 : B_DUPLICATE_KEY_VALUE;
}

int PgStorage::RemoveEntry(size_t key, std::string_view k, int64_t seq) {
  Params p;
  p.Bytes(k).Int(seq);
  Result r = Run("DELETE FROM %K WHERE k = $1 AND seq = $2", p, key);
  return r.Ok() ? 0 : s_.Failure(r);
}

int PgStorage::EntryExists(size_t key, std::string_view k, bool *exists) {
  Params p;
  p.Bytes(k);
  Result r = Run("SELECT 1 FROM %K WHERE k = $1 LIMIT 1", p, key);
  if (!r.Ok()) return s_.Failure(r);
  *exists = r.Rows() > 0;
  return 0;
}

int PgStorage::Seek(size_t key, btr::Seek how, std::string_view k, int64_t seq, size_t limit,
                    RowBatch *rows) {
  Params p;
  if (how != Seek::kFirst && how != Seek::kLast) p.Bytes(k);
  if (how == Seek::kAfter || how == Seek::kBefore) p.Int(seq);
  p.Int(static_cast<int64_t>(limit));
  Result r = Run(kSeekSql[static_cast<int>(how)], p, key);
  return Collect(r, rows);
}

int PgStorage::EntryAtRank(size_t key, int64_t rank, RowBatch *rows) {
  Params p;
  p.Int(rank);
  Result r =
      Run("SELECT x.k, x.seq, x.pos, r.data FROM %K x JOIN %R r ON r.pos = x.pos"
          " ORDER BY x.k, x.seq OFFSET $1 LIMIT 1",
          p, key);
  return Collect(r, rows);
}

int PgStorage::CountEntries(size_t key, int64_t *count) {
  Params p;
  return QueryInt("SELECT count(*) FROM %K", p, count, key);
}

int PgStorage::CountEntriesBelow(size_t key, std::string_view k, int64_t *count) {
  Params p;
  p.Bytes(k);
  return QueryInt("SELECT count(*) FROM %K WHERE k < $1", p, count, key);
}

int PgStorage::CountDistinct(size_t key, int64_t *count) {
  Params p;
  return QueryInt("SELECT count(DISTINCT k) FROM %K", p, count, key);
}

int PgStorage::CreateKeyIndex(size_t number) {
  schema_changed_ = true;
  s_.ForgetStatements();
  Result r(s_.Exec(KeyTableSql(id_, number)));
  return r.Ok() ? 0 : s_.Failure(r);
}

int PgStorage::DropKeyIndex(size_t number, size_t keys) {
  schema_changed_ = true;
  s_.ForgetStatements();
  std::string base = "zelko_k" + std::to_string(id_) + "_";
  std::string sql = "DROP TABLE " + base + std::to_string(number);
  for (size_t k = number + 1; k < keys; ++k) {
    sql +=
        "; ALTER TABLE " + base + std::to_string(k) + " RENAME TO " + base + std::to_string(k - 1);
  }
  // The dropped key's slot leaves explicitly stored sequences.
  std::string cut = std::to_string(8 * number);
  sql += "; UPDATE zelko_r" + std::to_string(id_) + " SET seqs = substring(seqs from 1 for " + cut +
         ") || substring(seqs from " + std::to_string(8 * number + 9) + ") WHERE length(seqs) > " +
         cut;
  Result r(s_.Exec(sql));
  return r.Ok() ? 0 : s_.Failure(r);
}

bool PgStorage::TryLock(int64_t second, bool shared) {
  Params p;
  p.Int(id_).Int(second);
  Result r =
      Run(shared ? "SELECT pg_try_advisory_lock_shared($1::bigint::integer, $2::bigint::integer)"
                 : "SELECT pg_try_advisory_lock($1::bigint::integer, $2::bigint::integer)",
          p);
  return r.Ok() && r.Rows() == 1 && r.Bool(0, 0);
}

bool PgStorage::LockOpenMode(bool exclusive) {
  return TryUntil(kSessionEndGraceMs, [&] {
    if (TryLock(kOpenModeLock, !exclusive)) return 1;
    return s_.Alive() ? -1 : 0;
  });
}

template <typename Take>
bool PgStorage::TryWithGrace(int wait_ms, int64_t pos, const LockKey &key, Take take) {
  // Past the caller's wait, a lock is tried on for the grace only while a session holding it
  // may be one the server is ending. One busy with a statement, or whose process marked the
  // record while it waits for the file, is alive as far as the grace goes (a killed client's
  // session lets go only when its statement ends); told at once, a transaction does not
  // hold its files back from other writers meanwhile.
  const auto waited = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
  return TryUntil(std::max(wait_ms, kSessionEndGraceMs), [&] {
    if (take()) return 1;
    if (!s_.Alive()) return 0;
    if (std::chrono::steady_clock::now() >= waited &&
        (RecordHolderWaitsForWrites(pos) || !OtherHolders(key).idle))
      return 0;
    return -1;
  });
}

PgStorage::Holders PgStorage::OtherHolders(const LockKey &key) {
  // Looked up rather than tried: a lock taken to ask, however briefly, would keep its holder
  // from taking it meanwhile.
  Params p;
  p.Int(key.classid).Int(key.objid).Int(key.objsubid);
  Result r =
      Run("SELECT count(*) > 0, coalesce(bool_or(a.state IS DISTINCT FROM 'active'), true)"
          " FROM pg_locks l LEFT JOIN pg_stat_activity a ON a.pid = l.pid"
          " WHERE l.locktype = 'advisory' AND l.granted AND l.pid <> pg_backend_pid()"
          " AND l.database = (SELECT oid FROM pg_database WHERE datname = current_database())"
          " AND l.classid = $1::bigint::oid AND l.objid = $2::bigint::oid"
          " AND l.objsubid = $3::bigint",
          p);
  Holders h;
  // A question that failed: none seen, and the grace as before.
  if (r.Ok() && r.Rows() == 1 && !r.Null(0, 0) && !r.Null(0, 1)) {
    h.any = r.Bool(0, 0);
    h.idle = r.Bool(0, 1);
  }
  return h;
}

bool PgStorage::LockRecord(int64_t pos, int wait_ms) {
  // Tried, not waited for on the server: a wait that ran out there would fail the
  // transaction the lock was asked inside.
  return TakeCounted(record_locks_, pos, [&] {
    return TryWithGrace(wait_ms, pos, LockKey::Pair(id_, pos), [&] { return TryLock(pos, false); });
  });
}

void PgStorage::UnlockRecord(int64_t pos) {
  GiveCounted(record_locks_, pos, [&] {
    Params p;
    p.Int(id_).Int(pos);
    Run("SELECT pg_advisory_unlock($1::bigint::integer, $2::bigint::integer)", p);
  });
}

namespace {
// The one-key space, below zero (the catalog's key is above): one key per file and position.
int64_t WritingKey(int64_t file, int64_t pos) {
  return -(file * (int64_t{1} << 31) + pos) - 1;
}
}  // namespace

bool PgStorage::LockWriting(int64_t pos, int wait_ms) {
  const int64_t key = WritingKey(id_, pos);
  Params p;
  p.Int(key);
  return TakeCounted(writing_locks_, pos, [&] {
    return TryWithGrace(wait_ms, pos, LockKey::Single(key), [&] {
      Result r = Run("SELECT pg_try_advisory_lock($1::bigint)", p);
      return r.Ok() && r.Rows() == 1 && r.Bool(0, 0);
    });
  });
}

void PgStorage::UnlockWriting(int64_t pos) {
  GiveCounted(writing_locks_, pos, [&] {
    Params p;
    p.Int(WritingKey(id_, pos));
    Run("SELECT pg_advisory_unlock($1::bigint)", p);
  });
}

void PgStorage::MarkLockedRecordsWaiting(bool waiting) {
  // The two-key space of the record locks, with the file's ID below zero. Only the marks
  // taken are given back (the server counts each lock taken).
  if (waiting) {
    for (const auto &kv : record_locks_) {
      Params p;
      p.Int(-id_ - 1).Int(kv.first);
      Result r =
          Run("SELECT pg_try_advisory_lock_shared($1::bigint::integer, $2::bigint::integer)", p);
      if (r.Ok() && r.Rows() == 1 && r.Bool(0, 0)) waiting_marks_.push_back(kv.first);
    }
    return;
  }
  for (int64_t pos : waiting_marks_) {
    Params p;
    p.Int(-id_ - 1).Int(pos);
    Run("SELECT pg_advisory_unlock_shared($1::bigint::integer, $2::bigint::integer)", p);
  }
  waiting_marks_.clear();
}

bool PgStorage::HolderWaitsForWrites(int64_t pos) {
  if (writing_locks_.count(pos) == 0 && OtherHolders(LockKey::Single(WritingKey(id_, pos))).any)
    return true;
  return RecordHolderWaitsForWrites(pos);
}

bool PgStorage::RecordHolderWaitsForWrites(int64_t pos) {
  if (record_locks_.count(pos) != 0) return false;
  return OtherHolders(LockKey::Pair(-id_ - 1, pos)).any;
}

bool PgStorage::MarkWaitForWrites(bool waiting) {
  if (waiting) return TryLock(kWaitForWritesLock, true);
  Params p;
  p.Int(id_).Int(kWaitForWritesLock);
  return Run("SELECT pg_advisory_unlock_shared($1::bigint::integer, $2::bigint::integer)", p).Ok();
}

bool PgStorage::OthersWaitForWrites() {
  if (!TryLock(kWaitForWritesLock, false)) return s_.Alive();
  Params p;
  p.Int(id_).Int(kWaitForWritesLock);
  Run("SELECT pg_advisory_unlock($1::bigint::integer, $2::bigint::integer)", p);
  return false;
}

class PgStore : public Store {
 public:
  explicit PgStore(std::string conninfo)
      : conninfo_(std::move(conninfo)),
        identity_base_((uint64_t{1} << 63) |
                       (static_cast<uint64_t>(std::hash<std::string>{}(conninfo_)) & 0x7FFFFFFFu)
                           << 32) {}

  int Identify(const std::string &native_path, uint64_t *identity) override {
    return WithControl([&] { return DoIdentify(native_path, identity); });
  }
  int Open(const std::string &native_path, OpenLock lock, std::unique_ptr<Storage> *out) override {
    const std::string path = zplatform::LexicallyAbsolute(native_path);
    for (int attempt = 0;; ++attempt) {
      int status = PgStorage::Open(conninfo_, path, identity_base_, lock, out);
      if (status != PgStorage::kNameMoved) return status;
      if (attempt == 50) return B_FILE_INUSE;
      ::usleep(1000);
    }
  }
  int Create(const std::string &native_path, const FileSpec &spec, bool replace) override {
    return WithControl([&] { return DoCreate(native_path, spec, replace); });
  }
  int Delete(const std::string &native_path) override {
    return WithControl([&] { return DoDelete(native_path); });
  }
  int Rename(const std::string &from, const std::string &to) override {
    return WithControl([&] { return DoRename(from, to); });
  }

 private:
  // Runs `work` on the control connection; a connection the server dropped since its last
  // use (a restart) is made again once.
  template <typename Work>
  int WithControl(Work work) {
    int status = Ready();
    if (status == 0) status = work();
    if (status == B_SESSION_NO_LONGER_VALID) {
      control_.Close();
      status = Ready();
      if (status == 0) status = work();
    }
    return status;
  }

  int DoIdentify(const std::string &native_path, uint64_t *identity) {
    int status = 0;
    int64_t id = 0;
    status = LookUp(control_, zplatform::LexicallyAbsolute(native_path), &id);
    if (status != 0) return status;
    if (id == 0) return B_FILE_NOT_FOUND;
    *identity = identity_base_ | static_cast<uint64_t>(id);
    return 0;
  }

  int DoCreate(const std::string &native_path, const FileSpec &spec, bool replace) {
    int status = 0;
    std::string path = zplatform::LexicallyAbsolute(native_path);
    // One transaction: the old file goes and the new one comes whole, or nothing changes.
    Result begun(
        control_.Exec("BEGIN; SELECT pg_advisory_xact_lock(" + std::to_string(kCatalogLock) + ")"));
    if (!begun.Ok()) return Abandon(begun);
    int64_t old = 0;
    // A name that differs only in letter case is the same file, as on a local disk.
    status = LookUp(control_, path, &old);
    if (status == 0 && old != 0) {
      if (!replace) {
        status = B_FILE_ALREADY_EXISTS;
      } else {
        status = TakeFileForChange(old);
        if (status == 0) status = DropOld(old);
      }
    }
    if (status != 0) {
      control_.Exec("ROLLBACK");
      return status;
    }
    std::vector<uint8_t> blob = SerializeSpec(spec);
    Params p;
    std::string folded = zplatform::LowerAscii(path);
    p.Bytes(path).Bytes(folded).Bytes(
        std::string_view(reinterpret_cast<const char *>(blob.data()), blob.size()));
    Result row(control_.Once(
        "INSERT INTO zelko_files(path, folded, spec) VALUES($1, $2, $3) RETURNING id::bigint", p));
    if (!row.Ok()) return Abandon(row);
    int64_t id = row.Int(0, 0);
    std::string n = std::to_string(id);
    std::string sql = "CREATE SEQUENCE zelko_s" + n +
                      " AS bigint MINVALUE 1 MAXVALUE 2147483647 NO CYCLE; CREATE TABLE zelko_r" +
                      n + "(pos bigint PRIMARY KEY, data bytea NOT NULL, seqs bytea NOT NULL)";
    for (size_t k = 0; k < spec.keys.size(); ++k)
      sql += "; " + KeyTableSql(id, k);
    sql += "; COMMIT";
    Result made(control_.Exec(sql));
    if (!made.Ok()) {
      int failed = Abandon(made);
      return failed == B_IO_ERROR ? B_CREATE_IO_ERROR : failed;
    }
    return 0;
  }

  int DoDelete(const std::string &native_path) {
    int status = 0;
    Result begun(
        control_.Exec("BEGIN; SELECT pg_advisory_xact_lock(" + std::to_string(kCatalogLock) + ")"));
    if (!begun.Ok()) return Abandon(begun);
    int64_t id = 0;
    status = LookUp(control_, zplatform::LexicallyAbsolute(native_path), &id);
    if (status == 0 && id == 0) status = B_FILE_NOT_FOUND;
    if (status == 0) status = TakeFileForChange(id);
    if (status == 0) status = DropOld(id);
    if (status != 0) {
      control_.Exec("ROLLBACK");
      return status;
    }
    Result done(control_.Exec("COMMIT"));
    return done.Ok() ? 0 : Abandon(done);
  }

  int DoRename(const std::string &from_path, const std::string &to_path) {
    const std::string from = zplatform::LexicallyAbsolute(from_path),
                      to = zplatform::LexicallyAbsolute(to_path);
    Result begun(
        control_.Exec("BEGIN; SELECT pg_advisory_xact_lock(" + std::to_string(kCatalogLock) + ")"));
    if (!begun.Ok()) return Abandon(begun);
    int64_t moving = 0, replaced = 0;
    int status = LookUpExact(from, &moving);
    if (status == 0 && moving == 0) status = B_FILE_NOT_FOUND;
    if (status == 0) status = LookUpExact(to, &replaced);
    if (status == 0) status = TakeFileForChange(moving);
    if (status == 0 && replaced != 0 && replaced != moving) {
      status = TakeFileForChange(replaced);
      if (status == 0) status = DropOld(replaced);
    }
    if (status != 0) {
      control_.Exec("ROLLBACK");
      return status;
    }
    Params p;
    std::string folded = zplatform::LowerAscii(to);
    p.Bytes(to).Bytes(folded).Int(moving);
    Result moved(
        control_.Once("UPDATE zelko_files SET path = $1, folded = $2 WHERE id = $3::bigint", p));
    if (!moved.Ok()) return Abandon(moved);
    Result done(control_.Exec("COMMIT"));
    return done.Ok() ? 0 : Abandon(done);
  }

  // The control connection, made (again) when needed.
  int Ready() {
    if (control_.Alive()) return 0;
    int status = control_.Connect(conninfo_);
    if (status == 0) status = EnsureCatalog(control_);
    if (status != 0) control_.Close();
    return status;
  }

  int Abandon(const Result &r) {
    int status = control_.Failure(r);
    control_.Exec("ROLLBACK");
    return status;
  }

  int LookUpExact(const std::string &path, int64_t *id) {
    Params p;
    p.Bytes(path);
    Result r(control_.Once("SELECT id::bigint FROM zelko_files WHERE path = $1", p));
    if (!r.Ok()) return control_.Failure(r);
    *id = r.Rows() == 1 ? r.Int(0, 0) : 0;
    return 0;
  }

  // No process has the file open (inside the catalog transaction): 85 otherwise.
  int TakeFileForChange(int64_t id) {
    Params p;
    p.Int(id).Int(kOpenModeLock);
    int status = B_FILE_INUSE;
    TryUntil(kSessionEndGraceMs, [&] {
      Result r(control_.Once(
          "SELECT pg_try_advisory_xact_lock($1::bigint::integer, $2::bigint::integer)", p));
      if (!r.Ok()) {
        status = control_.Failure(r);
        return 0;
      }
      if (!r.Bool(0, 0)) return -1;
      status = 0;
      return 1;
    });
    return status;
  }

  int DropOld(int64_t id) {
    Params p;
    p.Int(id);
    Result r(control_.Once("SELECT spec FROM zelko_files WHERE id = $1::bigint", p));
    if (!r.Ok()) return control_.Failure(r);
    size_t keys = 0;
    if (r.Rows() == 1) {
      std::string_view blob = r.Bytes(0, 0);
      std::vector<uint8_t> bytes(blob.begin(), blob.end());
      FileSpec spec;
      if (DeserializeSpec(bytes, &spec)) keys = spec.keys.size();
    }
    // Key tables beyond what a damaged specification says go too.
    return DropFileTables(control_, id, std::max<size_t>(keys, 119));
  }

  std::string conninfo_;
  uint64_t identity_base_;
  Session control_;
};

class PgDirectoryLock : public ServerDirectoryLock {
 public:
  explicit PgDirectoryLock(const std::string &native_directory) {
    // FNV-1a: the same keys in every process and build. Folded, as file names are.
    uint64_t h = 0xcbf29ce484222325u;
    for (char c : zplatform::LowerAscii(zplatform::LexicallyAbsolute(native_directory))) {
      h ^= static_cast<uint8_t>(c);
      h *= 0x100000001b3u;
    }
    keys_ = std::to_string(static_cast<int32_t>(static_cast<uint32_t>(h >> 32) | 0x80000000u)) +
            ", " + std::to_string(static_cast<int32_t>(static_cast<uint32_t>(h)));
  }
  ~PgDirectoryLock() override {
    // Let go now rather than when the server gets round to ending the session. (In a forked
    // child the session is the parent's: Exec does nothing there.)
    s_.Exec("SELECT pg_advisory_unlock_all()");
  }
  int Connect(const std::string &conninfo) { return s_.Connect(conninfo); }

  bool Take(bool exclusive, int wait_ms) override {
    const std::string sql = std::string(exclusive ? "SELECT pg_try_advisory_lock("
                                                  : "SELECT pg_try_advisory_lock_shared(") +
                            keys_ + ")";
    return TryUntil(wait_ms < 0 ? INT32_MAX : wait_ms, [&] {
      Result r(s_.Exec(sql));
      if (!r.Ok() || r.Rows() != 1) {
        s_.Failure(r);  // noted for tools; a lost server ends the wait
        return 0;
      }
      return r.Text(0, 0) == "t" ? 1 : -1;
    });
  }

 private:
  Session s_;
  std::string keys_;
};

}  // namespace

std::unique_ptr<ServerDirectoryLock> ConnectDirectoryLock(const std::string &conninfo,
                                                          const std::string &native_directory) {
  auto lock = std::make_unique<PgDirectoryLock>(native_directory);
  if (lock->Connect(conninfo) != 0) return nullptr;
  return lock;
}

Store &ServerStore(const std::string &conninfo) {
  static std::mutex mutex;
  static auto *stores = new std::map<std::string, std::unique_ptr<PgStore>>();  // process life
  std::lock_guard<std::mutex> lock(mutex);
  auto &store = (*stores)[conninfo];
  if (!store) store = std::make_unique<PgStore>(conninfo);
  return *store;
}

std::string LastServerError() {
  std::lock_guard<std::mutex> lock(g_error_mutex);
  return g_last_error;
}

}  // namespace btr
