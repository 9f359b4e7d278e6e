// The records, keys and checks the record manager's benchmarks share: 100-byte records with
// a unique and a duplicates key, the extended read they time, and the digest both sides of a
// case must agree on.
#pragma once

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "btrieve/btrapi.h"

namespace benchdata {

constexpr int kRecordLength = 100;
constexpr int kCategoryOffset = 8;  // a 4-byte integer: key % 100, what extended reads filter
constexpr int kExtractOffset = 12;  // 8 bytes of the body the extended reads return
constexpr int kExtendedMatches = 1000;

inline int32_t GetI32(const uint8_t *p) {
  int32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
inline void PutI32(uint8_t *p, int32_t v) {
  std::memcpy(p, &v, 4);
}

// A signed integer key as the record manager encodes it (big-endian, sign bit flipped), read
// as a number; and back.
inline uint32_t KeyBits(int32_t v) {
  return static_cast<uint32_t>(v) ^ 0x80000000u;
}
inline int32_t KeyOfBits(uint32_t bits) {
  return static_cast<int32_t>(bits ^ 0x80000000u);
}

// Record of key k: k at 0 (key 0, unique), k / 2 at 4 (key 1, duplicates), k % 100 at 8, then
// bytes that depend on k.
inline void MakeRecord(int32_t k, uint8_t *r) {
  PutI32(r, k);
  PutI32(r + 4, k / 2);
  PutI32(r + kCategoryOffset, k % 100);
  for (int i = kExtractOffset; i < kRecordLength; ++i)
    r[i] = static_cast<uint8_t>('a' + (k + i) % 26);
}

// FNV-1a over what a walk read, so both sides can be compared.
struct Digest {
  uint64_t h = 1469598103934665603ull;
  long count = 0;
  void Add(const void *p, size_t n) {
    const uint8_t *b = static_cast<const uint8_t *>(p);
    for (size_t i = 0; i < n; ++i)
      h = (h ^ b[i]) * 1099511628211ull;
    ++count;
  }
};

// The first side of a case to finish records its digest; the other must match it.
inline void Agree(benchmark::State &state, const std::string &name, const Digest &d) {
  static std::mutex m;
  static std::map<std::string, std::pair<uint64_t, long>> seen;
  std::lock_guard<std::mutex> lock(m);
  auto [it, fresh] = seen.emplace(name, std::make_pair(d.h, d.count));
  if (!fresh && (it->second.first != d.h || it->second.second != d.count)) {
    std::fprintf(stderr, "%s: the two sides read different records\n", name.c_str());
    state.SkipWithError("the two sides disagree");
  }
}

inline std::vector<uint8_t> TwoKeySpec() {
  std::vector<uint8_t> b(16 + 32, 0);
  b[0] = kRecordLength;
  b[3] = 0x10;  // page size 4096
  b[4] = 2;
  uint8_t *k0 = b.data() + 16;  // key 0: unique 4-byte integer at position 1
  k0[0] = 1;
  k0[2] = 4;
  k0[5] = 0x01;
  k0[10] = B_TYPE_INTEGER;
  uint8_t *k1 = b.data() + 32;  // key 1: 4-byte integer with duplicates at position 5
  k1[0] = 5;
  k1[2] = 4;
  k1[4] = B_KEY_DUPLICATES;
  k1[5] = 0x01;
  k1[10] = B_TYPE_INTEGER;
  return b;
}

inline std::vector<uint8_t> ExtendedDescriptor() {
  std::vector<uint8_t> desc;
  auto u16 = [&](int v) {
    desc.push_back(static_cast<uint8_t>(v));
    desc.push_back(static_cast<uint8_t>(v >> 8));
  };
  u16(0);
  desc.push_back('U');
  desc.push_back('C');
  u16(0);  // reject count: no limit
  u16(1);  // one term: the category (a 4-byte integer at 8) = 7
  desc.push_back(B_TYPE_INTEGER);
  u16(4);
  u16(kCategoryOffset);
  desc.push_back(1);
  desc.push_back(0);
  desc.insert(desc.end(), {7, 0, 0, 0});
  u16(kExtendedMatches);
  u16(2);
  u16(4), u16(0);               // the key
  u16(8), u16(kExtractOffset);  // 8 bytes of the body
  desc[0] = static_cast<uint8_t>(desc.size());
  return desc;
}

// A new file of the two keys at `path`, opened through `pb`; aborts when either fails.
inline void CreateTwoKeyFile(const std::string &path, uint8_t *pb) {
  std::vector<uint8_t> spec = TwoKeySpec();
  uint32_t len = static_cast<uint32_t>(spec.size());
  uint8_t scratch[128] = {};
  std::string name = path;  // the key buffer is the caller's to write
  if (BTRCALL(B_CREATE, scratch, spec.data(), &len, name.data(), 0, 0) != 0) abort();
  len = 0;
  if (BTRCALL(B_OPEN, pb, nullptr, &len, name.data(), 0, 0) != 0) abort();
}

// Records of the given keys inserted through `pb` in one transaction.
inline void InsertThrough(uint8_t *pb, const int32_t *keys, size_t n) {
  uint32_t len = 0;
  BTRCALL(B_BEGIN_TRAN, nullptr, nullptr, &len, nullptr, 0, 0);
  uint8_t r[kRecordLength], key[4];
  for (size_t i = 0; i < n; ++i) {
    MakeRecord(keys[i], r);
    len = kRecordLength;
    if (BTRCALL(B_INSERT, pb, r, &len, key, 4, -1) != 0) abort();
  }
  if (BTRCALL(B_END_TRAN, nullptr, nullptr, &len, nullptr, 0, 0) != 0) abort();
}

// What a file opened through `pb` holds: its records (Stat) and the highest value of key 0
// (Get Last); -1 for what could not be read.
inline void TallyThrough(uint8_t *pb, int64_t *records, int32_t *last) {
  uint8_t stat[512], data[kRecordLength + 1], key[4];
  uint32_t len = sizeof stat;
  *records = -1;
  if (BTRCALL(B_STAT, pb, stat, &len, key, 4, 0) == 0) {
    uint32_t count;
    std::memcpy(&count, stat + offsetof(BtrFileSpec, record_count), 4);
    *records = count;
  }
  len = sizeof data;
  *last = BTRCALL(B_GET_LAST, pb, data, &len, key, 4, 0) == 0 ? GetI32(data) : -1;
}

// After a case's inserts: the file must hold every record inserted, up to the highest key.
template <typename Side>
void CheckInserted(benchmark::State &state, const std::string &name, Side &side,
                   int64_t expected_records, int32_t expected_last) {
  int64_t records = 0;
  int32_t last = 0;
  side.Tally(&records, &last);
  if (records == expected_records && last == expected_last) return;
  std::fprintf(stderr, "%s: %lld records up to key %d, expected %lld up to %d\n", name.c_str(),
               static_cast<long long>(records), last, static_cast<long long>(expected_records),
               expected_last);
  state.SkipWithError("insert: the file does not hold what was inserted");
}

// Get Equal through `pb` on random keys of 0 .. n - 1, each record copied and its key checked.
inline void GetEqualThrough(benchmark::State &state, uint8_t *pb, int n) {
  std::mt19937 rng(1);
  uint8_t data[kRecordLength + 1], key[4];
  for (auto _ : state) {
    int32_t k = static_cast<int32_t>(rng() % n);
    PutI32(key, k);
    uint32_t len = sizeof data;
    if (BTRCALL(B_GET_EQUAL, pb, data, &len, key, 4, 0) != 0 || GetI32(data) != k)
      state.SkipWithError("get equal");
  }
}

// Get Next Extended through `pb` from the first record of key 0: the descriptor above, its
// 1,000 results digested under `name` (both sides of the case must agree).
inline void ExtendedReadThrough(benchmark::State &state, uint8_t *pb, const std::string &name) {
  const std::vector<uint8_t> desc = ExtendedDescriptor();
  std::vector<uint8_t> buffer(2 + kExtendedMatches * (6 + 12));
  uint8_t data[kRecordLength + 1], key[4];
  Digest d;
  for (auto _ : state) {
    d = Digest{};
    uint32_t len = sizeof data;
    BTRCALL(B_GET_FIRST, pb, data, &len, key, 4, 0);
    std::memcpy(buffer.data(), desc.data(), desc.size());
    len = static_cast<uint32_t>(buffer.size());
    int rc = BTRCALL(B_GET_NEXT_EXTENDED, pb, buffer.data(), &len, key, 4, 0);
    int count = buffer[0] | buffer[1] << 8;
    if ((rc != 0 && rc != B_END_OF_FILE) || count != kExtendedMatches) {
      state.SkipWithError("extended");
      break;
    }
    const uint8_t *p = buffer.data() + 2;
    for (int i = 0; i < count; ++i, p += 6 + 12)
      d.Add(p + 6, 12);
  }
  Agree(state, name, d);
  state.SetItemsProcessed(state.iterations() * kExtendedMatches);
}

}  // namespace benchdata
