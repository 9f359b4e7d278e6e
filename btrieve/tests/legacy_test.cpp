// Genuine Btrieve files: the three in the shared test data read as the format note describes
// them (counts, keys, collating tables, the variable file's generator pattern), imported
// into our files and checked there, and damaged copies refused cleanly.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

#include "btr_test_util.h"
#include "btrieve/btrapi.h"
#include "legacy_file.h"
#include "legacy_import.h"
#include "legacy_writer.h"
#include "zelko_test_env.h"
#include "zplatform/paths.h"

namespace btr::legacy {
namespace {

std::string Genuine(const char *name) {
  auto bytes = zplatform::ReadWholeFile(std::string(ZELKO_LEGACY_DIR) + "/" + name);
  EXPECT_TRUE(bytes) << name;
  return bytes.value_or("");
}

LegacyFile Read(const std::string &bytes) {
  LegacyFile file;
  std::string why;
  EXPECT_TRUE(ReadLegacyFile(bytes, &file, &why)) << why;
  return file;
}

TEST(Legacy, TheGenuineFilesAsTheFormatNoteDescribesThem) {
  LegacyFile mbbs = Read(Genuine("MBBSEMU.DAT"));
  EXPECT_FALSE(mbbs.page_table);
  EXPECT_EQ(mbbs.page_size, 512);
  EXPECT_EQ(mbbs.record_length, 74);
  EXPECT_EQ(mbbs.physical_length, 90);
  EXPECT_EQ(mbbs.records.size(), 4u);
  ASSERT_EQ(mbbs.keys.size(), 4u);
  struct Expected {
    int position, length, flags, type;
  } keys[] = {{3, 32, 0x101, 11}, {35, 4, 0x102, 1}, {39, 32, 0x103, 11}, {71, 4, 0x100, 15}};
  for (size_t k = 0; k < 4; ++k) {
    ASSERT_EQ(mbbs.keys[k].segments.size(), 1u);
    const LegacySegment &s = mbbs.keys[k].segments[0];
    EXPECT_EQ((std::vector<int>{s.position, s.length, s.flags, s.type}),
              (std::vector<int>{keys[k].position, keys[k].length, keys[k].flags, keys[k].type}))
        << k;
  }
  // Record i of the variable file: DEADBEEF, i mod 64, i, then i bytes 0, 1, 2 ...
  LegacyFile variable = Read(Genuine("VARIABLE.DAT"));
  EXPECT_TRUE(variable.variable);
  ASSERT_EQ(variable.records.size(), 1024u);
  for (int i = 0; i < 1024; ++i) {
    std::string expected = "\xef\xbe\xad\xde";
    for (int v : {i % 64, i})
      expected += {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
    for (int b = 0; b < i; ++b)
      expected += static_cast<char>(b & 0xFF);
    ASSERT_EQ(variable.records[static_cast<size_t>(i)], expected) << "record " << i;
  }
  // 6.1 with a collating sequence per key.
  LegacyFile acs = Read(Genuine("MULTIACS.DAT"));
  EXPECT_TRUE(acs.page_table);
  EXPECT_EQ(acs.version, 0x610);
  EXPECT_TRUE(acs.records.empty());
  ASSERT_EQ(acs.keys.size(), 3u);
  EXPECT_EQ(acs.keys[1].segments.size(), 2u);
  const LegacySegment &upper = acs.keys[0].segments[0], &lower = acs.keys[2].segments[0];
  ASSERT_GE(upper.collating, 0);
  ASSERT_GE(lower.collating, 0);
  EXPECT_EQ(acs.collating[static_cast<size_t>(upper.collating)].name, "ALLCAPS");
  EXPECT_EQ(acs.collating[static_cast<size_t>(lower.collating)].name, "LOWER");
  EXPECT_EQ(acs.collating[static_cast<size_t>(upper.collating)].map['a'], 'A');
  EXPECT_EQ(acs.collating[static_cast<size_t>(lower.collating)].map['A'], 'a');
}

TEST(Legacy, ImportedFilesHoldTheSameRecordsAndKeys) {
  std::string dest = btrtest::Scratch("variable.btr");
  LegacyFile variable = Read(Genuine("VARIABLE.DAT"));
  ImportReport report;
  std::string why;
  ASSERT_EQ(ImportLegacyFile(variable, dest, nullptr, &report, &why), 0) << why;
  EXPECT_EQ(report.records_written, 1024u);
  // Key 1 (the record number) finds record 700 with its whole tail.
  uint8_t block[128] = {};
  uint32_t length = 0;
  std::string path = dest + '\0';
  ASSERT_EQ(BTRCALL(B_OPEN, block, nullptr, &length, path.data(), 255, 0), 0);
  std::vector<char> record(2048);
  uint16_t wanted = 700;
  char key[2];
  std::memcpy(key, &wanted, 2);
  length = static_cast<uint32_t>(record.size());
  ASSERT_EQ(BTRCALL(B_GET_EQUAL, block, record.data(), &length, key, 2, 1), 0);
  EXPECT_EQ(std::string(record.data(), length), variable.records[700]);
  BTRCALL(B_CLOSE, block, nullptr, &length, nullptr, 0, 0);
  // A second import refuses to replace it; a collating file keeps its tables per key.
  EXPECT_EQ(ImportLegacyFile(variable, dest, nullptr, &report, &why), 1);
  EXPECT_NE(why.find("exists"), std::string::npos);
  LegacyFile acs = Read(Genuine("MULTIACS.DAT"));
  std::string acs_dest = btrtest::Scratch("multiacs.btr");
  ASSERT_EQ(ImportLegacyFile(acs, acs_dest, nullptr, &report, &why), 0) << why;
  std::string acs_path = acs_dest + '\0';
  ASSERT_EQ(BTRCALL(B_OPEN, block, nullptr, &length, acs_path.data(), 255, 0), 0);
  std::vector<uint8_t> stat(4096);
  length = static_cast<uint32_t>(stat.size());
  char none[64] = {};
  ASSERT_EQ(BTRCALL(B_STAT, block, stat.data(), &length, none, 64, 0), 0);
  std::string tables(reinterpret_cast<char *>(stat.data()), length);
  EXPECT_NE(tables.find("ALLCAPS"), std::string::npos);
  EXPECT_NE(tables.find("LOWER"), std::string::npos);
  BTRCALL(B_CLOSE, block, nullptr, &length, nullptr, 0, 0);
  // A count that disagrees with the control record: refused, nothing left behind.
  LegacyFile short_one = Read(Genuine("MBBSEMU.DAT"));
  short_one.records.pop_back();
  std::string never = btrtest::Scratch("never.btr");
  EXPECT_EQ(ImportLegacyFile(short_one, never, nullptr, &report, &why), 1);
  EXPECT_NE(why.find("found 3 records"), std::string::npos) << why;
  for (const auto &entry :
       std::filesystem::directory_iterator(std::filesystem::path(never).parent_path()))
    EXPECT_EQ(entry.path().filename().string().find("never"), std::string::npos);
  // Interrupted before the first record, or when all are written and verified but the file
  // has not taken its name: nothing is left behind either.
  std::string stopped = btrtest::Scratch("stopped.btr");
  for (int stop_at : {1, 2}) {
    int asked = 0;
    EXPECT_EQ(ImportLegacyFile(variable, stopped, nullptr, &report, &why,
                               [&] { return ++asked == stop_at; }),
              1);
    EXPECT_EQ(why, "interrupted");
    EXPECT_EQ(report.records_written, stop_at == 1 ? 0u : 1024u);
    for (const auto &entry :
         std::filesystem::directory_iterator(std::filesystem::path(stopped).parent_path()))
      EXPECT_EQ(entry.path().filename().string().find("stopped"), std::string::npos);
  }
}

// A file read a piece at a time is imported one record at a time: its records are never held.
TEST(Legacy, AFileReadInPiecesImportsTheSameRecords) {
  LegacySource source = LegacySource::OpenFile(std::string(ZELKO_LEGACY_DIR) + "/VARIABLE.DAT");
  ASSERT_TRUE(source.ok());
  const LegacyFile whole = Read(Genuine("VARIABLE.DAT"));
  LegacyFile header;
  std::string why;
  ASSERT_TRUE(ReadLegacyFile(source, &header, &why, false)) << why;
  EXPECT_TRUE(header.records.empty());
  // A visit that says stop ends the walk, which leaves the reason to it.
  int visited = 0;
  why = "untouched";
  EXPECT_FALSE(ForEachLegacyRecord(
      source, [&](const std::string &) { return ++visited < 10; }, &why));
  EXPECT_EQ(visited, 10);
  EXPECT_EQ(why, "untouched");

  std::string dest = btrtest::Scratch("in-pieces.btr");
  ImportReport report;
  ASSERT_EQ(ImportLegacyFile(header, source, dest, nullptr, &report, &why), 0) << why;
  EXPECT_EQ(report.records_read, 1024u);
  EXPECT_EQ(report.records_written, 1024u);
  btrtest::PosBlock pb;
  ASSERT_EQ(btrtest::Open(pb, dest), 0);
  size_t i = 0;
  for (int op = B_STEP_FIRST;; op = B_STEP_NEXT, ++i) {
    std::string record(4096, '\0'), key;
    int status = btrtest::Op(op, pb, record, key, 0);
    if (status == B_END_OF_FILE) break;
    ASSERT_EQ(status, 0);
    ASSERT_LT(i, whole.records.size());
    EXPECT_EQ(record, whole.records[i]) << "record " << i;
  }
  EXPECT_EQ(i, whole.records.size());
  btrtest::Close(pb);
  // A header whose count the records do not meet is refused before anything is made.
  LegacyFile more = header;
  ++more.fcr_records;
  std::string never = btrtest::Scratch("in-pieces-never.btr");
  EXPECT_EQ(ImportLegacyFile(more, source, never, nullptr, &report, &why), 1);
  EXPECT_EQ(why, "found 1024 records where the file says 1025");
  EXPECT_FALSE(std::filesystem::exists(never));
  EXPECT_FALSE(LegacySource::OpenFile(btrtest::Scratch("none.dat")).ok());
  EXPECT_FALSE(LegacySource::OpenFile(btrtest::Scratch("")).ok());  // a directory
}

// A file that shrinks while it is read is refused with the reason, never crashed on; so is
// one whose bytes cannot be read at all.
TEST(Legacy, AFileThatChangesWhileItIsReadIsRefused) {
  const std::string bytes = Genuine("VARIABLE.DAT");
  const std::string path = btrtest::Scratch("shrinking.dat");
  std::ofstream(path, std::ios::binary) << bytes;
  LegacySource source = LegacySource::OpenFile(path);
  ASSERT_TRUE(source.ok());
  LegacyFile header;
  std::string why;
  ASSERT_TRUE(ReadLegacyFile(source, &header, &why, false)) << why;
  std::filesystem::resize_file(path, bytes.size() / 2);
  int visited = 0;
  EXPECT_FALSE(ForEachLegacyRecord(
      source, [&](const std::string &) { return ++visited > 0; }, &why));
  EXPECT_NE(why.find("it changed while it was read"), std::string::npos) << why;
  EXPECT_LT(visited, 1024);
  ImportReport report;
  EXPECT_EQ(
      ImportLegacyFile(header, source, btrtest::Scratch("never2.btr"), nullptr, &report, &why), 1);
  EXPECT_NE(why.find("it changed while it was read"), std::string::npos) << why;
  for (const auto &entry :
       std::filesystem::directory_iterator(std::filesystem::path(path).parent_path()))
    EXPECT_EQ(entry.path().filename().string().find("never2"), std::string::npos);
  // Read in pieces, every damaged copy reads as it does in memory.
  std::mt19937 random(11);
  for (int trial = 0; trial < 40; ++trial) {
    std::string flipped = bytes;
    for (int n = 0; n < 4; ++n)
      flipped[random() % flipped.size()] ^= static_cast<char>(1 << (random() % 8));
    std::ofstream(path, std::ios::binary | std::ios::trunc) << flipped;
    LegacyFile in_memory, in_pieces;
    std::string why_memory, why_pieces;
    bool read = ReadLegacyFile(flipped, &in_memory, &why_memory);
    EXPECT_EQ(ReadLegacyFile(LegacySource::OpenFile(path), &in_pieces, &why_pieces), read);
    EXPECT_EQ(why_pieces, read ? "" : why_memory) << "trial " << trial;
    EXPECT_EQ(in_pieces.records, in_memory.records) << "trial " << trial;
  }
}

// A destination another program makes while the import writes is kept, and the import
// leaves nothing of its own behind.
TEST(Legacy, ADestinationMadeMeanwhileIsNotReplaced) {
  std::string dest = btrtest::Scratch("meanwhile.btr");
  LegacyFile file = Read(Genuine("MBBSEMU.DAT"));
  auto make_destination = [&](uint32_t done, uint32_t) {
    if (done == 0) zelko_testing::WriteFile(dest, "another program's file");
  };
  ImportReport report;
  std::string why;
  EXPECT_EQ(ImportLegacyFile(file, dest, make_destination, &report, &why), 1);
  EXPECT_NE(why.find("meanwhile"), std::string::npos) << why;
  EXPECT_EQ(zelko_testing::ReadFile(dest), "another program's file");
  for (const auto &entry :
       std::filesystem::directory_iterator(std::filesystem::path(dest).parent_path()))
    EXPECT_EQ(entry.path().filename().string().find("meanwhile.btr."), std::string::npos);
}

// The programs that cannot open a genuine file say how to bring it over; other files that
// are not ours get no such word.
TEST(Legacy, AGenuineFileWhereOneOfOursIsExpectedIsToldAsSuch) {
  for (const char *name : {"MBBSEMU.DAT", "MULTIACS.DAT", "VARIABLE.DAT"})
    EXPECT_TRUE(LooksLikeLegacyFile(std::string(ZELKO_LEGACY_DIR) + "/" + name)) << name;
  std::string ours = btrtest::Scratch("ours.btr");
  LegacyFile variable = Read(Genuine("VARIABLE.DAT"));
  ImportReport report;
  std::string why;
  ASSERT_EQ(ImportLegacyFile(variable, ours, nullptr, &report, &why), 0) << why;
  EXPECT_FALSE(LooksLikeLegacyFile(ours));
  std::string zeros = btrtest::Scratch("zeros.dat");
  zelko_testing::WriteFile(zeros, std::string(8192, '\0'));
  EXPECT_FALSE(LooksLikeLegacyFile(zeros));
  EXPECT_FALSE(LooksLikeLegacyFile(btrtest::Scratch("missing.dat")));

  std::string genuine = std::string(ZELKO_LEGACY_DIR) + "/MBBSEMU.DAT";
  int status = 0;
  std::string said = zelko_testing::RunShell(std::string(BTRCHECK_PATH) + " " + genuine, &status);
  EXPECT_NE(status, 0);
  EXPECT_NE(said.find(genuine + ": a genuine Btrieve file: btrimport makes a file"),
            std::string::npos)
      << said;
  said = zelko_testing::RunShell(
      std::string(BTRCOPY_PATH) + " " + genuine + " " + btrtest::Scratch("copy.btr") + " 2>&1",
      &status);
  EXPECT_NE(status, 0);
  EXPECT_NE(said.find("a genuine Btrieve file: btrimport"), std::string::npos) << said;
  said = zelko_testing::RunShell(std::string(BTRCHECK_PATH) + " " + zeros, &status);
  EXPECT_EQ(said.find("genuine"), std::string::npos) << said;
}

// A path with a character the code page lacks was used with "?" in its place: btrcheck said
// "no such file" of a file that was there, and the import and copy looked for "/?/".
TEST(Legacy, PathsTheCodePageCannotHoldAreSaidToBeSo) {
  const std::string dir = btrtest::Scratch("ü");
  std::filesystem::create_directories(dir);
  const std::string genuine = std::string(ZELKO_LEGACY_DIR) + "/MBBSEMU.DAT";
  ASSERT_TRUE(std::filesystem::copy_file(genuine, dir + "/MBBSEMU.DAT"));
  for (const std::string &command :
       {std::string(BTRCHECK_PATH) + " " + dir + "/MBBSEMU.DAT",
        std::string(BTRIMPORT_PATH) + " " + genuine + " " + dir + "/m.btr",
        std::string(BTRCOPY_PATH) + " " + genuine + " " + dir + "/c.btr",
        std::string(ZELKO_PATH) + " import-dictionary " + std::string(ZELKO_LEGACY_DIR) + " " +
            dir + "/dictionary"}) {
    int status = 0;
    std::string said = zelko_testing::RunShell(command + " 2>&1", &status);
    EXPECT_EQ(status, 1) << command;
    EXPECT_NE(said.find("ü/"), std::string::npos) << said;
    EXPECT_NE(said.find(": the path has characters outside the code page"), std::string::npos)
        << said;
  }
  EXPECT_FALSE(std::filesystem::exists(btrtest::Scratch("?")));
}

TEST(Legacy, DamagedCopiesAreRefusedCleanly) {
  std::string why;
  LegacyFile file;
  for (const char *name : {"MBBSEMU.DAT", "VARIABLE.DAT", "MULTIACS.DAT"}) {
    std::string bytes = Genuine(name);
    // Cut short anywhere: a refusal or a readable prefix, never a crash.
    for (size_t cut :
         {size_t{0}, size_t{4}, size_t{0x10F}, size_t{511}, bytes.size() / 2, bytes.size() - 1}) {
      bool read = ReadLegacyFile(bytes.substr(0, cut), &file, &why);
      if (!read) {
        EXPECT_FALSE(why.empty()) << name << " cut at " << cut;
      }
    }
    // Bits flipped at random.
    std::mt19937 random(7);
    for (int trial = 0; trial < 300; ++trial) {
      std::string flipped = bytes;
      for (int n = 0; n < 4; ++n)
        flipped[random() % flipped.size()] ^= static_cast<char>(1 << (random() % 8));
      bool read = ReadLegacyFile(flipped, &file, &why);
      if (!read) {
        EXPECT_FALSE(why.empty());
      }
      // The walk of a file read in place agrees with the whole read, record for record.
      std::vector<std::string> walked;
      auto keep = [&walked](const std::string &record) {
        walked.push_back(record);
        return true;
      };
      EXPECT_EQ(ForEachLegacyRecord(flipped, keep, &why), read) << name << " trial " << trial;
      if (read) {
        EXPECT_EQ(walked, file.records) << name << " trial " << trial;
      }
    }
  }
  // A page allocation entry pointing beyond the file, a version 7 file.
  std::string acs = Genuine("MULTIACS.DAT");
  std::string corrupt = acs;
  for (size_t pat : {size_t{2 * 4096}, size_t{3 * 4096}}) {
    corrupt[pat + 8] = '\x7F';  // bits 16-23 of logical page 1's physical page
  }
  EXPECT_FALSE(ReadLegacyFile(corrupt, &file, &why));
  EXPECT_NE(why.find("beyond the file"), std::string::npos) << why;
  std::string seven = acs;
  for (size_t fcr : {size_t{0}, size_t{4096}}) {
    seven[fcr + 0x4A] = 0x00;
    seven[fcr + 0x4B] = 0x07;
  }
  EXPECT_FALSE(ReadLegacyFile(seven, &file, &why));
  EXPECT_NE(why.find("not supported"), std::string::npos) << why;
  EXPECT_FALSE(ReadLegacyFile(std::string(4, '\x01'), &file, &why));
}

std::string Padded(const std::string &text, size_t size) {
  std::string out = text.substr(0, size);
  out.resize(size, ' ');
  return out;
}

std::string U16(int value) {
  return {static_cast<char>(value & 0xFF), static_cast<char>(value >> 8)};
}

TEST(Legacy, TheTestWriterReadsBackLikeAGenuineFile) {
  LegacyFile genuine = Read(Genuine("MBBSEMU.DAT"));
  std::vector<std::vector<legacytest::OldSegment>> keys;
  for (const LegacyKey &key : genuine.keys) {
    keys.emplace_back();
    for (const LegacySegment &s : key.segments)
      keys.back().push_back({s.position, s.length, s.flags, s.type});
  }
  LegacyFile again = Read(
      legacytest::WriteOldLayout(genuine.page_size, genuine.record_length, keys, genuine.records));
  EXPECT_EQ(again.records, genuine.records);
  EXPECT_EQ(again.physical_length, genuine.physical_length);
  ASSERT_EQ(again.keys.size(), genuine.keys.size());
  for (size_t k = 0; k < keys.size(); ++k) {
    const LegacySegment &a = again.keys[k].segments[0], &b = genuine.keys[k].segments[0];
    EXPECT_EQ((std::vector<int>{a.position, a.length, a.flags, a.type}),
              (std::vector<int>{b.position, b.length, b.flags, b.type}));
  }
}

TEST(Legacy, ADictionaryAndItsDataFilesImportEndToEnd) {
  namespace fs = std::filesystem;
  std::string source = btrtest::Scratch("genuine"), dest = btrtest::Scratch("ours");
  fs::create_directories(source);
  using legacytest::OldSegment;
  auto file_record = [](int id, const std::string &name, const std::string &location, int flags) {
    return U16(id) + Padded(name, 20) + Padded(location, 64) +
           std::string(1, static_cast<char>(flags)) + std::string(10, '\0');
  };
  auto field_record = [](int id, int file, const std::string &name, int type, int offset,
                         int size) {
    return U16(id) + U16(file) + Padded(name, 20) + std::string(1, static_cast<char>(type)) +
           U16(offset) + U16(size) + std::string(1, '\0') + U16(0);
  };
  auto index_record = [](int file, int field, int number, int part, int flags) {
    return U16(file) + U16(field) + U16(number) + U16(part) + U16(flags);
  };
  // The dictionary's own tables and fields, then ITEMS (ID, NAME) keyed on ID.
  std::vector<std::string> files = {
      file_record(1, "X$File", "FILE.DDF", 16), file_record(2, "X$Field", "FIELD.DDF", 16),
      file_record(3, "X$Index", "INDEX.DDF", 16), file_record(4, "ITEMS", "items.dat", 0)};
  std::vector<std::string> fields = {field_record(1, 1, "Xf$Id", 1, 0, 2),
                                     field_record(19, 4, "ID", 1, 0, 4),
                                     field_record(20, 4, "NAME", 0, 4, 10)};
  std::vector<std::string> indexes = {index_record(4, 19, 0, 0, 0x102)};
  auto write = [&](const std::string &name, const std::string &bytes) {
    zelko_testing::WriteFile(source + "/" + name, bytes);
  };
  OldSegment integer{1, 2, 0x100, 1};
  write("FILE.DDF", legacytest::WriteOldLayout(4096, 97, {{integer}}, files));
  write("FIELD.DDF", legacytest::WriteOldLayout(4096, 32, {{integer}, {{3, 2, 0x101, 1}}}, fields));
  write("INDEX.DDF", legacytest::WriteOldLayout(4096, 10, {{{1, 2, 0x101, 1}}}, indexes));
  std::vector<std::string> items;
  for (int id : {1, 2, 3}) {
    std::string record = U16(id) + U16(0) + Padded("item" + std::to_string(id), 10);
    items.push_back(record);
  }
  write("ITEMS.DAT", legacytest::WriteOldLayout(512, 14, {{{1, 4, 0x102, 1}}}, items));
  std::string before = zelko_testing::ReadFile(source + "/ITEMS.DAT");
  int status = -1;
  std::string out;
  if (!btrtest::OnServer()) {
    // A disk that fills while the dictionary is written leaves none of it behind: no
    // dictionary that cannot be read and that refuses the import tried again.
    out = zelko_testing::RunShell("trap '' XFSZ; ulimit -f 128; exec " + std::string(ZELKO_PATH) +
                                      " import-dictionary " + source + " " + dest + " 2>&1",
                                  &status);
    EXPECT_EQ(status, 1) << out;
    EXPECT_NE(out.find("cannot create a dictionary"), std::string::npos) << out;
    EXPECT_TRUE(fs::is_empty(dest)) << fs::directory_iterator(dest)->path();
  }
  out = zelko_testing::RunShell(
      std::string(ZELKO_PATH) + " import-dictionary " + source + " " + dest + " 2>&1", &status);
  ASSERT_EQ(status, 0) << out;
  EXPECT_NE(out.find("ITEMS: 3 records read, 3 written"), std::string::npos) << out;
  std::string dump =
      zelko_testing::RunShell(std::string(ZELKO_PATH) + " dump " + dest + " ITEMS 2>&1", &status);
  ASSERT_EQ(status, 0) << dump;
  EXPECT_NE(dump.find("2,item2"), std::string::npos) << dump;
  // The source is only read; a second import into the same place is refused.
  EXPECT_EQ(zelko_testing::ReadFile(source + "/ITEMS.DAT"), before);
  out = zelko_testing::RunShell(
      std::string(ZELKO_PATH) + " import-dictionary " + source + " " + dest + " 2>&1", &status);
  EXPECT_EQ(status, 1);
  EXPECT_NE(out.find("never replaced"), std::string::npos) << out;
  // Onto a server, the new dictionary and its data are names there only.
  if (btrtest::OnServer()) {
    EXPECT_FALSE(fs::exists(dest));
  }
}

}  // namespace
}  // namespace btr::legacy
