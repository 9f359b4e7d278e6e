#include "csv.h"

#include <cstdio>

namespace zelkocli {

CsvReader::CsvReader(std::string_view text) : text_(text) {
  // A byte-order mark written by spreadsheet programs is not part of the first field.
  if (text_.substr(0, 3) == "\xEF\xBB\xBF") at_ = 3;
}

CsvReader::Result CsvReader::Next(std::vector<std::string> *fields) {
  fields->clear();
  if (at_ >= text_.size()) return Result::kEnd;
  record_line_ = line_;
  std::string field;
  while (true) {
    if (at_ < text_.size() && text_[at_] == '"') {
      size_t quote_line = line_;
      ++at_;
      while (true) {
        if (at_ >= text_.size()) {
          record_line_ = quote_line;
          error_ = "a quoted field is not closed";
          return Result::kMalformed;
        }
        char c = text_[at_++];
        if (c == '"') {
          if (at_ < text_.size() && text_[at_] == '"') {
            field.push_back('"');
            ++at_;
            continue;
          }
          break;
        }
        if (c == '\n') ++line_;
        field.push_back(c);
      }
      if (at_ < text_.size() && text_[at_] != ',' && text_[at_] != '\n' &&
          !(text_[at_] == '\r' && at_ + 1 < text_.size() && text_[at_ + 1] == '\n') &&
          !(text_[at_] == '\r' && at_ + 1 == text_.size())) {
        record_line_ = line_;
        error_ = "text follows the closing quote of a field";
        return Result::kMalformed;
      }
    } else {
      while (at_ < text_.size() && text_[at_] != ',' && text_[at_] != '\n' && text_[at_] != '\r') {
        if (text_[at_] == '"') {
          record_line_ = line_;
          error_ = "a quote inside a field that does not start with one";
          return Result::kMalformed;
        }
        field.push_back(text_[at_++]);
      }
      if (at_ < text_.size() && text_[at_] == '\r' && at_ + 1 < text_.size() &&
          text_[at_ + 1] != '\n') {
        record_line_ = line_;
        error_ = "a carriage return inside an unquoted field";
        return Result::kMalformed;
      }
    }
    fields->push_back(std::move(field));
    field.clear();
    if (at_ >= text_.size()) return Result::kRecord;
    char c = text_[at_++];
    if (c == ',') continue;
    if (c == '\r') ++at_;  // the LF of CR LF
    ++line_;
    return Result::kRecord;
  }
}

namespace {
bool NeedsQuotes(const std::string &s) {
  if (s.empty()) return false;
  return s.find_first_of(",\"\r\n") != std::string::npos || s.front() == ' ' || s.back() == ' ';
}
}  // namespace

void AppendCsvRecord(const std::vector<std::string> &fields, std::string *out) {
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) out->push_back(',');
    const std::string &f = fields[i];
    if (!NeedsQuotes(f)) {
      out->append(f);
      continue;
    }
    out->push_back('"');
    for (char c : f) {
      if (c == '"') out->push_back('"');
      out->push_back(c);
    }
    out->push_back('"');
  }
  out->append("\r\n");
}

void AppendTsvRecord(const std::vector<std::string> &fields, std::string *out) {
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) out->push_back('\t');
    for (char c : fields[i]) {
      switch (c) {
        case '\\':
          out->append("\\\\");
          break;
        case '\t':
          out->append("\\t");
          break;
        case '\n':
          out->append("\\n");
          break;
        case '\r':
          out->append("\\r");
          break;
        default:
          out->push_back(c);
      }
    }
  }
  out->push_back('\n');
}

void AppendJsonString(std::string_view s, std::string *out) {
  out->push_back('"');
  for (char ch : s) {
    unsigned char c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"':
        out->append("\\\"");
        break;
      case '\\':
        out->append("\\\\");
        break;
      case '\n':
        out->append("\\n");
        break;
      case '\r':
        out->append("\\r");
        break;
      case '\t':
        out->append("\\t");
        break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out->append(buf);
        } else {
          out->push_back(ch);
        }
    }
  }
  out->push_back('"');
}

}  // namespace zelkocli
