#include "csv.h"

#include <array>
#include <cstdio>

namespace zelkocli {

CsvReader::CsvReader(std::string_view text) : text_(text) {
  // A byte-order mark written by spreadsheet programs is not part of the first field.
  if (text_.substr(0, 3) == "\xEF\xBB\xBF") at_ = 3;
}

CsvReader::CsvReader(std::istream &in) : in_(&in) {
  if (Has(3) && text_.substr(0, 3) == "\xEF\xBB\xBF") at_ = 3;
}

bool CsvReader::ReadMore(size_t n) {
  if (in_ == nullptr || !read_ok_ || too_long_) return false;
  if (at_ + n > record_start_ + kLongestRecordText) {
    too_long_ = true;
    return false;
  }
  constexpr size_t kPiece = 1 << 16;
  while (at_ + n > buffer_.size()) {
    size_t had = buffer_.size();
    buffer_.resize(had + kPiece);
    in_->read(buffer_.data() + had, static_cast<std::streamsize>(kPiece));
    buffer_.resize(had + static_cast<size_t>(in_->gcount()));
    if (in_->bad()) read_ok_ = false;
    if (buffer_.size() == had) break;  // the end of the stream
  }
  text_ = buffer_;
  return at_ + n <= text_.size();
}

namespace {
// The bytes that end a run of an unquoted field (separator, line ends, a stray quote), and
// so make a field that holds one be written quoted.
constexpr auto kEndsUnquoted = [] {
  std::array<bool, 256> ends{};
  for (unsigned char c : {',', '\n', '\r', '"'})
    ends[c] = true;
  return ends;
}();
}  // namespace

CsvReader::Result CsvReader::Next(std::vector<std::string> *fields) {
  // The strings of the last record are reused: a load reads every record into them.
  size_t count = 0;
  auto finish = [&](Result r) {
    fields->resize(count);
    if (too_long_) {
      error_ = kRecordTooLong;
      return Result::kMalformed;
    }
    return r;
  };
  auto next_field = [&]() -> std::string & {
    if (count == fields->size()) fields->emplace_back();
    std::string &field = (*fields)[count++];
    field.clear();
    return field;
  };
  if (in_ != nullptr && at_ > (1 << 16)) {
    // What was read before this record is not needed again.
    buffer_.erase(0, at_);
    at_ = 0;
    text_ = buffer_;
  }
  record_start_ = at_;
  if (!Has(1)) return finish(Result::kEnd);
  record_line_ = line_;
  while (true) {
    std::string &field = next_field();
    if (Has(1) && At(0) == '"') {
      size_t quote_line = line_;
      ++at_;
      while (true) {
        if (!Has(1)) {
          record_line_ = quote_line;
          error_ = "a quoted field is not closed";
          return finish(Result::kMalformed);
        }
        char c = At(0);
        ++at_;
        if (c == '"') {
          if (Has(1) && At(0) == '"') {
            field.push_back('"');
            ++at_;
            continue;
          }
          break;
        }
        if (c == '\n') ++line_;
        field.push_back(c);
      }
      if (Has(1) && At(0) != ',' && At(0) != '\n' && !(At(0) == '\r' && Has(2) && At(1) == '\n') &&
          !(At(0) == '\r' && !Has(2))) {
        record_line_ = line_;
        error_ = "text follows the closing quote of a field";
        return finish(Result::kMalformed);
      }
    } else {
      // An unquoted field is taken in runs up to the next special byte.
      while (true) {
        size_t end = at_;
        while (end < text_.size() && !kEndsUnquoted[static_cast<unsigned char>(text_[end])])
          ++end;
        field.append(text_.data() + at_, end - at_);
        at_ = end;
        if (end < text_.size() || !Has(1)) break;  // else more of the stream was read
      }
      if (Has(1) && At(0) == '"') {
        record_line_ = line_;
        error_ = "a quote inside a field that does not start with one";
        return finish(Result::kMalformed);
      }
      if (Has(1) && At(0) == '\r' && Has(2) && At(1) != '\n') {
        record_line_ = line_;
        error_ = "a carriage return inside an unquoted field";
        return finish(Result::kMalformed);
      }
    }
    if (!Has(1)) return finish(Result::kRecord);
    char c = At(0);
    ++at_;
    if (c == ',') continue;
    if (c == '\r') ++at_;  // the LF of CR LF
    ++line_;
    return finish(Result::kRecord);
  }
}

namespace {
bool NeedsQuotes(const std::string &s) {
  if (s.empty()) return false;
  if (s.front() == ' ' || s.back() == ' ') return true;
  for (char c : s) {
    if (kEndsUnquoted[static_cast<unsigned char>(c)]) return true;
  }
  return false;
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
