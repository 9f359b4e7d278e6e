// Saves that end part-way: whatever moment a saving process ends at, the next open of the
// dictionary finds all three files of the old dictionary or all three of the new one.
#include "dictionary_swap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "dictio/dictio.h"
#include "zelko_test_env.h"

namespace {

namespace fs = std::filesystem;
constexpr const char *kNames[3] = {"FILE.DDF", "FIELD.DDF", "INDEX.DDF"};

// Thrown from a step: nothing of the swap runs after it, as when its process is killed.
struct Interrupted {};

std::string Read(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "(none)";
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Write(const std::string &path, const std::string &text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::set<std::string> SaveScratches(const std::string &dir) {
  std::set<std::string> found;
  for (const auto &e : fs::directory_iterator(dir)) {
    std::string name = e.path().filename().string();
    if (name.rfind(dictio::kSaveScratchPrefix, 0) == 0) found.insert(name);
  }
  return found;
}

struct Scenario {
  const char *name;
  bool old_index;    // the old dictionary has an INDEX.DDF
  bool field_fails;  // FIELD.DDF cannot take its place while the swap runs
  bool fails_once;   // ... but can when the next program finishes it
};

}  // namespace

TEST(DictionarySwap, ASwapEndedAtAnyStepIsFinishedOrUndoneWhole) {
  const Scenario scenarios[] = {{"all three replaced", true, false, false},
                                {"an index file added", false, false, false},
                                {"a move that fails", true, true, false},
                                {"a move that fails once", true, true, true}};
  for (const Scenario &sc : scenarios) {
    for (int stop = 0;; ++stop) {
      SCOPED_TRACE(std::string(sc.name) + ", ended before step " + std::to_string(stop));
      const std::string dir = zelko_testing::ScratchDir() + "/swap";
      fs::remove_all(dir);
      fs::create_directories(dir);
      const std::string scratch = dir + "/" + dictio::kSaveScratchPrefix + "t";
      fs::create_directories(scratch);
      // FIELD.DDF that cannot move goes to a directory not there yet, where it had no file.
      std::string existing[3];
      for (int i = 0; i < 3; ++i) {
        existing[i] = dir + (i == 1 && sc.field_fails ? "/later/" : "/") + kNames[i];
        if ((i == 0 || (i == 1 && !sc.field_fails) || (i == 2 && sc.old_index)))
          Write(existing[i], std::string("old ") + kNames[i]);
        Write(scratch + "/" + kNames[i], std::string("new ") + kNames[i]);
      }
      bool ended = false;
      int result = 0;
      try {
        result = dictio::SwapDictionaryFilesStepwise(scratch, existing, false, [&](int step) {
          if (step == stop) throw Interrupted{};
        });
      } catch (const Interrupted &) {
        ended = true;
      }
      if (!ended) {
        EXPECT_EQ(result != 0, sc.field_fails);
      }
      if (sc.fails_once) fs::create_directories(dir + "/later");
      dictio::FinishInterruptedSaves(dir);
      EXPECT_TRUE(SaveScratches(dir).empty());

      const std::string file = Read(existing[0]);
      const std::string field = Read(existing[1]);
      const std::string index = Read(existing[2]);
      if (file == "new FILE.DDF") {
        EXPECT_EQ(field, "new FIELD.DDF");
        EXPECT_EQ(index, "new INDEX.DDF");
      } else {
        EXPECT_EQ(file, "old FILE.DDF");
        EXPECT_EQ(field, sc.field_fails ? "(none)" : "old FIELD.DDF");
        EXPECT_EQ(index, sc.old_index ? "old INDEX.DDF" : "(none)");
      }
      if (!ended) break;
    }
  }
}

namespace {

// A dictionary in `dir` with one table of one field, both named `name`.
void MakeDictionary(const std::string &dir, const char *name) {
  fs::create_directories(dir);
  ASSERT_EQ(DDFOpen(dir.c_str(), 1), 0);
  DdfFileRecord table{};
  table.id = 10;  // past the dictionary's own tables
  std::memcpy(table.name, name, std::strlen(name));
  std::memset(table.location, ' ', sizeof table.location);
  std::memcpy(table.location, "T.BTR", 5);
  ASSERT_EQ(DDFWriteFile(&table), 0);
  DdfFieldRecord field{};
  field.id = 100;
  field.file_id = 10;
  std::memcpy(field.name, name, std::strlen(name));
  field.size = 4;
  field.data_type = 1;
  ASSERT_EQ(DDFWriteField(&field), 0);
  ASSERT_EQ(DDFClose(), 0);
}

// The names of the first table and of its first field, as a program opening `dir` reads them.
std::string Names(const std::string &dir) {
  if (DDFOpen(dir.c_str(), 0) != 0) return "(cannot open)";
  DdfFileRecord table{};
  DdfFieldRecord field{};
  std::string names;
  if (DDFReadFile(&table) == 0) names += std::string(table.name, strnlen(table.name, 20));
  names += "/";
  while (DDFReadField(&field) == 0) {
    if (field.file_id == 10) names += std::string(field.name, strnlen(field.name, 20));
  }
  DDFClose();
  names.erase(std::remove(names.begin(), names.end(), ' '), names.end());
  return names;
}

}  // namespace

TEST(DictionarySwap, OpeningADictionaryFinishesASaveItsProcessLeftPartWay) {
  const std::string dir = zelko_testing::ScratchDir() + "/left";
  MakeDictionary(dir, "OLD");
  ASSERT_EQ(Names(dir), "OLD/OLD");

  // A save that ended while it was still writing its files: they are dropped.
  const std::string unfinished = dir + "/" + dictio::kSaveScratchPrefix + "w";
  MakeDictionary(unfinished, "HALF");
  EXPECT_EQ(Names(dir), "OLD/OLD");
  EXPECT_TRUE(SaveScratches(dir).empty());

  // A save that ended with FILE.DDF in place and FIELD.DDF not yet: it goes through.
  const std::string scratch = dir + "/" + dictio::kSaveScratchPrefix + "s";
  MakeDictionary(scratch, "NEW");
  const std::string existing[3] = {dir + "/FILE.DDF", dir + "/FIELD.DDF", dir + "/INDEX.DDF"};
  EXPECT_THROW(dictio::SwapDictionaryFilesStepwise(scratch, existing, false,
                                                   [&](int) {
                                                     if (fs::exists(scratch + "/old-FIELD.DDF"))
                                                       throw Interrupted{};
                                                   }),
               Interrupted);
  ASSERT_FALSE(fs::exists(scratch + "/FILE.DDF"));  // the new one is in place
  ASSERT_TRUE(fs::exists(scratch + "/FIELD.DDF"));  // the new one still waits here
  EXPECT_EQ(Names(dir), "NEW/NEW");
  EXPECT_TRUE(SaveScratches(dir).empty());
}

// A save's scratch directory opens to whoever may edit the dictionary: the next of them to
// open it finishes a save that ended part-way, whoever made it.
TEST(DictionarySwap, TheScratchDirectoryGivesTheDictionaryDirectorysAccess) {
  std::string dir = zelko_testing::ScratchDir() + "/shared";
  fs::create_directories(dir);
  fs::permissions(dir, fs::perms::owner_all | fs::perms::group_all | fs::perms::others_read |
                           fs::perms::others_exec);
  dictio::SaveScratch scratch(dir);
  ASSERT_EQ(scratch.error(), 0);
  EXPECT_EQ(fs::status(scratch.path()).permissions(), fs::status(dir).permissions());
}
