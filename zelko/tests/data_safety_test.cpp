// zelko with data at stake: loads that race other writers, values the conversions would
// change, damaged and read-only files, paths in Japanese, and locations outside the
// dictionary's directory.
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "btrieve/btrapi.h"
#include "child_process.h"
#include "commands.h"
#include "engine/field_conversion.h"
#include "engine_test_util.h"
#include "zelko_test_env.h"
#include "zplatform/codepage.h"

namespace zelkocli {
namespace {

using namespace enginetest;
using namespace zelko;
namespace fs = std::filesystem;

struct Outcome {
  int status;
  std::string out, err;
};

Outcome Zelko(std::vector<std::string> args) {
  std::ostringstream out, err;
  int status = RunZelko(args, {out, err});
  return {status, out.str(), err.str()};
}

// The real program, for runs that must end on their own: exit status (-1 when killed by the
// time limit or a signal) and output.
Outcome ZelkoProgram(const std::string &arguments, int seconds = 20) {
  std::string out_file = zelko_testing::ScratchDir() + "/program.out";
  std::string err_file = zelko_testing::ScratchDir() + "/program.err";
  std::string command = "timeout -s KILL " + std::to_string(seconds) + " " + ZELKO_ZELKO_BINARY +
                        " " + arguments + " >" + out_file + " 2>" + err_file;
  int rc = std::system(command.c_str());
  int status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  if (status == 137) status = -1;
  return {status, zelko_testing::ReadFile(out_file), zelko_testing::ReadFile(err_file)};
}

// ID (unique key), C a counter, S a text.
TableDef Counters(const std::string &location = "COUNT.DAT") {
  return TableDef{10,
                  "COUNTERS",
                  location,
                  {{"ID", kInteger, 4}, {"C", kInteger, 4}, {"S", kString, 12}, {"D", kDate, 4}},
                  {{"ID", 0, 0, 0}},
                  {{"BYID", 0}}};
}

std::string CountersDictionary(const std::string &name, int records) {
  std::string dir = NewDir(name);
  EXPECT_EQ(WriteDictionary(dir, {Counters()}), 0);
  EXPECT_EQ(Zelko({"create", dir, "counters"}).status, 0);
  std::string csv = "ID,C,S\n";
  for (int id = 1; id <= records; ++id)
    csv += std::to_string(id) + ",0,start\n";
  zelko_testing::WriteFile(dir + "/start.csv", csv);
  EXPECT_EQ(Zelko({"load", dir, "counters", dir + "/start.csv"}).status, 0);
  return dir;
}

int16_t Call(int op, uint8_t *pb, void *data, uint32_t length, void *key, uint8_t key_length,
             int8_t key_number) {
  return BTRCALL(static_cast<uint16_t>(op), pb, data, &length, key, key_length, key_number);
}

TEST(ZelkoSafety, LoadUpdatingByKeyLosesNothingAnotherProcessWrites) {
  RecordMessages messages;
  constexpr int kRecords = 10;
  constexpr int kIncrements = 300;
  std::string dir = CountersDictionary("race", kRecords);
  std::string data_file = dir + "/COUNT.DAT";
  // A locked incrementer of C in another process, while the loads rewrite S.
  zelko_testing::Child incrementer = zelko_testing::Spawn([&](int report, int) {
    uint8_t pb[128] = {};
    if (Call(B_OPEN, pb, nullptr, 0, data_file.data(), 0, 0) != 0) return 1;
    zelko_testing::Say(report, "open");
    for (int i = 0; i < kIncrements; ++i) {
      int32_t id = 1 + i % kRecords;
      uint8_t rec[25] = {};
      int16_t rc = Call(int{B_GET_EQUAL} + B_SINGLE_WAIT_LOCK, pb, rec, sizeof rec, &id, 4, 0);
      if (rc != 0) return 10 + rc % 100;
      int32_t c;
      std::memcpy(&c, rec + 4, 4);
      ++c;
      std::memcpy(rec + 4, &c, 4);
      rc = Call(B_UPDATE, pb, rec, 24, &id, 4, 0);
      if (rc != 0) return 110 + rc % 100;
    }
    return 0;
  });
  ASSERT_EQ(zelko_testing::Hear(incrementer.from_child), "open");
  std::string csv = "ID,S\n";
  for (int round = 0; round < 5; ++round) {
    for (int id = 1; id <= kRecords; ++id)
      csv += std::to_string(id) + ",loaded\n";
  }
  zelko_testing::WriteFile(dir + "/update.csv", csv);
  int updated = 0;
  for (int run = 0; run < 8; ++run) {
    // Transactions of 7 rows, and none at all.
    std::vector<std::string> args = {"load",        dir,    "counters", dir + "/update.csv",
                                     "--update-by", "BYID", "--batch",  run % 2 == 0 ? "7" : "0"};
    Outcome load = Zelko(args);
    EXPECT_EQ(load.status, 0) << load.err;
    updated += 5 * kRecords;
  }
  EXPECT_EQ(zelko_testing::Wait(incrementer), 0);
  Outcome dump = Zelko({"dump", dir, "counters", "--key", "BYID"});
  std::istringstream lines(dump.out);
  std::string line;
  std::getline(lines, line);
  int total = 0;
  int rows = 0;
  while (std::getline(lines, line)) {
    ++rows;
    std::istringstream fields(line);
    std::string id, c, s;
    std::getline(fields, id, ',');
    std::getline(fields, c, ',');
    std::getline(fields, s, ',');
    total += std::stoi(c);
    EXPECT_EQ(s, "loaded") << line;
  }
  EXPECT_EQ(rows, kRecords);
  EXPECT_EQ(total, kIncrements) << "increments lost under " << updated << " updates";
}

TEST(ZelkoSafety, LoadRefusesValuesThatWouldBeStoredChanged) {
  RecordMessages messages;
  std::string dir = CountersDictionary("values", 0);
  std::string csv =
      "ID,S,D\n"
      "1,ok,2024/02/29\n"
      "2,x,10000/01/01\n"  // five-digit year
      "3,x,2024/13/01\n"   // month 13
      "4,x,2024/01/45\n"   // day 45
      "5,x,0000/01/01\n"   // year 0
      "6,x,2023/02/29\n"   // no such day
      "7,x,2024-01-01x\n"
      "8,x,24/01/01\n"                           // two-digit year in the four-digit style
      "9,x,0000/00/00\n";                        // the empty date, as dump writes it
  csv += std::string("10,ab") + '\0' + "cd,\n";  // an embedded NUL
  csv += "11,last,2024/1/2\n";
  zelko_testing::WriteFile(dir + "/in.csv", csv);
  Outcome load = Zelko({"load", dir, "counters", dir + "/in.csv"});
  EXPECT_EQ(load.status, 1);
  EXPECT_EQ(load.out, "inserted 3, updated 0, rejected 8\n");
  for (int line = 3; line <= 9; ++line) {
    EXPECT_NE(load.err.find("in.csv:" + std::to_string(line) + ": rejected: field D"),
              std::string::npos)
        << line << "\n"
        << load.err;
  }
  EXPECT_NE(load.err.find("in.csv:11: rejected: field S: \"ab\\0cd\" holds a NUL character"),
            std::string::npos)
      << load.err;
  Outcome dump = Zelko({"dump", dir, "counters", "--key", "BYID"});
  EXPECT_EQ(dump.out,
            "ID,C,S,D\r\n1,0,ok,2024/02/29\r\n9,0,x,0000/00/00\r\n11,0,last,2024/01/02\r\n");
}

// Bytes that are no characters of the code page cannot be written as they are: the dump says
// so, and a load of that dump refuses the row rather than store something else.
TEST(ZelkoSafety, DumpSaysWhichValuesItCannotWriteAsStored) {
  RecordMessages messages;
  std::string dir = CountersDictionary("bytes", 1);
  std::string data_file = dir + "/COUNT.DAT";
  uint8_t pb[128] = {};
  ASSERT_EQ(Call(B_OPEN, pb, nullptr, 0, data_file.data(), 0, 0), 0);
  uint8_t rec[24] = {};
  int32_t id = 2;
  std::memcpy(rec, &id, 4);
  std::memcpy(rec + 8, "ab\x81\x20x       ", 12);  // a lead byte without its second byte
  ASSERT_EQ(Call(B_INSERT, pb, rec, sizeof rec, &id, 4, 0), 0);
  ASSERT_EQ(Call(B_CLOSE, pb, nullptr, 0, nullptr, 0, 0), 0);
  Outcome dump = Zelko({"dump", dir, "counters", "--key", "BYID"});
  EXPECT_EQ(dump.status, 0);
  EXPECT_NE(dump.out.find("2,0,ab\xEF\xBF\xBD x,"), std::string::npos) << dump.out;
  EXPECT_EQ(dump.err,
            "zelko dump: 1 value holds bytes that are no characters of the code page; they are "
            "written as U+FFFD, and zelko load refuses their rows\n");
  zelko_testing::WriteFile(dir + "/dump.csv", dump.out);
  Outcome load = Zelko({"load", dir, "counters", dir + "/dump.csv", "--update-by", "BYID"});
  EXPECT_EQ(load.out, "inserted 0, updated 1, rejected 1\n") << load.err;
  EXPECT_EQ(Zelko({"dump", dir, "counters", "--key", "BYID"}).out, dump.out);
}

// Every value that load accepts is stored as given and dumps back as loaded, at the limits of
// its field: all digits decimals, unsigned values past 2,147,483,647.
TEST(ZelkoSafety, LoadStoresEveryValueItAcceptsAsGiven) {
  RecordMessages messages;
  std::string dir = NewDir("limits");
  TableDef t{10,
             "LIMITS",
             "LIMITS.DAT",
             {{"ID", kInteger, 4},
              {"DEC", kDecimal, 1, 1},
              {"MON", kMoney, 2, 3},
              {"NUM", kNumeric, 3, 3},
              {"UB", kUBin, 4},
              {"AI", kAutoInc, 4}},
             {{"ID", 0, 0, 0}},
             {}};
  ASSERT_EQ(WriteDictionary(dir, {t}), 0);
  ASSERT_EQ(Zelko({"create", dir, "LIMITS"}).status, 0);
  std::string csv = "ID,DEC,MON,NUM,UB,AI\r\n1,0.5,-0.123,0.123,3000000000,4294967295\r\n";
  zelko_testing::WriteFile(dir + "/in.csv", csv);
  Outcome load = Zelko({"load", dir, "LIMITS", dir + "/in.csv"});
  EXPECT_EQ(load.out, "inserted 1, updated 0, rejected 0\n") << load.err;
  EXPECT_EQ(Zelko({"dump", dir, "LIMITS"}).out, csv);
}

TEST(ZelkoSafety, DumpOfAFileCutShortEndsAtEveryCut) {
  RecordMessages messages;
  std::string dir = CountersDictionary("cut", 300);
  std::string data_file = dir + "/COUNT.DAT";
  Outcome whole = ZelkoProgram("dump " + dir + " counters");
  ASSERT_EQ(whole.status, 0) << whole.err;
  std::string original = zelko_testing::ReadFile(data_file);
  ASSERT_GT(original.size(), 8192u);
  int failures = 0;
  for (size_t cut = 1; cut < original.size(); cut += 1531) {
    zelko_testing::WriteFile(data_file, original.substr(0, original.size() - cut));
    for (const char *order : {"", " --key BYID"}) {
      Outcome dump = ZelkoProgram("dump " + dir + " counters" + order, 20);
      ASSERT_NE(dump.status, -1) << "cut " << cut << order << ": the dump did not end";
      // Never a partial or garbled dump that says it succeeded.
      EXPECT_EQ(dump.status, 1) << "cut " << cut << order << ": "
                                << std::count(dump.out.begin(), dump.out.end(), '\n') << " lines";
      EXPECT_NE(dump.err.find("zelko: "), std::string::npos) << "cut " << cut << order;
      failures += dump.status != 0;
    }
  }
  EXPECT_EQ(failures, 2 * static_cast<int>((original.size() - 2) / 1531 + 1));
  zelko_testing::WriteFile(data_file, original);
  EXPECT_EQ(ZelkoProgram("dump " + dir + " counters").out, whole.out);
}

TEST(ZelkoSafety, ADictionaryInAJapaneseDirectoryWorksAndMakesNoSecondDirectory) {
  RecordMessages messages;
  std::string parent = NewDir("jp");
  std::string dir = parent + "/顧客台帳";
  ASSERT_TRUE(fs::create_directory(dir));
  ASSERT_EQ(WriteDictionary(zplatform::FromUtf8(dir), {Counters()}), 0);
  Outcome create = Zelko({"create", dir, "counters"});
  EXPECT_EQ(create.status, 0) << create.err;
  EXPECT_TRUE(fs::exists(dir + "/COUNT.DAT"));
  zelko_testing::WriteFile(dir + "/in.csv", "ID,S\n1,山田\n");
  Outcome load = Zelko({"load", dir, "counters", dir + "/in.csv"});
  EXPECT_EQ(load.status, 0) << load.err;
  EXPECT_EQ(Zelko({"dump", dir, "counters"}).out, "ID,C,S,D\r\n1,0,山田,0000/00/00\r\n");
  EXPECT_EQ(Zelko({"check", dir}).status, 0);
  std::vector<std::string> entries;
  for (const auto &e : fs::directory_iterator(parent))
    entries.push_back(e.path().filename().string());
  EXPECT_EQ(entries, std::vector<std::string>{"顧客台帳"});
}

TEST(ZelkoSafety, CreateOutsideTheDictionaryDirectoryNeedsToBeAsked) {
  RecordMessages messages;
  std::string root = NewDir("outside");
  std::string dir = root + "/dict";
  ASSERT_TRUE(fs::create_directory(dir));
  std::string victim = root + "/victim.dat";
  zelko_testing::WriteFile(victim, "precious");
  ASSERT_EQ(WriteDictionary(dir, {Counters("../victim.dat")}), 0);
  Outcome refused = Zelko({"create", dir, "counters", "--replace"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("lies outside the dictionary's directory"), std::string::npos)
      << refused.err;
  EXPECT_EQ(zelko_testing::ReadFile(victim), "precious");
  ASSERT_EQ(WriteDictionary(dir, {Counters(root + "/absolute.dat")}), 0);
  EXPECT_EQ(Zelko({"create", dir, "counters"}).status, 1);
  EXPECT_FALSE(fs::exists(root + "/absolute.dat"));
  Outcome asked = Zelko({"create", dir, "counters", "--allow-outside"});
  EXPECT_EQ(asked.status, 0) << asked.err;
  EXPECT_TRUE(fs::exists(root + "/absolute.dat"));
  // Below the directory is inside.
  ASSERT_TRUE(fs::create_directory(dir + "/data"));
  ASSERT_EQ(WriteDictionary(dir, {Counters("data/../data/in.dat")}), 0);
  EXPECT_EQ(Zelko({"create", dir, "counters"}).status, 0);
  // A Windows drive no [path_map] entry maps names no file here, and the user is told where
  // to map it.
  ASSERT_EQ(WriteDictionary(dir, {Counters("C:\\DATA\\C.DAT")}), 0);
  for (const std::vector<std::string> &args :
       {std::vector<std::string>{"create", dir, "counters", "--allow-outside"},
        std::vector<std::string>{"dump", dir, "counters"}}) {
    Outcome unmapped = Zelko(args);
    EXPECT_EQ(unmapped.status, 1) << args[0];
    EXPECT_NE(unmapped.err.find("C:\\DATA\\C.DAT"), std::string::npos) << unmapped.err;
    EXPECT_NE(unmapped.err.find("mapped to no directory (zelko.ini [path_map]"), std::string::npos)
        << unmapped.err;
  }
  ASSERT_TRUE(fs::create_directories(root + "/c/DATA"));
  zelko_testing::WriteFile(zelko_testing::ConfigDir() + "/zelko.ini",
                           "[path_map]\nc:=" + root + "/c\n");
  Outcome mapped = Zelko({"create", dir, "counters", "--allow-outside"});
  EXPECT_EQ(mapped.status, 0) << mapped.err;
  EXPECT_TRUE(fs::exists(root + "/c/DATA/C.DAT"));
  fs::remove(zelko_testing::ConfigDir() + "/zelko.ini");
}

// Runs `body` in a child with a private mount namespace and a small tmpfs at `mount_point`;
// its exit status, or -2 when mounts are not allowed here.
int InPrivateMount(const std::string &mount_point, const std::string &size,
                   const std::function<int()> &body) {
  pid_t pid = fork();
  if (pid == 0) {
    if (unshare(CLONE_NEWNS) != 0 ||
        mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("zelko", mount_point.c_str(), "tmpfs", 0, ("size=" + size).c_str()) != 0) {
      _exit(98);
    }
    _exit(body());
  }
  int status = 0;
  waitpid(pid, &status, 0);
  int rc = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return rc == 98 ? -2 : rc;
}

TEST(ZelkoSafety, ADictionaryOnAReadOnlyMountOrAFullDiskCanBeRead) {
  RecordMessages messages;
  std::string source = CountersDictionary("ro", 20);
  std::string mount_point = NewDir("mnt");
  for (bool full : {false, true}) {
    int rc = InPrivateMount(mount_point, "2m", [&]() {
      for (const char *name : {"FILE.DDF", "FIELD.DDF", "INDEX.DDF", "COUNT.DAT"})
        fs::copy_file(source + "/" + name, mount_point + "/" + name);
      if (full) {
        std::ofstream fill(mount_point + "/fill", std::ios::binary);
        std::string block(4096, 'x');
        while (fill.write(block.data(), block.size()))
          ;
      } else if (mount("none", mount_point.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) !=
                 0) {
        return 97;
      }
      Outcome dump = Zelko({"dump", mount_point, "counters"});
      if (dump.status != 0 || std::count(dump.out.begin(), dump.out.end(), '\n') != 21) return 1;
      if (Zelko({"tables", mount_point}).status != 0) return 2;
      // The check reads the files as they stand too, and finds them sound.
      Outcome check = Zelko({"check", mount_point});
      if (check.status != 0 || check.out.find("not a Btrieve file") != std::string::npos) {
        std::fprintf(stderr, "%s%s", check.out.c_str(), check.err.c_str());
        return 5;
      }
      // Every row would be refused alike: the first refusal stops the load.
      zelko_testing::WriteFile(source + "/one.csv", "ID,S\n99,new\n100,new\n101,new\n");
      Outcome load = Zelko({"load", mount_point, "counters", source + "/one.csv", "--batch", "0"});
      if (load.status != 1 || load.err.find("status 46") == std::string::npos) return 3;
      if (load.err.find("rejected:") != load.err.rfind("rejected:") ||
          load.err.find("the load stops at line 2") == std::string::npos)
        return 4;
      return 0;
    });
    if (rc == -2) GTEST_SKIP() << "mounts are not allowed here";
    EXPECT_EQ(rc, 0) << (full ? "full disk" : "read-only mount");
  }
}

TEST(ZelkoSafety, ALoadThatFillsTheDiskStopsThereAndKeepsWhatItSaysItWrote) {
  RecordMessages messages;
  std::string source = CountersDictionary("fills", 10);
  std::string csv = "ID,C,S\n";
  for (int id = 1000; id < 151000; ++id)
    csv += std::to_string(id) + "," + std::to_string(id) + ",row\n";
  zelko_testing::WriteFile(source + "/many.csv", csv);
  std::string mount_point = NewDir("small");
  for (bool transactions : {true, false}) {
    int rc = InPrivateMount(mount_point, "1m", [&]() {
      for (const char *name : {"FILE.DDF", "FIELD.DDF", "INDEX.DDF", "COUNT.DAT"})
        fs::copy_file(source + "/" + name, mount_point + "/" + name);
      std::vector<std::string> args = {"load", mount_point, "counters", source + "/many.csv"};
      if (!transactions) args.insert(args.end(), {"--batch", "0"});
      Outcome load = Zelko(args);
      // One refused row, the reason, and no run of rows refused after it.
      if (load.status != 1) return 1;
      // The row that found no room stops the load (no run of refusals after it); or, in a
      // transaction, its end finds none, says what was not written, and no other begins.
      auto count = [&](const std::string &text) {
        size_t n = 0;
        for (size_t at = 0; (at = load.err.find(text, at)) != std::string::npos; ++at)
          ++n;
        return n;
      };
      size_t refused = count("rejected:");
      if (refused > 1 || count("rows were not written") > 1) return 2;
      bool stopped = load.err.find("rejected: status 18, disk full") != std::string::npos &&
                     load.err.find("the load stops at line") != std::string::npos;
      if (refused == 1 && !stopped) return 3;
      if (refused == 0 && count("rows were not written") == 0) return 4;
      // The file is sound and holds exactly the rows the load counted as inserted.
      long inserted = -1;
      if (std::sscanf(load.out.c_str(), "inserted %ld", &inserted) != 1) return 5;
      if (Zelko({"check", mount_point, "counters"}).status != 0) return 6;
      Outcome dump = Zelko({"dump", mount_point, "counters"});
      if (dump.status != 0) return 7;
      if (std::count(dump.out.begin(), dump.out.end(), '\n') != 1 + 10 + inserted) return 8;
      return 0;
    });
    if (rc == -2) GTEST_SKIP() << "mounts are not allowed here";
    EXPECT_EQ(rc, 0) << (transactions ? "in transactions" : "row by row");
  }
}

// Interrupted (Ctrl+C), a load ends the transaction it is in, says at which line it stopped,
// and the file holds exactly what it says it wrote; its copy of standard input goes.
TEST(ZelkoSafety, AnInterruptedLoadSaysWhereItStoppedAndKeepsWhatItWrote) {
  std::string dir = CountersDictionary("interrupted", 0);
  std::string spool = NewDir("spool");
  std::string csv = "ID,C,S\n";
  for (int id = 1; id <= 300000; ++id)
    csv += std::to_string(id) + ",1,row\n";
  zelko_testing::WriteFile(dir + "/many.csv", csv);
  const std::string out = dir + "/load.out", err = dir + "/load.err";
  pid_t load = fork();
  if (load == 0) {
    if (!freopen((dir + "/many.csv").c_str(), "r", stdin) || !freopen(out.c_str(), "w", stdout) ||
        !freopen(err.c_str(), "w", stderr) || setenv("TMPDIR", spool.c_str(), 1) != 0)
      _exit(99);
    execl(ZELKO_ZELKO_BINARY, "zelko", "load", dir.c_str(), "counters", "-", "--batch", "500",
          static_cast<char *>(nullptr));
    _exit(98);
  }
  // Once its writes reach the journal the load is past its check of the rows.
  for (int waited = 0; waited < 20000; waited += 5) {
    std::error_code ignored;
    if (fs::file_size(dir + "/COUNT.DAT-wal", ignored) > 0 && !ignored) break;
    usleep(5000);
  }
  kill(load, SIGINT);
  int status = 0;
  ASSERT_EQ(waitpid(load, &status, 0), load);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 130) << zelko_testing::ReadFile(err);
  std::string said = zelko_testing::ReadFile(err);
  long line = -1, inserted = -1;
  size_t at = said.find("interrupted at line ");
  ASSERT_NE(at, std::string::npos) << said;
  ASSERT_EQ(std::sscanf(said.c_str() + at, "interrupted at line %ld", &line), 1);
  ASSERT_EQ(std::sscanf(zelko_testing::ReadFile(out).c_str(), "inserted %ld", &inserted), 1);
  EXPECT_EQ(inserted, line - 2);  // the header, then one row a line
  EXPECT_LT(inserted, 300000);
  EXPECT_EQ(Zelko({"check", dir, "counters"}).status, 0);
  Outcome dump = Zelko({"dump", dir, "counters"});
  EXPECT_EQ(std::count(dump.out.begin(), dump.out.end(), '\n'), 1 + inserted);
  EXPECT_TRUE(fs::is_empty(spool));
}

}  // namespace
}  // namespace zelkocli
