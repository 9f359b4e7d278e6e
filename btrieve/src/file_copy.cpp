#include "file_copy.h"

#include <unistd.h>

#include <memory>

#include "btrieve/btrapi.h"
#include "check.h"
#include "pg_store.h"
#include "storage.h"

namespace btr {
namespace {

std::string WithServerText(const std::string &what, int status) {
  std::string text = what + " (status " + std::to_string(status) + ")";
  if (status == B_RECORD_MANAGER_INACTIVE || status == B_SESSION_NO_LONGER_VALID ||
      status == B_IO_ERROR) {
    std::string server = LastServerError();
    if (!server.empty()) text += ": " + server;
  }
  return text;
}

// Everything of `s` into the empty `d`, inside the caller's write brackets.
int CopyContent(Storage &s, Storage &d, CopyReport *report, std::string *why,
                const std::function<bool()> &interrupted) {
  // Asked every thousand rows: cheap beside the rows, soon enough for a person waiting.
  auto stop = [&](int64_t rows) { return interrupted && rows % 1024 == 0 && interrupted(); };
  int status = s.ScanRecords([&](int64_t pos, std::string_view data, std::string_view seqs) {
    if (stop(++report->records)) return kCopyInterrupted;
    return d.InsertRecordAt(pos, data, seqs);
  });
  if (status == kCopyInterrupted) *why = "interrupted";
  if (status != 0) {
    if (status != kCopyInterrupted) *why = WithServerText("copying the records failed", status);
    return status;
  }
  for (size_t k = 0; k < s.Spec().keys.size(); ++k) {
    RowCursor entries(s, static_cast<int>(k));
    Row r;
    while (status == 0 && entries.Next(&r)) {
      if (stop(++report->entries)) {
        *why = "interrupted";
        return kCopyInterrupted;
      }
      status = d.AddEntry(k, r.k, r.seq, r.pos);
    }
    if (status == 0) status = entries.status();
    if (status != 0) {
      *why = WithServerText("copying key " + std::to_string(k) + " failed", status);
      return status;
    }
  }
  int64_t highest = 0;
  status = s.HighestPositionUsed(&highest);
  if (status == 0) status = d.KeepPositionsAbove(highest);
  if (status != 0) *why = WithServerText("carrying over the positions failed", status);
  return status;
}

// Both files row for row: records (key -1) or one key's entries.
bool SameRows(Storage &s, Storage &d, int key) {
  RowCursor a(s, key), b(d, key);
  Row x, y;
  for (;;) {
    bool more_a = a.Next(&x), more_b = b.Next(&y);
    if (more_a != more_b) return false;
    if (!more_a) return a.status() == 0 && b.status() == 0;
    if (x.pos != y.pos || x.k != y.k || x.seq != y.seq || x.data != y.data) return false;
  }
}

// The copy read back against the source: records, every key, the positions given out.
int Compare(Storage &s, Storage &d, std::string *why) {
  if (!SameRows(s, d, -1)) {
    *why = "the records of the copy differ from the source's";
    return B_IO_ERROR;
  }
  // Sequences travel with the records: compared where they are kept.
  std::string seqs_a, seqs_b;
  int status = s.ScanRecords([&](int64_t, std::string_view, std::string_view seqs) {
    seqs_a.append(seqs).push_back('|');
    return 0;
  });
  if (status == 0) {
    status = d.ScanRecords([&](int64_t, std::string_view, std::string_view seqs) {
      seqs_b.append(seqs).push_back('|');
      return 0;
    });
  }
  if (status != 0 || seqs_a != seqs_b) {
    *why = "the stored key sequences of the copy differ from the source's";
    return B_IO_ERROR;
  }
  for (size_t k = 0; k < s.Spec().keys.size(); ++k) {
    int64_t a = 0, b = 0;
    if (s.CountEntries(k, &a) != 0 || d.CountEntries(k, &b) != 0 || a != b ||
        !SameRows(s, d, static_cast<int>(k))) {
      *why = "key " + std::to_string(k) + " differs in the copy";
      return B_IO_ERROR;
    }
  }
  int64_t a = 0, b = 0;
  if (s.HighestPositionUsed(&a) != 0 || d.HighestPositionUsed(&b) != 0 || b < a) {
    *why = "the copy could give out a position the source has used";
    return B_IO_ERROR;
  }
  return 0;
}

}  // namespace

int CopyDataFile(const std::string &from, const std::string &to, CopyReport *report,
                 std::string *why, const std::function<bool()> &interrupted) {
  *report = CopyReport{};
  Store &source_store = StoreFor(from);
  Store &target_store = StoreFor(to);
  uint64_t identity = 0;
  int status = source_store.Identify(from, &identity);
  std::unique_ptr<Storage> s;
  if (status == 0) status = source_store.Open(from, OpenLock::kShared, &s);
  if (status == B_INCOMPATIBLE_MODE) {
    *why = from + " is open exclusively elsewhere";
    return status;
  }
  if (status != 0) {
    *why = WithServerText("cannot open " + from, status);
    return status;
  }
  if (target_store.Identify(to, &identity) == 0) {
    *why = to + " exists already";
    return B_FILE_ALREADY_EXISTS;
  }
  // Made under a name of its own, which no other program uses: `to` appears whole or not at
  // all.
  const std::string temporary = to + ".copying." + std::to_string(::getpid());
  (void)target_store.Delete(temporary);  // left by an earlier process of this number
  status = target_store.Create(temporary, s->Spec(), false);
  std::unique_ptr<Storage> d;
  if (status == 0) status = target_store.Open(temporary, OpenLock::kExclusive, &d);
  if (status == B_INCOMPATIBLE_MODE) {
    *why = to + " (as " + temporary + ") was opened by another process while it was made";
    return B_FILE_INUSE;  // the other process's file now: not taken away
  }
  if (status != 0) {
    *why = WithServerText("cannot create " + to, status);
    if (status != B_FILE_ALREADY_EXISTS) (void)target_store.Delete(temporary);  // best effort
    return status;
  }
  // From here a failure takes the unfinished copy away again.
  auto fail = [&](int failed) {
    if (d && d->InWrite()) d->RollbackWrite();
    d.reset();
    (void)target_store.Delete(temporary);  // best effort: the copy failed already
    return failed;
  };
  if (!s->Owner().empty()) {
    status = d->SetOwner(s->Owner(), s->OwnerMode());
    if (status != 0) {
      *why = WithServerText("cannot set the owner of " + to, status);
      return fail(status);
    }
  }
  // The source's write lock keeps every other writer out until the copy is compared.
  status = s->BeginWrite();
  if (status != 0) {
    *why = WithServerText(from + " is being written by another process", status);
    return fail(status);
  }
  status = d->BeginWrite();
  if (status == 0) status = CopyContent(*s, *d, report, why, interrupted);
  if (status == 0) {
    status = d->CommitWrite();
    if (status != 0) *why = WithServerText("committing the copy failed", status);
  }
  if (status == 0) status = Compare(*s, *d, why);
  s->RollbackWrite();
  if (status != 0) return fail(status);
  d.reset();
  std::vector<std::string> problems;
  if (!CheckFile(temporary, &problems)) {
    *why = "the copy fails its check: " + (problems.empty() ? std::string() : problems[0]);
    return fail(B_IO_ERROR);
  }
  if (interrupted && interrupted()) {
    *why = "interrupted";
    return fail(kCopyInterrupted);
  }
  // Another program may have made a file of that name meanwhile: it stays.
  if (target_store.Identify(to, &identity) == 0) {
    *why = to + " was made by another program meanwhile";
    return fail(B_FILE_ALREADY_EXISTS);
  }
  status = target_store.Rename(temporary, to);
  if (status != 0) {
    *why = WithServerText("cannot give the copy the name " + to, status);
    return fail(status);
  }
  return 0;
}

}  // namespace btr
