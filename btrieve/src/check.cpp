#include "check.h"

#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <memory>
#include <set>

#include "key_column.h"
#include "key_encoder.h"
#include "lock_wait.h"
#include "pg_store.h"
#include "sqlite_store.h"
#include "storage.h"
#include "zplatform/servers.h"

namespace btr {
namespace {

struct Db {
  sqlite3 *db = nullptr;
  ~Db() {
    if (db) sqlite3_close(db);
  }
};

// SQLITE_OK when every row was read, else the (primary) result code of the failure.
template <typename F>
int ForEachRow(sqlite3 *db, const std::string &sql, F f) {
  sqlite3_stmt *s = nullptr;
  int rc = sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr);
  if (rc != SQLITE_OK) return rc & 0xFF;
  while ((rc = sqlite3_step(s)) == SQLITE_ROW)
    f(s);
  sqlite3_finalize(s);
  return rc == SQLITE_DONE ? SQLITE_OK : rc & 0xFF;
}

// The table of key k. (Built by appending: GCC 12 warns falsely on "k" + std::string.)
std::string KeyTable(size_t k) {
  std::string name = "k";
  name += std::to_string(k);
  return name;
}

std::string_view View(sqlite3_stmt *s, int col) {
  const void *p = sqlite3_column_blob(s, col);
  return p ? std::string_view(static_cast<const char *>(p),
                              static_cast<size_t>(sqlite3_column_bytes(s, col)))
           : std::string_view();
}

std::string Blob(sqlite3_stmt *s, int col) {
  return std::string(View(s, col));
}

// The entry the record at `pos` (bytes that fit the file's records) has in key k: its key
// bytes and sequence; false when its key value is null and it has none.
bool EntryOf(const FileSpec &spec, size_t k, int64_t pos, std::string_view data,
             std::string_view seqs_blob, std::string *kb, int64_t *seq) {
  const KeyDef &key = spec.keys[k];
  const uint8_t *rec = reinterpret_cast<const uint8_t *>(data.data());
  if (IsNullKey(key, rec)) return false;
  *seq = EntrySeq(key, k, seqs_blob, pos);
  *kb = EncodeKeyFromRecord(spec, key, rec);
  return true;
}

// The problems of the record at `pos` itself, appended; `entry(k, key bytes, sequence)` is
// called for each entry it must have.
template <typename Entry>
void CheckRecord(const FileSpec &spec, int64_t pos, std::string_view data,
                 std::string_view seqs_blob, Entry entry, int64_t *max_pos, int64_t *max_seq,
                 std::vector<std::string> *problems) {
  auto problem = [&](const std::string &text) { problems->push_back(text); };
  if (pos <= 0 || pos > INT32_MAX)
    problem("record position " + std::to_string(pos) + " is out of range");
  *max_pos = std::max(*max_pos, pos);
  if (!spec.FitsRecord(data.size())) {
    problem("record " + std::to_string(pos) + " has length " + std::to_string(data.size()));
    return;
  }
  std::string kb;
  int64_t seq = 0;
  for (size_t k = 0; k < spec.keys.size(); ++k) {
    if (!EntryOf(spec, k, pos, data, seqs_blob, &kb, &seq)) continue;
    if (!spec.keys[k].Duplicates() && seq != 0)
      problem("record " + std::to_string(pos) + " has a sequence in unique key " +
              std::to_string(k));
    *max_seq = std::max(*max_seq, seq);
    entry(k, kb, seq);
  }
}

// A file of a server: the same checks through the store (the server keeps its own storage
// sound).
bool CheckServerFile(const std::string &conninfo, const std::string &path,
                     std::vector<std::string> *problems) {
  size_t before = problems->size();
  auto problem = [&](const std::string &text) { problems->push_back(text); };
  std::unique_ptr<Storage> f;
  int status = ServerStore(conninfo).Open(path, OpenLock::kNone, &f);
  if (status != 0) {
    std::string why = LastServerError();
    problem("cannot open the file (status " + std::to_string(status) + ")" +
            (why.empty() ? "" : ": " + why));
    return false;
  }
  const FileSpec &spec = f->Spec();
  for (size_t k = 0; k < spec.keys.size(); ++k) {
    int invalid = ValidateKey(spec, spec.keys[k]);
    if (invalid != 0)
      problem("key " + std::to_string(k) + " is invalid (status " + std::to_string(invalid) + ")");
  }
  if (problems->size() > before) return false;
  // Per key: key bytes and sequence to position. Each entry read from the server is matched
  // here, as reading its record would take a round trip.
  std::vector<std::map<std::pair<std::string, int64_t>, int64_t>> expected(spec.keys.size());
  int64_t max_pos = 0, max_seq = 0;
  status = f->ScanRecords([&](int64_t pos, std::string_view data, std::string_view seqs) {
    CheckRecord(
        spec, pos, data, seqs,
        [&](size_t k, const std::string &kb, int64_t seq) {
          expected[k][{kb, seq}] = pos;
        },
        &max_pos, &max_seq, problems);
    return 0;
  });
  if (status != 0) {
    problem("the records cannot be read (status " + std::to_string(status) + ")");
    return false;
  }
  for (size_t k = 0; k < spec.keys.size(); ++k) {
    size_t found = 0;
    RowCursor walk(*f, static_cast<int>(k));
    std::string previous;
    bool first = true;
    Row r;
    while (walk.Next(&r)) {
      std::string kb(r.k);
      if (!spec.keys[k].Duplicates() && !first && kb == previous) {
        problem("unique key " + std::to_string(k) + " holds a duplicate at record " +
                std::to_string(r.pos));
      }
      first = false;
      previous = kb;
      auto it = expected[k].find({kb, r.seq});
      if (it == expected[k].end() || it->second != r.pos) {
        problem("key " + std::to_string(k) + " holds an entry for record " + std::to_string(r.pos) +
                " that does not match it");
      } else {
        ++found;
      }
    }
    if (walk.status() != 0) {
      problem("key " + std::to_string(k) + " cannot be read (status " +
              std::to_string(walk.status()) + ")");
      return false;
    }
    int64_t entries = 0;
    if (f->CountEntries(k, &entries) == 0 && entries > static_cast<int64_t>(found) &&
        found == expected[k].size()) {
      problem("key " + std::to_string(k) + " holds " +
              std::to_string(entries - static_cast<int64_t>(found)) + " entries of no record");
    }
    if (found != expected[k].size()) {
      problem("key " + std::to_string(k) + " misses " + std::to_string(expected[k].size() - found) +
              " record(s)");
    }
  }
  int64_t highest = 0;
  if (f->HighestPositionUsed(&highest) == 0 && max_seq > highest)
    problem("a key sequence lies above every position given out");
  return problems->size() == before;
}

}  // namespace

bool CheckFile(const std::string &path, std::vector<std::string> *problems) {
  std::string conninfo = zplatform::ServerFor(path);
  if (!conninfo.empty()) return CheckServerFile(conninfo, path, problems);
  size_t before = problems->size();
  auto problem = [&](const std::string &text) { problems->push_back(text); };
  Db d;
  // Read and write where it may, though it only reads: the last connection of a writer
  // takes in the journal and removes it, where a read-only one leaves it (and its shared
  // memory file) beside a file at rest.
  const int mode = ::access(path.c_str(), W_OK) == 0 ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY;
  if (sqlite3_open_v2(path.c_str(), &d.db, mode, nullptr) != SQLITE_OK) {
    problem("cannot open the file");
    return false;
  }
  std::string cut;
  if (FileCutShort(d.db, &cut)) {
    problem("the file is cut short: " + cut);
    return false;
  }
  SetLockWait(d.db, 10000);
  int64_t app_id = -1, version = -1;
  auto read_application_id = [&] {
    return ForEachRow(d.db, "PRAGMA application_id",
                      [&](sqlite3_stmt *s) { app_id = sqlite3_column_int64(s, 0); });
  };
  int rc = read_application_id();
  if (rc != SQLITE_OK && rc != SQLITE_NOTADB && rc != SQLITE_BUSY && rc != SQLITE_LOCKED &&
      JournalEmpty(path)) {
    // As an open does: the journal's index cannot be made here (a read-only directory or
    // mount), and with no journal waiting the file alone holds every committed record.
    sqlite3_close(d.db);
    d.db = nullptr;
    if (sqlite3_open_v2(ImmutableUri(path).c_str(), &d.db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI,
                        nullptr) != SQLITE_OK) {
      problem("cannot open the file");
      return false;
    }
    rc = read_application_id();
  }
  if (rc == SQLITE_NOTADB || (rc == SQLITE_OK && app_id != kApplicationId)) {
    problem("not a Btrieve file of this record manager");
    return false;
  }
  // A read that fails says so: a check that read less than the file must not pass it.
  auto unreadable = [&] {
    problem(std::string("the file cannot be read: ") + sqlite3_errmsg(d.db));
  };
  auto rows = [&](const std::string &sql, auto on_row) {
    if (ForEachRow(d.db, sql, on_row) == SQLITE_OK) return true;
    unreadable();
    return false;
  };
  if (rc != SQLITE_OK) {
    unreadable();
    return false;
  }
  // Every read below in one read transaction: a writer of another process committing
  // between two of them would show records without their key entries, or the reverse.
  if (!rows("BEGIN", [](sqlite3_stmt *) {}) || !rows("PRAGMA user_version", [&](sqlite3_stmt *s) {
        version = sqlite3_column_int64(s, 0);
      })) {
    return false;
  }
  if (version < 1 || version > kSchemaVersion)
    problem("schema version " + std::to_string(version) + " is not 1 to " +
            std::to_string(kSchemaVersion));

  bool read = rows("PRAGMA integrity_check", [&](sqlite3_stmt *s) {
    std::string line = reinterpret_cast<const char *>(sqlite3_column_text(s, 0));
    if (line != "ok") problem("storage: " + line);
  });
  if (!read || problems->size() > before) return false;

  // The specification.
  FileSpec spec;
  bool have_spec = false;
  if (!rows("SELECT value FROM meta WHERE name = 'spec'", [&](sqlite3_stmt *s) {
        std::string v = Blob(s, 0);
        have_spec = DeserializeSpec(std::vector<uint8_t>(v.begin(), v.end()), &spec);
      })) {
    return false;
  }
  if (!have_spec) {
    problem("the file specification is missing or unreadable");
    return false;
  }
  if (spec.page_size < 512 || spec.page_size > 4096 || spec.page_size % 512 != 0) {
    problem("page size " + std::to_string(spec.page_size) + " is invalid");
  }
  if (spec.record_length == 0) problem("record length is 0");
  for (size_t k = 0; k < spec.keys.size(); ++k) {
    int status = ValidateKey(spec, spec.keys[k]);
    if (status != 0)
      problem("key " + std::to_string(k) + " is invalid (status " + std::to_string(status) + ")");
  }
  std::set<std::string> tables;
  if (!rows("SELECT name FROM sqlite_schema WHERE type = 'table'", [&](sqlite3_stmt *s) {
        tables.insert(reinterpret_cast<const char *>(sqlite3_column_text(s, 0)));
      })) {
    return false;
  }
  std::set<std::string> key_tables;
  for (size_t k = 0; k < spec.keys.size(); ++k) {
    key_tables.insert(KeyTable(k));
    if (!tables.count(KeyTable(k))) problem("key " + std::to_string(k) + " has no index");
  }
  for (const std::string &t : tables) {
    if (t.size() > 1 && t[0] == 'k' && t.find_first_not_of("0123456789", 1) == std::string::npos &&
        !key_tables.count(t)) {
      problem("index " + t + " belongs to no key");
    }
  }
  if (problems->size() > before) return false;

  // Every record in every key it belongs to, with the right key bytes and sequence. Each entry
  // is matched against the record it names, read beside it, and each key must hold as many
  // entries as records belong to it: the check needs no memory for the file's size.
  std::vector<int64_t> expected(spec.keys.size(), 0);
  int64_t max_pos = 0;
  int64_t max_seq = 0;
  if (!rows("SELECT pos, data, seqs FROM r ORDER BY pos", [&](sqlite3_stmt *s) {
        CheckRecord(
            spec, sqlite3_column_int64(s, 0), View(s, 1), View(s, 2),
            [&](size_t k, const std::string &, int64_t) { ++expected[k]; }, &max_pos, &max_seq,
            problems);
      })) {
    return false;
  }
  for (size_t k = 0; k < spec.keys.size(); ++k) {
    int64_t found = 0;
    std::string previous, record_k;
    int64_t previous_seq = 0, record_seq = 0;
    bool first = true;
    bool walked =
        rows("SELECT x.k, x.seq, x.pos, r.pos IS NOT NULL, r.data, r.seqs FROM " + KeyTable(k) +
                 " x LEFT JOIN r ON r.pos = x.pos ORDER BY x.k, x.seq",
             [&](sqlite3_stmt *s) {
               std::string kb = Blob(s, 0);
               const size_t length = EncodedKeyLength(spec.keys[k]);
               if (version >= kIntegerKeysVersion && FitsIntegerColumn(length) &&
                   sqlite3_column_type(s, 0) == SQLITE_INTEGER) {
                 kb.resize(length);
                 IntegerToKey(sqlite3_column_int64(s, 0), length, kb.data());
               }
               int64_t seq = sqlite3_column_int64(s, 1);
               int64_t pos = sqlite3_column_int64(s, 2);
               if (!first && kb < previous)
                 problem("key " + std::to_string(k) + " is out of order at record " +
                         std::to_string(pos));
               if (!spec.keys[k].Duplicates() && !first && kb == previous) {
                 problem("unique key " + std::to_string(k) + " holds a duplicate at record " +
                         std::to_string(pos));
               }
               // Two entries alike would both match their record: the second counts as stray.
               bool repeated = !first && kb == previous && seq == previous_seq;
               first = false;
               previous = kb;
               previous_seq = seq;
               std::string_view data = View(s, 4);
               if (!repeated && sqlite3_column_int(s, 3) != 0 && spec.FitsRecord(data.size()) &&
                   EntryOf(spec, k, pos, data, View(s, 5), &record_k, &record_seq) &&
                   record_k == kb && record_seq == seq) {
                 ++found;
               } else {
                 problem("key " + std::to_string(k) + " holds an entry for record " +
                         std::to_string(pos) + " that does not match it");
               }
             });
    if (!walked) return false;
    if (found != expected[k]) {
      problem("key " + std::to_string(k) + " misses " + std::to_string(expected[k] - found) +
              " record(s)");
    }
  }
  // Moved sequences come from the position numbers: none may lie above the highest given
  // out, or a later insert could meet it again.
  int64_t high_water = 0;
  if (!rows("SELECT value FROM meta WHERE name = 'hwm'",
            [&](sqlite3_stmt *s) { high_water = sqlite3_column_int64(s, 0); })) {
    return false;
  }
  if (max_seq > std::max(max_pos, high_water)) {
    problem("a key sequence lies above every position given out");
  }
  return problems->size() == before;
}

}  // namespace btr
