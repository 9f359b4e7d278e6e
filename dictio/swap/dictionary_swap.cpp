#include "dictionary_swap.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>
#include <vector>

#include "btrieve/btrapi.h"
#include "zplatform/codepage.h"

namespace dictio {
namespace {

constexpr const char *kNames[3] = {"FILE.DDF", "FIELD.DDF", "INDEX.DDF"};
// The note of a local swap: "placing" while the new files go in, "restoring" once the old
// ones are taking their names back. One line per file moved: its number, whether an old file
// had its name (0 or 1), and that name.
constexpr char kPlacing[] = "placing";
constexpr char kRestoring[] = "restoring";

bool Exists(const std::string &path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 || btrieve::FileIsThere(zplatform::FromUtf8(path).c_str());
}

bool LocalExists(const std::string &path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

// Makes what was done to the names in `directory` durable before what follows.
void SyncDirectory(const std::string &directory) {
  int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

std::string DirectoryOf(const std::string &path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

struct Placed {
  int number = 0;
  bool had_old = false;
  std::string existing;
};

std::string AsideName(const std::string &scratch, int number) {
  return scratch + "/old-" + kNames[number];
}

// Writes the note complete or not at all: a note cut short would leave a file out.
bool WriteNote(const std::string &scratch, const std::vector<Placed> &files) {
  std::string text;
  for (const Placed &p : files) {
    if (p.existing.find('\n') != std::string::npos) return false;
    text += std::to_string(p.number) + ' ' + (p.had_old ? '1' : '0') + ' ' + p.existing + '\n';
  }
  const std::string draft = scratch + "/" + kPlacing + ".draft";
  int fd = ::open(draft.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) &&
                 ::fsync(fd) == 0;
  ::close(fd);
  if (!written || ::rename(draft.c_str(), (scratch + "/" + kPlacing).c_str()) != 0) {
    ::unlink(draft.c_str());
    return false;
  }
  SyncDirectory(scratch);
  return true;
}

bool ReadNote(const std::string &path, std::vector<Placed> *files) {
  std::ifstream in(path);
  if (!in) return false;
  std::string line;
  while (std::getline(in, line)) {
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

class Mover {
 public:
  Mover(bool on_server, const std::function<void(int)> &before_step)
      : on_server_(on_server), before_step_(before_step) {}

  // Renames, replacing `to`; 0 or the error.
  int Move(const std::string &from, const std::string &to) {
    Step();
    if (on_server_)
      return BTRRENAMEFILE(zplatform::FromUtf8(from).c_str(), zplatform::FromUtf8(to).c_str());
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
  }
  // Keeps the old file at `existing` also under `aside`. Locally a second name does it, and
  // the old dictionary stays readable all the while; where that cannot be (a server, a file
  // system without links) the file moves aside.
  int SetAside(const std::string &existing, const std::string &aside, bool *still_named) {
    Step();
    *still_named = !on_server_ && ::link(existing.c_str(), aside.c_str()) == 0;
    return *still_named ? 0 : Move(existing, aside);
  }
  void Remove(const std::string &path) {
    Step();
    if (on_server_) {
      BTRDELETEFILE(zplatform::FromUtf8(path).c_str());
    } else {
      ::unlink(path.c_str());  // a second name of the old file: readers may still have it open
    }
  }
  void Step() {
    if (before_step_) before_step_(step_++);
  }

 private:
  bool on_server_;
  const std::function<void(int)> &before_step_;
  int step_ = 0;
};

// What a swap interrupted while placing leaves: the files not yet placed are still in the
// scratch directory, and they go in now, each old one set aside first as the swap does.
bool PlaceTheRest(const std::string &scratch, const std::vector<Placed> &files) {
  for (const Placed &p : files) {
    const std::string from = scratch + "/" + kNames[p.number];
    if (!LocalExists(from)) continue;
    const std::string aside = AsideName(scratch, p.number);
    if (p.had_old && !LocalExists(aside) && LocalExists(p.existing) &&
        ::link(p.existing.c_str(), aside.c_str()) != 0 &&
        ::rename(p.existing.c_str(), aside.c_str()) != 0)
      return false;
    if (::rename(from.c_str(), p.existing.c_str()) != 0) return false;
  }
  SyncDirectory(DirectoryOf(files.empty() ? scratch : files.front().existing));
  return true;
}

// What a swap interrupted while restoring leaves: each old file set aside takes its name
// back, and a name that had none loses the new file placed there.
bool RestoreTheOld(const std::string &scratch, const std::vector<Placed> &files) {
  for (const Placed &p : files) {
    const std::string aside = AsideName(scratch, p.number);
    if (LocalExists(aside)) {
      // Still a second name of the file there: rename leaves both, and the cleanup drops it.
      if (::rename(aside.c_str(), p.existing.c_str()) != 0) return false;
    } else if (!p.had_old && !LocalExists(scratch + "/" + kNames[p.number])) {
      if (::unlink(p.existing.c_str()) != 0 && errno != ENOENT) return false;
    }
  }
  SyncDirectory(DirectoryOf(files.empty() ? scratch : files.front().existing));
  return true;
}

// Removes a scratch directory whose save is over: its note first, so that an interruption
// here leaves nothing that would be acted on again.
void RemoveScratch(const std::string &scratch) {
  ::unlink((scratch + "/" + kRestoring).c_str());
  ::unlink((scratch + "/" + kPlacing).c_str());
  if (DIR *d = ::opendir(scratch.c_str())) {
    std::vector<std::string> names;
    while (dirent *e = ::readdir(d)) {
      std::string name = e->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(d);
    for (const std::string &name : names) {
      const std::string path = scratch + "/" + name;
      struct stat st {};
      if (::lstat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) ::unlink(path.c_str());
    }
  }
  ::rmdir(scratch.c_str());
}

void FinishInterruptedSave(const std::string &scratch) {
  const std::string placing = scratch + "/" + kPlacing;
  const std::string restoring = scratch + "/" + kRestoring;
  std::vector<Placed> files;
  if (LocalExists(restoring)) {
    if (!ReadNote(restoring, &files) || !RestoreTheOld(scratch, files)) return;
  } else if (LocalExists(placing)) {
    if (!ReadNote(placing, &files)) return;
    if (!PlaceTheRest(scratch, files)) {
      // What cannot go in leaves the old dictionary whole again.
      if (::rename(placing.c_str(), restoring.c_str()) != 0) return;
      SyncDirectory(scratch);
      if (!RestoreTheOld(scratch, files)) return;
    }
  }
  // Without a note nothing was moved yet: the files there are a save's unfinished work.
  RemoveScratch(scratch);
}

}  // namespace

int SwapDictionaryFilesStepwise(const std::string &scratch, const std::string (&existing_names)[3],
                                bool on_server, const std::function<void(int)> &before_step) {
  Mover mover(on_server, before_step);
  std::vector<Placed> files;
  for (int i = 0; i < 3; ++i) {
    if (Exists(scratch + "/" + kNames[i]))
      files.push_back(Placed{i, Exists(existing_names[i]), existing_names[i]});
  }
  // A server's files cannot be found again by listing a directory; there a save that ends
  // part-way is not finished by others.
  const bool noted = !on_server && !files.empty() && WriteNote(scratch, files);
  std::vector<const Placed *> placed;
  // Every file put in place so far gives way to its old one again.
  auto undo = [&]() {
    if (noted) {
      mover.Step();
      if (::rename((scratch + "/" + kPlacing).c_str(), (scratch + "/" + kRestoring).c_str()) == 0)
        SyncDirectory(scratch);
    }
    for (auto it = placed.rbegin(); it != placed.rend(); ++it) {
      const Placed &p = **it;
      if (p.had_old) {
        mover.Move(AsideName(scratch, p.number), p.existing);
      } else {
        mover.Remove(p.existing);
      }
    }
    if (noted) {
      SyncDirectory(DirectoryOf(files.front().existing));
      ::unlink((scratch + "/" + kRestoring).c_str());
    }
  };
  for (const Placed &p : files) {
    const std::string from = scratch + "/" + kNames[p.number];
    const std::string aside = AsideName(scratch, p.number);
    bool still_named = true;
    if (p.had_old) {
      if (int error = mover.SetAside(p.existing, aside, &still_named); error != 0) {
        undo();
        return error;
      }
    }
    if (int error = mover.Move(from, p.existing); error != 0) {
      if (!still_named) mover.Move(aside, p.existing);
      if (still_named && p.had_old) mover.Remove(aside);
      undo();
      return error;
    }
    placed.push_back(&p);
  }
  if (noted) {
    // The new names are durable before the note that could undo them goes.
    SyncDirectory(DirectoryOf(files.front().existing));
    mover.Step();
    ::unlink((scratch + "/" + kPlacing).c_str());
  }
  for (const Placed &p : files) {
    if (p.had_old) mover.Remove(AsideName(scratch, p.number));
  }
  return 0;
}

int SwapDictionaryFiles(const std::string &scratch, const std::string (&existing_names)[3],
                        bool on_server) {
  return SwapDictionaryFilesStepwise(scratch, existing_names, on_server, {});
}

namespace {

// The scratch directories of saves in `native_directory`.
std::vector<std::string> SaveScratches(const std::string &native_directory) {
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

}  // namespace

bool SaveScratchLeft(const std::string &native_directory) {
  return !SaveScratches(native_directory).empty();
}

void FinishInterruptedSaves(const std::string &native_directory) {
  for (const std::string &scratch : SaveScratches(native_directory))
    FinishInterruptedSave(scratch);
}

}  // namespace dictio
