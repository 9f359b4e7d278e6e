// A model of one record manager file for the model-checked fuzz target: its keys, the
// order of their values, and its records. The model compares values by its own rules,
// written from the key types' definitions, so that it does not share a fault with the
// record manager's key encoding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace btrmodel {

enum class SegType { kInteger, kString, kUnsigned, kZString, kDecimal, kAutoIncrement };

struct SegModel {
  int offset;
  int length;
  SegType type;
  bool descending;
  bool no_case;
};

struct KeyModel {
  std::vector<SegModel> segs;
  bool duplicates;
  bool modifiable;
  bool null_all;  // null byte 0
};

constexpr uint16_t kRecordLength = 32;
constexpr int kKeys = 6;
constexpr int kPayload = 21;     // bytes 21..31 carry a serial number
constexpr size_t kMaxTail = 60;  // a variable-length file's records grow to 92 bytes
constexpr size_t kMaxRecord = kRecordLength + kMaxTail;
constexpr size_t kRoom = 128;  // the data buffer given to reads

// The file's keys: an integer (unique, not modifiable); a case-insensitive string with a
// descending unsigned (duplicates); an integer whose zero is null (duplicates); a zero-ended
// string (unique); a descending packed decimal (duplicates); an auto-increment number
// (unique).
const std::vector<KeyModel> &Keys();

template <typename T>
int Order(T a, T b) {
  return (a > b) - (a < b);
}

int64_t SignedLe(const uint8_t *p, int n);
uint64_t UnsignedLe(const uint8_t *p, int n);
// Negative, 0 or positive as `a` sorts before, with or after `b` in the segment.
int CompareSegment(const SegModel &s, const uint8_t *a, const uint8_t *b);
std::string KeyValue(const KeyModel &k, const std::string &record);
int CompareKeyValues(const KeyModel &k, const std::string &a, const std::string &b);
bool IsNull(const KeyModel &k, const std::string &record);

struct Record {
  std::string data;
  int64_t seq[kKeys];  // order among duplicates; 0 in a unique key
};

struct FileModel {
  std::map<int64_t, Record> records;  // by physical position
  std::set<int64_t> positions_given;
  int64_t next_seq = 1;
};

struct Entry {
  int64_t pos;
  const Record *rec;
};

// The key's path: records not null in it, by value, then insertion sequence. Key -1:
// every record, in physical order.
std::vector<Entry> Path(const FileModel &m, int key);
// Where (kv, seq) stands against an entry of the path: negative before it.
int Against(int key, const std::string &kv, int64_t seq, const Entry &e);

}  // namespace btrmodel
