#include "dictio/dictio.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "btrieve/btrapi.h"
#include "system_records.h"
#include "zelko_test_env.h"
#include "zplatform/messages.h"
#include "zplatform/profile.h"

namespace {

using zelko_testing::ScratchDir;

std::string Dir(const std::string &name) {
  std::string d = ScratchDir() + "/" + name;
  std::filesystem::create_directories(d);
  return d;
}

// Number of records of a Btrieve file (Stat).
int RecordCount(const std::string &path) {
  uint8_t pb[128] = {};
  uint32_t len = 0;
  std::string p = path;
  if (BTRCALL(B_OPEN, pb, nullptr, &len, p.data(), 0, -2) != 0) return -1;
  std::vector<uint8_t> stat(4096);
  len = 4096;
  uint8_t key[255];
  int n = BTRCALL(B_STAT, pb, stat.data(), &len, key, 255, 0) == 0 ? stat[6] | stat[7] << 8 : -1;
  len = 0;
  BTRCALL(B_CLOSE, pb, nullptr, &len, nullptr, 0, 0);
  return n;
}

DdfFileRecord Table(uint16_t id, const char *name, const char *loc) {
  DdfFileRecord r;
  std::memset(&r, 0, sizeof r);
  r.id = id;
  std::memset(r.name, 0, sizeof r.name);
  std::memcpy(r.name, name, std::min(sizeof r.name, std::strlen(name)));
  std::memset(r.location, ' ', sizeof r.location);
  std::memcpy(r.location, loc, std::strlen(loc));
  return r;
}

DdfFieldRecord Field(uint16_t id, uint16_t file, const char *name, uint8_t type, uint16_t offset,
                     uint16_t size) {
  DdfFieldRecord r;
  std::memset(&r, 0, sizeof r);
  r.id = id;
  r.file_id = file;
  std::memset(r.name, 0, sizeof r.name);
  std::memcpy(r.name, name, std::min(sizeof r.name, std::strlen(name)));
  r.data_type = type;
  r.offset = offset;
  r.size = size;
  return r;
}

TEST(Dictio, SystemRecordsAndBufferLengths) {
  EXPECT_EQ(dictio::FileDdfCreationBuffer().size(), 313u);
  EXPECT_EQ(dictio::FieldDdfCreationBuffer().size(), 409u);
  EXPECT_EQ(dictio::IndexDdfCreationBuffer().size(), 361u);
  EXPECT_EQ(dictio::SystemTableRecords().size(), 3u);
  EXPECT_EQ(dictio::SystemFieldRecords().size(), 18u);
  EXPECT_EQ(dictio::SystemIndexRecords().size(), 15u);
}

TEST(Dictio, NewDictionaryHoldsOnlyItsOwnRecords) {
  std::string dir = Dir("new");
  ASSERT_EQ(DDFOpen(dir.c_str(), 1), 0);
  ASSERT_EQ(DDFClose(), 0);
  EXPECT_EQ(RecordCount(dir + "/FILE.DDF"), 3);
  EXPECT_EQ(RecordCount(dir + "/FIELD.DDF"), 18);
  EXPECT_EQ(RecordCount(dir + "/INDEX.DDF"), 15);
  // A pass begins after the dictionary's tables, with the last system field (ID 18) and
  // with the segments of table 3.
  ASSERT_EQ(DDFOpen(dir.c_str(), 0), 0);
  DdfFileRecord t;
  EXPECT_EQ(DDFReadFile(&t), B_END_OF_FILE);
  DdfFieldRecord f;
  ASSERT_EQ(DDFReadField(&f), 0);
  EXPECT_EQ(f.id, 18);
  EXPECT_EQ(DDFReadField(&f), B_END_OF_FILE);
  DdfIndexRecord i;
  int segments = 0;
  while (DDFReadIndex(&i) == 0) {
    EXPECT_EQ(i.file_id, 3);
    ++segments;
  }
  EXPECT_EQ(segments, 5);
  EXPECT_EQ(DDFClose(), 0);
}

TEST(Dictio, WriteAndReadBackWithNamePadding) {
  std::string dir = Dir("shop");
  ASSERT_EQ(DDFOpen(dir.c_str(), 1), 0);
  DdfFileRecord t = Table(4, "CUSTOMER", "cust.btr");
  ASSERT_EQ(DDFWriteFile(&t), 0);
  EXPECT_EQ(std::string(t.name, 20), "CUSTOMER            ");  // the caller's buffer changed
  DdfFileRecord full = Table(5, "ABCDEFGHIJKLMNOPQRST", "full");
  std::memcpy(full.name, "ABCDEFGHIJKLMNOPQRST", 20);
  ASSERT_EQ(DDFWriteFile(&full), 0);
  EXPECT_EQ(std::string(full.name, 20), "ABCDEFGHIJKLMNOPQRST");
  DdfFieldRecord f1 = Field(19, 4, "CODE", 1, 0, 4), f2 = Field(20, 4, "NAME", 0, 4, 30);
  ASSERT_EQ(DDFWriteField(&f1), 0);
  ASSERT_EQ(DDFWriteField(&f2), 0);
  DdfIndexRecord seg{4, 19, 0, 0, 0}, before = seg;
  ASSERT_EQ(DDFWriteIndex(&seg), 0);
  EXPECT_EQ(std::memcmp(&seg, &before, sizeof seg), 0);
  ASSERT_EQ(DDFClose(), 0);

  ASSERT_EQ(DDFOpen((dir + "/").c_str(), 0), 0);  // a trailing separator names the same files
  DdfFileRecord r;
  ASSERT_EQ(DDFReadFile(&r), 0);
  EXPECT_EQ(r.id, 4);
  EXPECT_EQ(std::string(r.location, 8), "cust.btr");
  ASSERT_EQ(DDFReadFile(&r), 0);
  EXPECT_EQ(std::string(r.name, 20), "ABCDEFGHIJKLMNOPQRST");
  EXPECT_EQ(DDFReadFile(&r), B_END_OF_FILE);
  DdfFieldRecord f;
  ASSERT_EQ(DDFReadField(&f), 0);  // system field 18
  ASSERT_EQ(DDFReadField(&f), 0);
  EXPECT_EQ(std::string(f.name, 20), "CODE                ");
  ASSERT_EQ(DDFClose(), 0);

  // Create on an existing dictionary replaces it: the old records are gone.
  ASSERT_EQ(DDFOpen((dir + "\\").c_str(), 1), 0);
  ASSERT_EQ(DDFClose(), 0);
  EXPECT_EQ(RecordCount(dir + "/FILE.DDF"), 3);
}

TEST(Dictio, MissingIndexFileAndFailedOpens) {
  std::string dir = Dir("noindex");
  ASSERT_EQ(DDFOpen(dir.c_str(), 1), 0);
  ASSERT_EQ(DDFClose(), 0);
  std::filesystem::remove(dir + "/INDEX.DDF");
  ASSERT_EQ(DDFOpen(dir.c_str(), 0), 0);
  DdfIndexRecord i;
  EXPECT_EQ(DDFReadIndex(&i), B_FILE_NOT_OPEN);
  EXPECT_EQ(DDFClose(), 0);

  // A failed open closes only what it opened: another file of the process stays open.
  std::string other = dir + "/FIELD.DDF";
  uint8_t pb[128] = {};
  uint32_t len = 0;
  ASSERT_EQ(BTRCALL(B_OPEN, pb, nullptr, &len, other.data(), 0, -2), 0);
  std::string broken = Dir("nofield");
  std::filesystem::copy_file(dir + "/FILE.DDF", broken + "/FILE.DDF");
  EXPECT_EQ(DDFOpen(broken.c_str(), 0), B_FILE_NOT_FOUND);
  uint8_t rec[32];
  uint8_t key[4];
  len = sizeof rec;
  EXPECT_EQ(BTRCALL(B_GET_FIRST, pb, rec, &len, key, 4, 0), 0);
  // ... and FILE.DDF of the failed open was closed again: an exclusive open succeeds.
  uint8_t ex[128] = {};
  std::string file_ddf = broken + "/FILE.DDF";
  len = 0;
  EXPECT_EQ(BTRCALL(B_OPEN, ex, nullptr, &len, file_ddf.data(), 0, -4), 0);
  BTRCALL(B_CLOSE, ex, nullptr, &len, nullptr, 0, 0);
  BTRCALL(B_CLOSE, pb, nullptr, &len, nullptr, 0, 0);

  EXPECT_EQ(DDFOpen(Dir("empty").c_str(), 0), B_FILE_NOT_FOUND);
  EXPECT_EQ(DDFOpen((ScratchDir() + "/does/not/exist").c_str(), 0), B_FILE_NOT_FOUND);
}

TEST(Dictio, LongDirectoriesWork) {
  std::string dir = ScratchDir();
  while (dir.size() < 300)
    dir += "/a_rather_long_directory_name";
  std::filesystem::create_directories(dir);
  ASSERT_EQ(DDFOpen(dir.c_str(), 1), 0);
  EXPECT_EQ(DDFClose(), 0);
  EXPECT_EQ(RecordCount(dir + "/FIELD.DDF"), 18);
}

TEST(Dictio, OwnerNames) {
  std::string dir = Dir("owned");
  ASSERT_TRUE(zplatform::WritePrivateProfileString("zelko32", "owner", "SEVEN77", "zelko.ini"));
  ASSERT_EQ(DDFOpen(dir.c_str(), 1), 0);
  ASSERT_EQ(DDFClose(), 0);
  // Give FILE.DDF that owner: opens succeed only with it.
  std::string path = dir + "/FILE.DDF";
  uint8_t pb[128] = {};
  uint32_t len = 0;
  ASSERT_EQ(BTRCALL(B_OPEN, pb, nullptr, &len, path.data(), 0, 0), 0);
  char owner[] = "SEVEN77";
  char again[] = "SEVEN77";
  len = sizeof owner;
  ASSERT_EQ(BTRCALL(B_SET_OWNER, pb, owner, &len, again, sizeof again, 0), 0);
  len = 0;
  BTRCALL(B_CLOSE, pb, nullptr, &len, nullptr, 0, 0);
  EXPECT_EQ(DDFOpen(dir.c_str(), 0), 0);
  EXPECT_EQ(DDFClose(), 0);
  ASSERT_TRUE(zplatform::WritePrivateProfileString("zelko32", "owner", nullptr, "zelko.ini"));
  EXPECT_EQ(DDFOpen(dir.c_str(), 0), B_BAD_OWNER);  // and the built-in owner does not fit
}

TEST(DictioDeath, OwnerOfEightCharactersEndsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  ASSERT_TRUE(zplatform::WritePrivateProfileString("zelko32", "owner", "EIGHT888", "zelko.ini"));
  EXPECT_EXIT(DDFOpen(ScratchDir().c_str(), 0),
              testing::ExitedWithCode(zplatform::kFatalExitStatus), "dictio: owner name too long");
}

}  // namespace
