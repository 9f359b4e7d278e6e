#include "record_table_input.h"

#include <sqlite3.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "btrieve/btrapi.h"
#include "fuzz_reader.h"

namespace {

constexpr int kRecords = 12;
constexpr size_t kMaxDamages = 32;
// More rows than any damaged file of this size can show: a walk that goes on longer repeats.
constexpr int kMaxWalk = 200;

const std::string &Path() {
  static const std::string path = fuzzing::FuzzScratchDirectory("zelko-damage") + "/damaged.btr";
  return path;
}

int16_t Call(int op, uint8_t *pb, void *data, uint32_t length, void *key = nullptr,
             uint8_t key_length = 0, int8_t key_number = 0) {
  uint8_t spare[64] = {};
  if (key == nullptr) {
    key = spare;
    key_length = sizeof spare;
  }
  return BTRCALL(static_cast<uint16_t>(op), pb, data, &length, key, key_length, key_number);
}

std::string Record(int id, char letter) {
  std::string rec(16, ' ');
  std::memcpy(rec.data(), &id, 4);
  rec[4] = 'N';
  rec[5] = letter;
  std::memset(rec.data() + 12, 0, 4);
  return rec;
}

// 16-byte records: key 0 a unique integer at 1, key 1 an 8-byte string with duplicates at 5.
bool WriteSoundFile() {
  std::string path = Path();
  unlink((path + "-wal").c_str());
  unlink((path + "-shm").c_str());
  uint8_t spec[16 + 32] = {};
  spec[0] = 16;
  spec[3] = 0x04;
  spec[4] = 2;
  spec[16 + 0] = 1, spec[16 + 2] = 4, spec[16 + 5] = 0x01, spec[16 + 10] = B_TYPE_INTEGER;
  spec[32 + 0] = 5, spec[32 + 2] = 8, spec[32 + 4] = B_KEY_DUPLICATES | B_KEY_MODIFIABLE;
  uint8_t pb[128] = {};
  if (Call(B_CREATE, pb, spec, sizeof spec, path.data(), 0, 0) != 0) return false;
  if (Call(B_OPEN, pb, nullptr, 0, path.data(), 0, 0) != 0) return false;
  for (int i = 0; i < kRecords; ++i) {
    std::string rec = Record(i, static_cast<char>('A' + i % 4));
    Call(B_INSERT, pb, rec.data(), 16, nullptr, 0, -1);
  }
  Call(B_CLOSE, pb, nullptr, 0);
  return true;
}

void Exec(sqlite3 *db, const std::string &sql, int64_t a, int64_t b, const std::string &blob) {
  sqlite3_stmt *s = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) != SQLITE_OK) return;
  sqlite3_bind_int64(s, 1, a);
  sqlite3_bind_int64(s, 2, b);
  sqlite3_bind_blob(s, 3, blob.data(), static_cast<int>(blob.size()), SQLITE_TRANSIENT);
  sqlite3_step(s);
  sqlite3_finalize(s);
}

// Each damage is four bytes: what, and three arguments.
void Damage(const uint8_t *data, size_t size) {
  sqlite3 *db = nullptr;
  if (sqlite3_open(Path().c_str(), &db) != SQLITE_OK) {
    sqlite3_close(db);
    return;
  }
  for (size_t at = 0, n = 0; at + 4 <= size && n < kMaxDamages; at += 4, ++n) {
    int64_t pos = 1 + data[at + 1] % (kRecords + 2);
    int64_t arg = data[at + 2];
    std::string bytes(data[at + 3] % 24, static_cast<char>(data[at + 2]));
    std::string key = "k" + std::to_string(data[at + 3] % 2);
    switch (data[at] % 9) {
      case 0:  // a record cut short (or emptied)
        Exec(db, "UPDATE r SET data = substr(data, 1, ?2) WHERE pos = ?1", pos, arg % 16, bytes);
        break;
      case 1:  // a record grown past the fixed length
        Exec(db, "UPDATE r SET data = data || ?3 WHERE pos = ?1", pos, arg, bytes + "x");
        break;
      case 2:  // a record gone, its key entries left behind
        Exec(db, "DELETE FROM r WHERE pos = ?1", pos, arg, bytes);
        break;
      case 3:  // a key entry gone
        Exec(db, "DELETE FROM " + key + " WHERE pos = ?1", pos, arg, bytes);
        break;
      case 4:  // garbled sequences
        Exec(db, "UPDATE r SET seqs = ?3 WHERE pos = ?1", pos, arg, bytes);
        break;
      case 5:  // a record moved to a position out of range or onto another's entries
        Exec(db, "UPDATE r SET pos = ?2 WHERE pos = ?1", pos,
             arg % 3 == 0 ? -static_cast<int64_t>(arg) : (arg % 3 == 1 ? 0 : 1 + arg % 20), bytes);
        break;
      case 6:  // a key entry rewritten with other key bytes
        Exec(db, "UPDATE " + key + " SET k = ?3 WHERE pos = ?1", pos, arg, bytes);
        break;
      case 7:  // a stray key entry for a record that may not exist
        Exec(db, "INSERT OR IGNORE INTO " + key + " VALUES(?3, ?2, ?1)", pos, arg, bytes);
        break;
      default:  // a second entry of an existing record
        Exec(db,
             "INSERT OR IGNORE INTO " + key + " SELECT ?3, seq + ?2, pos FROM " + key +
                 " WHERE pos = ?1",
             pos, arg + 1, bytes);
        break;
    }
  }
  sqlite3_close(db);
}

// A walk along a path; it must end, with any status.
void Walk(uint8_t *pb, int first, int next, int8_t key) {
  uint8_t rec[64];
  uint8_t kb[16];
  int op = first;
  for (int n = 0;; ++n) {
    if (Call(op, pb, rec, sizeof rec, kb, sizeof kb, key) != 0) return;
    if (n > kMaxWalk) abort();  // the walk repeats itself
    op = next;
  }
}

void Exercise(uint8_t *pb, uint8_t seed) {
  Walk(pb, B_STEP_FIRST, B_STEP_NEXT, 0);
  Walk(pb, B_STEP_LAST, B_STEP_PREVIOUS, 0);
  for (int8_t k = 0; k < 2; ++k) {
    Walk(pb, B_GET_FIRST, B_GET_NEXT, k);
    Walk(pb, B_GET_LAST, B_GET_PREVIOUS, k);
  }
  uint8_t rec[64];
  uint8_t kb[16] = {};
  for (int id = 0; id < kRecords; id += 1 + seed % 3) {
    std::memcpy(kb, &id, 4);
    int bias = 100 * (seed % 5);
    if (Call(B_GET_EQUAL + bias, pb, rec, sizeof rec, kb, sizeof kb, 0) != 0) continue;
    rec[6] = static_cast<uint8_t>('a' + id);
    if (id % 3 == 0) {
      Call(B_DELETE, pb, rec, 16, kb, sizeof kb, 0);
    } else {
      Call(B_UPDATE, pb, rec, 16 + (seed & 1), kb, sizeof kb, 1);
    }
  }
  std::string fresh = Record(100 + seed, 'Z');
  Call(B_INSERT, pb, fresh.data(), 16, kb, sizeof kb, 0);
  for (int32_t pos = -1; pos < kRecords + 4; ++pos) {
    std::memcpy(rec, &pos, 4);
    Call(B_GET_DIRECT, pb, rec, sizeof rec, kb, sizeof kb, static_cast<int8_t>(pos % 3 - 1));
    std::memcpy(rec, &pos, 4);
    Call(B_FIND_PERCENTAGE, pb, rec, 4, kb, sizeof kb, -1);
  }
  for (uint16_t percent : {0, 5000, 10000}) {
    std::memcpy(rec, &percent, 2);
    Call(B_GET_BY_PERCENTAGE, pb, rec, sizeof rec, kb, sizeof kb,
         static_cast<int8_t>(seed % 3 - 1));
  }
  // Every record, 4 bytes of each, by extended reads in both orders.
  std::vector<uint8_t> ext(2048, 0);
  const uint8_t descriptor[] = {16, 0, 'U', 'C', 0, 0, 0, 0, 50, 0, 1, 0, 4, 0, 0, 0};
  for (int op : {B_STEP_NEXT_EXT, B_STEP_PREVIOUS_EXT, B_GET_NEXT_EXTENDED}) {
    Call(op == B_GET_NEXT_EXTENDED ? B_GET_FIRST : B_STEP_FIRST, pb, rec, sizeof rec, kb, sizeof kb,
         0);
    std::memcpy(ext.data(), descriptor, sizeof descriptor);
    Call(op, pb, ext.data(), static_cast<uint32_t>(ext.size()), kb, sizeof kb, 0);
  }
  std::vector<uint8_t> stat(4096);
  Call(B_STAT, pb, stat.data(), static_cast<uint32_t>(stat.size()));
  uint8_t index[16] = {13, 0, 4, 0, B_KEY_DUPLICATES, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  Call(B_CREATE_INDEX, pb, index, sizeof index, kb, 0, 0);
}

}  // namespace

int RunRecordTableFuzzInput(const uint8_t *data, size_t size) {
  if (!WriteSoundFile()) return 0;
  Damage(data, size);
  uint8_t pb[128] = {};
  std::string path = Path();
  if (Call(B_OPEN, pb, nullptr, 0, path.data(), 0, 0) != 0) return 0;
  Exercise(pb, size > 0 ? data[0] : 0);
  Call(B_CLOSE, pb, nullptr, 0);
  return 0;
}
