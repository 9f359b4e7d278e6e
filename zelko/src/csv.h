// Delimited text in and out: CSV as RFC 4180 (quotes doubled, fields with separators, quotes
// or line breaks quoted; CR LF or LF between records), TSV with backslash escapes, and JSON
// string quoting for JSON Lines.
#pragma once

#include <cstddef>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

namespace zelkocli {

// The most text one record (a CSV record, a TSV or JSON line) may take when it is read from a
// stream: far more than any record of a data file gives (65,535 bytes of fields), so only a
// broken file (a quote never closed, a file of one line) reaches it, and reading such a file
// never takes memory without end.
constexpr size_t kLongestRecordText = size_t{16} << 20;
// What a reader says of a record that passes it.
constexpr const char *kRecordTooLong =
    "a record of more than 16 MiB of text (a quote that is never closed, a line that never "
    "ends?)";

// Reads records from a text held in memory, or from a stream read a piece at a time (only
// the record being read is kept).
class CsvReader {
 public:
  explicit CsvReader(std::string_view text);
  explicit CsvReader(std::istream &in);
  enum class Result { kRecord, kEnd, kMalformed };
  // The next record. On kMalformed `Error()` says why and `Line()` where.
  Result Next(std::vector<std::string> *fields);
  // Line (1-based) where the last record read starts, or where the fault is.
  size_t Line() const { return record_line_; }
  const std::string &Error() const { return error_; }
  // False when the stream failed while it was read.
  bool ReadOk() const { return read_ok_; }

 private:
  // True when at least `n` bytes lie at `at_` or beyond, reading more of a stream if needed.
  bool Has(size_t n) { return at_ + n <= text_.size() || ReadMore(n); }
  bool ReadMore(size_t n);
  char At(size_t offset) const { return text_[at_ + offset]; }

  std::istream *in_ = nullptr;
  std::string buffer_;       // a stream's unread part
  size_t record_start_ = 0;  // where the record being read starts in text_
  bool too_long_ = false;    // it passed kLongestRecordText
  std::string_view text_;
  size_t at_ = 0;
  size_t line_ = 1;
  size_t record_line_ = 1;
  bool read_ok_ = true;
  std::string error_;
};

// Appends one record (with its line end, "\r\n" for CSV as the RFC says, "\n" for TSV).
void AppendCsvRecord(const std::vector<std::string> &fields, std::string *out);
void AppendTsvRecord(const std::vector<std::string> &fields, std::string *out);
// Appends `s` as a JSON string (quoted, escaped).
void AppendJsonString(std::string_view s, std::string *out);

}  // namespace zelkocli
