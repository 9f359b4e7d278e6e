// The exported call. Nothing thrown inside the record manager leaves it: a failure that ends
// in an exception (memory exhausted, an unforeseen error) is status 2.
#include <sys/stat.h>

#include "btrieve/btrapi.h"
#include "check.h"
#include "directory_lock.h"
#include "engine.h"
#include "storage.h"
#include "zplatform/paths.h"
#include "zplatform/servers.h"

extern "C" int16_t BTRCALL(uint16_t operation, void *position_block, void *data_buffer,
                           uint32_t *data_length, void *key_buffer, uint8_t key_length,
                           int8_t key_number) {
  try {
    btr::CallArgs args{operation,
                       position_block,
                       static_cast<uint8_t *>(data_buffer),
                       data_length,
                       static_cast<uint8_t *>(key_buffer),
                       key_length,
                       key_number};
    return btr::Engine::Instance().Call(args);
  } catch (...) {
    return B_IO_ERROR;
  }
}

extern "C" int16_t BTRDELETEFILE(const char *path) {
  try {
    return btr::Engine::Instance().DeleteFile(path);
  } catch (...) {
    return B_IO_ERROR;
  }
}

extern "C" int16_t BTRRENAMEFILE(const char *from, const char *to) {
  try {
    return btr::Engine::Instance().RenameFile(from, to);
  } catch (...) {
    return B_IO_ERROR;
  }
}

extern "C" int16_t BTRCHECKFILE(const char *path, BtrCheckReport report, void *context) {
  try {
    if (path == nullptr || *path == '\0') return B_FILE_NOT_FOUND;
    std::optional<std::string> native = zplatform::NativePath(path);
    struct stat st;
    if (!native) return B_FILE_NOT_FOUND;
    if (::stat(native->c_str(), &st) != 0) {
      // A server's file is found by asking the server.
      uint64_t identity = 0;
      if (zplatform::ServerFor(*native).empty()) return B_FILE_NOT_FOUND;
      int16_t found = static_cast<int16_t>(btr::StoreFor(*native).Identify(*native, &identity));
      if (found != 0) return found;
    }
    std::vector<std::string> problems;
    bool sound = btr::CheckFile(*native, &problems);
    if (report != nullptr) {
      for (const std::string &p : problems)
        report(p.c_str(), context);
    }
    return sound ? 0 : 1;
  } catch (...) {
    return B_IO_ERROR;
  }
}

extern "C" int32_t BTRLOCKDIRECTORY(const char *path, int exclusive, int32_t wait_ms) {
  try {
    if (path == nullptr || *path == '\0') return 0;
    std::optional<std::string> native = zplatform::NativePath(path);
    return native ? btr::LockDirectory(*native, exclusive != 0, wait_ms) : 0;
  } catch (...) {
    return 0;
  }
}

extern "C" void BTRUNLOCKDIRECTORY(int32_t handle) {
  try {
    btr::UnlockDirectory(handle);
  } catch (...) {
  }
}

extern "C" void BTRRELEASE(void) {
  try {
    btr::Engine::Instance().Release();
  } catch (...) {
    // Releasing is best effort: what could not be released goes with the process.
  }
}
