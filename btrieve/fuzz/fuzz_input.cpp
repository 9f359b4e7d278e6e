#include "fuzz_input.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "btrieve/btrapi.h"
#include "fuzz_reader.h"

namespace {

const std::string &Dir() {
  static const std::string dir = fuzzing::FuzzScratchDirectory("zelko-fuzz");
  return dir;
}

// A file of 10 records (16 bytes: 4-byte integer key 0, 8-byte string key 1, 4 more).
uint8_t *SampleFile() {
  static uint8_t pb[128];
  static bool ready = false;
  if (ready) return pb;
  std::string path = Dir() + "/sample.btr";
  uint8_t spec[16 + 32] = {};
  spec[0] = 16;
  spec[3] = 0x04;  // page 1024
  spec[4] = 2;
  spec[16 + 0] = 1, spec[16 + 2] = 4, spec[16 + 5] = 0x01, spec[16 + 10] = B_TYPE_INTEGER;
  spec[32 + 0] = 5, spec[32 + 2] = 8, spec[32 + 4] = B_KEY_DUPLICATES;
  uint32_t len = sizeof spec;
  uint8_t tmp[128];
  BTRCALL(B_CREATE, tmp, spec, &len, path.data(), 0, 0);
  len = 0;
  BTRCALL(B_OPEN, pb, nullptr, &len, path.data(), 0, 0);
  for (int i = 0; i < 10; ++i) {
    uint8_t rec[16] = {};
    std::memcpy(rec, &i, 4);
    std::memcpy(rec + 4, "NAME    ", 8);
    rec[4] = static_cast<uint8_t>('A' + i);
    uint8_t key[8];
    len = sizeof rec;
    BTRCALL(B_INSERT, pb, rec, &len, key, 8, -1);
  }
  ready = true;
  return pb;
}

// The buffer under test in a heap block of exactly its size.
struct Exact {
  Exact(const uint8_t *data, size_t size) : n(size), p(new uint8_t[size ? size : 1]) {
    if (size) std::memcpy(p.get(), data, size);
  }
  size_t n;
  std::unique_ptr<uint8_t[]> p;
};

}  // namespace

int RunBtrieveFuzzInput(const uint8_t *data, size_t size) {
  if (size < 3) return 0;
  uint8_t kind = data[0] % 5;
  int8_t key_number = static_cast<int8_t>(data[1]);
  uint8_t extra = data[2];
  Exact buf(data + 3, size - 3);
  uint32_t len = static_cast<uint32_t>(buf.n);
  uint8_t key[256] = {};
  switch (kind) {
    case 0: {  // Create specification; a file it accepts must work
      std::string path = Dir() + "/created.btr";
      uint8_t pb[128];
      if (BTRCALL(B_CREATE, pb, buf.p.get(), &len, path.data(), 0, 0) == 0) {
        uint32_t zero = 0;
        if (BTRCALL(B_OPEN, pb, nullptr, &zero, path.data(), 0, 0) == 0) {
          std::vector<uint8_t> rec(4096, extra);
          for (int i = 0; i < 3; ++i) {
            uint32_t rl = static_cast<uint32_t>(rec.size());
            BTRCALL(B_INSERT, pb, rec.data(), &rl, key, 255, 0);
            rec[0]++;
          }
          std::vector<uint8_t> stat(8192);
          uint32_t sl = static_cast<uint32_t>(stat.size());
          BTRCALL(B_STAT, pb, stat.data(), &sl, key, 255, 0);
          BTRCALL(B_GET_LAST, pb, rec.data(), &sl, key, 255, 0);
          BTRCALL(B_CLOSE, pb, nullptr, &zero, nullptr, 0, 0);
        }
        unlink(path.c_str());
      }
      break;
    }
    case 1: {  // extended descriptor
      uint8_t *pb = SampleFile();
      uint8_t rec[17];
      uint32_t rl = sizeof rec;
      BTRCALL(B_GET_FIRST, pb, rec, &rl, key, 8, static_cast<int8_t>(extra & 1));
      uint16_t op =
          static_cast<uint16_t>(B_GET_NEXT_EXTENDED + extra % 4 + 100 * ((extra >> 2) % 5));
      BTRCALL(op, pb, buf.p.get(), &len, key, static_cast<uint8_t>(extra >> 4), key_number);
      break;
    }
    case 2: {  // Stat with any buffer size
      BTRCALL(B_STAT, SampleFile(), buf.p.get(), &len, key, extra, 0);
      break;
    }
    case 3: {  // Get Direct with any position, key and buffer
      BTRCALL(B_GET_DIRECT + 100 * (extra % 5), SampleFile(), buf.p.get(), &len, key, extra,
              key_number);
      break;
    }
    default: {  // Create Index, then drop what it made
      uint8_t *pb = SampleFile();
      if (BTRCALL(B_CREATE_INDEX, pb, buf.p.get(), &len, key, 0, 0) == 0) {
        uint32_t zero = 0;
        BTRCALL(B_DROP_INDEX, pb, nullptr, &zero, key, 0, 2);
      }
      break;
    }
  }
  return 0;
}
