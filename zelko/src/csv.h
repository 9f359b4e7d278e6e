// Delimited text in and out: CSV as RFC 4180 (quotes doubled, fields with separators, quotes
// or line breaks quoted; CR LF or LF between records), TSV with backslash escapes, and JSON
// string quoting for JSON Lines.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace zelkocli {

// Reads records from a text held in memory.
class CsvReader {
 public:
  explicit CsvReader(std::string_view text);
  enum class Result { kRecord, kEnd, kMalformed };
  // The next record. On kMalformed `Error()` says why and `Line()` where.
  Result Next(std::vector<std::string> *fields);
  // Line (1-based) where the last record read starts, or where the fault is.
  size_t Line() const { return record_line_; }
  const std::string &Error() const { return error_; }

 private:
  std::string_view text_;
  size_t at_ = 0;
  size_t line_ = 1;
  size_t record_line_ = 1;
  std::string error_;
};

// Appends one record (with its line end, "\r\n" for CSV as the RFC says, "\n" for TSV).
void AppendCsvRecord(const std::vector<std::string> &fields, std::string *out);
void AppendTsvRecord(const std::vector<std::string> &fields, std::string *out);
// Appends `s` as a JSON string (quoted, escaped).
void AppendJsonString(std::string_view s, std::string *out);

}  // namespace zelkocli
