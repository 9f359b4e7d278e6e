// Nothing thrown inside the dictionary library crosses its functions: every allocation of a
// create-write-read session fails in turn, and each call still answers with a status.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "btrieve/btrapi.h"
#include "dictio/dictio.h"
#include "failing_new.h"
#include "zelko_test_env.h"

namespace {

using zelko_testing::Counted;

void Session(const std::string &dir) {
  if (Counted([&] { return DDFOpen(dir.c_str(), 1); }) == 0) {
    DdfFileRecord file{};
    file.id = 4;
    std::memcpy(file.name, "CUSTOMER", 8);
    std::memcpy(file.location, "CUST.BTR", 8);
    Counted([&] { return DDFWriteFile(&file); });
    DdfFieldRecord field{};
    field.id = 19;
    field.file_id = 4;
    std::memcpy(field.name, "NAME", 4);
    field.size = 20;
    Counted([&] { return DDFWriteField(&field); });
    DdfIndexRecord index{4, 19, 0, 0, 0};
    Counted([&] { return DDFWriteIndex(&index); });
    Counted([] { return DDFClose(); });
  }
  if (Counted([&] { return DDFOpen(dir.c_str(), 0); }) == 0) {
    DdfFileRecord file;
    DdfFieldRecord field;
    DdfIndexRecord index;
    while (Counted([&] { return DDFReadFile(&file); }) == 0) {
    }
    while (Counted([&] { return DDFReadField(&field); }) == 0) {
    }
    while (Counted([&] { return DDFReadIndex(&index); }) == 0) {
    }
    Counted([] { return DDFClose(); });
  }
}

TEST(DictioAbiGuard, NoExceptionLeavesTheLibrary) {
  std::string dir = zelko_testing::ScratchDir() + "/dict";
  std::filesystem::create_directories(dir);
  int runs = zelko_testing::SweepAllocationFailures([&] { Session(dir); }, [] { BTRRELEASE(); });
  EXPECT_GT(runs, 10);
  Session(dir);
  ASSERT_EQ(DDFOpen(dir.c_str(), 0), 0);
  DdfFileRecord file;
  EXPECT_EQ(DDFReadFile(&file), 0);
  EXPECT_EQ(std::memcmp(file.name, "CUSTOMER", 8), 0);
  DDFClose();
}

}  // namespace
