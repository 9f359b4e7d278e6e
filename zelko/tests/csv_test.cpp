#include "csv.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "row_readers.h"
#include "text_rows_input.h"

namespace zelkocli {
namespace {

std::vector<std::vector<std::string>> ReadAll(const std::string &text,
                                              std::vector<size_t> *lines = nullptr) {
  CsvReader reader(text);
  std::vector<std::vector<std::string>> rows;
  std::vector<std::string> row;
  CsvReader::Result r;
  while ((r = reader.Next(&row)) == CsvReader::Result::kRecord) {
    rows.push_back(row);
    if (lines) lines->push_back(reader.Line());
  }
  EXPECT_EQ(r, CsvReader::Result::kEnd) << reader.Error();
  return rows;
}

// Every row of a text read as a stream of `format`; a failure to reach its end fails the
// test.
std::vector<std::vector<std::string>> ReadRows(TextFormat format, const std::string &text) {
  std::istringstream in(text);
  std::unique_ptr<RowReader> reader = MakeRowReader(format, in);
  std::vector<std::vector<std::string>> read;
  std::vector<std::string> row;
  RowReader::Result r;
  while ((r = reader->Next(&row)) == RowReader::Result::kRow)
    read.push_back(row);
  EXPECT_EQ(r, RowReader::Result::kEnd) << static_cast<int>(format) << reader->Error();
  return read;
}

TEST(Csv, ReadsQuotesLineBreaksAndBothLineEnds) {
  std::vector<size_t> lines;
  auto rows = ReadAll(
      "\xEF\xBB\xBF"
      "a,b,c\r\n\"x,1\",\"say \"\"hi\"\"\",\"two\r\nlines\"\r\n,,\nlast,\"\",z",
      &lines);
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(rows[1], (std::vector<std::string>{"x,1", "say \"hi\"", "two\r\nlines"}));
  EXPECT_EQ(rows[2], (std::vector<std::string>{"", "", ""}));
  EXPECT_EQ(rows[3], (std::vector<std::string>{"last", "", "z"}));
  EXPECT_EQ(lines, (std::vector<size_t>{1, 2, 4, 5}));
  // A record with fewer fields than the one before gives only its own.
  rows = ReadAll("a longer first field than fits inline,b,c\nd\n\"q\",\ne");
  EXPECT_EQ(rows,
            (std::vector<std::vector<std::string>>{
                {"a longer first field than fits inline", "b", "c"}, {"d"}, {"q", ""}, {"e"}}));
}

// JSON numbers written with an exponent (as many programs write small and large floats) are
// read as the same number in the notation the conversions take, digit for digit.
TEST(Csv, JsonNumbersWithAnExponentReadAsTheSameNumber) {
  auto rows = ReadRows(TextFormat::kJsonl,
                       "{\"a\":1.5e3,\"b\":1e-05,\"c\":-2.50E+1,\"d\":0.0001e4,\"e\":7e0}\n"
                       "{\"a\":123e-5,\"b\":-0.5e-1,\"c\":1E2,\"d\":100e-2,\"e\":1e99999}\n");
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[1], (std::vector<std::string>{"1500", "0.00001", "-25", "1", "7"}));
  // Past any field's reach the text stays as written, for the value's check to refuse.
  EXPECT_EQ(rows[2], (std::vector<std::string>{"0.00123", "-0.05", "100", "1", "1e99999"}));
  std::istringstream cut("{\"a\":1e}\n");
  std::unique_ptr<RowReader> reader = MakeRowReader(TextFormat::kJsonl, cut);
  std::vector<std::string> row;
  EXPECT_EQ(reader->Next(&row), RowReader::Result::kMalformed);
  EXPECT_NE(reader->Error().find("a number ends in its exponent"), std::string::npos);
}

TEST(Csv, MalformedTextSaysWhereAndWhy) {
  struct Case {
    const char *text;
    size_t line;
  } cases[] = {{"a,b\n\"open,c\n\nmore", 2}, {"a\nx\"y\n", 2}, {"a,b\n1,\"2\"3\n", 2}};
  for (const Case &c : cases) {
    CsvReader reader(c.text);
    std::vector<std::string> row;
    CsvReader::Result r;
    while ((r = reader.Next(&row)) == CsvReader::Result::kRecord) {
    }
    EXPECT_EQ(r, CsvReader::Result::kMalformed) << c.text;
    EXPECT_EQ(reader.Line(), c.line) << c.text;
    EXPECT_FALSE(reader.Error().empty());
  }
}

// A stream is read a piece at a time: records and faults come out as from the whole text,
// also where a record (a quoted line break, a CR LF) straddles the end of a piece.
TEST(Csv, StreamsReadAsTheWholeText) {
  std::string big =
      "\xEF\xBB\xBF"
      "id,text\r\n";
  for (int i = 0; big.size() < 300000; ++i) {
    big += std::to_string(i) + ",\"quoted, \"\"with\"\"\r\nbreak " + std::to_string(i) + "\"\r\n" +
           std::to_string(i) + ",plain" + std::string(i % 97, 'x') + "\n";
  }
  auto whole = ReadAll(big);
  for (const std::string &text : {big, big + "1,\"open\n", std::string("a\r")}) {
    std::istringstream in(text);
    CsvReader streamed(in), held(text);
    std::vector<std::string> a, b;
    CsvReader::Result ra, rb;
    size_t records = 0;
    do {
      ra = streamed.Next(&a);
      rb = held.Next(&b);
      ASSERT_EQ(ra, rb) << records;
      ASSERT_EQ(a, b) << records;
      ASSERT_EQ(streamed.Line(), held.Line()) << records;
      ++records;
    } while (ra == CsvReader::Result::kRecord);
    EXPECT_TRUE(streamed.ReadOk());
  }
  EXPECT_GT(whole.size(), 4000u);
}

TEST(Csv, WritersRoundTripAndEscape) {
  std::vector<std::string> fields = {"plain", "a,b", "q\"q", "line\nbreak", "", " pad "};
  std::string csv;
  AppendCsvRecord(fields, &csv);
  EXPECT_EQ(csv, "plain,\"a,b\",\"q\"\"q\",\"line\nbreak\",,\" pad \"\r\n");
  EXPECT_EQ(ReadAll(csv)[0], fields);
  std::string tsv;
  AppendTsvRecord({"a\tb", "c\\d", "e\r\nf"}, &tsv);
  EXPECT_EQ(tsv, "a\\tb\tc\\\\d\te\\r\\nf\n");
  std::string json;
  AppendJsonString("\"\\\n\x01東", &json);
  EXPECT_EQ(json, "\"\\\"\\\\\\n\\u0001東\"");
}

// What dump writes, load reads back unchanged: random rows of the bytes that need quoting or
// escaping in some format, through the writers and the readers load uses.
TEST(Csv, EveryFormatReadsBackWhatItsWriterWrote) {
  const std::vector<std::string> pieces = {",", "\"", "\r",   "\n",   "\r\n", "\t", "\\", " ",  "a",
                                           "é", "東", "\x01", "\x7f", "{",    "}",  ":",  "\\u"};
  std::mt19937 rng(20261207);
  auto value = [&] {
    std::string v;
    for (size_t n = rng() % 6; n > 0; --n)
      v += pieces[rng() % pieces.size()];
    return v;
  };
  for (int round = 0; round < 300; ++round) {
    size_t columns = 1 + rng() % 4;
    std::vector<std::vector<std::string>> rows(1 + rng() % 4);
    for (auto &row : rows) {
      for (size_t c = 0; c < columns; ++c)
        row.push_back(value());
    }
    std::vector<std::string> names;
    for (size_t c = 0; c < columns; ++c)
      names.push_back("F" + std::to_string(c));
    for (TextFormat format : {TextFormat::kCsv, TextFormat::kTsv, TextFormat::kJsonl}) {
      std::string text;
      if (format == TextFormat::kCsv) AppendCsvRecord(names, &text);
      if (format == TextFormat::kTsv) AppendTsvRecord(names, &text);
      for (const auto &row : rows) {
        if (format == TextFormat::kCsv) AppendCsvRecord(row, &text);
        if (format == TextFormat::kTsv) AppendTsvRecord(row, &text);
        if (format == TextFormat::kJsonl) {
          text.push_back('{');
          for (size_t c = 0; c < columns; ++c) {
            if (c > 0) text.push_back(',');
            AppendJsonString(names[c], &text);
            text.push_back(':');
            AppendJsonString(row[c], &text);
          }
          text.append("}\n");
        }
      }
      std::vector<std::vector<std::string>> read = ReadRows(format, text);
      ASSERT_FALSE(read.empty()) << static_cast<int>(format);
      EXPECT_EQ(read[0], names);
      read.erase(read.begin());
      EXPECT_EQ(read, rows) << "format " << static_cast<int>(format) << ":\n" << text;
    }
  }
}

// Long values read whole, across the pieces a stream is read in; a record past the limit (a
// quote never closed, a file of one line) is refused where it starts, without holding it.
TEST(Csv, LongRecordsReadWholeAndEndlessOnesAreRefused) {
  const std::string wide(200000, 'w');
  for (TextFormat format : {TextFormat::kCsv, TextFormat::kTsv}) {
    const char *separator = format == TextFormat::kCsv ? "," : "\t";
    // Lines of 65,535 and 65,536 bytes meet the edge of a 64 KiB piece.
    std::string text = std::string("A") + separator + "B\n" + std::string(65533, 'x') + separator +
                       "y\n" + std::string(65534, 'x') + separator + "y\n" + wide + separator +
                       "z\n" + "1" + separator + "2";
    std::vector<std::vector<std::string>> read = ReadRows(format, text);
    ASSERT_EQ(read.size(), 5u);
    EXPECT_EQ(read[1][0].size(), 65533u);
    EXPECT_EQ(read[2][0].size(), 65534u);
    EXPECT_EQ(read[3], (std::vector<std::string>{wide, "z"}));
    EXPECT_EQ(read[4], (std::vector<std::string>{"1", "2"}));

    std::string endless = std::string("A") + separator + "B\n1" + separator + "2\n" +
                          (format == TextFormat::kCsv ? "\"" : "") +
                          std::string(kLongestRecordText + 10, 'q') + "\n3" + separator + "4\n";
    std::istringstream broken(endless);
    std::unique_ptr<RowReader> reader = MakeRowReader(format, broken);
    std::vector<std::string> row;
    ASSERT_EQ(reader->Next(&row), RowReader::Result::kRow);
    ASSERT_EQ(reader->Next(&row), RowReader::Result::kRow);
    EXPECT_EQ(reader->Next(&row), RowReader::Result::kMalformed);
    EXPECT_EQ(reader->Error(), kRecordTooLong);
    EXPECT_EQ(reader->Line(), 3u);
  }
}

// The fuzz target's deterministic corpus: texts of any of the three formats, damaged ones
// included, read and their rows written back and read again.
TEST(Csv, FuzzInputsReadSafelyAndTheirRowsReadBackAsWritten) {
  // Format byte (0 CSV, 1 TSV, 2 JSON Lines), then the text.
  for (std::string input :
       {std::string("\x02{}\n{"), std::string("\x00\xEF\xBB\xBF\"a\"\"b\"\r\nc"),
        std::string("\x01a\\tb\tc\\\n"), std::string("\x02{\"a\":\"\\u00e9\"}\n")})
    RunTextRowsFuzzInput(reinterpret_cast<const uint8_t *>(input.data()), input.size());
  const std::string pieces[] = {",", "\"", "\r", "\n", "\t",          "\\",
                                "{", "}",  ":",  "a",  "\xEF\xBB\xBF"};
  std::mt19937 rng(1208);
  for (int i = 0; i < 300; ++i) {
    std::string input(1, static_cast<char>(rng() % 3));
    for (size_t n = rng() % 40; n > 0; --n)
      input += pieces[rng() % std::size(pieces)];
    RunTextRowsFuzzInput(reinterpret_cast<const uint8_t *>(input.data()), input.size());
  }
}

}  // namespace
}  // namespace zelkocli
