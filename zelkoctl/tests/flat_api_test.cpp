// The flat exports: attachment (to controls on forms and to hosted sources), the check order,
// the statuses, the two string-return modes and bad input.
#include <gtest/gtest.h>

#include <QWidget>
#include <cstring>
#include <filesystem>

#include "btrieve/btrapi.h"
#include "control_test_util.h"
#include "controls/zlkbtr.h"
#include "engine/field_conversion.h"
#include "engine/module.h"
#include "engine_test_util.h"
#include "exports/hosted_sources.h"
#include "qt_test_app.h"
#include "zelko_test_env.h"
#include "zelkoctl/zelkoapi.h"
#include "zplatform/codepage.h"
#include "zplatform/profile.h"

namespace zelko {
namespace {

using controltest::TestSite;

// PEOPLE: ID Integer 4 (key 0), NAME String 10 (key 1, duplicates), AGE Integer 2.
std::vector<dictio::TableSpec> Tables() {
  return {{4,
           "PEOPLE",
           "people.dat",
           {{"ID", kInteger, 4}, {"NAME", kString, 10}, {"AGE", kInteger, 2}},
           {{"ID", 0, 0, 0x100}, {"NAME", 1, 0, 0x103}},
           {{"ById", 0}}},
          {5, "EMPTY", "empty.dat", {{"X", kInteger, 2}}, {{"X", 0, 0, 0x100}}, {}}};
}

std::string Cp(const std::string &utf8) {
  return zplatform::FromUtf8(utf8);
}

// Takes a returned string (freed when it is an automation string) and its text.
std::string Take(char *answer) {
  if (answer == nullptr) return "<null>";
  std::string text(answer, SysStringByteLen(answer));
  SysFreeString(answer);
  return text;
}

class FlatApi : public testing::Test {
 protected:
  void SetUp() override {
    zelko_testing::App();
    dir_ = enginetest::NewDir("dict");
    ASSERT_EQ(enginetest::WriteDictionary(dir_, Tables()), 0);
  }
  void TearDown() override {
    ReleaseAllDataSources();
    DbSetLockBias(0);
  }
  // Hosts the dictionary as Zelko1 of form Form1, attaches it, creates and opens PEOPLE.
  void HostAndOpen() {
    ASSERT_EQ(ZelkoHostDataSource("Form1", "Zelko1", dir_.c_str()), 0);
    ASSERT_EQ(DbAttachControl("zelko1", "Form1"), 0);  // the control name in any case
    ASSERT_EQ(DbCreate(0), 0);
    ASSERT_EQ(DbOpen(0), 0);
  }
  int16_t Add(int id, const std::string &name, int age) {
    DbClearFieldBuffer(0);
    DbSetFieldData(0, 0, std::to_string(id).c_str());
    DbSetFieldData(0, 1, Cp(name).c_str());
    DbSetFieldData(0, 2, std::to_string(age).c_str());
    return DbAccess(B_INSERT, 0, 0);
  }
  std::string dir_;
  enginetest::RecordMessages messages_;
};

TEST_F(FlatApi, BeforeAnAttachmentEveryTableFunctionSaysSo) {
  EXPECT_EQ(DbOpen(0), DB_NOT_ATTACHED);
  EXPECT_EQ(DbClose(0), DB_NOT_ATTACHED);
  EXPECT_EQ(DbAccess(B_GET_FIRST, 0, 0), DB_NOT_ATTACHED);
  EXPECT_EQ(DbGetNumOfTable(), DB_NOT_ATTACHED);
  EXPECT_EQ(DbGetPosition(0), DB_NOT_ATTACHED);
  EXPECT_EQ(DbTransferToControl(0), DB_NOT_ATTACHED);
  char *text = DbGetFieldData(0, 0);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(std::string(text), "");  // the empty text, from the static buffer
  SysFreeString(text);               // ignored: never freed twice
  EXPECT_EQ(DbGetFieldName(0, 0), nullptr);
  EXPECT_EQ(Take(DbGetTableName(0)), "");
}

TEST_F(FlatApi, ChecksInTheirOrderAndTheStatusesOfTheTable) {
  HostAndOpen();
  EXPECT_EQ(DbGetNumOfTable(), 2);
  EXPECT_EQ(DbGetNumOfField(0), 3);
  // A table ID equal to the number of tables is out of range, before the open state.
  EXPECT_EQ(DbOpen(2), DB_TABLE_ID_RANGE);
  EXPECT_EQ(DbAccess(B_GET_FIRST, 2, 0), DB_TABLE_ID_RANGE);
  EXPECT_EQ(DbAccess(B_GET_FIRST, -1, 0), DB_TABLE_ID_RANGE);
  EXPECT_EQ(DbGetFieldData(2, 0), nullptr);
  EXPECT_EQ(DbGetTableName(2), nullptr);
  EXPECT_EQ(DbOpen(0), DB_TABLE_OPEN);
  EXPECT_EQ(DbClose(1), DB_TABLE_NOT_OPEN);
  EXPECT_EQ(DbCreate(0), DB_TABLE_OPEN);
  EXPECT_EQ(DbAccess(B_GET_FIRST, 1, 0), DB_TABLE_NOT_OPEN);
  EXPECT_EQ(Take(DbGetFieldData(1, 0)), "");  // a table that is not open: the empty text
  EXPECT_EQ(Take(DbGetFieldName(1, 0)), "");
  EXPECT_EQ(DbGetDataType(0, 3), DB_FIELD_ID_RANGE);  // a field ID equal to the field count
  EXPECT_EQ(DbGetDataSize(0, -1), DB_FIELD_ID_RANGE);
  EXPECT_EQ(DbGetDataType(0, 1), B_TYPE_STRING);
  EXPECT_EQ(DbGetDataSize(0, 1), 10);
  EXPECT_EQ(Take(DbGetTableName(0)), "PEOPLE");
  EXPECT_EQ(Take(DbGetFieldName(0, 2)), "AGE");
  EXPECT_EQ(Take(DbGetFieldName(0, 3)), "");
  EXPECT_EQ(DbSetFieldData(0, 3, "x"), DB_FIELD_NOT_FOUND);
  // A lock bias that is not allowed goes nowhere near the record manager: no transaction.
  EXPECT_EQ(DbBeginTransaction(150), DB_BAD_LOCK_BIAS);
  EXPECT_EQ(DbEndTransaction(), B_END_TRANSACTION_ERROR);
  EXPECT_EQ(DbBeginConCurTransaction(600), DB_BAD_LOCK_BIAS);
  EXPECT_EQ(DbSetLockBias(150), DB_BAD_LOCK_BIAS);
  EXPECT_EQ(DbClose(0), 0);
  EXPECT_EQ(DbClose(0), DB_TABLE_NOT_OPEN);
}

TEST_F(FlatApi, RecordsKeysPositionsPercentagesAndExtendedReads) {
  HostAndOpen();
  ASSERT_EQ(Add(1, "ANN", 20), 0);
  ASSERT_EQ(Add(2, "BOB", 35), 0);
  ASSERT_EQ(Add(3, "CAROL", 41), 0);
  ASSERT_EQ(Add(1, "DUP", 9), B_DUPLICATE_KEY_VALUE);
  int32_t count = 0;
  ASSERT_EQ(DbGetNumOfRecords(0, &count), 0);
  EXPECT_EQ(count, 3);
  DbClearFieldBuffer(0);
  DbSetFieldData(0, 0, "2");
  ASSERT_EQ(DbAccess(B_GET_EQUAL, 0, 0), 0);
  EXPECT_EQ(Take(DbGetFieldData(0, 1)), "BOB");
  int32_t bob = DbGetPosition(0);
  ASSERT_GT(bob, 0);
  ASSERT_EQ(DbAccess(B_GET_NEXT, 0, 0), 0);
  EXPECT_EQ(Take(DbGetFieldData(0, 2)), "41");
  ASSERT_EQ(DbGetDirect(0, bob, -1), 0);
  EXPECT_EQ(Take(DbGetFieldData(0, 1)), "BOB");
  int16_t percent = -1;
  ASSERT_EQ(DbFindPercentage(0, -1, bob, &percent), 0);
  EXPECT_EQ(percent, 5000);
  ASSERT_EQ(DbGetByPercentage(0, -1, 10000), 0);
  EXPECT_EQ(Take(DbGetFieldData(0, 1)), "CAROL");
  // An update through the field texts, then a delete.
  DbSetFieldData(0, 2, "42");
  ASSERT_EQ(DbAccess(B_UPDATE, 0, 0), 0);
  ASSERT_EQ(DbAccess(B_GET_LAST, 0, 0), 0);
  EXPECT_EQ(Take(DbGetFieldData(0, 2)), "42");
  ASSERT_EQ(DbAccess(B_DELETE, 0, 0), 0);
  // An extended read with a condition, along key 1 (NAME), from its first record.
  ASSERT_EQ(DbAccess(B_GET_FIRST, 0, 1), 0);
  int16_t id = -1, n = 0;
  ASSERT_EQ(DbExAccess(B_GET_NEXT_EXTENDED, 0, "@AGE >= 20", "NAME,AGE", 1, 0, 10, 0, &id, &n), 9);
  EXPECT_EQ(n, 1);  // ANN is where the read starts ("UC"): BOB only
  EXPECT_EQ(Take(DbExGetFieldData(id, 1, 0)), "BOB");
  EXPECT_EQ(Take(DbExGetFieldData(id, 0, 0)), "");  // ID is not in the field list
  EXPECT_EQ(DbExGetPosition(id, 0), bob);
  EXPECT_EQ(DbExGetPosition(id, 1), -1);
  EXPECT_EQ(DbExFree(id), 0);
  EXPECT_EQ(DbExFree(id), DB_FAILED);
  EXPECT_EQ(DbExAccess(B_GET_FIRST, 0, "", "NAME", 1, 0, 10, 0, &id, &n),
            DB_EX_OPERATION_NOT_ALLOWED);
  EXPECT_EQ(DbExAccess(B_GET_NEXT_EXTENDED, 0, "@NOPE = 1", "NAME", 1, 0, 10, 0, &id, &n),
            DB_BAD_CONDITION);
  uint8_t version[5] = {};
  EXPECT_EQ(DbGetVersion(version), 0);
  EXPECT_EQ(version[4], 'L');
}

TEST_F(FlatApi, TheTwoStringReturnModes) {
  HostAndOpen();
  ASSERT_EQ(Add(1, "山田花子", 30), 0);  // eight bytes of code page 932
  DbClearFieldBuffer(0);
  DbSetFieldData(0, 0, "1");
  ASSERT_EQ(DbAccess(B_GET_EQUAL, 0, 0), 0);
  // Automation strings: the caller's own, the prefix counts bytes.
  char *first = DbGetFieldData(0, 1);
  char *second = DbGetFieldData(0, 1);
  ASSERT_NE(first, nullptr);
  EXPECT_NE(first, second);
  EXPECT_EQ(SysStringByteLen(first), 8u);
  EXPECT_EQ(std::string(first), Cp("山田花子"));
  SysFreeString(first);
  SysFreeString(second);
  char *three = DbSetFieldData(0, 1, Cp("山田花").c_str()) == 0 ? DbGetFieldData(0, 1) : nullptr;
  EXPECT_EQ(SysStringByteLen(three), 6u);  // three double-byte characters: 6 bytes
  SysFreeString(three);
  // fix_str_addr 1: one static buffer, the second text replacing the first.
  ASSERT_TRUE(zplatform::WritePrivateProfileString("zelko300", "fix_str_addr", "1", "zelko.ini"));
  Module::Get().MutableSettings().fix_str_addr = 1;
  char *a = DbGetFieldData(0, 2);
  std::string a_text = a;
  char *b = DbGetFieldData(0, 1);
  EXPECT_EQ(a, b);
  EXPECT_EQ(a_text, "30");
  EXPECT_EQ(std::string(b), Cp("山田花"));
  SysFreeString(b);  // the static buffer: ignored
}

TEST_F(FlatApi, AttachmentToControlsOnFormsAndItsEnd) {
  QWidget form1, form2;
  TestSite site1("Zelko1", &form1), site2("Zelko1", &form2);
  site2.form_name = "Form2";
  auto on_form = [&](TestSite &site, const std::string &dir) {
    auto s = std::make_unique<ZlkBtr>();
    PropertyBag bag;
    if (!dir.empty()) bag.Write("DDFDir", Variant::String(dir));
    bag.Write("AllOpen", Variant::Bool(false));
    LoadProperties(*s, bag, nullptr);
    s->SetSite(&site);
    return s;
  };
  auto one = on_form(site1, dir_);
  EXPECT_EQ(DbAttachControl("Zelko1", "Form2"), DB_SOURCE_NOT_FOUND);  // on another form
  EXPECT_EQ(DbAttachControl("NoSuch", "Form1"), DB_SOURCE_NOT_FOUND);
  EXPECT_EQ(DbGetNumOfTable(), DB_NOT_ATTACHED);  // unchanged by a failed attachment
  ASSERT_EQ(DbAttachControl("Zelko1", "Form1"), 0);
  EXPECT_EQ(DbGetNumOfTable(), 2);
  EXPECT_EQ(DbAttachControlByHwnd("Zelko1", reinterpret_cast<intptr_t>(&form2)),
            DB_SOURCE_NOT_FOUND);
  EXPECT_EQ(DbAttachControlByHwnd("ZELKO1", reinterpret_cast<intptr_t>(&form1)), 0);
  // The form cannot be asked for its window: the message of the failing step, then -1.
  site1.handle_fail = 809;
  EXPECT_EQ(DbAttachControl("Zelko1", "Form1"), DB_FAILED);
  ASSERT_FALSE(messages_.Texts().empty());
  EXPECT_EQ(messages_.Texts().back(),
            "VE809 Parentのディスパッチ・インターフェースを取得できません。");
  site1.handle_fail = 0;
  // A control whose dictionary did not load yet: found, but -20.
  std::string missing = enginetest::NewDir("nothing-here");
  auto two = on_form(site2, missing);
  EXPECT_EQ(DbAttachControl("Zelko1", "Form2"), DB_NO_DICTIONARY);
  // The attached control goes: the attachment goes with it.
  ASSERT_EQ(DbAttachControl("Zelko1", "Form1"), 0);
  one.reset();
  EXPECT_EQ(DbGetNumOfTable(), DB_NOT_ATTACHED);
  EXPECT_EQ(DbOpen(0), DB_NOT_ATTACHED);
  // The same for a hosted source.
  ASSERT_EQ(ZelkoHostDataSource("Hosted", "Zelko1", dir_.c_str()), 0);
  ASSERT_EQ(DbAttachControl("Zelko1", "Hosted"), 0);
  EXPECT_EQ(ZelkoReleaseDataSource("Hosted", "Zelko1"), 0);
  EXPECT_EQ(ZelkoReleaseDataSource("Hosted", "Zelko1"), DB_SOURCE_NOT_FOUND);
  EXPECT_EQ(DbGetNumOfTable(), DB_NOT_ATTACHED);
}

TEST_F(FlatApi, HostedSourcesOnTwoFormsKeepApart) {
  std::string other = enginetest::NewDir("other");
  ASSERT_EQ(enginetest::WriteDictionary(
                other, {{4, "ONLY", "only.dat", {{"F", kInteger, 2}}, {{"F", 0, 0, 0x100}}, {}}}),
            0);
  ASSERT_EQ(ZelkoHostDataSource("A", "Zelko1", dir_.c_str()), 0);
  ASSERT_EQ(ZelkoHostDataSource("B", "Zelko1", other.c_str()), 0);
  EXPECT_EQ(ZelkoHostDataSource("A", "ZELKO1", dir_.c_str()), DB_FAILED);  // hosted already
  ASSERT_EQ(DbAttachControl("Zelko1", "A"), 0);
  EXPECT_EQ(DbGetNumOfTable(), 2);
  ASSERT_EQ(DbAttachControl("Zelko1", "B"), 0);
  EXPECT_EQ(DbGetNumOfTable(), 1);
  EXPECT_EQ(Take(DbGetTableName(0)), "ONLY");
  // A directory of any length is taken; a missing dictionary hosts nothing.
  std::string deep = enginetest::NewDir(std::string(80, 'd'));
  ASSERT_EQ(enginetest::WriteDictionary(deep, Tables()), 0);
  EXPECT_EQ(ZelkoHostDataSource("C", "Zelko1", deep.c_str()), 0);
  EXPECT_EQ(ZelkoHostDataSource("D", "Zelko1", enginetest::NewDir("none").c_str()), DB_FAILED);
  EXPECT_EQ(DbAttachControl("Zelko1", "D"), DB_SOURCE_NOT_FOUND);
}

TEST_F(FlatApi, BadInputGivesStatusesNeverACrash) {
  EXPECT_EQ(DbAttachControl(nullptr, "Form1"), DB_SOURCE_NOT_FOUND);
  EXPECT_EQ(DbAttachControl("Zelko1", nullptr), DB_SOURCE_NOT_FOUND);
  EXPECT_EQ(DbAttachControlByHwnd(nullptr, 0), DB_SOURCE_NOT_FOUND);
  EXPECT_EQ(ZelkoHostDataSource(nullptr, "Z", dir_.c_str()), DB_FAILED);
  EXPECT_EQ(ZelkoHostDataSource("F", nullptr, dir_.c_str()), DB_FAILED);
  EXPECT_EQ(ZelkoHostDataSource("F", "Z", nullptr), DB_DDF_DIR_EMPTY);
  EXPECT_EQ(ZelkoReleaseDataSource(nullptr, nullptr), DB_SOURCE_NOT_FOUND);
  HostAndOpen();
  for (int16_t id : {int16_t{-32768}, int16_t{-1}, int16_t{2}, int16_t{32767}}) {
    EXPECT_EQ(DbOpen(id), DB_TABLE_ID_RANGE) << id;
    EXPECT_EQ(DbGetFieldData(id, 0), nullptr) << id;
    EXPECT_EQ(DbGetFieldName(id, 0), nullptr) << id;
    EXPECT_EQ(DbGetNumOfRecords(id, nullptr), DB_TABLE_ID_RANGE) << id;
  }
  EXPECT_EQ(Take(DbGetFieldData(0, 32767)), "");
  EXPECT_EQ(Take(DbGetFieldData(0, -32768)), "");
  EXPECT_EQ(DbSetFieldData(0, 1, nullptr), 0);  // no text: the empty text
  std::string huge(10000, 'x');
  EXPECT_EQ(DbSetFieldData(0, 1, huge.c_str()), 0);  // cut to the field's size
  EXPECT_EQ(Take(DbGetFieldData(0, 1)), "xxxxxxxxxx");
  EXPECT_EQ(DbGetNumOfRecords(0, nullptr), 0);
  EXPECT_EQ(DbFindPercentage(0, -1, 99999, nullptr), B_END_OF_FILE);
  EXPECT_EQ(DbExAccess(B_STEP_NEXT_EXT, 0, nullptr, nullptr, -1, 0, 10, 0, nullptr, nullptr),
            DB_BAD_FIELD_LIST);
  for (int16_t id : {int16_t{-1}, int16_t{47}, int16_t{48}, int16_t{32767}}) {
    EXPECT_EQ(DbExFree(id), DB_FAILED) << id;
    EXPECT_EQ(DbExGetPosition(id, 0), -1) << id;
    EXPECT_EQ(Take(DbExGetFieldData(id, 0, 0)), "") << id;
  }
  // Texts far beyond every buffer of the engine.
  std::string at_huge = "@" + huge + " = 1";
  EXPECT_EQ(
      DbExAccess(B_GET_NEXT_EXTENDED, 0, at_huge.c_str(), "NAME", 0, 0, 10, 0, nullptr, nullptr),
      DB_BAD_CONDITION);
  EXPECT_EQ(DbExAccess(B_GET_NEXT_EXTENDED, 0, "", huge.c_str(), 0, 0, 10, 0, nullptr, nullptr),
            DB_BAD_FIELD_LIST);
  EXPECT_EQ(DbAttachControl(huge.c_str(), huge.c_str()), DB_SOURCE_NOT_FOUND);
  EXPECT_EQ(ZelkoFindIndex(0, huge.c_str()), DB_INDEX_NOT_FOUND);
  EXPECT_EQ(ZelkoExSetMode(huge.c_str(), nullptr), DB_FAILED);
  EXPECT_EQ(DbGetVersion(nullptr), 22);
  EXPECT_EQ(DbSetFormattedString(nullptr), 0);
  EXPECT_EQ(DbSetFormattedString(huge.c_str()), 0);
  EXPECT_EQ(Module::Get().formatted_text.size(), 1023u);  // cut to 1,023 bytes
  EXPECT_EQ(DbExSetFormattedString("short"), 0);
  EXPECT_EQ(Module::Get().formatted_text, "short");
}

TEST_F(FlatApi, ExtensionsForScriptingBindings) {
  char buffer[64];
  int32_t length = -1, position = -1;
  EXPECT_EQ(ZelkoGetRecordText(0, buffer, sizeof buffer, &length, &position), DB_NOT_ATTACHED);
  EXPECT_EQ(ZelkoFindIndex(0, "NAME"), DB_NOT_ATTACHED);
  HostAndOpen();
  ASSERT_EQ(Add(7, "山田", 41), 0);
  ASSERT_EQ(Add(8, "佐藤", 35), 0);
  // The index by named index and by the first segment's field; unknown names and null.
  EXPECT_EQ(ZelkoFindIndex(0, "ById"), 0);
  EXPECT_EQ(ZelkoFindIndex(0, "NAME"), 1);
  EXPECT_EQ(ZelkoFindIndex(0, "AGE"), DB_INDEX_NOT_FOUND);  // a field, not a key
  EXPECT_EQ(ZelkoFindIndex(0, nullptr), DB_INDEX_NOT_FOUND);
  EXPECT_EQ(ZelkoFindIndex(2, "NAME"), DB_TABLE_ID_RANGE);

  // A whole record's texts, each ended by a NUL, with its position.
  ASSERT_EQ(DbAccess(B_GET_LAST, 0, 0), 0);
  int32_t expected_position = DbGetPosition(0);
  ASSERT_EQ(ZelkoGetRecordText(0, buffer, sizeof buffer, &length, &position), 0);
  std::string expected = "8" + std::string(1, '\0') + Cp("佐藤") + '\0' + "35" + '\0';
  EXPECT_EQ(std::string(buffer, length), expected);
  EXPECT_EQ(position, expected_position);
  // Too small a buffer: the length needed, 22, and not a byte written.
  std::memset(buffer, '#', sizeof buffer);
  length = 0;
  EXPECT_EQ(
      ZelkoGetRecordText(0, buffer, static_cast<int32_t>(expected.size()) - 1, &length, nullptr),
      22);
  EXPECT_EQ(length, static_cast<int32_t>(expected.size()));
  EXPECT_EQ(buffer[0], '#');
  EXPECT_EQ(ZelkoGetRecordText(0, nullptr, 0, nullptr, nullptr), 22);
  EXPECT_EQ(ZelkoGetRecordText(0, buffer, -5, nullptr, nullptr), 22);
  EXPECT_EQ(ZelkoGetRecordText(1, buffer, sizeof buffer, nullptr, nullptr), DB_TABLE_NOT_OPEN);

  // The extended-read mode: "EG" reads from the record a Get First established.
  char previous[3] = "??";
  EXPECT_EQ(ZelkoExSetMode("EGX", previous), DB_FAILED);
  EXPECT_STREQ(previous, "UC");
  EXPECT_EQ(ZelkoExSetMode(nullptr, nullptr), DB_FAILED);
  ASSERT_EQ(ZelkoExSetMode("EG", previous), 0);
  ASSERT_EQ(DbAccess(B_GET_FIRST, 0, 0), 0);
  int16_t result = -1, count = 0;
  EXPECT_EQ(DbExAccess(B_GET_NEXT_EXTENDED, 0, "", "AGE,ID", 0, 0, 10, 0, &result, &count),
            B_END_OF_FILE);
  EXPECT_EQ(count, 2);
  // A result's record in one call: the listed fields in list order.
  ASSERT_EQ(ZelkoExGetRecordText(result, 1, buffer, sizeof buffer, &length, &position), 0);
  EXPECT_EQ(std::string(buffer, length), std::string("35\0"
                                                     "8\0",
                                                     5));
  EXPECT_EQ(position, DbExGetPosition(result, 1));
  EXPECT_EQ(ZelkoExGetRecordText(result, 1, buffer, 4, &length, nullptr), 22);
  EXPECT_EQ(ZelkoExGetRecordText(result, 2, buffer, sizeof buffer, nullptr, nullptr), DB_FAILED);
  EXPECT_EQ(ZelkoExGetRecordText(result, -1, buffer, sizeof buffer, nullptr, nullptr), DB_FAILED);
  DbExFree(result);
  EXPECT_EQ(ZelkoExGetRecordText(result, 0, buffer, sizeof buffer, nullptr, nullptr), DB_FAILED);
  ASSERT_EQ(ZelkoExSetMode(previous, previous), 0);
  EXPECT_STREQ(previous, "EG");
  EXPECT_EQ(Module::Get().ex_mode, "UC");

  // Messages as data: the last one shown is taken once, shown or silent.
  EXPECT_EQ(ZelkoCodePage(), 932);
  EXPECT_EQ(ZelkoDateCentury(), 0);  // four-digit years unless zelko.ini says otherwise
  ZelkoTakeLastMessage();
  EXPECT_EQ(DbExAccess(B_GET_NEXT_EXTENDED, 0, "AGE > 3", "ID", 0, 0, 10, 0, &result, &count),
            DB_BAD_CONDITION);
  EXPECT_NE(std::string(ZelkoTakeLastMessage()).find("VE041"), std::string::npos);
  EXPECT_EQ(std::string(ZelkoTakeLastMessage()), "");
  size_t shown = messages_.Texts().size();
  EXPECT_EQ(ZelkoShowMessages(0), 1);
  EXPECT_EQ(DbExAccess(B_GET_NEXT_EXTENDED, 0, "AGE > 3", "ID", 0, 0, 10, 0, &result, &count),
            DB_BAD_CONDITION);
  EXPECT_EQ(messages_.Texts().size(), shown);  // not shown, yet kept
  EXPECT_NE(std::string(ZelkoTakeLastMessage()).find("VE041"), std::string::npos);
  EXPECT_EQ(ZelkoShowMessages(1), 0);
  EXPECT_EQ(ZelkoShowMessages(1), 1);
  EXPECT_EQ(DbExAccess(B_GET_NEXT_EXTENDED, 0, "AGE > 3", "ID", 0, 0, 10, 0, &result, &count),
            DB_BAD_CONDITION);
  EXPECT_EQ(messages_.Texts().size(), shown + 1);  // the recorder is back
}

// A Note past 4,096 bytes: DbGetFieldData gives its first 4,096, the record's texts give it
// whole, so a binding that copies records loses nothing.
TEST_F(FlatApi, ARecordsTextsGiveALongNoteWhole) {
  std::string memo_dir = enginetest::NewDir("memo");
  ASSERT_EQ(enginetest::WriteDictionary(memo_dir, {{7,
                                                    "MEMO",
                                                    "memo.dat",
                                                    {{"ID", kInteger, 4}, {"BODY", kNote, 10000}},
                                                    {{"ID", 0, 0, 0x100}},
                                                    {}}}),
            0);
  ASSERT_EQ(ZelkoHostDataSource("Form2", "Memo1", memo_dir.c_str()), 0);
  ASSERT_EQ(DbAttachControl("Memo1", "Form2"), 0);
  ASSERT_EQ(DbCreate(0), 0);
  ASSERT_EQ(DbOpen(0), 0);
  const std::string body(8000, 'n');
  DbClearFieldBuffer(0);
  DbSetFieldData(0, 0, "1");
  EXPECT_EQ(ZelkoCheckFieldData(0, 1, body.c_str(), nullptr, 0), 0);
  EXPECT_EQ(ZelkoCheckFieldData(0, 1, std::string(10000, 'n').c_str(), nullptr, 0), DB_FAILED);
  DbSetFieldData(0, 1, body.c_str());
  ASSERT_EQ(DbAccess(B_INSERT, 0, 0), 0);
  DbClearFieldBuffer(0);
  DbSetFieldData(0, 0, "1");
  ASSERT_EQ(DbAccess(B_GET_EQUAL, 0, 0), 0);
  EXPECT_EQ(Take(DbGetFieldData(0, 1)).size(), 4096u);
  std::vector<char> small(64);
  int32_t length = 0;
  EXPECT_EQ(
      ZelkoGetRecordText(0, small.data(), static_cast<int32_t>(small.size()), &length, nullptr),
      22);
  std::string expected = "1" + std::string(1, '\0') + body + '\0';
  ASSERT_EQ(length, static_cast<int32_t>(expected.size()));
  std::vector<char> room(static_cast<size_t>(length));
  ASSERT_EQ(ZelkoGetRecordText(0, room.data(), length, &length, nullptr), 0);
  EXPECT_EQ(std::string(room.data(), room.size()), expected);
}

// The check a binding runs before DbSetFieldData, which stores what it can of any text.
TEST_F(FlatApi, AValueThatAFieldWouldChangeIsToldBeforeItIsSet) {
  char reason[128] = "#";
  EXPECT_EQ(ZelkoCheckFieldData(0, 0, "1", reason, sizeof reason), DB_NOT_ATTACHED);
  ASSERT_EQ(ZelkoHostDataSource("Form1", "Zelko1", dir_.c_str()), 0);
  ASSERT_EQ(DbAttachControl("Zelko1", "Form1"), 0);
  // No data file needed: the check reads only the dictionary.
  EXPECT_EQ(ZelkoCheckFieldData(0, 2, "-32768", reason, sizeof reason), 0);
  EXPECT_STREQ(reason, "");
  EXPECT_EQ(ZelkoCheckFieldData(0, 1, Cp("山田太郎").c_str(), nullptr, 0), 0);
  EXPECT_EQ(ZelkoCheckFieldData(0, 2, nullptr, nullptr, 0), 0);  // null is the empty text

  EXPECT_EQ(ZelkoCheckFieldData(0, 2, "32768", reason, sizeof reason), DB_FAILED);
  EXPECT_STREQ(reason, "\"32768\" is out of range (-32768 to 32767)");
  EXPECT_EQ(ZelkoCheckFieldData(0, 0, "12x", reason, sizeof reason), DB_FAILED);
  EXPECT_STREQ(reason, "\"12x\" is not a whole number");
  // Eleven bytes in a String of ten; the reason quotes the code-page text.
  std::string eleven = Cp("山田太郎花子").substr(0, 11);
  EXPECT_EQ(ZelkoCheckFieldData(0, 1, eleven.c_str(), reason, sizeof reason), DB_FAILED);
  EXPECT_EQ(std::string(reason), "\"" + eleven + "\" is 11 bytes; the field holds 10");
  // A long text is quoted in part, cut between characters, never inside one.
  std::string long_text = Cp("山田太郎花子山田太郎花子山田太郎花子山田太郎花子");
  ASSERT_EQ(ZelkoCheckFieldData(0, 1, long_text.c_str(), reason, sizeof reason), DB_FAILED);
  std::string quoted = std::string(reason).substr(1, std::string(reason).find("...") - 1);
  EXPECT_EQ(quoted, long_text.substr(0, 36));  // 18 characters: the 19th would pass 37 bytes
  EXPECT_TRUE(zplatform::ToUtf8(quoted).find("\xEF\xBF\xBD") == std::string::npos);

  // The reason is cut to the room given and always ended; nothing written without room.
  char small[6] = "#####";
  EXPECT_EQ(ZelkoCheckFieldData(0, 2, "99999", small, sizeof small), DB_FAILED);
  EXPECT_STREQ(small, "\"9999");
  small[0] = '#';
  EXPECT_EQ(ZelkoCheckFieldData(0, 2, "99999", small, 0), DB_FAILED);
  EXPECT_EQ(small[0], '#');
  EXPECT_EQ(ZelkoCheckFieldData(0, 3, "1", reason, sizeof reason), DB_FIELD_ID_RANGE);
  EXPECT_EQ(ZelkoCheckFieldData(0, -1, "1", reason, sizeof reason), DB_FIELD_ID_RANGE);
  EXPECT_EQ(ZelkoCheckFieldData(2, 0, "1", reason, sizeof reason), DB_TABLE_ID_RANGE);

  // Conditions: as written, misread by the extended read, not parsed.
  EXPECT_EQ(ZelkoCheckCondition(0, "@AGE >= 20 & @NAME = 'A B'", reason, sizeof reason), 0);
  EXPECT_STREQ(reason, "");
  EXPECT_EQ(ZelkoCheckCondition(0, nullptr, nullptr, 0), 0);
  EXPECT_EQ(ZelkoCheckCondition(0, "@AGE >= 40000", reason, sizeof reason), DB_FAILED);
  EXPECT_STREQ(reason, "PEOPLE.AGE: \"40000\" is out of range (-32768 to 32767)");
  EXPECT_EQ(ZelkoCheckCondition(0, "@AGE >= 20 or @ID = 1", reason, sizeof reason), DB_FAILED);
  EXPECT_STREQ(reason,
               "\"or @ID = 1\" follows the last term and would be ignored (join "
               "terms with & or |)");
  EXPECT_EQ(ZelkoCheckCondition(0, "@AGE ! 1", reason, sizeof reason), DB_BAD_CONDITION);
  EXPECT_NE(std::string(ZelkoTakeLastMessage()).find("VE042"), std::string::npos);
  EXPECT_EQ(ZelkoCheckCondition(2, "", reason, sizeof reason), DB_TABLE_ID_RANGE);

  // The fields of a key, by the index position it starts at.
  int16_t fields[4] = {-1, -1, -1, -1};
  EXPECT_EQ(ZelkoGetIndexFields(0, 1, fields, 4), 1);
  EXPECT_EQ(fields[0], 1);  // NAME
  EXPECT_EQ(ZelkoGetIndexFields(0, 0, nullptr, 0), 1);
  EXPECT_EQ(ZelkoGetIndexFields(0, 2, fields, 4), DB_INDEX_NOT_FOUND);
  EXPECT_EQ(ZelkoGetIndexFields(0, -1, fields, 4), DB_INDEX_NOT_FOUND);
}

TEST(FlatApiFatal, FatalAppExitEndsWithTheFormattedMessage) {
  EXPECT_EXIT(ZelkoFatalAppExit(803, Cp("顧客.btr").c_str(), 12),
              testing::ExitedWithCode(zplatform::kFatalExitStatus), "VE803");
}

}  // namespace
}  // namespace zelko
