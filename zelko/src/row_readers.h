// Rows of a file that load reads: CSV, TSV or JSON Lines, as dump writes them. Each reader
// gives the header (the field names) first, then one row of texts at a time.
#pragma once

#include <istream>
#include <memory>
#include <string>
#include <vector>

namespace zelkocli {

enum class TextFormat { kCsv, kTsv, kJsonl };

// "csv", "tsv", "jsonl" (also "ndjson"); false for anything else.
bool ParseTextFormat(const std::string &name, TextFormat *format);
// The format a file name suggests (.tsv, .jsonl, .ndjson); CSV otherwise.
TextFormat FormatOfFileName(const std::string &path);

class RowReader {
 public:
  enum class Result { kRow, kEnd, kMalformed };
  virtual ~RowReader() = default;
  // The header on the first call, then the rows. On kMalformed `Error()` says why and
  // `Line()` where.
  virtual Result Next(std::vector<std::string> *row) = 0;
  // Line (1-based) where the last row read starts.
  virtual size_t Line() const = 0;
  virtual const std::string &Error() const = 0;
  // False when the stream failed while it was read.
  virtual bool ReadOk() const = 0;
};

std::unique_ptr<RowReader> MakeRowReader(TextFormat format, std::istream &in);

// One JSON Lines object's values as texts, in the order of its keys: strings as they are,
// numbers as written, true and false as "1" and "0", null as "". Exposed for tests.
bool ParseJsonObject(const std::string &line, std::vector<std::string> *keys,
                     std::vector<std::string> *values, std::string *error);

}  // namespace zelkocli
