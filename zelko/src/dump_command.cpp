// dump: the records of a table as CSV, TSV or JSON Lines, in physical or key order,
// optionally only those a search condition selects (evaluated by the record manager).
#include "btrieve/btrapi.h"
#include "commands.h"
#include "csv.h"
#include "engine/extended_access.h"
#include "engine/field_conversion.h"
#include "engine/module.h"
#include "engine/table_access.h"
#include "help.h"
#include "number_text.h"
#include "progress.h"
#include "row_readers.h"
#include "zplatform/codepage.h"

namespace zelkocli {

namespace {

using Format = TextFormat;

struct WriterOptions {
  bool typed = false;      // JSON numbers, booleans and null where the field's type allows
  bool iso_dates = false;  // dates as YYYY-MM-DD
};

// A date as the conversion writes it ("YYYY/MM/DD" or "YY/MM/DD") in ISO 8601.
std::string DateToIso(const std::string &text) {
  size_t first = text.find('/');
  size_t second = first == std::string::npos ? first : text.find('/', first + 1);
  if (second == std::string::npos) return text;
  std::string year = text.substr(0, first);
  if (year.size() == 2) {
    const zelko::ConversionSettings &settings = zelko::Module::Get().Settings();
    year = (text == "00/00/00" ? "00" : std::to_string(settings.TwoDigitCentury() / 100)) + year;
  }
  return year + "-" + text.substr(first + 1, second - first - 1) + "-" + text.substr(second + 1);
}

// True when `text` is a JSON number as the number conversions write them.
bool JsonNumber(const std::string &text) {
  size_t i = text.size() > 0 && text[0] == '-' ? 1 : 0;
  size_t digits = i;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9')
    ++i;
  if (i == digits || (i - digits > 1 && text[digits] == '0')) return false;
  if (i < text.size() && text[i] == '.') {
    size_t fraction = ++i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9')
      ++i;
    if (i == fraction) return false;
  }
  return i == text.size();
}

class RecordWriter {
 public:
  RecordWriter(std::ostream &out, Format format, const zelko::TableDescriptor &table,
               WriterOptions options)
      : out_(out), format_(format), options_(options) {
    for (const zelko::FieldDescriptor &f : table.fields) {
      names_.push_back(Utf8(f.name));
      types_.push_back(f.data_type);
    }
    if (format_ != Format::kJsonl) Append(names_);
  }
  ~RecordWriter() { Flush(); }
  // Values that held bytes outside the code page, written with U+FFFD in their place.
  int64_t Replaced() const { return replaced_; }
  void Write(const zelko::TableDescriptor &table) {
    zelko::ReadAllFieldsWhole(table, &values_);
    for (size_t i = 0; i < values_.size(); ++i) {
      values_[i] = Utf8(values_[i]);
      // The code page has no U+FFFD of its own: one here stands for bytes it cannot show.
      if (values_[i].find("\xEF\xBF\xBD") != std::string::npos) ++replaced_;
      if (options_.iso_dates && types_[i] == zelko::kDate) values_[i] = DateToIso(values_[i]);
    }
    Append(values_);
    if (buffer_.size() > (1 << 16)) Flush();
  }
  void Flush() {
    out_.write(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
    buffer_.clear();
  }

 private:
  void Append(const std::vector<std::string> &values) {
    switch (format_) {
      case Format::kCsv:
        AppendCsvRecord(values, &buffer_);
        break;
      case Format::kTsv:
        AppendTsvRecord(values, &buffer_);
        break;
      case Format::kJsonl:
        buffer_.push_back('{');
        for (size_t i = 0; i < values.size(); ++i) {
          if (i > 0) buffer_.push_back(',');
          AppendJsonString(names_[i], &buffer_);
          buffer_.push_back(':');
          if (options_.typed) {
            AppendTypedValue(types_[i], values[i]);
          } else {
            AppendJsonString(values[i], &buffer_);
          }
        }
        buffer_.append("}\n");
        break;
    }
  }
  void AppendTypedValue(int type, const std::string &value) {
    std::string bare;  // the value as a JSON literal, when it has one
    if (IsNumberType(type)) {
      // "inf" and "nan" have no JSON number; they stay strings.
      if (JsonNumber(value)) bare = value;
    } else if (type == zelko::kLogical) {
      bare = value == "0" ? "false" : value == "1" ? "true" : JsonNumber(value) ? value : "";
    } else if (type == zelko::kDate) {
      if (value == "0000/00/00" || value == "0000-00-00" || value == "00/00/00") bare = "null";
    }
    if (bare.empty()) {
      AppendJsonString(value, &buffer_);
    } else {
      buffer_.append(bare);
    }
  }

  std::ostream &out_;
  Format format_;
  WriterOptions options_;
  std::vector<int> types_;
  std::vector<std::string> names_;
  std::vector<std::string> values_;
  std::string buffer_;
  int64_t replaced_ = 0;
};

// Positions of the records the condition selects, in the order of the path: a Get (Step)
// First, then extended reads that begin with that record ("EG") and go on from the last
// one examined. False after saying why.
bool SelectPositions(zelko::TableDescriptor &table, int index,
                     const std::vector<zelko::ExTerm> &terms, std::vector<int32_t> *positions,
                     std::ostream &err) {
  int16_t status = zelko::EngineAccess(table, index < 0 ? B_STEP_FIRST : B_GET_FIRST, index);
  if (status == 9) return true;
  if (status != 0) {
    err << "zelko: reading the first record: " << StatusPhrase(status) << "\n";
    return false;
  }
  constexpr int kBatch = 1000;
  // Each record found brings back its position and one byte of data.
  std::vector<uint8_t> descriptor = zelko::BuildDescriptor("EG", 0, terms, kBatch, {{1, 0}});
  std::vector<uint8_t> buffer(std::max<size_t>(descriptor.size(), (1 + 6) * kBatch + 2));
  while (true) {
    std::fill(buffer.begin(), buffer.end(), 0);
    std::copy(descriptor.begin(), descriptor.end(), buffer.begin());
    zelko::KeyValue key;
    if (!zelko::BuildKeyValue(table, index, &key)) return false;
    uint32_t length = static_cast<uint32_t>(buffer.size());
    status = BTRCALL(index < 0 ? B_STEP_NEXT_EXT : B_GET_NEXT_EXTENDED, table.position_block.data(),
                     buffer.data(), &length, key.bytes.data(), key.length, key.key_number);
    if (status != 0 && status != 9 && status != 22 && status != 64) {
      err << "zelko: reading the records the condition selects: " << StatusPhrase(status) << "\n";
      return false;
    }
    size_t count = length >= 2 ? (buffer[0] | buffer[1] << 8) : 0;
    size_t at = 2;
    for (size_t r = 0; r < count && at + 6 <= length; ++r) {
      size_t data_length = buffer[at] | buffer[at + 1] << 8;
      int32_t position;
      std::memcpy(&position, &buffer[at + 2], 4);
      positions->push_back(position);
      at += 6 + data_length;
    }
    if (status == 9 || status == 64) return true;
    if (status == 22 && count == 0) {
      err << "zelko: a record does not fit the read buffer\n";
      return false;
    }
  }
}

// Whether the key at index position `index` may leave records out: a null key has no entry
// for a record whose value is its null value.
bool IsNullKey(const zelko::TableDescriptor &table, int index) {
  for (int s = index; s < table.SegmentCount(); ++s) {
    if (table.segments[s].key_flags & (B_KEY_NULL_ALL | B_KEY_NULL_ANY)) return true;
    if ((table.segments[s].key_flags & zelko::kSegmentFlagFollows) == 0) break;
  }
  return false;
}

// The entries of the key at `index`, walked key only; -1 when a read fails.
int64_t KeyEntries(zelko::TableDescriptor &table, int index) {
  zelko::KeyValue key;
  if (!zelko::BuildKeyValue(table, index, &key)) return -1;
  int64_t count = 0;
  for (int op = B_GET_FIRST;; op = B_GET_NEXT) {
    uint32_t length = 0;
    int16_t status = BTRCALL(op + B_GET_KEY, table.position_block.data(), nullptr, &length,
                             key.bytes.data(), key.length, key.key_number);
    if (status == 9) return count;
    if (status != 0) return -1;
    ++count;
  }
}

// After a dump along a null key: says how many records the key left out, when it did.
void NoteRecordsLeftOut(zelko::TableDescriptor &table, int index, const std::string &key_name,
                        bool where, std::ostream &err) {
  int64_t in_key = KeyEntries(table, index);
  int32_t records = 0;
  if (in_key < 0 || zelko::EngineRecordCount(table, &records) != 0 || records <= in_key) return;
  err << "zelko dump: key " << key_name << " holds " << in_key << " of the " << records
      << " records; the others hold its null value and have no place in its order"
      << (where ? ", so the condition was not tested on them" : "")
      << " (without --key, dump reads every record)\n";
}

}  // namespace

int CommandDump(const Args &args, Streams io) {
  ParsedArgs parsed =
      ParseArgs(args, {"--key", "--where", "--format", "--owner"}, {"--typed", "--iso-dates"});
  if (parsed.help) {
    io.out << HelpText("dump");
    return 0;
  }
  if (!parsed.error.empty() || parsed.positional.size() != 2) {
    io.err << (parsed.error.empty() ? "zelko dump: give DIR and TABLE" : parsed.error) << "\n"
           << UsageLine("dump");
    return 2;
  }
  Format format = Format::kCsv;
  if (const std::string *f = parsed.Get("--format")) {
    if (!ParseTextFormat(*f, &format)) {
      io.err << "zelko dump: unknown format \"" << *f << "\" (csv, tsv or jsonl)\n";
      return 2;
    }
  }
  WriterOptions options;
  options.typed = parsed.Has("--typed");
  options.iso_dates = parsed.Has("--iso-dates");
  if (options.typed && format != Format::kJsonl) {
    io.err << "zelko dump: --typed needs --format jsonl\n";
    return 2;
  }
  auto catalog = OpenDictionary(parsed.positional[0], io.err);
  if (!catalog) return 1;
  zelko::TableDescriptor *table = FindTable(*catalog, parsed.positional[1], io.err);
  if (table == nullptr) return 1;
  int index = -1;
  if (const std::string *key = parsed.Get("--key")) {
    index = FindKey(*table, *key, io.err);
    if (index < 0) return 1;
  }
  std::vector<zelko::ExTerm> terms;
  const std::string *where = parsed.Get("--where");
  if (where != nullptr) {
    std::string condition, problem;
    bool parses = true;  // else the parse's message said why
    if (!ToCodePage(*where, &condition))
      problem = "it has characters outside the code page";
    else
      parses = zelko::ParseSearchConditionExactly(*table, condition, false, &terms, &problem);
    if (!parses || !problem.empty()) {
      io.err << "zelko dump: the condition cannot be used: " << *where;
      if (!problem.empty()) io.err << ": " << Utf8(problem);
      io.err << "\n";
      return 2;
    }
  }
  const std::string *owner = parsed.Get("--owner");
  if (!OpenTable(*catalog, *table, owner ? *owner : std::string(), 2, io.err)) return 1;
  int32_t total = 0;
  // Counting walks every key; only the progress bar needs it.
  if (Progress::Shown()) zelko::EngineRecordCount(*table, &total);
  int result = 0;
  {
    RecordWriter writer(io.out, format, *table, options);
    Progress progress("dump", total);
    int64_t done = 0;
    if (where != nullptr) {
      std::vector<int32_t> positions;
      if (!SelectPositions(*table, index, terms, &positions, io.err)) result = 1;
      for (size_t i = 0; result == 0 && i < positions.size(); ++i) {
        int16_t status = zelko::EngineGetDirect(*table, positions[i], index);
        if (status != 0) {
          io.err << "zelko: reading the record at position " << positions[i] << ": "
                 << StatusPhrase(status) << "\n";
          result = 1;
          break;
        }
        writer.Write(*table);
        progress.Step(++done);
      }
    } else {
      int op = index < 0 ? B_STEP_FIRST : B_GET_FIRST;
      while (true) {
        int16_t status = zelko::EngineAccess(*table, op, index);
        if (status == 9) break;
        if (status != 0) {
          io.err << "zelko: reading after " << done << " records: " << StatusPhrase(status) << "\n";
          result = 1;
          break;
        }
        writer.Write(*table);
        progress.Step(++done);
        op = index < 0 ? B_STEP_NEXT : B_GET_NEXT;
      }
    }
    progress.Finish(done);
    if (writer.Replaced() > 0) {
      io.err << "zelko dump: " << writer.Replaced()
             << (writer.Replaced() == 1 ? " value holds" : " values hold")
             << " bytes that are no characters of the code page; they are written as U+FFFD, "
                "and zelko load refuses their rows\n";
    }
  }
  if (result == 0 && index >= 0 && IsNullKey(*table, index))
    NoteRecordsLeftOut(*table, index, *parsed.Get("--key"), where != nullptr, io.err);
  zelko::EngineClose(*table);
  return result;
}

}  // namespace zelkocli
