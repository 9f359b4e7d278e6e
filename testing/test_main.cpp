// Test entry point shared by every test executable: each test gets its own configuration
// directory (ZELKO_CONFIG_DIR) and its own scratch directory (ZELKO_TEST_SCRATCH), removed
// afterwards, so no test reads or writes the user's home.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "zelko_test_env.h"

namespace {

class ConfigDirListener : public testing::EmptyTestEventListener {
  void OnTestStart(const testing::TestInfo &) override {
    root_ = zelko_testing::MakeTempDir();
    std::filesystem::create_directories(root_ + "/config");
    std::filesystem::create_directories(root_ + "/scratch");
    setenv("ZELKO_CONFIG_DIR", (root_ + "/config").c_str(), 1);
    setenv("ZELKO_TEST_SCRATCH", (root_ + "/scratch").c_str(), 1);
    zelko_testing::RunResetHooks();
  }
  void OnTestEnd(const testing::TestInfo &info) override {
    std::error_code ec;
    if (info.result() == nullptr || info.result()->Passed() ||
        getenv("ZELKO_KEEP_TMP") == nullptr) {
      std::filesystem::remove_all(root_, ec);
    }
  }
  std::string root_;
};

}  // namespace

int main(int argc, char **argv) {
  testing::InitGoogleTest(&argc, argv);
  // Before any test: keep a stray call from reading the real home.
  std::string boot = zelko_testing::MakeTempDir();
  setenv("ZELKO_CONFIG_DIR", boot.c_str(), 1);
  // The system's own (Japanese) messages, whatever the locale of the machine; a test that
  // wants English sets it.
  setenv("LC_ALL", "C.UTF-8", 1);
  unsetenv("LANGUAGE");
  testing::UnitTest::GetInstance()->listeners().Append(new ConfigDirListener);
  int rc = RUN_ALL_TESTS();
  std::error_code ec;
  std::filesystem::remove_all(boot, ec);
  return rc;
}
