// Several processes writing one file at once: each of kWorkers processes moves amounts
// between two random accounts of kAccounts, kTransfers times, each move one transaction
// (read both, write both). Ours runs Btrieve transactions and starts a move again when it
// meets another process's write (80, 84); the twin runs the same moves on raw SQLite with
// BEGIN IMMEDIATE, so it never meets one. Wall-clock time of the whole round; afterwards the
// balances must add up to what they held before, and the retries per move are reported.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "btrieve/btrapi.h"
#include "record_workload.h"
#include "scratch_dir.h"

namespace {

using namespace benchdata;

constexpr int kAccounts = 100;
constexpr int kWorkers = 3;
constexpr int kTransfers = 2000;
constexpr int kBalanceOffset = 12;  // a 4-byte integer in the body, in no key
constexpr int32_t kOpeningBalance = 1000000;

const std::string &TempDir() {
  static const std::string dir = MakeScratchDirectory("zelko-contention");
  return dir;
}

struct Move {
  int32_t from, to, amount;
};

// The moves of worker `w`: the same on both sides.
std::vector<Move> MovesOf(int w) {
  std::mt19937 rng(20261209 + w);
  std::vector<Move> moves(kTransfers);
  for (Move &m : moves) {
    m.from = static_cast<int32_t>(rng() % kAccounts);
    do {
      m.to = static_cast<int32_t>(rng() % kAccounts);
    } while (m.to == m.from);
    m.amount = static_cast<int32_t>(rng() % 100) + 1;
  }
  return moves;
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

void Report(benchmark::State &state, int64_t total, int64_t retries) {
  if (total != static_cast<int64_t>(kAccounts) * kOpeningBalance) {
    std::fprintf(stderr, "the balances add up to %lld, not %lld\n", static_cast<long long>(total),
                 static_cast<long long>(kAccounts) * kOpeningBalance);
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

int64_t OursWorker(const std::string &path, int w) {
  // A position block for each account of a move: an update writes the record its own block
  // read.
  uint8_t from_pb[128] = {}, to_pb[128] = {};
  std::string name = path;
  uint32_t len = 0;
  if (BTRCALL(B_OPEN, from_pb, nullptr, &len, name.data(), 0, 0) != 0 ||
      BTRCALL(B_OPEN, to_pb, nullptr, &len, name.data(), 0, 0) != 0)
    return -1;
  int64_t retries = 0;
  uint8_t from[kRecordLength], to[kRecordLength], key[4];
  for (const Move &m : MovesOf(w)) {
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
      // Another process changed an account since it was read, or is writing it: again.
      if (status != B_CONFLICT && status != B_RECORD_INUSE && status != B_FILE_INUSE) return -1;
      ++retries;
    }
  }
  len = 0;
  BTRCALL(B_CLOSE, from_pb, nullptr, &len, nullptr, 0, 0);
  BTRCALL(B_CLOSE, to_pb, nullptr, &len, nullptr, 0, 0);
  return retries;
}

void BM_Transfers_Ours(benchmark::State &state) {
  const std::string path = TempDir() + "/accounts.btr";
  uint8_t pb[128] = {}, r[kRecordLength], key[4];
  uint32_t len = 0;
  CreateTwoKeyFile(path, pb);
  BTRCALL(B_BEGIN_TRAN, nullptr, nullptr, &len, nullptr, 0, 0);
  for (int32_t k = 0; k < kAccounts; ++k) {
    MakeAccountRecord(k, r);
    len = kRecordLength;
    if (BTRCALL(B_INSERT, pb, r, &len, key, 4, 0) != 0) abort();
  }
  if (BTRCALL(B_END_TRAN, nullptr, nullptr, &len, nullptr, 0, 0) != 0) abort();
  BTRCALL(B_CLOSE, pb, nullptr, &len, nullptr, 0, 0);
  int64_t retries = 0;
  for (auto _ : state) {
    if (!RunWorkers([&](int w) { return OursWorker(path, w); }, &retries))
      state.SkipWithError("a worker failed");
  }
  int64_t total = 0;
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
  Report(state, total, retries);
}

// ---- Raw SQLite: one table of the accounts, opened as the record manager opens its files,
// waiting for another process's transaction with the same short pauses.

int ShortPauses(void *, int tries) {
  if (tries >= 10000) return 0;
  timespec pause = {0, (tries < 4 ? 100000L << tries : 1000000L)};
  nanosleep(&pause, nullptr);
  return 1;
}

sqlite3 *OpenTwin(const std::string &path) {
  sqlite3 *db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                      nullptr) != SQLITE_OK)
    abort();
  sqlite3_busy_handler(db, ShortPauses, nullptr);
  if (sqlite3_exec(db,
                   "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; "
                   "PRAGMA mmap_size=268435456; PRAGMA cache_size=-2048",
                   nullptr, nullptr, nullptr) != SQLITE_OK)
    abort();
  return db;
}

int64_t TwinWorker(const std::string &path, int w) {
  sqlite3 *db = OpenTwin(path);
  sqlite3_stmt *read = nullptr, *write = nullptr;
  sqlite3_prepare_v2(db, "SELECT data FROM t WHERE k = ?1", -1, &read, nullptr);
  sqlite3_prepare_v2(db, "UPDATE t SET data = ?2 WHERE k = ?1", -1, &write, nullptr);
  uint8_t rows[2][kRecordLength];
  bool ok = read != nullptr && write != nullptr;
  for (const Move &m : MovesOf(w)) {
    if (!ok) break;
    ok = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
    const int32_t keys[2] = {m.from, m.to};
    const int32_t change[2] = {-m.amount, m.amount};
    for (int i = 0; i < 2 && ok; ++i) {
      sqlite3_bind_int(read, 1, keys[i]);
      ok = sqlite3_step(read) == SQLITE_ROW && sqlite3_column_bytes(read, 0) == kRecordLength;
      if (ok) std::memcpy(rows[i], sqlite3_column_blob(read, 0), kRecordLength);
      sqlite3_reset(read);
      ok = ok && GetI32(rows[i]) == keys[i];
    }
    for (int i = 0; i < 2 && ok; ++i) {
      PutI32(rows[i] + kBalanceOffset, GetI32(rows[i] + kBalanceOffset) + change[i]);
      sqlite3_bind_int(write, 1, keys[i]);
      sqlite3_bind_blob(write, 2, rows[i], kRecordLength, SQLITE_STATIC);
      ok = sqlite3_step(write) == SQLITE_DONE;
      sqlite3_reset(write);
    }
    ok = ok && sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
  }
  sqlite3_finalize(read);
  sqlite3_finalize(write);
  sqlite3_close(db);
  return ok ? 0 : -1;
}

void BM_Transfers_Twin(benchmark::State &state) {
  const std::string path = TempDir() + "/accounts.db";
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
  int64_t retries = 0;
  for (auto _ : state) {
    if (!RunWorkers([&](int w) { return TwinWorker(path, w); }, &retries))
      state.SkipWithError("a worker failed");
  }
  db = OpenTwin(path);
  sqlite3_stmt *all = nullptr;
  sqlite3_prepare_v2(db, "SELECT data FROM t ORDER BY k", -1, &all, nullptr);
  int64_t total = 0;
  while (sqlite3_step(all) == SQLITE_ROW)
    total += GetI32(static_cast<const uint8_t *>(sqlite3_column_blob(all, 0)) + kBalanceOffset);
  sqlite3_finalize(all);
  sqlite3_close(db);
  for (const char *suffix : {"", "-wal", "-shm"})
    unlink((path + suffix).c_str());
  Report(state, total, retries);
}

}  // namespace

BENCHMARK(BM_Transfers_Ours)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Transfers_Twin)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
