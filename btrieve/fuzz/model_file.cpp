#include "model_file.h"

#include <algorithm>
#include <cstring>

namespace btrmodel {

const std::vector<KeyModel> &Keys() {
  static const std::vector<KeyModel> keys = {
      {{{0, 4, SegType::kInteger, false, false}}, false, false, false},
      {{{4, 3, SegType::kString, false, true}, {7, 2, SegType::kUnsigned, true, false}},
       true,
       true,
       false},
      {{{9, 2, SegType::kInteger, false, false}}, true, true, true},
      {{{11, 4, SegType::kZString, false, false}}, false, true, false},
      {{{15, 2, SegType::kDecimal, true, false}}, true, true, false},
      {{{17, 4, SegType::kAutoIncrement, false, false}}, false, true, false},
  };
  return keys;
}

int64_t SignedLe(const uint8_t *p, int n) {
  uint64_t v = 0;
  for (int i = 0; i < n; ++i)
    v |= static_cast<uint64_t>(p[i]) << (8 * i);
  if (n < 8 && (v >> (8 * n - 1)) & 1) v |= ~uint64_t{0} << (8 * n);
  return static_cast<int64_t>(v);
}

uint64_t UnsignedLe(const uint8_t *p, int n) {
  uint64_t v = 0;
  for (int i = 0; i < n; ++i)
    v |= static_cast<uint64_t>(p[i]) << (8 * i);
  return v;
}

namespace {

// Packed decimal: two digits a byte, the last nibble the sign (D negative).
int64_t Packed(const uint8_t *p, int n) {
  int64_t v = 0;
  for (int i = 0; i < 2 * n - 1; ++i)
    v = v * 10 + ((i % 2 == 0) ? p[i / 2] >> 4 : p[i / 2] & 0x0F);
  return (p[n - 1] & 0x0F) == 0x0D ? -v : v;
}

uint8_t Folded(uint8_t c, bool no_case) {
  return no_case && c >= 'a' && c <= 'z' ? static_cast<uint8_t>(c - 'a' + 'A') : c;
}

}  // namespace

int CompareSegment(const SegModel &s, const uint8_t *a, const uint8_t *b) {
  int c = 0;
  switch (s.type) {
    case SegType::kInteger:
    case SegType::kAutoIncrement:
      c = Order(SignedLe(a, s.length), SignedLe(b, s.length));
      break;
    case SegType::kUnsigned:
      c = Order(UnsignedLe(a, s.length), UnsignedLe(b, s.length));
      break;
    case SegType::kDecimal:
      c = Order(Packed(a, s.length), Packed(b, s.length));
      break;
    case SegType::kString:
    case SegType::kZString: {
      size_t la = s.length, lb = s.length;
      if (s.type == SegType::kZString) {
        la = strnlen(reinterpret_cast<const char *>(a), la);
        lb = strnlen(reinterpret_cast<const char *>(b), lb);
      }
      for (size_t i = 0; c == 0 && i < std::min(la, lb); ++i)
        c = Order(Folded(a[i], s.no_case), Folded(b[i], s.no_case));
      if (c == 0) c = Order(la, lb);
      break;
    }
  }
  return s.descending ? -c : c;
}

std::string KeyValue(const KeyModel &k, const std::string &record) {
  std::string v;
  for (const SegModel &s : k.segs)
    v.append(record, s.offset, s.length);
  return v;
}

int CompareKeyValues(const KeyModel &k, const std::string &a, const std::string &b) {
  size_t at = 0;
  for (const SegModel &s : k.segs) {
    int c = CompareSegment(s, reinterpret_cast<const uint8_t *>(a.data()) + at,
                           reinterpret_cast<const uint8_t *>(b.data()) + at);
    if (c != 0) return c;
    at += s.length;
  }
  return 0;
}

bool IsNull(const KeyModel &k, const std::string &record) {
  if (!k.null_all) return false;
  std::string v = KeyValue(k, record);
  return std::all_of(v.begin(), v.end(), [](char c) { return c == 0; });
}

std::vector<Entry> Path(const FileModel &m, int key) {
  std::vector<Entry> path;
  if (key < 0) {
    for (const auto &[pos, rec] : m.records)
      path.push_back({pos, &rec});
    return path;
  }
  const KeyModel &k = Keys()[key];
  for (const auto &[pos, rec] : m.records) {
    if (!IsNull(k, rec.data)) path.push_back({pos, &rec});
  }
  std::stable_sort(path.begin(), path.end(), [&](const Entry &a, const Entry &b) {
    int c = CompareKeyValues(k, KeyValue(k, a.rec->data), KeyValue(k, b.rec->data));
    return c != 0 ? c < 0 : a.rec->seq[key] < b.rec->seq[key];
  });
  return path;
}

int Against(int key, const std::string &kv, int64_t seq, const Entry &e) {
  const KeyModel &k = Keys()[key];
  int c = CompareKeyValues(k, kv, KeyValue(k, e.rec->data));
  return c != 0 ? c : Order(seq, e.rec->seq[key]);
}

}  // namespace btrmodel
