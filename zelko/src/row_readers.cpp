#include "row_readers.h"

#include <algorithm>

#include "csv.h"
#include "number_text.h"
#include "zplatform/codepage.h"

namespace zelkocli {

bool ParseTextFormat(const std::string &name, TextFormat *format) {
  if (name == "csv") {
    *format = TextFormat::kCsv;
  } else if (name == "tsv") {
    *format = TextFormat::kTsv;
  } else if (name == "jsonl" || name == "ndjson") {
    *format = TextFormat::kJsonl;
  } else {
    return false;
  }
  return true;
}

TextFormat FormatOfFileName(const std::string &path) {
  auto ends_with = [&](const char *suffix) {
    std::string s = suffix;
    if (path.size() < s.size()) return false;
    std::string tail = path.substr(path.size() - s.size());
    std::transform(tail.begin(), tail.end(), tail.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return tail == s;
  };
  if (ends_with(".tsv")) return TextFormat::kTsv;
  if (ends_with(".jsonl") || ends_with(".ndjson")) return TextFormat::kJsonl;
  return TextFormat::kCsv;
}

namespace {

class CsvRows : public RowReader {
 public:
  explicit CsvRows(std::istream &in) : reader_(in) {}
  Result Next(std::vector<std::string> *row) override {
    switch (reader_.Next(row)) {
      case CsvReader::Result::kRecord:
        return Result::kRow;
      case CsvReader::Result::kEnd:
        return Result::kEnd;
      default:
        return Result::kMalformed;
    }
  }
  size_t Line() const override { return reader_.Line(); }
  const std::string &Error() const override { return reader_.Error(); }
  bool ReadOk() const override { return reader_.ReadOk(); }

 private:
  CsvReader reader_;
};

// Reads lines; a CR before the LF (a file edited on Windows) is not part of the line, a CR
// in a value is always escaped by dump.
class LineRows : public RowReader {
 public:
  explicit LineRows(std::istream &in) : in_(in) {}
  size_t Line() const override { return line_; }
  const std::string &Error() const override { return error_; }
  bool ReadOk() const override { return !in_.bad(); }

 protected:
  // The next line: kRow, kEnd, or kMalformed for a line past kLongestRecordText.
  Result NextLine(std::string *line) {
    // Read in pieces, as std::getline would hold a line of any length.
    line->clear();
    char piece[1 << 16];
    bool any = false;
    while (true) {
      in_.getline(piece, sizeof piece);
      auto got = static_cast<size_t>(in_.gcount());
      bool cut = in_.fail() && !in_.eof() && got == sizeof piece - 1;  // the piece is full
      any = any || got > 0;
      line->append(piece, cut || in_.eof() ? got : got - (got > 0 ? 1 : 0));
      if (line->size() > kLongestRecordText) {
        ++line_;
        return Malformed(kRecordTooLong);
      }
      if (!cut) break;
      in_.clear(in_.rdstate() & ~std::ios::failbit);
    }
    if (!any) return Result::kEnd;
    ++line_;
    if (line_ == 1 && line->compare(0, 3, "\xEF\xBB\xBF") == 0) line->erase(0, 3);
    if (!line->empty() && line->back() == '\r') line->pop_back();
    return Result::kRow;
  }
  Result Malformed(std::string why) {
    error_ = std::move(why);
    return Result::kMalformed;
  }

 private:
  std::istream &in_;
  size_t line_ = 0;
  std::string error_;
};

class TsvRows : public LineRows {
 public:
  using LineRows::LineRows;
  Result Next(std::vector<std::string> *row) override {
    row->clear();
    std::string line;
    if (Result r = NextLine(&line); r != Result::kRow) return r;
    row->emplace_back();
    for (size_t i = 0; i < line.size(); ++i) {
      char c = line[i];
      if (c == '\t') {
        row->emplace_back();
      } else if (c != '\\') {
        row->back().push_back(c);
      } else if (i + 1 < line.size()) {
        char e = line[++i];
        if (e == 't') {
          row->back().push_back('\t');
        } else if (e == 'n') {
          row->back().push_back('\n');
        } else if (e == 'r') {
          row->back().push_back('\r');
        } else if (e == '\\') {
          row->back().push_back('\\');
        } else {
          return Malformed(std::string("unknown escape \\") + e);
        }
      } else {
        return Malformed("a backslash ends the line");
      }
    }
    return Result::kRow;
  }
};

class JsonlRows : public LineRows {
 public:
  using LineRows::LineRows;
  Result Next(std::vector<std::string> *row) override {
    row->clear();
    if (held_) {
      held_ = false;
      *row = std::move(first_values_);
      return Result::kRow;
    }
    std::string line;
    do {
      if (Result r = NextLine(&line); r != Result::kRow) return r;
    } while (line.find_first_not_of(" \t") == std::string::npos && !keys_.empty());
    std::vector<std::string> keys, values;
    std::string error;
    if (!ParseJsonObject(line, &keys, &values, &error)) return Malformed(error);
    if (keys_.empty()) {
      // The first object's keys are the header; its values follow as the first row.
      keys_ = keys;
      *row = keys;
      first_values_ = std::move(values);
      held_ = true;
      return Result::kRow;
    }
    row->resize(keys_.size());
    std::vector<bool> seen(keys_.size(), false);
    for (size_t k = 0; k < keys.size(); ++k) {
      auto at = std::find(keys_.begin(), keys_.end(), keys[k]);
      if (at == keys_.end()) return Malformed("key \"" + keys[k] + "\" is not in the first line");
      size_t column = static_cast<size_t>(at - keys_.begin());
      if (seen[column]) return Malformed("key \"" + keys[k] + "\" is given twice");
      seen[column] = true;
      (*row)[column] = std::move(values[k]);
    }
    for (size_t c = 0; c < keys_.size(); ++c) {
      if (!seen[c]) return Malformed("key \"" + keys_[c] + "\" of the first line is missing");
    }
    return Result::kRow;
  }

 private:
  std::vector<std::string> keys_;
  std::vector<std::string> first_values_;
  bool held_ = false;
};

class JsonScanner {
 public:
  JsonScanner(const std::string &text, std::string *error) : s_(text), error_(error) {}
  void Blanks() {
    while (at_ < s_.size() && (s_[at_] == ' ' || s_[at_] == '\t'))
      ++at_;
  }
  bool Take(char c) {
    Blanks();
    if (at_ < s_.size() && s_[at_] == c) {
      ++at_;
      return true;
    }
    return false;
  }
  bool AtEnd() {
    Blanks();
    return at_ == s_.size();
  }
  bool Fail(const std::string &why) {
    *error_ = why + " at column " + std::to_string(at_ + 1);
    return false;
  }
  bool String(std::string *out) {
    if (!Take('"')) return Fail("a string was expected");
    while (at_ < s_.size()) {
      char c = s_[at_++];
      if (c == '"') return true;
      if (static_cast<unsigned char>(c) < 0x20) return Fail("a control character in a string");
      if (c != '\\') {
        out->push_back(c);
        continue;
      }
      if (at_ >= s_.size()) break;
      char e = s_[at_++];
      switch (e) {
        case '"':
        case '\\':
        case '/':
          out->push_back(e);
          break;
        case 'b':
          out->push_back('\b');
          break;
        case 'f':
          out->push_back('\f');
          break;
        case 'n':
          out->push_back('\n');
          break;
        case 'r':
          out->push_back('\r');
          break;
        case 't':
          out->push_back('\t');
          break;
        case 'u': {
          unsigned code = 0;
          if (!Hex4(&code)) return Fail("a bad \\u escape");
          if (code >= 0xD800 && code < 0xDC00) {
            unsigned low = 0;
            if (!(at_ + 1 < s_.size() && s_[at_] == '\\' && s_[at_ + 1] == 'u')) {
              return Fail("a lone surrogate");
            }
            at_ += 2;
            if (!Hex4(&low) || low < 0xDC00 || low > 0xDFFF) return Fail("a lone surrogate");
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
          } else if (code >= 0xDC00 && code < 0xE000) {
            return Fail("a lone surrogate");
          }
          zplatform::AppendUtf8(code, out);
          break;
        }
        default:
          return Fail(std::string("unknown escape \\") + e);
      }
    }
    return Fail("a string is not closed");
  }
  bool Value(std::string *out) {
    Blanks();
    if (at_ >= s_.size()) return Fail("a value was expected");
    char c = s_[at_];
    if (c == '"') return String(out);
    for (const char *word : {"true", "false", "null"}) {
      std::string w = word;
      if (s_.compare(at_, w.size(), w) == 0) {
        at_ += w.size();
        *out = w == "true" ? "1" : w == "false" ? "0" : "";
        return true;
      }
    }
    // A number as written, but for an exponent: the field's conversion reads it.
    size_t start = at_;
    if (at_ < s_.size() && s_[at_] == '-') ++at_;
    size_t digits = at_;
    while (at_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[at_])))
      ++at_;
    if (at_ == digits) return Fail("a value was expected");
    if (at_ < s_.size() && s_[at_] == '.') {
      ++at_;
      size_t fraction = at_;
      while (at_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[at_])))
        ++at_;
      if (at_ == fraction) return Fail("a number ends in its point");
    }
    if (at_ < s_.size() && (s_[at_] == 'e' || s_[at_] == 'E')) {
      ++at_;
      if (at_ < s_.size() && (s_[at_] == '+' || s_[at_] == '-')) ++at_;
      size_t exponent = at_;
      while (at_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[at_])))
        ++at_;
      if (at_ == exponent) return Fail("a number ends in its exponent");
    }
    *out = s_.substr(start, at_ - start);
    std::string fixed;
    if (WithoutExponent(*out, &fixed)) *out = std::move(fixed);
    return true;
  }

 private:
  bool Hex4(unsigned *code) {
    if (at_ + 4 > s_.size()) return false;
    for (int i = 0; i < 4; ++i) {
      char h = s_[at_++];
      *code <<= 4;
      if (h >= '0' && h <= '9') {
        *code |= static_cast<unsigned>(h - '0');
      } else if (h >= 'a' && h <= 'f') {
        *code |= static_cast<unsigned>(h - 'a' + 10);
      } else if (h >= 'A' && h <= 'F') {
        *code |= static_cast<unsigned>(h - 'A' + 10);
      } else {
        return false;
      }
    }
    return true;
  }
  const std::string &s_;
  std::string *error_;
  size_t at_ = 0;
};

}  // namespace

bool ParseJsonObject(const std::string &line, std::vector<std::string> *keys,
                     std::vector<std::string> *values, std::string *error) {
  keys->clear();
  values->clear();
  JsonScanner scan(line, error);
  if (!scan.Take('{')) return scan.Fail("a JSON object was expected");
  if (!scan.Take('}')) {
    do {
      keys->emplace_back();
      values->emplace_back();
      if (!scan.String(&keys->back())) return false;
      if (!scan.Take(':')) return scan.Fail("\":\" was expected");
      if (!scan.Value(&values->back())) return false;
    } while (scan.Take(','));
    if (!scan.Take('}')) return scan.Fail("\",\" or \"}\" was expected");
  }
  if (!scan.AtEnd()) return scan.Fail("text after the object");
  return true;
}

std::unique_ptr<RowReader> MakeRowReader(TextFormat format, std::istream &in) {
  switch (format) {
    case TextFormat::kTsv:
      return std::make_unique<TsvRows>(in);
    case TextFormat::kJsonl:
      return std::make_unique<JsonlRows>(in);
    default:
      return std::make_unique<CsvRows>(in);
  }
}

}  // namespace zelkocli
