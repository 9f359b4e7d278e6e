// Record manager speed, each case beside its raw-SQLite twin in the same run.
// Report: ours / raw for Get Equal, Get Next (half duplicates), Step Next and a transaction
// of inserts into a file with two keys.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "btrieve/btrapi.h"

namespace {

constexpr int kRecords = 100000;
constexpr int kRecordLength = 100;

std::string TempDir() {
  static std::string dir = [] {
    char tmpl[] = "/tmp/zelko-bench-XXXXXX";
    return std::string(mkdtemp(tmpl));
  }();
  return dir;
}

void PutI32(uint8_t *p, int32_t v) {
  std::memcpy(p, &v, 4);
}

std::vector<uint8_t> TwoKeySpec() {
  std::vector<uint8_t> b(16 + 32, 0);
  b[0] = kRecordLength;
  b[2] = 0x00;
  b[3] = 0x10;  // 4096
  b[4] = 2;
  // key 0: unique 4-byte integer at 1; key 1: 4-byte integer with duplicates at 5.
  uint8_t *k0 = b.data() + 16;
  k0[0] = 1;
  k0[2] = 4;
  k0[4] = 0x00;
  k0[5] = 0x01;
  k0[10] = B_TYPE_INTEGER;
  uint8_t *k1 = b.data() + 32;
  k1[0] = 5;
  k1[2] = 4;
  k1[4] = B_KEY_DUPLICATES;
  k1[5] = 0x01;
  k1[10] = B_TYPE_INTEGER;
  return b;
}

std::vector<uint8_t> Record(int i) {
  std::vector<uint8_t> r(kRecordLength, 'x');
  PutI32(r.data(), i);
  PutI32(r.data() + 4, i / 2);    // every value twice: half of the records are duplicates
  PutI32(r.data() + 8, i % 100);  // the category an extended read filters on
  return r;
}

struct BtrFixture {
  uint8_t pb[128] = {};
  std::string path;
  explicit BtrFixture(const std::string &name, int records) {
    path = TempDir() + "/" + name;
    std::vector<uint8_t> spec = TwoKeySpec();
    uint32_t len = static_cast<uint32_t>(spec.size());
    uint8_t tmp[128];
    BTRCALL(B_CREATE, tmp, spec.data(), &len, path.data(), 0, 0);
    len = 0;
    BTRCALL(B_OPEN, pb, nullptr, &len, path.data(), 0, 0);
    BTRCALL(B_BEGIN_TRAN, nullptr, nullptr, &len, nullptr, 0, 0);
    uint8_t key[4];
    for (int i = 0; i < records; ++i) {
      std::vector<uint8_t> r = Record(i);
      len = kRecordLength;
      BTRCALL(B_INSERT, pb, r.data(), &len, key, 4, -1);
    }
    BTRCALL(B_END_TRAN, nullptr, nullptr, &len, nullptr, 0, 0);
  }
  ~BtrFixture() {
    uint32_t len = 0;
    BTRCALL(B_CLOSE, pb, nullptr, &len, nullptr, 0, 0);
  }
};

struct RawFixture {
  sqlite3 *db = nullptr;
  explicit RawFixture(const std::string &name, int records) {
    std::string path = TempDir() + "/" + name;
    unlink(path.c_str());
    sqlite3_open(path.c_str(), &db);
    sqlite3_exec(db,
                 "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;"
                 "CREATE TABLE t(k INTEGER NOT NULL, d INTEGER NOT NULL, c INTEGER NOT NULL,"
                 " data BLOB NOT NULL);"
                 "CREATE UNIQUE INDEX tk ON t(k); CREATE INDEX td ON t(d);",
                 nullptr, nullptr, nullptr);
    Insert(0, records);
  }
  void Insert(int from, int count) {
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt *s;
    sqlite3_prepare_v2(db, "INSERT INTO t VALUES(?1, ?2, ?3, ?4)", -1, &s, nullptr);
    for (int i = from; i < from + count; ++i) {
      std::vector<uint8_t> r = Record(i);
      sqlite3_bind_int(s, 1, i);
      sqlite3_bind_int(s, 2, i / 2);
      sqlite3_bind_int(s, 3, i % 100);
      sqlite3_bind_blob(s, 4, r.data(), kRecordLength, SQLITE_TRANSIENT);
      sqlite3_step(s);
      sqlite3_reset(s);
    }
    sqlite3_finalize(s);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  }
  ~RawFixture() { sqlite3_close(db); }
};

BtrFixture &SharedBtr() {
  static BtrFixture f("read.btr", kRecords);
  return f;
}
RawFixture &SharedRaw() {
  static RawFixture f("read.sqlite", kRecords);
  return f;
}

void BM_GetEqual_Btrieve(benchmark::State &state) {
  BtrFixture &f = SharedBtr();
  std::mt19937 rng(1);
  uint8_t data[kRecordLength + 1];
  uint8_t key[4];
  for (auto _ : state) {
    PutI32(key, static_cast<int32_t>(rng() % kRecords));
    uint32_t len = sizeof data;
    if (BTRCALL(B_GET_EQUAL, f.pb, data, &len, key, 4, 0) != 0) state.SkipWithError("get equal");
  }
}
BENCHMARK(BM_GetEqual_Btrieve);

void BM_GetEqual_Sqlite(benchmark::State &state) {
  RawFixture &f = SharedRaw();
  std::mt19937 rng(1);
  sqlite3_stmt *s;
  sqlite3_prepare_v2(f.db, "SELECT k, d, data FROM t WHERE k = ?1", -1, &s, nullptr);
  uint8_t data[kRecordLength + 1];
  for (auto _ : state) {
    sqlite3_bind_int(s, 1, static_cast<int>(rng() % kRecords));
    if (sqlite3_step(s) != SQLITE_ROW) state.SkipWithError("select");
    std::memcpy(data, sqlite3_column_blob(s, 3), sqlite3_column_bytes(s, 3));
    sqlite3_reset(s);
  }
  sqlite3_finalize(s);
}
BENCHMARK(BM_GetEqual_Sqlite);

void BM_GetNextAll_Btrieve(benchmark::State &state) {
  BtrFixture &f = SharedBtr();
  uint8_t data[kRecordLength + 1];
  uint8_t key[4];
  for (auto _ : state) {
    int n = 0;
    uint32_t len = sizeof data;
    for (int rc = BTRCALL(B_GET_FIRST, f.pb, data, &len, key, 4, 1); rc == 0;
         rc = BTRCALL(B_GET_NEXT, f.pb, data, &len, key, 4, 1)) {
      ++n;
      len = sizeof data;
    }
    if (n != kRecords) state.SkipWithError("walk");
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_GetNextAll_Btrieve)->Unit(benchmark::kMillisecond);

void BM_GetNextAll_Sqlite(benchmark::State &state) {
  RawFixture &f = SharedRaw();
  sqlite3_stmt *s;
  sqlite3_prepare_v2(f.db, "SELECT k, d, data FROM t ORDER BY d", -1, &s, nullptr);
  uint8_t data[kRecordLength + 1];
  for (auto _ : state) {
    int n = 0;
    while (sqlite3_step(s) == SQLITE_ROW) {
      std::memcpy(data, sqlite3_column_blob(s, 2), sqlite3_column_bytes(s, 2));
      ++n;
    }
    sqlite3_reset(s);
    if (n != kRecords) state.SkipWithError("walk");
  }
  sqlite3_finalize(s);
  state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_GetNextAll_Sqlite)->Unit(benchmark::kMillisecond);

void BM_StepNextAll_Btrieve(benchmark::State &state) {
  BtrFixture &f = SharedBtr();
  uint8_t data[kRecordLength + 1];
  for (auto _ : state) {
    int n = 0;
    uint32_t len = sizeof data;
    for (int rc = BTRCALL(B_STEP_FIRST, f.pb, data, &len, nullptr, 0, 0); rc == 0;
         rc = BTRCALL(B_STEP_NEXT, f.pb, data, &len, nullptr, 0, 0)) {
      ++n;
      len = sizeof data;
    }
    if (n != kRecords) state.SkipWithError("step");
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_StepNextAll_Btrieve)->Unit(benchmark::kMillisecond);

void BM_StepNextAll_Sqlite(benchmark::State &state) {
  RawFixture &f = SharedRaw();
  sqlite3_stmt *s;
  sqlite3_prepare_v2(f.db, "SELECT rowid, data FROM t ORDER BY rowid", -1, &s, nullptr);
  uint8_t data[kRecordLength + 1];
  for (auto _ : state) {
    int n = 0;
    while (sqlite3_step(s) == SQLITE_ROW) {
      std::memcpy(data, sqlite3_column_blob(s, 1), sqlite3_column_bytes(s, 1));
      ++n;
    }
    sqlite3_reset(s);
    if (n != kRecords) state.SkipWithError("step");
  }
  sqlite3_finalize(s);
  state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_StepNextAll_Sqlite)->Unit(benchmark::kMillisecond);

// Get Next Extended, one term (category = 7) returning 1,000 of 100,000 records with two
// fields, against the SELECT that does the same.
void BM_GetNextExtended_Btrieve(benchmark::State &state) {
  BtrFixture &f = SharedBtr();
  std::vector<uint8_t> desc;
  auto u16 = [&](int v) {
    desc.push_back(static_cast<uint8_t>(v));
    desc.push_back(static_cast<uint8_t>(v >> 8));
  };
  u16(0);
  desc.push_back('U');
  desc.push_back('C');
  u16(0);  // reject count: no limit
  u16(1);  // one term
  desc.push_back(B_TYPE_INTEGER);
  u16(4);
  u16(8);
  desc.push_back(1);  // =
  desc.push_back(0);
  desc.insert(desc.end(), {7, 0, 0, 0});
  u16(1000);
  u16(2);
  u16(4), u16(0);   // id
  u16(8), u16(12);  // part of the record body
  desc[0] = static_cast<uint8_t>(desc.size());
  std::vector<uint8_t> buffer(2 + 1000 * (6 + 12));
  uint8_t data[kRecordLength + 1];
  uint8_t key[4];
  for (auto _ : state) {
    uint32_t len = sizeof data;
    BTRCALL(B_GET_FIRST, f.pb, data, &len, key, 4, 0);
    std::memcpy(buffer.data(), desc.data(), desc.size());
    len = static_cast<uint32_t>(buffer.size());
    int rc = BTRCALL(B_GET_NEXT_EXTENDED, f.pb, buffer.data(), &len, key, 4, 0);
    if ((rc != 0 && rc != B_END_OF_FILE) || (buffer[0] | buffer[1] << 8) != 1000) {
      state.SkipWithError("extended");
    }
  }
  state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(BM_GetNextExtended_Btrieve)->Unit(benchmark::kMillisecond);

void BM_GetNextExtended_Sqlite(benchmark::State &state) {
  RawFixture &f = SharedRaw();
  sqlite3_stmt *s;
  sqlite3_prepare_v2(f.db, "SELECT k, substr(data, 13, 8) FROM t WHERE c = 7 ORDER BY k LIMIT 1000",
                     -1, &s, nullptr);
  std::vector<uint8_t> out(1000 * 12);
  for (auto _ : state) {
    int n = 0;
    while (sqlite3_step(s) == SQLITE_ROW) {
      int k = sqlite3_column_int(s, 0);
      std::memcpy(&out[n * 12], &k, 4);
      std::memcpy(&out[n * 12 + 4], sqlite3_column_blob(s, 1), 8);
      ++n;
    }
    sqlite3_reset(s);
    if (n != 1000) state.SkipWithError("select");
  }
  sqlite3_finalize(s);
  state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(BM_GetNextExtended_Sqlite)->Unit(benchmark::kMillisecond);

constexpr int kBatch = 10000;

void BM_InsertTransaction_Btrieve(benchmark::State &state) {
  BtrFixture f("insert.btr", 0);
  int next = 0;
  uint8_t key[4];
  for (auto _ : state) {
    uint32_t len = 0;
    BTRCALL(B_BEGIN_TRAN, nullptr, nullptr, &len, nullptr, 0, 0);
    for (int i = 0; i < kBatch; ++i) {
      std::vector<uint8_t> r = Record(next++);
      len = kRecordLength;
      if (BTRCALL(B_INSERT, f.pb, r.data(), &len, key, 4, 0) != 0) state.SkipWithError("insert");
    }
    BTRCALL(B_END_TRAN, nullptr, nullptr, &len, nullptr, 0, 0);
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
}
BENCHMARK(BM_InsertTransaction_Btrieve)->Unit(benchmark::kMillisecond);

void BM_InsertTransaction_Sqlite(benchmark::State &state) {
  RawFixture f("insert.sqlite", 0);
  int next = 0;
  for (auto _ : state) {
    f.Insert(next, kBatch);
    next += kBatch;
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
}
BENCHMARK(BM_InsertTransaction_Sqlite)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
