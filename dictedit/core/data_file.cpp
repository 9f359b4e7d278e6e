#include "data_file.h"

#include <sys/stat.h>

#include <algorithm>

#include "btrieve/btrapi.h"
#include "zplatform/codepage.h"

namespace dictedit {

bool DataFileExists(const std::string &native_path) {
  struct stat st {};
  return ::stat(native_path.c_str(), &st) == 0 ||
         btrieve::FileIsThere(zplatform::FromUtf8(native_path).c_str());
}

OpenDataFile::~OpenDataFile() {
  Close();
}

void OpenDataFile::Close() {
  if (!open_) return;
  uint32_t length = 0;
  BTRCALL(B_CLOSE, block_, nullptr, &length, nullptr, 0, 0);
  open_ = false;
}

int16_t OpenDataFile::Open(const std::string &native_path, int8_t mode) {
  // The record manager takes code-page paths.
  std::string key = zplatform::FromUtf8(native_path);
  uint32_t length = 0;
  int16_t status = BTRCALL(B_OPEN, block_, nullptr, &length, key.data(),
                           static_cast<uint8_t>(std::min<size_t>(key.size(), 255)), mode);
  open_ = status == 0;
  return status;
}

int16_t OpenDataFile::Stat(std::vector<uint8_t> *stat) {
  stat->assign(4096, 0);
  uint32_t length = static_cast<uint32_t>(stat->size());
  char name[256] = {};
  return BTRCALL(B_STAT, block_, stat->data(), &length, name, 255, 0);
}

}  // namespace dictedit
