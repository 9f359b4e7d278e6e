#include "btr_test_util.h"

#include "zelko_test_env.h"

namespace btrtest {

std::vector<uint8_t> CreateBuffer(uint16_t record_length, uint16_t page_size,
                                  const std::vector<Key> &keys, uint16_t file_flags,
                                  const std::vector<std::vector<uint8_t>> &tables, bool chain) {
  std::vector<uint8_t> b(16, 0);
  b[0] = record_length & 0xFF;
  b[1] = record_length >> 8;
  b[2] = page_size & 0xFF;
  b[3] = page_size >> 8;
  b[4] = static_cast<uint8_t>(keys.size());
  b[10] = file_flags & 0xFF;
  b[11] = file_flags >> 8;
  for (const Key &k : keys) {
    for (size_t i = 0; i < k.size(); ++i) {
      const Seg &s = k[i];
      uint16_t flags = s.flags;
      if (chain && i + 1 < k.size()) flags |= B_KEY_SEGMENTED;
      uint8_t spec[16] = {};
      spec[0] = s.position & 0xFF;
      spec[1] = s.position >> 8;
      spec[2] = s.length & 0xFF;
      spec[3] = s.length >> 8;
      spec[4] = flags & 0xFF;
      spec[5] = flags >> 8;
      spec[10] = s.type;
      spec[11] = s.null_value;
      spec[15] = s.acs;
      b.insert(b.end(), spec, spec + 16);
    }
  }
  for (const auto &t : tables)
    b.insert(b.end(), t.begin(), t.end());
  return b;
}

std::vector<uint8_t> CollatingTable(const std::string &name, const std::vector<uint8_t> &map) {
  std::vector<uint8_t> t(265, 0);
  t[0] = 0xAC;
  for (size_t i = 0; i < name.size() && i < 8; ++i)
    t[1 + i] = name[i];
  for (int i = 0; i < 256; ++i)
    t[9 + i] = map.empty() ? static_cast<uint8_t>(i) : map[i];
  return t;
}

std::vector<uint8_t> UpperTable() {
  std::vector<uint8_t> map(256);
  for (int i = 0; i < 256; ++i)
    map[i] = (i >= 'a' && i <= 'z') ? i - 32 : i;
  return CollatingTable("UPPER", map);
}

std::string Scratch(const std::string &name) {
  return zelko_testing::ScratchDir() + "/" + name;
}

int16_t Create(const std::string &path, std::vector<uint8_t> buffer, int8_t mode) {
  PosBlock pb;
  uint32_t len = static_cast<uint32_t>(buffer.size());
  std::string p = path;
  return BTRCALL(B_CREATE, pb.b, buffer.data(), &len, p.data(), 0, mode);
}

int16_t Open(PosBlock &pb, const std::string &path, int8_t mode, const std::string &owner) {
  std::string p = path;
  std::string o = owner;
  uint32_t len = owner.empty() ? 0 : static_cast<uint32_t>(owner.size() + 1);
  return BTRCALL(B_OPEN, pb.b, o.data(), &len, p.data(), static_cast<uint8_t>(p.size()), mode);
}

int16_t Close(PosBlock &pb) {
  uint32_t len = 0;
  return BTRCALL(B_CLOSE, pb.b, nullptr, &len, nullptr, 0, 0);
}

int16_t Op(int op, PosBlock &pb, std::string &data, std::string &key, int8_t key_number) {
  uint32_t len = static_cast<uint32_t>(data.size());
  int16_t rc = BTRCALL(static_cast<uint16_t>(op), pb.b, data.data(), &len, key.data(),
                       static_cast<uint8_t>(key.size()), key_number);
  if (len <= data.size()) data.resize(len);
  return rc;
}

int16_t Insert(PosBlock &pb, const std::string &record, int8_t key_number) {
  std::string data = record;
  std::string key(255, '\0');
  return Op(B_INSERT, pb, data, key, key_number);
}

int16_t Call0(int op) {
  uint32_t len = 0;
  return BTRCALL(static_cast<uint16_t>(op), nullptr, nullptr, &len, nullptr, 0, 0);
}

std::string Le16(int v) {
  std::string s(2, '\0');
  s[0] = static_cast<char>(v & 0xFF);
  s[1] = static_cast<char>((v >> 8) & 0xFF);
  return s;
}

std::string Le32(int64_t v) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i)
    s[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  return s;
}

std::string Pad(const std::string &s, size_t n, char fill) {
  std::string r = s.substr(0, n);
  r.resize(n, fill);
  return r;
}

}  // namespace btrtest
