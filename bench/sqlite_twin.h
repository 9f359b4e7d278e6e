// The raw-SQLite side of the record manager's benchmarks: a connection opened with the
// record manager's settings, and the twin of the two-key file (the same records in a table
// with the keys as indexed columns).
#pragma once

#include <sqlite3.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "record_workload.h"

namespace benchdata {

// The keys 0 .. n - 1 in the order both sides insert them.
inline const std::vector<int32_t> &ShuffledKeys(int n) {
  static std::map<int, std::vector<int32_t>> cache;
  auto &keys = cache[n];
  if (keys.empty()) {
    keys.resize(n);
    std::iota(keys.begin(), keys.end(), 0);
    std::shuffle(keys.begin(), keys.end(), std::mt19937(20261206));
  }
  return keys;
}

// ---- Raw SQLite: a connection opened as the record manager opens its files (one thread at a
// time, no mutex), with its connection settings.

// Another process's transaction is waited for with the record manager's pauses: 100 µs,
// doubling to 1 ms, for at most 10 s.
inline int ShortPauses(void *, int tries) {
  if (tries >= 10000) return 0;
  timespec pause = {0, (tries < 4 ? 100000L << tries : 1000000L)};
  nanosleep(&pause, nullptr);
  return 1;
}

struct SqliteFile {
  sqlite3 *db = nullptr;
  void Open(const std::string &path) {
    if (sqlite3_open_v2(path.c_str(), &db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK)
      abort();
    sqlite3_busy_handler(db, ShortPauses, nullptr);
    // The record manager's page cache: as much as the file, from 2 MiB to 64 MiB.
    struct stat st {};
    long long kib = stat(path.c_str(), &st) == 0 ? st.st_size / 1024 : 0;
    kib = std::clamp(kib, 2048LL, 65536LL);
    Exec(("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA mmap_size=268435456;"
          " PRAGMA cache_size=-" +
          std::to_string(kib))
             .c_str());
  }
  void Exec(const char *sql) {
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) abort();
  }
  sqlite3_stmt *Compile(const char *sql) {
    sqlite3_stmt *s = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &s, nullptr) != SQLITE_OK) abort();
    return s;
  }
  // The integers of the one row `sql` answers.
  std::vector<int64_t> Query(const char *sql) {
    sqlite3_stmt *s = Compile(sql);
    std::vector<int64_t> row;
    if (sqlite3_step(s) == SQLITE_ROW) {
      for (int i = 0; i < sqlite3_column_count(s); ++i)
        row.push_back(sqlite3_column_int64(s, i));
    }
    sqlite3_finalize(s);
    return row;
  }
  // A new file at `path` made by `schema`, filled with `keys`, then opened again as a program
  // that opens the file finds it.
  template <typename Side>
  static void Make(Side &side, const std::string &path, const char *schema,
                   const std::vector<int32_t> &keys) {
    unlink(path.c_str());
    side.Open(path);
    side.Exec(schema);
    side.Prepare();
    side.Insert(keys.data(), keys.size());
    side.Finalize();
    sqlite3_close(side.db);
    side.Open(path);
    side.Prepare();
  }
};

// ---- The twin: the same records in an SQLite table with the keys as indexed columns.

struct Twin : SqliteFile {
  sqlite3_stmt *insert = nullptr;
  Twin(const std::string &path, const std::vector<int32_t> &keys) {
    Make(*this, path,
         "CREATE TABLE t(k INTEGER NOT NULL, d INTEGER NOT NULL, data BLOB NOT NULL);"
         "CREATE UNIQUE INDEX tk ON t(k); CREATE INDEX td ON t(d);",
         keys);
  }
  void Prepare() { insert = Compile("INSERT INTO t VALUES(?1, ?2, ?3)"); }
  void Tally(int64_t *records, int32_t *last) {
    std::vector<int64_t> row = Query("SELECT count(*), max(k) FROM t");
    *records = row.empty() ? -1 : row[0];
    *last = row.empty() ? -1 : static_cast<int32_t>(row[1]);
  }
  void Finalize() { sqlite3_finalize(insert); }
  void Insert(const int32_t *keys, size_t n) {
    Exec("BEGIN");
    uint8_t r[kRecordLength];
    for (size_t i = 0; i < n; ++i) {
      MakeRecord(keys[i], r);
      sqlite3_bind_int(insert, 1, keys[i]);
      sqlite3_bind_int(insert, 2, keys[i] / 2);
      sqlite3_bind_blob(insert, 3, r, kRecordLength, SQLITE_STATIC);
      if (sqlite3_step(insert) != SQLITE_DONE) abort();
      sqlite3_reset(insert);
    }
    Exec("COMMIT");
  }
  ~Twin() {
    Finalize();
    sqlite3_close(db);
  }
};

}  // namespace benchdata
