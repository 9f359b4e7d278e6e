// Short keys kept as integers: the order of the bytes is kept, and files that keep every key
// as a blob (schema version 1) are read and written as they are.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <random>
#include <vector>

#include "btr_test_util.h"
#include "check.h"
#include "key_column.h"

namespace {

using namespace btrtest;

TEST(KeyColumn, IntegersOrderAsTheBytesDo) {
  std::mt19937 rng(7);
  for (size_t length = 1; length <= 8; ++length) {
    std::vector<std::string> keys;
    for (int i = 0; i < 2000; ++i) {
      std::string k(length, '\0');
      for (char &c : k)
        c = static_cast<char>(rng());
      if (i % 50 == 0) k.assign(length, i % 100 == 0 ? '\0' : '\xFF');  // the extremes
      keys.push_back(k);
    }
    for (size_t i = 1; i < keys.size(); ++i) {
      const std::string &a = keys[i - 1], &b = keys[i];
      int64_t ia = btr::KeyToInteger(a), ib = btr::KeyToInteger(b);
      ASSERT_EQ(a < b, ia < ib) << length;
      ASSERT_EQ(a == b, ia == ib) << length;
      std::string back(length, '?');
      btr::IntegerToKey(ia, length, back.data());
      ASSERT_EQ(back, a) << length;
    }
  }
  EXPECT_FALSE(btr::FitsIntegerColumn(0));
  EXPECT_FALSE(btr::FitsIntegerColumn(9));
}

// Rewrites a file as version 1 kept it: every key entry a blob.
void MakeVersionOne(const std::string &path) {
  sqlite3 *db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  for (const char *table : {"k0", "k1"}) {
    std::string sql = std::string("SELECT k, seq FROM ") + table;
    sqlite3_stmt *s = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr), SQLITE_OK);
    std::vector<std::pair<int64_t, int64_t>> rows;
    while (sqlite3_step(s) == SQLITE_ROW) {
      ASSERT_EQ(sqlite3_column_type(s, 0), SQLITE_INTEGER);
      rows.emplace_back(sqlite3_column_int64(s, 0), sqlite3_column_int64(s, 1));
    }
    sqlite3_finalize(s);
    sql = std::string("UPDATE ") + table + " SET k = ?1 WHERE k = ?2 AND seq = ?3";
    ASSERT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr), SQLITE_OK);
    for (auto [k, seq] : rows) {
      char bytes[4];
      btr::IntegerToKey(k, 4, bytes);
      sqlite3_bind_blob(s, 1, bytes, 4, SQLITE_TRANSIENT);
      sqlite3_bind_int64(s, 2, k);
      sqlite3_bind_int64(s, 3, seq);
      ASSERT_EQ(sqlite3_step(s), SQLITE_DONE);
      sqlite3_reset(s);
    }
    sqlite3_finalize(s);
  }
  ASSERT_EQ(sqlite3_exec(db, "PRAGMA user_version=1", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
}

int64_t Query(const std::string &path, const char *sql) {
  sqlite3 *db = nullptr;
  sqlite3_open(path.c_str(), &db);
  sqlite3_stmt *s = nullptr;
  int64_t v = -1;
  if (sqlite3_prepare_v2(db, sql, -1, &s, nullptr) == SQLITE_OK && sqlite3_step(s) == SQLITE_ROW)
    v = sqlite3_column_int64(s, 0);
  sqlite3_finalize(s);
  sqlite3_close(db);
  return v;
}

TEST(KeyColumn, VersionOneFilesKeepTheirBlobs) {
  std::string path = Scratch("version1.btr");
  // Key 0: a unique signed integer; key 1: four characters with duplicates.
  ASSERT_EQ(Create(path, CreateBuffer(8, 512,
                                      {{{1, 4, B_KEY_EXTENDED_TYPE, B_TYPE_INTEGER}},
                                       {{5, 4, B_KEY_DUPLICATES}}})),
            0);
  PosBlock pb;
  ASSERT_EQ(Open(pb, path), 0);
  for (int v : {5, -3, 900, 0})
    ASSERT_EQ(Insert(pb, Le32(v) + (v % 2 ? "ODD " : "EVEN")), 0);
  Close(pb);
  EXPECT_EQ(Query(path, "PRAGMA user_version"), 2);
  EXPECT_EQ(Query(path, "SELECT count(*) FROM k0 WHERE typeof(k) = 'integer'"), 4);
  MakeVersionOne(path);

  ASSERT_EQ(Open(pb, path), 0);
  ASSERT_EQ(Insert(pb, Le32(-70) + "ODD "), 0);
  ASSERT_EQ(Insert(pb, Le32(-70) + "ODD "), B_DUPLICATE_KEY_VALUE);
  std::string data(8, '\0'), key = Le32(0);
  std::vector<int32_t> order;
  for (int16_t s = Op(B_GET_FIRST, pb, data, key, 0); s == 0;
       s = Op(B_GET_NEXT, pb, data, key, 0)) {
    int32_t v;
    std::memcpy(&v, data.data(), 4);
    order.push_back(v);
  }
  EXPECT_EQ(order, (std::vector<int32_t>{-70, -3, 0, 5, 900}));
  key = "ODD ";
  ASSERT_EQ(Op(B_GET_EQUAL, pb, data, key, 1), 0);
  EXPECT_EQ(data.substr(4), "ODD ");
  Close(pb);
  // Still version 1, every entry a blob, and sound.
  EXPECT_EQ(Query(path, "PRAGMA user_version"), 1);
  EXPECT_EQ(Query(path, "SELECT count(*) FROM k0 WHERE typeof(k) = 'blob'"), 5);
  std::vector<std::string> problems;
  EXPECT_TRUE(btr::CheckFile(path, &problems)) << (problems.empty() ? "" : problems[0]);
}

}  // namespace
