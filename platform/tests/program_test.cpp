#include "zplatform/program.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

namespace zplatform {
namespace {

// A form that opens every table of a large dictionary needs more descriptors than the usual
// soft limit; the programs take what the hard limit allows.
TEST(Program, TheOpenFileLimitRisesToTheHardOne) {
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
  if (saved.rlim_max < 128) GTEST_SKIP() << "a hard limit too low to lower the soft one";
  rlimit low = saved;
  low.rlim_cur = 64;
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
  RaiseOpenFileLimit();
  rlimit now{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &now), 0);
  setrlimit(RLIMIT_NOFILE, &saved);
  EXPECT_EQ(now.rlim_cur, saved.rlim_max);
  EXPECT_EQ(now.rlim_max, saved.rlim_max);
}

}  // namespace
}  // namespace zplatform
