// Conformance: opening, creating, Stat, Version, Reset, position blocks, owners, indexes.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <vector>

#include "btr_test_util.h"
#include "check.h"
#include "child_process.h"
#include "zelko_test_env.h"

namespace {

using namespace btrtest;
constexpr uint16_t kExt = B_KEY_EXTENDED_TYPE;

// Record of 20 bytes: 4-byte integer id (key 0, unique), 16-byte name (key 1, duplicates).
std::vector<uint8_t> PeopleSpec() {
  return CreateBuffer(
      20, 1024, {{{1, 4, kExt, B_TYPE_INTEGER}}, {{5, 16, B_KEY_DUPLICATES | B_KEY_MODIFIABLE}}});
}
std::string Person(int id, const std::string &name) {
  return Le32(id) + Pad(name, 16);
}

TEST(Files, OpenCreateAndTheirStatuses) {
  std::string path = Scratch("PEOPLE.BTR");
  PosBlock pb;
  EXPECT_EQ(Open(pb, path), B_FILE_NOT_FOUND);
  EXPECT_EQ(Open(pb, ""), B_FILENAME_BAD);
  // A directory; on a server, only files are kept, so it is no file there.
  EXPECT_EQ(Open(pb, zelko_testing::ScratchDir()), OnServer() ? B_FILE_NOT_FOUND : B_FILENAME_BAD);
  EXPECT_EQ(Open(pb, Scratch("nodir/x.btr")), B_FILE_NOT_FOUND);
  EXPECT_EQ(Open(pb, "q:\\unmapped\\x.btr"), B_FILE_NOT_FOUND);

  ASSERT_EQ(Create(path, PeopleSpec()), 0);
  EXPECT_EQ(Create(path, PeopleSpec(), -1), B_FILE_ALREADY_EXISTS);  // -1: fail if it exists
  // Directories are the local disk's: a server keeps files by their whole path.
  EXPECT_EQ(Create(Scratch("nodir/x.btr"), PeopleSpec()), OnServer() ? 0 : B_FILE_NOT_FOUND);
  if (!OnServer()) {
    // A file that cannot be made where its directory is (here a directory in the way of the
    // file the create builds first; elsewhere no write permission): 25, not "not found".
    const std::string blocked = Scratch("blocked.btr");
    std::filesystem::create_directories(blocked + ".create-" + std::to_string(::getpid()));
    EXPECT_EQ(Create(blocked, PeopleSpec()), B_CREATE_IO_ERROR);
    EXPECT_FALSE(std::filesystem::exists(blocked));
  }
  EXPECT_EQ(Create(Scratch("bad.btr"), CreateBuffer(20, 100, {})), B_PAGE_SIZE_ERROR);
  EXPECT_FALSE(std::filesystem::exists(Scratch("bad.btr")));
  EXPECT_EQ(Open(pb, Scratch("bad.btr")), B_FILE_NOT_FOUND);

  if (!OnServer()) {
    // Not our format: a text file, an empty file, another SQLite database.
    zelko_testing::WriteFile(Scratch("text.btr"), "hello, this is not a database at all......");
    EXPECT_EQ(Open(pb, Scratch("text.btr")), B_NOT_A_BTRIEVE_FILE);
    zelko_testing::WriteFile(Scratch("empty.btr"), "");
    EXPECT_EQ(Open(pb, Scratch("empty.btr")), B_NOT_A_BTRIEVE_FILE);
  }

  // Case-insensitive lookup and backslashes.
  ASSERT_EQ(Open(pb, zelko_testing::ScratchDir() + "\\people.btr"), 0);
  ASSERT_EQ(Insert(pb, Person(1, "ANN")), 0);
  // Create over a file this process has open is refused; the data stay.
  EXPECT_EQ(Create(path, PeopleSpec()), B_FILE_INUSE);
  EXPECT_EQ(Create(path, PeopleSpec(), -1), B_FILE_ALREADY_EXISTS);  // open or not
  EXPECT_EQ(Close(pb), 0);
  EXPECT_EQ(Close(pb), B_FILE_NOT_OPEN);

  // Key number 0 replaces an existing file: the records are gone.
  ASSERT_EQ(Create(path, PeopleSpec()), 0);
  ASSERT_EQ(Open(pb, path), 0);
  std::string data(20, '\0'), key(4, '\0');
  EXPECT_EQ(Op(B_GET_FIRST, pb, data, key, 0), B_END_OF_FILE);
  EXPECT_EQ(Close(pb), 0);
}

// A process that may open no more files (ulimit -n) is told so: 86, where it was told 12,
// "file not found", and asked to create a file that is there.
TEST(Files, AProcessOutOfDescriptorsIsToldSo) {
  if (OnServer()) GTEST_SKIP() << "a server's files take no descriptors of their own";
  const std::string kept = Scratch("KEPT.BTR");
  ASSERT_EQ(Create(kept, PeopleSpec()), 0);
  PosBlock writer;
  ASSERT_EQ(Open(writer, kept), 0);
  ASSERT_EQ(Insert(writer, Person(1, "ANN")), 0);
  ASSERT_EQ(Close(writer), 0);
  constexpr int kFiles = 8;
  for (int i = 0; i < kFiles; ++i)
    ASSERT_EQ(Create(Scratch("F" + std::to_string(i) + ".BTR"), PeopleSpec()), 0);
  std::vector<PosBlock> opened(kFiles);
  std::vector<int16_t> statuses;
  int16_t replaced = -1;
  {
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    auto in_use = std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
    rlimit low = saved;
    low.rlim_cur = static_cast<rlim_t>(in_use + 6);  // room for a file or two
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
    for (int i = 0; i < kFiles; ++i)
      statuses.push_back(Open(opened[i], Scratch("F" + std::to_string(i) + ".BTR")));
    replaced = Create(kept, PeopleSpec());
    setrlimit(RLIMIT_NOFILE, &saved);
  }
  for (auto &pb : opened)
    Close(pb);
  EXPECT_EQ(statuses.front(), 0);
  EXPECT_EQ(statuses.back(), B_FILE_TABLE_FULL);
  for (int16_t status : statuses)
    EXPECT_TRUE(status == 0 || status == B_FILE_TABLE_FULL);
  EXPECT_EQ(replaced, B_FILE_TABLE_FULL);
  // The file a create could not look at is as it was.
  ASSERT_EQ(Open(writer, kept), 0);
  std::string data(20, '\0'), key(4, '\0');
  EXPECT_EQ(Op(B_GET_FIRST, writer, data, key, 0), 0);
  EXPECT_EQ(data, Person(1, "ANN"));
  EXPECT_EQ(Close(writer), 0);
}

// A group that shares a directory (umask 002) shares the files made in it, and a file
// replaced keeps the access it gave.
TEST(Files, ANewFileFollowsTheUmaskAndAReplacedOneKeepsItsAccess) {
  if (OnServer()) GTEST_SKIP() << "a server's files have no permission bits";
  auto mode = [](const std::string &path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 0777 : 0;
  };
  const std::string path = Scratch("SHARED.BTR");
  mode_t before = ::umask(002);
  EXPECT_EQ(Create(path, PeopleSpec(), -1), 0);
  EXPECT_EQ(mode(path), 0664u);
  ::umask(077);
  EXPECT_EQ(Create(Scratch("PRIVATE.BTR"), PeopleSpec(), -1), 0);
  EXPECT_EQ(mode(Scratch("PRIVATE.BTR")), 0600u);
  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
  EXPECT_EQ(Create(path, PeopleSpec()), 0);  // replaces it
  EXPECT_EQ(mode(path), 0640u);
  ::umask(before);
}

TEST(Files, StatVersionAndUnknownOperations) {
  std::string path = Scratch("people.btr");
  ASSERT_EQ(Create(path, PeopleSpec()), 0);
  PosBlock pb;
  ASSERT_EQ(Open(pb, path), 0);
  for (int i = 1; i <= 3; ++i)
    ASSERT_EQ(Insert(pb, Person(i, i == 3 ? "BOB" : "ANN")), 0);
  std::string stat(1024, '\0'), key(255, '\0');
  ASSERT_EQ(Op(B_STAT, pb, stat, key, 0), 0);
  ASSERT_EQ(stat.size(), 16u + 32u);
  EXPECT_EQ(stat[0], 20);
  EXPECT_EQ(static_cast<uint8_t>(stat[2]) | static_cast<uint8_t>(stat[3]) << 8, 1024);
  EXPECT_EQ(stat[4], 2);
  EXPECT_EQ(stat[6], 3);       // record count
  EXPECT_EQ(stat[16 + 6], 3);  // unique values of key 0
  EXPECT_EQ(stat[32 + 6], 2);  // of key 1: ANN, BOB
  std::string small(20, '\0');
  EXPECT_EQ(Op(B_STAT, pb, small, key, 0), B_DATALENGTH_ERROR);

  std::string version(5, '\0');
  EXPECT_EQ(Op(B_VERSION, pb, version, key, 0), 0);
  EXPECT_EQ(version[4], 'L');
  std::string short_version(4, '\0');
  EXPECT_EQ(Op(B_VERSION, pb, short_version, key, 0), B_DATALENGTH_ERROR);

  std::string data(20, '\0');
  EXPECT_EQ(Op(99, pb, data, key, 0), B_INVALID_FUNCTION);
  EXPECT_EQ(Op(B_STAT + 100, pb, data, key, 0), B_INVALID_FUNCTION);  // no bias on Stat
  EXPECT_EQ(Close(pb), 0);
}

TEST(Files, PositionBlocksStaleForeignAndShared) {
  std::string path = Scratch("people.btr");
  ASSERT_EQ(Create(path, PeopleSpec()), 0);
  PosBlock zero, a, b;
  std::string data(20, '\0'), key(16, '\0');
  EXPECT_EQ(Op(B_GET_FIRST, zero, data, key, 0), B_FILE_NOT_OPEN);  // never opened
  ASSERT_EQ(Open(a, path), 0);
  ASSERT_EQ(Open(b, path), 0);  // a second cursor on the same file
  ASSERT_EQ(Insert(a, Person(1, "ANN")), 0);
  ASSERT_EQ(Insert(b, Person(2, "BOB")), 0);
  PosBlock copy = a;  // the same bytes elsewhere are a foreign block
  EXPECT_EQ(Op(B_GET_FIRST, copy, data, key, 0), B_FILE_NOT_OPEN);
  // The two cursors keep independent positions.
  ASSERT_EQ(Op(B_GET_FIRST, a, data, key, 0), 0);
  data.resize(20);
  ASSERT_EQ(Op(B_GET_LAST, b, data, key, 0), 0);
  data.resize(20);
  ASSERT_EQ(Op(B_GET_NEXT, a, data, key, 0), 0);
  EXPECT_EQ(data.substr(0, 4), Le32(2));
  data.resize(20);
  EXPECT_EQ(Op(B_GET_NEXT, b, data, key, 0), B_END_OF_FILE);
  EXPECT_EQ(Close(a), 0);
  data.resize(20);
  EXPECT_EQ(Op(B_GET_FIRST, a, data, key, 0), B_FILE_NOT_OPEN);  // stale after close
  data.resize(20);
  EXPECT_EQ(Op(B_GET_FIRST, b, data, key, 0), 0);

  // Reset releases every file of the process; the blocks go stale.
  PosBlock c = b;
  std::string none;
  uint32_t len = 0;
  EXPECT_EQ(BTRCALL(B_RESET, nullptr, nullptr, &len, nullptr, 0, 0), 0);
  data.resize(20);
  EXPECT_EQ(Op(B_GET_FIRST, b, data, key, 0), B_FILE_NOT_OPEN);
  (void)c;
  // After a release the same block opens again.
  ASSERT_EQ(Open(b, path), 0);
  BTRRELEASE();
  EXPECT_EQ(Close(b), B_FILE_NOT_OPEN);
}

TEST(Files, ReadOnlyExclusiveAndOwners) {
  std::string path = Scratch("people.btr");
  EXPECT_FALSE(btrieve::FileIsThere(path.c_str()));
  ASSERT_EQ(Create(path, PeopleSpec()), 0);
  EXPECT_TRUE(btrieve::FileIsThere(path.c_str()));
  PosBlock ro, rw, ex;
  ASSERT_EQ(Open(ro, path, -2), 0);
  EXPECT_EQ(Insert(ro, Person(1, "ANN")), B_ACCESS_TO_FILE_DENIED);
  ASSERT_EQ(Open(rw, path), 0);
  ASSERT_EQ(Insert(rw, Person(1, "ANN")), 0);
  EXPECT_EQ(Open(ex, path, -4), B_INCOMPATIBLE_MODE);  // others have it open
  ASSERT_EQ(Close(ro), 0);
  ASSERT_EQ(Close(rw), 0);
  ASSERT_EQ(Open(ex, path, -4), 0);
  EXPECT_EQ(Open(rw, path), B_INCOMPATIBLE_MODE);

  // Set an owner (mode 0: required for every access).
  std::string owner = "SECRET";
  std::string data = owner + '\0', key = owner + '\0';
  ASSERT_EQ(Op(B_SET_OWNER, ex, data, key, 0), 0);
  // A file that cannot be opened without its owner is there all the same.
  EXPECT_TRUE(btrieve::FileIsThere(path.c_str()));
  ASSERT_EQ(Close(ex), 0);
  EXPECT_TRUE(btrieve::FileIsThere(path.c_str()));
  EXPECT_EQ(Open(rw, path), B_BAD_OWNER);
  EXPECT_EQ(Open(rw, path, 0, "WRONG"), B_BAD_OWNER);
  ASSERT_EQ(Open(rw, path, 0, "SECRET"), 0);
  ASSERT_EQ(Close(rw), 0);
  EXPECT_EQ(Open(rw, path, -5), B_INVALID_FUNCTION);  // not an open mode
}

TEST(Files, CreateAndDropIndex) {
  std::string path = Scratch("people.btr");
  ASSERT_EQ(Create(path, CreateBuffer(20, 1024, {{{1, 4, kExt, B_TYPE_INTEGER}}})), 0);
  PosBlock pb;
  ASSERT_EQ(Open(pb, path), 0);
  ASSERT_EQ(Insert(pb, Person(1, "BOB")), 0);
  ASSERT_EQ(Insert(pb, Person(2, "ANN")), 0);
  ASSERT_EQ(Insert(pb, Person(3, "ANN")), 0);
  // A unique index over names with duplicates present: 5, nothing changed.
  auto seg = [](uint16_t flags) {
    auto b = CreateBuffer(20, 1024, {{{5, 16, flags}}});
    return std::string(b.begin() + 16, b.end());
  };
  std::string spec = seg(0), key(255, '\0');
  EXPECT_EQ(Op(B_CREATE_INDEX, pb, spec, key, 0), B_DUPLICATE_KEY_VALUE);
  spec = seg(B_KEY_DUPLICATES);
  ASSERT_EQ(Op(B_CREATE_INDEX, pb, spec, key, 0), 0);
  std::string data(20, '\0');
  key.assign(16, '\0');
  ASSERT_EQ(Op(B_GET_FIRST, pb, data, key, 1), 0);
  EXPECT_EQ(data.substr(0, 4), Le32(2));  // ANN first, in insertion order
  std::string stat(1024, '\0');
  ASSERT_EQ(Op(B_STAT, pb, stat, key, 0), 0);
  EXPECT_EQ(stat[4], 2);
  EXPECT_TRUE(static_cast<uint8_t>(stat[32 + 4]) & B_KEY_SUPPLEMENTAL);
  // Not inside a transaction.
  uint32_t len = 0;
  ASSERT_EQ(BTRCALL(B_BEGIN_TRAN, nullptr, nullptr, &len, nullptr, 0, 0), 0);
  std::string none;
  EXPECT_EQ(Op(B_DROP_INDEX, pb, none, key, 0), B_OPERATION_NOT_ALLOWED);
  ASSERT_EQ(BTRCALL(B_ABORT_TRAN, nullptr, nullptr, &len, nullptr, 0, 0), 0);
  EXPECT_EQ(Op(B_DROP_INDEX, pb, none, key, 5), B_INVALID_KEYNUMBER);
  ASSERT_EQ(Op(B_DROP_INDEX, pb, none, key, 0), 0);  // key 1 becomes key 0
  data.assign(20, '\0');
  key.assign(16, '\0');
  ASSERT_EQ(Op(B_GET_LAST, pb, data, key, 0), 0);
  EXPECT_EQ(data.substr(0, 4), Le32(1));  // BOB is last by name
  EXPECT_EQ(Op(B_GET_FIRST, pb, data, key, 1), B_INVALID_KEYNUMBER);
  ASSERT_EQ(Close(pb), 0);
  std::vector<std::string> problems;
  EXPECT_TRUE(btr::CheckFile(path, &problems)) << (problems.empty() ? "" : problems[0]);
}

TEST(Files, RenameReplacesWholeFilesAndSparesFilesInUse) {
  const std::string a = Scratch("A.BTR"), b = Scratch("B.BTR"), c = Scratch("C.BTR");
  ASSERT_EQ(Create(a, PeopleSpec()), 0);
  ASSERT_EQ(Create(b, PeopleSpec()), 0);
  PosBlock pb;
  ASSERT_EQ(Open(pb, a), 0);
  for (int i = 1; i <= 50; ++i)
    ASSERT_EQ(Insert(pb, Person(i, "A")), 0);
  EXPECT_EQ(BTRRENAMEFILE(a.c_str(), c.c_str()), B_FILE_INUSE);  // open in this process
  ASSERT_EQ(Close(pb), 0);
  EXPECT_EQ(BTRRENAMEFILE(Scratch("NONE.BTR").c_str(), c.c_str()), B_FILE_NOT_FOUND);
  EXPECT_EQ(BTRRENAMEFILE("", c.c_str()), B_FILENAME_BAD);
  EXPECT_EQ(BTRRENAMEFILE(a.c_str(), nullptr), B_FILENAME_BAD);
  // Over an existing file: the records come along, the replaced file is gone.
  ASSERT_EQ(BTRRENAMEFILE(a.c_str(), b.c_str()), 0);
  EXPECT_EQ(Open(pb, a), B_FILE_NOT_FOUND);
  ASSERT_EQ(Open(pb, b), 0);
  std::string data(20, '\0'), key(4, '\0');
  int n = 0;
  for (int rc = Op(B_STEP_FIRST, pb, data, key, 0); rc == 0; rc = Op(B_STEP_NEXT, pb, data, key, 0))
    ++n;
  EXPECT_EQ(n, 50);
  ASSERT_EQ(Insert(pb, Person(51, "B")), 0);  // writable under its new name
  ASSERT_EQ(Close(pb), 0);
  if (!OnServer()) {
    EXPECT_FALSE(std::filesystem::exists(a + "-wal"));
    EXPECT_FALSE(std::filesystem::exists(a));
  }
  std::vector<std::string> problems;
  EXPECT_TRUE(btr::CheckFile(b, &problems)) << (problems.empty() ? "" : problems[0]);
  // Open in another process: neither name changes.
  zelko_testing::Child holder = zelko_testing::Spawn([&](int report, int) {
    PosBlock mine;
    if (Open(mine, b) != 0) return 1;
    zelko_testing::Say(report, "open");
    pause();
    return 0;
  });
  ASSERT_EQ(zelko_testing::Hear(holder.from_child), "open");
  EXPECT_EQ(BTRRENAMEFILE(b.c_str(), c.c_str()), B_FILE_INUSE);
  ASSERT_EQ(Create(c, PeopleSpec()), 0);
  EXPECT_EQ(BTRRENAMEFILE(c.c_str(), b.c_str()), B_FILE_INUSE);
  kill(holder.pid, SIGKILL);
  zelko_testing::Wait(holder);
  ASSERT_EQ(Open(pb, b), 0);
  ASSERT_EQ(Op(B_GET_LAST, pb, data, key, 0), 0);
  EXPECT_EQ(data.substr(0, 4), Le32(51));
  ASSERT_EQ(Close(pb), 0);
}

}  // namespace
