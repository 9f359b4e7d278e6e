// Helpers for calling the record manager in tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "btrieve/btrapi.h"

namespace zelko_testing {
class PrivatePostgres;
}

namespace btrtest {

zelko_testing::PrivatePostgres *TestServer();

struct PosBlock {
  uint8_t b[128] = {};
};

struct Seg {
  uint16_t position;  // 1-based
  uint16_t length;
  uint16_t flags;
  uint8_t type = 0;
  uint8_t null_value = 0;
  uint8_t acs = 0;
};
using Key = std::vector<Seg>;

// A Create buffer: file spec, key specs (flag 16 set between segments of a key when
// `chain` is true), then the collating tables given.
std::vector<uint8_t> CreateBuffer(uint16_t record_length, uint16_t page_size,
                                  const std::vector<Key> &keys, uint16_t file_flags = 0,
                                  const std::vector<std::vector<uint8_t>> &tables = {},
                                  bool chain = true);
// A 265-byte collating table with the given name and map (identity when empty).
std::vector<uint8_t> CollatingTable(const std::string &name, const std::vector<uint8_t> &map = {});
// The "UPPER" table of the dictionary files.
std::vector<uint8_t> UpperTable();

std::string Scratch(const std::string &name);

// True when the suites run against the server store (ZELKO_TEST_STORE=postgres): files under
// Scratch() then live on a private server, TestServer().
bool OnServer();

int16_t Create(const std::string &path, std::vector<uint8_t> buffer, int8_t mode = 0);
int16_t Open(PosBlock &pb, const std::string &path, int8_t mode = 0, const std::string &owner = "");
int16_t Close(PosBlock &pb);

// Calls with a record buffer; `data` is resized to what came back.
int16_t Op(int op, PosBlock &pb, std::string &data, std::string &key, int8_t key_number);
int16_t Insert(PosBlock &pb, const std::string &record, int8_t key_number = 0);
// An operation without a position block or buffers (Begin, End, Abort Transaction).
int16_t Call0(int op);

std::string Le16(int v);
std::string Le32(int64_t v);
std::string Pad(const std::string &s, size_t n, char fill = ' ');

}  // namespace btrtest
