#include "dictionary_swap.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <utility>
#include <vector>

#include "btrieve/btrapi.h"
#include "zplatform/codepage.h"
#include "zplatform/paths.h"
#include "zplatform/servers.h"

namespace dictio {
namespace {

// A system error as the record manager's status that says the same, for messages that show
// a status (VE1017 "(46)" says permission denied; the errno 13 would read as another status).
int StatusOfSystemError(int err) {
  switch (err) {
    case 0:
      return 0;
    case EACCES:
    case EPERM:
    case EROFS:
      return B_ACCESS_TO_FILE_DENIED;
    case ENOSPC:
    case EDQUOT:
      return B_DISK_FULL;
    default:
      return B_IO_ERROR;
  }
}

constexpr const char *kNames[3] = {"FILE.DDF", "FIELD.DDF", "INDEX.DDF"};
// The note of a swap: "placing" while the new files go in, "restoring" once the old ones are
// taking their names back. One line per file moved: its number, whether an old file had its
// name (0 or 1), and that name.
constexpr char kPlacing[] = "placing";
constexpr char kRestoring[] = "restoring";
constexpr char kDraft[] = "placing.draft";  // a server's note while it is written

struct Placed {
  int number = 0;
  bool had_old = false;
  std::string existing;
};

std::string InScratch(const std::string &scratch, const std::string &name) {
  return scratch + "/" + name;
}
std::string AsideName(const std::string &scratch, int number) {
  return InScratch(scratch, std::string("old-") + kNames[number]);
}

std::string DirectoryOf(const std::string &path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// What a swap does to names: in a directory of this machine, or on the server that keeps the
// dictionary (through the record manager). Results are 0 or the error (the system's error
// number, or the record manager's status).
class Names {
 public:
  virtual ~Names() = default;
  virtual bool Exists(const std::string &path) = 0;
  // Renames, replacing `to`.
  virtual int Move(const std::string &from, const std::string &to) = 0;
  // Keeps the old file at `existing` also under `aside`. Locally a second name does it, and
  // the old dictionary stays readable all the while; where that cannot be (a server, a file
  // system without links) the file moves aside.
  virtual int SetAside(const std::string &existing, const std::string &aside,
                       bool *still_named) = 0;
  virtual int Remove(const std::string &path) = 0;
  // The new file gets the access the old one gave.
  virtual void KeepAccess(const std::string &existing, const std::string &fresh) = 0;
  // Makes what was done to the names in `directory` durable before what follows.
  virtual void Sync(const std::string &directory) = 0;
  // The note appears whole or not at all: a note cut short would leave a file out.
  virtual bool WriteNote(const std::string &scratch, const std::string &text) = 0;
  virtual bool ReadNote(const std::string &path, std::string *text) = 0;
};

class LocalNames : public Names {
 public:
  bool Exists(const std::string &path) override {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
  }
  int Move(const std::string &from, const std::string &to) override {
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
  }
  int SetAside(const std::string &existing, const std::string &aside, bool *still_named) override {
    *still_named = ::link(existing.c_str(), aside.c_str()) == 0;
    return *still_named ? 0 : Move(existing, aside);
  }
  void KeepAccess(const std::string &existing, const std::string &fresh) override {
    zplatform::KeepAccessOf(existing, fresh);
  }
  int Remove(const std::string &path) override {
    // A second name of an old file: readers may still have it open.
    return ::unlink(path.c_str()) == 0 || errno == ENOENT ? 0 : errno;
  }
  void Sync(const std::string &directory) override {
    int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
  }
  bool WriteNote(const std::string &scratch, const std::string &text) override {
    if (!zplatform::ReplaceFileAtomically(InScratch(scratch, kPlacing), text).ok) return false;
    Sync(scratch);
    return true;
  }
  bool ReadNote(const std::string &path, std::string *text) override {
    std::optional<std::string> content = zplatform::ReadWholeFile(path);
    if (content) *text = *content;
    return content.has_value();
  }
};

// On a server a note is a file of the record manager: one record per line, numbered.
constexpr uint16_t kNoteRecordLength = 2 + 512;

// The key buffer that names a file for Create and Open; false when the path is too long.
bool PathKey(const std::string &path, std::string *key) {
  *key = zplatform::FromUtf8(path);
  if (key->size() >= 255) return false;
  key->resize(255, '\0');
  return true;
}

class ServerNames : public Names {
 public:
  bool Exists(const std::string &path) override {
    return btrieve::FileIsThere(zplatform::FromUtf8(path).c_str());
  }
  int Move(const std::string &from, const std::string &to) override {
    return BTRRENAMEFILE(zplatform::FromUtf8(from).c_str(), zplatform::FromUtf8(to).c_str());
  }
  int SetAside(const std::string &existing, const std::string &aside, bool *still_named) override {
    *still_named = false;
    return Move(existing, aside);
  }
  int Remove(const std::string &path) override {
    int status = BTRDELETEFILE(zplatform::FromUtf8(path).c_str());
    return status == B_FILE_NOT_FOUND ? 0 : status;
  }
  void KeepAccess(const std::string &, const std::string &) override {}  // the server's rights
  void Sync(const std::string &) override {}  // each change is committed when it returns
  bool WriteNote(const std::string &scratch, const std::string &text) override {
    const std::string draft = InScratch(scratch, kDraft);
    BtrFileSpec file{};
    file.record_length = kNoteRecordLength;
    file.page_size = 4096;
    BtrKeySpec number{};
    number.position = 1;
    number.length = 2;
    number.flags = B_KEY_EXTENDED_TYPE;
    number.type = B_TYPE_INTEGER;
    std::vector<uint8_t> spec = btrieve::CreateBuffer(file, {number});
    std::string key;
    if (!PathKey(draft, &key)) return false;
    uint8_t block[128] = {};
    uint32_t length = static_cast<uint32_t>(spec.size());
    if (BTRCALL(B_CREATE, block, spec.data(), &length, key.data(), 0, 0) != 0) return false;
    length = 0;
    if (BTRCALL(B_OPEN, block, nullptr, &length, key.data(), 0, 0) != 0) return false;
    bool written = true;
    std::istringstream lines(text);
    std::string line;
    for (int16_t n = 0; written && std::getline(lines, line); ++n) {
      std::vector<char> record(kNoteRecordLength, '\0');
      if (line.size() >= kNoteRecordLength - 2) {
        written = false;
        break;
      }
      std::memcpy(record.data(), &n, 2);
      std::memcpy(record.data() + 2, line.data(), line.size());
      char record_key[2];
      length = kNoteRecordLength;
      written = BTRCALL(B_INSERT, block, record.data(), &length, record_key, 2, 0) == 0;
    }
    length = 0;
    written = BTRCALL(B_CLOSE, block, nullptr, &length, nullptr, 0, 0) == 0 && written;
    if (!written || Move(draft, InScratch(scratch, kPlacing)) != 0) {
      Remove(draft);
      return false;
    }
    return true;
  }
  bool ReadNote(const std::string &path, std::string *text) override {
    std::string key;
    if (!PathKey(path, &key)) return false;
    uint8_t block[128] = {};
    uint32_t length = 0;
    if (BTRCALL(B_OPEN, block, nullptr, &length, key.data(), 0, -2) != 0) return false;
    std::vector<char> record(kNoteRecordLength);
    char record_key[2];
    int status = 0;
    text->clear();
    for (int op = B_GET_FIRST;; op = B_GET_NEXT) {
      length = kNoteRecordLength;
      status = BTRCALL(op, block, record.data(), &length, record_key, 2, 0);
      if (status != 0) break;
      *text += std::string(record.data() + 2, strnlen(record.data() + 2, length - 2)) + '\n';
    }
    length = 0;
    BTRCALL(B_CLOSE, block, nullptr, &length, nullptr, 0, 0);
    return status == B_END_OF_FILE;
  }
};

std::unique_ptr<Names> NamesFor(bool on_server) {
  if (on_server) return std::make_unique<ServerNames>();
  return std::make_unique<LocalNames>();
}

std::string NoteText(const std::vector<Placed> &files) {
  std::string text;
  for (const Placed &p : files)
    text += std::to_string(p.number) + ' ' + (p.had_old ? '1' : '0') + ' ' + p.existing + '\n';
  return text;
}

bool ParseNote(const std::string &text, std::vector<Placed> *files) {
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    Placed p;
    char had_old = '0';
    if (!(fields >> p.number >> had_old) || p.number < 0 || p.number > 2) return false;
    fields.get();  // the blank before the name
    std::getline(fields, p.existing);
    if (p.existing.empty()) return false;
    p.had_old = had_old == '1';
    files->push_back(p);
  }
  return true;
}

// Calls `before_step(n)` before each change to a name.
class Stepper {
 public:
  explicit Stepper(std::function<void(int)> before_step) : before_step_(std::move(before_step)) {}
  void operator()() {
    if (before_step_) before_step_(step_++);
  }

 private:
  std::function<void(int)> before_step_;
  int step_ = 0;
};

// Puts each new file still in the scratch directory in its place, the old one set aside
// first. 0 or the error of the change that failed.
int PlaceTheRest(Names &names, const std::string &scratch, const std::vector<Placed> &files,
                 Stepper &step) {
  for (const Placed &p : files) {
    const std::string from = InScratch(scratch, kNames[p.number]);
    if (!names.Exists(from)) continue;
    const std::string aside = AsideName(scratch, p.number);
    bool still_named = false;
    if (p.had_old && !names.Exists(aside) && names.Exists(p.existing)) {
      step();
      if (int error = names.SetAside(p.existing, aside, &still_named); error != 0) return error;
    }
    step();
    if (int error = names.Move(from, p.existing); error != 0) return error;
  }
  return 0;
}

// Gives each old file set aside its name back, and takes a new file from a name that had
// none. False when a change failed.
bool RestoreTheOld(Names &names, const std::string &scratch, const std::vector<Placed> &files,
                   Stepper &step) {
  for (const Placed &p : files) {
    const std::string aside = AsideName(scratch, p.number);
    if (names.Exists(aside)) {
      // Locally perhaps still a second name of the file there: rename then leaves both.
      step();
      if (names.Move(aside, p.existing) != 0) return false;
      step();
      names.Remove(aside);
    } else if (!p.had_old && !names.Exists(InScratch(scratch, kNames[p.number]))) {
      step();
      if (names.Remove(p.existing) != 0) return false;
    }
  }
  return true;
}

// Carries out what the note lists: the new files go in, or, when one cannot or the note
// already says so, the old ones take their names back. The note goes once either is done,
// after the names are durable. False when restoring failed (the note stays, to be tried
// again); *error: the change that stopped the placing, 0 when the new files are in.
bool CarryOut(Names &names, const std::string &scratch, const std::vector<Placed> &files,
              bool restoring, Stepper &step, int *error) {
  const std::string placing = InScratch(scratch, kPlacing);
  const std::string restoring_note = InScratch(scratch, kRestoring);
  const std::string directory = DirectoryOf(files.empty() ? scratch : files.front().existing);
  *error = 0;
  if (!restoring) {
    *error = PlaceTheRest(names, scratch, files, step);
    if (*error == 0) {
      names.Sync(directory);
      step();
      names.Remove(placing);
      for (const Placed &p : files) {
        if (!p.had_old) continue;
        step();
        names.Remove(AsideName(scratch, p.number));
      }
      return true;
    }
    step();
    if (names.Move(placing, restoring_note) == 0) names.Sync(scratch);
  }
  if (!RestoreTheOld(names, scratch, files, step)) return false;
  names.Sync(directory);
  names.Remove(restoring_note);
  return true;
}

// Whether the scratch directory holds a swap's note: its work may be unfinished.
bool NoteLeft(Names &names, const std::string &scratch) {
  return names.Exists(InScratch(scratch, kPlacing)) || names.Exists(InScratch(scratch, kRestoring));
}

// Removes what a save whose work is over left in its scratch directory: its note first, so
// that an interruption here leaves nothing that would be acted on again.
void RemoveScratch(Names &names, const std::string &scratch, bool on_server) {
  names.Remove(InScratch(scratch, kRestoring));
  names.Remove(InScratch(scratch, kPlacing));
  if (on_server) {
    // A server lists no directory: the files a save makes there are known by name.
    names.Remove(InScratch(scratch, kDraft));
    for (int i = 0; i < 3; ++i) {
      names.Remove(InScratch(scratch, kNames[i]));
      names.Remove(AsideName(scratch, i));
    }
    return;
  }
  if (DIR *d = ::opendir(scratch.c_str())) {
    std::vector<std::string> entries;
    while (dirent *e = ::readdir(d)) {
      std::string name = e->d_name;
      if (name != "." && name != "..") entries.push_back(name);
    }
    ::closedir(d);
    for (const std::string &name : entries) {
      const std::string path = InScratch(scratch, name);
      struct stat st {};
      if (::lstat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) ::unlink(path.c_str());
    }
  }
  ::rmdir(scratch.c_str());
}

void FinishInterruptedSave(const std::string &scratch, bool on_server) {
  std::unique_ptr<Names> names = NamesFor(on_server);
  const std::string placing = InScratch(scratch, kPlacing);
  const std::string restoring = InScratch(scratch, kRestoring);
  const bool undoing = names->Exists(restoring);
  if (undoing || names->Exists(placing)) {
    std::vector<Placed> files;
    std::string text;
    Stepper no_steps(nullptr);
    int error = 0;
    if (!names->ReadNote(undoing ? restoring : placing, &text) || !ParseNote(text, &files) ||
        !CarryOut(*names, scratch, files, undoing, no_steps, &error))
      return;
  } else if (on_server) {
    return;  // nothing noted: a save under way, or one that ended before it moved a file
  }
  // Without a note nothing was moved yet: the files there are a save's unfinished work.
  RemoveScratch(*names, scratch, on_server);
}

// The scratch directories of saves in a directory of this machine.
std::vector<std::string> LocalScratches(const std::string &native_directory) {
  std::vector<std::string> found;
  DIR *d = ::opendir(native_directory.c_str());
  if (d == nullptr) return found;
  while (dirent *e = ::readdir(d)) {
    if (std::string(e->d_name).rfind(kSaveScratchPrefix, 0) != 0) continue;
    const std::string path = native_directory + "/" + e->d_name;
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) found.push_back(path);
  }
  ::closedir(d);
  return found;
}

bool OnServer(const std::string &native_directory) {
  return !zplatform::ServerFor(native_directory).empty();
}

}  // namespace

std::string ServerSaveScratch(const std::string &native_directory) {
  return native_directory + "/" + kSaveScratchPrefix + "server";
}

int SwapDictionaryFilesStepwise(const std::string &scratch, const std::string (&existing_names)[3],
                                bool on_server, const std::function<void(int)> &before_step) {
  std::unique_ptr<Names> names = NamesFor(on_server);
  Stepper step(before_step);
  std::vector<Placed> files;
  for (int i = 0; i < 3; ++i) {
    if (!names->Exists(InScratch(scratch, kNames[i]))) continue;
    files.push_back(Placed{i, names->Exists(existing_names[i]), existing_names[i]});
    // A dictionary a group of users keeps stays theirs to save after one of them did.
    if (files.back().had_old) names->KeepAccess(existing_names[i], InScratch(scratch, kNames[i]));
  }
  // Without a note (it could not be written) the swap runs all the same, as it did before
  // there were notes.
  if (!files.empty()) names->WriteNote(scratch, NoteText(files));
  int error = 0;
  CarryOut(*names, scratch, files, false, step, &error);
  return error;
}

int SwapDictionaryFiles(const std::string &scratch, const std::string (&existing_names)[3],
                        bool on_server) {
  return SwapDictionaryFilesStepwise(scratch, existing_names, on_server, {});
}

SaveScratch::SaveScratch(const std::string &code_page_directory)
    : code_page_directory_(code_page_directory) {
  const std::string native_directory = zplatform::NativePathOrSelf(code_page_directory);
  on_server_ = OnServer(native_directory);
  if (on_server_) {
    path_ = ServerSaveScratch(native_directory);  // one save at a time, by the lock
    return;
  }
  std::string name = native_directory + "/" + kSaveScratchPrefix + "XXXXXX";
  if (::mkdtemp(name.data()) == nullptr) {
    error_ = StatusOfSystemError(errno);
    return;
  }
  // Whoever may edit the dictionary may finish a save that ended here part-way.
  zplatform::KeepAccessOf(native_directory, name);
  path_ = name;
}

SaveScratch::~SaveScratch() {
  if (error_ != 0) return;
  std::unique_ptr<Names> names = NamesFor(on_server_);
  // A note still there is a swap that could not restore the old files: they wait here for
  // the next program that opens the dictionary.
  if (!NoteLeft(*names, path_)) RemoveScratch(*names, path_, on_server_);
}

int SaveScratch::PutInPlace() const {
  std::string existing[3];
  for (int i = 0; i < 3; ++i)
    existing[i] = zplatform::NativePathOrSelf(code_page_directory_ + "/" + kNames[i]);
  int error = SwapDictionaryFiles(path_, existing, on_server_);
  return on_server_ ? error : StatusOfSystemError(error);
}

ScratchTransaction::ScratchTransaction() {
  uint32_t length = 0;
  open_ = BTRCALL(B_BEGIN_TRAN, nullptr, nullptr, &length, nullptr, 0, 0) == 0;
}

ScratchTransaction::~ScratchTransaction() {
  if (!open_) return;
  uint32_t length = 0;
  BTRCALL(B_ABORT_TRAN, nullptr, nullptr, &length, nullptr, 0, 0);
}

int ScratchTransaction::Commit() {
  if (!open_) return 0;
  open_ = false;
  uint32_t length = 0;
  return BTRCALL(B_END_TRAN, nullptr, nullptr, &length, nullptr, 0, 0);
}

int PlaceNewDictionary(const std::string &code_page_directory,
                       const std::function<int(const std::string &scratch)> &write) {
  SaveScratch scratch(code_page_directory);
  if (scratch.error() != 0) return scratch.error();
  if (int status = write(zplatform::FromUtf8(scratch.path())); status != 0) return status;
  return scratch.PutInPlace();
}

bool SaveScratchLeft(const std::string &native_directory) {
  if (!OnServer(native_directory)) return !LocalScratches(native_directory).empty();
  ServerNames names;
  return NoteLeft(names, ServerSaveScratch(native_directory));
}

void FinishInterruptedSaves(const std::string &native_directory) {
  if (OnServer(native_directory)) {
    FinishInterruptedSave(ServerSaveScratch(native_directory), true);
    return;
  }
  for (const std::string &scratch : LocalScratches(native_directory))
    FinishInterruptedSave(scratch, false);
}

}  // namespace dictio
