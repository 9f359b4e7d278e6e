// A disk that fills up under a write. SQLite writes a transaction's pages to the journal
// when its page cache spills, and at its end; this program makes the spill happen at a
// chosen page read and that write fail as a full disk would (at every page an insert, update
// or delete reads, in turn), and fills the disk at a transaction's end, of one file and of
// each of two. The files must stay whole, a transaction must stay all or nothing, and the
// statuses must say what happened. A read that fails, of the file or of the journal another
// process keeps, gives 2 and never a wrong, skipped or repeated record.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "btr_test_util.h"

namespace {

using namespace btrtest;

// ---- A file system that fails on demand: a write for want of room, or a read -------------

bool g_fail_next_write = false;  // the next write finds no room; smaller ones after it fit
bool g_write_failed = false;
int g_reads_until_failure = -1;  // reads before the one that fails (-1: none fails)
bool g_read_failed = false;
sqlite3_vfs *g_real_vfs = nullptr;

std::string g_full_disk_of;  // every write to a file whose name holds this fails

struct FaultFile {
  sqlite3_file base;
  sqlite3_file *real;  // lives right after this struct
  const char *name;    // as SQLite gave it; lives while the file is open
};

sqlite3_file *Real(sqlite3_file *f) {
  return reinterpret_cast<FaultFile *>(f)->real;
}

// Every method but the faulty ones passes the call on to the real file.
template <auto kMethod, typename R, typename... A>
R Forward(sqlite3_file *f, A... args) {
  return (Real(f)->pMethods->*kMethod)(Real(f), args...);
}

// No read fails from now on; true when one failed since the last call.
bool DisarmReadFailure() {
  bool failed = g_read_failed;
  g_reads_until_failure = -1;
  g_read_failed = false;
  return failed;
}

int FaultRead(sqlite3_file *f, void *buf, int n, sqlite3_int64 at) {
  if (g_reads_until_failure >= 0 && g_reads_until_failure-- == 0) {
    g_read_failed = true;
    return SQLITE_IOERR_READ;
  }
  return Real(f)->pMethods->xRead(Real(f), buf, n, at);
}
int FaultWrite(sqlite3_file *f, const void *buf, int n, sqlite3_int64 at) {
  const char *name = reinterpret_cast<FaultFile *>(f)->name;
  if (!g_full_disk_of.empty() && name != nullptr && std::strstr(name, g_full_disk_of.c_str())) {
    g_write_failed = true;
    return SQLITE_FULL;
  }
  if (g_fail_next_write) {
    g_fail_next_write = false;
    g_write_failed = true;
    return SQLITE_FULL;
  }
  return Real(f)->pMethods->xWrite(Real(f), buf, n, at);
}
int FaultFetch(sqlite3_file *f, sqlite3_int64 at, int n, void **out) {
  if (g_reads_until_failure >= 0) {
    *out = nullptr;  // read through xRead, where the failure waits
    return SQLITE_OK;
  }
  return Real(f)->pMethods->xFetch(Real(f), at, n, out);
}

using M = sqlite3_io_methods;
const sqlite3_io_methods kFaultMethods = {3,
                                          Forward<&M::xClose>,
                                          FaultRead,
                                          FaultWrite,
                                          Forward<&M::xTruncate>,
                                          Forward<&M::xSync>,
                                          Forward<&M::xFileSize>,
                                          Forward<&M::xLock>,
                                          Forward<&M::xUnlock>,
                                          Forward<&M::xCheckReservedLock>,
                                          Forward<&M::xFileControl>,
                                          Forward<&M::xSectorSize>,
                                          Forward<&M::xDeviceCharacteristics>,
                                          Forward<&M::xShmMap>,
                                          Forward<&M::xShmLock>,
                                          Forward<&M::xShmBarrier>,
                                          Forward<&M::xShmUnmap>,
                                          FaultFetch,
                                          Forward<&M::xUnfetch>};

int FaultOpen(sqlite3_vfs *, sqlite3_filename name, sqlite3_file *f, int flags, int *out_flags) {
  auto *ff = reinterpret_cast<FaultFile *>(f);
  ff->real = reinterpret_cast<sqlite3_file *>(ff + 1);
  ff->name = name;
  int rc = g_real_vfs->xOpen(g_real_vfs, name, ff->real, flags, out_flags);
  ff->base.pMethods = ff->real->pMethods != nullptr ? &kFaultMethods : nullptr;
  return rc;
}

sqlite3_vfs g_fault_vfs;

// ---- Spills on demand: the page cache says it is full at the chosen page read ------------

sqlite3_pcache_methods2 g_real_cache;
int g_reads_until_spill = -1;  // page reads before the one that makes the cache spill
bool g_spilling = false;

int CachePagecount(sqlite3_pcache *cache) {
  // Above any spill threshold while a spill is asked for, so the cache writes a dirty page.
  return g_spilling ? 1 << 30 : g_real_cache.xPagecount(cache);
}

sqlite3_pcache_page *CacheFetch(sqlite3_pcache *cache, unsigned key, int create) {
  // Every page the pager reads comes here first with create 1; no page means "spill first".
  if (create == 1 && g_reads_until_spill >= 0) {
    if (g_reads_until_spill-- == 0) {
      g_spilling = true;
      g_fail_next_write = true;
      return nullptr;
    }
  }
  if (create == 2) g_spilling = false;
  return g_real_cache.xFetch(cache, key, create);
}

class FaultEnvironment : public testing::Environment {
 public:
  void SetUp() override {
    // Both are set before the library starts.
    sqlite3_shutdown();
    sqlite3_config(SQLITE_CONFIG_GETPCACHE2, &g_real_cache);
    sqlite3_pcache_methods2 cache = g_real_cache;
    cache.xPagecount = CachePagecount;
    cache.xFetch = CacheFetch;
    sqlite3_config(SQLITE_CONFIG_PCACHE2, &cache);
    ASSERT_EQ(sqlite3_initialize(), SQLITE_OK);
    g_real_vfs = sqlite3_vfs_find(nullptr);
    g_fault_vfs = *g_real_vfs;
    g_fault_vfs.zName = "zelko-fault";
    g_fault_vfs.szOsFile = static_cast<int>(sizeof(FaultFile)) + g_real_vfs->szOsFile;
    g_fault_vfs.xOpen = FaultOpen;
    g_fault_vfs.pNext = nullptr;
    ASSERT_EQ(sqlite3_vfs_register(&g_fault_vfs, 1), SQLITE_OK);
  }
};

const auto *const kEnvironment = testing::AddGlobalTestEnvironment(new FaultEnvironment);

// ---- The file: 16-byte records, id (key 0, unique), name (key 1, duplicates) -----------

constexpr uint16_t kExt = B_KEY_EXTENDED_TYPE;

std::string Rec(int id, const std::string &name) {
  return Le32(id) + Le32(0) + Pad(name, 8);
}

int16_t Call0(int op) {
  uint32_t len = 0;
  return BTRCALL(static_cast<uint16_t>(op), nullptr, nullptr, &len, nullptr, 0, 0);
}

// Every record, in the order of `op` along key `key` (-1: physical order).
std::vector<std::string> Walk(PosBlock &pb, int key) {
  std::vector<std::string> out;
  int first = key < 0 ? B_STEP_FIRST : B_GET_FIRST;
  int next = key < 0 ? B_STEP_NEXT : B_GET_NEXT;
  std::string data(16, '\0'), k(16, '\0');
  for (int16_t rc = Op(first, pb, data, k, static_cast<int8_t>(key < 0 ? 0 : key)); rc == 0;
       rc = Op(next, pb, data, k, static_cast<int8_t>(key < 0 ? 0 : key)))
    out.push_back(data);
  std::sort(out.begin(), out.end());
  return out;
}

void AddProblem(const char *problem, void *context) {
  static_cast<std::vector<std::string> *>(context)->push_back(problem);
}

// A file of 40 records (ids 1 to 40, names n0 to n4), open in `pb`.
void CreateFortyRecords(const std::string &path, PosBlock &pb) {
  ASSERT_EQ(
      Create(path,
             CreateBuffer(16, 4096,
                          {{{1, 4, kExt | B_KEY_MODIFIABLE, B_TYPE_INTEGER}},
                           {{9, 8, kExt | B_KEY_DUPLICATES | B_KEY_MODIFIABLE, B_TYPE_STRING}}})),
      0);
  ASSERT_EQ(Open(pb, path), 0);
  for (int id = 1; id <= 40; ++id)
    ASSERT_EQ(Insert(pb, Rec(id, "n" + std::to_string(id % 5))), 0);
}

enum class Write { kInsert, kUpdate, kDelete };

struct Case {
  Write write;
  bool in_transaction;
  std::string Name() const {
    const char *names[] = {"insert", "update", "delete"};
    return std::string(names[static_cast<int>(write)]) +
           (in_transaction ? " in a transaction" : " on its own");
  }
};

const Case kCases[] = {{Write::kInsert, true},  {Write::kUpdate, true},  {Write::kDelete, true},
                       {Write::kInsert, false}, {Write::kUpdate, false}, {Write::kDelete, false}};

// The write under test, on record 8 (positioned in `data` and `key`). In a transaction it
// follows the removal of id 7 and some inserts: the insert puts id 7 back, the update moves
// record 8 to id 7.
int16_t WriteUnderTest(PosBlock &pb, const Case &c, std::string &data, std::string &key) {
  if (c.write == Write::kInsert) return Insert(pb, Rec(c.in_transaction ? 7 : 50, "again"));
  if (c.write == Write::kDelete) return Op(B_DELETE, pb, data, key, 0);
  data = Rec(c.in_transaction ? 7 : 60, "moved");
  return Op(B_UPDATE, pb, data, key, 0);
}

// The file's own check finds nothing wrong.
void ExpectFileSound(const std::string &path) {
  std::vector<std::string> problems;
  EXPECT_EQ(BTRCHECKFILE(path.c_str(), AddProblem, &problems), 0)
      << (problems.empty() ? "" : problems[0]);
}

// The write under test, its spill failing at its `spill_at`th page read. True when the
// spill's write failed; *read_fewer when the write read fewer pages than that (it then ran
// to its end).
bool WriteFailingAt(PosBlock &pb, const Case &c, int spill_at, int16_t *status, bool *read_fewer) {
  *read_fewer = true;
  std::string data(16, '\0'), key = Le32(8);
  if (c.write != Write::kInsert) {
    *status = Op(B_GET_EQUAL, pb, data, key, 0);
    if (*status != 0) return false;
  }
  g_reads_until_spill = spill_at;
  *status = WriteUnderTest(pb, c, data, key);
  bool failed = g_write_failed;
  *read_fewer = g_reads_until_spill >= 0;
  g_reads_until_spill = -1;
  g_fail_next_write = g_write_failed = false;
  return failed;
}

TEST(DiskFull, AtEveryPageOfAWriteTheFileStaysWholeAndTheStatusSaysSo) {
  for (const Case &c : kCases) {
    static int files = 0;
    int failure_points = 0;
    for (int spill_at = 0;; ++spill_at) {
      SCOPED_TRACE(c.Name() + ", spill at page read " + std::to_string(spill_at));
      ASSERT_LT(spill_at, 1000) << "the write never ran out of pages to fail at";
      std::string path = Scratch("full" + std::to_string(++files) + ".btr");
      PosBlock pb;
      ASSERT_NO_FATAL_FAILURE(CreateFortyRecords(path, pb));
      const std::vector<std::string> before = Walk(pb, -1);

      int16_t status = 0;
      bool failed = false, read_fewer = false;
      if (c.in_transaction) {
        ASSERT_EQ(Call0(B_BEGIN_TRAN), 0);
        std::string data(16, '\0'), key = Le32(7);
        ASSERT_EQ(Op(B_GET_EQUAL, pb, data, key, 0), 0);
        ASSERT_EQ(Op(B_DELETE, pb, data, key, 0), 0);
        for (int id = 100; id < 120; ++id)
          ASSERT_EQ(Insert(pb, Rec(id, "fill")), 0);
        failed = WriteFailingAt(pb, c, spill_at, &status, &read_fewer);
        if (failed) {
          EXPECT_EQ(status, B_DISK_FULL);
          // The transaction went with the failure: what follows in it says so, End too.
          EXPECT_EQ(Insert(pb, Rec(200, "late")), B_DISK_FULL);
          EXPECT_EQ(Call0(B_END_TRAN), B_DISK_FULL);
        } else {
          EXPECT_EQ(status, 0);
          EXPECT_EQ(Call0(B_END_TRAN), 0);
        }
      } else {
        failed = WriteFailingAt(pb, c, spill_at, &status, &read_fewer);
        EXPECT_EQ(status, failed ? B_DISK_FULL : 0);
      }
      if (failed) {
        ++failure_points;
        // Nothing of the failed work stays, and every record is found along every key.
        EXPECT_EQ(Walk(pb, -1), before);
        EXPECT_EQ(Walk(pb, 0), before);
        EXPECT_EQ(Walk(pb, 1), before);
        std::string data(16, '\0'), key = Le32(7);
        EXPECT_EQ(Op(B_GET_EQUAL, pb, data, key, 0), 0);
        EXPECT_EQ(data, Rec(7, "n2"));
        // Once there is room, the file takes writes again.
        EXPECT_EQ(Insert(pb, Rec(300, "room")), 0);
      }
      Close(pb);
      ExpectFileSound(path);
      if (read_fewer) break;  // every page read of the write has been a failure point
    }
    // Every write reads the record's table and a key's.
    EXPECT_GE(failure_points, 2) << c.Name();
  }
}

TEST(DiskFull, AnEndThatFindsNoRoomLeavesTheFileAsItWas) {
  std::string path = Scratch("end.btr");
  PosBlock pb;
  ASSERT_NO_FATAL_FAILURE(CreateFortyRecords(path, pb));
  const std::vector<std::string> before = Walk(pb, -1);
  ASSERT_EQ(Call0(B_BEGIN_TRAN), 0);
  std::string data(16, '\0'), key = Le32(7);
  ASSERT_EQ(Op(B_GET_EQUAL, pb, data, key, 0), 0);
  ASSERT_EQ(Op(B_DELETE, pb, data, key, 0), 0);
  for (int id = 100; id < 120; ++id)
    ASSERT_EQ(Insert(pb, Rec(id, "fill")), 0);
  g_fail_next_write = true;
  EXPECT_EQ(Call0(B_END_TRAN), B_DISK_FULL);
  EXPECT_TRUE(g_write_failed);
  g_fail_next_write = g_write_failed = false;
  EXPECT_EQ(Walk(pb, -1), before);
  EXPECT_EQ(Walk(pb, 0), before);
  EXPECT_EQ(Walk(pb, 1), before);
  // No transaction is left open: the next one begins, and its work stays.
  ASSERT_EQ(Call0(B_BEGIN_TRAN), 0);
  EXPECT_EQ(Insert(pb, Rec(300, "room")), 0);
  EXPECT_EQ(Call0(B_END_TRAN), 0);
  EXPECT_EQ(Walk(pb, -1).size(), before.size() + 1);
  Close(pb);
  ExpectFileSound(path);
}

TEST(DiskFull, ATransactionOverTwoFilesStaysWholeWhenOneFindsNoRoomAtItsEnd) {
  std::vector<std::string> paths = {Scratch("orders.btr"), Scratch("lines.btr")};
  PosBlock pb[2];
  std::vector<std::string> before[2];
  for (int f = 0; f < 2; ++f) {
    ASSERT_EQ(Create(paths[f], CreateBuffer(16, 4096, {{{1, 4, kExt, B_TYPE_INTEGER}}})), 0);
    ASSERT_EQ(Open(pb[f], paths[f]), 0);
    for (int id = 1; id <= 10; ++id)
      ASSERT_EQ(Insert(pb[f], Rec(id, "n")), 0);
    before[f] = Walk(pb[f], -1);
  }
  // Each file in turn is on a disk that is full when the transaction ends: the other file,
  // whichever commits first, must not keep its part.
  for (const char *full : {"orders", "lines", ""}) {
    SCOPED_TRACE(std::string("no room for ") + full);
    ASSERT_EQ(Call0(B_BEGIN_TRAN), 0);
    for (int f = 0; f < 2; ++f) {
      for (int id = 100; id < 600; ++id)
        ASSERT_EQ(Insert(pb[f], Rec(id, "in a transaction")), 0);
    }
    g_full_disk_of = full;
    int16_t end = Call0(B_END_TRAN);
    g_full_disk_of.clear();
    g_write_failed = false;
    if (*full == '\0') {
      EXPECT_EQ(end, 0);
      for (int f = 0; f < 2; ++f)
        EXPECT_EQ(Walk(pb[f], -1).size(), before[f].size() + 500);
    } else {
      EXPECT_EQ(end, B_DISK_FULL);
      for (int f = 0; f < 2; ++f)
        EXPECT_TRUE(Walk(pb[f], -1) == before[f]) << paths[f] << " kept a part";
    }
  }
  for (int f = 0; f < 2; ++f)
    Close(pb[f]);
}

// Every record along key `key` (-1: physical order) until a status other than 0: the
// records in the order read, and that status in *status.
std::vector<std::string> ReadAlong(PosBlock &pb, int key, int16_t *status) {
  std::vector<std::string> out;
  int first = key < 0 ? B_STEP_FIRST : B_GET_FIRST;
  int next = key < 0 ? B_STEP_NEXT : B_GET_NEXT;
  int8_t number = static_cast<int8_t>(key < 0 ? 0 : key);
  std::string data(16, '\0'), k(16, '\0');
  for (*status = Op(first, pb, data, k, number); *status == 0;
       *status = Op(next, pb, data, k, number))
    out.push_back(data);
  return out;
}

TEST(ReadErrors, AReadThatFailsGivesAStatusAndNeverAWrongRecord) {
  std::string path = Scratch("reads.btr");
  PosBlock pb;
  ASSERT_EQ(Create(path, CreateBuffer(16, 4096,
                                      {{{1, 4, kExt, B_TYPE_INTEGER}},
                                       {{9, 8, kExt | B_KEY_DUPLICATES, B_TYPE_STRING}}})),
            0);
  ASSERT_EQ(Open(pb, path), 0);
  for (int id = 1; id <= 3000; ++id)
    ASSERT_EQ(Insert(pb, Rec(id, "n" + std::to_string(id % 7))), 0);
  Close(pb);
  // Another process keeps the file open after its inserts: they stay in the journal, which
  // every open here must read too.
  int ready[2], done[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(done), 0);
  pid_t writer = fork();
  if (writer == 0) {
    PosBlock w;
    bool ok = Open(w, path) == 0;
    for (int id = 3001; ok && id <= 3100; ++id)
      ok = Insert(w, Rec(id, "late")) == 0;
    char c = ok ? 'y' : 'n';
    if (write(ready[1], &c, 1) != 1 || read(done[0], &c, 1) < 0) _exit(1);
    _exit(0);
  }
  char answer = 0;
  ASSERT_EQ(read(ready[0], &answer, 1), 1);
  ASSERT_EQ(answer, 'y');
  for (int key : {-1, 0, 1}) {
    int16_t status = 0;
    ASSERT_EQ(Open(pb, path), 0);
    const std::vector<std::string> all = ReadAlong(pb, key, &status);
    Close(pb);
    ASSERT_EQ(all.size(), 3100u);
    // The file is read from disk again at each open; the failing read moves on each time.
    for (int fail_at = 0;; ++fail_at) {
      SCOPED_TRACE("key " + std::to_string(key) + ", read " + std::to_string(fail_at) + " fails");
      ASSERT_LT(fail_at, 1000);
      g_reads_until_failure = fail_at;
      int16_t open = Open(pb, path);
      std::vector<std::string> got;
      if (open == 0) got = ReadAlong(pb, key, &status);
      bool failed = DisarmReadFailure();
      if (open == 0) Close(pb);
      if (!failed) {
        EXPECT_EQ(status, B_END_OF_FILE);
        EXPECT_EQ(got, all);
        break;
      }
      if (open != 0) {
        EXPECT_EQ(open, B_IO_ERROR);
      } else if (status == B_END_OF_FILE) {
        EXPECT_EQ(got, all);  // a read that SQLite made again
      } else {
        EXPECT_EQ(status, B_IO_ERROR);
        // What came before the failure is the start of the file's order: nothing skipped,
        // nothing twice, nothing changed.
        ASSERT_LE(got.size(), all.size());
        EXPECT_TRUE(std::equal(got.begin(), got.end(), all.begin())) << got.size() << " read";
      }
    }
  }
  char c = 'x';
  EXPECT_EQ(write(done[1], &c, 1), 1);
  int exit_status = 0;
  waitpid(writer, &exit_status, 0);
  EXPECT_TRUE(WIFEXITED(exit_status) && WEXITSTATUS(exit_status) == 0);
}

// The write under test with its `fail_at`th read failing (-1: none); as WriteFailingAt, in a
// transaction after the removal of id 7 and some inserts. The file's records afterwards.
std::vector<std::string> WriteWithReadFailing(const std::string &path, const Case &c, int fail_at,
                                              int16_t *status, bool *failed) {
  PosBlock pb;
  CreateFortyRecords(path, pb);
  std::string data(16, '\0'), key = Le32(7);
  if (c.in_transaction) {
    Call0(B_BEGIN_TRAN);
    Op(B_GET_EQUAL, pb, data, key, 0);
    Op(B_DELETE, pb, data, key, 0);
    for (int id = 100; id < 120; ++id)
      Insert(pb, Rec(id, "fill"));
  }
  key = Le32(8);
  if (c.write != Write::kInsert) Op(B_GET_EQUAL, pb, data, key, 0);
  g_reads_until_failure = fail_at;
  *status = WriteUnderTest(pb, c, data, key);
  *failed = DisarmReadFailure();
  if (c.in_transaction) {
    int16_t end = Call0(B_END_TRAN);
    // A write that failed takes its transaction with it: End says so.
    if (*status != 0) {
      EXPECT_NE(end, 0);
    }
    if (end != 0) Call0(B_ABORT_TRAN);
    if (*status == 0) *status = end;
  }
  std::vector<std::string> records = Walk(pb, -1);
  EXPECT_EQ(Walk(pb, 0), records);
  EXPECT_EQ(Walk(pb, 1), records);
  Close(pb);
  ExpectFileSound(path);
  return records;
}

// A read that fails in the middle of an insert, update or delete (or of its transaction's
// End): the write is whole or absent, never a part of it, and its status says which.
TEST(ReadErrors, AtEveryReadOfAWriteTheWriteIsWholeOrAbsent) {
  for (const Case &c : kCases) {
    static int files = 0;
    int16_t status = 0;
    bool failed = false;
    PosBlock pb;
    std::string reference = Scratch("whole" + std::to_string(++files) + ".btr");
    CreateFortyRecords(reference, pb);
    const std::vector<std::string> before = Walk(pb, -1);
    Close(pb);
    const std::vector<std::string> after = WriteWithReadFailing(
        Scratch("whole" + std::to_string(++files) + ".btr"), c, -1, &status, &failed);
    ASSERT_EQ(status, 0) << c.Name();
    int failure_points = 0;
    for (int fail_at = 0;; ++fail_at) {
      SCOPED_TRACE(c.Name() + ", read " + std::to_string(fail_at) + " fails");
      ASSERT_LT(fail_at, 1000) << "the write never ran out of reads to fail at";
      std::vector<std::string> got = WriteWithReadFailing(
          Scratch("whole" + std::to_string(++files) + ".btr"), c, fail_at, &status, &failed);
      if (status == 0) {
        EXPECT_EQ(got, after);
      } else {
        ++failure_points;
        EXPECT_EQ(status, B_IO_ERROR);
        EXPECT_EQ(got, before);
      }
      if (!failed) break;  // every read of the write has been a failure point
    }
    // On its own a write reads the file from disk; in a transaction the pages it needs may
    // all be in the cache already.
    if (!c.in_transaction) {
      EXPECT_GE(failure_points, 1) << c.Name();
    }
  }
}

// The number of keys a file has, from Stat.
int KeyCount(PosBlock &pb) {
  std::string stat(1024, '\0'), key(255, '\0');
  return Op(B_STAT, pb, stat, key, 0) == 0 ? static_cast<uint8_t>(stat[4]) : -1;
}

// A read that fails while an index is built over the records, or while one is dropped: the
// file keeps its keys as they were or has the change whole.
TEST(ReadErrors, AnIndexBuiltOrDroppedWhileAReadFailsIsWholeOrAbsent) {
  // A file at rest is one file: each attempt starts from a copy.
  const std::string original = Scratch("index.btr");
  PosBlock pb;
  ASSERT_NO_FATAL_FAILURE(CreateFortyRecords(original, pb));
  for (int id = 41; id <= 1500; ++id)
    ASSERT_EQ(Insert(pb, Rec(id, "n" + std::to_string(id % 5))), 0);
  Close(pb);
  for (bool create : {true, false}) {
    static int files = 0;
    int failure_points = 0;
    for (int fail_at = 0;; ++fail_at) {
      SCOPED_TRACE(std::string(create ? "create" : "drop") + ", read " + std::to_string(fail_at) +
                   " fails");
      ASSERT_LT(fail_at, 1000) << "the change never ran out of reads to fail at";
      std::string path = Scratch("index" + std::to_string(++files) + ".btr");
      ASSERT_TRUE(std::filesystem::copy_file(original, path));
      ASSERT_EQ(Open(pb, path), 0);
      const std::vector<std::string> all = Walk(pb, -1);
      // Key 2: the name, then the id, descending.
      auto segments =
          CreateBuffer(16, 4096,
                       {{{9, 8, kExt | B_KEY_DUPLICATES, B_TYPE_STRING},
                         {1, 4, kExt | B_KEY_DUPLICATES | B_KEY_DESCENDING, B_TYPE_INTEGER}}});
      std::string spec(segments.begin() + 16, segments.end()), key(255, '\0'), none;
      g_reads_until_failure = fail_at;
      int16_t status =
          create ? Op(B_CREATE_INDEX, pb, spec, key, 0) : Op(B_DROP_INDEX, pb, none, key, 1);
      bool failed = DisarmReadFailure();
      int keys = KeyCount(pb);
      if (status == 0) {
        EXPECT_EQ(keys, create ? 3 : 1);
      } else {
        ++failure_points;
        EXPECT_EQ(status, B_IO_ERROR);
        EXPECT_EQ(keys, 2);
      }
      for (int k = 0; k < keys; ++k)
        EXPECT_EQ(Walk(pb, k), all) << "key " << k;
      EXPECT_EQ(Walk(pb, -1), all);
      Close(pb);
      ExpectFileSound(path);
      if (!failed) break;
    }
    EXPECT_GE(failure_points, 1);
  }
}

// An insert must read the highest auto-increment value before it numbers its record: a read
// that fails on the way gives a status and stores nothing, never a record numbered 0.
TEST(ReadErrors, AnAutoIncrementThatCannotBeReadStoresNothing) {
  for (bool first_segment : {true, false}) {
    SCOPED_TRACE(first_segment ? "the number orders the key" : "the number follows a name");
    std::string path = Scratch(first_segment ? "auto1.btr" : "auto2.btr");
    const Seg number{1, 4, kExt, B_TYPE_AUTOINCREMENT};
    const Seg name{9, 8, kExt, B_TYPE_STRING};
    std::vector<Key> keys = {{number}};
    if (!first_segment) keys = {{name, number}};
    ASSERT_EQ(Create(path, CreateBuffer(16, 4096, keys)), 0);
    PosBlock pb;
    ASSERT_EQ(Open(pb, path), 0);
    for (int id = 1; id <= 2000; ++id)
      ASSERT_EQ(Insert(pb, Rec(id, "n")), 0);
    Close(pb);
    int highest = 2000;
    for (int fail_at = 0;; ++fail_at) {
      SCOPED_TRACE("read " + std::to_string(fail_at) + " fails");
      ASSERT_LT(fail_at, 1000);
      ASSERT_EQ(Open(pb, path), 0);
      g_reads_until_failure = fail_at;
      std::string record = Rec(0, "n"), key(16, '\0');
      int16_t status = Op(B_INSERT, pb, record, key, 0);
      bool failed = DisarmReadFailure();
      if (status == 0) {
        EXPECT_EQ(record.substr(0, 4), Le32(++highest));
      } else {
        EXPECT_EQ(status, B_IO_ERROR);
      }
      EXPECT_EQ(Walk(pb, -1).size(), static_cast<size_t>(highest));
      Close(pb);
      if (!failed) break;
    }
    ASSERT_EQ(Open(pb, path), 0);
    std::vector<std::string> all = Walk(pb, -1);
    Close(pb);
    for (const std::string &r : all)
      EXPECT_NE(r.substr(0, 4), Le32(0));
  }
}

}  // namespace
