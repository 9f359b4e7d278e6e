#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "btr_test_util.h"
#include "btrieve/btrapi.h"
#include "zelko_test_env.h"
#include "zplatform/profile.h"

namespace {

using btrieve::DirectoryLock;
constexpr bool kShared = false, kExclusive = true;

// Whether a child process gets the lock within `wait_ms`.
bool OtherProcessGets(const std::string &dir, bool mode, int wait_ms) {
  pid_t child = fork();
  if (child == 0) {
    DirectoryLock lock(dir.c_str(), mode, wait_ms);
    _exit(lock.Held() ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(DirectoryLocks, WritersExcludeEveryoneReadersOnlyWriters) {
  std::string dir = zelko_testing::ScratchDir();
  {
    DirectoryLock writer(dir.c_str(), kExclusive);
    ASSERT_TRUE(writer.Held());
    EXPECT_FALSE(OtherProcessGets(dir, kShared, 50));
    EXPECT_FALSE(OtherProcessGets(dir, kExclusive, 50));
    // The process's own later users nest inside without waiting.
    DirectoryLock reader(dir.c_str(), kShared, 0);
    DirectoryLock second_writer(dir.c_str(), kExclusive, 0);
    EXPECT_TRUE(reader.Held());
    EXPECT_TRUE(second_writer.Held());
  }
  EXPECT_TRUE(OtherProcessGets(dir, kExclusive, 0));
  {
    DirectoryLock reader(dir.c_str(), kShared);
    EXPECT_TRUE(OtherProcessGets(dir, kShared, 0));
    EXPECT_FALSE(OtherProcessGets(dir, kExclusive, 50));
    {
      // Raised to exclusive while a nested user asks for it, and kept until the last lets go.
      DirectoryLock writer(dir.c_str(), kExclusive, 0);
      EXPECT_TRUE(writer.Held());
      EXPECT_FALSE(OtherProcessGets(dir, kShared, 50));
    }
    EXPECT_FALSE(OtherProcessGets(dir, kShared, 50));
  }
  EXPECT_TRUE(OtherProcessGets(dir, kShared, 0));
}

TEST(DirectoryLocks, AWaitingWriterGetsTheLockWhenTheHolderEnds) {
  std::string dir = zelko_testing::ScratchDir();
  int taken[2], done[2];
  ASSERT_EQ(pipe(taken), 0);
  ASSERT_EQ(pipe(done), 0);
  pid_t holder = fork();
  if (holder == 0) {
    DirectoryLock lock(dir.c_str(), kExclusive);
    char c;
    (void)!write(taken[1], "x", 1);
    (void)!read(done[0], &c, 1);  // until the parent has seen the lock taken
    _exit(0);
  }
  char c;
  ASSERT_EQ(read(taken[0], &c, 1), 1);
  {
    DirectoryLock refused(dir.c_str(), kExclusive, 30);
    EXPECT_FALSE(refused.Held());
  }
  ASSERT_EQ(write(done[1], "y", 1), 1);
  DirectoryLock waited(dir.c_str(), kExclusive);  // the holder's exit lets it go
  EXPECT_TRUE(waited.Held());
  waitpid(holder, nullptr, 0);
  for (int fd : {taken[0], taken[1], done[0], done[1]})
    close(fd);
  // A directory that is not there is not locked, and nothing fails. (A server's directory
  // needs no directory here: a dictionary on it is locked before its files are made.)
  DirectoryLock absent((dir + "/none").c_str(), kExclusive, 0);
  EXPECT_EQ(absent.Held(), btrtest::OnServer());
}

TEST(DirectoryLocks, AServerOutOfReachLocksNothingAndFailsNothing) {
  std::string dir = zelko_testing::ScratchDir() + "/unreachable";
  zplatform::WritePrivateProfileString("servers", dir.c_str(),
                                       "host=/nonexistent-socket-dir dbname=x connect_timeout=2",
                                       "zelko.ini");
  DirectoryLock lock(dir.c_str(), kExclusive, 0);
  EXPECT_FALSE(lock.Held());
}

// On a server the lock is the server's: every connection to it sees it, a holder's end
// lets it go, and a name differing only in letter case is the same directory.
TEST(DirectoryLocks, AServersDirectoryIsLockedOnTheServer) {
  if (!btrtest::OnServer()) GTEST_SKIP() << "runs against the server store";
  std::string dir = zelko_testing::ScratchDir() + "/On/Server";
  std::string other = zelko_testing::ScratchDir() + "/On/Other";
  DirectoryLock writer(dir.c_str(), kExclusive);
  ASSERT_TRUE(writer.Held());
  EXPECT_FALSE(std::filesystem::exists(dir));
  EXPECT_FALSE(OtherProcessGets(zelko_testing::ScratchDir() + "/on/server", kShared, 50));
  EXPECT_TRUE(OtherProcessGets(other, kExclusive, 0));
  pid_t child = fork();
  if (child == 0) _exit(0);  // a child ending must not end the parent's session
  waitpid(child, nullptr, 0);
  EXPECT_FALSE(OtherProcessGets(dir, kShared, 50));
  pid_t killed = fork();
  if (killed == 0) {
    DirectoryLock held(other.c_str(), kExclusive);
    if (!held.Held()) _exit(1);
    pause();
  }
  for (int i = 0; i < 500 && OtherProcessGets(other, kShared, 0); ++i)
    usleep(10000);  // until the child holds it
  EXPECT_FALSE(OtherProcessGets(other, kShared, 0));
  kill(killed, SIGKILL);
  waitpid(killed, nullptr, 0);
  EXPECT_TRUE(OtherProcessGets(other, kShared, 5000));
}

}  // namespace
