// load: CSV rows into a table, inserted or updated by a key, every value checked against
// its field before anything is written, in transactions of a batch of rows.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <vector>

#include "btrieve/btrapi.h"
#include "commands.h"
#include "csv.h"
#include "engine/field_conversion.h"
#include "engine/field_text_check.h"
#include "engine/module.h"
#include "engine/table_access.h"
#include "help.h"
#include "key_specs.h"
#include "number_text.h"
#include "progress.h"
#include "row_readers.h"
#include "zplatform/codepage.h"
#include "zplatform/interruption.h"

namespace zelkocli {

namespace {

// The rows are read twice (checked whole first, then written): a file is opened again for
// the second pass; standard input, a pipe or any other source that reads only once is kept in
// a temporary file, never in memory.
class RowSource {
 public:
  // Empty when the rows can be read; else why not.
  std::string Open(const std::string &path) {
    if (path == "-") return Spool(std::cin, "standard input");
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return "cannot read " + path + ": " + std::strerror(errno);
    if (S_ISDIR(st.st_mode)) return "cannot read " + path + ": it is a directory";
    std::ifstream in(path, std::ios::binary);
    if (!in.good()) return "cannot read " + path + ": " + std::strerror(errno);
    if (!S_ISREG(st.st_mode)) return Spool(in, path);
    path_ = path;
    return "";
  }
  ~RowSource() {
    if (!spool_.empty()) std::remove(spool_.c_str());
  }
  std::unique_ptr<std::istream> Read() const {
    return std::make_unique<std::ifstream>(path_, std::ios::binary);
  }

 private:
  std::string Spool(std::istream &in, const std::string &what) {
    const char *tmp = std::getenv("TMPDIR");
    std::string dir = tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
    std::string why = "cannot keep " + what + " in a temporary file in " + dir;
    std::string name = dir + "/zelko-load-XXXXXX";
    int fd = mkstemp(name.data());
    if (fd < 0) return why;
    ::close(fd);
    path_ = spool_ = name;
    std::ofstream out(spool_, std::ios::binary);
    // Copied piece by piece: inserting an empty stream's buffer marks `out` failed, and an
    // empty input is told as such by the reader, not as a full disk.
    std::vector<char> piece(1 << 16);
    while (in.read(piece.data(), static_cast<std::streamsize>(piece.size())) || in.gcount() > 0)
      out.write(piece.data(), in.gcount());
    out.close();
    if (in.bad()) return "cannot read " + what;
    return out.good() ? "" : why + " (is there room?)";
  }

  std::string path_, spool_;
};

// "YYYY-MM-DD" (ISO 8601) in the style the date conversion reads: "YYYY/MM/DD", or
// "YY/MM/DD" when the settings use two-digit years and the year lies in their century. Any
// other text is left as it is.
std::string DateFromIso(const std::string &text) {
  bool iso = text.size() == 10 && text[4] == '-' && text[7] == '-';
  for (size_t i : {0, 1, 2, 3, 5, 6, 8, 9})
    iso = iso && text[i] >= '0' && text[i] <= '9';
  if (!iso) return text;
  const zelko::ConversionSettings &settings = zelko::Module::Get().Settings();
  if (!settings.two_digit_year || text == "0000-00-00")
    return text.substr(0, 4) + "/" + text.substr(5, 2) + "/" + text.substr(8, 2);
  int century = std::atoi(text.substr(0, 2).c_str());
  if (century != settings.TwoDigitCentury() / 100) return text;
  return text.substr(2, 2) + "/" + text.substr(5, 2) + "/" + text.substr(8, 2);
}

bool BlankRow(const std::vector<std::string> &row) {
  return row.size() == 1 && row[0].empty();
}

constexpr long kDefaultBatch = 100000;
constexpr auto kBatchTime = std::chrono::seconds(2);

struct Counts {
  long inserted = 0, updated = 0, rejected = 0;
};

class Loader {
 public:
  Loader(zelko::TableDescriptor &table, std::vector<int> columns, int key_index, Streams io,
         const std::string &file)
      : table_(table), columns_(std::move(columns)), key_index_(key_index), io_(io), file_(file) {
    for (int c : columns_)
      positions_.push_back(static_cast<size_t>(zelko::FieldPosition(table_, c)));
    if (key_index_ >= 0) {
      for (int s = key_index_; s < table_.SegmentCount(); ++s) {
        key_fields_.push_back(table_.segments[s].field_id);
        if ((table_.segments[s].key_flags & zelko::kSegmentFlagFollows) == 0) break;
      }
      ReadNullRule();
    }
  }

  // Writes one row; false when it was rejected (already reported).
  bool Row(size_t line, const std::vector<std::string> &row) {
    if (row.size() != columns_.size()) {
      return Reject(line, std::to_string(row.size()) + (row.size() == 1 ? " value" : " values") +
                              ", the header names " + std::to_string(columns_.size()));
    }
    values_.resize(row.size());
    for (size_t c = 0; c < row.size(); ++c) {
      const zelko::FieldDescriptor &f = table_.fields[columns_[c]];
      // ISO dates and numbers with an exponent become the text the conversion reads.
      const std::string &given = row[c];
      std::string rewritten;
      bool rewrote = false;
      if (f.data_type == zelko::kDate) {
        rewritten = DateFromIso(given);
        rewrote = true;
      } else if (IsNumberType(f.data_type)) {
        rewrote = WithoutExponent(given, &rewritten);
      }
      const std::string &text = rewrote ? rewritten : given;
      if (!ToCodePage(text, &values_[c])) {
        std::string field = "field " + Utf8(f.name) + ": ";
        if (!IsUtf8(given)) return Reject(line, field + "the value " + kNotUtf8);
        if (f.data_type == zelko::kDate)
          return Reject(line, field + "\"" + given + "\" is not a date");
        return Reject(line, field + "\"" + given + "\" has characters outside the code page");
      }
      std::string problem = zelko::FieldTextProblem(f, values_[c]);
      if (!problem.empty()) return Reject(line, "field " + Utf8(f.name) + ": " + Utf8(problem));
    }
    if (key_index_ < 0) {
      zelko::ClearRecordBuffer(table_);
      Fill(false);
      int16_t status = zelko::EngineAccess(table_, B_INSERT, -1);
      if (status != 0) return Refused(line, status);
      ++counts.inserted;
      return true;
    }
    // Read-modify-write of a record other processes may be changing: the record is read
    // under a single lock, so the update builds on what is stored, never on an older image.
    for (int attempt = 0;; ++attempt) {
      bool in_transaction = in_transaction_ && in_transaction_();
      zelko::ClearRecordBuffer(table_);
      Fill(true);
      // A null key has no entry for a record holding its null value: such a row would be
      // inserted beside the records that hold the same value.
      if (attempt == 0 && KeyValueIsNull()) {
        return Reject(line,
                      "the key's fields hold its null value, by which the key finds no record "
                      "(load such rows without --update-by)");
      }
      // Inside a transaction this process holds the file's write lock: waiting there for a
      // record another writer holds (who waits for the file) would deadlock. The batch is
      // ended instead and the lock waited for outside it.
      int bias = in_transaction ? B_SINGLE_NOWAIT_LOCK : B_SINGLE_WAIT_LOCK;
      int16_t status = zelko::EngineAccess(table_, B_GET_EQUAL + bias, key_index_);
      if (status == B_RECORD_INUSE && in_transaction) {
        if (!end_transaction_()) return Refused(line, status);
        continue;
      }
      if (status == 0) {
        Fill(false);
        status = zelko::EngineAccess(table_, B_UPDATE, key_index_);
        if (status == 0) {
          ++counts.updated;
          return true;
        }
        zelko::EngineUnlock(table_, 0);
        if (status == B_CONFLICT && attempt < kAttempts) continue;
        return Refused(line, status);
      }
      if (status != B_KEY_VALUE_NOT_FOUND) return Refused(line, status);
      zelko::ClearRecordBuffer(table_);
      Fill(false);
      status = zelko::EngineAccess(table_, B_INSERT, -1);
      // Another process inserted the key meanwhile: it is updated instead.
      if (status == B_DUPLICATE_KEY_VALUE && attempt < kAttempts) continue;
      if (status != 0) return Refused(line, status);
      ++counts.inserted;
      return true;
    }
  }

  // Whether a transaction is open, and how to end it (false when ending it failed).
  void SetTransactionHooks(std::function<bool()> in_transaction, std::function<bool()> end) {
    in_transaction_ = std::move(in_transaction);
    end_transaction_ = std::move(end);
  }

  Counts counts;
  // The status of a failure that is about the file, not the row (no room, an I/O error, no
  // write access, a lost server): no later row could be written either. 0 while there was
  // none.
  int file_failure = 0;
  void NoteFailure(int status) {
    if (status == B_IO_ERROR || status == B_DISK_FULL || status == B_ACCESS_TO_FILE_DENIED ||
        status == B_SESSION_NO_LONGER_VALID)
      file_failure = status;
  }

 private:
  // Writes the row's values into the record buffer: only the key's fields, or all.
  void Fill(bool key_only) {
    for (size_t c = 0; c < columns_.size(); ++c) {
      const zelko::FieldDescriptor &f = table_.fields[columns_[c]];
      if (key_only &&
          std::find(key_fields_.begin(), key_fields_.end(), f.field_id) == key_fields_.end())
        continue;
      zelko::WriteFieldAt(table_, columns_[c], positions_[c], values_[c]);
    }
  }
  bool Reject(size_t line, const std::string &why) {
    io_.err << file_ << ":" << line << ": rejected: " << why << '\n';
    ++counts.rejected;
    return false;
  }
  bool Refused(size_t line, int status) {
    NoteFailure(status);
    return Reject(line, StatusPhrase(status));
  }

  // The key's segments and null rule as the file keeps them (the dictionary holds no null
  // values), read from the file's Stat buffer.
  void ReadNullRule() {
    std::vector<uint8_t> stat(4096);
    uint8_t name[255];
    uint32_t length = static_cast<uint32_t>(stat.size());
    if (BTRCALL(B_STAT, table_.position_block.data(), stat.data(), &length, name, sizeof name, 0) !=
        0)
      return;
    stat.resize(length);
    FileSpecSummary file = ReadFileSpec(stat);
    size_t key = static_cast<size_t>(zelko::KeyNumberOfPosition(table_, key_index_));
    if (key >= file.keys.size() || file.keys[key].empty()) return;
    null_segments_ = file.keys[key];
    null_rule_ = null_segments_[0].flags & (B_KEY_NULL_ALL | B_KEY_NULL_ANY);
  }
  // Whether the record buffer's key value has no place in the key, as the file decides it.
  bool KeyValueIsNull() const {
    if (null_rule_ == 0) return false;
    size_t null_segments = 0;
    for (const KeySegmentSpec &s : null_segments_) {
      size_t at = static_cast<size_t>(s.position) - 1, length = static_cast<size_t>(s.length);
      bool all = s.position >= 1 && at + length <= table_.record_buffer.size();
      for (size_t i = 0; all && i < length; ++i)
        all = table_.record_buffer[at + i] == s.null_value;
      if (all) ++null_segments;
    }
    return null_rule_ == B_KEY_NULL_ANY ? null_segments > 0
                                        : null_segments == null_segments_.size();
  }

  int null_rule_ = 0;  // B_KEY_NULL_ALL, B_KEY_NULL_ANY or 0
  std::vector<KeySegmentSpec> null_segments_;
  zelko::TableDescriptor &table_;
  std::vector<int> columns_;
  std::vector<size_t> positions_;  // of each column's field in the record
  int key_index_;
  Streams io_;
  std::string file_;
  std::vector<int32_t> key_fields_;
  std::vector<std::string> values_;
  std::function<bool()> in_transaction_;
  std::function<bool()> end_transaction_;
  static constexpr int kAttempts = 8;
};

}  // namespace

int CommandLoad(const Args &args, Streams io) {
  ParsedArgs parsed =
      ParseArgs(args, {"--update-by", "--batch", "--owner", "--format"}, {"--stop-on-error"});
  if (parsed.help) {
    io.out << HelpText("load");
    return 0;
  }
  if (!parsed.error.empty() || parsed.positional.size() != 3) {
    io.err << (parsed.error.empty() ? "zelko load: give DIR, TABLE and FILE" : parsed.error) << "\n"
           << UsageLine("load");
    return 2;
  }
  // A transaction holds the file against other writers: it ends after `batch` rows, and by
  // default also after two seconds, so a long load never keeps them waiting long.
  long batch = kDefaultBatch;
  bool timed_batches = true;
  if (const std::string *b = parsed.Get("--batch")) {
    timed_batches = false;
    char *end = nullptr;
    batch = std::strtol(b->c_str(), &end, 10);
    if (b->empty() || *end != '\0' || batch < 0) {
      io.err << "zelko load: --batch takes a number of rows (0 for no transactions)\n";
      return 2;
    }
  }
  const std::string &file = parsed.positional[2];
  TextFormat format = FormatOfFileName(file);
  if (const std::string *name = parsed.Get("--format")) {
    if (!ParseTextFormat(*name, &format)) {
      io.err << "zelko load: --format takes csv, tsv or jsonl\n";
      return 2;
    }
  }
  // From here on an interruption ends the load where it stands: what was written stays
  // written and is told, and the temporary copy of standard input is removed.
  zplatform::InterruptionGuard interruption;
  RowSource source;
  if (std::string why = source.Open(file); !why.empty()) {
    io.err << "zelko: " << why << "\n";
    return 1;
  }
  auto catalog = OpenDictionary(parsed.positional[0], io.err);
  if (!catalog) return 1;
  zelko::TableDescriptor *table = FindTable(*catalog, parsed.positional[1], io.err);
  if (table == nullptr) return 1;
  int key_index = -1;
  if (const std::string *key = parsed.Get("--update-by")) {
    key_index = FindKey(*table, *key, io.err);
    if (key_index < 0) return 1;
    // A value such a key holds may stand for several records: which one a row meant is
    // not known.
    if ((table->segments[key_index].key_flags & B_KEY_DUPLICATES) != 0) {
      io.err << "zelko load: key " << *key
             << " allows duplicate values; --update-by needs a unique key\n";
      return 1;
    }
  }

  // UTF-16 (Excel's "Unicode text", as Windows tools save) starts with its mark; its bytes
  // read as rows would be told as some other fault.
  char mark[2] = {};
  source.Read()->read(mark, 2);
  if ((mark[0] == '\xFF' && mark[1] == '\xFE') || (mark[0] == '\xFE' && mark[1] == '\xFF')) {
    io.err << file
           << ":1: the file is UTF-16 text (as Excel saves \"Unicode text\"); convert it first: "
              "iconv -f UTF-16 -t UTF-8\n";
    return 1;
  }

  // First pass, nothing written: the header, and the text's structure to its end.
  std::unique_ptr<std::istream> first_pass = source.Read();
  std::unique_ptr<RowReader> reader = MakeRowReader(format, *first_pass);
  std::vector<std::string> header;
  if (reader->Next(&header) != RowReader::Result::kRow) {
    io.err << file << ":" << reader->Line() << ": "
           << (reader->Error().empty() ? "no header row" : reader->Error()) << '\n';
    return 1;
  }
  std::vector<int> columns;
  for (const std::string &name : header) {
    if (!IsUtf8(name)) {
      io.err << file << ":1: the header " << kNotUtf8 << "\n";
      return 1;
    }
    int f = zelko::FindFieldByName(*table, zplatform::FromUtf8(name));
    if (f < 0) {
      io.err << file << ":1: table \"" << parsed.positional[1] << "\" has no field \"" << name
             << "\"\n";
      return 1;
    }
    if (std::find(columns.begin(), columns.end(), f) != columns.end()) {
      io.err << file << ":1: field \"" << name << "\" is named twice\n";
      return 1;
    }
    columns.push_back(f);
  }
  if (key_index >= 0) {
    for (int s = key_index; s < table->SegmentCount(); ++s) {
      bool present = false;
      for (int c : columns)
        present = present || table->fields[c].field_id == table->segments[s].field_id;
      if (!present) {
        io.err << file << ":1: --update-by needs every field of the key in the header\n";
        return 1;
      }
      if ((table->segments[s].key_flags & zelko::kSegmentFlagFollows) == 0) break;
    }
  }
  int64_t rows = 0;
  std::vector<std::string> row;
  for (RowReader::Result r; (r = reader->Next(&row)) != RowReader::Result::kEnd;) {
    if (r == RowReader::Result::kMalformed) {
      io.err << file << ":" << reader->Line() << ": " << reader->Error()
             << "; nothing was loaded\n";
      return 1;
    }
    if (!BlankRow(row)) ++rows;
    if (zplatform::InterruptionGuard::Interrupted()) break;
  }
  if (zplatform::InterruptionGuard::Interrupted()) {
    io.err << "zelko: interrupted; nothing was loaded\n";
    return zplatform::InterruptionGuard::ExitStatus();
  }
  if (!reader->ReadOk()) {
    io.err << "zelko: cannot read " << file << "; nothing was loaded\n";
    return 1;
  }

  const std::string *owner = parsed.Get("--owner");
  if (!OpenTable(*catalog, *table, owner ? *owner : std::string(), 0, io.err)) return 1;
  Loader loader(*table, columns, key_index, io, file);
  Progress progress("load", rows);
  bool stop = parsed.Has("--stop-on-error");
  bool in_transaction = false;
  long in_batch = 0;
  long batch_written = 0;  // rows of the open transaction that counted as written
  Counts before_batch;
  int result = 0;
  auto end_transaction = [&]() {
    if (!in_transaction) return true;
    in_transaction = false;
    int16_t status = zelko::EngineEndTransaction();
    if (status != 0) {
      // Nothing of the batch stays: its rows count as rejected.
      io.err << "zelko: ending a transaction: " << StatusPhrase(status) << "; its " << batch_written
             << " rows were not written\n";
      loader.counts.rejected += batch_written;
      loader.counts.inserted = before_batch.inserted;
      loader.counts.updated = before_batch.updated;
      loader.NoteFailure(status);
      result = 1;
      return false;
    }
    return true;
  };
  loader.SetTransactionHooks([&]() { return in_transaction; }, end_transaction);
  std::unique_ptr<std::istream> second_pass = source.Read();
  std::unique_ptr<RowReader> pass = MakeRowReader(format, *second_pass);
  pass->Next(&row);
  auto batch_started = std::chrono::steady_clock::now();
  int64_t done = 0;
  bool interrupted = false;  // rows were left unread: a signal came before the end
  while (pass->Next(&row) == RowReader::Result::kRow) {
    if (BlankRow(row)) continue;
    if (zplatform::InterruptionGuard::Interrupted()) {
      io.err << "zelko: interrupted at line " << pass->Line()
             << ": that row and the rows after it were not loaded\n";
      interrupted = true;
      break;
    }
    if (batch > 0 && !in_transaction) {
      int16_t status = zelko::EngineBeginTransaction(0);
      if (status != 0) {
        io.err << "zelko: beginning a transaction: " << StatusPhrase(status) << "\n";
        result = 1;
        break;
      }
      in_transaction = true;
      in_batch = 0;
      batch_started = std::chrono::steady_clock::now();
      batch_written = 0;
      before_batch = loader.counts;
    }
    bool ok = loader.Row(pass->Line(), row);
    if (ok) ++batch_written;
    progress.Step(++done);
    if (!ok && stop) break;
    bool long_enough = timed_batches && (in_batch & 255) == 255 &&
                       std::chrono::steady_clock::now() - batch_started > kBatchTime;
    if (in_transaction && (++in_batch >= batch || long_enough)) end_transaction();
    if (loader.file_failure != 0) {
      io.err << "zelko: the load stops at line " << pass->Line()
             << ": the file takes no more rows (" << StatusPhrase(loader.file_failure) << ")\n";
      break;
    }
  }
  end_transaction();
  progress.Finish(done);
  zelko::EngineClose(*table);
  io.out << "inserted " << loader.counts.inserted << ", updated " << loader.counts.updated
         << ", rejected " << loader.counts.rejected << '\n';
  // A signal that came after the last row stopped nothing: the load is whole.
  if (interrupted) return zplatform::InterruptionGuard::ExitStatus();
  return result == 0 && loader.counts.rejected == 0 ? 0 : 1;
}

}  // namespace zelkocli
