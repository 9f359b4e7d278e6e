#include "engine/extended_access.h"

#include <gtest/gtest.h>

#include "btrieve/btrapi.h"
#include "engine/field_conversion.h"
#include "engine/module.h"
#include "engine/table_access.h"
#include "engine_test_util.h"

namespace zelko {
namespace {

using namespace enginetest;

// PEOPLE: ID Integer 4 (key 0), NAME String 10 (key 1, duplicates), AGE Integer 2.
std::vector<TableDef> Tables() {
  return {{4,
           "PEOPLE",
           "people.dat",
           {{"ID", kInteger, 4}, {"NAME", kString, 10}, {"AGE", kInteger, 2}},
           {{"ID", 0, 0, 0x100}, {"NAME", 1, 0, 0x103}},
           {}}};
}

class Extended : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = NewDir("dict");
    ASSERT_EQ(WriteDictionary(dir_, Tables()), 0);
    ASSERT_EQ(LoadCatalog(dir_, false, &catalog_), 0);
    people_ = &catalog_->tables[0];
    ASSERT_EQ(EngineCreate(*catalog_, *people_, ResolveDataFilePath(*people_, dir_)), 0);
    ASSERT_EQ(EngineOpen(*catalog_, *people_, dir_, "", 0), 0);
    const std::pair<const char *, int> rows[] = {
        {"ANN", 20}, {"BOB", 35}, {"CAROL", 41}, {"DAN", 17}, {"EVE", 52}};
    int id = 1;
    for (auto [name, age] : rows) {
      ClearRecordBuffer(*people_);
      WriteFieldByName(*people_, "ID", std::to_string(id++));
      WriteFieldByName(*people_, "NAME", name);
      WriteFieldByName(*people_, "AGE", std::to_string(age));
      ASSERT_EQ(EngineAccess(*people_, B_INSERT, 0), 0);
    }
  }
  void TearDown() override {
    ExFreeAll();
    if (catalog_) CloseAllTables(*catalog_);
  }
  // Positions the path on its first record, then reads with "EG" from there.
  int16_t Read(const std::string &condition, const std::string &fields, int max, int16_t *id,
               int16_t *count, int index = 0) {
    Module::Get().ex_mode = "EG";
    EXPECT_EQ(EngineAccess(*people_, B_GET_FIRST, index), 0);
    return ExAccess(B_GET_NEXT_EXTENDED, *people_, condition, fields, index, 0, max, false, id,
                    count);
  }
  std::string dir_;
  std::unique_ptr<TableCatalog> catalog_;
  TableDescriptor *people_ = nullptr;
  RecordMessages messages_;
};

TEST_F(Extended, ResultsAreReadByFieldNameNumberAndPosition) {
  int16_t id = -1, count = 0;
  ASSERT_EQ(Read("@AGE >= 30", "NAME,AGE", 10, &id, &count), 9);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(ExGetFieldDataByName(id, "NAME", 0), "BOB");
  EXPECT_EQ(ExGetFieldDataByName(id, "AGE", 2), "52");
  EXPECT_EQ(ExGetFieldDataById(id, 1, 1), "CAROL");    // field number 1 is NAME
  EXPECT_EQ(ExGetFieldDataByName(id, "ID", 0), "");    // not in the field list
  EXPECT_EQ(ExGetFieldDataByName(id, "NAME", 3), "");  // past the last record
  EXPECT_EQ(ExGetFieldDataByName(id, "NOPE", 0), "");
  // Positions address the records: Get Direct brings back the same one.
  int32_t pos = ExGetPosition(id, 1);
  ASSERT_GT(pos, 0);
  ASSERT_EQ(EngineGetDirect(*people_, pos, -1), 0);
  EXPECT_EQ(ReadFieldByName(*people_, "NAME"), "CAROL");
  EXPECT_EQ(ExGetPosition(id, 3), -1);
  EXPECT_EQ(ExGetPosition(id, -1), -1);
  // The maximum count ends the read with status 0, results stay apart.
  int16_t second = -1, two = 0;
  ASSERT_EQ(Read("", "ID", 2, &second, &two), 0);
  EXPECT_EQ(two, 2);
  EXPECT_NE(second, id);
  EXPECT_EQ(ExGetFieldDataByName(second, "ID", 1), "2");
  // Freed results and IDs never issued read as nothing.
  EXPECT_EQ(ExFree(id), 0);
  EXPECT_EQ(ExFree(id), -1);
  EXPECT_EQ(ExGetFieldDataByName(id, "NAME", 0), "");
  EXPECT_EQ(ExGetPosition(id, 0), -1);
  for (int bad : {-1, 47, 48, 1000}) {
    EXPECT_EQ(ExFree(bad), -1) << bad;
    EXPECT_EQ(ExGetFieldDataById(bad, 0, 0), "") << bad;
  }
  // Bad input: an operation that is not extended, a condition and a field list that do not
  // parse.
  EXPECT_EQ(ExAccess(B_GET_FIRST, *people_, "", "ID", 0, 0, 5, false, &id, &count), -7);
  EXPECT_EQ(Read("@NOPE = 1", "ID", 5, &id, &count), -8);
  EXPECT_EQ(Read("", "ID,NOPE", 5, &id, &count), -9);
}

TEST_F(Extended, AResultOutlivesTheCatalogItCameFrom) {
  int16_t id = -1, count = 0;
  ASSERT_EQ(Read("@NAME = EVE", "NAME,AGE", 5, &id, &count), 9);
  ASSERT_EQ(count, 1);
  // The catalog goes (as DbLoadDDF replaces it): the result still reads its fields.
  CloseAllTables(*catalog_);
  catalog_.reset();
  EXPECT_EQ(ExGetFieldDataByName(id, "NAME", 0), "EVE");
  EXPECT_EQ(ExGetFieldDataById(id, 2, 0), "52");
  EXPECT_GT(ExGetPosition(id, 0), 0);
}

// The read itself converts a value as a field stores it and ignores text after the last
// term; the exact parse tells a caller whose users would be misread by either.
TEST_F(Extended, TheExactParseRefusesWhatTheReadWouldMisread) {
  std::vector<ExTerm> terms;
  std::string problem;
  auto exact = [&](const std::string &condition) {
    EXPECT_TRUE(ParseSearchConditionExactly(*people_, condition, false, &terms, &problem))
        << condition;
    return problem;
  };
  EXPECT_EQ(exact("@AGE >= 30 & @NAME = 'ANN' | @1 <> @ID  "), "");
  EXPECT_EQ(exact(""), "");
  ASSERT_EQ(terms.size(), 0u);
  EXPECT_EQ(exact("@AGE > 70000"), "PEOPLE.AGE: \"70000\" is out of range (-32768 to 32767)");
  // What the read would compare with instead: 70000 in two bytes.
  ASSERT_EQ(terms.size(), 1u);
  EXPECT_EQ(terms[0].value, (std::vector<uint8_t>{0x70, 0x11}));
  EXPECT_NE(exact("@NAME = ABCDEFGHIJK").find("11 bytes"), std::string::npos);
  EXPECT_NE(exact("@AGE = 1 & @ID = x").find("PEOPLE.ID: \"x\""), std::string::npos);
  EXPECT_EQ(exact("@AGE = 1 and @ID = 2"),
            "\"and @ID = 2\" follows the last term and would be ignored (join terms with & or |)");
  EXPECT_NE(exact("@NAME = 'AB\tC'").find("\"\tC'\" follows"), std::string::npos);
  // A value left out reads as the field's empty value; quotes ask for that one.
  EXPECT_EQ(exact("@AGE > 1 & @ID >  "),
            "PEOPLE.ID: no value follows the comparison (write \"\" for the empty value)");
  EXPECT_EQ(exact("@NAME = '' | @NAME = \"\""), "");
  // A value is cut at 256 characters: the rest of it would be ignored.
  EXPECT_NE(exact("@AGE = " + std::string(300, '0')).find("follows the last term"),
            std::string::npos);
  // A condition that does not parse says so as the read does, with no problem of its own.
  EXPECT_FALSE(ParseSearchConditionExactly(*people_, "AGE = 1", false, &terms, &problem));
  EXPECT_EQ(problem, "");
  EXPECT_EQ(messages_.Texts().back().substr(0, 5), "VE041");
}

}  // namespace
}  // namespace zelko
