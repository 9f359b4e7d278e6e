// No lost updates and no silent changes: locked read-modify-write across processes, the
// conflict status for writers that read without a lock, header operations inside a
// transaction, and damaged records that must give a status rather than be read past.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstring>
#include <ctime>

#include "btr_test_util.h"
#include "child_process.h"
#include "zelko_test_env.h"
#include "zplatform/profile.h"

namespace {

using namespace btrtest;
using namespace zelko_testing;
constexpr uint16_t kExt = B_KEY_EXTENDED_TYPE;

// 16-byte records: id (key 0, unique), a counter (4 bytes), a name (8 bytes).
std::string Rec(int id, int counter, const std::string &name = "") {
  return Le32(id) + Le32(counter) + Pad(name, 8);
}
int CounterOf(const std::string &rec) {
  int v;
  std::memcpy(&v, rec.data() + 4, 4);
  return v;
}

void CreateCounters(const std::string &path, int records) {
  ASSERT_EQ(Create(path, CreateBuffer(16, 1024, {{{1, 4, kExt, B_TYPE_INTEGER}}})), 0);
  PosBlock pb;
  ASSERT_EQ(Open(pb, path), 0);
  for (int id = 1; id <= records; ++id)
    ASSERT_EQ(Insert(pb, Rec(id, 0, "rec")), 0);
  Close(pb);
}

int16_t Read(PosBlock &pb, int id, std::string *rec, int bias = 0) {
  std::string data(16, '\0'), key = Le32(id);
  int16_t rc = Op(B_GET_EQUAL + bias, pb, data, key, 0);
  if (rec) *rec = data;
  return rc;
}

int16_t Write(PosBlock &pb, int op, const std::string &rec) {
  std::string data = rec, key(4, '\0');
  return Op(op, pb, data, key, 0);
}

int CountRecords(const std::string &path) {
  PosBlock pb;
  if (Open(pb, path) != 0) return -1;
  int n = 0;
  std::string data(16, '\0'), key(4, '\0');
  for (int16_t rc = Op(B_STEP_FIRST, pb, data, key, 0); rc == 0;
       rc = Op(B_STEP_NEXT, pb, data, key, 0)) {
    ++n;
    data.assign(16, '\0');
  }
  Close(pb);
  return n;
}

// Increments record 1 `rounds` times with the lock bias given, retrying refusals; the exit
// status says what went wrong.
int Incrementer(const std::string &path, int bias, int rounds) {
  PosBlock pb;
  if (Open(pb, path) != 0) return 1;
  for (int i = 0; i < rounds; ++i) {
    time_t give_up = time(nullptr) + 60;
    for (;;) {
      std::string rec;
      int16_t rc = Read(pb, 1, &rec, bias);
      if (rc == B_RECORD_INUSE && time(nullptr) < give_up) continue;
      if (rc != 0) return 2;
      rec = Rec(1, CounterOf(rec) + 1, "rec");
      if (Write(pb, B_UPDATE, rec) != 0) return 3;
      if (bias >= B_MULTIPLE_WAIT_LOCK) {
        std::string none, key(1, '\0');
        if (Op(B_UNLOCK, pb, none, key, -2) != 0) return 4;
      }
      break;
    }
  }
  Close(pb);
  return 0;
}

TEST(DataSafety, LockedReadModifyWriteAcrossProcessesLosesNothing) {
  std::string path = Scratch("increments.btr");
  CreateCounters(path, 1);
  constexpr int kRounds = 400;
  // Single and multiple wait locks against each other, then a no-wait lock against a wait.
  for (auto [a, b] : {std::pair{B_SINGLE_WAIT_LOCK, B_MULTIPLE_WAIT_LOCK},
                      std::pair{B_SINGLE_NOWAIT_LOCK, B_SINGLE_WAIT_LOCK}}) {
    PosBlock pb;
    ASSERT_EQ(Open(pb, path), 0);
    std::string rec;
    ASSERT_EQ(Read(pb, 1, &rec), 0);
    int before = CounterOf(rec);
    Close(pb);
    Child one = Spawn([&, a = a](int, int) { return Incrementer(path, a, kRounds); });
    Child two = Spawn([&, b = b](int, int) { return Incrementer(path, b, kRounds); });
    EXPECT_EQ(Wait(one), 0);
    EXPECT_EQ(Wait(two), 0);
    ASSERT_EQ(Open(pb, path), 0);
    ASSERT_EQ(Read(pb, 1, &rec), 0);
    EXPECT_EQ(CounterOf(rec), before + 2 * kRounds) << "biases " << a << " and " << b;
    Close(pb);
  }
}

TEST(DataSafety, AWaitLockReturnsTheRecordAsTheLockFindsIt) {
  std::string path = Scratch("waited.btr");
  CreateCounters(path, 1);
  // The child asks for the record with a wait lock while this process holds it.
  Child waiter = Spawn([&](int report, int signal) {
    PosBlock mine;
    if (Open(mine, path) != 0) return 1;
    Hear(signal);
    Say(report, "asking");
    std::string got;
    if (Read(mine, 1, &got, B_SINGLE_WAIT_LOCK) != 0) return 2;
    Say(report, std::to_string(CounterOf(got)));
    return 0;
  });
  PosBlock pb;
  ASSERT_EQ(Open(pb, path), 0);
  std::string rec;
  ASSERT_EQ(Read(pb, 1, &rec, B_SINGLE_NOWAIT_LOCK), 0);
  Say(waiter.to_child, "go");
  ASSERT_EQ(Hear(waiter.from_child), "asking");
  usleep(300 * 1000);                                    // the child is waiting for the lock by now
  ASSERT_EQ(Write(pb, B_UPDATE, Rec(1, 77, "rec")), 0);  // releases the single lock
  EXPECT_EQ(Hear(waiter.from_child), "77");
  EXPECT_EQ(Wait(waiter), 0);
  Close(pb);
}

TEST(DataSafety, UnlockedWritersGetConflictInsteadOfOverwriting) {
  std::string path = Scratch("conflict.btr");
  CreateCounters(path, 3);
  Child other = Spawn([&](int report, int signal) {
    PosBlock theirs;
    if (Open(theirs, path) != 0) return 1;
    Hear(signal);
    std::string r;
    if (Read(theirs, 1, &r) != 0 || Write(theirs, B_UPDATE, Rec(1, 5, "theirs")) != 0) return 2;
    Say(report, "updated");
    return 0;
  });
  PosBlock pb;
  ASSERT_EQ(Open(pb, path), 0);
  std::string rec, pos_before(4, '\0'), key(4, '\0');
  ASSERT_EQ(Read(pb, 1, &rec), 0);
  ASSERT_EQ(Op(B_GET_POSITION, pb, pos_before, key, 0), 0);
  Say(other.to_child, "go");
  ASSERT_EQ(Hear(other.from_child), "updated");
  ASSERT_EQ(Wait(other), 0);
  // Record 1 changed since this block read it: Update and Delete refuse and change nothing.
  EXPECT_EQ(Write(pb, B_UPDATE, Rec(1, 9, "mine")), B_CONFLICT);
  EXPECT_EQ(Write(pb, B_DELETE, rec), B_CONFLICT);
  std::string pos_after(4, '\0');
  ASSERT_EQ(Op(B_GET_POSITION, pb, pos_after, key, 0), 0);
  EXPECT_EQ(pos_after, pos_before);  // the currency stays on the record
  PosBlock look;
  ASSERT_EQ(Open(look, path), 0);
  std::string stored;
  ASSERT_EQ(Read(look, 1, &stored), 0);
  EXPECT_EQ(stored, Rec(1, 5, "theirs"));
  // Read again, the update goes through.
  ASSERT_EQ(Read(pb, 1, &rec), 0);
  EXPECT_EQ(Write(pb, B_UPDATE, Rec(1, 6, "mine")), 0);
  EXPECT_EQ(Write(pb, B_UPDATE, Rec(1, 7, "mine")), 0);  // its own write is no conflict
  // Another block of this process counts as another writer too.
  ASSERT_EQ(Read(look, 3, &rec), 0);
  ASSERT_EQ(Read(pb, 3, &rec), 0);
  ASSERT_EQ(Write(look, B_UPDATE, Rec(3, 1, "look")), 0);  // another block of this process
  EXPECT_EQ(Write(pb, B_UPDATE, Rec(3, 2, "pb")), B_CONFLICT);
  ASSERT_EQ(Read(look, 3, &stored), 0);
  EXPECT_EQ(stored, Rec(3, 1, "look"));
  Close(look);
  Close(pb);
}

TEST(DataSafety, ADeletedRecordGivesConflict) {
  std::string path = Scratch("deleted.btr");
  CreateCounters(path, 2);
  PosBlock pb, other;
  ASSERT_EQ(Open(pb, path), 0);
  ASSERT_EQ(Open(other, path), 0);
  std::string rec;
  ASSERT_EQ(Read(pb, 2, &rec), 0);
  ASSERT_EQ(Read(other, 2, &rec), 0);
  ASSERT_EQ(Write(other, B_DELETE, rec), 0);
  EXPECT_EQ(Write(pb, B_UPDATE, Rec(2, 1)), B_CONFLICT);
  EXPECT_EQ(Write(pb, B_DELETE, rec), B_CONFLICT);
  Close(other);
  Close(pb);
  EXPECT_EQ(CountRecords(path), 1);
}

TEST(DataSafety, AWriterWaitsOutAnotherProcessTransactionOnItsRecords) {
  std::string path = Scratch("txlock.btr");
  CreateCounters(path, 2);
  ASSERT_TRUE(
      zplatform::WritePrivateProfileString("wbtrv32", "lock_wait_seconds", "1", "zelko.ini"));
  // The child updates record 1 inside a transaction and holds it open.
  Child tx = Spawn([&](int report, int signal) {
    PosBlock pb;
    if (Open(pb, path) != 0) return 1;
    std::string r;
    if (Call0(B_BEGIN_TRAN) != 0) return 2;
    if (Read(pb, 1, &r) != 0 || Write(pb, B_UPDATE, Rec(1, 50, "tx")) != 0) return 3;
    Say(report, "written");
    Hear(signal);
    return Call0(B_END_TRAN) == 0 ? 0 : 4;
  });
  ASSERT_EQ(Hear(tx.from_child), "written");
  PosBlock pb;
  ASSERT_EQ(Open(pb, path), 0);
  std::string rec;
  // The record the transaction wrote stays locked to others until it ends.
  EXPECT_EQ(Read(pb, 1, &rec, B_SINGLE_NOWAIT_LOCK), B_RECORD_INUSE);
  ASSERT_EQ(Read(pb, 1, &rec), 0);
  EXPECT_EQ(CounterOf(rec), 0);  // not committed yet
  EXPECT_EQ(Write(pb, B_UPDATE, Rec(1, 60)), B_RECORD_INUSE);
  // Another record of the file: the write waits for the transaction, up to the limit.
  ASSERT_EQ(Read(pb, 2, &rec), 0);
  EXPECT_EQ(Write(pb, B_UPDATE, Rec(2, 60)), B_FILE_INUSE);
  Say(tx.to_child, "end");
  EXPECT_EQ(Wait(tx), 0);
  ASSERT_EQ(Read(pb, 1, &rec, B_SINGLE_WAIT_LOCK), 0);
  EXPECT_EQ(CounterOf(rec), 50);
  Close(pb);
}

TEST(DataSafety, OwnerOperationsLeaveTheCallersTransactionWhole) {
  std::string path = Scratch("owner_tx.btr");
  CreateCounters(path, 0);
  PosBlock pb;
  ASSERT_EQ(Open(pb, path), 0);
  for (int op : {B_SET_OWNER, B_CLEAR_OWNER}) {
    ASSERT_EQ(Call0(B_BEGIN_TRAN), 0);
    ASSERT_EQ(Insert(pb, Rec(10, 1)), 0);
    std::string owner = "secret";
    owner.push_back('\0');
    std::string key = owner;
    EXPECT_EQ(Op(op, pb, owner, key, 0), B_OPERATION_NOT_ALLOWED);
    ASSERT_EQ(Insert(pb, Rec(11, 1)), 0);
    ASSERT_EQ(Call0(B_ABORT_TRAN), 0);
    EXPECT_EQ(CountRecords(path), 0) << "operation " << op;
  }
  // Outside a transaction they work as before.
  std::string owner = "secret";
  owner.push_back('\0');
  std::string key = owner;
  EXPECT_EQ(Op(B_SET_OWNER, pb, owner, key, 0), 0);
  std::string none, nokey;
  EXPECT_EQ(Op(B_CLEAR_OWNER, pb, none, nokey, 0), 0);
  Close(pb);
}

// Rewrites the stored bytes of the record at `pos` behind the record manager's back.
void StoreRaw(const std::string &path, int pos, const std::string &bytes) {
  sqlite3 *db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  sqlite3_stmt *s = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db, "UPDATE r SET data = ?1 WHERE pos = ?2", -1, &s, nullptr),
            SQLITE_OK);
  sqlite3_bind_blob(s, 1, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
  sqlite3_bind_int(s, 2, pos);
  EXPECT_EQ(sqlite3_step(s), SQLITE_DONE);
  sqlite3_finalize(s);
  sqlite3_close(db);
}

TEST(DataSafety, ADamagedRecordGivesAStatusAndNoKeyIsBuiltFromIt) {
  std::string path = Scratch("damaged.btr");
  ASSERT_EQ(Create(path, CreateBuffer(16, 1024,
                                      {{{1, 4, kExt, B_TYPE_INTEGER}},
                                       {{9, 8, B_KEY_DUPLICATES | B_KEY_MODIFIABLE}}})),
            0);
  PosBlock pb;
  ASSERT_EQ(Open(pb, path), 0);
  for (int id = 1; id <= 3; ++id)
    ASSERT_EQ(Insert(pb, Rec(id, id, "name")), 0);
  std::string rec;
  ASSERT_EQ(Read(pb, 2, &rec), 0);
  StoreRaw(path, 2, std::string("\x02\0\0", 3));  // cut to 3 bytes
  // Update and Delete read the stored record first: it is damaged, nothing is written.
  EXPECT_EQ(Write(pb, B_UPDATE, Rec(2, 9, "other")), B_IO_ERROR);
  EXPECT_EQ(Write(pb, B_DELETE, rec), B_IO_ERROR);
  // Every read that meets it says so; walks end.
  std::string data(16, '\0'), key(4, '\0');
  EXPECT_EQ(Read(pb, 2, &data), B_IO_ERROR);
  int16_t rc = Op(B_STEP_FIRST, pb, data, key, 0);
  int steps = 0;
  while (rc == 0 && steps < 10) {
    ++steps;
    rc = Op(B_STEP_NEXT, pb, data, key, 0);
  }
  EXPECT_EQ(rc, B_IO_ERROR);
  EXPECT_EQ(steps, 1);  // record 1, then the damage
  std::string pos = Le32(2) + std::string(12, '\0');
  EXPECT_EQ(Op(B_GET_DIRECT, pb, pos, key, -1), B_IO_ERROR);
  // Longer than the fixed length is damage too.
  StoreRaw(path, 2, Rec(2, 2, "name") + "extra");
  EXPECT_EQ(Read(pb, 2, &data), B_IO_ERROR);
  ASSERT_EQ(Read(pb, 3, &rec), 0);
  EXPECT_EQ(Write(pb, B_UPDATE, Rec(3, 30, "name")), 0);  // the sound records still work
  Close(pb);
}

}  // namespace

namespace {

bool Exists(const std::string &path) {
  return access(path.c_str(), F_OK) == 0;
}

TEST(DataSafety, DeletingAFileTakesItsJournalAndSparesFilesInUse) {
  std::string path = Scratch("gone.btr");
  EXPECT_EQ(BTRDELETEFILE(path.c_str()), B_FILE_NOT_FOUND);
  EXPECT_EQ(BTRDELETEFILE(zelko_testing::ScratchDir().c_str()), B_FILENAME_BAD);
  EXPECT_EQ(BTRDELETEFILE(""), B_FILENAME_BAD);
  EXPECT_EQ(BTRDELETEFILE(nullptr), B_FILENAME_BAD);
  CreateCounters(path, 3);
  // A process killed while it had the file open leaves its journal beside it.
  Child writer = Spawn([&](int report, int) {
    PosBlock pb;
    if (Open(pb, path) != 0 || Insert(pb, Rec(9, 9)) != 0) return 1;
    Say(report, "written");
    pause();
    return 0;
  });
  ASSERT_EQ(Hear(writer.from_child), "written");
  ASSERT_TRUE(Exists(path + "-wal"));
  EXPECT_EQ(BTRDELETEFILE(path.c_str()), B_FILE_INUSE);  // open in another process
  EXPECT_TRUE(Exists(path));
  kill(writer.pid, SIGKILL);
  Wait(writer);
  PosBlock pb;
  ASSERT_EQ(Open(pb, path), 0);
  EXPECT_EQ(BTRDELETEFILE(path.c_str()), B_FILE_INUSE);  // open in this process
  Close(pb);
  EXPECT_EQ(BTRDELETEFILE(path.c_str()), 0);
  EXPECT_FALSE(Exists(path));
  EXPECT_FALSE(Exists(path + "-wal"));
  EXPECT_FALSE(Exists(path + "-shm"));
  // A journal a killed process left is taken too.
  CreateCounters(path, 1);
  Child killed = Spawn([&](int report, int) {
    PosBlock pb;
    if (Open(pb, path) != 0 || Insert(pb, Rec(5, 5)) != 0) return 1;
    Say(report, "written");
    pause();
    return 0;
  });
  ASSERT_EQ(Hear(killed.from_child), "written");
  kill(killed.pid, SIGKILL);
  Wait(killed);
  ASSERT_TRUE(Exists(path + "-wal"));
  EXPECT_EQ(BTRDELETEFILE(path.c_str()), 0);
  EXPECT_FALSE(Exists(path + "-wal"));
  EXPECT_FALSE(Exists(path + "-shm"));
}

}  // namespace
