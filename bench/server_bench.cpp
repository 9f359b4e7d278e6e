// The record manager on a PostgreSQL server, each case beside its raw libpq twin on the same
// private server in the same run. The twin runs the statements the server store runs for the
// same operation (the same tables, keys encoded the same way, prepared, parameters and
// results in binary), so a ratio is what the record manager adds; where a stronger
// statement exists (an extended read filtered on the server) the twin uses it. Times are
// wall-clock times: a client mostly waits for the server. Both sides of a case must read
// the same records; a disagreement stops the run.
#include <benchmark/benchmark.h>
#include <libpq-fe.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "btrieve/btrapi.h"
#include "private_postgres.h"
#include "record_workload.h"
#include "scratch_dir.h"
#include "zplatform/profile.h"

namespace {

using namespace benchdata;

constexpr int kRecords = 100000;
constexpr int kCounterOffset = 96;  // the last 4 bytes: a counter the clients raise
constexpr int kInsertBatch = 1000;
constexpr int kWalk = 10000;  // records read by one Get Next case

zelko_testing::PrivatePostgres *g_server = nullptr;

const std::string &Directory() {
  static const std::string dir = benchdata::MakeScratchDirectory("zelko-server-bench");
  return dir;
}

// A signed integer key as the record manager encodes it: big-endian, sign bit flipped.
std::string EncodeKey(int32_t v) {
  uint32_t u = KeyBits(v);
  char b[4] = {static_cast<char>(u >> 24), static_cast<char>(u >> 16), static_cast<char>(u >> 8),
               static_cast<char>(u)};
  return std::string(b, 4);
}
std::string Be64(int64_t v) {
  char b[8];
  for (int i = 0; i < 8; ++i)
    b[i] = static_cast<char>(static_cast<uint64_t>(v) >> (56 - 8 * i));
  return std::string(b, 8);
}

const std::vector<int32_t> &ShuffledKeys() {
  static std::vector<int32_t> keys = [] {
    std::vector<int32_t> k(kRecords);
    std::iota(k.begin(), k.end(), 0);
    std::shuffle(k.begin(), k.end(), std::mt19937(20261207));
    return k;
  }();
  return keys;
}

// ---- Our side: a file on the server through BTRCALL.

struct Ours {
  uint8_t pb[128] = {};
  std::string path;
  explicit Ours(const std::string &name) : path(Directory() + "/" + name) {
    CreateTwoKeyFile(path, pb);
    const auto &keys = ShuffledKeys();
    for (size_t at = 0; at < keys.size(); at += 10000)
      Insert(keys.data() + at, std::min<size_t>(10000, keys.size() - at));
  }
  void Insert(const int32_t *keys, size_t n) { InsertThrough(pb, keys, n); }
  void Tally(int64_t *records, int32_t *last) { TallyThrough(pb, records, last); }
};

Ours &OurFile() {
  static Ours *f = new Ours("items.btr");
  return *f;
}

// ---- The twin: the same tables and statements over raw libpq.

struct Twin {
  PGconn *c = nullptr;
  int64_t inserted_file = 0;
  Twin() {
    c = PQconnectdb(g_server->Conninfo().c_str());
    if (PQstatus(c) != CONNECTION_OK) abort();
    Exec(
        "CREATE SEQUENCE twin_s AS bigint MINVALUE 1 MAXVALUE 2147483647;"
        "CREATE TABLE twin_r(pos bigint PRIMARY KEY, data bytea NOT NULL, seqs bytea NOT NULL);"
        "CREATE TABLE twin_k0(k bytea NOT NULL, seq bigint NOT NULL, pos bigint NOT NULL,"
        " PRIMARY KEY(k, seq));"
        "CREATE TABLE twin_k1(k bytea NOT NULL, seq bigint NOT NULL, pos bigint NOT NULL,"
        " PRIMARY KEY(k, seq))");
    Prepare("equal",
            "SELECT x.k, x.seq, x.pos, r.data FROM twin_k0 x JOIN twin_r r ON r.pos = x.pos"
            " WHERE x.k = $1 ORDER BY x.k, x.seq LIMIT $2",
            2);
    Prepare("first",
            "SELECT x.k, x.seq, x.pos, r.data FROM twin_k0 x JOIN twin_r r ON r.pos = x.pos"
            " WHERE true ORDER BY x.k, x.seq LIMIT $1",
            1);
    Prepare("after",
            "SELECT x.k, x.seq, x.pos, r.data FROM twin_k0 x JOIN twin_r r ON r.pos = x.pos"
            " WHERE (x.k, x.seq) > ($1, $2) ORDER BY x.k, x.seq LIMIT $3",
            3);
    Prepare("record",
            "INSERT INTO twin_r(pos, data, seqs) VALUES(nextval('twin_s'), $1, ''::bytea)"
            " RETURNING pos",
            1);
    Prepare("k0", "INSERT INTO twin_k0 VALUES($1, $2, $3) ON CONFLICT DO NOTHING", 3);
    Prepare("k1", "INSERT INTO twin_k1 VALUES($1, $2, $3) ON CONFLICT DO NOTHING", 3);
    Prepare("extended",
            "SELECT substring(r.data from 1 for 4), substring(r.data from 13 for 8)"
            " FROM twin_k0 x JOIN twin_r r ON r.pos = x.pos"
            " WHERE substring(r.data from 9 for 4) = $1 ORDER BY x.k, x.seq LIMIT $2",
            2);
    const auto &keys = ShuffledKeys();
    for (size_t at = 0; at < keys.size(); at += 10000)
      Insert(keys.data() + at, std::min<size_t>(10000, keys.size() - at));
  }
  void Exec(const std::string &sql) {
    PGresult *r = PQexec(c, sql.c_str());
    if (PQresultStatus(r) != PGRES_COMMAND_OK && PQresultStatus(r) != PGRES_TUPLES_OK) {
      std::fprintf(stderr, "twin: %s", PQresultErrorMessage(r));
      abort();
    }
    PQclear(r);
  }
  void Prepare(const char *name, const char *sql, int n) {
    PGresult *r = PQprepare(c, name, sql, n, nullptr);
    if (PQresultStatus(r) != PGRES_COMMAND_OK) abort();
    PQclear(r);
  }
  PGresult *Run(const char *name, std::initializer_list<std::string_view> params) {
    const char *values[4];
    int lengths[4], formats[4];
    int n = 0;
    for (std::string_view p : params) {
      values[n] = p.data();
      lengths[n] = static_cast<int>(p.size());
      formats[n] = 1;
      ++n;
    }
    return PQexecPrepared(c, name, n, values, lengths, formats, 1);
  }
  void Insert(const int32_t *keys, size_t n) {
    // As the server store writes: the file's write lock, then a record and its two entries.
    Exec("BEGIN; SELECT pg_advisory_xact_lock(999999, -1)");
    uint8_t r[kRecordLength];
    for (size_t i = 0; i < n; ++i) {
      MakeRecord(keys[i], r);
      PGresult *res = Run("record", {std::string_view(reinterpret_cast<char *>(r), kRecordLength)});
      if (PQresultStatus(res) != PGRES_TUPLES_OK) abort();
      std::string pos(PQgetvalue(res, 0, 0), 8);
      PQclear(res);
      std::string zero = Be64(0);
      res = Run("k0", {EncodeKey(keys[i]), zero, pos});
      if (std::strcmp(PQcmdTuples(res), "1") != 0) abort();
      PQclear(res);
      res = Run("k1", {EncodeKey(keys[i] / 2), pos, pos});
      if (std::strcmp(PQcmdTuples(res), "1") != 0) abort();
      PQclear(res);
    }
    Exec("COMMIT");
  }
  // The records and the highest key; -1 unless every record has its two entries.
  void Tally(int64_t *records, int32_t *last) {
    *records = *last = -1;
    PGresult *r = PQexec(c,
                         "SELECT (SELECT count(*) FROM twin_r), (SELECT count(*) FROM twin_k0),"
                         " (SELECT count(*) FROM twin_k1),"
                         " (SELECT k FROM twin_k0 ORDER BY k DESC LIMIT 1)");
    if (PQresultStatus(r) == PGRES_TUPLES_OK && PQntuples(r) == 1) {
      long long counts[3];
      for (int i = 0; i < 3; ++i)
        counts[i] = std::atoll(PQgetvalue(r, 0, i));
      // The key in bytea's text form: \x and eight hex digits.
      const char *k = PQgetvalue(r, 0, 3);
      if (counts[0] == counts[1] && counts[0] == counts[2] && std::strlen(k) == 10) {
        *records = counts[0];
        *last = KeyOfBits(static_cast<uint32_t>(std::strtoul(k + 2, nullptr, 16)));
      }
    }
    PQclear(r);
  }
};

Twin &TwinFile() {
  static Twin *t = new Twin();
  return *t;
}

// ---- Get Equal

void BM_ServerGetEqual_Ours(benchmark::State &state) {
  GetEqualThrough(state, OurFile().pb, kRecords);
}

void BM_ServerGetEqual_Twin(benchmark::State &state) {
  Twin &t = TwinFile();
  std::mt19937 rng(1);
  uint8_t data[kRecordLength + 1];
  const std::string one = Be64(1);
  for (auto _ : state) {
    int32_t k = static_cast<int32_t>(rng() % kRecords);
    PGresult *r = t.Run("equal", {EncodeKey(k), one});
    if (PQntuples(r) != 1 || PQgetlength(r, 0, 3) != kRecordLength) {
      state.SkipWithError("select");
    } else {
      std::memcpy(data, PQgetvalue(r, 0, 3), kRecordLength);
      if (GetI32(data) != k) state.SkipWithError("wrong record");
    }
    PQclear(r);
  }
}

// ---- Get Next: the first kWalk records along key 0, one call each.

void BM_ServerGetNext_Ours(benchmark::State &state) {
  Ours &f = OurFile();
  uint8_t data[kRecordLength + 1], key[4];
  Digest d;
  for (auto _ : state) {
    d = Digest{};
    uint32_t len = sizeof data;
    int rc = BTRCALL(B_GET_FIRST, f.pb, data, &len, key, 4, 0);
    for (int i = 0; rc == 0 && i < kWalk; ++i) {
      d.Add(data, kRecordLength - 4);
      len = sizeof data;
      if (i + 1 < kWalk) rc = BTRCALL(B_GET_NEXT, f.pb, data, &len, key, 4, 0);
    }
  }
  if (d.count != kWalk) state.SkipWithError("walk: wrong count");
  Agree(state, "GetNext", d);
  state.SetItemsProcessed(state.iterations() * kWalk);
}

void BM_ServerGetNext_Twin(benchmark::State &state) {
  Twin &t = TwinFile();
  uint8_t data[kRecordLength + 1];
  Digest d;
  const std::string one = Be64(1);
  for (auto _ : state) {
    d = Digest{};
    PGresult *r = t.Run("first", {one});
    for (int i = 0; PQntuples(r) == 1 && i < kWalk; ++i) {
      std::memcpy(data, PQgetvalue(r, 0, 3), kRecordLength);
      d.Add(data, kRecordLength - 4);
      if (i + 1 == kWalk) break;
      std::string k(PQgetvalue(r, 0, 0), PQgetlength(r, 0, 0));
      std::string seq(PQgetvalue(r, 0, 1), 8);
      PQclear(r);
      r = t.Run("after", {k, seq, one});
    }
    PQclear(r);
  }
  if (d.count != kWalk) state.SkipWithError("walk: wrong count");
  Agree(state, "GetNext", d);
  state.SetItemsProcessed(state.iterations() * kWalk);
}

// ---- Get Next Extended: 1,000 records whose category is 7, two fields of each. The twin
// filters on the server, in one statement.

void BM_ServerGetNextExtended_Ours(benchmark::State &state) {
  Ours &f = OurFile();
  ExtendedReadThrough(state, f.pb, "GetNextExtended");
}

void BM_ServerGetNextExtended_Twin(benchmark::State &state) {
  Twin &t = TwinFile();
  uint8_t out[12];
  const std::string seven("\x07\0\0\0", 4), limit = Be64(kExtendedMatches);
  Digest d;
  for (auto _ : state) {
    d = Digest{};
    PGresult *r = t.Run("extended", {seven, limit});
    for (int i = 0; i < PQntuples(r); ++i) {
      std::memcpy(out, PQgetvalue(r, i, 0), 4);
      std::memcpy(out + 4, PQgetvalue(r, i, 1), 8);
      d.Add(out, 12);
    }
    PQclear(r);
    if (d.count != kExtendedMatches) {
      state.SkipWithError("select");
      break;
    }
  }
  Agree(state, "GetNextExtended", d);
  state.SetItemsProcessed(state.iterations() * kExtendedMatches);
}

// ---- Inserts: transactions of 1,000 records, keys above the file's.

int32_t InsertKey(int64_t i) {
  return kRecords +
         static_cast<int32_t>((static_cast<uint64_t>(i + 1) * 2654435761u) & ((1u << 30) - 1));
}

// Transactions of kInsertBatch records through `side`, keys never used before on that side.
template <typename Side>
void InsertTransactionsThrough(benchmark::State &state, Side &side) {
  static int64_t next = 0;                // one count per side
  static int32_t highest = kRecords - 1;  // key
  std::vector<int32_t> keys(kInsertBatch);
  for (auto _ : state) {
    for (int i = 0; i < kInsertBatch; ++i) {
      keys[i] = InsertKey(next++);
      highest = std::max(highest, keys[i]);
    }
    side.Insert(keys.data(), keys.size());
  }
  CheckInserted(state, "server inserts", side, kRecords + next, highest);
  state.SetItemsProcessed(state.iterations() * kInsertBatch);
}

void BM_ServerInsertTransaction_Ours(benchmark::State &state) {
  InsertTransactionsThrough(state, OurFile());
}

void BM_ServerInsertTransaction_Twin(benchmark::State &state) {
  InsertTransactionsThrough(state, TwinFile());
}

// ---- Eight client processes updating random records under wait locks for ten seconds:
// every update they report must be in the file, none may be lost.

void BM_ServerEightClientsLockedUpdates(benchmark::State &state) {
  constexpr int kClients = 8, kHot = 1000;
  const std::string path = Directory() + "/counters.btr";
  for (auto _ : state) {
    {
      uint8_t pb[128] = {};
      CreateTwoKeyFile(path, pb);
      uint32_t len = 0;
      uint8_t r[kRecordLength], key[4];
      BTRCALL(B_BEGIN_TRAN, nullptr, nullptr, &len, nullptr, 0, 0);
      for (int k = 0; k < kHot; ++k) {
        MakeRecord(k, r);
        PutI32(r + kCounterOffset, 0);
        len = kRecordLength;
        BTRCALL(B_INSERT, pb, r, &len, key, 4, -1);
      }
      BTRCALL(B_END_TRAN, nullptr, nullptr, &len, nullptr, 0, 0);
      BTRCALL(B_CLOSE, pb, nullptr, &len, nullptr, 0, 0);
    }
    // The children open the file themselves; what this process has open on the server stays
    // its own (a child never uses an inherited connection).
    std::vector<pid_t> pids;
    std::vector<int> pipes;
    auto start = std::chrono::steady_clock::now();
    for (int c = 0; c < kClients; ++c) {
      int fds[2];
      if (pipe(fds) != 0) abort();
      pid_t pid = fork();
      if (pid == 0) {
        close(fds[0]);
        uint8_t pb[128] = {}, data[kRecordLength], key[4];
        uint32_t len = 0;
        if (BTRCALL(B_OPEN, pb, nullptr, &len, const_cast<char *>(path.c_str()), 0, 0) != 0)
          _exit(2);
        std::mt19937 rng(static_cast<unsigned>(c) + 1);
        long done = 0, failed = 0;
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < end) {
          PutI32(key, static_cast<int32_t>(rng() % kHot));
          len = kRecordLength;
          if (BTRCALL(int{B_GET_EQUAL} + B_SINGLE_WAIT_LOCK, pb, data, &len, key, 4, 0) != 0) {
            ++failed;
            continue;
          }
          PutI32(data + kCounterOffset, GetI32(data + kCounterOffset) + 1);
          len = kRecordLength;
          if (BTRCALL(B_UPDATE, pb, data, &len, key, 4, 0) == 0)
            ++done;
          else
            ++failed;
        }
        BTRCALL(B_CLOSE, pb, nullptr, &len, nullptr, 0, 0);
        dprintf(fds[1], "%ld %ld\n", done, failed);
        _exit(0);
      }
      close(fds[1]);
      pids.push_back(pid);
      pipes.push_back(fds[0]);
    }
    long reported = 0, failures = 0;
    for (int c = 0; c < kClients; ++c) {
      char buf[64] = {};
      ssize_t n = read(pipes[c], buf, sizeof buf - 1);
      long done = 0, failed = 0;
      if (n > 0) std::sscanf(buf, "%ld %ld", &done, &failed);
      reported += done;
      failures += failed;
      close(pipes[c]);
      int status = 0;
      waitpid(pids[c], &status, 0);
      if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) state.SkipWithError("a client failed");
    }
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // Every counter summed: each reported update exactly once.
    uint8_t pb[128] = {}, data[kRecordLength], key[4];
    uint32_t len = 0;
    BTRCALL(B_OPEN, pb, nullptr, &len, const_cast<char *>(path.c_str()), 0, 0);
    long sum = 0;
    len = kRecordLength;
    for (int rc = BTRCALL(B_STEP_FIRST, pb, data, &len, key, 4, 0); rc == 0;
         rc = BTRCALL(B_STEP_NEXT, pb, data, &len, key, 4, 0), len = kRecordLength)
      sum += GetI32(data + kCounterOffset);
    BTRCALL(B_CLOSE, pb, nullptr, &len, nullptr, 0, 0);
    if (sum != reported) {
      std::fprintf(stderr, "lost updates: %ld reported, %ld in the file\n", reported, sum);
      state.SkipWithError("lost updates");
    }
    state.counters["updates_per_s"] = static_cast<double>(reported) / seconds;
    state.counters["updates"] = static_cast<double>(reported);
    state.counters["refused"] = static_cast<double>(failures);
  }
}

BENCHMARK(BM_ServerGetEqual_Ours)->UseRealTime();
BENCHMARK(BM_ServerGetEqual_Twin)->UseRealTime();
BENCHMARK(BM_ServerGetNext_Ours)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ServerGetNext_Twin)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ServerGetNextExtended_Ours)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ServerGetNextExtended_Twin)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ServerInsertTransaction_Ours)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ServerInsertTransaction_Twin)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ServerEightClientsLockedUpdates)
    ->UseRealTime()
    ->Unit(benchmark::kSecond)
    ->Iterations(1);

}  // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  // The benchmark's own configuration: the scratch directory lives on the private server.
  std::string config = benchdata::MakeScratchDirectory("zelko-server-bench-config");
  setenv("ZELKO_CONFIG_DIR", config.c_str(), 1);
  zelko_testing::PrivatePostgres server;
  if (!server.Start()) {
    std::fprintf(stderr, "server_bench: %s\n", server.Error().c_str());
    // Without a server installed there is nothing to measure (bench/run goes on without it).
    return server.Error().rfind("no PostgreSQL server installed", 0) == 0 ? 0 : 1;
  }
  g_server = &server;
  zplatform::WritePrivateProfileString("servers", Directory().c_str(), server.Conninfo().c_str(),
                                       "zelko.ini");
  // Both files loaded and the planner's statistics fresh on both sides before any timing.
  OurFile();
  TwinFile();
  PGconn *c = PQconnectdb(server.Conninfo().c_str());
  PQclear(PQexec(c, "VACUUM ANALYZE; CHECKPOINT"));
  PQfinish(c);
  benchmark::RunSpecifiedBenchmarks();
  BTRRELEASE();
  benchmark::Shutdown();
  return 0;
}
