// What only the server store meets: connection strings that reach nothing, a server that goes
// away under an open file, tables dropped behind the record manager, names SQL must never
// see as text, a client killed inside a transaction. Runs in the server suite only.
#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <signal.h>

#include <unistd.h>
#include <algorithm>
#include <filesystem>
#include <string>

#include "btr_test_util.h"
#include "check.h"
#include "child_process.h"
#include "dictionary_swap.h"
#include "file_copy.h"
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
  EXPECT_EQ(Create(upper, Spec(), -1), B_FILE_ALREADY_EXISTS);  // the same file
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

namespace {

using namespace btrtest;
using namespace zelko_testing;

std::string RunCopy(const std::string &from, const std::string &to, int *status) {
  return RunShell(std::string(BTRCOPY_PATH) + " '" + from + "' '" + to + "' 2>&1", status);
}

// Every record in physical order with its position, and key 1's order of positions.
std::string Walk(const std::string &path) {
  PosBlock pb;
  if (Open(pb, path, 0, "secret") != 0) return "no file";
  std::string out, data(16, '\0'), key(8, '\0'), pos(4, '\0');
  for (int rc = Op(B_STEP_FIRST, pb, data, key, 0); rc == 0;
       rc = Op(B_STEP_NEXT, pb, data, key, 0)) {
    Op(B_GET_POSITION, pb, pos, key, 0);
    out += std::to_string(static_cast<uint8_t>(pos[0]) | static_cast<uint8_t>(pos[1]) << 8) + ":" +
           data + ";";
  }
  out += "|";
  key.assign(8, '\0');
  for (int rc = Op(B_GET_FIRST, pb, data, key, 1); rc == 0; rc = Op(B_GET_NEXT, pb, data, key, 1))
    out += data.substr(0, 4) + ",";
  Close(pb);
  return out;
}

TEST(ServerStore, CopiesBetweenALocalFileAndTheServerKeepPositionsAndKeys) {
  SERVER_ONLY();
  const std::string local_dir = ConfigDir() + "/../local";
  std::filesystem::create_directories(local_dir);
  const std::string local = local_dir + "/ITEMS.BTR", server = Scratch("ITEMS.BTR"),
                    back = local_dir + "/BACK.BTR";
  ASSERT_EQ(Create(local, Spec()), 0);
  {
    PosBlock pb;
    ASSERT_EQ(Open(pb, local), 0);
    std::string data = "secret", key;
    for (int i = 1; i <= 3000; ++i)
      ASSERT_EQ(Insert(pb, Rec(i, "group" + std::to_string(i % 7))), 0);
    // Gaps and a retired highest position; duplicates whose order is not the positions'.
    std::string rec(16, '\0');
    for (int id : {5, 3000, 1200}) {
      key = Le32(id);
      ASSERT_EQ(Op(B_GET_EQUAL, pb, rec, key, 0), 0);
      ASSERT_EQ(Op(B_DELETE, pb, rec, key, 0), 0);
    }
    key = Le32(7);
    ASSERT_EQ(Op(B_GET_EQUAL, pb, rec, key, 0), 0);
    rec = Rec(7, "group0");
    ASSERT_EQ(Op(B_UPDATE, pb, rec, key, 0), 0);  // moves to the end of group0
    uint32_t len = 7;
    ASSERT_EQ(BTRCALL(B_SET_OWNER, pb.b, data.data(), &len, data.data(), 7, 0), 0);
    Close(pb);
  }
  const std::string before = Walk(local);
  ASSERT_GT(before.size(), 2997u * 20) << before.substr(0, 100);
  int status = 0;
  std::string out = RunCopy(local, server, &status);
  ASSERT_EQ(status, 0) << out;
  EXPECT_NE(out.find("2997 records"), std::string::npos) << out;
  EXPECT_EQ(Walk(server), before);
  PosBlock pb;
  EXPECT_EQ(Open(pb, server), B_BAD_OWNER);  // the owner came along
  // A copy over an existing file is refused and leaves it alone.
  out = RunCopy(local, server, &status);
  EXPECT_EQ(status, 1);
  EXPECT_NE(out.find("exists"), std::string::npos) << out;
  // Back to a local file: the same again, and a new record above every position used.
  out = RunCopy(server, back, &status);
  ASSERT_EQ(status, 0) << out;
  EXPECT_EQ(Walk(back), before);
  for (const std::string &path : {server, back}) {
    ASSERT_EQ(Open(pb, path, 0, "secret"), 0);
    ASSERT_EQ(Insert(pb, Rec(5000, "new")), 0);
    std::string pos(4, '\0'), key;
    ASSERT_EQ(Op(B_GET_POSITION, pb, pos, key, 0), 0);
    EXPECT_GT(static_cast<uint8_t>(pos[0]) | static_cast<uint8_t>(pos[1]) << 8, 3000) << path;
    Close(pb);
  }
  // A source that does not exist, a destination that cannot be made: nothing is left.
  out = RunCopy(Scratch("NONE.BTR"), local_dir + "/NONE.BTR", &status);
  EXPECT_EQ(status, 1);
  EXPECT_FALSE(std::filesystem::exists(local_dir + "/NONE.BTR"));
}

// Files where it lives (on this machine; on the server in the server run): one keyed only
// uniquely (its records keep no duplicate sequences) and one with a duplicates key.
TEST(Copy, AFileCopiesWhereItLivesWithItsRecordsAndKeys) {
  const std::vector<uint8_t> unique_only =
      CreateBuffer(16, 4096, {{{1, 4, B_KEY_EXTENDED_TYPE, B_TYPE_INTEGER}}});
  for (const auto &[name, spec] : {std::pair{"UNIQUE", unique_only}, std::pair{"DUPS", Spec()}}) {
    const std::string from = Scratch(std::string(name) + ".BTR"),
                      to = Scratch(std::string(name) + "-COPY.BTR");
    ASSERT_EQ(Create(from, spec), 0);
    PosBlock pb;
    ASSERT_EQ(Open(pb, from), 0);
    for (int i = 1; i <= 50; ++i)
      ASSERT_EQ(Insert(pb, Rec(i, "group" + std::to_string(i % 3))), 0);
    Close(pb);
    int status = 0;
    std::string out = RunCopy(from, to, &status);
    ASSERT_EQ(status, 0) << name << ": " << out;
    EXPECT_NE(out.find("50 records"), std::string::npos) << out;
    EXPECT_EQ(Walk(to), Walk(from)) << name;
  }
  // The copy takes its name only when whole: an interrupted one (or one killed) leaves no
  // file of that name, half-written or empty.
  const std::string many = Scratch("MANY.BTR"), to = Scratch("MANY-COPY.BTR");
  ASSERT_EQ(Create(many, Spec()), 0);
  PosBlock pb;
  ASSERT_EQ(Open(pb, many), 0);
  for (int i = 1; i <= 3000; ++i)
    ASSERT_EQ(Insert(pb, Rec(i, "group" + std::to_string(i % 3))), 0);
  Close(pb);
  const std::string temporary = to + ".copying." + std::to_string(getpid());
  btr::Store &store = btr::StoreFor(to);
  uint64_t identity = 0;
  int asked = 0;
  bool seen_before_its_time = false, temporary_seen = false;
  btr::CopyReport report;
  std::string why;
  EXPECT_EQ(btr::CopyDataFile(many, to, &report, &why,
                              [&] {
                                seen_before_its_time |= store.Identify(to, &identity) == 0;
                                temporary_seen |= store.Identify(temporary, &identity) == 0;
                                return ++asked == 2;
                              }),
            btr::kCopyInterrupted);
  EXPECT_EQ(why, "interrupted");
  EXPECT_EQ(asked, 2);
  EXPECT_TRUE(temporary_seen);
  EXPECT_FALSE(seen_before_its_time);
  EXPECT_NE(store.Identify(to, &identity), 0);
  EXPECT_NE(store.Identify(temporary, &identity), 0);
  // A report that cannot be written is a failure, said on standard error.
  const std::string from = Scratch("UNIQUE.BTR"), again = Scratch("UNIQUE-AGAIN.BTR");
  for (const std::string &command : {std::string(BTRCOPY_PATH) + " '" + from + "' '" + again + "'",
                                     std::string(BTRCHECK_PATH) + " '" + from + "'"}) {
    int status = 0;
    std::string out = RunShell(command + " 2>&1 >/dev/full", &status);
    EXPECT_EQ(status, 1) << command;
    EXPECT_NE(out.find(": cannot write the output"), std::string::npos) << out;
  }
}

}  // namespace

namespace {

using namespace btrtest;
using namespace zelko_testing;

// A directory that zelko.ini maps to the test server, never made on this machine.
std::string DirectoryOnServer(const std::string &name) {
  const std::string directory = ConfigDir() + "/../" + name;
  zplatform::WritePrivateProfileString("servers", directory.c_str(),
                                       TestServer()->Conninfo().c_str(), "zelko.ini");
  return directory;
}

std::string Tool(const std::string &command, int *status) {
  return RunShell(command + " 2>&1", status);
}

// A dictionary and its data on the server only, worked on by the unchanged tools.
TEST(ServerStore, TheToolsWorkOnADictionaryTheServerKeeps) {
  SERVER_ONLY();
  const std::string remote = DirectoryOnServer("shop-on-server");
  const std::string shop = std::string(ZELKO_SOURCE_DIR) + "/examples/shop";
  int status = 0;
  for (const char *ddf : {"FILE.DDF", "FIELD.DDF", "INDEX.DDF"}) {
    std::string out = Tool(
        std::string(BTRCOPY_PATH) + " " + shop + "/" + ddf + " " + remote + "/" + ddf, &status);
    ASSERT_EQ(status, 0) << out;
  }
  const std::string zelko = ZELKO_PATH;
  std::string out = Tool(zelko + " create " + remote + " --all", &status);
  ASSERT_EQ(status, 0) << out;
  out = Tool(zelko + " load " + remote + " CUSTOMER " + shop + "/data/CUSTOMER.csv", &status);
  ASSERT_EQ(status, 0) << out;
  out = Tool(zelko + " dump " + remote + " CUSTOMER", &status);
  ASSERT_EQ(status, 0) << out;
  const std::string csv = ReadFile(shop + "/data/CUSTOMER.csv");
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), std::count(csv.begin(), csv.end(), '\n'));
  EXPECT_NE(out.find("1,山田太郎,ヤマダタロウ,1975/04/12"), std::string::npos) << out;
  out = Tool(zelko + " check " + remote, &status);
  EXPECT_EQ(status, 0) << out;
#ifdef DICTEDIT_PATH
  // The editor saves the dictionary on the server (new files under scratch names, then
  // renamed over the old ones) and makes the new table's file there.
  out = Tool(std::string(DICTEDIT_PATH) + " --batch " + remote +
                 " add-table ITEM ITEM.btr \\; add-field ITEM CODE Integer 4 \\; add-index ITEM"
                 " CODE \\; create-files ITEM",
             &status);
  ASSERT_EQ(status, 0) << out;
  out = Tool(zelko + " tables " + remote, &status);
  EXPECT_NE(out.find("ITEM"), std::string::npos) << out;
  out = Tool(zelko + " check " + remote, &status);
  EXPECT_EQ(status, 0) << out;
  EXPECT_NE(out.find("ITEM: ok"), std::string::npos) << out;
#endif
  out = Tool(std::string(BTRCHECK_PATH) + " " + remote + "/CUSTOMER.btr", &status);
  EXPECT_EQ(status, 0) << out;
  EXPECT_FALSE(std::filesystem::exists(remote));
}

#ifdef DICTEDIT_PATH
// Editors in several processes on a dictionary the server keeps take turns through a lock on
// the server, and a new dictionary never replaces one already there.
TEST(ServerStore, EditorsOfADictionaryOnTheServerKeepEveryEdit) {
  SERVER_ONLY();
  const std::string remote = DirectoryOnServer("edited-on-server");
  const std::string dictedit = std::string(DICTEDIT_PATH) + " --batch " + remote;
  int status = 0;
  std::string out =
      Tool(dictedit + " new \\; add-table a a.btr \\; add-field a k Integer 4 \\; add-index a k",
           &status);
  ASSERT_EQ(status, 0) << out;
  out = Tool(dictedit + " new", &status);
  EXPECT_EQ(status, 1) << out;
  EXPECT_NE(out.find("already holds a dictionary"), std::string::npos) << out;
  const int kRuns = 4, kEditsEach = 3;
  std::string script;
  for (int r = 0; r < kRuns; ++r) {
    script += "(for i in 0 1 2; do " + dictedit + " add-field a f" + std::to_string(r) +
              "_$i Integer 4 >/dev/null 2>&1 || echo failed; done) & ";
  }
  EXPECT_EQ(Tool(script + "wait", &status), "");
  out = Tool(dictedit + " list", &status);
  ASSERT_EQ(status, 0) << out;
  int fields = 0;
  for (size_t at = out.find("  field "); at != std::string::npos; at = out.find("  field ", at + 1))
    ++fields;
  EXPECT_EQ(fields, 1 + kRuns * kEditsEach) << out;
  EXPECT_FALSE(std::filesystem::exists(remote));
}

// A save on the server whose FIELD.DDF cannot be replaced (a program has it open) replaces
// none of the three files.
TEST(ServerStore, ASaveOnTheServerReplacesAllThreeFilesOrNone) {
  SERVER_ONLY();
  const std::string remote = DirectoryOnServer("all-or-none");
  const std::string dictedit = std::string(DICTEDIT_PATH) + " --batch " + remote;
  const std::string edit = " add-table b b.btr \\; add-field b x Integer 4 \\; add-index b x";
  int status = 0;
  std::string out =
      Tool(dictedit + " new \\; add-table a a.btr \\; add-field a k Integer 4 \\; add-index a k",
           &status);
  ASSERT_EQ(status, 0) << out;
  PosBlock pb;
  ASSERT_EQ(Open(pb, remote + "/FIELD.DDF", -2), 0);
  out = Tool(dictedit + edit, &status);
  Close(pb);
  EXPECT_NE(status, 0) << out;
  EXPECT_NE(out.find("VE1017"), std::string::npos) << out;
  out = Tool(dictedit + " list", &status);
  ASSERT_EQ(status, 0) << out;
  EXPECT_EQ(out.find("B "), std::string::npos) << out;
  out = Tool(dictedit + edit, &status);
  ASSERT_EQ(status, 0) << out;
  out = Tool(dictedit + " list", &status);
  EXPECT_NE(out.find("B "), std::string::npos) << out;
  out = Tool(std::string(ZELKO_PATH) + " tables " + remote, &status);
  EXPECT_EQ(status, 0) << out;
}

// A save on the server whose process ended part-way: the next program to open the dictionary
// finishes it, or undoes it when the rest cannot go in (a file another program holds open).
TEST(ServerStore, ASaveOnTheServerEndedPartWayIsFinishedOrUndoneWhole) {
  SERVER_ONLY();
  const std::string remote = DirectoryOnServer("ended-on-server");
  const std::string dictedit = std::string(DICTEDIT_PATH) + " --batch ";
  const std::string zelko = std::string(ZELKO_PATH);
  const std::string scratch = dictio::ServerSaveScratch(remote);
  const std::string existing[3] = {remote + "/FILE.DDF", remote + "/FIELD.DDF",
                                   remote + "/INDEX.DDF"};
  const std::string table_a = " add-table a a.btr \\; add-field a k Integer 4 \\; add-index a k";
  int status = 0;
  std::string out = Tool(dictedit + remote + " new \\;" + table_a, &status);
  ASSERT_EQ(status, 0) << out;
  struct Interrupted {};
  struct Case {
    int stop;             // the step the save ends before
    bool field_held;      // another program holds the old FIELD.DDF open meanwhile
    bool new_dictionary;  // what the next program finds
  };
  // Step 2 sets FIELD.DDF aside, FILE.DDF being in place; step 4 sets INDEX.DDF aside.
  for (const Case c : {Case{2, false, true}, Case{2, true, false}, Case{4, false, true}}) {
    SCOPED_TRACE("ended before step " + std::to_string(c.stop) +
                 (c.field_held ? ", FIELD.DDF held" : ""));
    // The new dictionary, as a save writes it into its scratch directory: A and B.
    out = Tool(dictedit + scratch + " new \\;" + table_a +
                   " \\; add-table b b.btr \\; add-field b x Integer 4 \\; add-index b x",
               &status);
    ASSERT_EQ(status, 0) << out;
    EXPECT_THROW(dictio::SwapDictionaryFilesStepwise(scratch, existing, true,
                                                     [&](int step) {
                                                       if (step == c.stop) throw Interrupted{};
                                                     }),
                 Interrupted);
    PosBlock held;
    if (c.field_held) {
      ASSERT_EQ(Open(held, existing[1], -2), 0);
    }
    out = Tool(zelko + " tables " + remote, &status);
    if (c.field_held) Close(held);
    ASSERT_EQ(status, 0) << out;
    EXPECT_EQ(out.find("\tB\t") != std::string::npos, c.new_dictionary) << out;
    out = Tool(zelko + " fields " + remote + (c.new_dictionary ? " b" : " a"), &status);
    EXPECT_NE(out.find(c.new_dictionary ? "X" : "K"), std::string::npos) << out;
    EXPECT_FALSE(btrieve::FileIsThere((scratch + "/placing").c_str()));
    EXPECT_FALSE(btrieve::FileIsThere((scratch + "/restoring").c_str()));
    if (c.new_dictionary) out = Tool(dictedit + remote + " delete-table b", &status);
  }
}

// The editor finds a data file on the server as it finds one on the disk: it asks before
// replacing it, and converts its records when the table's layout changes.
TEST(ServerStore, TheEditorTreatsAServersDataFileAsALocalOne) {
  SERVER_ONLY();
  const std::string remote = DirectoryOnServer("data-on-server");
  const std::string dictedit = std::string(DICTEDIT_PATH) + " --batch ";
  const std::string zelko = ZELKO_PATH;
  int status = 0;
  std::string out = Tool(dictedit + remote +
                             " new \\; add-table a a.btr \\; add-field a k Integer 4 \\;"
                             " add-index a k \\; create-files a",
                         &status);
  ASSERT_EQ(status, 0) << out;
  const std::string csv = ConfigDir() + "/a.csv";
  WriteFile(csv, "K\n1\n2\n3\n");
  out = Tool(zelko + " load " + remote + " A " + csv, &status);
  ASSERT_EQ(status, 0) << out;
  out = Tool(dictedit + "--cancel " + remote + " create-files a", &status);
  EXPECT_NE(out.find("VE1041"), std::string::npos) << out;
  out = Tool(dictedit + remote + " add-field a name String 10", &status);
  ASSERT_EQ(status, 0) << out;
  out = Tool(zelko + " dump " + remote + " A", &status);
  EXPECT_EQ(out, "K,NAME\r\n1,\r\n2,\r\n3,\r\n");
  out = Tool(zelko + " check " + remote, &status);
  EXPECT_EQ(status, 0) << out;
  // A conversion that fails (the file has an owner the editor does not give) leaves the
  // records under the file's own name, as on the disk.
  PosBlock pb;
  const std::string file = remote + "/A.BTR";
  ASSERT_EQ(Open(pb, file), 0);
  std::string owner = std::string("SECRET") + '\0', owner_key = owner;
  ASSERT_EQ(Op(B_SET_OWNER, pb, owner, owner_key, 0), 0);
  Close(pb);
  out = Tool(dictedit + remote + " add-field a more Integer 4", &status);
  EXPECT_NE(status, 0) << out;
  ASSERT_EQ(Open(pb, file, 0, "SECRET"), 0);
  std::string data(64, '\0'), key(4, '\0');
  int records = 0;
  for (int rc = Op(B_STEP_FIRST, pb, data, key, 0); rc == 0; rc = Op(B_STEP_NEXT, pb, data, key, 0))
    ++records;
  Close(pb);
  EXPECT_EQ(records, 3);
  EXPECT_FALSE(std::filesystem::exists(remote));
}
#endif

}  // namespace
