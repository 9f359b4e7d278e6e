#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "batch.h"
#include "btrieve/btrapi.h"
#include "btrieve_files.h"
#include "child_process.h"
#include "editing.h"
#include "editor_test_util.h"
#include "generators.h"
#include "zelko_test_env.h"
#include "zplatform/codepage.h"
#include "zplatform/paths.h"

namespace dictedit {
namespace {

struct Fixture {
  RecordingUi ui;
  DdfDictionary dict{ui};
  DdfTable *table = nullptr;
  explicit Fixture(const std::string &name) {
    dict.ddf_directory = zelko_testing::ScratchDir() + "/" + name;
    std::filesystem::create_directories(dict.ddf_directory);
    dict.options.data_conv_mode = false;
    table = AddTable(dict, "T", "T");
    AddField(dict, *table, "A", 0, 10, 0);
    AddField(dict, *table, "B", 1, 4, 0);
    AddField(dict, *table, "C", 0, 8, 0);
    AddIndex(dict, *table, {{"B", 0}});
  }
  std::string Path() { return dict.DataFilePath(*table); }
};

std::vector<std::string> ReadAll(const std::string &path) {
  uint8_t block[128] = {};
  std::string key = path;
  uint32_t len = 0;
  EXPECT_EQ(BTRCALL(B_OPEN, block, nullptr, &len, key.data(), static_cast<uint8_t>(key.size()), 0),
            0);
  std::vector<std::string> records;
  char buf[512], kb[255];
  for (int op = B_STEP_FIRST;; op = B_STEP_NEXT) {
    len = sizeof buf;
    if (BTRCALL(op, block, buf, &len, kb, sizeof kb, 0) != 0) break;
    records.emplace_back(buf, len);
  }
  BTRCALL(B_CLOSE, block, nullptr, &len, nullptr, 0, 0);
  return records;
}

std::string Record(int i) {
  // name%06d (10 bytes), i (4 bytes), c%07d (8 bytes); i stays below a million.
  char name[32], code[32];
  std::snprintf(name, sizeof name, "name%06d", i);
  std::snprintf(code, sizeof code, "c%07d", i);
  std::string r(22, '\0');
  std::memcpy(&r[0], name, 10);
  std::memcpy(&r[10], &i, 4);
  std::memcpy(&r[14], code, 8);
  return r;
}

void Fill(const std::string &path, int count) {
  uint8_t block[128] = {};
  std::string key = path;
  uint32_t len = 0;
  ASSERT_EQ(BTRCALL(B_OPEN, block, nullptr, &len, key.data(), static_cast<uint8_t>(key.size()), 0),
            0);
  char kb[255];
  ASSERT_EQ(BTRCALL(B_BEGIN_TRAN, block, nullptr, &len, nullptr, 0, 0), 0);
  for (int i = 0; i < count; ++i) {
    std::string r = Record(i);
    len = static_cast<uint32_t>(r.size());
    ASSERT_EQ(BTRCALL(B_INSERT, block, r.data(), &len, kb, sizeof kb, -1), 0);
  }
  ASSERT_EQ(BTRCALL(B_END_TRAN, block, nullptr, &len, nullptr, 0, 0), 0);
  BTRCALL(B_CLOSE, block, nullptr, &len, nullptr, 0, 0);
}

// The fixture's dictionary saved, its data file made and holding `count` records.
void SaveWithRecords(Fixture &f, int count) {
  ASSERT_EQ(f.dict.FullSave(), 0);
  ASSERT_EQ(CreateBtrieveFiles(f.dict), 0);
  Fill(f.Path(), count);
}

TEST(DataFiles, Specification) {
  Fixture f("spec");
  std::vector<uint8_t> spec = BuildFileSpecification(*f.table, 32);
  ASSERT_EQ(spec.size(), 32u);
  EXPECT_EQ(spec[0] | spec[1] << 8, 22);
  EXPECT_EQ(spec[2] | spec[3] << 8, 4096);
  EXPECT_EQ(spec[4], 1);
  EXPECT_EQ(spec[10], 0);
  EXPECT_EQ(spec[16] | spec[17] << 8, 11);  // key position
  EXPECT_EQ(spec[18] | spec[19] << 8, 4);
  EXPECT_EQ(spec[20] | spec[21] << 8, 0x100);
  EXPECT_EQ(spec[26], 1);   // Integer
  EXPECT_EQ(spec[27], 32);  // null value
  ASSERT_TRUE(AddIndex(f.dict, *f.table, {{"A", 1}, {"C", 0}}));
  ASSERT_TRUE(AddField(f.dict, *f.table, "V", 13, 100, 0));
  spec = BuildFileSpecification(*f.table, 0);
  ASSERT_EQ(spec.size(), 64u);
  EXPECT_EQ(spec[4], 2);                       // two keys, three segments
  EXPECT_EQ(spec[0] | spec[1] << 8, 22);       // the LVar field is not in the fixed part
  EXPECT_EQ(spec[10], 1);                      // variable-length records
  EXPECT_EQ(spec[36] | spec[37] << 8, 0x111);  // segment follows
  EXPECT_EQ(spec[48] | spec[49] << 8, 15);     // C at 15
}

TEST(DataFiles, CreateAskBeforeReplacingAndCheckAfterSave) {
  Fixture f("create");
  ASSERT_EQ(CreateBtrieveFiles(f.dict), 0);
  EXPECT_EQ(f.ui.choice_entries, std::vector<std::string>{"* T             T.BTR"});
  Fill(f.Path(), 3);
  f.ui.answers.push_back(false);
  ASSERT_EQ(CreateBtrieveFiles(f.dict), 0);
  EXPECT_EQ(f.ui.Last(), "VE1041 BTRIEVEﾌｧｲﾙ " + f.Path() + " が存在します。上書きしますか？");
  EXPECT_EQ(ReadAll(f.Path()).size(), 3u);  // kept

  // The dictionary changes without conversion: the file no longer fits and may go.
  ASSERT_TRUE(AddField(f.dict, *f.table, "D", 1, 2, 0));
  f.ui.answers.push_back(false);
  EXPECT_EQ(f.dict.FullSave(), 0);
  EXPECT_EQ(f.dict.IsModified(), 1);  // refused: stays modified
  EXPECT_NE(f.ui.Last().find("VE1047"), std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(f.Path()));
  // A process killed while writing the file left its journal beside it: deleting the file
  // takes the journal too.
  pid_t writer = fork();
  if (writer == 0) {
    uint8_t block[128] = {};
    std::string key = f.Path(), r = Record(7);
    uint32_t len = 0;
    char kb[255];
    BTRCALL(B_OPEN, block, nullptr, &len, key.data(), static_cast<uint8_t>(key.size()), 0);
    len = static_cast<uint32_t>(r.size());
    BTRCALL(B_INSERT, block, r.data(), &len, kb, sizeof kb, -1);
    raise(SIGKILL);
  }
  waitpid(writer, nullptr, 0);
  ASSERT_TRUE(std::filesystem::exists(f.Path() + "-wal"));
  EXPECT_EQ(f.dict.FullSave(), 0);
  EXPECT_EQ(f.dict.IsModified(), 0);
  EXPECT_FALSE(std::filesystem::exists(f.Path()));
  EXPECT_FALSE(std::filesystem::exists(f.Path() + "-wal"));
  EXPECT_FALSE(std::filesystem::exists(f.Path() + "-shm"));
}

// Nobody answers a batch run's questions: one whose OK throws a data file's records away is
// answered Cancel, and the run fails, unless the run says --replace.
TEST(DataFiles, ABatchRunDiscardsADataFileOnlyWhenToldTo) {
  Fixture f("batch_keeps");
  ASSERT_NO_FATAL_FAILURE(SaveWithRecords(f, 3));
  const std::string dir = f.dict.ddf_directory;
  std::ostringstream out, kept;
  EXPECT_EQ(RunBatch({dir, "create-files"}, out, kept), 1);
  EXPECT_NE(kept.str().find("上書きしますか？ [Cancel]\ndictedit: the data file and its records "
                            "are kept; --replace lets the run discard them\n"),
            std::string::npos)
      << kept.str();
  EXPECT_EQ(ReadAll(f.Path()).size(), 3u);
  // A table the dictionary lacks is no file made, even beside one that exists.
  std::ostringstream misspelt;
  EXPECT_EQ(RunBatch({dir, "create-files", "NOPE", "T", "--replace"}, out, misspelt), 1);
  EXPECT_EQ(misspelt.str(), "dictedit: no table NOPE\n");
  EXPECT_EQ(ReadAll(f.Path()).size(), 3u);
  // A changed table without conversion: the file no longer fits, and stays.
  ASSERT_EQ(RunBatch({dir, "set-option", "data_conv_mode", "No"}, out, kept), 0);
  std::ostringstream changed;
  EXPECT_EQ(RunBatch({dir, "add-field", "T", "D", "Integer", "2"}, out, changed), 1);
  EXPECT_NE(changed.str().find("VE1047"), std::string::npos) << changed.str();
  EXPECT_NE(changed.str().find("[Cancel]"), std::string::npos) << changed.str();
  EXPECT_EQ(ReadAll(f.Path()).size(), 3u);
  std::ostringstream replaced;
  EXPECT_EQ(RunBatch({dir, "create-files", "--replace"}, out, replaced), 0) << replaced.str();
  EXPECT_NE(replaced.str().find("上書きしますか？ [OK]"), std::string::npos);
  EXPECT_TRUE(ReadAll(f.Path()).empty());
}

// A batch run stops at a failing command without saving. Edits before it that converted a
// data file are saved all the same: the file no longer fits the dictionary on disk, and no
// program could open it.
TEST(DataFiles, ABatchRunThatFailsAfterAConversionSavesTheEditsTheFileFollows) {
  Fixture f("batch-converted");
  ASSERT_NO_FATAL_FAILURE(SaveWithRecords(f, 3));
  const std::string dir = f.dict.ddf_directory;
  std::ostringstream out, err;
  ASSERT_EQ(RunBatch({dir, "set-option", "data_conv_mode", "Yes"}, out, err), 0);
  EXPECT_EQ(
      RunBatch({dir, "add-field", "T", "D", "Integer", "2", ";", "delete-table", "NOPE"}, out, err),
      1);
  EXPECT_NE(err.str().find("dictedit: the edits before the failing command are saved, as the "
                           "data files already follow them\n"),
            std::string::npos)
      << err.str();
  RecordingUi ui;
  DdfDictionary again{ui};
  again.ddf_directory = dir;
  ASSERT_EQ(again.LoadDictionary(), 0);
  ASSERT_NE(again.tables.back()->FindField("D"), nullptr);
  std::vector<std::string> records = ReadAll(f.Path());
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(static_cast<int>(records[0].size()), again.tables.back()->RecordLength());
  // A run that failed before any file changed saves nothing.
  std::ostringstream nothing;
  EXPECT_EQ(RunBatch({dir, "add-table", "U", "U", ";", "delete-table", "NOPE"}, out, nothing), 1);
  EXPECT_EQ(nothing.str(), "dictedit: no table NOPE\n");
  RecordingUi ui2;
  DdfDictionary third{ui2};
  third.ddf_directory = dir;
  ASSERT_EQ(third.LoadDictionary(), 0);
  EXPECT_EQ(third.FindTableByName("U"), nullptr);
}

// Files a group of users shares: a save, a conversion or a create that replaces one keeps
// what its permissions were, where it used to give the replacing user's defaults.
TEST(DataFiles, ReplacedFilesKeepTheirPermissions) {
  Fixture f("permissions");
  SaveWithRecords(f, 3);
  const std::string dir = f.dict.ddf_directory;
  const std::string data = zplatform::NativePathOrSelf(f.Path());
  const std::vector<std::string> files = {dir + "/FILE.DDF", dir + "/FIELD.DDF", dir + "/INDEX.DDF",
                                          data};
  auto mode = [](const std::string &path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 0777 : 0;
  };
  for (const std::string &file : files)
    ASSERT_EQ(::chmod(file.c_str(), 0604), 0) << file;
  f.dict.options.data_conv_mode = true;
  ASSERT_TRUE(AddField(f.dict, *f.table, "NEW", 1, 4, 0, 1));  // the data file converted
  ASSERT_EQ(f.dict.FullSave(), 0);
  for (const std::string &file : files)
    EXPECT_EQ(mode(file), 0604u) << file;
  std::ostringstream out, err;
  ASSERT_EQ(RunBatch({dir, "create-files", "T", "--replace"}, out, err), 0) << err.str();
  EXPECT_EQ(mode(data), 0604u);
}

// A user who may only read a data file opens it with a shared lock, which keeps no writer
// away while the records move: the conversion is refused and the file stays as it was.
TEST(DataFiles, AConversionOfAFileTheUserMayOnlyReadIsRefused) {
  Fixture f("read-only");
  SaveWithRecords(f, 3);
  const std::string data = zplatform::NativePathOrSelf(f.Path());
  const std::string dir = f.dict.ddf_directory;
  // Root may write any file: the edit is made as another user, in a directory open to them,
  // on a file that is root's own.
  const bool root = ::geteuid() == 0;
  ASSERT_EQ(::chmod(data.c_str(), root ? 0644 : 0444), 0);
  if (root) {
    // Up to the test's own temporary directory, and no further.
    const std::string scratch = zelko_testing::ScratchDir();
    const std::string top = scratch.substr(0, scratch.rfind('/'));
    for (std::string at = dir; at.size() >= top.size(); at = at.substr(0, at.rfind('/')))
      ASSERT_EQ(::chmod(at.c_str(), 0777), 0) << at;
  }
  zelko_testing::Child child = zelko_testing::Spawn([&](int, int) {
    if (root && (::setgid(65534) != 0 || ::setuid(65534) != 0)) return 90;
    f.dict.options.data_conv_mode = true;
    if (AddField(f.dict, *f.table, "NEW", 1, 4, 0, 1)) return 1;
    return f.ui.Last().find("VE1073") != std::string::npos &&
                   f.ui.Last().find("(46)") != std::string::npos
               ? 0
               : 2;
  });
  EXPECT_EQ(zelko_testing::Wait(child), 0);
  std::vector<std::string> records = ReadAll(f.Path());
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0], Record(0));
}

TEST(DataFiles, TheQuestionAboutAnOldBackupNamesItInTheCodePage) {
  Fixture f("backup-name");
  f.table->location = zplatform::FromUtf8("変換.DAT");
  ASSERT_EQ(CreateBtrieveFiles(f.dict), 0);
  Fill(f.Path(), 3);
  f.dict.options.data_conv_mode = true;
  ASSERT_TRUE(AddField(f.dict, *f.table, "NEW", 1, 4, 0, 1));
  f.ui.answers = {true, true};
  ASSERT_TRUE(DeleteField(f.dict, *f.table, "NEW"));
  std::string asked;
  for (const std::string &m : f.ui.messages) {
    if (m.find("VE1072") != std::string::npos) asked = m;
  }
  EXPECT_NE(asked.find("/変換.@@@ "), std::string::npos) << asked;
}

TEST(DataFiles, ConversionAddsAndDropsAFieldInEveryRecord) {
  Fixture f("convert");
  ASSERT_EQ(CreateBtrieveFiles(f.dict), 0);
  constexpr int kCount = 10000;
  Fill(f.Path(), kCount);
  f.dict.options.data_conv_mode = true;
  ASSERT_TRUE(AddField(f.dict, *f.table, "NEW", 1, 4, 0, 1));  // at offset 10
  EXPECT_EQ(f.ui.status, std::to_string(kCount));
  std::vector<std::string> records = ReadAll(f.Path());
  ASSERT_EQ(records.size(), static_cast<size_t>(kCount));
  for (int i = 0; i < kCount; ++i) {
    std::string old = Record(i);
    std::string want = old.substr(0, 10) + std::string(4, '\0') + old.substr(10);
    ASSERT_EQ(records[i], want) << i;
  }
  std::string backup = f.dict.ddf_directory + "/T.@@@";
  EXPECT_TRUE(std::filesystem::exists(backup));
  EXPECT_FALSE(ChangeField(f.dict, *f.table, 0, "A", 0, 11, 0));
  EXPECT_NE(f.ui.Last().find("VE1074"), std::string::npos);

  // Deleting it again asks about the old backup first.
  f.ui.answers = {true, true};
  ASSERT_TRUE(DeleteField(f.dict, *f.table, "NEW"));
  EXPECT_NE(f.ui.Last().find("VE1072"), std::string::npos);
  records = ReadAll(f.Path());
  ASSERT_EQ(records.size(), static_cast<size_t>(kCount));
  for (int i = 0; i < kCount; ++i)
    ASSERT_EQ(records[i], Record(i)) << i;

  // Keys follow in place.
  ASSERT_TRUE(AddIndex(f.dict, *f.table, {{"A", 0}}));
  std::vector<uint8_t> stat(512);
  uint8_t block[128] = {};
  std::string key = f.Path();
  uint32_t len = 0;
  ASSERT_EQ(BTRCALL(B_OPEN, block, nullptr, &len, key.data(), static_cast<uint8_t>(key.size()), 0),
            0);
  len = static_cast<uint32_t>(stat.size());
  char name[256];
  ASSERT_EQ(BTRCALL(B_STAT, block, stat.data(), &len, name, 255, 0), 0);
  EXPECT_EQ(stat[4], 2);
  BTRCALL(B_CLOSE, block, nullptr, &len, nullptr, 0, 0);
  ASSERT_TRUE(DeleteIndex(f.dict, *f.table, 1));
  ASSERT_EQ(BTRCALL(B_OPEN, block, nullptr, &len, key.data(), static_cast<uint8_t>(key.size()), 0),
            0);
  len = static_cast<uint32_t>(stat.size());
  ASSERT_EQ(BTRCALL(B_STAT, block, stat.data(), &len, name, 255, 0), 0);
  EXPECT_EQ(stat[4], 1);
  BTRCALL(B_CLOSE, block, nullptr, &len, nullptr, 0, 0);
}

// A location without a dot (as older dictionaries hold them) names LOC.btr to the data
// engine: the editor makes, converts and checks that file, so applications keep reading
// their table; a file made at the location as written is used where the engine's is not.
TEST(DataFiles, ALocationWithoutADotIsTheFileTheDataEngineReads) {
  Fixture f("dotless");
  f.table->location = "T";
  const std::string engines = f.dict.ddf_directory + "/T.btr";
  const std::string as_written = f.dict.ddf_directory + "/T";
  ASSERT_EQ(CreateBtrieveFiles(f.dict), 0);
  EXPECT_EQ(f.Path(), engines);
  ASSERT_TRUE(std::filesystem::exists(engines));
  EXPECT_FALSE(std::filesystem::exists(as_written));
  Fill(engines, 50);
  f.dict.options.data_conv_mode = true;
  ASSERT_TRUE(AddField(f.dict, *f.table, "NEW", 1, 4, 0, 1));
  std::vector<std::string> records = ReadAll(engines);
  ASSERT_EQ(records.size(), 50u);
  EXPECT_EQ(records[49], Record(49).substr(0, 10) + std::string(4, '\0') + Record(49).substr(10));
  EXPECT_FALSE(ChangeField(f.dict, *f.table, 0, "A", 0, 11, 0));  // a data file is there
  EXPECT_NE(f.ui.Last().find("VE1074"), std::string::npos);

  // Only a file at the location as written: that one is converted.
  ASSERT_EQ(BTRRENAMEFILE(engines.c_str(), as_written.c_str()), 0);
  EXPECT_EQ(f.Path(), as_written);
  f.ui.answers = {true};  // the old backup may go
  ASSERT_TRUE(DeleteField(f.dict, *f.table, "NEW"));
  records = ReadAll(as_written);
  ASSERT_EQ(records.size(), 50u);
  EXPECT_EQ(records[49], Record(49));
  EXPECT_FALSE(std::filesystem::exists(engines));

  // A conversion of that file cut short (it lies aside, the new one half filled) is finished
  // at the next load under the name it had.
  ASSERT_EQ(f.dict.FullSave(), 0);
  const std::string backup = f.dict.ddf_directory + "/T.@@@";
  std::filesystem::remove(backup);
  ASSERT_EQ(BTRRENAMEFILE(as_written.c_str(), backup.c_str()), 0);
  f.table->location = "T.converting";
  ASSERT_EQ(CreateBtrieveFiles(f.dict), 0);
  ASSERT_TRUE(std::filesystem::exists(as_written + ".converting"));
  RecordingUi ui;
  DdfDictionary again{ui};
  again.ddf_directory = f.dict.ddf_directory;
  ASSERT_EQ(again.LoadDictionary(), 0) << ui.Last();
  EXPECT_EQ(ReadAll(as_written).size(), 50u);
  EXPECT_FALSE(std::filesystem::exists(as_written + ".converting"));
}

// A Note field runs to the record's end: deleting it drops each record's tail, however long
// (a tail shorter than the declared size failed the whole conversion).
TEST(DataFiles, DeletingAVariableFieldDropsEveryTail) {
  Fixture f("drop-note");
  ASSERT_TRUE(AddField(f.dict, *f.table, "MEMO", B_TYPE_NOTE, 100, 0));
  ASSERT_EQ(CreateBtrieveFiles(f.dict), 0);
  uint8_t block[128] = {};
  std::string key = f.Path();
  uint32_t len = 0;
  ASSERT_EQ(BTRCALL(B_OPEN, block, nullptr, &len, key.data(), 0, 0), 0);
  char kb[255];
  for (int i = 0; i < 3; ++i) {
    std::string r = Record(i) + std::string(i * 70, 'x');  // tails of 0, 70 and 140 bytes
    len = static_cast<uint32_t>(r.size());
    ASSERT_EQ(BTRCALL(B_INSERT, block, r.data(), &len, kb, sizeof kb, -1), 0);
  }
  BTRCALL(B_CLOSE, block, nullptr, &len, nullptr, 0, 0);
  f.dict.options.data_conv_mode = true;
  ASSERT_TRUE(DeleteField(f.dict, *f.table, "MEMO")) << f.ui.Last();
  std::vector<std::string> records = ReadAll(f.Path());
  ASSERT_EQ(records.size(), 3u);
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(records[i], Record(i));
}

TEST(DataFiles, FailedConversionRestoresTheData) {
  Fixture f("restore");
  ASSERT_EQ(CreateBtrieveFiles(f.dict), 0);
  Fill(f.Path(), 50);
  // The new file's key on B refuses duplicates; the old file, made with duplicates, holds two.
  f.dict.options.data_conv_mode = false;
  f.table->segments[0]->flags |= 1;
  ASSERT_EQ(CreateBtrieveFiles(f.dict), 0);
  Fill(f.Path(), 3);
  Fill(f.Path(), 1);  // a second record with B = 0
  f.table->segments[0]->flags &= ~1;
  f.dict.options.data_conv_mode = true;
  EXPECT_FALSE(AddField(f.dict, *f.table, "NEW", 1, 2, 0));
  EXPECT_EQ(f.ui.Last(), "VE1071 Btrieveファイルのフォーマット変換中にエラー(5)");
  EXPECT_EQ(f.table->FindField("NEW"), nullptr);
  std::vector<std::string> records = ReadAll(f.Path());
  ASSERT_EQ(records.size(), 4u);
  EXPECT_EQ(records[3], Record(0));
}

// An editor that ends while it converts a data file (killed, the power lost) never leaves part
// of the records at the data file's name; the next load of the dictionary clears away the
// unfinished file. (A conversion that ends after the data file went aside is put back by the
// load too: ALocationWithoutADotIsTheFileTheDataEngineReads.)
TEST(DataFiles, AConversionCutShortLeavesEveryRecordAsItWas) {
  constexpr int kCount = 4000;
  std::string path;
  {
    Fixture f("cut-short");
    ASSERT_NO_FATAL_FAILURE(SaveWithRecords(f, kCount));
    path = f.Path();
  }
  const std::string directory = std::filesystem::path(path).parent_path().string();
  auto load = [&](RecordingUi &ui, DdfDictionary &dict) {
    dict.ddf_directory = directory;
    ASSERT_EQ(dict.LoadDictionary(), 0) << ui.Last();
    dict.options.data_conv_mode = true;
  };
  // The converting editor ends half-way through the records.
  struct EndingUi : RecordingUi {
    void StatusText(const std::string &text) override {
      if (text == std::to_string(kCount / 2) + "/" + std::to_string(kCount)) _exit(0);
    }
  };
  pid_t editor = fork();
  if (editor == 0) {
    EndingUi ui;
    DdfDictionary dict{ui};
    load(ui, dict);
    AddField(dict, *dict.tables.back(), "NEW", 1, 4, 0, 1);
    _exit(1);  // the conversion went through
  }
  int wait_status = 0;
  ASSERT_EQ(waitpid(editor, &wait_status, 0), editor);
  ASSERT_TRUE(WIFEXITED(wait_status) && WEXITSTATUS(wait_status) == 0);
  // The records never left the data file.
  EXPECT_EQ(ReadAll(path).size(), static_cast<size_t>(kCount));
  EXPECT_TRUE(std::filesystem::exists(path + ".converting"));

  RecordingUi ui;
  DdfDictionary dict{ui};
  load(ui, dict);
  std::vector<std::string> records = ReadAll(path);
  ASSERT_EQ(records.size(), static_cast<size_t>(kCount));
  for (int i = 0; i < kCount; ++i)
    ASSERT_EQ(records[i], Record(i)) << i;
  EXPECT_FALSE(std::filesystem::exists(path + ".converting"));
  // The same edit goes through now.
  ASSERT_TRUE(AddField(dict, *dict.tables.back(), "NEW", 1, 4, 0, 1)) << ui.Last();
  records = ReadAll(path);
  ASSERT_EQ(records.size(), static_cast<size_t>(kCount));
  EXPECT_EQ(records[kCount - 1], Record(kCount - 1).substr(0, 10) + std::string(4, '\0') +
                                     Record(kCount - 1).substr(10));
}

// A form opened while the editor converts its data file finds the file in use. The data file
// stood aside while its records moved: the form found its name free, made an empty file there
// and took a record, which the converted file then replaced without a word.
TEST(DataFiles, AFormOpenedDuringAConversionFindsTheFileInUse) {
  constexpr int kCount = 2000;
  std::string path, form;
  {
    Fixture f("form-meanwhile");
    ASSERT_NO_FATAL_FAILURE(SaveWithRecords(f, kCount));
    path = f.Path();
    form = f.dict.ddf_directory + "/T.frm";
    ASSERT_EQ(CreateForm(f.dict, *f.table, {"A", "B", "C"}, form, "F"), 0);
  }
  const std::string directory = std::filesystem::path(path).parent_path().string();
  std::ofstream(directory + "/insert.macro")
      << "type ZelkoEdit1 \"typed\"\ntype ZelkoEdit2 \"99999\"\nclick ZelkoBtn1\n";
  struct FormUi : RecordingUi {
    std::string command;
    std::string trigger = std::to_string(kCount / 2) + "/" + std::to_string(kCount);
    int form_status = -1;
    void StatusText(const std::string &text) override {
      if (text == trigger) form_status = std::system(command.c_str());
    }
  } ui;
  ui.command = std::string("QT_QPA_PLATFORM=offscreen ") + ZELKO_FORM_BINARY + " --macro " +
               directory + "/insert.macro " + form + " > " + directory + "/form.txt 2>&1";
  DdfDictionary dict{ui};
  dict.ddf_directory = directory;
  ASSERT_EQ(dict.LoadDictionary(), 0) << ui.Last();
  dict.options.data_conv_mode = true;
  ASSERT_TRUE(AddField(dict, *dict.tables.back(), "NEW", 1, 4, 0, 1)) << ui.Last();
  ASSERT_NE(ui.form_status, -1);
  const std::string said = zelko_testing::ReadFile(directory + "/form.txt");
  EXPECT_NE(said.find("(88)"), std::string::npos) << said;
  std::vector<std::string> records = ReadAll(path);
  ASSERT_EQ(records.size(), static_cast<size_t>(kCount));
  for (int i = 0; i < kCount; ++i)
    ASSERT_EQ(records[i], Record(i).substr(0, 10) + std::string(4, '\0') + Record(i).substr(10));
}

// A conversion the disk cannot hold, with no room left for the backup's copy either, still
// leaves every record at the data file's name, where programs look for them.
TEST(DataFiles, AConversionTheDiskCannotHoldLeavesTheDataInPlace) {
  constexpr int kCount = 4000;
  std::string path;
  {
    Fixture f("disk-full");
    ASSERT_NO_FATAL_FAILURE(SaveWithRecords(f, kCount));
    path = f.Path();
  }
  const std::string directory = std::filesystem::path(path).parent_path().string();
  const auto room = std::filesystem::file_size(path) / 2;
  pid_t editor = fork();
  if (editor == 0) {
    LimitFileSizes(room);  // half the data file's size
    RecordingUi ui;
    DdfDictionary dict{ui};
    dict.ddf_directory = directory;
    if (dict.LoadDictionary() != 0) _exit(3);
    dict.options.data_conv_mode = true;
    if (AddField(dict, *dict.tables.back(), "NEW", 1, 4, 0, 1)) _exit(1);
    _exit(ui.Last().rfind("VE1071", 0) == 0 ? 0 : 2);
  }
  int wait_status = 0;
  ASSERT_EQ(waitpid(editor, &wait_status, 0), editor);
  ASSERT_TRUE(WIFEXITED(wait_status));
  ASSERT_EQ(WEXITSTATUS(wait_status), 0);
  std::vector<std::string> records = ReadAll(path);
  ASSERT_EQ(records.size(), static_cast<size_t>(kCount));
  for (int i = 0; i < kCount; ++i)
    ASSERT_EQ(records[i], Record(i)) << i;
  // Nothing half-made is left beside it (the unfinished file, a copy cut short).
  std::set<std::string> left;
  for (const auto &e : std::filesystem::directory_iterator(directory))
    left.insert(e.path().filename().string());
  EXPECT_EQ(left, (std::set<std::string>{"FIELD.DDF", "FILE.DDF", "INDEX.DDF", "T.BTR"}));
  // With room again, the same edit goes through.
  RecordingUi ui;
  DdfDictionary dict{ui};
  dict.ddf_directory = directory;
  ASSERT_EQ(dict.LoadDictionary(), 0);
  dict.options.data_conv_mode = true;
  ui.answers = {true};
  ASSERT_TRUE(AddField(dict, *dict.tables.back(), "NEW", 1, 4, 0, 1)) << ui.Last();
  EXPECT_EQ(ReadAll(path).size(), static_cast<size_t>(kCount));
}

}  // namespace
}  // namespace dictedit
