#include "engine.h"

#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <new>

#include "btrieve/btrapi.h"
#include "key_encoder.h"
#include "lock_wait.h"
#include "zplatform/bytes.h"
#include "zplatform/paths.h"

namespace btr {

using zplatform::GetU16;
using zplatform::GetU32;
using zplatform::PutU16;
using zplatform::PutU32;
namespace {

constexpr char kBlockMagic[8] = {'Z', 'L', 'K', 'B', 'T', 'R', 'P', 'B'};
constexpr size_t kMaxPath = 65535;
constexpr size_t kMaxReadAhead = 2048;
constexpr size_t kMaxBulkReadAhead = 65536;
// How often a locked read starts again when the record it found moved before the lock.
constexpr int kMaxRereads = 16;
constexpr uint32_t kPercentScale = 10000;
constexpr int kNoWaitGraceMs = 200;

std::string ReadPath(const uint8_t *key) {
  if (key == nullptr) return std::string();
  const char *p = reinterpret_cast<const char *>(key);
  return std::string(p, strnlen(p, kMaxPath));
}

bool IsGetOperation(int op) {
  return op >= B_GET_EQUAL && op <= B_GET_LAST;
}
bool IsStepOperation(int op) {
  return op == B_STEP_NEXT || op == B_STEP_FIRST || op == B_STEP_LAST || op == B_STEP_PREVIOUS;
}
// Operations on an open file (the first bias-free code of each).
bool OnOpenFile(int op) {
  if (IsGetOperation(op) || IsStepOperation(op)) return true;
  switch (op) {
    case B_CLOSE:
    case B_INSERT:
    case B_UPDATE:
    case B_DELETE:
    case B_STAT:
    case B_GET_POSITION:
    case B_GET_DIRECT:
    case B_UNLOCK:
    case B_CREATE_INDEX:
    case B_DROP_INDEX:
    case B_GET_BY_PERCENTAGE:
    case B_FIND_PERCENTAGE:
    case B_SET_OWNER:
    case B_CLEAR_OWNER:
    case B_GET_NEXT_EXTENDED:
    case B_GET_PREV_EXTENDED:
    case B_STEP_NEXT_EXT:
    case B_STEP_PREVIOUS_EXT:
      return true;
    default:
      return false;
  }
}
// Reads that name a key (and Stat, which reports the keys): another process's new or dropped
// key is noticed first. Writes notice it when they begin.
bool ReadsByKeyNumber(int op) {
  return IsGetOperation(op) || op == B_GET_DIRECT || op == B_STAT || op == B_GET_BY_PERCENTAGE ||
         op == B_FIND_PERCENTAGE || op == B_GET_NEXT_EXTENDED || op == B_GET_PREV_EXTENDED;
}

// Operations to which a lock bias may be added. On Insert, Update and Delete it has no
// effect (a caller that sets one bias for all its calls still writes).
bool AcceptsLockBias(int op) {
  return IsGetOperation(op) || IsStepOperation(op) || op == B_GET_DIRECT ||
         (op >= B_GET_NEXT_EXTENDED && op <= B_STEP_PREVIOUS_EXT) || op == B_GET_BY_PERCENTAGE ||
         op == B_BEGIN_TRAN || op == B_INSERT || op == B_UPDATE || op == B_DELETE;
}

// Whether two keys are defined alike (segment by segment).
bool SameKey(const KeyDef &a, const KeyDef &b) {
  return std::equal(a.segments.begin(), a.segments.end(), b.segments.begin(), b.segments.end(),
                    [](const SegmentSpec &x, const SegmentSpec &y) {
                      return x.position == y.position && x.length == y.length &&
                             x.flags == y.flags && x.type == y.type &&
                             x.null_value == y.null_value && x.acs_number == y.acs_number;
                    });
}

}  // namespace

void Cursor::SetPhysical(int64_t pos) {
  extended_position = false;
  key_path = -1;
  has_logical = false;
  has_current = true;
  current_pos = pos;
  has_physical = true;
  physical_pos = pos;
}

void Cursor::SetLogical(int key, const Row &row) {
  extended_position = false;
  key_path = key;
  has_logical = true;
  logical_k = row.k;
  logical_seq = row.seq;
  has_current = true;
  current_pos = row.pos;
  has_physical = true;
  physical_pos = row.pos;
}

Engine &Engine::Instance() {
  static Engine *engine = [] {
    Engine *e = new Engine();  // lives for the process; files close at exit
    pthread_atfork(&Engine::BeforeFork, &Engine::AfterForkInParent, &Engine::AfterForkInChild);
    return e;
  }();
  return *engine;
}

void Engine::BeforeFork() {
  Instance().mutex_.lock();
}

void Engine::AfterForkInParent() {
  Instance().mutex_.unlock();
}

void Engine::AfterForkInChild() {
  Engine &e = Instance();
  e.forked_ = true;  // the work waits for the child's first call: few children make one
  // Made anew: the child's thread has another id than the one that locked it, so an unlock
  // would be refused.
  new (&e.mutex_) std::recursive_mutex();
}

void Engine::ForgetParentFiles() {
  forked_ = false;
  for (auto &kv : files_) {
    if (kv.second->inherited) continue;
    kv.second->inherited = true;
    kv.second->AbandonInChild();
    inherited_files_.push_back(kv.second);
  }
  // The parent's transaction stays the parent's: nothing of it is undone here.
  in_transaction_ = false;
  transaction_failure_ = 0;
  transaction_files_.clear();
  transaction_keepalive_.clear();
}

Cursor *Engine::FindCursor(void *block) {
  if (block == nullptr) return nullptr;
  const uint8_t *b = static_cast<const uint8_t *>(block);
  if (std::memcmp(b, kBlockMagic, sizeof kBlockMagic) != 0) return nullptr;
  uint64_t id;
  std::memcpy(&id, b + 8, sizeof id);
  // Calls come in runs on one block: the last cursor found is tried first.
  if (last_cursor_ != nullptr && last_cursor_->id == id && last_cursor_->block == block)
    return last_cursor_;
  auto it = cursors_.find(id);
  // A copy of a block elsewhere in memory is foreign: the cursor remembers its own block.
  if (it == cursors_.end() || it->second->block != block) return nullptr;
  last_cursor_ = it->second.get();
  return last_cursor_;
}

void Engine::WriteBlock(void *block, uint64_t id) {
  uint8_t *b = static_cast<uint8_t *>(block);
  std::memset(b, 0, 128);
  std::memcpy(b, kBlockMagic, sizeof kBlockMagic);
  std::memcpy(b + 8, &id, sizeof id);
}

std::unique_lock<std::recursive_mutex> Engine::Enter() {
  std::unique_lock<std::recursive_mutex> lock(mutex_);
  if (forked_) ForgetParentFiles();
  return lock;
}

int16_t Engine::Call(const CallArgs &args) {
  auto lock = Enter();
  ++call_serial_;
  try {
    int16_t status = Dispatch(args);
    if (status != 0 && in_transaction_ && transaction_failure_ == 0) NoteLostTransaction(status);
    return status;
  } catch (...) {
    // Whatever the failure interrupted is undone: no write stays half-done and no file
    // stays locked for writing behind the caller's back.
    RecoverAfterFailure();
    return B_IO_ERROR;
  }
}

void Engine::NoteLostTransaction(int status) {
  // A store undoes its whole transaction on some failures (SQLite when it has no room to
  // spill the transaction's pages, even during a read): the rest of the transaction and End
  // answer with that cause.
  for (Storage *t : transaction_files_) {
    if (!t->InWrite()) {
      FailOp(*t, status);
      return;
    }
  }
}

void Engine::RecoverAfterFailure() {
  bias_ = 0;
  if (in_transaction_) {
    for (Storage *t : transaction_files_)
      t->RollbackWrite();
    transaction_files_.clear();
    transaction_failure_ = B_IO_ERROR;  // End answers with it; Abort clears it
  }
  for (auto &kv : files_) {
    if (!kv.second->inherited && kv.second->InWrite()) kv.second->RollbackWrite();
  }
  for (auto &kv : cursors_)
    kv.second->ahead.key = -2;
}

int16_t Engine::Dispatch(const CallArgs &args) {
  int op = args.operation;
  int bias = 0;
  if (op >= B_BEGIN_CONCURRENT_TRAN) {
    bias = op - B_BEGIN_CONCURRENT_TRAN;
    if (bias % 100 != 0 || bias > 500) return B_INVALID_FUNCTION;
    return static_cast<int16_t>(BeginTransaction(bias));
  }
  bias = (op / 100) * 100;
  op %= 100;
  bool key_only = false;
  if (op >= B_GET_KEY && IsGetOperation(op - B_GET_KEY)) {
    key_only = true;
    op -= B_GET_KEY;
  }
  if (bias > 400 || (bias != 0 && !AcceptsLockBias(op))) return B_INVALID_FUNCTION;
  bias_ = bias;

  switch (op) {
    case B_OPEN:
      return static_cast<int16_t>(Open(args));
    case B_CREATE:
      return static_cast<int16_t>(Create(args));
    case B_BEGIN_TRAN:
      return static_cast<int16_t>(BeginTransaction(bias));
    case B_END_TRAN:
      return static_cast<int16_t>(EndTransaction());
    case B_ABORT_TRAN:
      return static_cast<int16_t>(AbortTransaction());
    case B_VERSION:
      return static_cast<int16_t>(Version(args));
    case B_RESET:
      Release();
      return 0;
    default:
      break;
  }

  Cursor *c = FindCursor(args.position_block);
  if (!OnOpenFile(op)) return B_INVALID_FUNCTION;
  if (c == nullptr) return B_FILE_NOT_OPEN;
  if (c->file->inherited && op != B_CLOSE) return B_SESSION_NO_LONGER_VALID;
  if (ReadsByKeyNumber(op)) {
    if (int status = NoticeKeyChanges(*c->file, false); status != 0)
      return static_cast<int16_t>(status);
  }

  switch (op) {
    case B_CLOSE:
      return static_cast<int16_t>(Close(args, *c));
    case B_INSERT:
      return static_cast<int16_t>(Insert(args, *c));
    case B_UPDATE:
      return static_cast<int16_t>(Update(args, *c));
    case B_DELETE:
      return static_cast<int16_t>(Delete(args, *c));
    case B_STAT:
      return static_cast<int16_t>(Stat(args, *c));
    case B_GET_POSITION:
      return static_cast<int16_t>(GetPosition(args, *c));
    case B_GET_DIRECT:
      return static_cast<int16_t>(GetDirect(args, *c));
    case B_UNLOCK:
      return static_cast<int16_t>(Unlock(args, *c));
    case B_CREATE_INDEX:
      return static_cast<int16_t>(CreateIndex(args, *c));
    case B_DROP_INDEX:
      return static_cast<int16_t>(DropIndex(args, *c));
    case B_GET_BY_PERCENTAGE:
      return static_cast<int16_t>(GetByPercentage(args, *c));
    case B_FIND_PERCENTAGE:
      return static_cast<int16_t>(FindPercentage(args, *c));
    case B_GET_NEXT_EXTENDED:
    case B_GET_PREV_EXTENDED:
    case B_STEP_NEXT_EXT:
    case B_STEP_PREVIOUS_EXT:
      return static_cast<int16_t>(Extended(args, *c, op));
    case B_SET_OWNER:
      return static_cast<int16_t>(SetOwner(args, *c));
    case B_CLEAR_OWNER:
      return static_cast<int16_t>(ClearOwner(args, *c));
    default:
      if (IsStepOperation(op)) return static_cast<int16_t>(Step(args, *c, op));
      return static_cast<int16_t>(Get(args, *c, op, key_only));
  }
}

// ---- Open, close, create ------------------------------------------------------------

int Engine::Open(const CallArgs &a) {
  if (a.position_block == nullptr) return B_POSBLOCK_LENGTH;
  std::string path = ReadPath(a.key);
  if (path.empty()) return B_FILENAME_BAD;
  std::optional<std::string> native = zplatform::NativePath(path);
  if (!native) return B_FILE_NOT_FOUND;

  int mode = a.key_number;
  bool read_only = false;
  bool exclusive = false;
  switch (mode) {
    case 0:
    case -1:
    case -3:
    case -32:
    case -64:
      break;
    case -2:
      read_only = true;
      break;
    case -4:
      exclusive = true;
      break;
    default:
      return B_INVALID_FUNCTION;
  }
  std::string owner;
  if (a.data != nullptr && a.DataLength() > 0) {
    const char *p = reinterpret_cast<const char *>(a.data);
    owner.assign(p, strnlen(p, a.DataLength()));
  }

  Store &store = StoreFor(*native);
  uint64_t identity = 0;
  std::shared_ptr<Storage> file;
  for (int attempt = 0; !file; ++attempt) {
    int found = store.Identify(*native, &identity);
    if (found != 0) return found;
    auto it = files_.find(identity);
    if (it != files_.end()) {
      file = it->second;
      if (file->inherited) return B_SESSION_NO_LONGER_VALID;
      for (auto &kv : cursors_) {
        if (kv.second->file == file && (kv.second->exclusive || exclusive))
          return B_INCOMPATIBLE_MODE;
      }
    } else {
      // Exclusive opens and the opens of other processes exclude each other.
      std::unique_ptr<Storage> opened;
      int status =
          store.Open(*native, exclusive ? OpenLock::kExclusive : OpenLock::kShared, &opened);
      if (status != 0) return status;
      // The name went to another file after it was looked up: that one may be open here.
      if (opened->identity != identity) {
        if (attempt == 3) return B_FILE_INUSE;
        continue;
      }
      file = std::move(opened);
    }
  }

  if (!file->Owner().empty() && owner != file->Owner()) {
    // Modes 1 and 3 let a caller without the owner name read.
    bool read_without_owner = owner.empty() && (file->OwnerMode() == 1 || file->OwnerMode() == 3);
    if (!read_without_owner) return B_BAD_OWNER;
    read_only = true;
  }

  // A block that still holds a live cursor is closed first, so no cursor is orphaned.
  if (Cursor *old = FindCursor(a.position_block)) (void)Close(a, *old);  // always 0

  // Everything that allocates comes first, so a failure leaves no half-registered cursor.
  auto cursor = std::make_unique<Cursor>();
  cursor->id = next_id_++;
  cursor->block = a.position_block;
  cursor->file = file;
  cursor->read_only = read_only || file->ReadOnlyFile();
  cursor->exclusive = exclusive;
  if (file->keys_followed_generation == 0) file->FollowKeysAsRead();  // as the file was opened
  files_[identity] = file;
  Cursor *registered = nullptr;
  try {
    registered = cursors_.emplace(cursor->id, std::move(cursor)).first->second.get();
  } catch (...) {
    if (file->open_count == 0 && transaction_files_.count(file.get()) == 0) files_.erase(identity);
    throw;
  }
  file->open_count++;
  WriteBlock(a.position_block, registered->id);
  return 0;
}

int Engine::Close(const CallArgs &, Cursor &c) {
  std::shared_ptr<Storage> file = c.file;
  // The locks of a block the parent opened are the parent's.
  if (!file->inherited) {
    ReleaseSingle(c);
    ReleaseMulti(c);
  }
  std::memset(c.block, 0, 128);
  if (last_cursor_ == &c) last_cursor_ = nullptr;
  cursors_.erase(c.id);
  if (--file->open_count == 0 && transaction_files_.count(file.get()) == 0 && !file->inherited) {
    files_.erase(file->identity);
  }
  return 0;
}

int Engine::Create(const CallArgs &a) {
  std::string path = ReadPath(a.key);
  if (path.empty()) return B_FILENAME_BAD;
  std::optional<std::string> native = zplatform::NativePath(path);
  if (!native) return B_FILE_NOT_FOUND;
  FileSpec spec;
  int status = ParseCreateBuffer(a.data, a.DataLength(), &spec);
  if (status != 0) return status;
  Store &store = StoreFor(*native);
  uint64_t identity = 0;
  if (store.Identify(*native, &identity) == 0) {
    // Key number -1 never replaces: an existing file answers 59, open or not.
    if (a.key_number == -1) return B_FILE_ALREADY_EXISTS;
    if (files_.count(identity) != 0) return B_FILE_INUSE;  // open in this process
  }
  return store.Create(*native, spec, a.key_number != -1);
}

int Engine::Stat(const CallArgs &a, Cursor &c) {
  Storage &f = *c.file;
  // The counts hold until a commit of any process, or a write of this one, changes the file.
  Storage::KeptCounts &kept = f.Counts();
  const bool still = kept.valid && f.StampsCommits() &&
                     kept.write_generation == f.WriteGeneration() &&
                     kept.spec_generation == f.SpecGeneration() && f.SameStamp(kept.stamp);
  if (!still) {
    kept.valid = false;
    // Taken before the counts: a commit meanwhile makes them look stale, never fresh.
    std::string stamp = f.ChangeStamp();
    std::vector<uint32_t> unique;
    for (size_t k = 0; k < f.Spec().keys.size(); ++k) {
      int64_t n = 0;
      // Each entry of a key without duplicates is a value of its own: counting entries is a
      // count of pages, counting distinct values reads every entry.
      int status = f.Spec().keys[k].Duplicates() ? f.CountDistinct(k, &n) : f.CountEntries(k, &n);
      if (status != 0) return status;
      unique.push_back(static_cast<uint32_t>(n));
    }
    int64_t records = 0;
    int status = f.CountRecords(&records);
    if (status != 0) return status;
    kept = {true,   std::move(stamp), f.WriteGeneration(), f.SpecGeneration(), std::move(unique),
            records};
  }
  std::vector<uint8_t> out =
      BuildStatBuffer(f.Spec(), static_cast<uint32_t>(kept.records), kept.unique);
  if (a.data == nullptr || a.DataLength() < out.size()) return B_DATALENGTH_ERROR;
  std::memcpy(a.data, out.data(), out.size());
  a.SetDataLength(static_cast<uint32_t>(out.size()));
  return 0;
}

int Engine::Version(const CallArgs &a) {
  if (a.data == nullptr || a.DataLength() < 5) return B_DATALENGTH_ERROR;
  PutU16(a.data, 6);
  PutU16(a.data + 2, 15);
  a.data[4] = 'L';
  a.SetDataLength(5);
  return 0;
}

// ---- Writes ---------------------------------------------------------------------------
//
// Every conflict (duplicate key, key not modifiable, missing record) is checked before the
// first write of an operation, so a refused operation writes nothing and needs no
// savepoint. Only an I/O failure can stop an operation part-way: outside a transaction its
// statement transaction is rolled back; inside the process's transaction the whole
// transaction is undone at once and End answers with the failure.

int Engine::BeginOp(Storage &f) {
  if (!in_transaction_) return BeginWriteWaiting(f, f.BusyTimeout());
  if (transaction_failure_ != 0) return transaction_failure_;
  if (transaction_files_.count(&f) != 0 && !f.InWrite()) {
    // The store rolled the transaction back after a failure (or lost its server): nothing may
    // commit on its own now.
    FailOp(f, f.Broken() ? B_SESSION_NO_LONGER_VALID : B_IO_ERROR);
    return transaction_failure_;
  }
  if (transaction_files_.count(&f) == 0) {
    const int wait_ms = transaction_no_wait_ ? kNoWaitGraceMs : f.BusyTimeout();
    int status;
    if (transaction_files_.empty()) {
      status = BeginWriteWaiting(f, wait_ms);
    } else {
      status = BeginWriteHoldingOthers(f, wait_ms);
    }
    if (status != 0) return status;
    transaction_files_.insert(&f);
    transaction_keepalive_.push_back(files_[f.identity]);
  }
  return 0;
}

int Engine::BeginWriteWaiting(Storage &f, int wait_ms) {
  // Tried at once first, as it nearly always succeeds. A process that has to wait marks the
  // records of the file it holds locked: a transaction holding the file that asks for one
  // of them is then told it would wait in vain.
  if (gave_way_) {
    gave_way_ = false;
    LetWaitingTransactionGoFirst(f, wait_ms);
  }
  const int kept_ms = f.BusyTimeout();
  f.SetBusyTimeout(0);
  int status = f.BeginWrite();
  if (status == B_FILE_INUSE && wait_ms > 0) {
    f.SetBusyTimeout(wait_ms);
    f.MarkLockedRecordsWaiting(true);
    status = f.BeginWrite();
    f.MarkLockedRecordsWaiting(false);
  }
  f.SetBusyTimeout(kept_ms);
  return status;
}

void Engine::LetWaitingTransactionGoFirst(Storage &f, int wait_ms) {
  // This process has just given way (78) to a transaction that waited for a file it held,
  // and starts again. Taken at once, the file would go back to it before the waiting
  // transaction's next try, and it would give way again, round after round.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
  for (int tries = 0; f.OthersWaitForWrites(); ++tries) {
    if (std::chrono::steady_clock::now() >= deadline) return;
    PauseBeforeRetry(tries);
  }
}

int Engine::BeginWriteHoldingOthers(Storage &f, int wait_ms) {
  // Another transaction may hold this file and wait for one this transaction holds: then
  // both would wait until the time ran out. While this one waits, its wait is marked on the
  // file, and it looks for such marks on the files it holds. Of two transactions waiting on
  // each other (or a ring of them), the one waiting for the file of the higher identity gives
  // way (78); the other then goes on.
  const int kept_ms = f.BusyTimeout();
  f.SetBusyTimeout(0);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
  int status = f.BeginWrite();
  const bool waits = status == B_FILE_INUSE;
  if (waits) f.MarkLockedRecordsWaiting(true);
  bool marked = false;
  for (int tries = 0; status == B_FILE_INUSE; ++tries) {
    if (!marked) marked = f.MarkWaitForWrites(true);
    bool gives_way = false;
    for (Storage *held : transaction_files_)
      gives_way = gives_way || (f.identity > held->identity && held->OthersWaitForWrites());
    if (gives_way) {
      status = B_DEADLOCK;
      break;
    }
    if (std::chrono::steady_clock::now() >= deadline) break;
    PauseBeforeRetry(tries);
    status = f.BeginWrite();
  }
  if (status == B_DEADLOCK) gave_way_ = true;
  if (marked) f.MarkWaitForWrites(false);
  if (waits) f.MarkLockedRecordsWaiting(false);
  f.SetBusyTimeout(kept_ms);
  return status;
}

int Engine::CommitOp(Storage &f) {
  if (!in_transaction_) return f.CommitWrite();
  f.NoteWrite();
  return 0;
}

void Engine::AbandonOp(Storage &f) {
  if (!in_transaction_) f.RollbackWrite();
}

void Engine::FailOp(Storage &f, int status) {
  if (!in_transaction_) {
    f.RollbackWrite();
    return;
  }
  for (Storage *t : transaction_files_)
    t->RollbackWrite();
  transaction_files_.clear();
  transaction_failure_ = status;
}

std::vector<int64_t> Engine::SeqsOf(const Storage &f, const std::string &blob, int64_t pos) const {
  const auto &keys = f.Spec().keys;
  std::vector<int64_t> seqs(keys.size());
  for (size_t k = 0; k < keys.size(); ++k)
    seqs[k] = EntrySeq(keys[k], k, blob, pos);
  return seqs;
}

int Engine::KeyValueTaken(Storage &f, size_t key, const std::string &k, bool *taken) {
  return f.EntryExists(key, k, taken);
}

int Engine::InsertKeyEntries(Storage &f, const std::string &record, int64_t pos,
                             const std::vector<int64_t> &seqs, size_t *done) {
  const FileSpec &spec = f.Spec();
  const uint8_t *rec = reinterpret_cast<const uint8_t *>(record.data());
  for (*done = 0; *done < spec.keys.size(); ++*done) {
    size_t k = *done;
    if (IsNullKey(spec.keys[k], rec)) continue;
    int status = f.AddEntry(k, EncodeKeyFromRecord(spec, spec.keys[k], rec), seqs[k], pos);
    if (status != 0) return status;
  }
  return 0;
}

int Engine::DeleteKeyEntries(Storage &f, const std::string &record,
                             const std::vector<int64_t> &seqs, size_t keys) {
  const FileSpec &spec = f.Spec();
  const uint8_t *rec = reinterpret_cast<const uint8_t *>(record.data());
  for (size_t k = 0; k < keys; ++k) {
    if (IsNullKey(spec.keys[k], rec)) continue;
    int status = f.RemoveEntry(k, EncodeKeyFromRecord(spec, spec.keys[k], rec), seqs[k]);
    if (status != 0) return status;
  }
  return 0;
}

int Engine::AssignAutoIncrement(Storage &f, std::string &record) {
  const FileSpec &spec = f.Spec();
  uint8_t *rec = reinterpret_cast<uint8_t *>(record.data());
  for (size_t k = 0; k < spec.keys.size(); ++k) {
    const KeyDef &key = spec.keys[k];
    int si = key.AutoIncrementSegment();
    if (si < 0) continue;
    const SegmentSpec &seg = key.segments[si];
    uint8_t *field = rec + seg.position - 1;
    if (ReadSignedLE(field, seg.length) != 0) continue;
    int64_t highest = 0;
    if (si == 0) {
      // The first segment orders the index: the highest value is at one end.
      RowBatch end;
      int status = f.Seek(k, seg.Descending() ? Seek::kFirst : Seek::kLast, {}, 0, 1, &end);
      if (status != 0) return status;
      if (!end.Empty()) highest = DecodeIntegerSegment(seg, end.At(0).k);
    } else {
      size_t end = static_cast<size_t>(seg.position - 1 + seg.length);
      int status = f.ScanRecords([&](int64_t, std::string_view d, std::string_view) {
        if (d.size() >= end) {
          int64_t v = ReadSignedLE(reinterpret_cast<const uint8_t *>(d.data()) + seg.position - 1,
                                   seg.length);
          if (v > highest) highest = v;
        }
        return 0;
      });
      if (status != 0) return status;
    }
    // The next number must fit the field: wrapped round, it would be stored negative (and
    // the insert after it would meet it as a duplicate).
    const int64_t largest = seg.length >= 8 ? INT64_MAX : (int64_t{1} << (8 * seg.length - 1)) - 1;
    if (highest >= largest) return B_DUPLICATE_KEY_VALUE;
    WriteSignedLE(field, seg.length, highest + 1);
  }
  return 0;
}

int Engine::CheckKey(const CallArgs &a, const Storage &f, int key, bool need_buffer) const {
  if (key < 0 || key >= static_cast<int>(f.Spec().keys.size())) return B_INVALID_KEYNUMBER;
  if (need_buffer && (a.key == nullptr || a.key_length < f.Spec().keys[key].Length())) {
    return B_KEYBUF_TOO_SHORT;
  }
  return 0;
}

void Engine::ReturnKey(const CallArgs &a, const KeyDef &key, std::string_view data) const {
  if (a.key == nullptr) return;
  // The segments one after the other, as far as the caller's key buffer reaches.
  size_t at = 0;
  for (const SegmentSpec &s : key.segments) {
    if (at >= a.key_length) break;
    size_t n = std::min<size_t>(s.length, a.key_length - at);
    std::memcpy(a.key + at, data.data() + s.position - 1, n);
    at += n;
  }
}

void Engine::ReturnRecord(const CallArgs &a, std::string_view data, int *status) const {
  uint32_t room = a.data != nullptr ? a.DataLength() : 0;
  size_t n = data.size() < room ? data.size() : room;
  if (n > 0) std::memcpy(a.data, data.data(), n);
  a.SetDataLength(static_cast<uint32_t>(n));
  if (n < data.size()) *status = B_DATALENGTH_ERROR;
}

int Engine::Insert(const CallArgs &a, Cursor &c) {
  Storage &f = *c.file;
  const FileSpec &spec = f.Spec();
  if (c.read_only) return B_ACCESS_TO_FILE_DENIED;
  if (a.data == nullptr || a.DataLength() < spec.record_length) return B_DATALENGTH_ERROR;
  int key = a.Key();
  if (key != -1) {
    int status = CheckKeyNow(a, f, key);
    if (status != 0) return status;
  }
  uint32_t length = spec.VariableLength() ? a.DataLength() : spec.record_length;
  std::string record(reinterpret_cast<const char *>(a.data), length);
  const uint8_t *rec = reinterpret_cast<const uint8_t *>(record.data());

  int status = BeginOp(f);
  if (status != 0) return status;
  // Beginning the write may have read keys another process created or dropped since.
  FollowKeyChanges(f);
  if (key != -1 && (status = CheckKey(a, f, key, true)) != 0) {
    AbandonOp(f);
    return status;
  }
  // Numbered only once the highest number is known: a failed read stores nothing.
  status = AssignAutoIncrement(f, record);
  if (status != 0) {
    AbandonOp(f);
    return status;
  }
  int64_t pos = 0;
  status = f.InsertRecord(record, &pos);
  if (status != 0) {
    AbandonOp(f);  // a failed statement leaves nothing behind
    return status;
  }
  std::vector<int64_t> seqs = SeqsOf(f, std::string(), pos);
  // A duplicate of a unique key is found by that key's primary key. Outside a transaction
  // the statement transaction is rolled back; inside one, what this insert wrote is taken
  // out again.
  size_t done = 0;
  status = pos > INT32_MAX ? B_DISK_FULL : InsertKeyEntries(f, record, pos, seqs, &done);
  if (status == B_DUPLICATE_KEY_VALUE || status == B_DISK_FULL) {
    if (!in_transaction_) {
      AbandonOp(f);
      return status;
    }
    // Only while the store still holds the transaction: had it undone it, these deletes would
    // each commit on their own, against records the transaction had removed and that are
    // back (such a record would lose its key entry).
    if (f.InWrite() && DeleteKeyEntries(f, record, seqs, done) == 0 && f.RemoveRecord(pos) == 0) {
      (void)CommitOp(f);  // inside a transaction it only notes the write
      return status;
    }
  }
  if (status != 0) {
    FailOp(f, status);
    return status;
  }
  status = CommitOp(f);
  if (status != 0) return status;

  std::memcpy(a.data, record.data(), spec.record_length);  // auto-increment values
  if (key != -1) {
    const KeyDef &kd = spec.keys[key];
    std::string k = EncodeKeyFromRecord(spec, kd, rec);
    c.SetLogical(key, Row{k, seqs[key], pos, {}});
    c.SetImage(record);
    ReturnKey(a, kd, record);
  }
  return 0;
}

int Engine::Update(const CallArgs &a, Cursor &c) {
  Storage &f = *c.file;
  const FileSpec &spec = f.Spec();
  if (c.read_only) return B_ACCESS_TO_FILE_DENIED;
  if (!c.has_current) return B_POSITIONING_ERROR;
  if (a.data == nullptr || a.DataLength() < spec.record_length) return B_DATALENGTH_ERROR;
  int key = a.Key();
  if (key != -1) {
    int status = CheckKeyNow(a, f, key);
    if (status != 0) return status;
  }
  uint32_t length = spec.VariableLength() ? a.DataLength() : spec.record_length;
  std::string record(reinterpret_cast<const char *>(a.data), length);
  const uint8_t *rec = reinterpret_cast<const uint8_t *>(record.data());

  const int64_t pos = c.current_pos;
  int status = TakeWriteLock(f, pos);
  if (status != 0) return status;
  status = BeginOp(f);
  if (status != 0) {
    ReleaseWriteLock(f, pos);
    return status;
  }
  FollowKeyChanges(f);
  if (key != -1) status = CheckKey(a, f, key, true);
  std::string old;
  std::string old_seqs_blob;
  if (status == 0) status = ReadCurrentForWrite(f, c, &old, &old_seqs_blob);
  // What changes in each key, checked in full before anything is written.
  struct Change {
    bool old_null, new_null;
    std::string old_k, new_k;
  };
  std::vector<Change> changes(spec.keys.size());
  const uint8_t *old_rec = reinterpret_cast<const uint8_t *>(old.data());
  for (size_t k = 0; status == 0 && k < spec.keys.size(); ++k) {
    const KeyDef &kd = spec.keys[k];
    Change &ch = changes[k];
    ch.old_null = IsNullKey(kd, old_rec);
    ch.new_null = IsNullKey(kd, rec);
    ch.old_k = EncodeKeyFromRecord(spec, kd, old_rec);
    ch.new_k = EncodeKeyFromRecord(spec, kd, rec);
    if (!kd.Modifiable() && KeyValueFromRecord(kd, old_rec) != KeyValueFromRecord(kd, rec)) {
      status = B_MODIFIABLE_KEYVALUE_ERROR;
    } else if (!kd.Duplicates() && !ch.new_null && (ch.old_null || ch.old_k != ch.new_k)) {
      bool taken = false;
      status = KeyValueTaken(f, k, ch.new_k, &taken);
      if (status == 0 && taken) status = B_DUPLICATE_KEY_VALUE;
    }
  }
  if (status != 0) {
    AbandonOp(f);
    ReleaseWriteLock(f, pos);
    return status;
  }
  std::vector<int64_t> seqs = SeqsOf(f, old_seqs_blob, pos);
  bool seqs_changed = false;
  for (size_t k = 0; status == 0 && k < spec.keys.size(); ++k) {
    const Change &ch = changes[k];
    if (ch.old_null == ch.new_null && ch.old_k == ch.new_k) continue;
    if (!ch.old_null) status = f.RemoveEntry(k, ch.old_k, seqs[k]);
    if (status == 0 && !ch.new_null) {
      // A record moved along a key with duplicates goes after the others of its value.
      if (spec.keys[k].Duplicates()) {
        status = f.NextSequence(&seqs[k]);
        seqs_changed = true;
      }
      if (status == 0) status = f.AddEntry(k, ch.new_k, seqs[k], pos);
    }
  }
  if (status == 0) {
    std::string packed = seqs_changed ? PackSeqs(seqs) : std::string();
    status = f.RewriteRecord(pos, record, seqs_changed ? &packed : nullptr);
  }
  if (status != 0) {
    FailOp(f, status);
    ReleaseWriteLock(f, pos);
    return status;
  }
  status = CommitOp(f);
  ReleaseWriteLock(f, pos, status == 0);
  if (status != 0) return status;
  if (key != -1) {
    const KeyDef &kd = spec.keys[key];
    c.SetLogical(key, Row{changes[key].new_k, seqs[key], pos, {}});
    ReturnKey(a, kd, record);
  }
  c.SetImage(record);
  if (c.single_lock == pos) ReleaseSingle(c);  // multiple locks stay
  return 0;
}

int Engine::Delete(const CallArgs &, Cursor &c) {
  Storage &f = *c.file;
  const FileSpec &spec = f.Spec();
  if (c.read_only) return B_ACCESS_TO_FILE_DENIED;
  if (!c.has_current) return B_POSITIONING_ERROR;
  const int64_t pos = c.current_pos;
  int status = TakeWriteLock(f, pos);
  if (status != 0) return status;
  status = BeginOp(f);
  if (status != 0) {
    ReleaseWriteLock(f, pos);
    return status;
  }
  FollowKeyChanges(f);
  std::string old;
  std::string seqs_blob;
  status = ReadCurrentForWrite(f, c, &old, &seqs_blob);
  if (status != 0) {
    AbandonOp(f);
    ReleaseWriteLock(f, pos);
    return status;
  }
  std::vector<int64_t> seqs = SeqsOf(f, seqs_blob, pos);
  status = DeleteKeyEntries(f, old, seqs, spec.keys.size());
  if (status == 0) status = f.RetirePosition(pos);
  if (status == 0) status = f.RemoveRecord(pos);
  if (status != 0) {
    FailOp(f, status);
    ReleaseWriteLock(f, pos);
    return status;
  }
  status = CommitOp(f);
  ReleaseWriteLock(f, pos, status == 0);
  if (status != 0) return status;
  // The logical and physical positions stay where the record was, so Next and Step Next
  // continue with the record that followed it.
  c.has_current = false;
  if (c.single_lock == c.current_pos) ReleaseSingle(c);
  if (c.multi_locks.erase(c.current_pos) != 0) f.UnlockRecord(c.current_pos);
  return 0;
}

// ---- Reads ----------------------------------------------------------------------------
//
// Every row read is checked before it is used: a position in range, a record length the
// specification allows, and progress along the path (each row strictly beyond the one
// before). A damaged file therefore ends a read loop with status 2 instead of handing out
// short records or the same records again and again.

namespace {

// Orders two entries of a key: the key bytes (as the index compares them), then the sequence.
int CompareEntries(std::string_view ka, int64_t sa, std::string_view kb, int64_t sb) {
  int c = ka.compare(kb);
  if (c != 0) return c;
  return sa < sb ? -1 : (sa > sb ? 1 : 0);
}

bool PositionInRange(int64_t pos) {
  return pos > 0 && pos <= INT32_MAX;
}

}  // namespace

int Engine::FetchAlongKey(Cursor &c, int key, Seek how, const std::string *k, int64_t seq,
                          size_t limit, RowBatch *rows) {
  const FileSpec &spec = c.file->Spec();
  std::string_view from = k != nullptr ? std::string_view(*k) : std::string_view();
  int status = c.file->Seek(static_cast<size_t>(key), how, from, seq, limit, rows);
  if (status != 0) return status;
  const bool down = Descending(how);
  for (size_t i = 0; i < rows->Size(); ++i) {
    Row r = rows->At(i);
    // The row must be sound and lie where the read promised, beyond the one before it.
    bool placed = PositionInRange(r.pos) && spec.FitsRecord(r.data.size());
    int vs_from = k != nullptr ? r.k.compare(from) : 0;
    switch (how) {
      case Seek::kEqual:
        placed = placed && vs_from == 0;
        break;
      case Seek::kGreater:
        placed = placed && vs_from > 0;
        break;
      case Seek::kGreaterOrEqual:
        placed = placed && vs_from >= 0;
        break;
      case Seek::kLess:
        placed = placed && vs_from < 0;
        break;
      case Seek::kLessOrEqual:
        placed = placed && vs_from <= 0;
        break;
      case Seek::kAfter:
        placed = placed && CompareEntries(r.k, r.seq, from, seq) > 0;
        break;
      case Seek::kBefore:
        placed = placed && CompareEntries(r.k, r.seq, from, seq) < 0;
        break;
      default:
        break;
    }
    if (placed && i > 0) {
      Row last = rows->At(i - 1);
      int order = CompareEntries(r.k, r.seq, last.k, last.seq);
      placed = down ? order < 0 : order > 0;
    }
    if (!placed) {
      // Damage ends the batch: the rows before it are served, the damage is reported when the
      // cursor reaches it.
      if (i == 0) return B_IO_ERROR;
      rows->Truncate(i);
      break;
    }
  }
  return 0;
}

bool Engine::AheadValid(Cursor &c, int key, int direction) {
  Cursor::ReadAhead &ra = c.ahead;
  if (ra.key != key || ra.direction != direction || ra.next >= ra.rows.Size()) return false;
  if (ra.generation != c.file->WriteGeneration()) return false;
  if (!c.file->StampsCommits() && ra.call != call_serial_) return false;
  // The row before `next` must be where the cursor stands.
  Row last = ra.rows.At(ra.next - 1);
  if (key >= 0) {
    if (!c.has_logical || c.logical_seq != last.seq || c.logical_k != last.k) return false;
  } else if (!c.has_physical || c.physical_pos != last.pos) {
    return false;
  }
  return c.file->SameStamp(ra.stamp);
}

size_t Engine::AheadBatch(const Cursor &c, int key, int direction) const {
  const Cursor::ReadAhead &ra = c.ahead;
  const bool going_on = ra.key == key && ra.direction == direction;
  if (c.file->StampsCommits()) {
    if (!going_on) return 4;
    // Doubled while each batch is used up. One that a commit of another process (or a write
    // of this one) made stale first shows how far a batch lasts now: under a stream of
    // commits a full batch would be read again for every row.
    if (ra.next < ra.rows.Size()) return std::clamp<size_t>(ra.next * 2, 4, kMaxReadAhead);
    return std::min(ra.batch * 2, kMaxReadAhead);
  }
  // Rows read ahead serve this call only: a Get or Step reads one row, an extended operation
  // many at a time, from a few times the records it asks for (one round trip where most
  // records match), twice as many each time after.
  if (bulk_rows_ == 0) return 1;
  if (going_on && ra.call == call_serial_) return std::min(ra.batch * 2, kMaxBulkReadAhead);
  return std::clamp<size_t>(bulk_rows_ * 4, 1024, kMaxBulkReadAhead);
}

int Engine::NextAlongPath(Cursor &c, int key, int direction, Row *row) {
  Cursor::ReadAhead &ra = c.ahead;
  if (AheadValid(c, key, direction)) {
    *row = ra.rows.At(ra.next++);
    return 0;
  }
  size_t batch = AheadBatch(c, key, direction);
  ra.key = -2;
  // The stamp is taken before the read: a commit in between makes the cache look stale
  // (one read too many), never fresh.
  ra.stamp = c.file->ChangeStamp();
  int status = FetchAlongKey(c, key, direction > 0 ? Seek::kAfter : Seek::kBefore, &c.logical_k,
                             c.logical_seq, batch, &ra.rows);
  if (status != 0) return status;
  if (ra.rows.Empty()) return B_END_OF_FILE;
  ra.key = key;
  ra.direction = direction;
  ra.batch = batch;
  ra.call = call_serial_;
  ra.generation = c.file->WriteGeneration();
  ra.next = 1;
  *row = ra.rows.At(0);
  return 0;
}

int Engine::Get(const CallArgs &a, Cursor &c, int op, bool key_only) {
  Storage &f = *c.file;
  const FileSpec &spec = f.Spec();
  int key = a.Key();
  int status = CheckKey(a, f, key, true);
  if (status != 0) return status;
  const KeyDef &kd = spec.keys[key];

  const bool stepwise = op == B_GET_NEXT || op == B_GET_PREVIOUS;
  if (stepwise) {
    if (!c.has_logical) return B_POSITIONING_ERROR;
    if (c.key_path != key) return B_DIFFERENT_KEYNUMBER;
  }
  Seek how = Seek::kFirst;
  switch (op) {
    case B_GET_EQUAL:
      how = Seek::kEqual;
      break;
    case B_GET_GREATER:
      how = Seek::kGreater;
      break;
    case B_GET_GE:
      how = Seek::kGreaterOrEqual;
      break;
    case B_GET_LESS:
      how = Seek::kLess;
      break;
    case B_GET_LE:
      how = Seek::kLessOrEqual;
      break;
    case B_GET_LAST:
      how = Seek::kLast;
      break;
    default:
      break;
  }
  const bool keyed = !stepwise && how != Seek::kFirst && how != Seek::kLast;
  std::string k;
  if (keyed) k = EncodeKeyValue(spec, kd, a.key);

  Row row;
  std::string fresh;
  for (int attempt = 0;; ++attempt) {
    if (stepwise) {
      status = NextAlongPath(c, key, op == B_GET_NEXT ? 1 : -1, &row);
      if (status != 0) return status;
    } else {
      c.ahead.key = -2;
      status = FetchAlongKey(c, key, how, keyed ? &k : nullptr, 0, 1, &c.ahead.rows);
      if (status != 0) return status;
      if (c.ahead.rows.Empty()) return op == B_GET_EQUAL ? B_KEY_VALUE_NOT_FOUND : B_END_OF_FILE;
      row = c.ahead.rows.At(0);
    }
    bool moved = false;
    status = LockAndReread(c, key, &row, &fresh, &moved);
    if (status != 0) {
      c.ahead.key = -2;  // the position stays where it was
      return status;
    }
    if (!moved) break;
    c.ahead.key = -2;
    if (attempt >= kMaxRereads) return B_RECORD_INUSE;
  }
  c.SetLogical(key, row);
  c.SetImage(row.data);
  status = 0;
  if (!key_only) ReturnRecord(a, row.data, &status);
  ReturnKey(a, kd, row.data);
  return status;
}

int Engine::NextPhysical(Cursor &c, int direction, Row *row) {
  Cursor::ReadAhead &ra = c.ahead;
  if (AheadValid(c, -1, direction)) {
    *row = ra.rows.At(ra.next++);
    return 0;
  }
  Storage &f = *c.file;
  size_t batch = AheadBatch(c, -1, direction);
  ra.key = -2;
  ra.stamp = f.ChangeStamp();
  int status = f.ReadPhysical(c.physical_pos, direction, batch, &ra.rows);
  if (status != 0) return status;
  int64_t last = c.physical_pos;
  for (size_t i = 0; i < ra.rows.Size(); ++i) {
    Row r = ra.rows.At(i);
    // Each position lies strictly beyond the one before: a damaged table cannot make a
    // walk repeat itself.
    if (!PositionInRange(r.pos) || (direction > 0 ? r.pos <= last : r.pos >= last) ||
        !f.Spec().FitsRecord(r.data.size())) {
      if (i == 0) return B_IO_ERROR;
      ra.rows.Truncate(i);  // the rows before the damage are served; the next read meets it
      break;
    }
    last = r.pos;
  }
  if (ra.rows.Empty()) return B_END_OF_FILE;
  ra.key = -1;
  ra.direction = direction;
  ra.batch = batch;
  ra.call = call_serial_;
  ra.generation = f.WriteGeneration();
  ra.next = 1;
  *row = ra.rows.At(0);
  return 0;
}

int Engine::Step(const CallArgs &a, Cursor &c, int op) {
  Storage &f = *c.file;
  Row row;
  std::string fresh;
  for (int attempt = 0;; ++attempt) {
    if (op == B_STEP_FIRST || op == B_STEP_LAST) {
      c.ahead.key = -2;
      bool first = op == B_STEP_FIRST;
      int status = f.ReadPhysical(first ? 0 : INT64_MAX, first ? 1 : -1, 1, &c.ahead.rows);
      if (status != 0) return status;
      if (c.ahead.rows.Empty()) return B_END_OF_FILE;
      row = c.ahead.rows.At(0);
      if (!PositionInRange(row.pos) || !f.Spec().FitsRecord(row.data.size())) return B_IO_ERROR;
    } else {
      if (!c.has_physical) return B_POSITIONING_ERROR;
      int status = NextPhysical(c, op == B_STEP_NEXT ? 1 : -1, &row);
      if (status != 0) return status;
    }
    bool moved = false;
    int status = LockAndReread(c, -1, &row, &fresh, &moved);
    if (status != 0) {
      c.ahead.key = -2;
      return status;
    }
    if (!moved) break;
    c.ahead.key = -2;
    if (attempt >= kMaxRereads) return B_RECORD_INUSE;
  }
  c.SetPhysical(row.pos);
  c.SetImage(row.data);
  int status = 0;
  ReturnRecord(a, row.data, &status);
  return status;
}

int Engine::GetPosition(const CallArgs &a, Cursor &c) {
  // After an extended operation the last record it examined is current, though Update and
  // Delete still need a Get or Step.
  if (!c.has_current && !c.extended_position) return B_POSITIONING_ERROR;
  if (a.data == nullptr || a.DataLength() < 4) return B_DATALENGTH_ERROR;
  PutU32(a.data, static_cast<uint32_t>(c.current_pos));
  a.SetDataLength(4);
  return 0;
}

int Engine::GetDirect(const CallArgs &a, Cursor &c) {
  Storage &f = *c.file;
  const FileSpec &spec = f.Spec();
  if (a.data == nullptr || a.DataLength() < 4) return B_DATALENGTH_ERROR;
  int64_t pos = static_cast<int32_t>(GetU32(a.data));
  int key = a.Key();
  if (key != -1) {
    int status = CheckKey(a, f, key, true);
    if (status != 0) return status;
  }
  if (!PositionInRange(pos)) return B_INVALID_RECORD_ADDRESS;
  c.ahead.key = -2;
  // The lock comes first, so the record read is the one the lock protects.
  bool acquired = false;
  int status = LockForRead(c, pos, &acquired);
  if (status != 0) return status;
  std::string data;
  std::string seqs_blob;
  status = f.ReadRecord(pos, &data, &seqs_blob);
  if (status != 0) {
    if (acquired) GiveBackReadLock(c, pos);
    return status;
  }
  if (key == -1) {
    c.SetPhysical(pos);
  } else {
    const KeyDef &kd = spec.keys[key];
    const uint8_t *rec = reinterpret_cast<const uint8_t *>(data.data());
    std::string k = EncodeKeyFromRecord(spec, kd, rec);
    c.SetLogical(key, Row{k, SeqsOf(f, seqs_blob, pos)[key], pos, {}});
    ReturnKey(a, kd, data);
  }
  c.SetImage(data);
  status = 0;
  ReturnRecord(a, data, &status);
  return status;
}

int Engine::Unlock(const CallArgs &a, Cursor &c) {
  int key = a.Key();
  if (key >= 0) {
    if (c.single_lock == 0) return B_LOCKERROR;
    ReleaseSingle(c);
    return 0;
  }
  if (key == -1) {
    if (a.data == nullptr || a.DataLength() < 4) return B_DATALENGTH_ERROR;
    int64_t pos = static_cast<int32_t>(GetU32(a.data));
    if (c.multi_locks.erase(pos) == 0) return B_LOCKERROR;
    c.file->UnlockRecord(pos);
    return 0;
  }
  if (key == -2) {
    if (c.multi_locks.empty()) return B_LOCKERROR;
    ReleaseMulti(c);
    return 0;
  }
  return B_LOCKERROR;
}

int Engine::LockForRead(Cursor &c, int64_t pos, bool *acquired) {
  if (acquired) *acquired = false;
  if (bias_ == 0) return 0;
  bool single = bias_ == B_SINGLE_WAIT_LOCK || bias_ == B_SINGLE_NOWAIT_LOCK;
  bool wait = bias_ == B_SINGLE_WAIT_LOCK || bias_ == B_MULTIPLE_WAIT_LOCK;
  if (single ? c.single_lock == pos : c.multi_locks.count(pos) != 0) return 0;
  if (wait && in_transaction_ && transaction_files_.count(c.file.get()) != 0) {
    if (int status = WaitForLockAgainstWriters(*c.file, pos); status != 0) return status;
  } else if (!c.file->LockRecord(pos, wait ? LockWaitMilliseconds() : 0)) {
    return B_RECORD_INUSE;
  }
  if (single) {
    ReleaseSingle(c);  // a single lock goes with the next locked read
    c.single_lock = pos;
  } else {
    c.multi_locks.insert(pos);
  }
  if (acquired) *acquired = true;
  return 0;
}

int Engine::WaitForLockAgainstWriters(Storage &f, int64_t pos) {
  // This transaction holds the file against other processes' writes. The lock may be held by
  // another process that waits to write the file (this record, or another while it holds
  // this one): it waits for this transaction's end, so waiting for it would only run out
  // the time.
  auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(LockWaitMilliseconds());
  for (int tries = 0;; ++tries) {
    if (f.LockRecord(pos, 0)) return 0;
    if (f.HolderWaitsForWrites(pos)) return B_DEADLOCK;
    if (std::chrono::steady_clock::now() >= deadline) return B_RECORD_INUSE;
    PauseBeforeRetry(tries);
  }
}

void Engine::GiveBackReadLock(Cursor &c, int64_t pos) {
  if (c.single_lock == pos) {
    ReleaseSingle(c);
  } else if (c.multi_locks.erase(pos) != 0) {
    c.file->UnlockRecord(pos);
  }
}

int Engine::LockAndReread(Cursor &c, int key, Row *row, std::string *fresh, bool *moved) {
  *moved = false;
  if (bias_ == 0) return 0;  // an unlocked read keeps the row as read
  bool acquired = false;
  int status = LockForRead(c, row->pos, &acquired);
  if (status != 0 || !acquired) return status;
  // Another process may have written the record between the read and the lock (or while
  // this call waited for it): what the caller gets is the record as the lock finds it.
  Storage &f = *c.file;
  std::string seqs_blob;
  status = f.ReadRecord(row->pos, fresh, key >= 0 ? &seqs_blob : nullptr);
  if (status == B_INVALID_RECORD_ADDRESS) {
    GiveBackReadLock(c, row->pos);
    *moved = true;
    return 0;
  }
  if (status != 0) {
    GiveBackReadLock(c, row->pos);
    return status;
  }
  if (key >= 0) {
    const FileSpec &spec = f.Spec();
    const KeyDef &kd = spec.keys[key];
    const uint8_t *rec = reinterpret_cast<const uint8_t *>(fresh->data());
    bool same_entry = !IsNullKey(kd, rec) && SeqsOf(f, seqs_blob, row->pos)[key] == row->seq &&
                      EncodeKeyFromRecord(spec, kd, rec) == row->k;
    if (!same_entry) {
      GiveBackReadLock(c, row->pos);
      // An unchanged record that does not match its own index entry: the index is damaged.
      if (*fresh == row->data) return B_IO_ERROR;
      *moved = true;
      return 0;
    }
  }
  row->data = *fresh;
  return 0;
}

int Engine::TakeWriteLock(Storage &f, int64_t pos) {
  // Another process's write of this record ends soon: wait for it, then read what it wrote
  // (80 when it changed the record). Inside a transaction only a short while, as the write
  // may wait for a file this transaction writes; not at all when it writes this one, as
  // that write cannot end before this transaction does.
  bool writing;
  if (!in_transaction_) {
    writing = f.LockWriting(pos, f.BusyTimeout());
  } else if (transaction_files_.count(&f) != 0) {
    writing = f.LockWriting(pos, 0);
  } else if (transaction_files_.empty()) {
    writing = f.LockWriting(pos, kNoWaitGraceMs);
  } else {
    writing = WaitForWritingHoldingOthers(f, pos);
  }
  if (!writing) return B_RECORD_INUSE;
  // Held for the whole write, so a locked read of another process either comes before the
  // write (and the write gives 84) or sees the write committed.
  if (f.LockRecord(pos, 0)) return 0;
  f.UnlockWriting(pos);
  return B_RECORD_INUSE;
}

bool Engine::WaitForWritingHoldingOthers(Storage &f, int64_t pos) {
  // The write running on the record may itself wait for a file this transaction holds; a
  // process marks the records it holds while it waits for a file. Waiting out the grace for
  // such a write would hold back every writer of this transaction's files for nothing.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kNoWaitGraceMs);
  for (int tries = 0;; ++tries) {
    if (f.LockWriting(pos, 0)) return true;
    if (f.RecordHolderWaitsForWrites(pos)) return false;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    PauseBeforeRetry(tries);
  }
}

void Engine::ReleaseWriteLock(Storage &f, int64_t pos, bool wrote) {
  bool kept = false;
  if (wrote && in_transaction_ && transaction_failure_ == 0) {
    auto it = files_.find(f.identity);
    if (it != files_.end() && it->second.get() == &f) {
      // Another process must not read the record locked, nor write it, before End/Abort.
      transaction_locks_.emplace_back(it->second, pos);
      kept = true;
    }
  }
  // The record lock goes first: a write that then takes the writing lock finds the record
  // lock free, or held by a user or a transaction.
  if (!kept) f.UnlockRecord(pos);
  f.UnlockWriting(pos);
}

int Engine::ReadCurrentForWrite(Storage &f, const Cursor &c, std::string *data,
                                std::string *seqs_blob) {
  int status = f.ReadRecord(c.current_pos, data, seqs_blob);
  // Deleted or changed by another writer since this block read it: the optimistic promise.
  if (status == B_INVALID_RECORD_ADDRESS) return B_CONFLICT;
  if (status != 0) return status;
  return *data == c.current_image ? 0 : B_CONFLICT;
}

void Engine::ReleaseSingle(Cursor &c) {
  if (c.single_lock == 0) return;
  c.file->UnlockRecord(c.single_lock);
  c.single_lock = 0;
}

void Engine::ReleaseMulti(Cursor &c) {
  for (int64_t pos : c.multi_locks)
    c.file->UnlockRecord(pos);
  c.multi_locks.clear();
}

void Engine::ReleaseAllLocks() {
  for (auto &kv : cursors_) {
    ReleaseSingle(*kv.second);
    ReleaseMulti(*kv.second);
  }
  ReleaseTransactionLocks();
}

void Engine::ReleaseTransactionLocks() {
  for (auto &held : transaction_locks_)
    held.first->UnlockRecord(held.second);
  transaction_locks_.clear();
}

// ---- Percentages ----------------------------------------------------------------------

int Engine::CountEntries(Storage &f, int key, int64_t *count) {
  return key < 0 ? f.CountRecords(count) : f.CountEntries(static_cast<size_t>(key), count);
}

int Engine::GetByPercentage(const CallArgs &a, Cursor &c) {
  Storage &f = *c.file;
  int key = a.Key();
  if (key != -1) {
    int status = CheckKey(a, f, key, true);
    if (status != 0) return status;
  }
  if (a.data == nullptr || a.DataLength() < 2) return B_DATALENGTH_ERROR;
  uint32_t percent = GetU16(a.data);
  if (percent > kPercentScale) return B_DATALENGTH_ERROR;
  c.ahead.key = -2;
  std::string fresh;
  RowBatch &found = c.ahead.rows;
  Row row;
  for (int attempt = 0;; ++attempt) {
    int64_t n = 0;
    int status = CountEntries(f, key, &n);
    if (status != 0) return status;
    if (n == 0) return B_END_OF_FILE;
    int64_t rank =
        static_cast<int64_t>(std::llround(static_cast<double>(percent) * (n - 1) / kPercentScale));
    status = key == -1 ? f.ReadPhysicalAtRank(rank, &found)
                       : f.EntryAtRank(static_cast<size_t>(key), rank, &found);
    if (status != 0) return status;
    if (found.Empty()) return B_END_OF_FILE;
    row = found.At(0);
    if (!PositionInRange(row.pos) || !f.Spec().FitsRecord(row.data.size())) return B_IO_ERROR;
    bool moved = false;
    status = LockAndReread(c, key, &row, &fresh, &moved);
    if (status != 0) return status;
    if (!moved) break;
    if (attempt >= kMaxRereads) return B_RECORD_INUSE;
  }
  if (key == -1) {
    c.SetPhysical(row.pos);
  } else {
    c.SetLogical(key, row);
    ReturnKey(a, f.Spec().keys[key], row.data);
  }
  c.SetImage(row.data);
  int status = 0;
  ReturnRecord(a, row.data, &status);
  return status;
}

int Engine::FindPercentage(const CallArgs &a, Cursor &c) {
  Storage &f = *c.file;
  int key = a.Key();
  if (a.data == nullptr || a.DataLength() < 4) return B_DATALENGTH_ERROR;
  if (key != -1) {
    int status = CheckKey(a, f, key, true);
    if (status != 0) return status;
  }
  int64_t n = 0;
  int status = CountEntries(f, key, &n);
  if (status != 0) return status;
  int64_t rank = 0;
  if (key == -1) {
    int64_t pos = static_cast<int32_t>(GetU32(a.data));
    int found = pos > 0 ? f.ReadRecord(pos, nullptr, nullptr) : B_INVALID_RECORD_ADDRESS;
    if (found == B_INVALID_RECORD_ADDRESS) return n == 0 ? B_END_OF_FILE : found;
    if (found != 0) return found;
    status = f.CountRecordsBefore(pos, &rank);
    if (status != 0) return status;
  } else {
    if (n == 0) return B_END_OF_FILE;
    std::string k = EncodeKeyValue(f.Spec(), f.Spec().keys[key], a.key);
    bool exists = false;
    status = f.EntryExists(static_cast<size_t>(key), k, &exists);
    if (status != 0) return status;
    if (!exists) return B_KEY_VALUE_NOT_FOUND;
    status = f.CountEntriesBelow(static_cast<size_t>(key), k, &rank);
    if (status != 0) return status;
  }
  if (n == 0) return B_END_OF_FILE;
  uint32_t percent = n <= 1 ? 0
                            : static_cast<uint32_t>(std::llround(static_cast<double>(rank) *
                                                                 kPercentScale / (n - 1)));
  std::memset(a.data, 0, 4);
  PutU16(a.data, static_cast<uint16_t>(percent));
  a.SetDataLength(4);
  return 0;
}

// ---- Indexes and owners -------------------------------------------------------------

int Engine::CreateIndex(const CallArgs &a, Cursor &c) {
  Storage &f = *c.file;
  if (c.read_only) return B_ACCESS_TO_FILE_DENIED;
  if (in_transaction_) return B_OPERATION_NOT_ALLOWED;
  if (a.data == nullptr) return B_DATALENGTH_ERROR;
  // The keys as they are once this process alone writes the file: another process may have
  // created or dropped one since.
  int status = f.BeginWrite();
  if (status != 0) return status;
  FollowKeyChanges(f);
  FileSpec spec = f.Spec();
  KeyDef key;
  std::vector<CollatingTable> tables;
  if (spec.keys.size() >= 119) {
    status = B_NUMBER_OF_KEYS;
  } else {
    status = ParseKeyBuffer(a.data, a.DataLength(), spec, &key, &tables);
  }
  if (status != 0) {
    f.RollbackWrite();
    return status;
  }
  for (SegmentSpec &s : key.segments)
    s.flags |= B_KEY_SUPPLEMENTAL;
  spec.collating_tables.insert(spec.collating_tables.end(), tables.begin(), tables.end());
  spec.keys.push_back(key);
  size_t number = spec.keys.size() - 1;
  status = f.CreateKeyIndex(number);
  if (status == 0) {
    status = f.ScanRecords([&](int64_t pos, std::string_view data, std::string_view) {
      if (!spec.FitsRecord(data.size())) return int{B_IO_ERROR};  // no key from a damaged record
      const uint8_t *rec = reinterpret_cast<const uint8_t *>(data.data());
      if (IsNullKey(key, rec)) return 0;
      return f.AddEntry(number, EncodeKeyFromRecord(spec, key, rec), key.Duplicates() ? pos : 0,
                        pos);
    });
  }
  // Records with explicitly stored sequences have no slot for the new key and read the
  // default for it (their position), which is what the entries above hold.
  if (status == 0) status = f.StoreSpec(spec);
  if (status != 0) {
    f.RollbackWrite();
    return status;
  }
  status = f.CommitWrite();
  if (status != 0) return status;
  f.FollowKeysAsRead();  // the cursors' keys keep their numbers
  return 0;
}

int Engine::DropIndex(const CallArgs &a, Cursor &c) {
  Storage &f = *c.file;
  if (c.read_only) return B_ACCESS_TO_FILE_DENIED;
  if (in_transaction_) return B_OPERATION_NOT_ALLOWED;
  int key = static_cast<uint8_t>(a.key_number);
  if (key >= 128) key -= 128;  // the "keep numbers" bias: keys are renumbered all the same
  int status = f.BeginWrite();
  if (status != 0) return status;
  FollowKeyChanges(f);
  FileSpec spec = f.Spec();
  if (key >= static_cast<int>(spec.keys.size())) {
    f.RollbackWrite();
    return B_INVALID_KEYNUMBER;
  }
  status = f.DropKeyIndex(static_cast<size_t>(key), spec.keys.size());
  spec.keys.erase(spec.keys.begin() + key);
  if (status == 0) status = f.StoreSpec(spec);
  if (status != 0) {
    f.RollbackWrite();
    return status;
  }
  status = f.CommitWrite();
  if (status != 0) return status;
  for (auto &kv : cursors_) {
    Cursor &other = *kv.second;
    if (other.file.get() != &f) continue;
    other.ahead.key = -2;
    if (other.key_path == key) {
      other.key_path = -1;
      other.has_logical = false;
    } else if (other.key_path > key) {
      other.key_path--;
    }
  }
  f.FollowKeysAsRead();
  return 0;
}

int Engine::NoticeKeyChanges(Storage &f, bool always) {
  int status = f.NoticeKeyChanges(always);
  if (status == 0 && f.keys_followed_generation != f.SpecGeneration()) FollowKeyChanges(f);
  return status;
}

int Engine::CheckKeyNow(const CallArgs &a, Storage &f, int key) {
  int status = CheckKey(a, f, key, true);
  if (status != B_INVALID_KEYNUMBER && status != B_KEYBUF_TOO_SHORT) return status;
  // Perhaps a key another process created meanwhile.
  if (int noticed = NoticeKeyChanges(f, true); noticed != 0) return noticed;
  return CheckKey(a, f, key, true);
}

void Engine::FollowKeyChanges(Storage &f) {
  if (f.keys_followed_generation == f.SpecGeneration()) return;
  const std::vector<KeyDef> &now = f.Spec().keys;
  // Each key followed so far is found again by its definition, in order.
  std::vector<int> renumbered(f.keys_followed.size(), -1);
  std::vector<bool> matched(now.size(), false);
  for (size_t i = 0; i < f.keys_followed.size(); ++i) {
    for (size_t j = 0; j < now.size(); ++j) {
      if (!matched[j] && SameKey(f.keys_followed[i], now[j])) {
        renumbered[i] = static_cast<int>(j);
        matched[j] = true;
        break;
      }
    }
  }
  for (auto &kv : cursors_) {
    Cursor &c = *kv.second;
    if (c.file.get() != &f) continue;
    c.ahead.key = -2;
    if (c.key_path < 0) continue;
    size_t old_number = static_cast<size_t>(c.key_path);
    c.key_path = old_number < renumbered.size() ? renumbered[old_number] : -1;
    if (c.key_path < 0) c.has_logical = false;
  }
  f.FollowKeysAsRead();
}

// Owners change the file's header state: inside a transaction they are refused (41), so the
// caller's transaction is never ended or split.
int Engine::SetOwner(const CallArgs &a, Cursor &c) {
  if (c.read_only) return B_ACCESS_TO_FILE_DENIED;
  if (in_transaction_) return B_OPERATION_NOT_ALLOWED;
  if (a.data == nullptr || a.key == nullptr || a.DataLength() == 0) return B_BAD_OWNER;
  const char *d = reinterpret_cast<const char *>(a.data);
  std::string owner(d, strnlen(d, a.DataLength()));
  const char *k = reinterpret_cast<const char *>(a.key);
  std::string again(k, strnlen(k, a.key_length));
  if (owner.empty() || owner.size() > 8 || owner != again) return B_BAD_OWNER;
  if (!c.file->Owner().empty()) return B_BAD_OWNER;
  int mode = a.key_number;
  if (mode < 0 || mode > 3) return B_INVALID_FUNCTION;
  return c.file->SetOwner(owner, mode);
}

int Engine::ClearOwner(const CallArgs &, Cursor &c) {
  if (c.read_only) return B_ACCESS_TO_FILE_DENIED;
  if (in_transaction_) return B_OPERATION_NOT_ALLOWED;
  return c.file->SetOwner(std::string(), 0);
}

// ---- Transactions and release -------------------------------------------------------

int Engine::BeginTransaction(int bias) {
  if (in_transaction_) return B_TRANSACTION_IS_ACTIVE;
  in_transaction_ = true;
  // No-wait biases: a file another process's transaction holds gives 85 almost at once
  // (a short grace rides over other processes' single operations).
  transaction_no_wait_ =
      bias == B_SINGLE_NOWAIT_LOCK || bias == B_MULTIPLE_NOWAIT_LOCK || bias == 500;
  return 0;
}

int Engine::EndTransaction() {
  if (!in_transaction_) return B_END_TRANSACTION_ERROR;
  int status = transaction_failure_;
  transaction_failure_ = 0;
  // Files commit one after the other: each first writes all it holds, so a full disk stops
  // the transaction before any file has committed its part. A commit that fails all the same
  // keeps the files after it from committing theirs.
  if (status == 0 && transaction_files_.size() > 1) {
    for (Storage *f : transaction_files_) {
      status = f->PrepareCommit();
      if (status != 0) break;
    }
  }
  for (Storage *f : transaction_files_) {
    if (status == 0) {
      status = f->CommitWrite();
    } else {
      f->RollbackWrite();
    }
  }
  transaction_files_.clear();
  in_transaction_ = false;
  ReleaseAllLocks();
  for (auto &f : transaction_keepalive_) {
    if (f->open_count == 0) files_.erase(f->identity);
  }
  transaction_keepalive_.clear();
  return status;
}

int Engine::AbortTransaction() {
  if (!in_transaction_) return B_END_TRANSACTION_ERROR;
  transaction_failure_ = 0;
  for (Storage *f : transaction_files_)
    f->RollbackWrite();
  transaction_files_.clear();
  in_transaction_ = false;
  ReleaseAllLocks();
  for (auto &f : transaction_keepalive_) {
    if (f->open_count == 0) files_.erase(f->identity);
  }
  transaction_keepalive_.clear();
  return 0;
}

int16_t Engine::DeleteFile(const char *code_page_path) {
  auto lock = Enter();
  if (code_page_path == nullptr || *code_page_path == '\0') return B_FILENAME_BAD;
  std::optional<std::string> native = zplatform::NativePath(code_page_path);
  if (!native) return B_FILE_NOT_FOUND;
  Store &store = StoreFor(*native);
  uint64_t identity = 0;
  int found = store.Identify(*native, &identity);
  if (found != 0) return found;
  if (files_.count(identity) != 0) return B_FILE_INUSE;  // open in this process
  return store.Delete(*native);
}

int16_t Engine::RenameFile(const char *from_path, const char *to_path) {
  auto lock = Enter();
  if (from_path == nullptr || *from_path == '\0' || to_path == nullptr || *to_path == '\0')
    return B_FILENAME_BAD;
  std::optional<std::string> from = zplatform::NativePath(from_path);
  std::optional<std::string> to = zplatform::NativePath(to_path);
  if (!from || !to) return B_FILE_NOT_FOUND;
  Store &store = StoreFor(*from);
  if (&StoreFor(*to) != &store) return B_FILENAME_BAD;  // a copy, not a rename (btrcopy)
  uint64_t identity = 0;
  int found = store.Identify(*from, &identity);
  if (found != 0) return found;
  if (files_.count(identity) != 0) return B_FILE_INUSE;  // open in this process
  if (store.Identify(*to, &identity) == 0 && files_.count(identity) != 0) return B_FILE_INUSE;
  return store.Rename(*from, *to);
}

void Engine::Release() {
  auto lock = Enter();
  if (in_transaction_) (void)AbortTransaction();  // 0 while a transaction is open
  // The callers' blocks are not touched: they may be gone. Their ids are never reused, so
  // they read as stale (status 3) from now on.
  last_cursor_ = nullptr;
  cursors_.clear();
  files_.clear();
  // The parent's files stay known, so that they are never opened anew here.
  for (auto &f : inherited_files_) {
    f->open_count = 0;
    files_[f->identity] = f;
  }
}

}  // namespace btr
