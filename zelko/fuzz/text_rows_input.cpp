#include "text_rows_input.h"

#include <sstream>
#include <string>
#include <vector>

#include "csv.h"
#include "row_readers.h"

namespace {

using zelkocli::RowReader;
using zelkocli::TextFormat;
using Rows = std::vector<std::vector<std::string>>;

// Every row `text` holds in `format`, up to the first malformed one.
Rows ReadAll(TextFormat format, const std::string &text) {
  std::istringstream in(text);
  auto reader = zelkocli::MakeRowReader(format, in);
  Rows rows;
  std::vector<std::string> row;
  while (rows.size() < 5000 && reader->Next(&row) == RowReader::Result::kRow)
    rows.push_back(row);
  return rows;
}

// A JSON Lines object of `row` under the keys c0, c1 ...
std::string JsonLine(const std::vector<std::string> &row) {
  std::string line = "{";
  for (size_t i = 0; i < row.size(); ++i) {
    if (i > 0) line += ",";
    zelkocli::AppendJsonString("c" + std::to_string(i), &line);
    line += ":";
    zelkocli::AppendJsonString(row[i], &line);
  }
  return line + "}\n";
}

void RequireSame(const Rows &written, const Rows &read) {
  if (read != written) __builtin_trap();
}

}  // namespace

int RunTextRowsFuzzInput(const uint8_t *data, size_t size) {
  if (size == 0) return 0;
  const auto format = static_cast<TextFormat>(data[0] % 3);
  Rows rows = ReadAll(format, std::string(reinterpret_cast<const char *>(data) + 1, size - 1));
  // A row of no values ("{}") has no text of its own; every table has a field.
  std::erase_if(rows, [](const std::vector<std::string> &row) { return row.empty(); });
  if (rows.empty()) return 0;

  // Written as dump writes them, after a header (a byte order mark opens only a file).
  const std::vector<std::string> header = {"header"};
  Rows expected = {header};
  expected.insert(expected.end(), rows.begin(), rows.end());
  std::string csv, tsv;
  for (const auto &row : expected) {
    zelkocli::AppendCsvRecord(row, &csv);
    zelkocli::AppendTsvRecord(row, &tsv);
  }
  RequireSame(expected, ReadAll(TextFormat::kCsv, csv));
  RequireSame(expected, ReadAll(TextFormat::kTsv, tsv));

  // JSON Lines: the first object's keys are the header, so every row has its width.
  const size_t width = rows[0].size();
  std::vector<std::string> keys;
  for (size_t i = 0; i < width; ++i)
    keys.push_back("c" + std::to_string(i));
  Rows json_expected = {keys};
  std::string jsonl;
  for (const auto &row : rows) {
    if (row.size() != width) continue;
    json_expected.push_back(row);
    jsonl += JsonLine(row);
  }
  RequireSame(json_expected, ReadAll(TextFormat::kJsonl, jsonl));
  return 0;
}
