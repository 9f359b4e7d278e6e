#include "zplatform/paths.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "zelko_test_env.h"
#include "zplatform/profile.h"

namespace zplatform {
namespace {

using zelko_testing::ReadFile;
using zelko_testing::ScratchDir;
using zelko_testing::WriteFile;

TEST(Paths, BackslashesAndCaseInsensitiveLookup) {
  std::string dir = ScratchDir();
  std::filesystem::create_directories(dir + "/Data/Sub");
  WriteFile(dir + "/Data/Sub/CUST.BTR", "x");
  EXPECT_EQ(NativePath(dir + "\\data\\sub\\cust.btr"), dir + "/Data/Sub/CUST.BTR");
  EXPECT_EQ(NativePath(dir + "/Data/Sub/CUST.BTR"), dir + "/Data/Sub/CUST.BTR");
  // A name that does not exist keeps the part that matched and the rest as written.
  EXPECT_EQ(NativePath(dir + "\\DATA\\new\\x.btr"), dir + "/Data/new/x.btr");
  EXPECT_TRUE(FileExists(dir + "\\DATA\\SUB\\cust.btr"));
  EXPECT_FALSE(FileExists(dir + "\\DATA\\SUB\\none.btr"));
}

TEST(Paths, DriveLettersAndUncPrefixesThroughThePathMap) {
  std::string dir = ScratchDir();
  std::filesystem::create_directories(dir + "/c/APP");
  std::filesystem::create_directories(dir + "/share/x");
  WriteFile(dir + "/c/APP/a.ddf", "a");
  ASSERT_TRUE(WritePrivateProfileString("path_map", "c:", (dir + "/c").c_str(), "zelko.ini"));
  ASSERT_TRUE(WritePrivateProfileString("path_map", "\\\\server\\data", (dir + "/share/").c_str(),
                                        "zelko.ini"));
  EXPECT_EQ(NativePath("C:\\app\\A.DDF"), dir + "/c/APP/a.ddf");
  EXPECT_EQ(NativePath("c:/APP"), dir + "/c/APP");
  EXPECT_EQ(NativePath("\\\\SERVER\\DATA\\X"), dir + "/share/x");
  EXPECT_EQ(NativePath("d:\\app"), std::nullopt);  // unmapped drive: file not found
  EXPECT_EQ(NativePath("\\\\other\\data\\x"), std::nullopt);
  EXPECT_FALSE(FileExists("d:\\app\\a.ddf"));
  EXPECT_EQ(DeleteFile("d:\\x").os_error, ENOENT);
}

TEST(Paths, ShortPathNameIsTheCanonicalPath) {
  std::string dir = ScratchDir();
  std::filesystem::create_directories(dir + "/Dict");
  std::string canonical = std::filesystem::canonical(dir).string();
  EXPECT_EQ(ShortPathName(dir + "/./Dict/../dict"), canonical + "/Dict");
  EXPECT_EQ(ShortPathName(dir + "\\DICT\\"), canonical + "/Dict");
  EXPECT_EQ(ShortPathName(dir + "/missing"), std::nullopt);
  EXPECT_EQ(ShortPathName(dir + "/missing/deeper"), std::nullopt);
}

TEST(Paths, CopyMoveDeleteKeepTheOsError) {
  std::string dir = ScratchDir();
  WriteFile(dir + "/a.btr", "content");
  EXPECT_TRUE(CopyFile(dir + "/a.btr", dir + "/b.btr", true).ok);
  EXPECT_EQ(ReadFile(dir + "/b.btr"), "content");
  FileResult r = CopyFile(dir + "/a.btr", dir + "/b.btr", true);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.os_error, EEXIST);
  WriteFile(dir + "/a.btr", "newer");
  EXPECT_TRUE(CopyFile(dir + "/a.btr", dir + "/b.btr", false).ok);
  EXPECT_EQ(ReadFile(dir + "/b.btr"), "newer");
  EXPECT_EQ(CopyFile(dir + "/none", dir + "/c.btr", false).os_error, ENOENT);

  EXPECT_EQ(MoveFile(dir + "/a.btr", dir + "/b.btr").os_error, EEXIST);  // never replaces
  EXPECT_TRUE(MoveFile(dir + "/a.btr", dir + "/c.btr").ok);
  EXPECT_FALSE(FileExists(dir + "/a.btr"));
  EXPECT_EQ(MoveFile(dir + "/a.btr", dir + "/d.btr").os_error, ENOENT);

  EXPECT_TRUE(DeleteFile(dir + "/c.btr").ok);
  EXPECT_EQ(DeleteFile(dir + "/c.btr").os_error, ENOENT);
  EXPECT_FALSE(OsErrorText(ENOENT).empty());
  EXPECT_EQ(CopyFile(dir + "/b.btr", dir + "/nodir/x", false).os_error, ENOENT);
}

TEST(Paths, ACopyThatRunsOutOfRoomLeavesNoCutFile) {
  std::string dir = ScratchDir();
  WriteFile(dir + "/big.btr", std::string(200000, 'b'));
  WriteFile(dir + "/old.btr", "old");
  // A child whose files may not grow past 100,000 bytes: a disk that fills up.
  pid_t pid = fork();
  if (pid == 0) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{100000, 100000};
    setrlimit(RLIMIT_FSIZE, &limit);
    FileResult over = CopyFile(dir + "/big.btr", dir + "/old.btr", false);
    FileResult fresh = CopyFile(dir + "/big.btr", dir + "/new.btr", true);
    _exit(!over.ok && over.os_error == EFBIG && !fresh.ok ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  // The former file is as it was, the new one absent, and nothing is left beside them.
  EXPECT_TRUE(ReadFile(dir + "/old.btr") == "old");  // (a cut copy would be 100,000 bytes)
  EXPECT_FALSE(FileExists(dir + "/new.btr"));
  size_t files = 0;
  for (const auto &entry : std::filesystem::directory_iterator(dir)) {
    (void)entry;
    ++files;
  }
  EXPECT_EQ(files, 2u);
}

TEST(Paths, AtomicReplace) {
  std::string path = ScratchDir() + "/f.txt";
  EXPECT_TRUE(ReplaceFileAtomically(path, "one").ok);
  EXPECT_TRUE(ReplaceFileAtomically(path, "two").ok);
  EXPECT_EQ(ReadFile(path), "two");
  EXPECT_FALSE(ReplaceFileAtomically(ScratchDir() + "/missing/f.txt", "x").ok);
  EXPECT_EQ(ReadWholeFile(ScratchDir() + "/none"), std::nullopt);
  // A read that fails is no file, not an empty one.
  EXPECT_EQ(ReadWholeFile(ScratchDir()), std::nullopt);
  // A link stays a link, relative or absolute, through two hops; the file it names changes.
  std::filesystem::create_directories(ScratchDir() + "/kept/deeper");
  std::filesystem::create_symlink("deeper/real.ini", ScratchDir() + "/kept/hop.ini");
  std::filesystem::create_symlink(ScratchDir() + "/kept/hop.ini", ScratchDir() + "/link.ini");
  EXPECT_TRUE(ReplaceFileAtomically(ScratchDir() + "/link.ini", "made").ok);  // not there yet
  EXPECT_TRUE(ReplaceFileAtomically(ScratchDir() + "/link.ini", "changed").ok);
  EXPECT_TRUE(std::filesystem::is_symlink(ScratchDir() + "/link.ini"));
  EXPECT_TRUE(std::filesystem::is_symlink(ScratchDir() + "/kept/hop.ini"));
  EXPECT_EQ(ReadFile(ScratchDir() + "/kept/deeper/real.ini"), "changed");
  // A loop of links is replaced as a file, as before.
  std::filesystem::create_symlink("loop.ini", ScratchDir() + "/loop.ini");
  EXPECT_TRUE(ReplaceFileAtomically(ScratchDir() + "/loop.ini", "x").ok);
  EXPECT_EQ(ReadFile(ScratchDir() + "/loop.ini"), "x");
  // A new file gets what the umask gives (a group's 002 shares it); a replaced one keeps
  // its bits.
  mode_t saved = ::umask(002);
  EXPECT_TRUE(ReplaceFileAtomically(ScratchDir() + "/shared.txt", "x").ok);
  ::umask(saved);
  auto perms = [](const std::string &p) { return std::filesystem::status(p).permissions(); };
  EXPECT_EQ(perms(ScratchDir() + "/shared.txt"), std::filesystem::perms(0664));
  std::filesystem::permissions(path, std::filesystem::perms(0600));
  EXPECT_TRUE(ReplaceFileAtomically(path, "three").ok);
  EXPECT_EQ(perms(path), std::filesystem::perms(0600));
}

}  // namespace
}  // namespace zplatform
