#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "batch.h"
#include "child_process.h"
#include "dbmagic_import.h"
#include "editing.h"
#include "editor_commands.h"
#include "editor_test_util.h"
#include "generators.h"
#include "text_transfer.h"
#include "zelko_test_env.h"
#include "zplatform/codepage.h"
#include "zplatform/paths.h"

namespace dictedit {
namespace {

std::string ReadBytes(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string Scratch(const std::string &name) {
  return zelko_testing::ScratchDir() + "/" + name;
}

// Compares with the golden file; ZELKO_WRITE_GOLDEN=1 writes it instead.
void ExpectGolden(const std::string &bytes, const std::string &name) {
  std::string path = std::string(ZELKO_GOLDEN_DIR) + "/" + name;
  if (getenv("ZELKO_WRITE_GOLDEN") != nullptr) std::ofstream(path, std::ios::binary) << bytes;
  EXPECT_EQ(bytes, ReadBytes(path)) << name;
}

// CUST: NAME String 30, KANA Zstring 11, 住所 String 40, PRICE Decimal 5.2, AGE Integer 2;
// keys NAME (duplicates, modifiable) and KANA+AGE; the name "BY NAME" on key 0. ITEM: CODE.
struct Sample {
  RecordingUi ui;
  DdfDictionary dict{ui};
  DdfTable *cust = nullptr;
  Sample() {
    dict.ddf_directory = "/srv/shop";
    cust = AddTable(dict, "cust", "cust");
    AddField(dict, *cust, "NAME", 0, 30, 0);
    AddField(dict, *cust, "KANA", 11, 11, 0);
    AddField(dict, *cust, zplatform::FromUtf8("住所"), 0, 40, 0);
    AddField(dict, *cust, "PRICE", 5, 5, 2);
    AddField(dict, *cust, "AGE", 1, 2, 0);
    AddIndex(dict, *cust, {{"NAME", 3}});
    AddIndex(dict, *cust, {{"KANA", 0}, {"AGE", 0}});
    SetIndexName(dict, *cust, 0, "by name");
    DdfTable *item = AddTable(dict, "item", "item.dat");
    AddField(dict, *item, "CODE", 0, 8, 0);
    AddIndex(dict, *item, {{"CODE", 0}});
    EXPECT_EQ(dict.NormaliseDictionary(), 0);
    ui.messages.clear();
  }
};

TEST(TextTransfer, ExportImportRoundTripAndRefusals) {
  Sample s;
  std::string path = Scratch("export.txt");
  ExportTableText(s.dict, *s.cust, path);
  EXPECT_EQ(s.ui.Last(), "VE1033 テーブル[CUST]の搬出が終了しました。");
  ExpectGolden(ReadBytes(path), "export.txt");

  ImportTableText(s.dict, path);
  EXPECT_EQ(s.ui.Last(), "VE1007 すでに同名のテーブルが定義されています。");
  std::string text = ReadBytes(path);
  text.replace(text.find("CUST\r\n"), 4, "COPY");
  std::ofstream(path, std::ios::binary) << text;
  DdfTable *copy = ImportTableText(s.dict, path);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->file_id, 6);
  EXPECT_EQ(copy->field_count(), 5);
  EXPECT_EQ(copy->segment_count(), 3);
  EXPECT_EQ(copy->named_indexes[0]->name, "BY^NAME");
  EXPECT_EQ(copy->segments[2]->field_id, copy->FindField("AGE")->field_id);
  EXPECT_EQ(s.dict.IsModified(), 1);

  struct Case {
    const char *text;
    const char *message;  // "" for none
    int fields;
    int segments = 0;
  } cases[] = {
      {"[TableName]\nX\r\n", "", -1},
      {"[TableName]\r\nX\r\n[TableLocation]\r\nX.BTR\r\n[FieldName,Type,Offset,Size,Decimal]\r\n",
       "", 0},
      {"[TableName]\r\nY\r\n[TableLocation]\r\nY.BTR\r\n[FieldName,Type,Offset,Size,Decimal]\r\nA,"
       "0,0,4,0\r\n"
       "[IndexNumber,Part,FieldName,Flags]\r\n0,0,B,256\r\n",
       "VE1034 インデックスのIDが不正です。", -1},
      {"[TableName]\r\nZ\r\n[TableLocation]\r\nZ.BTR\r\n[FieldName,Type,Offset,Size,Decimal]\r\nA,"
       "0,0,4,0\r\nB,1\r\n",
       "", 1},
      // A short field line ends the fields; the segment lines after it are still read.
      {"[TableName]\r\nW\r\n[TableLocation]\r\nW.BTR\r\n[FieldName,Type,Offset,Size,Decimal]\r\nA,"
       "0,0,4,0\r\nB,1,4,2,0\r\nend\r\n0,0,A,259\r\n1,0,B,0\r\n",
       "", 2, 2},
      {"[TableName]\r\nV\r\n[TableLocation]\r\nV.BTR\r\n[FieldName,Type,Offset,Size,Decimal]\r\nA,"
       "0,0,4,0\r\nshort\r\n0,0,NOPE,0\r\n",
       "VE1034 インデックスのIDが不正です。", -1},
  };
  for (const Case &c : cases) {
    s.ui.messages.clear();
    std::ofstream(path, std::ios::binary | std::ios::trunc) << c.text;
    size_t before = s.dict.tables.size();
    DdfTable *t = ImportTableText(s.dict, path);
    EXPECT_EQ(t != nullptr, c.fields >= 0) << c.text;
    if (t) {
      EXPECT_EQ(t->field_count(), c.fields);
      EXPECT_EQ(t->segment_count(), c.segments) << c.text;
    }
    EXPECT_EQ(s.dict.tables.size(), before + (c.fields >= 0 ? 1 : 0));
    EXPECT_EQ(s.ui.Last(), c.message);
  }
  ImportTableText(s.dict, Scratch("missing.txt"));
  EXPECT_EQ(s.ui.Last(), "VE1034 搬入ﾌｧｲﾙを読み込みモードでｵｰﾌﾟﾝできません");
}

// What an import brings in is saved as it is held, or the save refuses it: names are cut as
// the records keep them, and what would come back as something else is not written.
TEST(TextTransfer, ImportedTablesAreSavedAsHeldOrRefused) {
  Sample s;
  const std::string path = Scratch("wide.txt");
  auto import = [&](const std::string &name, const std::string &location,
                    const std::string &fields) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        << "[TableName]\r\n" + zplatform::FromUtf8(name) + "\r\n[TableLocation]\r\n" + location +
               "\r\n[FieldName,Type,Offset,Size,Decimal]\r\n" + fields +
               "[IndexNumber,Part,FieldName,Flags]\r\n0,0,A,256\r\n";
    s.ui.messages.clear();
    return ImportTableText(s.dict, path);
  };
  // 19 bytes and a double-byte character: the name keeps 19; the location keeps 64 bytes.
  DdfTable *wide = import("ABCDEFGHIJKLMNOPQRS受注", std::string(70, 'L'),
                          "A,0,0,4,0\r\nABCDEFGHIJKLMNOPQRSTUVWXYZ,0,4,4,0\r\n");
  ASSERT_NE(wide, nullptr);
  EXPECT_EQ(wide->name, "ABCDEFGHIJKLMNOPQRS");
  EXPECT_EQ(wide->location, std::string(64, 'L'));
  EXPECT_EQ(wide->fields[1]->name, "ABCDEFGHIJKLMNOPQRST");
  // Another long name that would be saved as the same one.
  EXPECT_EQ(import("ABCDEFGHIJKLMNOPQRS漢", "X.BTR", "A,0,0,4,0\r\n"), nullptr);
  EXPECT_EQ(s.ui.Last(), "VE1007 すでに同名のテーブルが定義されています。");

  struct Case {
    const char *name, *location, *fields, *message;
  } cases[] = {
      {"BIG", "BIG.BTR", "A,0,0,70000,0\r\n", "VE1003 データサイズまたは小数点以下桁数が不正です"},
      {"NEG", "NEG.BTR", "A,0,0,-4,0\r\n", "VE1003 データサイズまたは小数点以下桁数が不正です"},
      {"FAR", "FAR.BTR", "A,0,0,65535,0\r\nB,0,0,4,0\r\nC,0,0,4,0\r\n",
       "VE1003 データサイズまたは小数点以下桁数が不正です"},
      {"A B", "AB.BTR", "A,0,0,4,0\r\n", "VE1001 DDF情報を正しく指定してください。"},
      {"AB", "A B.BTR", "A,0,0,4,0\r\n", "VE1001 DDF情報を正しく指定してください。"},
  };
  for (const Case &c : cases) {
    DdfTable *t = import(c.name, c.location, c.fields);
    ASSERT_NE(t, nullptr) << c.name;
    const int id = t->file_id;
    s.dict.current_file_id = -1;
    s.ui.messages.clear();
    EXPECT_EQ(s.dict.NormaliseDictionary(), -1) << c.name;
    EXPECT_EQ(s.ui.Last(), c.message) << c.name;
    EXPECT_EQ(s.dict.current_file_id, id) << c.name;  // shown to be put right
    DeleteTable(s.dict, *t);
  }
  // The last field may end past 64 KiB: only offsets and sizes must fit.
  ASSERT_NE(import("END", "END.BTR", "A,0,0,65535,0\r\nB,0,0,4,0\r\n"), nullptr);
  EXPECT_EQ(s.dict.NormaliseDictionary(), 0) << s.ui.Last();
}

TEST(TextTransfer, FieldClipboard) {
  Sample s;
  std::string clip = FieldClipboardText(*s.cust->fields[3]);
  EXPECT_EQ(clip, "[Field]\nPRICE,5,5,2\n");
  EXPECT_EQ(PasteFieldText(s.dict, *s.cust, clip, -1), nullptr);
  EXPECT_EQ(s.ui.Last(), "VE1006 すでに同名のフィールドが定義されています");
  DdfField *pasted = PasteFieldText(s.dict, *s.cust, "[Field]\nCOST,5,5,2\n", 1);
  ASSERT_NE(pasted, nullptr);
  EXPECT_EQ(s.cust->fields[1]->name, "COST");
  for (const char *bad : {"[Fiel]\nA,0,1,0\n", "[Field]\nABCDEFGHIJKLMNOPQRSTU,0,1,0\n",
                          "[Field]\nA,0,1\n", "[Field]\nA,0,0,0\n"}) {
    s.ui.messages.clear();
    EXPECT_EQ(PasteFieldText(s.dict, *s.cust, bad, -1), nullptr) << bad;
    EXPECT_EQ(s.ui.Last(), "VE1050 クリップボードの内容が不正です。") << bad;
  }
}

TEST(Generators, ConstantsModulesAndFormsByteForByte) {
  Sample s;
  ExpectGolden(ConstantsModuleText(s.dict, 0), "fieldid_numbers.bas");
  ExpectGolden(ConstantsModuleText(s.dict, 1), "fieldid_names.bas");
  std::vector<std::string> chosen = {"NAME", zplatform::FromUtf8("住所"), "GONE", "PRICE"};
  ExpectGolden(FormText(s.dict, *s.cust, chosen, "CustForm", 5), "form_vb5.frm");
  ExpectGolden(FormText(s.dict, *s.cust, chosen, "CustForm", 4), "form_vb4.frm");
  ExpectGolden(FormText(s.dict, *s.cust, chosen, "CustForm", 2), "form_vb2.frm");

  DdfField f;
  struct {
    int type, size, decimals, max;
  } lengths[] = {{0, 30, 0, 30}, {5, 5, 2, 10},   {5, 5, 0, 9}, {6, 8, 2, 10},
                 {8, 4, 1, 9},   {11, 11, 0, 10}, {1, 4, 0, 0}};
  for (const auto &l : lengths) {
    f.data_type = static_cast<uint8_t>(l.type);
    f.size = l.size;
    f.decimals = static_cast<uint8_t>(l.decimals);
    EXPECT_EQ(EditMaxLength(f), l.max) << l.type;
  }
  // The Visual Basic 4 and 5 limit of 129 fields; version 2 has none.
  DdfTable *wide = AddTable(s.dict, "WIDE", "W");
  std::vector<std::string> many;
  for (int i = 0; i < 130; ++i) {
    AddField(s.dict, *wide, "F" + std::to_string(i), 1, 2, 0);
    many.push_back("F" + std::to_string(i));
  }
  EXPECT_EQ(CreateForm(s.dict, *wide, many, Scratch("wide.frm"), "W"), -1);
  EXPECT_EQ(s.ui.Last().substr(0, 6), "VE1078");
  many.pop_back();
  EXPECT_EQ(CreateForm(s.dict, *wide, many, Scratch("wide.frm"), "W"), 0);
  s.dict.options.form_version = 2;
  many.push_back("F129");
  EXPECT_EQ(CreateForm(s.dict, *wide, many, Scratch("wide.frm"), "W"), 0);
  EXPECT_EQ(CreateForm(s.dict, *wide, many, "/nonexistent/dir/x.frm", "W"), -1);
  EXPECT_EQ(s.ui.Last(), "VE1046 書き込むﾌｫｰﾑ /nonexistent/dir/x.frm のｵｰﾌﾟﾝに失敗しました。");
  DdfTable *empty = AddTable(s.dict, "EMPTY", "E");
  EXPECT_EQ(CreateForm(s.dict, *empty, {}, Scratch("e.frm"), "E"), -1);
  EXPECT_EQ(s.ui.Last(), "VE1049 ﾃｰﾌﾞﾙにﾌｨｰﾙﾄﾞが定義されていません。");

  std::string bas = Scratch("fieldid.bas");
  s.dict.current_file_id = s.cust->file_id;
  EXPECT_EQ(WriteConstantsModule(s.dict, bas), 0);
  EXPECT_EQ(s.ui.Last(), "VE1044 ﾌｨｰﾙﾄﾞIDﾌｧｲﾙの出力が終了しました。");
  s.ui.answers.push_back(false);
  EXPECT_EQ(WriteConstantsModule(s.dict, bas), -1);
  EXPECT_EQ(s.ui.Last(), "VE1042 ファイル " + bas + " はすでに存在します。上書きしますか？");
}

// Writes past `bytes` fail (EFBIG) as on a full disk, until the object goes.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    signal_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, signal_);
  }

 private:
  rlimit saved_{};
  void (*signal_)(int) = nullptr;
};

TEST(Generators, AWriteCutShortLeavesTheFormerFileWhole) {
  Sample s;
  std::string dir = zelko_testing::ScratchDir() + "/cut";
  std::filesystem::create_directories(dir);
  const std::string form = dir + "/cust.frm", bas = dir + "/ids.bas", text = dir + "/cust.txt";
  ASSERT_EQ(CreateForm(s.dict, *s.cust, {"NAME"}, form, "Cust"), 0);
  s.dict.current_file_id = s.cust->file_id;
  ASSERT_EQ(WriteConstantsModule(s.dict, bas), 0);
  ASSERT_TRUE(ExportTableText(s.dict, *s.dict.tables[1], text));  // ITEM: shorter than CUST
  const std::string form_before = ReadBytes(form), bas_before = ReadBytes(bas),
                    text_before = ReadBytes(text);
  // Every field makes a form, a module of both tables' constants and CUST's text, each
  // longer than the file it would replace.
  std::vector<std::string> all;
  for (const auto &f : s.cust->fields)
    all.push_back(f->name);
  s.dict.options.id_format = 1;
  ASSERT_GT(FormText(s.dict, *s.cust, all, "Cust", 5).size(), form_before.size() + 100);
  {
    FileSizeLimit limit(form_before.size());
    EXPECT_EQ(CreateForm(s.dict, *s.cust, all, form, "Cust"), -1);
    EXPECT_EQ(s.ui.Last().substr(0, 6), "VE1046");
  }
  {
    FileSizeLimit limit(bas_before.size());
    s.ui.answers.push_back(true);  // write over it
    EXPECT_EQ(WriteConstantsModule(s.dict, bas), -1);
    EXPECT_EQ(s.ui.Last().substr(0, 6), "VE1043");
  }
  {
    FileSizeLimit limit(text_before.size());
    EXPECT_FALSE(ExportTableText(s.dict, *s.cust, text));
    EXPECT_EQ(s.ui.Last().substr(0, 6), "VE1032");
  }
  EXPECT_EQ(ReadBytes(form), form_before);
  EXPECT_EQ(ReadBytes(bas), bas_before);
  EXPECT_EQ(ReadBytes(text), text_before);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 3);  // nothing left
  // With room, they are replaced and keep the former files' permissions.
  std::filesystem::permissions(form, std::filesystem::perms(0640));
  EXPECT_EQ(CreateForm(s.dict, *s.cust, all, form, "Cust"), 0);
  EXPECT_EQ(ReadBytes(form), FormText(s.dict, *s.cust, all, "Cust", 5));
  EXPECT_EQ(std::filesystem::status(form).permissions(), std::filesystem::perms(0640));
}

// A user who may change a form but not make files in its directory: the form is written
// over in place, as before it was written whole beside it.
TEST(Generators, AFormInADirectoryTheUserMayNotWriteIsWrittenOver) {
  Sample s;
  const std::string dir = zelko_testing::ScratchDir() + "/closed";
  std::filesystem::create_directories(dir);
  const std::string form = dir + "/cust.frm";
  ASSERT_EQ(CreateForm(s.dict, *s.cust, {"NAME"}, form, "Cust"), 0);
  ASSERT_EQ(::chmod(form.c_str(), 0666), 0);
  ASSERT_EQ(::chmod(dir.c_str(), 0555), 0);
  // Root may write any directory: the form is made over as another user.
  const bool root = ::geteuid() == 0;
  if (root) {
    const std::string scratch = zelko_testing::ScratchDir();
    const std::string top = scratch.substr(0, scratch.rfind('/'));
    for (std::string at = scratch; at.size() >= top.size(); at = at.substr(0, at.rfind('/')))
      ASSERT_EQ(::chmod(at.c_str(), 0755), 0) << at;
  }
  std::vector<std::string> all;
  for (const auto &f : s.cust->fields)
    all.push_back(f->name);
  zelko_testing::Child child = zelko_testing::Spawn([&](int, int) {
    if (root && (::setgid(65534) != 0 || ::setuid(65534) != 0)) return 90;
    if (zplatform::ReplaceFileAtomically(form, "x").ok) return 3;  // the directory is closed
    return CreateForm(s.dict, *s.cust, all, form, "Cust") == 0 ? 0 : 1;
  });
  EXPECT_EQ(zelko_testing::Wait(child), 0);
  EXPECT_EQ(ReadBytes(form), FormText(s.dict, *s.cust, all, "Cust", 5));
  ::chmod(dir.c_str(), 0755);
}

TEST(Generators, CommandsProposeTheirFilesAndNames) {
  Sample s;
  s.dict.current_file_id = -1;
  EXPECT_EQ(ExportTableCommand(s.dict), -1);
  EXPECT_EQ(s.ui.Last(), "VE1009 テーブルが選択されていません");
  s.dict.current_file_id = s.cust->file_id;
  s.ui.file_answer = Scratch("cmd.txt");
  EXPECT_EQ(ExportTableCommand(s.dict), 0);
  EXPECT_EQ(FieldIdListCommand(s.dict), 0);
  s.ui.file_answer = Scratch("cmd.frm");
  EXPECT_EQ(CreateFormCommand(s.dict), 0);
  EXPECT_EQ(s.ui.file_requests,
            (std::vector<std::string>{
                "export.txt|搬出ﾌｧｲﾙの指定|txtﾌｧｲﾙ(*.txt)|*.txt|すべてのﾌｧｲﾙ(*.*)|*.*||",
                "fieldid.bas||Basicﾌｧｲﾙ(*.bas)|*.bas|すべてのﾌｧｲﾙ(*.*)|*.*||",
                "Form1.frm||Formﾌｧｲﾙ(*.frm)|*.frm|すべてのﾌｧｲﾙ(*.*)|*.*||"}));
  EXPECT_EQ(s.ui.text_requests, std::vector<std::string>{"ZelkoForm1"});
  // The field choice lists the names sorted; all chosen here, in that order.
  std::string form = ReadBytes(Scratch("cmd.frm"));
  EXPECT_LT(form.find("DbField         =   \"AGE\""), form.find("DbField         =   \"NAME\""));
}

std::string Magic(const std::string &utf8) {
  std::string path = Scratch("magic.txt");
  std::ofstream(path, std::ios::binary | std::ios::trunc) << zplatform::FromUtf8(utf8);
  return path;
}

TEST(DbMagic, EveryKindAndEveryFailure) {
  Sample s;
  s.dict.current_file_id = s.cust->file_id;
  std::string ok = Magic(
      "; dbMagic\r\n"
      "FILE DESC=\"受注\" NAME=\"JUCHU.DAT\"\r\n"
      "FLD DESC=\"番号\" ATTR=N SIZ=4\r\n"
      "FLD DESC=\"品名\" ATTR=A SIZ=20\r\n"
      "FLD DESC=\"メモ\" ATTR=M SIZ=30\r\n"
      "FLD DESC=\"済\" ATTR=B\r\n"
      "FLD DESC=\"日付\" ATTR=D\r\n"
      "FLD DESC=\"時刻\" ATTR=T\r\n"
      "FLD DESC=\"金額\" ATTR=N SIZ=8 DECI=2\r\n"
      "FLD DESC=\"量\" ATTR=N SIZ=8\r\n"
      "KEY MOD=N {\r\n"
      "SEG DIR=A FLD=1 }}\r\n"
      "KEY MOD=Y {\r\n"
      "SEG DIR=D FLD=2\r\n"
      "SEG DIR=A FLD=5 }}\r\n"
      "END\r\n"
      "FILE DESC=\"顧客\" NAME=\"KOKYAKU.DAT\"\r\n"
      "FLD DESC=\"CODE\" ATTR=N SIZ=2\r\n"
      "KEY MOD=N {\r\n"
      "SEG DIR=A FLD=1 }}\r\n");
  ASSERT_EQ(ImportDbMagic(s.dict, ok), 0) << s.ui.Last();
  ASSERT_EQ(s.dict.tables.size(), 4u);
  const DdfTable &t = *s.dict.tables[2];
  EXPECT_EQ(zplatform::ToUtf8(t.name), "受注");
  EXPECT_EQ(t.location, "JUCHU.DAT");
  int want[][4] = {{1, 4, 0, 0},  {0, 20, 0, 4}, {0, 30, 0, 24}, {7, 1, 0, 54},
                   {1, 4, 0, 55}, {4, 4, 0, 59}, {2, 8, 2, 63},  {2, 8, 0, 71}};
  ASSERT_EQ(t.field_count(), 8);
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(t.fields[i]->data_type, want[i][0]) << i;
    EXPECT_EQ(t.fields[i]->size, want[i][1]) << i;
    EXPECT_EQ(t.fields[i]->decimals, want[i][2]) << i;
    EXPECT_EQ(t.fields[i]->offset, want[i][3]) << i;
  }
  ASSERT_EQ(t.segment_count(), 3);
  EXPECT_EQ(t.segments[0]->flags, 0x103);
  EXPECT_EQ(t.segments[1]->flags, 0x102 | 0x40 | 0x10);
  EXPECT_EQ(t.segments[2]->flags, 0x102);
  EXPECT_EQ(t.segments[2]->key_number, 1);
  EXPECT_EQ(t.segments[2]->part, 1);
  EXPECT_EQ(t.segments[2]->field_id, t.fields[4]->field_id);
  EXPECT_EQ(zplatform::ToUtf8(s.dict.tables[3]->name), "顧客");

  struct Case {
    const char *text;
    const char *message;  // the specific message before VE1059, "" for none
  } cases[] = {
      {"a\r\nb\r\nc\r\nd\r\nFILE DESC=\"X\" NAME=\"X\"\r\n",
       "VE1079 dbMagic情報ファイルにFILE=の行が存在しません。"},
      {"a\r\n", ""},
      {"FILE NAME=\"X\"\r\n", "VE1061 dbMagic情報ファイルのFILE行にDESC=が存在しません。"},
      {"FILE DESC=\"X\"\r\n",
       "VE1062 dbMagic情報ファイルのFILE行にNAME=(btrieveファイル名)の定義が存在しません。"},
      {"FILE DESC=\"CUST\" NAME=\"X\"\r\n", "VE1007 すでに同名のテーブルが定義されています。"},
      {"FILE DESC=\"X\" NAME=\"X\"\r\nFLD DESC=\"ABCDEFGHIJKLMNOPQRSTUV\" ATTR=A SIZ=2\r\nEND\r\n",
       "VE1080 dBMagic側のフィールド名がサイズ20バイトを超えているため搬入できません。"},
      {"FILE DESC=\"X\" NAME=\"X\"\r\nFLD DESC=\"N\" ATTR=N SIZ=3\r\nEND\r\n",
       "VE1060 dbMagicの数値形フィールドに不正なデータ長があります。"},
      {"FILE DESC=\"X\" NAME=\"X\"\r\nFLD DESC=\"N\" ATTR=N SIZ=99999999999\r\nEND\r\n",
       "VE1060 dbMagicの数値形フィールドに不正なデータ長があります。"},
      {"FILE DESC=\"X\" NAME=\"X\"\r\nFLD DESC=\"N\" ATTR=A SIZ=3\r\nKEY MOD=N\r\nSEG DIR=A FLD=2 "
       "}}\r\n",
       "VE1034 インデックスのIDが不正です。"},
      {"FILE DESC=\"X\" NAME=\"X\"\r\nFLD DESC=\"N\" SIZ=3\r\nEND\r\n", ""},
      {"FILE DESC=\"X\" NAME=\"X\"\r\nFLD DESC=\"N\" ATTR=A SIZ=3\r\n", ""},
  };
  for (const Case &c : cases) {
    s.ui.messages.clear();
    size_t before = s.dict.tables.size();
    EXPECT_EQ(ImportDbMagic(s.dict, Magic(c.text)), -1) << c.text;
    EXPECT_EQ(s.dict.tables.size(), before) << c.text;
    ASSERT_FALSE(s.ui.messages.empty());
    EXPECT_EQ(s.ui.Last(), "VE1059 dbMagic情報ファイルの搬入に失敗しました。");
    std::string specific = s.ui.messages.size() >= 2 ? s.ui.messages[s.ui.messages.size() - 2] : "";
    EXPECT_EQ(specific, c.message) << c.text;
  }
  // Names are cut as the dictionary keeps them: a second long name that would be saved as
  // the first is refused, after the first table was added.
  s.ui.messages.clear();
  const size_t before = s.dict.tables.size();
  EXPECT_EQ(
      ImportDbMagic(s.dict, Magic("FILE DESC=\"ABCDEFGHIJKLMNOPQRSTUVW1\" NAME=\"A.DAT\"\r\n"
                                  "FLD DESC=\"N\" ATTR=A SIZ=3\r\nEND\r\n"
                                  "FILE DESC=\"ABCDEFGHIJKLMNOPQRSTUVW2\" NAME=\"B.DAT\"\r\n")),
      -1);
  ASSERT_EQ(s.dict.tables.size(), before + 1);
  EXPECT_EQ(s.dict.tables.back()->name, "ABCDEFGHIJKLMNOPQRST");
  EXPECT_EQ(s.ui.messages.front(), "VE1007 すでに同名のテーブルが定義されています。");
  s.ui.messages.clear();
  EXPECT_EQ(ImportDbMagic(s.dict, Scratch("none.txt")), -1);
  EXPECT_EQ(s.ui.messages.front(), "VE1058 dbMagic情報ファイルがオープンできません。");
}

// A form made for a table of the example dictionary runs in the form host: a record typed
// and inserted there is read back by the first-record button.
TEST(Generators, GeneratedFormWorksInTheFormHost) {
  std::string dir = Scratch("shop");
  std::filesystem::create_directories(dir);
  for (const char *n : {"FILE.DDF", "FIELD.DDF", "INDEX.DDF"}) {
    std::filesystem::copy_file(std::string(ZELKO_SOURCE_DIR) + "/examples/shop/" + n,
                               dir + "/" + n);
  }
  std::ostringstream out, err;
  ASSERT_EQ(RunBatch({dir, "create-files", "PRODUCT", ";", "create-form", "PRODUCT",
                      dir + "/Product.frm", "ProductForm"},
                     out, err),
            0)
      << err.str();
  std::string frm = ReadBytes(dir + "/Product.frm");
  ASSERT_NE(frm.find("DbTable         =   \"PRODUCT\""), std::string::npos);
  // Fields named as add-field names them; a misspelt one makes no form without it.
  std::ostringstream misspelt;
  EXPECT_EQ(RunBatch({dir, "create-form", "PRODUCT", dir + "/Two.frm", "F", "code", "PRICES"}, out,
                     misspelt),
            1);
  EXPECT_EQ(misspelt.str(), "dictedit: table PRODUCT has no field PRICES\n");
  EXPECT_FALSE(std::filesystem::exists(dir + "/Two.frm"));
  ASSERT_EQ(
      RunBatch({dir, "create-form", "PRODUCT", dir + "/Two.frm", "F", "price", "code"}, out, err),
      0)
      << err.str();
  std::string two = ReadBytes(dir + "/Two.frm");
  EXPECT_LT(two.find("DbField         =   \"PRICE\""), two.find("DbField         =   \"CODE\""));
  EXPECT_EQ(two.find("DbField         =   \"NAME\""), std::string::npos);
  std::ofstream(dir + "/entry.macro")
      << "type ZelkoEdit1 \"P-100\"\ntype ZelkoEdit2 \"ねじ\"\nclick ZelkoBtn1\n"
         "click ZelkoBtn4\nprint ZelkoEdit1.Text\nprint ZelkoEdit2.Text\n";
  std::string command = std::string("QT_QPA_PLATFORM=offscreen ") + ZELKO_FORM_BINARY +
                        " --macro " + dir + "/entry.macro " + dir + "/Product.frm > " + dir +
                        "/out.txt 2>/dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0);
  std::string printed = ReadBytes(dir + "/out.txt");
  EXPECT_NE(printed.find("ZelkoEdit1.Text = \"P-100\""), std::string::npos) << printed;
  EXPECT_NE(printed.find("ZelkoEdit2.Text = \"ねじ\""), std::string::npos) << printed;
}

// The form host takes a relative DDFDir from the form's own directory, so a form made in the
// run that made its dictionary must name that directory in full.
TEST(Generators, AFormMadeWithItsDictionaryNamesTheDirectoryInFull) {
  std::string base = Scratch("relative");
  std::filesystem::create_directories(base);
  std::filesystem::path started = std::filesystem::current_path();
  std::filesystem::current_path(base);
  std::ostringstream out, err;
  int rc = RunBatch({"shop",     "new", ";",           "add-table", "ITEM",
                     "ITEM.btr", ";",   "add-field",   "ITEM",      "CODE",
                     "Integer",  "4",   ";",           "add-index", "ITEM",
                     "CODE",     ";",   "create-form", "ITEM",      "shop/Item.frm"},
                    out, err);
  std::filesystem::current_path(started);
  ASSERT_EQ(rc, 0) << err.str();
  std::string canonical = std::filesystem::canonical(base + "/shop").string();
  EXPECT_NE(ReadBytes(base + "/shop/Item.frm").find("DDFDir          =   \"" + canonical + "\""),
            std::string::npos);
}

}  // namespace
}  // namespace dictedit
