// A data file opened by the editor through the record manager, closed when it goes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace dictedit {

// Whether a file is at `native_path`, on this machine or on the server that keeps its
// directory (a file there is no file here).
bool DataFileExists(const std::string &native_path);

// The open mode that keeps every other open away while the file is held.
constexpr int8_t kExclusiveOpen = -4;

class OpenDataFile {
 public:
  OpenDataFile() = default;
  OpenDataFile(const OpenDataFile &) = delete;
  OpenDataFile &operator=(const OpenDataFile &) = delete;
  ~OpenDataFile();

  // Opens `native_path` in the record manager's open mode (0 normal, -4 exclusive); the
  // status.
  int16_t Open(const std::string &native_path, int8_t mode = 0);
  void Close();
  // The Stat buffer (record length at 0, record count at 6); the status.
  int16_t Stat(std::vector<uint8_t> *stat);
  uint8_t *Block() { return block_; }

 private:
  uint8_t block_[128] = {};
  bool open_ = false;
};

}  // namespace dictedit
