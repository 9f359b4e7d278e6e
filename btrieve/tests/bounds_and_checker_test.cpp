// Buffers of exactly the size given are never read or written past (AddressSanitizer
// watches), and the checker finds what is wrong with a damaged file and nothing wrong with a
// sound one that another process is writing.
#include <gtest/gtest.h>

#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <memory>

#include "btr_test_util.h"
#include "check.h"
#include "child_process.h"
#include "zelko_test_env.h"

namespace {

using namespace btrtest;
constexpr uint16_t kExt = B_KEY_EXTENDED_TYPE;

// A heap block of exactly n bytes, so any access past it is reported.
struct Exact {
  explicit Exact(size_t n, char fill = 0) : size(n), p(new uint8_t[n ? n : 1]) {
    std::memset(p.get(), fill, n);
  }
  size_t size;
  std::unique_ptr<uint8_t[]> p;
};

// Records of 12 bytes: a unique integer key (bytes 1-4) and a duplicates key (5-12).
int16_t CreateTwoKeyFile(const std::string &path) {
  return Create(
      path, CreateBuffer(12, 512, {{{1, 4, kExt, B_TYPE_INTEGER}}, {{5, 8, B_KEY_DUPLICATES}}}));
}

int16_t Call(int op, PosBlock &pb, Exact &data, Exact &key, int8_t key_number) {
  uint32_t len = static_cast<uint32_t>(data.size);
  return BTRCALL(static_cast<uint16_t>(op), pb.b, data.p.get(), &len, key.p.get(),
                 static_cast<uint8_t>(key.size), key_number);
}

TEST(Bounds, ExactBuffersEverywhere) {
  std::string path = Scratch("exact.btr");
  ASSERT_EQ(CreateTwoKeyFile(path), 0);
  PosBlock pb;
  ASSERT_EQ(Open(pb, path), 0);
  for (int i = 0; i < 3; ++i)
    ASSERT_EQ(Insert(pb, Le32(i) + "ABCDEFGH"), 0);
  Exact rec(12), key4(4), key8(8), key3(3), small(5), none(0);
  EXPECT_EQ(Call(B_GET_FIRST, pb, rec, key4, 0), 0);
  EXPECT_EQ(Call(B_GET_FIRST, pb, rec, key3, 0), B_KEYBUF_TOO_SHORT);
  EXPECT_EQ(Call(B_GET_NEXT, pb, small, key4, 0), B_DATALENGTH_ERROR);  // partial record
  std::memcpy(key8.p.get(), "ABCDEFGH", 8);
  EXPECT_EQ(Call(B_GET_EQUAL, pb, rec, key8, 1), 0);
  EXPECT_EQ(Call(B_GET_GE, pb, rec, key3, 0), B_KEYBUF_TOO_SHORT);
  EXPECT_EQ(Call(B_STEP_FIRST, pb, small, none, 0), B_DATALENGTH_ERROR);
  Exact pos(4), pos3(3);
  EXPECT_EQ(Call(B_GET_POSITION, pb, pos3, none, 0), B_DATALENGTH_ERROR);
  EXPECT_EQ(Call(B_GET_POSITION, pb, pos, none, 0), 0);
  EXPECT_EQ(Call(B_GET_DIRECT, pb, pos3, none, 0), B_DATALENGTH_ERROR);
  Exact stat(16 + 32 - 1);
  EXPECT_EQ(Call(B_STAT, pb, stat, none, 0), B_DATALENGTH_ERROR);
  Exact stat_ok(16 + 32);
  EXPECT_EQ(Call(B_STAT, pb, stat_ok, none, 0), 0);
  Exact ver(4), ver5(5);
  EXPECT_EQ(Call(B_VERSION, pb, ver, none, 0), B_DATALENGTH_ERROR);
  EXPECT_EQ(Call(B_VERSION, pb, ver5, none, 0), 0);
  Exact insert11(11), insert12(12, 'q'), pct(1);
  EXPECT_EQ(Call(B_INSERT, pb, insert11, key4, 0), B_DATALENGTH_ERROR);
  EXPECT_EQ(Call(B_INSERT, pb, insert12, key3, 0), B_KEYBUF_TOO_SHORT);
  EXPECT_EQ(Call(B_INSERT, pb, insert12, key4, 0), 0);
  EXPECT_EQ(Call(B_GET_BY_PERCENTAGE, pb, pct, key4, 0), B_DATALENGTH_ERROR);
  Exact find(3);
  EXPECT_EQ(Call(B_FIND_PERCENTAGE, pb, find, key4, 0), B_DATALENGTH_ERROR);
  // Null buffers with a length of zero.
  uint32_t zero = 0;
  EXPECT_EQ(BTRCALL(B_GET_FIRST, pb.b, nullptr, &zero, nullptr, 0, 0), B_KEYBUF_TOO_SHORT);
  EXPECT_EQ(BTRCALL(B_INSERT, pb.b, nullptr, &zero, nullptr, 0, 0), B_DATALENGTH_ERROR);
  EXPECT_EQ(BTRCALL(B_STAT, pb.b, nullptr, nullptr, nullptr, 0, 0), B_DATALENGTH_ERROR);
  EXPECT_EQ(BTRCALL(B_OPEN, nullptr, nullptr, &zero, nullptr, 0, 0), B_POSBLOCK_LENGTH);
  Close(pb);
}

TEST(Transactions, StatusesOfBeginEndAbort) {
  uint32_t len = 0;
  EXPECT_EQ(BTRCALL(B_END_TRAN, nullptr, nullptr, &len, nullptr, 0, 0), B_END_TRANSACTION_ERROR);
  EXPECT_EQ(BTRCALL(B_ABORT_TRAN, nullptr, nullptr, &len, nullptr, 0, 0), B_END_TRANSACTION_ERROR);
  EXPECT_EQ(BTRCALL(B_BEGIN_TRAN, nullptr, nullptr, &len, nullptr, 0, 0), 0);
  EXPECT_EQ(BTRCALL(B_BEGIN_TRAN, nullptr, nullptr, &len, nullptr, 0, 0), B_TRANSACTION_IS_ACTIVE);
  EXPECT_EQ(BTRCALL(B_BEGIN_CONCURRENT_TRAN, nullptr, nullptr, &len, nullptr, 0, 0),
            B_TRANSACTION_IS_ACTIVE);
  EXPECT_EQ(BTRCALL(B_END_TRAN, nullptr, nullptr, &len, nullptr, 0, 0), 0);
  EXPECT_EQ(BTRCALL(B_BEGIN_CONCURRENT_TRAN + 500, nullptr, nullptr, &len, nullptr, 0, 0), 0);
  EXPECT_EQ(BTRCALL(B_ABORT_TRAN, nullptr, nullptr, &len, nullptr, 0, 0), 0);
  EXPECT_EQ(BTRCALL(B_BEGIN_TRAN + 500, nullptr, nullptr, &len, nullptr, 0, 0), B_INVALID_FUNCTION);
}

// A sound two-key file of five records (keys 0 to 4, all with the same second key).
void MakeFiveRecords(const std::string &path) {
  ASSERT_EQ(CreateTwoKeyFile(path), 0);
  PosBlock pb;
  ASSERT_EQ(Open(pb, path), 0);
  for (int i = 0; i < 5; ++i)
    ASSERT_EQ(Insert(pb, Le32(i) + "ABCDEFGH"), 0);
  Close(pb);
}

TEST(Checker, FindsDamage) {
  std::string path = Scratch("damaged.btr");
  ASSERT_NO_FATAL_FAILURE(MakeFiveRecords(path));
  PosBlock pb;
  std::vector<std::string> problems;
  ASSERT_TRUE(btr::CheckFile(path, &problems));
  // The check leaves a file at rest as it found it: no journal beside it.
  EXPECT_FALSE(std::filesystem::exists(path + "-wal"));
  EXPECT_FALSE(std::filesystem::exists(path + "-shm"));
  sqlite3 *db;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  // A lost key entry, a stray entry and a record changed behind the keys' back.
  sqlite3_exec(db,
               "DELETE FROM k1 WHERE pos = 2; INSERT INTO k0 VALUES(x'80000063', 0, 99);"
               "UPDATE r SET data = x'0300000041424344454647ff' WHERE pos = 4",
               nullptr, nullptr, nullptr);
  sqlite3_close(db);
  problems.clear();
  EXPECT_FALSE(btr::CheckFile(path, &problems));
  EXPECT_GE(problems.size(), 3u);
  // Stray key tables are named, whatever their numbers.
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  sqlite3_exec(db,
               "CREATE TABLE k99999999999999999999(k BLOB); CREATE TABLE k01(k BLOB);"
               "CREATE TABLE k2(k BLOB)",
               nullptr, nullptr, nullptr);
  sqlite3_close(db);
  problems.clear();
  EXPECT_FALSE(btr::CheckFile(path, &problems));
  for (const char *stray : {"k99999999999999999999", "k01", "k2"}) {
    EXPECT_NE(std::find(problems.begin(), problems.end(),
                        "index " + std::string(stray) + " belongs to no key"),
              problems.end())
        << stray;
  }
  problems.clear();
  EXPECT_FALSE(btr::CheckFile(Scratch("none.btr"), &problems));
  zelko_testing::WriteFile(Scratch("text.btr"), std::string(1000, 'x'));
  problems.clear();
  EXPECT_FALSE(btr::CheckFile(Scratch("text.btr"), &problems));

  // A file cut short (a copy that stopped half-way): refused by an open, named by the check.
  ASSERT_EQ(Open(pb, path), 0);
  for (int i = 5; i < 500; ++i)
    ASSERT_EQ(Insert(pb, Le32(i) + "ABCDEFGH"), 0);
  Close(pb);
  std::filesystem::resize_file(path, std::filesystem::file_size(path) / 2);
  EXPECT_EQ(Open(pb, path), B_IO_ERROR);
  problems.clear();
  EXPECT_FALSE(btr::CheckFile(path, &problems));
  ASSERT_FALSE(problems.empty());
  EXPECT_EQ(problems[0].rfind("the file is cut short: the file holds ", 0), 0u) << problems[0];
}

// Each entry is matched against the record it names: entries pointing at each other's
// records, a second entry for one record and a record whose key changed are each named.
TEST(Checker, NamesEveryEntryThatNamesAnotherRecord) {
  std::string path = Scratch("crossed.btr");
  ASSERT_NO_FATAL_FAILURE(MakeFiveRecords(path));
  sqlite3 *db;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db,
                         "UPDATE k0 SET pos = 3 - pos WHERE pos IN (1, 2);"
                         "INSERT INTO k1 SELECT k, 77, pos FROM k1 WHERE pos = 3;"
                         "UPDATE r SET data = (SELECT data FROM r WHERE pos = 5) WHERE pos = 4",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  std::vector<std::string> problems;
  EXPECT_FALSE(btr::CheckFile(path, &problems));
  std::sort(problems.begin(), problems.end());
  EXPECT_EQ(problems, (std::vector<std::string>{
                          "key 0 holds an entry for record 1 that does not match it",
                          "key 0 holds an entry for record 2 that does not match it",
                          "key 0 holds an entry for record 4 that does not match it",
                          "key 0 misses 3 record(s)",
                          "key 1 holds an entry for record 3 that does not match it",
                      }));
}

// A record and its key entries are written in one commit; a check that read them at two
// moments saw records without entries or entries without records.
TEST(Checker, AFileAnotherProcessIsWritingIsSeenAsItStandsAtOneMoment) {
  std::string path = Scratch("busy.btr");
  ASSERT_EQ(CreateTwoKeyFile(path), 0);
  zelko_testing::Child writer = zelko_testing::Spawn([&](int report, int) {
    PosBlock pb;
    if (Open(pb, path) != 0) return 1;
    zelko_testing::Say(report, "open");
    for (int i = 0; i < 20000; ++i) {
      if (Insert(pb, Le32(i) + "ABCDEFG" + static_cast<char>('A' + i % 26)) != 0) return 2;
    }
    return 0;
  });
  ASSERT_EQ(zelko_testing::Hear(writer.from_child), "open");
  int checks = 0;
  std::vector<std::string> problems;
  // Until the writer is done (seen without reaping it), and at least three times.
  auto writing = [&] {
    siginfo_t info{};
    return waitid(P_PID, static_cast<id_t>(writer.pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           info.si_pid == 0;
  };
  for (; checks < 3 || writing(); ++checks) {
    if (!btr::CheckFile(path, &problems)) break;
  }
  EXPECT_TRUE(problems.empty()) << checks << " checks; the first problem: " << problems[0];
  kill(writer.pid, SIGKILL);
  zelko_testing::Wait(writer);
  EXPECT_GT(checks, 3);  // some of them while the writer wrote
}

}  // namespace
