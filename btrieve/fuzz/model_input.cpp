#include "model_input.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "btrieve/btrapi.h"
#include "fuzz_reader.h"
#include "model_call.h"
#include "model_file.h"
#include "model_filter.h"
#include "model_peer.h"

namespace {

using namespace btrmodel;

// Where the position block stands, as the record manager defines it.
struct CursorModel {
  bool known = true;  // false after Abort: the next read re-establishes a position
  bool logical = false;
  int key = -1;
  std::string kv;
  int64_t seq = 0;
  bool physical = false;
  int64_t phys = 0;
  bool current = false;
  int64_t cur = 0;        // kept when the record is deleted
  std::string image;      // the current record as this block last read or wrote it
  bool extended = false;  // an extended operation set the position
};

class ModelRun {
 public:
  ModelRun(std::string directory, const uint8_t *data, size_t size)
      : in_(data, size), path_(std::move(directory) + "/model.btr") {}
  void Run();

 private:
  std::string NewField(int field);
  std::string NewRecord();
  // Empty when the field holds 0 and no number is left for it.
  std::optional<std::string> Numbered(std::string record) const;
  std::string Tail();
  size_t Room();
  std::map<int64_t, Record>::const_iterator SomeRecord();
  std::string SomeKeyValue(int key);
  int64_t LearnPosition(const std::string &record);
  bool UniqueTaken(const std::string &record, int64_t except) const;

  void Inserts();
  void Insert();
  void Update();
  void Delete();
  void GetByValue();
  void GetNextOrPrevious();
  int NextOrPrevious(bool next, int key, bool key_only, int bias);
  void Step();
  int StepOnce(int op, int bias);
  void PositionAndDirect();
  void Extended();
  void Percentages();
  void Position();
  void Survey();
  void Stat();
  void Transaction();
  void ReopenOrReadElsewhere();
  void Reopen();
  void AnotherProcessReads();
  void Resync();
  void VerifyAll();

  void AnotherProcessWrites();
  bool CurrentChanged() const;
  Record Fresh(const std::string &record);
  void Rewrite(Record &rec, const std::string &record);
  std::string Changed(std::string record, bool first_too);
  void Locked(int bias, int64_t pos);
  bool LockedHere(int64_t pos) const;
  void ReleaseLocks();
  void Unlock();
  void SetLogical(int key, int64_t pos);
  void SetPhysical(int64_t pos);
  const Entry *Beyond(const std::vector<Entry> &path, int key, int direction) const;

  fuzzing::FuzzReader in_;
  std::string path_;
  uint8_t pb_[128] = {};
  uint8_t probe_[128] = {};  // a second cursor on the file, for the model's own questions
  FileModel m_;
  FileModel committed_;  // what other processes see during a transaction
  CursorModel c_;
  bool in_tx_ = false;
  bool variable_ = false;  // a variable-length file
  // The record locks this block holds, and those the open transaction holds on records it
  // updated or deleted: other processes' locked reads and writes of them give 84.
  int64_t single_ = 0;
  std::set<int64_t> multi_;
  std::set<int64_t> tx_written_;
  int serial_ = 0;
  std::unique_ptr<Peer> peer_;
};

const std::string &Directory() {
  static const std::string dir = fuzzing::FuzzScratchDirectory("zelko-model");
  return dir;
}

std::string ModelRun::NewField(int field) {
  std::string f;
  switch (field) {
    case 0: {
      static const int32_t extremes[] = {INT32_MIN, INT32_MAX, -1, 0, 256, -256, 65536, 1};
      int32_t v = in_.Small(8) == 0 ? extremes[in_.Small(8)] : in_.Small(81) - 40;
      f.assign(reinterpret_cast<const char *>(&v), 4);
      break;
    }
    case 1: {  // case-insensitive string, then a descending unsigned
      static const char letters[] = {'a', 'A', 'b', 'B', '_', ' ', '\x81', 'z'};
      for (int i = 0; i < 3; ++i)
        f.push_back(letters[in_.Small(8)]);
      static const uint16_t values[] = {0, 1, 2, 0xFFFF, 0x100};
      uint16_t v = values[in_.Small(5)];
      f.append(reinterpret_cast<const char *>(&v), 2);
      break;
    }
    case 2: {  // zero is null
      static const int16_t values[] = {0, 0, 1, -1, 0x100, -256};
      int16_t v = values[in_.Small(6)];
      f.assign(reinterpret_cast<const char *>(&v), 2);
      break;
    }
    case 3: {
      static const char letters[] = {'a', 'b', 'c', '\0'};
      for (int i = 0; i < 4; ++i)
        f.push_back(letters[in_.Small(4)]);
      break;
    }
    case 4: {  // three digits of 0 to 2, and a sign: +, - or unsigned
      static const uint8_t signs[] = {0x0C, 0x0D, 0x0F};
      uint8_t b = in_.Byte();
      f.push_back(static_cast<char>((b % 3) << 4 | (b / 3 % 3)));
      f.push_back(static_cast<char>((b / 9 % 3) << 4 | signs[b / 27 % 3]));
      break;
    }
    default: {  // auto-increment: mostly 0, to be numbered, else a number of its own
      int32_t v = in_.Small(3) != 0 ? 0 : in_.Small(64) - 3;
      f.assign(reinterpret_cast<const char *>(&v), 4);
      break;
    }
  }
  return f;
}

constexpr int kFieldOffsets[] = {0, 4, 9, 11, 15, 17};

std::string ModelRun::NewRecord() {
  std::string r;
  for (int f = 0; f < kKeys; ++f)
    r += NewField(f);
  std::string payload(kRecordLength - kPayload, '.');
  // The serial's last seven digits mark the record; the field holds no more.
  std::snprintf(payload.data(), payload.size(), "#%d", ++serial_ % 10000000);
  r += payload;
  return r + Tail();
}

// A variable-length record's part beyond the fixed length: any length up to the most.
std::string ModelRun::Tail() {
  if (!variable_) return std::string();
  std::string tail(in_.Small(kMaxTail + 1), '\0');
  for (size_t i = 0; i < tail.size(); ++i)
    tail[i] = static_cast<char>('a' + (serial_ + i) % 26);
  return tail;
}

// The data buffer of a read: mostly room for any record, sometimes too little.
size_t ModelRun::Room() {
  return in_.Small(8) == 0 ? 8 + in_.Small(kMaxRecord) : kRoom;
}

// One of the records, chosen by the input; the model holds at least one.
std::map<int64_t, Record>::const_iterator ModelRun::SomeRecord() {
  auto it = m_.records.cbegin();
  std::advance(it, in_.Byte() % m_.records.size());
  return it;
}

// A key value to search for: mostly one that some record holds.
std::string ModelRun::SomeKeyValue(int key) {
  const KeyModel &k = Keys()[key];
  if (!m_.records.empty() && in_.Small(4) != 0) {
    return KeyValue(k, SomeRecord()->second.data);
  }
  return KeyValue(k, NewRecord());
}

bool ModelRun::UniqueTaken(const std::string &record, int64_t except) const {
  for (int key = 0; key < kKeys; ++key) {
    const KeyModel &k = Keys()[key];
    if (k.duplicates || IsNull(k, record)) continue;
    for (const auto &[pos, rec] : m_.records) {
      if (pos != except && !IsNull(k, rec.data) &&
          CompareKeyValues(k, KeyValue(k, rec.data), KeyValue(k, record)) == 0)
        return true;
    }
  }
  return false;
}

// The position of a record just inserted, asked through the second cursor.
int64_t ModelRun::LearnPosition(const std::string &record) {
  Reply r = Call(B_GET_EQUAL, probe_, "", kRoom, KeyValue(Keys()[0], record), 0);
  if (r.status != 0 || r.data != record) Fail("an inserted record is not found (%d)", r.status);
  r = Call(B_GET_POSITION, probe_, "", kRoom, "", 0);
  if (r.status != 0 || r.data.size() != 4) Fail("Get Position after insert gave %d", r.status);
  int64_t pos = PositionFrom(r.data);
  if (pos <= 0) Fail("position %lld is not positive", static_cast<long long>(pos));
  if (!m_.positions_given.insert(pos).second)
    Fail("position %lld was given before", static_cast<long long>(pos));
  return pos;
}

void ModelRun::SetLogical(int key, int64_t pos) {
  const Record &rec = m_.records.at(pos);
  c_.known = true;
  c_.extended = false;
  c_.logical = true;
  c_.key = key;
  c_.kv = KeyValue(Keys()[key], rec.data);
  c_.seq = rec.seq[key];
  c_.physical = c_.current = true;
  c_.phys = c_.cur = pos;
  c_.image = rec.data;
}

void ModelRun::SetPhysical(int64_t pos) {
  c_.known = true;
  c_.extended = false;
  c_.logical = false;
  c_.key = -1;
  c_.physical = c_.current = true;
  c_.phys = c_.cur = pos;
  c_.image = m_.records.at(pos).data;
}

// The first record of `path` (Path(m_, key), -1 physical order) past where the block
// stands, going up (`direction` 1) or down (-1); null at the end.
const Entry *ModelRun::Beyond(const std::vector<Entry> &path, int key, int direction) const {
  auto past = [&](const Entry &e) {
    int against = key < 0 ? Order(c_.phys, e.pos) : Against(key, c_.kv, c_.seq, e);
    return direction * against < 0;
  };
  if (direction > 0) {
    auto it = std::find_if(path.begin(), path.end(), past);
    return it == path.end() ? nullptr : &*it;
  }
  auto it = std::find_if(path.rbegin(), path.rend(), past);
  return it == path.rend() ? nullptr : &*it;
}

// A record just inserted: last among its duplicates. A unique key's entries need no
// sequence: a position there is its value alone.
Record ModelRun::Fresh(const std::string &record) {
  Record rec{record, {}};
  for (int k = 0; k < kKeys; ++k)
    rec.seq[k] = Keys()[k].duplicates ? m_.next_seq : 0;
  ++m_.next_seq;
  return rec;
}

// Whether the current record changed or went since this block read it (another process).
bool ModelRun::CurrentChanged() const {
  auto it = m_.records.find(c_.cur);
  return it == m_.records.end() || it->second.data != c_.image;
}

void ModelRun::Rewrite(Record &rec, const std::string &record) {
  for (int k = 0; k < kKeys; ++k) {
    const KeyModel &km = Keys()[k];
    bool was_null = IsNull(km, rec.data), now_null = IsNull(km, record);
    bool same = was_null == now_null &&
                CompareKeyValues(km, KeyValue(km, rec.data), KeyValue(km, record)) == 0;
    // A record moved along a key with duplicates goes after the others of its value.
    if (!same && !now_null && km.duplicates) rec.seq[k] = m_.next_seq++;
  }
  rec.data = record;
}

// A record with some of its fields changed (the first key's only when `first_too`).
std::string ModelRun::Changed(std::string record, bool first_too) {
  int mask = in_.Byte();
  for (int f = 0; f < kKeys; ++f) {
    if (mask & (1 << f) && (f != 0 || (first_too && in_.Small(4) == 0))) {
      std::string value = NewField(f);
      record.replace(kFieldOffsets[f], value.size(), value);
    }
  }
  std::snprintf(record.data() + kPayload, kRecordLength - kPayload, "#%d", ++serial_ % 10000000);
  if (variable_ && in_.Small(3) == 0) {
    record.resize(kRecordLength);
    record += Tail();
  }
  return record;
}

// A locked read of `pos` that returned it.
void ModelRun::Locked(int bias, int64_t pos) {
  if (bias == B_SINGLE_WAIT_LOCK || bias == B_SINGLE_NOWAIT_LOCK)
    single_ = pos;  // the single lock moves
  else if (bias != 0)
    multi_.insert(pos);
}

bool ModelRun::LockedHere(int64_t pos) const {
  // single_ 0 is no lock: position 0 is no record's.
  return (single_ != 0 && single_ == pos) || multi_.count(pos) != 0 || tx_written_.count(pos) != 0;
}

void ModelRun::ReleaseLocks() {
  single_ = 0;
  multi_.clear();
}

void ModelRun::Unlock() {
  int key = in_.Small(4) - 2;
  int64_t pos = multi_.empty() || in_.Small(4) == 0 ? in_.Byte() : *multi_.begin();
  Reply r = Call(B_UNLOCK, pb_, PositionBytes(pos), 4, "", key);
  bool held = key >= 0 ? single_ != 0 : key == -1 ? multi_.count(pos) != 0 : !multi_.empty();
  Expect(B_UNLOCK, r.status, held ? 0 : B_LOCKERROR);
  if (key >= 0)
    single_ = 0;
  else if (key == -1)
    multi_.erase(pos);
  else
    multi_.clear();
}

// The record as an insert stores it: an auto-increment number of 0 becomes the highest in
// the file plus one.
std::optional<std::string> ModelRun::Numbered(std::string record) const {
  constexpr int at = kFieldOffsets[kKeys - 1];
  const uint8_t *field = reinterpret_cast<const uint8_t *>(record.data()) + at;
  if (SignedLe(field, 4) != 0) return record;
  int64_t highest = 0;
  bool any = false;
  for (const auto &[pos, rec] : m_.records) {
    int64_t v = SignedLe(reinterpret_cast<const uint8_t *>(rec.data.data()) + at, 4);
    highest = any ? std::max(highest, v) : v;
    any = true;
  }
  if (highest >= INT32_MAX) return std::nullopt;  // never wrapped round to a negative number
  int32_t next = static_cast<int32_t>(highest + 1);
  std::memcpy(record.data() + at, &next, 4);
  return record;
}

// Mostly one insert, sometimes a run of them.
void ModelRun::Inserts() {
  for (int n = in_.Small(4) == 0 ? 1 + in_.Small(16) : 1; n > 0; --n)
    Insert();
}

void ModelRun::Insert() {
  std::string given = NewRecord();
  int key = in_.Small(kKeys + 1) - 1;
  Reply r = Call(B_INSERT, pb_, given, 0, "", key);
  std::optional<std::string> numbered = Numbered(given);
  std::string record = numbered.value_or(given);
  int want = !numbered || UniqueTaken(record, 0) ? B_DUPLICATE_KEY_VALUE : 0;
  Expect(B_INSERT, r.status, want);
  if (want != 0) return;
  // The number comes back in the caller's buffer.
  if (r.data != record)
    Fail("Insert returned %s, the model %s", Hex(r.data).c_str(), Hex(record).c_str());
  int64_t pos = LearnPosition(record);
  m_.records[pos] = Fresh(record);
  if (key >= 0) {
    SetLogical(key, pos);
    ExpectKey(B_INSERT, r, Entry{pos, &m_.records[pos]}, key);
  }
}

void ModelRun::Update() {
  if (!c_.known) return Resync();
  std::string record = Changed(c_.current ? c_.image : NewRecord(), true);
  int key = in_.Small(kKeys + 1) - 1;
  Reply r = Call(B_UPDATE, pb_, record, 0, "", key);
  if (!c_.current) return Expect(B_UPDATE, r.status, B_POSITIONING_ERROR);
  if (CurrentChanged()) return Expect(B_UPDATE, r.status, B_CONFLICT);
  Record &rec = m_.records.at(c_.cur);
  int want = 0;
  if (KeyValue(Keys()[0], rec.data) != KeyValue(Keys()[0], record))
    want = B_MODIFIABLE_KEYVALUE_ERROR;
  else if (UniqueTaken(record, c_.cur))
    want = B_DUPLICATE_KEY_VALUE;
  Expect(B_UPDATE, r.status, want);
  if (want != 0) return;
  Rewrite(rec, record);
  c_.image = record;
  if (single_ == c_.cur) single_ = 0;  // multiple locks stay
  if (in_tx_) tx_written_.insert(c_.cur);
  if (key >= 0) {
    SetLogical(key, c_.cur);
    ExpectKey(B_UPDATE, r, Entry{c_.cur, &rec}, key);
  }
}

void ModelRun::Delete() {
  if (!c_.known) return Resync();
  Reply r = Call(B_DELETE, pb_, "", 0, "", 0);
  if (!c_.current) return Expect(B_DELETE, r.status, B_POSITIONING_ERROR);
  if (CurrentChanged()) return Expect(B_DELETE, r.status, B_CONFLICT);
  Expect(B_DELETE, r.status, 0);
  m_.records.erase(c_.cur);
  if (single_ == c_.cur) single_ = 0;
  multi_.erase(c_.cur);
  if (in_tx_) tx_written_.insert(c_.cur);
  c_.current = false;  // Next and Step Next go on from where the record was
}

void ModelRun::GetByValue() {
  static const int ops[] = {B_GET_EQUAL, B_GET_GREATER, B_GET_GE,  B_GET_LESS,
                            B_GET_LE,    B_GET_FIRST,   B_GET_LAST};
  int op = ops[in_.Small(7)];
  int key = in_.Small(kKeys);
  bool key_only = in_.Small(4) == 0;
  int bias = 100 * in_.Small(5);
  std::string kv = SomeKeyValue(key);
  size_t room = Room();
  Reply r = Call(op + bias + (key_only ? B_GET_KEY : 0), pb_, "", room, kv, key);
  std::vector<Entry> path = Path(m_, key);
  const KeyModel &k = Keys()[key];
  auto cmp = [&](const Entry &e) { return CompareKeyValues(k, KeyValue(k, e.rec->data), kv); };
  const Entry *found = nullptr;
  switch (op) {
    case B_GET_FIRST:
      if (!path.empty()) found = &path.front();
      break;
    case B_GET_LAST:
      if (!path.empty()) found = &path.back();
      break;
    case B_GET_EQUAL:
    case B_GET_GE:
    case B_GET_GREATER:
      for (const Entry &e : path) {
        int c = cmp(e);
        if (op == B_GET_EQUAL ? c == 0 : op == B_GET_GE ? c >= 0 : c > 0) {
          found = &e;
          break;
        }
      }
      break;
    default:
      for (auto it = path.rbegin(); it != path.rend(); ++it) {
        int c = cmp(*it);
        if (op == B_GET_LE ? c <= 0 : c < 0) {
          found = &*it;
          break;
        }
      }
      break;
  }
  if (found == nullptr) {
    return Expect(op, r.status, op == B_GET_EQUAL ? B_KEY_VALUE_NOT_FOUND : B_END_OF_FILE);
  }
  Expect(op, r.status, Fits(*found, room, key_only));
  ExpectRecord(op, r, *found, key, key_only, room);
  SetLogical(key, found->pos);
  Locked(bias, found->pos);
}

// A few steps in one direction: the later ones come from rows read ahead.
void ModelRun::GetNextOrPrevious() {
  if (!c_.known) return Resync();
  bool next = in_.Small(2) == 0;
  // Mostly along the path that set the position.
  int key = c_.logical && in_.Small(6) != 0 ? c_.key : in_.Small(kKeys);
  bool key_only = in_.Small(4) == 0;
  int bias = 100 * in_.Small(5);
  for (int steps = 1 + in_.Small(12); steps > 0 && NextOrPrevious(next, key, key_only, bias) == 0;)
    --steps;
}

int ModelRun::NextOrPrevious(bool next, int key, bool key_only, int bias) {
  int op = next ? B_GET_NEXT : B_GET_PREVIOUS;
  size_t room = Room();
  Reply r = Call(op + bias + (key_only ? B_GET_KEY : 0), pb_, "", room, "", key);
  if (!c_.logical) {
    Expect(op, r.status, B_POSITIONING_ERROR);
    return r.status;
  }
  if (c_.key != key) {
    Expect(op, r.status, B_DIFFERENT_KEYNUMBER);
    return r.status;
  }
  std::vector<Entry> path = Path(m_, key);
  const Entry *found = Beyond(path, key, next ? 1 : -1);
  if (found == nullptr) {
    Expect(op, r.status, B_END_OF_FILE);
    return r.status;
  }
  Expect(op, r.status, Fits(*found, room, key_only));
  ExpectRecord(op, r, *found, key, key_only, room);
  SetLogical(key, found->pos);
  Locked(bias, found->pos);
  return r.status;
}

void ModelRun::Step() {
  static const int ops[] = {B_STEP_FIRST,    B_STEP_LAST, B_STEP_NEXT,
                            B_STEP_PREVIOUS, B_STEP_NEXT, B_STEP_NEXT};
  int op = ops[in_.Small(6)];
  if ((op == B_STEP_NEXT || op == B_STEP_PREVIOUS) && !c_.known) return Resync();
  int bias = 100 * in_.Small(5);
  int steps = op == B_STEP_NEXT || op == B_STEP_PREVIOUS ? 1 + in_.Small(12) : 1;
  while (steps-- > 0 && StepOnce(op, bias) == 0) {
  }
}

int ModelRun::StepOnce(int op, int bias) {
  size_t room = Room();
  Reply r = Call(op + bias, pb_, "", room, "", 0);
  std::vector<Entry> path = Path(m_, -1);
  const bool from_end = op == B_STEP_FIRST || op == B_STEP_LAST;
  if (!from_end && !c_.physical) {
    Expect(op, r.status, B_POSITIONING_ERROR);
    return r.status;
  }
  const Entry *found = nullptr;
  if (from_end && !path.empty())
    found = op == B_STEP_FIRST ? &path.front() : &path.back();
  else if (!from_end)
    found = Beyond(path, -1, op == B_STEP_NEXT ? 1 : -1);
  Expect(op, r.status, found != nullptr ? Fits(*found, room, false) : B_END_OF_FILE);
  if (found == nullptr) return r.status;
  ExpectRecord(op, r, *found, -1, false, room);
  SetPhysical(found->pos);
  Locked(bias, found->pos);
  return r.status;
}

void ModelRun::PositionAndDirect() {
  if (!c_.known) return Resync();
  Reply r = Call(B_GET_POSITION, pb_, "", kRoom, "", 0);
  if (!c_.current && !c_.extended) {
    Expect(B_GET_POSITION, r.status, B_POSITIONING_ERROR);
  } else {
    Expect(B_GET_POSITION, r.status, 0);
    if (r.data.size() != 4 || PositionFrom(r.data) != c_.cur)
      Fail("Get Position gave %s, the model %lld", Hex(r.data).c_str(),
           static_cast<long long>(c_.cur));
  }
  // Get Direct: a record's position, one given before (maybe deleted since) or any number.
  int64_t pos = in_.Byte();
  if (!m_.records.empty() && in_.Small(4) != 0) {
    pos = SomeRecord()->first;
  } else if (!m_.positions_given.empty() && in_.Small(2) == 0) {
    pos = *m_.positions_given.rbegin();
  }
  int key = in_.Small(kKeys + 1) - 1;
  int bias = 100 * in_.Small(5);
  size_t room = std::max<size_t>(Room(), 4);
  r = Call(B_GET_DIRECT + bias, pb_, PositionBytes(pos), room, "", key);
  auto it = m_.records.find(pos);
  if (it == m_.records.end()) {
    // The lock comes before the read: a single lock moved to the missing record and went.
    if (pos > 0 && pos <= INT32_MAX && (bias == B_SINGLE_WAIT_LOCK || bias == B_SINGLE_NOWAIT_LOCK))
      single_ = 0;
    return Expect(B_GET_DIRECT, r.status, B_INVALID_RECORD_ADDRESS);
  }
  Expect(B_GET_DIRECT, r.status, Fits(Entry{pos, &it->second}, room, false));
  Locked(bias, pos);
  ExpectRecord(B_GET_DIRECT, r, Entry{pos, &it->second}, key, false, room);
  if (key >= 0)
    SetLogical(key, pos);
  else
    SetPhysical(pos);
}

// ---- Extended operations ----------------------------------------------------------------

void ModelRun::Extended() {
  if (!c_.known) return Resync();
  static const int ops[] = {B_GET_NEXT_EXTENDED, B_GET_PREV_EXTENDED, B_STEP_NEXT_EXT,
                            B_STEP_PREVIOUS_EXT};
  int op = ops[in_.Small(4)];
  bool physical = op == B_STEP_NEXT_EXT || op == B_STEP_PREVIOUS_EXT;
  int direction = op == B_GET_NEXT_EXTENDED || op == B_STEP_NEXT_EXT ? 1 : -1;
  int key = c_.logical && in_.Small(6) != 0 ? c_.key : in_.Small(kKeys);
  bool eg = in_.Small(2) == 0;
  uint16_t reject = static_cast<uint16_t>(in_.Small(3) == 0 ? 0 : 1 + in_.Small(8));
  uint16_t wanted = static_cast<uint16_t>(in_.Small(12));
  std::vector<Term> terms(in_.Small(4));
  for (size_t i = 0; i < terms.size(); ++i) {
    Term &t = terms[i];
    // Mostly the first segment of the key walked, so that early ends happen.
    int field = i == 0 && !physical && in_.Small(2) == 0 ? FirstSegmentField(key) : in_.Small(6);
    t.field = kTermFields[field];
    t.comparison = static_cast<uint8_t>(1 + in_.Small(6));
    t.field.no_case = t.field.type == SegType::kString && in_.Small(2) == 0;
    t.connector = i + 1 == terms.size() ? 0 : in_.Small(4) == 0 ? 2 : 1;
    std::string source = NewRecord();
    if (!m_.records.empty() && in_.Small(2) == 0) {
      source = SomeRecord()->second.data;
    }
    t.value = source.substr(t.field.offset, t.field.length);
  }
  // Extracted: the whole record, or two key fields.
  std::vector<std::pair<uint16_t, uint16_t>> fields;  // length, offset
  if (in_.Small(2) == 0)
    fields = {{kRecordLength, 0}};
  else
    fields = {{4, 0}, {3, 4}};
  size_t extracted = 0;
  for (const auto &f : fields)
    extracted += f.first;

  std::string d = std::string(eg ? "EG" : "UC");
  auto le16 = [](std::string &out, int v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>(v >> 8 & 0xFF));
  };
  le16(d, reject);
  le16(d, static_cast<int>(terms.size()));
  for (const Term &t : terms) {
    d.push_back(static_cast<char>(TypeCode(t.field.type)));
    le16(d, t.field.length);
    le16(d, t.field.offset);
    d.push_back(static_cast<char>(t.comparison | (t.field.no_case ? 128 : 0)));
    d.push_back(static_cast<char>(t.connector));
    d += t.value;
  }
  le16(d, wanted);
  le16(d, static_cast<int>(fields.size()));
  for (const auto &f : fields) {
    le16(d, f.first);
    le16(d, f.second);
  }
  std::string descriptor;
  le16(descriptor, static_cast<int>(d.size() + 2));
  descriptor += d;
  static const size_t rooms[] = {0, 64, 120, 2000};
  size_t capacity = std::max(descriptor.size(), rooms[in_.Small(4)]);
  int bias = in_.Small(3) == 0 ? 100 * in_.Small(5) : 0;
  Reply r = Call(op + bias, pb_, descriptor, capacity, "", key);

  int want = 0;
  if (physical ? !c_.physical : !c_.logical) want = B_POSITIONING_ERROR;
  if (!physical && c_.logical && c_.key != key) want = B_DIFFERENT_KEYNUMBER;
  if (want != 0) return Expect(op, r.status, want);

  const int path_key = physical ? -1 : key;
  std::vector<Entry> path = Path(m_, path_key);
  bool early = !physical && EarlyEndPossible(key, terms);
  bool upward = (direction > 0) != (!physical && Keys()[key].segs[0].descending);
  bool take_current = eg && !c_.extended && c_.current;
  std::string out(2, '\0');
  int count = 0, rejected = 0;
  while (count < wanted) {
    Entry e{};
    if (take_current) {
      take_current = false;
      auto it = m_.records.find(c_.cur);
      if (it == m_.records.end()) continue;  // another process deleted it
      e = Entry{c_.cur, &it->second};
    } else {
      const Entry *n = Beyond(path, path_key, direction);
      if (n == nullptr) {
        want = B_END_OF_FILE;
        break;
      }
      e = *n;
      if (physical)
        SetPhysical(e.pos);
      else
        SetLogical(key, e.pos);
    }
    if (early && PastFirstTerm(terms[0], e.rec->data, upward)) {
      want = B_FILTER_LIMIT_REACHED;
      break;
    }
    if (!FilterHolds(terms, e.rec->data)) {
      if (reject != 0 && ++rejected >= reject) {
        want = B_REJECT_COUNT_REACHED;
        break;
      }
      continue;
    }
    if (out.size() + 6 + extracted > capacity) {
      want = B_DATALENGTH_ERROR;
      break;
    }
    le16(out, static_cast<int>(extracted));
    out += PositionBytes(e.pos);
    for (const auto &f : fields)
      out.append(e.rec->data, f.second, f.first);
    Locked(bias, e.pos);
    ++count;
  }
  out[0] = static_cast<char>(count & 0xFF);
  out[1] = static_cast<char>(count >> 8);
  c_.current = false;
  c_.extended = true;
  Expect(op, r.status, want);
  if (r.data != out)
    Fail("extended op %d returned %s, the model %s", op, Hex(r.data).c_str(), Hex(out).c_str());
}

// Get By Percentage and Find Percentage, along a key or in physical order: the record at
// p hundredths of a percent is the one at rank p * (n - 1) / 10000, rounded.
void ModelRun::Percentages() {
  int key = in_.Small(kKeys + 1) - 1;
  std::vector<Entry> path = Path(m_, key);
  const int64_t n = static_cast<int64_t>(path.size());
  if (in_.Small(2) == 0) {
    int percent = in_.Small(8) == 0 ? 10000 + in_.Small(3) : (in_.U16() % 10001);
    int bias = in_.Small(3) == 0 ? 100 * in_.Small(5) : 0;
    std::string given(2, '\0');
    given[0] = static_cast<char>(percent & 0xFF);
    given[1] = static_cast<char>(percent >> 8);
    Reply r = Call(B_GET_BY_PERCENTAGE + bias, pb_, given, kRoom, "", key);
    if (percent > 10000) return Expect(B_GET_BY_PERCENTAGE, r.status, B_DATALENGTH_ERROR);
    if (n == 0) return Expect(B_GET_BY_PERCENTAGE, r.status, B_END_OF_FILE);
    int64_t rank = (2 * percent * (n - 1) + 10000) / 20000;
    const Entry &e = path[rank];
    Expect(B_GET_BY_PERCENTAGE, r.status, 0);
    ExpectRecord(B_GET_BY_PERCENTAGE, r, e, key, false);
    if (key < 0)
      SetPhysical(e.pos);
    else
      SetLogical(key, e.pos);
    Locked(bias, e.pos);
    return;
  }
  // Find Percentage of a record's position or key value (or of one no record has).
  const Entry *of = n > 0 && in_.Small(4) != 0 ? &path[in_.Byte() % n] : nullptr;
  std::string where(4, '\0'), kv;
  if (key < 0) {
    where = PositionBytes(of != nullptr ? of->pos : 1 + in_.Byte());
  } else {
    kv = of != nullptr ? KeyValue(Keys()[key], of->rec->data) : SomeKeyValue(key);
  }
  Reply r = Call(B_FIND_PERCENTAGE, pb_, where, kRoom, kv, key);
  int64_t rank = -1;
  if (key < 0) {
    int64_t pos = PositionFrom(where);
    if (m_.records.count(pos) != 0) rank = std::distance(m_.records.begin(), m_.records.find(pos));
  } else {
    const KeyModel &k = Keys()[key];
    int64_t below = 0;
    bool exists = false;
    for (const Entry &e : path) {
      int c = CompareKeyValues(k, KeyValue(k, e.rec->data), kv);
      below += c < 0;
      exists = exists || c == 0;
    }
    if (exists) rank = below;
  }
  if (n == 0) return Expect(B_FIND_PERCENTAGE, r.status, B_END_OF_FILE);
  if (rank < 0)
    return Expect(B_FIND_PERCENTAGE, r.status,
                  key < 0 ? B_INVALID_RECORD_ADDRESS : B_KEY_VALUE_NOT_FOUND);
  Expect(B_FIND_PERCENTAGE, r.status, 0);
  int64_t percent = n <= 1 ? 0 : (2 * rank * 10000 + (n - 1)) / (2 * (n - 1));
  std::string want(4, '\0');
  want[0] = static_cast<char>(percent & 0xFF);
  want[1] = static_cast<char>(percent >> 8);
  if (r.data != want)
    Fail("Find Percentage gave %s, the model %s", Hex(r.data).c_str(), Hex(want).c_str());
}

// Get Position and Get Direct, or the percentages.
void ModelRun::Position() {
  if (in_.Small(3) == 0)
    Percentages();
  else
    PositionAndDirect();
}

// An extended operation, or Stat.
void ModelRun::Survey() {
  if (in_.Small(4) == 0)
    Stat();
  else
    Extended();
}

void ModelRun::Stat() {
  Reply r = Call(B_STAT, pb_, "", 1024, "", 0);
  Expect(B_STAT, r.status, 0);
  if (r.data.size() < 10) Fail("Stat returned %zu bytes", r.data.size());
  uint64_t count = UnsignedLe(reinterpret_cast<const uint8_t *>(r.data.data()) + 6, 4);
  if (count != m_.records.size())
    Fail("Stat counts %llu records, the model %zu", static_cast<unsigned long long>(count),
         m_.records.size());
}

void ModelRun::Transaction() {
  static const int ops[] = {B_BEGIN_TRAN, B_BEGIN_TRAN, B_END_TRAN, B_ABORT_TRAN};
  int op = ops[in_.Small(4)];
  Reply r = Call(op, pb_, "", 0, "", 0);
  if (op == B_BEGIN_TRAN) {
    Expect(op, r.status, in_tx_ ? B_TRANSACTION_IS_ACTIVE : 0);
    if (!in_tx_) committed_ = m_;
    in_tx_ = true;
    return;
  }
  Expect(op, r.status, in_tx_ ? 0 : B_END_TRANSACTION_ERROR);
  if (!in_tx_) return;
  in_tx_ = false;
  ReleaseLocks();
  tx_written_.clear();
  if (op == B_ABORT_TRAN) {
    // Records inserted in the transaction are gone, and their positions may come again.
    m_ = committed_;
    c_ = CursorModel{};
    c_.known = false;
  }
}

// Closes and opens again, or another process walks the file.
void ModelRun::ReopenOrReadElsewhere() {
  if (in_.Small(3) == 0) return AnotherProcessReads();
  Reopen();
}

void ModelRun::Reopen() {
  uint32_t zero = 0;
  Expect(B_CLOSE, BTRCALL(B_CLOSE, pb_, nullptr, &zero, nullptr, 0, 0), 0);
  Expect(B_CLOSE, BTRCALL(B_CLOSE, probe_, nullptr, &zero, nullptr, 0, 0), 0);
  Expect(B_OPEN, BTRCALL(B_OPEN, pb_, nullptr, &zero, path_.data(), 0, 0), 0);
  Expect(B_OPEN, BTRCALL(B_OPEN, probe_, nullptr, &zero, path_.data(), 0, 0), 0);
  c_ = CursorModel{};
  ReleaseLocks();  // a transaction's locks stay until it ends
}

// Another process sees what was committed, never a transaction still open.
void ModelRun::AnotherProcessReads() {
  if (!peer_ || !peer_->Running()) return;
  const FileModel &seen = in_tx_ ? committed_ : m_;
  std::vector<Entry> path = Path(seen, 0);
  std::vector<std::string> records;
  int16_t ended = 0;
  if (!peer_->Walk(&records, &ended)) Fail("the other process did not answer");
  if (ended != B_END_OF_FILE) Fail("the other process's walk ended with %d", ended);
  if (records.size() != path.size())
    Fail("the other process read %zu records, the model %zu", records.size(), path.size());
  for (size_t i = 0; i < path.size(); ++i) {
    if (records[i] != path[i].rec->data)
      Fail("the other process read %s, the model %s", Hex(records[i]).c_str(),
           Hex(path[i].rec->data).c_str());
  }
}

// Another process inserts, updates or deletes a record, or tries a no-wait lock on one. It
// meets this process's record locks (84). This block's reads then show its change, and an
// update or delete of a record it read before gives 80. During a transaction here it only
// tries locks: its writes would wait for the transaction.
void ModelRun::AnotherProcessWrites() {
  if (!peer_ || !peer_->Running()) return;
  if (in_.Small(3) == 0) Unlock();
  // During this process's transaction the peer only tries a lock: a write would wait for it.
  char kind = in_tx_ ? 'l' : m_.records.empty() ? 'i' : "iudl"[in_.Small(4)];
  int64_t pos = 0;
  bool ahead_of_cursor = false;
  std::string record;
  if (kind == 'i') {
    record = NewRecord();
  } else if (m_.records.empty()) {
    pos = tx_written_.empty() ? in_.Byte() : *tx_written_.begin();
  } else {
    pos = SomeRecord()->first;
    // Often one of the next records along this block's path: rows it may have read ahead.
    if (c_.logical && in_.Small(2) == 0) {
      std::vector<Entry> path = Path(m_, c_.key);
      std::vector<int64_t> ahead;
      for (const Entry &e : path) {
        if (Against(c_.key, c_.kv, c_.seq, e) < 0 && ahead.size() < 4) ahead.push_back(e.pos);
      }
      if (!ahead.empty()) {
        pos = ahead[in_.Small(static_cast<int>(ahead.size()))];
        ahead_of_cursor = true;
      }
    }
    record = Changed(m_.records.at(pos).data, false);
    if (kind == 'l' && !tx_written_.empty() && in_.Small(2) == 0) pos = *tx_written_.begin();
  }
  int16_t status = 0;
  uint32_t at = 0;
  if (!peer_->Write(kind, static_cast<uint32_t>(pos), record, &status, &at))
    Fail("the other process did not answer");
  bool numbered = true;
  if (kind == 'i') {
    std::optional<std::string> n = Numbered(record);
    numbered = n.has_value();
    if (n) record = *n;
  }
  int want = kind == 'i' || kind == 'u'
                 ? (!numbered || UniqueTaken(record, pos) ? B_DUPLICATE_KEY_VALUE : 0)
             : kind == 'l' && (in_tx_ ? committed_ : m_).records.count(pos) == 0
                 ? B_INVALID_RECORD_ADDRESS
                 : 0;
  if (kind != 'i' && LockedHere(pos)) want = B_RECORD_INUSE;
  if (status != want)
    Fail("the other process's write '%c' gave %d, the model %d", kind, status, want);
  if (want != 0 || kind == 'l') return;
  if (kind == 'd') {
    m_.records.erase(pos);
  } else if (kind == 'u') {
    Rewrite(m_.records.at(pos), record);
  } else {
    if (at == 0 || at > INT32_MAX || !m_.positions_given.insert(at).second)
      Fail("the other process's insert got position %u", at);
    m_.records[at] = Fresh(record);
  }
  // On along the path, past the change.
  if (ahead_of_cursor) {
    int key = c_.key;
    for (int i = 0; i < 5 && NextOrPrevious(true, key, false, 0) == 0; ++i) {
    }
  } else if (in_.Small(2) == 0) {
    GetNextOrPrevious();
  }
}

// After Abort the position block may stand on a record that no longer exists: a Get First
// sets a position both sides know.
void ModelRun::Resync() {
  Reply r = Call(B_GET_FIRST, pb_, "", kRoom, "", 0);
  std::vector<Entry> path = Path(m_, 0);
  if (path.empty()) return Expect(B_GET_FIRST, r.status, B_END_OF_FILE);
  Expect(B_GET_FIRST, r.status, 0);
  ExpectRecord(B_GET_FIRST, r, path.front(), 0, false);
  SetLogical(0, path.front().pos);
}

// Every key walked both ways, physical order both ways, the count, then the file's own check.
void ModelRun::VerifyAll() {
  for (int key = -1; key < kKeys; ++key) {
    std::vector<Entry> path = Path(m_, key);
    for (int backwards = 0; backwards < 2; ++backwards) {
      int first = key < 0 ? (backwards ? B_STEP_LAST : B_STEP_FIRST)
                          : (backwards ? B_GET_LAST : B_GET_FIRST);
      int then = key < 0 ? (backwards ? B_STEP_PREVIOUS : B_STEP_NEXT)
                         : (backwards ? B_GET_PREVIOUS : B_GET_NEXT);
      size_t i = 0;
      for (int op = first;; op = then, ++i) {
        Reply r = Call(op, pb_, "", kRoom, "", std::max(key, 0));
        if (i == path.size()) {
          Expect(op, r.status, B_END_OF_FILE);
          break;
        }
        Expect(op, r.status, 0);
        ExpectRecord(op, r, backwards ? path[path.size() - 1 - i] : path[i], key, false);
      }
    }
  }
  Stat();
  c_ = CursorModel{};
  c_.known = false;
}

void ModelRun::Run() {
  BTRRELEASE();
  if (in_.Small(2) == 0) peer_ = std::make_unique<Peer>(path_);
  variable_ = in_.Small(2) == 0;
  std::vector<uint8_t> spec(16, 0);
  spec[0] = kRecordLength;
  spec[10] = variable_ ? B_FILE_VARIABLE_LENGTH : 0;
  spec[3] = 0x04;  // page 1024
  spec[4] = kKeys;
  for (const KeyModel &k : Keys()) {
    for (size_t i = 0; i < k.segs.size(); ++i) {
      const SegModel &s = k.segs[i];
      static const uint8_t types[] = {B_TYPE_INTEGER, B_TYPE_STRING,  B_TYPE_UNSIGNED_BINARY,
                                      B_TYPE_ZSTRING, B_TYPE_DECIMAL, B_TYPE_AUTOINCREMENT};
      uint16_t flags = B_KEY_EXTENDED_TYPE | (k.duplicates ? B_KEY_DUPLICATES : 0) |
                       (k.modifiable ? B_KEY_MODIFIABLE : 0) | (k.null_all ? B_KEY_NULL_ALL : 0) |
                       (s.descending ? B_KEY_DESCENDING : 0) |
                       (s.no_case ? B_KEY_CASE_INSENSITIVE : 0) |
                       (i + 1 < k.segs.size() ? B_KEY_SEGMENTED : 0);
      uint8_t seg[16] = {};
      seg[0] = static_cast<uint8_t>(s.offset + 1);
      seg[2] = static_cast<uint8_t>(s.length);
      seg[4] = flags & 0xFF;
      seg[5] = flags >> 8;
      seg[10] = types[static_cast<int>(s.type)];
      spec.insert(spec.end(), seg, seg + 16);
    }
  }
  uint32_t length = static_cast<uint32_t>(spec.size());
  uint8_t scratch[128];
  Expect(B_CREATE, BTRCALL(B_CREATE, scratch, spec.data(), &length, path_.data(), 0, 0), 0);
  uint32_t zero = 0;
  Expect(B_OPEN, BTRCALL(B_OPEN, pb_, nullptr, &zero, path_.data(), 0, 0), 0);
  Expect(B_OPEN, BTRCALL(B_OPEN, probe_, nullptr, &zero, path_.data(), 0, 0), 0);

  // Each step one operation, the more common ones more often.
  using Operation = void (ModelRun::*)();
  static const Operation operations[] = {&ModelRun::Inserts,
                                         &ModelRun::Inserts,
                                         &ModelRun::Inserts,
                                         &ModelRun::Inserts,
                                         &ModelRun::Inserts,
                                         &ModelRun::Update,
                                         &ModelRun::Update,
                                         &ModelRun::Delete,
                                         &ModelRun::GetByValue,
                                         &ModelRun::GetByValue,
                                         &ModelRun::GetByValue,
                                         &ModelRun::GetNextOrPrevious,
                                         &ModelRun::GetNextOrPrevious,
                                         &ModelRun::GetNextOrPrevious,
                                         &ModelRun::Step,
                                         &ModelRun::Step,
                                         &ModelRun::Position,
                                         &ModelRun::Survey,
                                         &ModelRun::Transaction,
                                         &ModelRun::ReopenOrReadElsewhere,
                                         &ModelRun::AnotherProcessWrites,
                                         &ModelRun::AnotherProcessWrites};
  for (int n = 0; n < 400 && in_.More(); ++n)
    (this->*operations[in_.Small(sizeof operations / sizeof operations[0])])();
  if (in_tx_) {
    bool commit = in_.Small(2) == 0;
    Expect(B_END_TRAN,
           BTRCALL(commit ? B_END_TRAN : B_ABORT_TRAN, pb_, nullptr, &zero, nullptr, 0, 0), 0);
    if (!commit) m_ = committed_;
    in_tx_ = false;
    ReleaseLocks();
    tx_written_.clear();
  }
  VerifyAll();
  Reopen();
  VerifyAll();
  BTRCALL(B_CLOSE, pb_, nullptr, &zero, nullptr, 0, 0);
  BTRCALL(B_CLOSE, probe_, nullptr, &zero, nullptr, 0, 0);
  if (BTRCHECKFILE(path_.c_str(), nullptr, nullptr) != 0) Fail("the file's own check fails");
}

}  // namespace

int RunBtrieveModelInput(const uint8_t *data, size_t size) {
  ModelRun(Directory(), data, size).Run();
  return 0;
}

void RunBtrieveModelInputIn(const std::string &directory, const uint8_t *data, size_t size) {
  ModelRun(directory, data, size).Run();
}
