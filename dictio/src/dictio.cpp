// The dictionary I/O library: the three dictionary files of one directory at a time.
#include "dictio/dictio.h"

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "btrieve/btrapi.h"
#include "dictionary_swap.h"
#include "system_records.h"
#include "zplatform/messages.h"
#include "zplatform/paths.h"
#include "zplatform/profile.h"

namespace {

constexpr const char kBuiltInOwner[] = "ZelkoDict1";  // 10 characters
constexpr int kOwnerBufferLength = 12;
constexpr int kOpenAttemptsOnInactive = 5;
constexpr int kReaderLockWaitMs = 10000;

enum DdfFile { kFile, kField, kIndex, kFileCount };
constexpr const char *kFileNames[kFileCount] = {"FILE.DDF", "FIELD.DDF", "INDEX.DDF"};
constexpr uint32_t kRecordLengths[kFileCount] = {97, 32, 10};
// The key value after which a read pass begins: past the dictionary's own records.
constexpr uint32_t kPassStart[kFileCount] = {3, 17, 2};

struct State {
  uint8_t position_blocks[kFileCount][128] = {};
  std::string directory;  // the directory with its separator, as the paths are built
  char owner[32] = {};
  uint32_t owner_length = 0;
  uint8_t read_keys[kFileCount][4] = {};
};

State &TheState() {
  static State state;
  return state;
}

int16_t Call(uint16_t op, void *pb, void *data, uint32_t length, void *key, uint8_t key_length,
             int8_t key_number) {
  return BTRCALL(op, pb, data, &length, key, key_length, key_number);
}

std::string PathOf(DdfFile file) {
  return TheState().directory + kFileNames[file];
}

// Opens one dictionary file with the owner name, then with the built-in owner on 51.
int OpenFile(DdfFile file, int8_t mode) {
  State &s = TheState();
  std::string path = PathOf(file);
  int attempts = file == kFile ? kOpenAttemptsOnInactive : 1;
  int status = 0;
  for (int i = 0; i < attempts; ++i) {
    status = Call(B_OPEN, s.position_blocks[file], s.owner, s.owner_length, path.data(),
                  static_cast<uint8_t>(path.size() > 255 ? 255 : path.size()), mode);
    if (status != B_RECORD_MANAGER_INACTIVE) break;
  }
  if (status == B_BAD_OWNER) {
    char owner[sizeof kBuiltInOwner];
    std::memcpy(owner, kBuiltInOwner, sizeof owner);
    status = Call(B_OPEN, s.position_blocks[file], owner, sizeof owner, path.data(),
                  static_cast<uint8_t>(path.size() > 255 ? 255 : path.size()), mode);
  }
  return status;
}

int CreateFile(DdfFile file) {
  std::vector<uint8_t> spec = file == kFile    ? dictio::FileDdfCreationBuffer()
                              : file == kField ? dictio::FieldDdfCreationBuffer()
                                               : dictio::IndexDdfCreationBuffer();
  std::string path = PathOf(file);
  // Deleted with its journal; a file another process has open stays, and Create says so.
  BTRDELETEFILE(path.c_str());
  uint8_t pb[128] = {};
  return Call(B_CREATE, pb, spec.data(), static_cast<uint32_t>(spec.size()), path.data(), 0, 0);
}

template <typename Record>
int InsertRecords(DdfFile file, std::vector<Record> records) {
  for (Record &r : records) {
    uint8_t key[128];
    int status = Call(B_INSERT, TheState().position_blocks[file], &r, sizeof r, key,
                      file == kIndex ? 128 : 64, 0);
    if (status != 0) return status;
  }
  return 0;
}

int InsertSystemRecords(DdfFile file) {
  switch (file) {
    case kFile:
      return InsertRecords(kFile, dictio::SystemTableRecords());
    case kField:
      return InsertRecords(kField, dictio::SystemFieldRecords());
    default:
      return InsertRecords(kIndex, dictio::SystemIndexRecords());
  }
}

void CloseFile(DdfFile file) {
  Call(B_CLOSE, TheState().position_blocks[file], nullptr, 0, nullptr, 0, 0);
}

int ReadNext(DdfFile file, void *buffer) {
  State &s = TheState();
  int status = Call(B_GET_NEXT, s.position_blocks[file], buffer, kRecordLengths[file],
                    s.read_keys[file], sizeof s.read_keys[file], 0);
  if (status == B_POSITIONING_ERROR) {
    // The first read of a pass: begin after the dictionary's own records.
    uint32_t start = kPassStart[file];
    std::memcpy(s.read_keys[file], &start, sizeof start);
    status = Call(B_GET_GREATER, s.position_blocks[file], buffer, kRecordLengths[file],
                  s.read_keys[file], sizeof s.read_keys[file], 0);
  }
  return status;
}

// Fills a name field with spaces from its first NUL to its end.
void PadName(char *name, size_t width) {
  void *nul = std::memchr(name, '\0', width);
  if (nul != nullptr) {
    char *from = static_cast<char *>(nul);
    std::memset(from, ' ', width - (from - name));
  }
}

// Runs an exported function's body: nothing thrown inside leaves the library; a failure that
// ends in an exception (memory exhausted) is the record manager's I/O error.
template <typename Body>
int Guarded(Body body) {
  try {
    return body();
  } catch (...) {
    return B_IO_ERROR;
  }
}

// A save whose process ended while it put the three files in place leaves a note of where
// it got to: the first program to open the dictionary after it finishes that save, alone in
// the directory, so that no one reads one file of the old dictionary with another of the new.
void FinishSavesLeftPartWay(const std::string &code_page_directory) {
  std::optional<std::string> native = zplatform::NativePath(code_page_directory);
  if (!native || !dictio::SaveScratchLeft(*native)) return;
  btrieve::DirectoryLock alone(code_page_directory.c_str(), true, kReaderLockWaitMs);
  if (alone.Held()) dictio::FinishInterruptedSaves(*native);
}

}  // namespace

extern "C" {

int DDFOpen(const char *directory, int create) {
  return Guarded([&]() -> int {
    State &s = TheState();
    std::string dir = directory != nullptr ? directory : "";
    if (auto short_form = zplatform::ShortPathName(dir)) dir = *short_form;
    if (dir.empty() || (dir.back() != '/' && dir.back() != '\\')) dir += '/';
    s.directory = dir;

    char owner[kOwnerBufferLength] = {};
    uint32_t n = zplatform::GetPrivateProfileString("zelko32", "owner", nullptr, owner,
                                                    sizeof owner, "zelko.ini");
    if (n + 1 > 8) zplatform::FatalAppExit("dictio: owner name too long");
    std::memset(s.owner, 0, sizeof s.owner);
    std::memcpy(s.owner, owner, n);
    s.owner_length = n == 0 ? 0 : n + 1;

    int8_t mode = create ? -1 : -2;
    FinishSavesLeftPartWay(dir);
    // The three files are opened as one set: a save that replaces them, or a writer that
    // fills new ones, holds the directory's lock (a reader that waited too long reads
    // anyway, as it always could).
    btrieve::DirectoryLock set_lock(dir.c_str(), create != 0, create ? -1 : kReaderLockWaitMs);
    int opened = 0;
    int status = 0;
    for (int f = kFile; f < kFileCount && status == 0; ++f) {
      DdfFile file = static_cast<DdfFile>(f);
      if (create) status = CreateFile(file);
      if (status == 0) {
        status = OpenFile(file, mode);
        if (status == 0) {
          opened = f + 1;
        } else if (file == kIndex && status == B_FILE_NOT_FOUND) {
          status = 0;  // a dictionary without an index file opens
          break;
        }
      }
      if (status == 0 && create) status = InsertSystemRecords(file);
    }
    if (status != 0) {
      // Only the files this call opened are closed: a process-wide release would close every
      // file of the process, the open tables of every data source included.
      for (int f = 0; f < opened; ++f)
        CloseFile(static_cast<DdfFile>(f));
    }
    return status;
  });
}

int DDFClose(void) {
  return Guarded([&]() -> int {
    State &s = TheState();
    int file = Call(B_CLOSE, s.position_blocks[kFile], nullptr, 0, nullptr, 0, 0);
    int field = Call(B_CLOSE, s.position_blocks[kField], nullptr, 0, nullptr, 0, 0);
    int index = Call(B_CLOSE, s.position_blocks[kIndex], nullptr, 0, nullptr, 0, 0);
    if (index == B_FILE_NOT_OPEN) index = 0;
    return file | field | index;
  });
}

int DDFReadFile(DdfFileRecord *record) {
  return Guarded([&]() -> int { return ReadNext(kFile, record); });
}
int DDFReadField(DdfFieldRecord *record) {
  return Guarded([&]() -> int { return ReadNext(kField, record); });
}
int DDFReadIndex(DdfIndexRecord *record) {
  return Guarded([&]() -> int { return ReadNext(kIndex, record); });
}

int DDFWriteFile(DdfFileRecord *record) {
  return Guarded([&]() -> int {
    if (record == nullptr) return B_DATALENGTH_ERROR;
    PadName(record->name, sizeof record->name);
    uint8_t key[64];
    return Call(B_INSERT, TheState().position_blocks[kFile], record, sizeof *record, key,
                sizeof key, 0);
  });
}

int DDFWriteField(DdfFieldRecord *record) {
  return Guarded([&]() -> int {
    if (record == nullptr) return B_DATALENGTH_ERROR;
    PadName(record->name, sizeof record->name);
    uint8_t key[64];
    return Call(B_INSERT, TheState().position_blocks[kField], record, sizeof *record, key,
                sizeof key, 0);
  });
}

int DDFWriteIndex(DdfIndexRecord *record) {
  return Guarded([&]() -> int {
    if (record == nullptr) return B_DATALENGTH_ERROR;
    uint8_t key[128];
    return Call(B_INSERT, TheState().position_blocks[kIndex], record, sizeof *record, key,
                sizeof key, 0);
  });
}

}  // extern "C"
