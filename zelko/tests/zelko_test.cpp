// The zelko commands run in-process against dictionaries and data files of their own.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "btrieve/btrapi.h"
#include "commands.h"
#include "engine/field_conversion.h"
#include "engine_test_util.h"
#include "zelko_test_env.h"
#include "zplatform/codepage.h"

namespace zelkocli {
namespace {

using namespace enginetest;
using namespace zelko;

struct Outcome {
  int status;
  std::string out, err;
};

Outcome Zelko(std::vector<std::string> args) {
  std::ostringstream out, err;
  int status = RunZelko(args, {out, err});
  return {status, out.str(), err.str()};
}

void WriteFile(const std::string &path, const std::string &text) {
  std::ofstream(path, std::ios::binary) << text;
}

// Every data type, a Note last; key 0 on ID, key 1 on S (duplicates, modifiable).
std::string AllTypesDictionary(const std::string &name) {
  std::string dir = NewDir(name);
  TableDef t{10,
             "ALLTYPES",
             "ALL.DAT",
             {{"ID", kAutoInc, 4},
              {"S", kString, 8},
              {"I1", kInteger, 1},
              {"I2", kInteger, 2},
              {"I4", kInteger, 4},
              {"F4", kFloat, 4},
              {"F8", kFloat, 8},
              {"D", kDate, 4},
              {"T", kTime, 4},
              {"DEC", kDecimal, 4, 2},
              {"MON", kMoney, 5, 2},
              {"L", kLogical, 1},
              {"NUM", kNumeric, 6, 1},
              {"BF4", kBFloat, 4},
              {"BF8", kBFloat, 8},
              {"LS", kLString, 6},
              {"ZS", kZString, 6},
              {"UB", kUBin, 2},
              {"NOTE", kNote, 6000}},
             {{"ID", 0, 0, 0}, {"S", 1, 0, 3}},
             {{"BYS", 1}}};
  EXPECT_EQ(WriteDictionary(dir, {t}), 0);
  EXPECT_EQ(Zelko({"create", dir, "alltypes"}).status, 0);
  return dir;
}

const char kHeader[] = "ID,S,I1,I2,I4,F4,F8,D,T,DEC,MON,L,NUM,BF4,BF8,LS,ZS,UB,NOTE\r\n";
const char kRows[] =
    "1,日本語,255,-2,-2147483648,0.2500000000,3.141590000,2024/02/"
    "29,23:59:58,12.34,-0.05,1,-12.5,-2.500000000,1000000,"
    "abc,zz,65535,"
    "\"multi\r\nline, \"\"note\"\"\"\r\n"
    "2,\"a,b\",0,32767,7,0,0,1999/12/31,00:00:00,0.00,99999.99,0,0.0,0,0,,,0,\r\n";

// The raw record at `position` in physical order (1-based).
std::string RawRecord(const std::string &path, int nth) {
  uint8_t block[128] = {};
  std::string key = path;
  uint32_t len = 0;
  EXPECT_EQ(BTRCALL(B_OPEN, block, nullptr, &len, key.data(), static_cast<uint8_t>(key.size()), 0),
            0);
  std::string data(8000, '\0');
  char kb[255];
  int16_t status = 0;
  for (int i = 0; i < nth && status == 0; ++i) {
    len = static_cast<uint32_t>(data.size());
    status =
        BTRCALL(i == 0 ? B_STEP_FIRST : B_STEP_NEXT, block, data.data(), &len, kb, sizeof kb, 0);
  }
  EXPECT_EQ(status, 0);
  data.resize(len);
  BTRCALL(B_CLOSE, block, nullptr, &len, nullptr, 0, 0);
  return data;
}

TEST(Zelko, EveryTypeLoadsAndDumpsBackIdenticalWithTheBytesOfTheRules) {
  RecordMessages messages;
  std::string dir = AllTypesDictionary("all");
  std::string csv = std::string(kHeader) + kRows;
  WriteFile(dir + "/in.csv", csv);
  Outcome load = Zelko({"load", dir, "ALLTYPES", dir + "/in.csv"});
  EXPECT_EQ(load.status, 0) << load.err;
  EXPECT_EQ(load.out, "inserted 2, updated 0, rejected 0\n");
  Outcome dump = Zelko({"dump", dir, "ALLTYPES"});
  EXPECT_EQ(dump.status, 0) << dump.err;
  EXPECT_EQ(dump.out, csv);

  std::string r = RawRecord(dir + "/ALL.DAT", 1);
  ASSERT_EQ(r.size(), 81u + 20u);
  EXPECT_EQ(r.substr(4, 8), "\x93\xfa\x96\x7b\x8c\xea  ");  // 日本語 in code page 932, space filled
  EXPECT_EQ(static_cast<uint8_t>(r[12]), 255);
  EXPECT_EQ(r.substr(13, 2), "\xfe\xff");
  EXPECT_EQ(r.substr(15, 4), std::string("\0\0\0\x80", 4));
  float f4;
  std::memcpy(&f4, &r[19], 4);
  EXPECT_EQ(f4, 0.25f);
  EXPECT_EQ(r.substr(31, 4), std::string("\x1d\x02\xe8\x07", 4));  // day, month, year 2024
  EXPECT_EQ(r.substr(35, 4), std::string("\0\x3a\x3b\x17", 4));    // hundredths, s, m, h
  EXPECT_EQ(r.substr(39, 4), std::string("\x00\x01\x23\x4f", 4));  // 12.34, positive nibble F
  EXPECT_EQ(static_cast<uint8_t>(r[47]) & 0x0F, 0x0D);             // Money -0.05 is negative
  EXPECT_EQ(r.substr(49, 6), "00012N");                            // -12.5 overpunched
  EXPECT_EQ(r.substr(59 + 8, 6), std::string("\x03"
                                             "abc\0\0",
                                             6));
  EXPECT_EQ(r.substr(73, 6), std::string("zz\0\0\0\0", 6));
  EXPECT_EQ(r.substr(79, 2), "\xff\xff");
  EXPECT_EQ(r.substr(81), std::string("multi\r\nline, \"note\"") + '\0');

  // Key order, both other formats, and a condition the record manager evaluates.
  Outcome by_name = Zelko(
      {"dump", dir, "ALLTYPES", "--key", "BYS", "--format", "jsonl", "--where", "@UB <= 65535"});
  EXPECT_EQ(by_name.status, 0) << by_name.err;
  ASSERT_EQ(std::count(by_name.out.begin(), by_name.out.end(), '\n'), 2) << by_name.out;
  EXPECT_EQ(by_name.out.substr(0, 24), "{\"ID\":\"2\",\"S\":\"a,b\",\"I1\"");
  EXPECT_NE(by_name.out.find("\"NOTE\":\"multi\\r\\nline, \\\"note\\\"\"}\n"), std::string::npos);
  Outcome where =
      Zelko({"dump", dir, "ALLTYPES", "--where", "@I4 < 0 & @S = 日本語", "--format", "tsv"});
  EXPECT_EQ(where.status, 0) << where.err;
  EXPECT_EQ(where.out.substr(where.out.find('\n') + 1, 11), "1\t日本語");
  EXPECT_EQ(std::count(where.out.begin(), where.out.end(), '\n'), 2);
  EXPECT_EQ(Zelko({"dump", dir, "ALLTYPES", "--where", "@UB > 1 & @I2 > 0"}).out,
            std::string(kHeader));
  Outcome first = Zelko({"dump", dir, "ALLTYPES", "--where", "@UB > 1"});
  EXPECT_EQ(first.out.substr(first.out.find('\n') + 1, 2), "1,") << first.out;
  Outcome last = Zelko({"dump", dir, "ALLTYPES", "--where", "@UB = 0"});
  EXPECT_EQ(last.out.substr(last.out.find('\n') + 1, 2), "2,") << last.out;
  // A date as dump --iso-dates writes it, as load reads it; one the conversion would read
  // otherwise (a one-digit month moves the day) is refused.
  Outcome iso = Zelko({"dump", dir, "ALLTYPES", "--where", "@D = 1999-12-31"});
  EXPECT_EQ(iso.out.substr(iso.out.find('\n') + 1, 2), "2,") << iso.err;
  EXPECT_EQ(Zelko({"dump", dir, "ALLTYPES", "--where", "@D = 1999-1-31"}).status, 2);
  Outcome bad = Zelko({"dump", dir, "ALLTYPES", "--where", "@NOPE = 1"});
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(messages.Texts().back().find("VE818"), std::string::npos);
  // Conditions the record manager would read as other ones: a value its field holds as another
  // value (65536 is 0 in UB's two bytes), words after the last term, a character outside the
  // code page.
  for (const char *misread : {"@UB > 65536", "@UB > 1 and @I2 > 0", "@S = 日本語😀", "@UB >"}) {
    Outcome refused = Zelko({"dump", dir, "ALLTYPES", "--where", misread});
    EXPECT_EQ(refused.status, 2) << misread;
    EXPECT_EQ(refused.out, "") << misread;
    EXPECT_NE(refused.err.find(std::string("the condition cannot be used: ") + misread + ": "),
              std::string::npos)
        << refused.err;
  }
}

int RecordCount(const std::string &dir, const std::string &table = "ALLTYPES");

// Every format dump writes loads back into an empty file as the same records, byte for byte;
// so do typed JSON and ISO dates.
TEST(Zelko, EveryDumpFormatLoadsBackByteIdentical) {
  RecordMessages messages;
  std::string source = AllTypesDictionary("roundtrip_source");
  // Record 3's note is longer than the 4,096 bytes a field's text is cut to elsewhere, and
  // its F8 has more digits than the conversion's ten.
  WriteFile(source + "/in.csv",
            std::string(kHeader) + kRows +
                "3,,0,0,0,0,0.30000000000000004,0000/00/00,00:00:00,0.00,0.00,7,0.0,0,0,,,0," +
                std::string(5000, 'n') + "\r\n");
  ASSERT_EQ(Zelko({"load", source, "ALLTYPES", source + "/in.csv"}).status, 0);
  const std::vector<std::vector<std::string>> ways = {
      {"--format", "csv"},
      {"--format", "tsv"},
      {"--format", "jsonl"},
      {"--format", "jsonl", "--typed"},
      {"--format", "csv", "--iso-dates"},
      {"--format", "jsonl", "--typed", "--iso-dates"}};
  for (size_t w = 0; w < ways.size(); ++w) {
    std::vector<std::string> dump = {"dump", source, "ALLTYPES"};
    dump.insert(dump.end(), ways[w].begin(), ways[w].end());
    Outcome out = Zelko(dump);
    ASSERT_EQ(out.status, 0) << out.err;
    std::string copy = AllTypesDictionary("roundtrip_copy" + std::to_string(w));
    std::string file = copy + "/records." + ways[w][1];
    WriteFile(file, out.out);
    Outcome load = Zelko({"load", copy, "ALLTYPES", file});
    EXPECT_EQ(load.out, "inserted 3, updated 0, rejected 0\n") << ways[w][1] << load.err;
    for (int r = 1; r <= 3; ++r)
      EXPECT_EQ(RawRecord(copy + "/ALL.DAT", r), RawRecord(source + "/ALL.DAT", r)) << w << r;
  }
  Outcome typed =
      Zelko({"dump", source, "ALLTYPES", "--format", "jsonl", "--typed", "--iso-dates"});
  EXPECT_NE(typed.out.find("\"ID\":1,\"S\":\"日本語\",\"I1\":255,\"I2\":-2,"), std::string::npos)
      << typed.out;
  EXPECT_NE(typed.out.find("\"D\":\"2024-02-29\",\"T\":\"23:59:58\",\"DEC\":12.34,"),
            std::string::npos);
  EXPECT_NE(typed.out.find("\"L\":true,"), std::string::npos);
  EXPECT_NE(typed.out.find("\"D\":null,"), std::string::npos);  // the zero date
  EXPECT_NE(typed.out.find("\"L\":7,"), std::string::npos);     // neither false nor true
  EXPECT_EQ(Zelko({"dump", source, "ALLTYPES", "--typed"}).status, 2);

  // Malformed input of each reader: nothing is loaded, the line is named.
  std::string copy = AllTypesDictionary("roundtrip_bad");
  WriteFile(copy + "/bad.jsonl", "{\"ID\":\"9\",\"S\":\"x\"}\n{\"ID\":\"10\"}\n");
  Outcome missing = Zelko({"load", copy, "ALLTYPES", copy + "/bad.jsonl"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("bad.jsonl:2: key \"S\" of the first line is missing"),
            std::string::npos)
      << missing.err;
  WriteFile(copy + "/bad.tsv", "ID\tS\n9\tx\\q\n");
  Outcome escape = Zelko({"load", copy, "ALLTYPES", copy + "/bad.tsv"});
  EXPECT_NE(escape.err.find("bad.tsv:2: unknown escape \\q"), std::string::npos) << escape.err;
  WriteFile(copy + "/nested.txt", "{\"ID\":[1]}\n");
  Outcome nested = Zelko({"load", copy, "ALLTYPES", copy + "/nested.txt", "--format", "jsonl"});
  EXPECT_NE(nested.err.find("nested.txt:1: a value was expected at column 7"), std::string::npos)
      << nested.err;
  EXPECT_EQ(RecordCount(copy), 0);
  // An ISO date that is no date is refused like any other.
  WriteFile(copy + "/dates.csv", "ID,D\n5,2023-02-29\n6,2024-02-29\n");
  Outcome dates = Zelko({"load", copy, "ALLTYPES", copy + "/dates.csv"});
  EXPECT_EQ(dates.out, "inserted 1, updated 0, rejected 1\n") << dates.err;
}

int RecordCount(const std::string &dir, const std::string &table) {
  Outcome stat = Zelko({"stat", dir, table});
  size_t at = stat.out.find("records       ");
  return at == std::string::npos ? -1 : std::atoi(stat.out.c_str() + at + 14);
}

TEST(Zelko, BadInputIsReportedAndNothingHalfWritten) {
  RecordMessages messages;
  std::string dir = AllTypesDictionary("bad");
  struct Case {
    std::string csv;
    const char *message;
  } fatal[] = {
      {"ID,S\r\n1,x\r\n2,\"open\r\n", "in.csv:3: a quoted field is not closed"},
      {"ID,WHO\r\n1,x\r\n", "in.csv:1: table \"ALLTYPES\" has no field \"WHO\""},
      {"ID,S,ID\r\n1,x,1\r\n", "named twice"},
      {"ID,\x82\x72\r\n1,x\r\n",
       "in.csv:1: the header is not UTF-8 text (a file saved in Shift-JIS?"},
      {std::string("\xFF\xFEI\0D\0,\0S\0\r\0\n\0", 14),
       "in.csv:1: the file is UTF-16 text (as Excel saves \"Unicode text\"); convert it first: "
       "iconv -f UTF-16 -t UTF-8"},
      {"", "no header row"},
  };
  for (const Case &c : fatal) {
    WriteFile(dir + "/in.csv", c.csv);
    Outcome run = Zelko({"load", dir, "ALLTYPES", dir + "/in.csv"});
    EXPECT_EQ(run.status, 1) << c.csv;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_EQ(RecordCount(dir), 0) << c.csv;
  }
  // Values that do not fit: each row reported with its line, the rest loaded.
  WriteFile(dir + "/in.csv",
            "ID,S,I1,I2,D,T,DEC,NUM,LS,UB\r\n"
            "1,ok,1,1,2024/01/01,10:00:00,1.5,1.5,abc,1\r\n"
            "2,123456789,1,1,,,,,,\r\n"    // 9 bytes in 8
            "3,x,256,1,,,,,,\r\n"          // Integer 1 byte holds 0 to 255
            "4,x,1,40000,,,,,,\r\n"        // Integer 2 bytes
            "5,x,1,1,2023/02/29,,,,,\r\n"  // no such day
            "6,x,1,1,,24:00:00,,,,\r\n"
            "7,x,1,1,,,1.234,,,\r\n"    // three decimals in two
            "8,x,1,1,,,123456,,,\r\n"   // 6 integer digits in 5
            "9,x,1,1,,,,123456,,\r\n"   // Numeric 6.1 holds 5 integer digits
            "10,x,1,1,,,,,abcdef,\r\n"  // LString 6 holds 5
            "11,x,1,1,,,,,,-1\r\n"      // UBin is unsigned
            "12,x,one,1,,,,,,\r\n"
            "13,x,1\r\n"                         // too few values
            "1,dup,1,1,,,,,,\r\n"                // duplicate key
            "14,€¼,1,1,,,,,,\r\n"                // outside code page 932 (¼)
            "16,\x93\xfa\x96\x7b,1,1,,,,,,\r\n"  // Shift-JIS, not UTF-8
            "15,last,1,1,,,,,,\r\n");
  Outcome run = Zelko({"load", dir, "ALLTYPES", dir + "/in.csv"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "inserted 2, updated 0, rejected 15\n");
  for (int line = 3; line <= 17; ++line) {
    EXPECT_NE(run.err.find("in.csv:" + std::to_string(line) + ": rejected"), std::string::npos)
        << line;
  }
  EXPECT_NE(run.err.find("in.csv:15: rejected: status 5, duplicate key value"), std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("in.csv:14: rejected: 3 values, the header names 10"), std::string::npos)
      << run.err;
  WriteFile(dir + "/one.csv", "ID,S\r\n40\r\n");
  Outcome one = Zelko({"load", dir, "ALLTYPES", dir + "/one.csv"});
  EXPECT_NE(one.err.find("one.csv:2: rejected: 1 value, the header names 2"), std::string::npos)
      << one.err;
  EXPECT_NE(run.err.find("in.csv:17: rejected: field S: the value is not UTF-8 text"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(RecordCount(dir), 2);
  // Numbers written with an exponent (as spreadsheets and Python write them) are the same
  // numbers in numeric fields, checked as any other; a text field keeps the text.
  std::string numbers = AllTypesDictionary("exponents");
  WriteFile(numbers + "/exp.csv",
            "ID,F8,DEC,I2,S\r\n30,1e-05,1.5E2,2e1,1e3\r\n31,1,2.5e-3,1,x\r\n32,1,1,4e4,x\r\n"
            "33,1,1,1,〜−\r\n");  // as Linux input methods type them: 932 holds their forms
  Outcome exponents = Zelko({"load", numbers, "ALLTYPES", numbers + "/exp.csv"});
  EXPECT_EQ(exponents.out, "inserted 2, updated 0, rejected 2\n") << exponents.err;
  EXPECT_NE(exponents.err.find("exp.csv:3: rejected: field DEC: \"0.0025\" has more than 2"),
            std::string::npos)
      << exponents.err;
  Outcome thirty = Zelko({"dump", numbers, "ALLTYPES", "--format", "jsonl"});
  EXPECT_NE(thirty.out.find("\"S\":\"1e3\",\"I1\":\"0\",\"I2\":\"20\""), std::string::npos)
      << thirty.out;
  EXPECT_NE(thirty.out.find("\"F8\":\"0.00001000000000\""), std::string::npos) << thirty.out;
  EXPECT_NE(thirty.out.find("\"DEC\":\"150\""), std::string::npos) << thirty.out;
  EXPECT_NE(thirty.out.find("\"ID\":\"33\",\"S\":\"～－\""), std::string::npos) << thirty.out;
  // --stop-on-error keeps what came before the first rejection and nothing after.
  WriteFile(dir + "/in.csv", "ID,S\r\n20,a\r\n21,a\r\n1,dup\r\n22,never\r\n");
  run = Zelko({"load", dir, "ALLTYPES", dir + "/in.csv", "--stop-on-error", "--batch", "2"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "inserted 2, updated 0, rejected 1\n");
  EXPECT_EQ(RecordCount(dir), 4);
  // A directory without a dictionary, an unknown table, a bad option.
  Outcome missing = Zelko({"dump", NewDir("empty"), "ALLTYPES"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("cannot read a dictionary"), std::string::npos);
  // A directory a server keeps need not exist here: its server is what cannot be read.
  std::string config = NewDir("server-config");
  WriteFile(config + "/zelko.ini",
            "[servers]\n" + config + "/kept = host=" + config + "/none connect_timeout=2\n");
  int rc = std::system(("ZELKO_CONFIG_DIR=" + config + " " + ZELKO_ZELKO_BINARY + " tables " +
                        config + "/kept 2>" + config + "/err.txt")
                           .c_str());
  EXPECT_EQ(WEXITSTATUS(rc), 1);
  EXPECT_NE(zelko_testing::ReadFile(config + "/err.txt")
                .find("from the server zelko.ini [servers] names for it"),
            std::string::npos)
      << zelko_testing::ReadFile(config + "/err.txt");
  // Entries that name no server are said: the files of their directories stay on this disk.
  WriteFile(config + "/zelko.ini", "[servers]\nsrv/shop = host=db1\n/srv/empty =\n");
  rc = std::system(("ZELKO_CONFIG_DIR=" + config + " " + ZELKO_ZELKO_BINARY + " tables " + dir +
                    " >/dev/null 2>" + config + "/err.txt")
                       .c_str());
  EXPECT_EQ(WEXITSTATUS(rc), 0);
  EXPECT_EQ(zelko_testing::ReadFile(config + "/err.txt"),
            "zelko: zelko.ini [servers]: \"srv/shop\" is no absolute directory, so it names no "
            "server\n"
            "zelko: zelko.ini [servers]: \"/srv/empty\" has no connection string, so it names no "
            "server\n");
  EXPECT_EQ(Zelko({"fields", dir, "NOSUCH"}).status, 1);
  EXPECT_EQ(Zelko({"dump", dir, "ALLTYPES", "--format", "xml"}).status, 2);
  EXPECT_EQ(Zelko({"dump", dir, "ALLTYPES", "--bogus"}).status, 2);
  EXPECT_EQ(Zelko({"frobnicate"}).status, 2);
}

TEST(Zelko, UpdateByKeyKeepsFieldsTheFileDoesNotName) {
  RecordMessages messages;
  std::string dir = AllTypesDictionary("update");
  WriteFile(dir + "/a.csv", "ID,S,I2,NOTE\r\n1,one,10,first note\r\n2,two,20,\r\n");
  ASSERT_EQ(Zelko({"load", dir, "ALLTYPES", dir + "/a.csv"}).status, 0);
  WriteFile(dir + "/b.csv", "I2,ID\r\n11,1\r\n30,3\r\n");
  Outcome run = Zelko({"load", dir, "ALLTYPES", dir + "/b.csv", "--update-by", "0"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "inserted 1, updated 1, rejected 0\n");
  Outcome dump = Zelko({"dump", dir, "ALLTYPES", "--key", "0", "--format", "tsv"});
  std::istringstream lines(dump.out);
  std::string header, one, two, three;
  std::getline(lines, header);
  std::getline(lines, one);
  std::getline(lines, two);
  std::getline(lines, three);
  EXPECT_EQ(one.substr(0, 11), "1\tone\t0\t11\t");
  EXPECT_EQ(one.substr(one.rfind('\t')), "\tfirst note");
  EXPECT_EQ(two.substr(0, 11), "2\ttwo\t0\t20\t");
  EXPECT_EQ(three.substr(0, 8), "3\t\t0\t30\t");
  // The key's fields must be in the file, and the key must be unique: a value of a key with
  // duplicates may stand for several records, and only the first was updated.
  WriteFile(dir + "/c.csv", "I2\r\n5\r\n");
  EXPECT_EQ(Zelko({"load", dir, "ALLTYPES", dir + "/c.csv", "--update-by", "0"}).status, 1);
  WriteFile(dir + "/d.csv", "S,I2\r\none,5\r\n");
  run = Zelko({"load", dir, "ALLTYPES", dir + "/d.csv", "--update-by", "BYS"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "zelko load: key BYS allows duplicate values; --update-by needs a unique key\n");
  EXPECT_EQ(RecordCount(dir), 3);
}

// A null key has no entry for a record holding its null value: a dump along it says how
// many records it left out instead of passing for the whole table, and a load that updates
// by it refuses such rows instead of inserting them beside the records that hold the value.
TEST(Zelko, RecordsOutsideANullKeyAreNeitherLeftOutUnsaidNorDuplicated) {
  RecordMessages messages;
  std::string dir = NewDir("nullkey");
  TableDef t{10,
             "CODES",
             "CODES.DAT",
             {{"ID", kInteger, 4}, {"CODE", kInteger, 2}},
             {{"ID", 0, 0, 0x100}, {"CODE", 1, 0, 0x10A}},
             {{"BYCODE", 1}}};
  ASSERT_EQ(WriteDictionary(dir, {t}), 0);
  ASSERT_EQ(Zelko({"create", dir, "CODES"}).status, 0);
  WriteFile(dir + "/in.csv", "ID,CODE\r\n1,5\r\n2,0\r\n3,7\r\n4,0\r\n");
  ASSERT_EQ(Zelko({"load", dir, "CODES", dir + "/in.csv"}).status, 0);
  Outcome along = Zelko({"dump", dir, "CODES", "--key", "BYCODE"});
  EXPECT_EQ(along.status, 0);
  EXPECT_EQ(along.out, "ID,CODE\r\n1,5\r\n3,7\r\n");
  EXPECT_EQ(along.err,
            "zelko dump: key BYCODE holds 2 of the 4 records; the others hold its null value and "
            "have no place in its order (without --key, dump reads every record)\n");
  Outcome where = Zelko({"dump", dir, "CODES", "--key", "BYCODE", "--where", "@ID > 1"});
  EXPECT_EQ(where.out, "ID,CODE\r\n3,7\r\n");
  EXPECT_NE(where.err.find("so the condition was not tested on them"), std::string::npos);
  WriteFile(dir + "/update.csv", "ID,CODE\r\n5,0\r\n3,7\r\n");
  Outcome update = Zelko({"load", dir, "CODES", dir + "/update.csv", "--update-by", "BYCODE"});
  EXPECT_EQ(update.out, "inserted 0, updated 1, rejected 1\n");
  EXPECT_NE(update.err.find("update.csv:2: rejected: the key's fields hold its null value"),
            std::string::npos)
      << update.err;
  EXPECT_EQ(RecordCount(dir, "CODES"), 4);
  // Nothing to say when the key holds every record, or along a key that cannot leave any out.
  EXPECT_EQ(Zelko({"dump", dir, "CODES", "--key", "0"}).err, "");
  WriteFile(dir + "/fill.csv", "ID,CODE\r\n2,1\r\n4,2\r\n");
  ASSERT_EQ(Zelko({"load", dir, "CODES", dir + "/fill.csv", "--update-by", "0"}).status, 0);
  Outcome whole = Zelko({"dump", dir, "CODES", "--key", "BYCODE"});
  EXPECT_EQ(whole.err, "");
  EXPECT_EQ(whole.out, "ID,CODE\r\n2,1\r\n4,2\r\n1,5\r\n3,7\r\n");
}

TEST(Zelko, StatAndCheckCompareTheFileWithTheDictionary) {
  RecordMessages messages;
  std::string dir = AllTypesDictionary("stat");
  Outcome stat = Zelko({"stat", dir, "alltypes"});
  EXPECT_EQ(stat.status, 0) << stat.err;
  EXPECT_NE(stat.out.find("matches the dictionary"), std::string::npos) << stat.out;
  EXPECT_EQ(Zelko({"check", dir}).out, "ALLTYPES: ok\n");
  Outcome again = Zelko({"create", dir, "ALLTYPES"});
  EXPECT_EQ(again.status, 1);
  EXPECT_NE(again.err.find("exists"), std::string::npos);

  // The same file under a dictionary that says otherwise.
  std::string name = zplatform::FromUtf8("名前");
  TableDef other{
      10, "ALLTYPES", "ALL.DAT", {{"ID", kInteger, 4}, {name, kString, 10}}, {{name, 0, 0, 0}}, {}};
  ASSERT_EQ(WriteDictionary(dir, {other}), 0);
  // Columns line up under names of wide characters (two columns each).
  EXPECT_NE(Zelko({"keys", dir, "ALLTYPES"}).out.find("\n  名前" + std::string(16, ' ') + "String"),
            std::string::npos);
  stat = Zelko({"stat", dir, "ALLTYPES"});
  EXPECT_EQ(stat.status, 1);
  EXPECT_NE(stat.out.find("record length 81, the dictionary says 14"), std::string::npos)
      << stat.out;
  EXPECT_NE(stat.out.find("2 keys, the dictionary says 1"), std::string::npos) << stat.out;
  Outcome check = Zelko({"check", dir});
  EXPECT_EQ(check.status, 1);
  EXPECT_NE(check.out.find("ALLTYPES: "), std::string::npos);
  EXPECT_EQ(Zelko({"create", dir, "--all", "--replace"}).status, 0);
  EXPECT_EQ(Zelko({"check", dir}).status, 0);
  // A fixed-length file narrower than its table is not opened, and the reason is told.
  TableDef wider{
      10, "ALLTYPES", "ALL.DAT", {{"ID", kInteger, 4}, {"S", kString, 20}}, {{"S", 0, 0, 0}}, {}};
  ASSERT_EQ(WriteDictionary(dir, {wider}), 0);
  Outcome dump = Zelko({"dump", dir, "ALLTYPES"});
  EXPECT_EQ(dump.status, 1);
  EXPECT_NE(dump.err.find("record length is not the dictionary's"), std::string::npos) << dump.err;
}

TEST(Zelko, ProgramHelpAndExitStatus) {
  std::string out = Zelko({"--help"}).out;
  EXPECT_EQ(Zelko({"--version"}).out, "zelko 3.0.0\n");
  EXPECT_EQ(Zelko({"version"}).out, "zelko 3.0.0\n");
  for (const char *c : {"tables", "fields", "keys", "stat", "create", "check", "dump", "load"}) {
    EXPECT_NE(out.find(std::string("zelko ") + c), std::string::npos) << c;
    Outcome help = Zelko({c, "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind(std::string("usage: zelko ") + c, 0), 0u) << c;
  }
  // The real program: exit statuses and output through a pipe.
  std::string command =
      std::string(ZELKO_ZELKO_BINARY) + " tables " + NewDir("nodict") + " 2>/dev/null";
  EXPECT_EQ(WEXITSTATUS(std::system(command.c_str())), 1);
  command = std::string(ZELKO_ZELKO_BINARY) + " load 2>/dev/null";
  EXPECT_EQ(WEXITSTATUS(std::system(command.c_str())), 2);
  command = std::string(ZELKO_ZELKO_BINARY) + " version >/dev/full 2>/dev/null";
  EXPECT_EQ(WEXITSTATUS(std::system(command.c_str())), 1);
  // The locale picks the messages' language: English when asked, the system's own otherwise.
  std::string dir = AllTypesDictionary("locale");
  std::string where = std::string(ZELKO_ZELKO_BINARY) + " dump " + dir +
                      " ALLTYPES --where '@NOPE = 1' 2>&1 >/dev/null";
  auto run = [](const std::string &command) {
    int status = 0;
    return zelko_testing::RunShell(command, &status);
  };
  EXPECT_NE(run("LC_ALL=en_US.UTF-8 " + where)
                .find("VE818 The field (NOPE) given to the extended operation does not exist."),
            std::string::npos);
  EXPECT_NE(run("LC_ALL=C LANGUAGE=en " + where)
                .find("VE818 Extendedオペレーションで指定されたフィールド(NOPE)が存在しません。"),
            std::string::npos);
  // Standard input is kept in TMPDIR while it is read twice, and the copy goes afterwards.
  std::string spool = NewDir("spool");
  WriteFile(dir + "/one.csv", "S\npiped\n");
  std::string load =
      std::string(ZELKO_ZELKO_BINARY) + " load " + dir + " ALLTYPES - <" + dir + "/one.csv 2>&1";
  EXPECT_EQ(run("TMPDIR=" + spool + " " + load), "inserted 1, updated 0, rejected 0\n");
  EXPECT_TRUE(std::filesystem::is_empty(spool));
  EXPECT_EQ(run("TMPDIR=" + spool + "/none " + load),
            "zelko: cannot keep standard input in a temporary file in " + spool + "/none\n");
  // So is a pipe named on the command line: opened again, it had nothing left (a process
  // substitution loaded no row and said so as a success) or waited for a writer forever.
  std::string fifo = dir + "/rows.fifo";
  std::string from_fifo = "mkfifo " + fifo + " && (printf 'ID,S\\n7,fifo\\n' >" + fifo + " &) && " +
                          ZELKO_ZELKO_BINARY + " load " + dir + " ALLTYPES " + fifo + " 2>&1";
  EXPECT_EQ(run("TMPDIR=" + spool + " timeout 60 sh -c \"" + from_fifo + "\""),
            "inserted 1, updated 0, rejected 0\n");
  EXPECT_TRUE(std::filesystem::is_empty(spool));
  // Empty input is said to be empty; a directory or a missing file cannot be read, and why.
  EXPECT_EQ(run(std::string(ZELKO_ZELKO_BINARY) + " load " + dir + " ALLTYPES - </dev/null 2>&1"),
            "-:1: no header row\n");
  EXPECT_EQ(run(std::string(ZELKO_ZELKO_BINARY) + " load " + dir + " ALLTYPES " + spool + " 2>&1"),
            "zelko: cannot read " + spool + ": it is a directory\n");
  std::string no_file =
      run(std::string(ZELKO_ZELKO_BINARY) + " load " + dir + " ALLTYPES " + spool + "/no.csv 2>&1");
  EXPECT_EQ(no_file, "zelko: cannot read " + spool + "/no.csv: " + std::strerror(ENOENT) + "\n");
}

}  // namespace
}  // namespace zelkocli
