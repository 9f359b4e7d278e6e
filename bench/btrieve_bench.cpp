// Record manager speed, each case beside its raw-SQLite twin: BM_<Case>_Ours and
// BM_<Case>_Twin, at 100,000 and 1,000,000 records (bench/run pairs them and prints the
// ratios). The twin is what a careful developer would write on SQLite for the same job:
// the same connection settings, a table of the same 100-byte records with the two keys as
// indexed columns, the records inserted in the same shuffled key order (so neither side
// reads its table in key order by accident), every row copied out and checked. Both sides
// of a case must read the same records in the same order; a disagreement stops the run.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "btrieve/btrapi.h"
#include "record_workload.h"
#include "scratch_dir.h"
#include "sqlite_twin.h"

namespace {

using namespace benchdata;

constexpr int kInsertBatch = 10000;

const std::string &TempDir() {
  static const std::string dir = benchdata::MakeScratchDirectory("zelko-bench");
  return dir;
}

// Keys for inserts into a file that holds 0 .. n - 1: n + a bijection of [0, 2^30) (an odd
// multiplier), so unique and in no order.
int32_t InsertKey(int n, int64_t i) {
  return n + static_cast<int32_t>((static_cast<uint64_t>(i + 1) * 2654435761u) & ((1u << 30) - 1));
}

// ---- Our side: a Btrieve file with the two keys.

struct Ours {
  uint8_t pb[128] = {};
  Ours(const std::string &path, const std::vector<int32_t> &keys) {
    CreateTwoKeyFile(path, pb);
    Insert(keys.data(), keys.size());
    // Read as a program that opens the file finds it.
    uint32_t len = 0;
    BTRCALL(B_CLOSE, pb, nullptr, &len, nullptr, 0, 0);
    len = 0;
    std::string name = path;  // the key buffer is the caller's to write
    if (BTRCALL(B_OPEN, pb, nullptr, &len, name.data(), 0, 0) != 0) abort();
  }
  void Insert(const int32_t *keys, size_t n) { InsertThrough(pb, keys, n); }
  void Tally(int64_t *records, int32_t *last) { TallyThrough(pb, records, last); }
  ~Ours() {
    uint32_t len = 0;
    BTRCALL(B_CLOSE, pb, nullptr, &len, nullptr, 0, 0);
  }
};

// ---- The record manager's layout on raw SQLite: the statements it runs for an insert (the
// record, then an entry in each key's table, keys of up to 8 bytes kept as integers in the
// order of their encoded bytes) and nothing around them. Ours against it is what the record
// manager adds; it against the twin is what the layout costs.

struct LayoutTwin : SqliteFile {
  sqlite3_stmt *record = nullptr, *entry[2] = {};
  LayoutTwin(const std::string &path, const std::vector<int32_t> &keys) {
    Make(*this, path,
         "CREATE TABLE r(pos INTEGER PRIMARY KEY, data BLOB NOT NULL, seqs BLOB NOT NULL);"
         "CREATE TABLE k0(k BLOB NOT NULL, seq INTEGER NOT NULL, pos INTEGER NOT NULL,"
         " PRIMARY KEY(k, seq)) WITHOUT ROWID;"
         "CREATE TABLE k1(k BLOB NOT NULL, seq INTEGER NOT NULL, pos INTEGER NOT NULL,"
         " PRIMARY KEY(k, seq)) WITHOUT ROWID;",
         keys);
  }
  void Prepare() {
    record = Compile("INSERT INTO r(data, seqs) VALUES(?1, x'')");
    entry[0] = Compile("INSERT INTO k0 VALUES(?1, ?2, ?3)");
    entry[1] = Compile("INSERT INTO k1 VALUES(?1, ?2, ?3)");
  }
  void Finalize() {
    for (sqlite3_stmt *s : {record, entry[0], entry[1]})
      sqlite3_finalize(s);
  }
  // Every record has its two entries.
  void Tally(int64_t *records, int32_t *last) {
    std::vector<int64_t> row = Query(
        "SELECT (SELECT count(*) FROM r), (SELECT count(*) FROM k0), (SELECT count(*) FROM k1),"
        " (SELECT max(k) FROM k0)");
    bool whole = !row.empty() && row[0] == row[1] && row[0] == row[2];
    *records = whole ? row[0] : -1;
    *last = whole ? KeyOfBits(static_cast<uint32_t>(row[3])) : -1;
  }
  void Insert(const int32_t *keys, size_t n) {
    Exec("BEGIN");
    uint8_t r[kRecordLength];
    for (size_t i = 0; i < n; ++i) {
      MakeRecord(keys[i], r);
      sqlite3_bind_blob(record, 1, r, kRecordLength, SQLITE_STATIC);
      if (sqlite3_step(record) != SQLITE_DONE) abort();
      sqlite3_reset(record);
      const int64_t pos = sqlite3_last_insert_rowid(db);
      // The unique key's entries have sequence 0, the duplicates key's the record's position.
      const int64_t k[2] = {KeyBits(keys[i]), KeyBits(keys[i] / 2)}, seq[2] = {0, pos};
      for (int key = 0; key < 2; ++key) {
        sqlite3_bind_int64(entry[key], 1, k[key]);
        sqlite3_bind_int64(entry[key], 2, seq[key]);
        sqlite3_bind_int64(entry[key], 3, pos);
        if (sqlite3_step(entry[key]) != SQLITE_DONE) abort();
        sqlite3_reset(entry[key]);
      }
    }
    Exec("COMMIT");
  }
  ~LayoutTwin() {
    Finalize();
    sqlite3_close(db);
  }
};

template <typename Side>
Side &Shared(int n) {
  static std::map<int, std::unique_ptr<Side>> files;
  auto &f = files[n];
  if (!f) {
    std::string name = "read-" + std::to_string(n) + (std::is_same_v<Side, Ours> ? ".btr" : ".db");
    f = std::make_unique<Side>(TempDir() + "/" + name, ShuffledKeys(n));
  }
  return *f;
}

std::string CaseName(const char *name, int n) {
  return std::string(name) + "/" + std::to_string(n);
}

// ---- Get Equal: random keys, each record copied and its key checked.

void BM_GetEqual_Ours(benchmark::State &state) {
  const int n = static_cast<int>(state.range(0));
  GetEqualThrough(state, Shared<Ours>(n).pb, n);
}

void BM_GetEqual_Twin(benchmark::State &state) {
  const int n = static_cast<int>(state.range(0));
  Twin &f = Shared<Twin>(n);
  std::mt19937 rng(1);
  sqlite3_stmt *s;
  sqlite3_prepare_v2(f.db, "SELECT data FROM t WHERE k = ?1", -1, &s, nullptr);
  uint8_t data[kRecordLength + 1];
  for (auto _ : state) {
    int32_t k = static_cast<int32_t>(rng() % n);
    sqlite3_bind_int(s, 1, k);
    if (sqlite3_step(s) != SQLITE_ROW || sqlite3_column_bytes(s, 0) != kRecordLength) {
      state.SkipWithError("select");
    } else {
      std::memcpy(data, sqlite3_column_blob(s, 0), kRecordLength);
      if (GetI32(data) != k) state.SkipWithError("wrong record");
    }
    sqlite3_reset(s);
  }
  sqlite3_finalize(s);
}

// ---- Walks: every record along a key or in physical order, digested.

void WalkOurs(benchmark::State &state, const char *name, int first, int next, int key_number) {
  const int n = static_cast<int>(state.range(0));
  Ours &f = Shared<Ours>(n);
  uint8_t data[kRecordLength + 1], key[4];
  Digest d;
  for (auto _ : state) {
    d = Digest{};
    uint32_t len = sizeof data;
    for (int rc = BTRCALL(first, f.pb, data, &len, key, 4, key_number); rc == 0;
         rc = BTRCALL(next, f.pb, data, &len, key, 4, key_number)) {
      d.Add(data, 4);
      len = sizeof data;
    }
  }
  if (d.count != n) state.SkipWithError("walk: wrong count");
  Agree(state, CaseName(name, n), d);
  state.SetItemsProcessed(state.iterations() * n);
}

void WalkTwin(benchmark::State &state, const char *name, const char *sql) {
  const int n = static_cast<int>(state.range(0));
  Twin &f = Shared<Twin>(n);
  sqlite3_stmt *s;
  sqlite3_prepare_v2(f.db, sql, -1, &s, nullptr);
  uint8_t data[kRecordLength + 1];
  Digest d;
  for (auto _ : state) {
    d = Digest{};
    while (sqlite3_step(s) == SQLITE_ROW) {
      std::memcpy(data, sqlite3_column_blob(s, 0), kRecordLength);
      d.Add(data, 4);
    }
    sqlite3_reset(s);
  }
  sqlite3_finalize(s);
  if (d.count != n) state.SkipWithError("walk: wrong count");
  Agree(state, CaseName(name, n), d);
  state.SetItemsProcessed(state.iterations() * n);
}

void BM_GetNext_Ours(benchmark::State &state) {
  WalkOurs(state, "GetNext", B_GET_FIRST, B_GET_NEXT, 0);
}
void BM_GetNext_Twin(benchmark::State &state) {
  WalkTwin(state, "GetNext", "SELECT data FROM t ORDER BY k");
}
// Duplicates come in the order they were inserted: the rowid's order on the twin's side.
void BM_GetNextDuplicates_Ours(benchmark::State &state) {
  WalkOurs(state, "GetNextDuplicates", B_GET_FIRST, B_GET_NEXT, 1);
}
void BM_GetNextDuplicates_Twin(benchmark::State &state) {
  WalkTwin(state, "GetNextDuplicates", "SELECT data FROM t ORDER BY d, rowid");
}
void BM_StepNext_Ours(benchmark::State &state) {
  WalkOurs(state, "StepNext", B_STEP_FIRST, B_STEP_NEXT, 0);
}
void BM_StepNext_Twin(benchmark::State &state) {
  WalkTwin(state, "StepNext", "SELECT data FROM t ORDER BY rowid");
}

// ---- Get Next Extended: along key 0 from its first record, the first 1,000 records whose
// category bytes hold 7, two fields of each. The twin filters the same bytes.

void BM_GetNextExtended_Ours(benchmark::State &state) {
  const int n = static_cast<int>(state.range(0));
  Ours &f = Shared<Ours>(n);
  ExtendedReadThrough(state, f.pb, CaseName("GetNextExtended", n));
}

void BM_GetNextExtended_Twin(benchmark::State &state) {
  const int n = static_cast<int>(state.range(0));
  Twin &f = Shared<Twin>(n);
  sqlite3_stmt *s;
  sqlite3_prepare_v2(f.db,
                     "SELECT substr(data, 1, 4), substr(data, 13, 8) FROM t"
                     " WHERE substr(data, 9, 4) = x'07000000' ORDER BY k LIMIT 1000",
                     -1, &s, nullptr);
  uint8_t out[12];
  Digest d;
  for (auto _ : state) {
    d = Digest{};
    while (sqlite3_step(s) == SQLITE_ROW) {
      std::memcpy(out, sqlite3_column_blob(s, 0), 4);
      std::memcpy(out + 4, sqlite3_column_blob(s, 1), 8);
      d.Add(out, 12);
    }
    sqlite3_reset(s);
    if (d.count != kExtendedMatches) {
      state.SkipWithError("select");
      break;
    }
  }
  sqlite3_finalize(s);
  Agree(state, CaseName("GetNextExtended", n), d);
  state.SetItemsProcessed(state.iterations() * kExtendedMatches);
}

// ---- Inserts: batches of 10,000 in one transaction into a file of n records, keys spread
// over the integer range. A fixed number of batches, so both sides do the same work.

template <typename Side>
void InsertBatches(benchmark::State &state, const std::string &suffix) {
  const int n = static_cast<int>(state.range(0));
  // One file per case, side and size, growing by every batch of every repetition.
  struct File {
    std::unique_ptr<Side> side;
    int64_t next = 0;     // inserts so far
    int32_t highest = 0;  // key
  };
  static std::map<std::pair<int, std::string>, File> files;
  File &f = files[{n, suffix}];
  if (!f.side) {
    f.side = std::make_unique<Side>(TempDir() + "/insert-" + std::to_string(n) + suffix,
                                    ShuffledKeys(n));
    f.highest = n - 1;
  }
  std::vector<int32_t> keys(kInsertBatch);
  for (auto _ : state) {
    for (int i = 0; i < kInsertBatch; ++i) {
      keys[i] = InsertKey(n, f.next++);
      f.highest = std::max(f.highest, keys[i]);
    }
    f.side->Insert(keys.data(), keys.size());
  }
  CheckInserted(state, "insert-" + std::to_string(n) + suffix, *f.side, n + f.next, f.highest);
  state.SetItemsProcessed(state.iterations() * kInsertBatch);
}

void BM_InsertTransaction_Ours(benchmark::State &state) {
  InsertBatches<Ours>(state, ".btr");
}
void BM_InsertTransaction_Twin(benchmark::State &state) {
  InsertBatches<Twin>(state, ".db");
}
// The same inserts against the record manager's own statements on raw SQLite.
void BM_InsertLayout_Ours(benchmark::State &state) {
  InsertBatches<Ours>(state, "-layout.btr");
}
void BM_InsertLayout_Twin(benchmark::State &state) {
  InsertBatches<LayoutTwin>(state, "-layout.db");
}

void Sizes(benchmark::internal::Benchmark *b) {
  b->Arg(100000)->Arg(1000000);
}

BENCHMARK(BM_GetEqual_Ours)->Apply(Sizes);
BENCHMARK(BM_GetEqual_Twin)->Apply(Sizes);
BENCHMARK(BM_GetNext_Ours)->Apply(Sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GetNext_Twin)->Apply(Sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GetNextDuplicates_Ours)->Apply(Sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GetNextDuplicates_Twin)->Apply(Sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StepNext_Ours)->Apply(Sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StepNext_Twin)->Apply(Sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GetNextExtended_Ours)->Apply(Sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GetNextExtended_Twin)->Apply(Sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InsertTransaction_Ours)->Apply(Sizes)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_InsertTransaction_Twin)->Apply(Sizes)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_InsertLayout_Ours)->Apply(Sizes)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_InsertLayout_Twin)->Apply(Sizes)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
