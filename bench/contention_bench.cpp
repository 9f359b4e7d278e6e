// Several processes writing one file at once: each of kWorkers processes moves amounts
// between two random accounts of kAccounts, kTransfers times, each move one transaction
// (read both, write both). Ours runs Btrieve transactions and starts a move again when it
// meets another process's write (80, 84); the twin runs the same moves on raw SQLite with
// BEGIN IMMEDIATE, so it never meets one. Wall-clock time of the whole round; afterwards the
// balances must add up to what they held before, and the retries per move are reported.
// The same between two files, each move from an account of one to an account of the other,
// either way round: two transactions may each write one file and wait for the other's
// (78). The twin attaches the second file and BEGIN IMMEDIATE takes both at once.
//
// Walks while another process writes: one process walks 100,000 records along their key
// while another updates random records one commit at a time. Ours follows each commit (rows
// read ahead go stale with it); the twin's one statement reads a snapshot. Wall-clock time
// of the walk; the walk must give every key once, in order, and the writer must have
// committed during it.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <sys/select.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "btrieve/btrapi.h"
#include "record_workload.h"
#include "scratch_dir.h"
#include "sqlite_twin.h"

namespace {

using namespace benchdata;

constexpr int kAccounts = 100;
constexpr int kWorkers = 3;
constexpr int kTransfers = 2000;
constexpr int kBalanceOffset = 12;  // a 4-byte integer in the body, in no key
constexpr int32_t kOpeningBalance = 1000000;
constexpr int kWalkRecords = 100000;

const std::string &TempDir() {
  static const std::string dir = MakeScratchDirectory("zelko-contention");
  return dir;
}

struct Move {
  int32_t from, to, amount;
  int from_file = 0;  // of two files: the other is paid into
};

// The moves of worker `w` over `files` files (one or two): the same on both sides.
std::vector<Move> MovesOf(int w, int files) {
  std::mt19937 rng(20261209 + w);
  std::vector<Move> moves(kTransfers);
  for (Move &m : moves) {
    m.from = static_cast<int32_t>(rng() % kAccounts);
    do {
      m.to = static_cast<int32_t>(rng() % kAccounts);
    } while (m.to == m.from);
    m.amount = static_cast<int32_t>(rng() % 100) + 1;
    if (files == 2) m.from_file = static_cast<int>(rng() % 2);
  }
  return moves;
}

int ToFile(const Move &m, size_t files) {
  return files == 2 ? 1 - m.from_file : 0;
}

std::vector<std::string> AccountFiles(int files, const char *suffix) {
  std::vector<std::string> paths;
  for (int i = 0; i < files; ++i)
    paths.push_back(TempDir() + "/accounts" + std::to_string(i) + suffix);
  return paths;
}

// Runs `work` in kWorkers processes at once; each writes its retry count to the pipe. False
// when a worker failed.
bool RunWorkers(const std::function<int64_t(int)> &work, int64_t *retries) {
  int fds[2];
  if (pipe(fds) != 0) return false;
  std::vector<pid_t> children;
  for (int w = 0; w < kWorkers; ++w) {
    pid_t pid = fork();
    if (pid == 0) {
      close(fds[0]);
      int64_t r = work(w);
      bool ok = write(fds[1], &r, sizeof r) == static_cast<ssize_t>(sizeof r) && r >= 0;
      _exit(ok ? 0 : 1);
    }
    if (pid < 0) break;
    children.push_back(pid);
  }
  close(fds[1]);
  bool ok = children.size() == static_cast<size_t>(kWorkers);
  *retries = 0;
  int64_t r;
  while (read(fds[0], &r, sizeof r) == static_cast<ssize_t>(sizeof r))
    *retries += r;
  close(fds[0]);
  for (pid_t pid : children) {
    int status = 0;
    ok = waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0 && ok;
  }
  return ok;
}

void Report(benchmark::State &state, size_t files, int64_t total, int64_t retries) {
  const int64_t opening = static_cast<int64_t>(files) * kAccounts * kOpeningBalance;
  if (total != opening) {
    std::fprintf(stderr, "the balances add up to %lld, not %lld\n", static_cast<long long>(total),
                 static_cast<long long>(opening));
    state.SkipWithError("the moves lost or made money");
  }
  state.counters["retries_per_move"] =
      static_cast<double>(retries) / (static_cast<double>(kWorkers) * kTransfers);
}

// ---- Ours

void MakeAccountRecord(int32_t k, uint8_t *r) {
  MakeRecord(k, r);
  PutI32(r + kBalanceOffset, kOpeningBalance);
}

int64_t OursWorker(const std::vector<std::string> &paths, int w) {
  // A position block for each account of a move in each file: an update writes the record
  // its own block read.
  uint8_t blocks[2][2][128] = {};
  uint32_t len = 0;
  for (size_t f = 0; f < paths.size(); ++f) {
    std::string name = paths[f];
    if (BTRCALL(B_OPEN, blocks[f][0], nullptr, &len, name.data(), 0, 0) != 0 ||
        BTRCALL(B_OPEN, blocks[f][1], nullptr, &len, name.data(), 0, 0) != 0)
      return -1;
  }
  int64_t retries = 0;
  uint8_t from[kRecordLength], to[kRecordLength], key[4];
  for (const Move &m : MovesOf(w, static_cast<int>(paths.size()))) {
    uint8_t *from_pb = blocks[m.from_file][0];
    uint8_t *to_pb = blocks[ToFile(m, paths.size())][1];
    for (;;) {
      len = 0;
      if (BTRCALL(B_BEGIN_TRAN, nullptr, nullptr, &len, nullptr, 0, 0) != 0) return -1;
      int status = 0;
      auto call = [&](int op, uint8_t *pb, uint8_t *data, int32_t k) {
        if (status != 0) return;
        PutI32(key, k);
        len = kRecordLength;
        status = BTRCALL(op, pb, data, &len, key, 4, 0);
      };
      call(B_GET_EQUAL, from_pb, from, m.from);
      call(B_GET_EQUAL, to_pb, to, m.to);
      PutI32(from + kBalanceOffset, GetI32(from + kBalanceOffset) - m.amount);
      PutI32(to + kBalanceOffset, GetI32(to + kBalanceOffset) + m.amount);
      call(B_UPDATE, from_pb, from, m.from);
      call(B_UPDATE, to_pb, to, m.to);
      if (status == 0) {
        len = 0;
        status = BTRCALL(B_END_TRAN, nullptr, nullptr, &len, nullptr, 0, 0);
        if (status == 0) break;
      } else {
        len = 0;
        BTRCALL(B_ABORT_TRAN, nullptr, nullptr, &len, nullptr, 0, 0);
      }
      // Another process changed an account since it was read, or is writing it, or waits
      // for a file this transaction holds: again.
      if (status != B_CONFLICT && status != B_RECORD_INUSE && status != B_FILE_INUSE &&
          status != B_DEADLOCK)
        return -1;
      ++retries;
    }
  }
  len = 0;
  for (size_t f = 0; f < paths.size(); ++f) {
    BTRCALL(B_CLOSE, blocks[f][0], nullptr, &len, nullptr, 0, 0);
    BTRCALL(B_CLOSE, blocks[f][1], nullptr, &len, nullptr, 0, 0);
  }
  return retries;
}

void TransfersOurs(benchmark::State &state, int files) {
  const std::vector<std::string> paths = AccountFiles(files, ".btr");
  uint8_t pb[128] = {}, r[kRecordLength], key[4];
  uint32_t len = 0;
  for (const std::string &path : paths) {
    CreateTwoKeyFile(path, pb);
    BTRCALL(B_BEGIN_TRAN, nullptr, nullptr, &len, nullptr, 0, 0);
    for (int32_t k = 0; k < kAccounts; ++k) {
      MakeAccountRecord(k, r);
      len = kRecordLength;
      if (BTRCALL(B_INSERT, pb, r, &len, key, 4, 0) != 0) abort();
    }
    if (BTRCALL(B_END_TRAN, nullptr, nullptr, &len, nullptr, 0, 0) != 0) abort();
    BTRCALL(B_CLOSE, pb, nullptr, &len, nullptr, 0, 0);
  }
  int64_t retries = 0;
  for (auto _ : state) {
    if (!RunWorkers([&](int w) { return OursWorker(paths, w); }, &retries))
      state.SkipWithError("a worker failed");
  }
  int64_t total = 0;
  for (const std::string &path : paths) {
    std::string name = path;
    len = 0;
    if (BTRCALL(B_OPEN, pb, nullptr, &len, name.data(), 0, 0) != 0) abort();
    len = kRecordLength;
    for (int s = BTRCALL(B_GET_FIRST, pb, r, &len, key, 4, 0); s == 0;
         len = kRecordLength, s = BTRCALL(B_GET_NEXT, pb, r, &len, key, 4, 0))
      total += GetI32(r + kBalanceOffset);
    len = 0;
    BTRCALL(B_CLOSE, pb, nullptr, &len, nullptr, 0, 0);
    unlink(path.c_str());
  }
  Report(state, paths.size(), total, retries);
}

void BM_Transfers_Ours(benchmark::State &state) {
  TransfersOurs(state, 1);
}
void BM_TransfersTwoFiles_Ours(benchmark::State &state) {
  TransfersOurs(state, 2);
}

// ---- Raw SQLite: one table of the accounts, opened as the record manager opens its files.

sqlite3 *OpenTwin(const std::string &path) {
  SqliteFile f;
  f.Open(path);
  return f.db;
}

// The first file as the main database, the second (if any) attached as "b" with the same
// settings.
sqlite3 *OpenTwins(const std::vector<std::string> &paths) {
  sqlite3 *db = OpenTwin(paths[0]);
  if (paths.size() == 2) {
    sqlite3_stmt *attach = nullptr;
    sqlite3_prepare_v2(db, "ATTACH ?1 AS b", -1, &attach, nullptr);
    sqlite3_bind_text(attach, 1, paths[1].c_str(), -1, SQLITE_TRANSIENT);
    bool ok = sqlite3_step(attach) == SQLITE_DONE;
    sqlite3_finalize(attach);
    if (!ok || sqlite3_exec(db,
                            "PRAGMA b.journal_mode=WAL; PRAGMA b.synchronous=NORMAL;"
                            " PRAGMA b.mmap_size=268435456; PRAGMA b.cache_size=-2048",
                            nullptr, nullptr, nullptr) != SQLITE_OK)
      abort();
  }
  return db;
}

int64_t TwinWorker(const std::vector<std::string> &paths, int w) {
  sqlite3 *db = OpenTwins(paths);
  sqlite3_stmt *reads[2] = {}, *writes[2] = {};
  const char *schemas[2] = {"main", "b"};
  bool ok = true;
  for (size_t f = 0; f < paths.size(); ++f) {
    const std::string schema = schemas[f];
    ok = ok &&
         sqlite3_prepare_v2(db, ("SELECT data FROM " + schema + ".t WHERE k = ?1").c_str(), -1,
                            &reads[f], nullptr) == SQLITE_OK &&
         sqlite3_prepare_v2(db, ("UPDATE " + schema + ".t SET data = ?2 WHERE k = ?1").c_str(), -1,
                            &writes[f], nullptr) == SQLITE_OK;
  }
  uint8_t rows[2][kRecordLength];
  for (const Move &m : MovesOf(w, static_cast<int>(paths.size()))) {
    if (!ok) break;
    ok = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
    const int32_t keys[2] = {m.from, m.to};
    const int files[2] = {m.from_file, ToFile(m, paths.size())};
    const int32_t change[2] = {-m.amount, m.amount};
    for (int i = 0; i < 2 && ok; ++i) {
      sqlite3_stmt *read = reads[files[i]];
      sqlite3_bind_int(read, 1, keys[i]);
      ok = sqlite3_step(read) == SQLITE_ROW && sqlite3_column_bytes(read, 0) == kRecordLength;
      if (ok) std::memcpy(rows[i], sqlite3_column_blob(read, 0), kRecordLength);
      sqlite3_reset(read);
      ok = ok && GetI32(rows[i]) == keys[i];
    }
    for (int i = 0; i < 2 && ok; ++i) {
      sqlite3_stmt *write = writes[files[i]];
      PutI32(rows[i] + kBalanceOffset, GetI32(rows[i] + kBalanceOffset) + change[i]);
      sqlite3_bind_int(write, 1, keys[i]);
      sqlite3_bind_blob(write, 2, rows[i], kRecordLength, SQLITE_STATIC);
      ok = sqlite3_step(write) == SQLITE_DONE;
      sqlite3_reset(write);
    }
    ok = ok && sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
  }
  for (size_t f = 0; f < paths.size(); ++f) {
    sqlite3_finalize(reads[f]);
    sqlite3_finalize(writes[f]);
  }
  sqlite3_close(db);
  return ok ? 0 : -1;
}

void TransfersTwin(benchmark::State &state, int files) {
  const std::vector<std::string> paths = AccountFiles(files, ".db");
  for (const std::string &path : paths) {
    sqlite3 *db = OpenTwin(path);
    if (sqlite3_exec(db,
                     "CREATE TABLE t(k INTEGER PRIMARY KEY, data BLOB NOT NULL, g INTEGER);"
                     "CREATE INDEX tg ON t(g)",
                     nullptr, nullptr, nullptr) != SQLITE_OK)
      abort();
    sqlite3_stmt *insert = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO t VALUES (?1, ?2, ?3)", -1, &insert, nullptr);
    uint8_t r[kRecordLength];
    for (int32_t k = 0; k < kAccounts; ++k) {
      MakeAccountRecord(k, r);
      sqlite3_bind_int(insert, 1, k);
      sqlite3_bind_blob(insert, 2, r, kRecordLength, SQLITE_TRANSIENT);
      sqlite3_bind_int(insert, 3, k / 2);
      if (sqlite3_step(insert) != SQLITE_DONE) abort();
      sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    sqlite3_close(db);
  }
  int64_t retries = 0;
  for (auto _ : state) {
    if (!RunWorkers([&](int w) { return TwinWorker(paths, w); }, &retries))
      state.SkipWithError("a worker failed");
  }
  int64_t total = 0;
  for (const std::string &path : paths) {
    sqlite3 *db = OpenTwin(path);
    sqlite3_stmt *all = nullptr;
    sqlite3_prepare_v2(db, "SELECT data FROM t ORDER BY k", -1, &all, nullptr);
    while (sqlite3_step(all) == SQLITE_ROW)
      total += GetI32(static_cast<const uint8_t *>(sqlite3_column_blob(all, 0)) + kBalanceOffset);
    sqlite3_finalize(all);
    sqlite3_close(db);
    for (const char *suffix : {"", "-wal", "-shm"})
      unlink((path + suffix).c_str());
  }
  Report(state, paths.size(), total, retries);
}

void BM_Transfers_Twin(benchmark::State &state) {
  TransfersTwin(state, 1);
}
void BM_TransfersTwoFiles_Twin(benchmark::State &state) {
  TransfersTwin(state, 2);
}

// ---- Walks while another process writes

// Runs `write` (which returns the writes it made) in a child until the returned stop is
// called, which gives the number of writes.
class BackgroundWriter {
 public:
  explicit BackgroundWriter(const std::function<int64_t(int stop_fd)> &write) {
    int stop[2], result[2];
    if (pipe(stop) != 0 || pipe(result) != 0) abort();
    pid_ = fork();
    if (pid_ == 0) {
      close(stop[1]);
      close(result[0]);
      int64_t n = write(stop[0]);
      _exit(::write(result[1], &n, sizeof n) == static_cast<ssize_t>(sizeof n) ? 0 : 1);
    }
    close(stop[0]);
    close(result[1]);
    stop_ = stop[1];
    result_ = result[0];
  }
  int64_t Stop() {
    close(stop_);
    int64_t n = -1;
    if (read(result_, &n, sizeof n) != static_cast<ssize_t>(sizeof n)) n = -1;
    close(result_);
    int status = 0;
    waitpid(pid_, &status, 0);
    return n;
  }

 private:
  pid_t pid_ = -1;
  int stop_ = -1, result_ = -1;
};

bool Stopped(int stop_fd) {
  struct timespec none = {0, 0};
  fd_set set;
  FD_ZERO(&set);
  FD_SET(stop_fd, &set);
  return pselect(stop_fd + 1, &set, nullptr, nullptr, &none, nullptr) > 0;
}

// The walk's keys must be 0 .. n - 1 in order.
struct KeyCheck {
  int32_t expected = 0;
  bool ok = true;
  void See(int32_t k) { ok = ok && k == expected++; }
};

// False (the case failed) when the walk missed keys or the writer wrote nothing meanwhile.
bool ReportWalk(benchmark::State &state, const KeyCheck &check, int64_t writes) {
  if (!check.ok || check.expected != kWalkRecords) {
    std::fprintf(stderr, "the walk stopped at key %d\n", check.expected);
    state.SkipWithError("the walk missed keys");
    return false;
  }
  if (writes <= 0) {
    state.SkipWithError("the writer wrote nothing during the walk");
    return false;
  }
  state.counters["writes_during_walk"] = static_cast<double>(writes);
  return true;
}

void BM_WalkWhileWriting_Ours(benchmark::State &state) {
  const std::string path = TempDir() + "/walk.btr";
  const std::vector<int32_t> &keys = ShuffledKeys(kWalkRecords);
  uint8_t pb[128] = {};
  CreateTwoKeyFile(path, pb);
  InsertThrough(pb, keys.data(), keys.size());
  uint32_t len = 0;
  BTRCALL(B_CLOSE, pb, nullptr, &len, nullptr, 0, 0);  // a forked child opens files of its own
  std::string name = path;
  uint8_t data[kRecordLength + 1], key[4];
  for (auto _ : state) {
    state.PauseTiming();
    BackgroundWriter writer([&](int stop_fd) -> int64_t {
      uint8_t wpb[128] = {}, r[kRecordLength], k[4];
      uint32_t len = 0;
      if (BTRCALL(B_OPEN, wpb, nullptr, &len, name.data(), 0, 0) != 0) return -1;
      std::mt19937 rng(7);
      int64_t n = 0;
      while (!Stopped(stop_fd)) {
        PutI32(k, static_cast<int32_t>(rng() % kWalkRecords));
        len = kRecordLength;
        if (BTRCALL(B_GET_EQUAL, wpb, r, &len, k, 4, 0) != 0) continue;
        ++r[kRecordLength - 1];
        len = kRecordLength;
        if (BTRCALL(B_UPDATE, wpb, r, &len, k, 4, 0) == 0) ++n;
      }
      return n;
    });
    usleep(50 * 1000);  // the writer is under way
    len = 0;
    if (BTRCALL(B_OPEN, pb, nullptr, &len, name.data(), 0, 0) != 0) abort();
    state.ResumeTiming();
    KeyCheck check;
    len = sizeof data;
    for (int s = BTRCALL(B_GET_FIRST, pb, data, &len, key, 4, 0); s == 0;
         len = sizeof data, s = BTRCALL(B_GET_NEXT, pb, data, &len, key, 4, 0))
      check.See(GetI32(data));
    state.PauseTiming();
    len = 0;
    BTRCALL(B_CLOSE, pb, nullptr, &len, nullptr, 0, 0);
    if (!ReportWalk(state, check, writer.Stop())) break;
    state.ResumeTiming();
  }
  unlink(path.c_str());
}

void BM_WalkWhileWriting_Twin(benchmark::State &state) {
  const std::string path = TempDir() + "/walk.db";
  auto twin = std::make_unique<Twin>(path, ShuffledKeys(kWalkRecords));
  sqlite3_stmt *walk = twin->Compile("SELECT data FROM t ORDER BY k");
  uint8_t data[kRecordLength];
  for (auto _ : state) {
    state.PauseTiming();
    BackgroundWriter writer([&](int stop_fd) -> int64_t {
      sqlite3 *w = OpenTwin(path);
      sqlite3_stmt *read = nullptr, *write = nullptr;
      sqlite3_prepare_v2(w, "SELECT data FROM t WHERE k = ?1", -1, &read, nullptr);
      sqlite3_prepare_v2(w, "UPDATE t SET data = ?2 WHERE k = ?1", -1, &write, nullptr);
      std::mt19937 rng(7);
      int64_t n = 0;
      uint8_t row[kRecordLength];
      while (!Stopped(stop_fd)) {
        int32_t k = static_cast<int32_t>(rng() % kWalkRecords);
        sqlite3_bind_int(read, 1, k);
        bool found = sqlite3_step(read) == SQLITE_ROW;
        if (found) std::memcpy(row, sqlite3_column_blob(read, 0), kRecordLength);
        sqlite3_reset(read);
        if (!found) continue;
        ++row[kRecordLength - 1];
        sqlite3_bind_int(write, 1, k);
        sqlite3_bind_blob(write, 2, row, kRecordLength, SQLITE_STATIC);
        if (sqlite3_step(write) == SQLITE_DONE) ++n;
        sqlite3_reset(write);
      }
      sqlite3_finalize(read);
      sqlite3_finalize(write);
      sqlite3_close(w);
      return n;
    });
    usleep(50 * 1000);
    state.ResumeTiming();
    KeyCheck check;
    while (sqlite3_step(walk) == SQLITE_ROW) {
      std::memcpy(data, sqlite3_column_blob(walk, 0), kRecordLength);
      check.See(GetI32(data));
    }
    sqlite3_reset(walk);
    state.PauseTiming();
    if (!ReportWalk(state, check, writer.Stop())) break;
    state.ResumeTiming();
  }
  sqlite3_finalize(walk);
  twin.reset();
  for (const char *suffix : {"", "-wal", "-shm"})
    unlink((path + suffix).c_str());
}

}  // namespace

BENCHMARK(BM_Transfers_Ours)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Transfers_Twin)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TransfersTwoFiles_Ours)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TransfersTwoFiles_Twin)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WalkWhileWriting_Ours)->Iterations(5)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WalkWhileWriting_Twin)->Iterations(5)->UseRealTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
