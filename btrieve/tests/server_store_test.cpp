// What only the server store meets: connection strings that reach nothing, a server that goes
// away under an open file, tables dropped behind the record manager, names SQL must never
// see as text, a client killed inside a transaction. Runs in the server suite only.
#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <signal.h>

#include <unistd.h>
#include <filesystem>
#include <string>

#include "btr_test_util.h"
#include "check.h"
#include "child_process.h"
#include "pg_store.h"
#include "private_postgres.h"
#include "zelko_test_env.h"
#include "zplatform/profile.h"

namespace {

using namespace btrtest;
using namespace zelko_testing;

#define SERVER_ONLY() \
  if (!OnServer()) GTEST_SKIP() << "runs against the server store"

std::vector<uint8_t> Spec() {
  return CreateBuffer(16, 4096,
                      {{{1, 4, B_KEY_EXTENDED_TYPE, B_TYPE_INTEGER}},
                       {{5, 8, B_KEY_DUPLICATES | B_KEY_MODIFIABLE, 0}}});
}
std::string Rec(int id, const std::string &name) {
  return Le32(id) + Pad(name, 8) + Le32(0);
}
int Count(const std::string &path) {
  PosBlock pb;
  if (Open(pb, path) != 0) return -1;
  std::string data(16, '\0'), key(4, '\0');
  int n = 0;
  for (int rc = Op(B_STEP_FIRST, pb, data, key, 0); rc == 0; rc = Op(B_STEP_NEXT, pb, data, key, 0))
    ++n;
  Close(pb);
  return n;
}

// Runs SQL on the test server directly (as someone else on the server would).
std::string Sql(const std::string &sql) {
  PGconn *c = PQconnectdb(TestServer()->Conninfo().c_str());
  PGresult *r = PQexec(c, sql.c_str());
  std::string out = PQntuples(r) > 0 ? PQgetvalue(r, 0, 0) : "";
  PQclear(r);
  PQfinish(c);
  return out;
}

TEST(ServerStore, ConnectionStringsThatReachNothing) {
  SERVER_ONLY();
  const std::string down = ScratchDir() + "/down", bad = ScratchDir() + "/bad";
  zplatform::WritePrivateProfileString("servers", down.c_str(),
                                       "host=/nonexistent/socket/dir port=1 dbname=x", "zelko.ini");
  zplatform::WritePrivateProfileString("servers", bad.c_str(), "this is = not a connection",
                                       "zelko.ini");
  PosBlock pb;
  EXPECT_EQ(Open(pb, down + "/A.BTR"), B_RECORD_MANAGER_INACTIVE);
  EXPECT_EQ(Create(down + "/A.BTR", Spec()), B_RECORD_MANAGER_INACTIVE);
  EXPECT_EQ(Open(pb, bad + "/A.BTR"), B_RECORD_MANAGER_INACTIVE);
  // The longest directory wins: the rest of the scratch directory still reaches the server.
  ASSERT_EQ(Create(Scratch("A.BTR"), Spec()), 0);
  EXPECT_EQ(Count(Scratch("A.BTR")), 0);
  EXPECT_FALSE(std::filesystem::exists(Scratch("A.BTR")));  // nothing on the local disk
}

TEST(ServerStore, NamesWithQuotesAndSpacesAreOnlyParameters) {
  SERVER_ONLY();
  const std::string path = Scratch("it's a \"file\"; DROP TABLE zelko_files; --.btr");
  ASSERT_EQ(Create(path, Spec()), 0);
  PosBlock pb;
  ASSERT_EQ(Open(pb, path), 0);
  ASSERT_EQ(Insert(pb, Rec(1, "O'Neil\"; --")), 0);
  std::string data(16, '\0'), key = Pad("O'Neil\"; --", 8);
  ASSERT_EQ(Op(B_GET_EQUAL, pb, data, key, 1), 0);
  EXPECT_EQ(data, Rec(1, "O'Neil\"; --"));
  Close(pb);
  // Found again without regard to letter case, as on a local disk.
  const std::string upper = Scratch("IT'S A \"FILE\"; DROP TABLE ZELKO_FILES; --.BTR");
  EXPECT_EQ(Count(upper), 1);
  // The name reached the catalog as bytes, the catalog is still there.
  EXPECT_EQ(Sql("SELECT count(*) FROM zelko_files WHERE position('DROP TABLE' in"
                " convert_from(path, 'UTF8')) > 0"),
            "1");
}

TEST(ServerStore, AServerThatGoesAwayGivesStatus95AndKeepsNothingHalfDone) {
  SERVER_ONLY();
  const std::string path = Scratch("LOST.BTR");
  ASSERT_EQ(Create(path, Spec()), 0);
  PosBlock pb;
  ASSERT_EQ(Open(pb, path), 0);
  ASSERT_EQ(Insert(pb, Rec(1, "kept")), 0);
  std::string none, key;
  ASSERT_EQ(Op(B_BEGIN_TRAN, pb, none, key, 0), 0);
  ASSERT_EQ(Insert(pb, Rec(2, "lost")), 0);
  ASSERT_EQ(Insert(pb, Rec(3, "lost")), 0);
  ASSERT_TRUE(TestServer()->Restart()) << TestServer()->Error();
  EXPECT_EQ(Insert(pb, Rec(4, "lost")), B_SESSION_NO_LONGER_VALID) << btr::LastServerError();
  EXPECT_EQ(Op(B_END_TRAN, pb, none, key, 0), B_SESSION_NO_LONGER_VALID);
  std::string data(16, '\0');
  key = Le32(1);
  EXPECT_EQ(Op(B_GET_EQUAL, pb, data, key, 0), B_SESSION_NO_LONGER_VALID);
  EXPECT_EQ(Close(pb), 0);
  // Opened again on a new session: the transaction left nothing behind.
  EXPECT_EQ(Count(path), 1);
  std::vector<std::string> problems;
  EXPECT_TRUE(btr::CheckFile(path, &problems)) << (problems.empty() ? "" : problems[0]);
}

TEST(ServerStore, TablesDroppedBehindOurBackGiveAStatus) {
  SERVER_ONLY();
  const std::string path = Scratch("DROPPED.BTR");
  ASSERT_EQ(Create(path, Spec()), 0);
  PosBlock pb;
  ASSERT_EQ(Open(pb, path), 0);
  ASSERT_EQ(Insert(pb, Rec(1, "one")), 0);
  std::string id = Sql("SELECT max(id) FROM zelko_files");
  ASSERT_FALSE(id.empty());
  Sql("DROP TABLE zelko_r" + id + " CASCADE");
  std::string data(16, '\0'), key = Le32(1);
  EXPECT_EQ(Op(B_GET_EQUAL, pb, data, key, 0), B_IO_ERROR);
  EXPECT_EQ(Insert(pb, Rec(2, "two")), B_IO_ERROR);
  Close(pb);
  EXPECT_EQ(Open(pb, path), B_IO_ERROR);
  std::vector<std::string> problems;
  EXPECT_FALSE(btr::CheckFile(path, &problems));
  // Replacing it makes a sound empty file again.
  ASSERT_EQ(Create(path, Spec()), 0);
  EXPECT_EQ(Count(path), 0);
}

TEST(ServerStore, AClientKilledInsideATransactionLeavesNoChangeAndNoLock) {
  SERVER_ONLY();
  const std::string path = Scratch("KILLED.BTR");
  ASSERT_EQ(Create(path, Spec()), 0);
  {
    PosBlock pb;
    ASSERT_EQ(Open(pb, path), 0);
    ASSERT_EQ(Insert(pb, Rec(1, "one")), 0);
    Close(pb);
  }
  BTRRELEASE();  // the child starts with no connection of ours
  ASSERT_TRUE(
      zplatform::WritePrivateProfileString("wbtrv32", "lock_wait_seconds", "1", "zelko.ini"));
  Child child = Spawn([&](int report, int) {
    PosBlock pb;
    if (Open(pb, path) != 0) return 1;
    std::string none, key;
    if (Op(B_BEGIN_TRAN, pb, none, key, 0) != 0) return 2;
    std::string data(16, '\0');
    key = Le32(1);
    if (Op(int{B_GET_EQUAL} + B_SINGLE_NOWAIT_LOCK, pb, data, key, 0) != 0) return 3;
    for (int i = 2; i < 50; ++i)
      if (Insert(pb, Rec(i, "partial")) != 0) return 4;
    Say(report, "inside");
    pause();
    return 0;
  });
  ASSERT_EQ(Hear(child.from_child), "inside");
  PosBlock pb;
  ASSERT_EQ(Open(pb, path), 0);
  std::string data(16, '\0'), key = Le32(1);
  EXPECT_EQ(Op(int{B_GET_EQUAL} + B_SINGLE_NOWAIT_LOCK, pb, data, key, 0), B_RECORD_INUSE);
  EXPECT_EQ(Insert(pb, Rec(99, "waits")), B_FILE_INUSE);  // the file is the transaction's
  kill(child.pid, SIGKILL);
  Wait(child);
  // The server ends the session: the lock and the transaction's writes go with it.
  int rc = B_RECORD_INUSE;
  for (int i = 0; i < 100 && rc == B_RECORD_INUSE; ++i) {
    key = Le32(1);
    rc = Op(int{B_GET_EQUAL} + B_SINGLE_NOWAIT_LOCK, pb, data, key, 0);
    if (rc == B_RECORD_INUSE) usleep(50 * 1000);
  }
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(Insert(pb, Rec(99, "now")), 0);
  Close(pb);
  EXPECT_EQ(Count(path), 2);
}

}  // namespace
