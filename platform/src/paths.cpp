#include "zplatform/paths.h"
#include "zplatform/servers.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "zplatform/ascii.h"
#include "zplatform/codepage.h"
#include "zplatform/profile.h"

namespace zplatform {
namespace {

std::optional<std::string> PathMapEntry(const std::string &utf8_key) {
  std::string value = ProfileString("path_map", FromUtf8(utf8_key), std::string(), "zelko.ini");
  if (value.empty()) return std::nullopt;
  std::string mapped = ToUtf8(value);
  for (char &c : mapped) {
    if (c == '\\') c = '/';
  }
  while (mapped.size() > 1 && mapped.back() == '/')
    mapped.pop_back();
  return mapped;
}

// Resolves each component that does not exist as written by a case-insensitive match in
// its directory. Components with no match at all are kept as written.
std::string ResolveCase(const std::string &path) {
  struct stat st;
  if (path.empty() || ::lstat(path.c_str(), &st) == 0) return path;
  std::string result = path[0] == '/' ? "/" : "";
  size_t pos = path[0] == '/' ? 1 : 0;
  bool matching = true;
  while (pos <= path.size()) {
    size_t slash = path.find('/', pos);
    std::string part =
        path.substr(pos, slash == std::string::npos ? std::string::npos : slash - pos);
    pos = slash == std::string::npos ? path.size() + 1 : slash + 1;
    if (part.empty()) continue;
    std::string dir = result.empty() ? "." : result;
    std::string candidate = result + (result.empty() || result.back() == '/' ? "" : "/") + part;
    if (matching && part != "." && part != ".." && ::lstat(candidate.c_str(), &st) != 0) {
      std::string found;
      if (DIR *d = ::opendir(dir.c_str())) {
        while (dirent *e = ::readdir(d)) {
          if (EqualNoCaseAscii(e->d_name, part)) {
            found = e->d_name;
            break;
          }
        }
        ::closedir(d);
      }
      if (!found.empty()) {
        candidate = result + (result.empty() || result.back() == '/' ? "" : "/") + found;
      } else {
        matching = false;
      }
    }
    result = candidate;
  }
  if (!path.empty() && path.back() == '/' && result.back() != '/') result.push_back('/');
  return result;
}

}  // namespace

std::string OsErrorText(int os_error) {
  char buf[256];
  const char *text = strerror_r(os_error, buf, sizeof buf);
  return text;
}

std::optional<std::string> NativePath(const std::string &code_page_path) {
  std::string p = ToUtf8(code_page_path);
  std::string prefix;
  bool unc = p.size() >= 2 && (p[0] == '\\' || p[0] == '/') && (p[1] == '\\' || p[1] == '/');
  bool drive = p.size() >= 2 && p[1] == ':' &&
               ((p[0] >= 'a' && p[0] <= 'z') || (p[0] >= 'A' && p[0] <= 'Z'));
  if (drive) {
    auto mapped = PathMapEntry(std::string(1, ToLowerAscii(p[0])) + ":");
    if (!mapped) return std::nullopt;
    prefix = *mapped;
    p = p.substr(2);
  } else if (unc) {
    // \\server\share\rest: the longest mapped prefix wins.
    size_t server_end = p.find_first_of("\\/", 2);
    size_t share_end = server_end == std::string::npos ? std::string::npos
                                                       : p.find_first_of("\\/", server_end + 1);
    std::string server = p.substr(0, server_end);
    std::string share = p.substr(0, share_end);
    for (char &c : server)
      if (c == '/') c = '\\';
    for (char &c : share)
      if (c == '/') c = '\\';
    if (auto m = PathMapEntry(share); m && share_end != server_end) {
      prefix = *m;
      p = share_end == std::string::npos ? "" : p.substr(share_end);
    } else if (auto m2 = PathMapEntry(server)) {
      prefix = *m2;
      p = server_end == std::string::npos ? "" : p.substr(server_end);
    } else {
      return std::nullopt;
    }
  }
  for (char &c : p) {
    if (c == '\\') c = '/';
  }
  if (!prefix.empty()) {
    if (!p.empty() && p[0] != '/') p.insert(p.begin(), '/');
    p = prefix + p;
  }
  return ResolveCase(p);
}

std::string NativePathOrSelf(const std::string &code_page_path) {
  if (auto p = NativePath(code_page_path)) return *p;
  std::string p = ToUtf8(code_page_path);
  for (char &c : p) {
    if (c == '\\') c = '/';
  }
  return p;
}

std::optional<std::string> ShortPathName(const std::string &code_page_path) {
  auto native = NativePath(code_page_path);
  if (!native) return std::nullopt;
  std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(native->c_str(), nullptr),
                                                       &std::free);
  if (resolved == nullptr) {
    // A directory a server keeps need not exist here: its name stands as written.
    if (!ServerFor(*native).empty()) return FromUtf8(LexicallyAbsolute(*native));
    return std::nullopt;
  }
  return FromUtf8(resolved.get());
}

bool FileExists(const std::string &code_page_path) {
  auto native = NativePath(code_page_path);
  struct stat st;
  return native && ::stat(native->c_str(), &st) == 0;
}

namespace {

// Writes all `n` bytes; 0 or the errno.
int WriteAll(int fd, const char *data, size_t n) {
  for (size_t done = 0; done < n;) {
    ssize_t w = ::write(fd, data + done, n - done);
    if (w >= 0) {
      done += static_cast<size_t>(w);
    } else if (errno != EINTR) {
      return errno;
    }
  }
  return 0;
}

// A new file beside a target, written in full and only then moved into place, so a write
// cut short (a full disk) never leaves a cut file there or takes the former one away.
class SiblingFile {
 public:
  SiblingFile(const std::string &target, mode_t mode) : target_(target) {
    std::string tmpl = target + ".XXXXXX";
    name_.assign(tmpl.begin(), tmpl.end());
    name_.push_back('\0');
    fd_ = ::mkostemp(name_.data(), O_CLOEXEC);
    if (fd_ < 0) {
      err_ = errno;
      return;
    }
    created_ = true;
    if (::fchmod(fd_, mode) != 0) err_ = errno;
  }
  ~SiblingFile() {
    if (fd_ >= 0) ::close(fd_);
    if (created_ && !moved_) ::unlink(name_.data());
  }
  int fd() const { return fd_; }
  // The first failure met; 0 while there was none.
  int error() const { return err_; }
  void Fail(int err) {
    if (err_ == 0) err_ = err;
  }

  // Unless a failure came first: syncs and closes the file and puts it in the target's
  // place (`replace` false: only when no file has that name). 0 or the errno of the first
  // failure; the sibling is gone either way.
  int MoveIntoPlace(bool replace) {
    if (err_ == 0 && ::fsync(fd_) != 0) err_ = errno;
    if (fd_ >= 0 && ::close(fd_) != 0) Fail(errno);
    fd_ = -1;
    if (err_ != 0) return err_;
    struct stat st;
    if (replace) {
      moved_ = ::rename(name_.data(), target_.c_str()) == 0;
      if (!moved_) err_ = errno;
    } else if (::link(name_.data(), target_.c_str()) != 0) {
      // A link never replaces a file; a file system without links gets a rename after a
      // last look.
      err_ = errno == EEXIST || ::lstat(target_.c_str(), &st) == 0 ? EEXIST : 0;
      moved_ = err_ == 0 && ::rename(name_.data(), target_.c_str()) == 0;
      if (err_ == 0 && !moved_) err_ = errno;
    }
    return err_;
  }

 private:
  std::string target_;
  std::vector<char> name_;
  int fd_ = -1;
  int err_ = 0;
  bool created_ = false;
  bool moved_ = false;
};

FileResult CopyNative(const std::string &from, const std::string &to, bool fail_if_exists) {
  int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return FileResult::Failure(errno);
  struct stat st, existing;
  int err = ::fstat(in, &st) != 0 ? errno : 0;
  if (err == 0 && fail_if_exists && ::lstat(to.c_str(), &existing) == 0) err = EEXIST;
  if (err != 0) {
    ::close(in);
    return FileResult::Failure(err);
  }
  SiblingFile out(to, st.st_mode & 0777);
  std::vector<char> buf(1 << 16);
  while (out.error() == 0) {
    ssize_t n = ::read(in, buf.data(), buf.size());
    if (n == 0) break;
    if (n > 0) {
      out.Fail(WriteAll(out.fd(), buf.data(), static_cast<size_t>(n)));
    } else if (errno != EINTR) {
      out.Fail(errno);
    }
  }
  ::close(in);
  err = out.MoveIntoPlace(!fail_if_exists);
  return err == 0 ? FileResult::Success() : FileResult::Failure(err);
}

}  // namespace

FileResult CopyFile(const std::string &from, const std::string &to, bool fail_if_exists) {
  auto src = NativePath(from);
  auto dst = NativePath(to);
  if (!src || !dst) return FileResult::Failure(ENOENT);
  return CopyNative(*src, *dst, fail_if_exists);
}

FileResult MoveFile(const std::string &from, const std::string &to) {
  auto src = NativePath(from);
  auto dst = NativePath(to);
  if (!src || !dst) return FileResult::Failure(ENOENT);
  struct stat st;
  if (::lstat(src->c_str(), &st) != 0) return FileResult::Failure(errno);
  if (::lstat(dst->c_str(), &st) == 0) return FileResult::Failure(EEXIST);
  if (::rename(src->c_str(), dst->c_str()) == 0) return FileResult::Success();
  if (errno != EXDEV) return FileResult::Failure(errno);
  FileResult copied = CopyNative(*src, *dst, true);
  if (!copied.ok) return copied;
  if (::unlink(src->c_str()) != 0) return FileResult::Failure(errno);
  return FileResult::Success();
}

FileResult DeleteFile(const std::string &code_page_path) {
  auto native = NativePath(code_page_path);
  if (!native) return FileResult::Failure(ENOENT);
  if (::unlink(native->c_str()) != 0) return FileResult::Failure(errno);
  return FileResult::Success();
}

std::optional<std::string> ReadWholeFile(const std::string &native_path) {
  int fd = ::open(native_path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string content;
  char buf[8192];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      // Part of a file is not the file.
      ::close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    content.append(buf, n);
  }
  ::close(fd);
  return content;
}

namespace {

// The file a path names once symbolic links are followed; a link to a file not yet made names
// where that file goes. A loop of links leaves the path as given.
std::string FollowLinks(const std::string &native_path) {
  std::string path = native_path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    std::vector<char> target(static_cast<size_t>(st.st_size > 0 ? st.st_size : PATH_MAX) + 1);
    ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
    if (n <= 0 || static_cast<size_t>(n) >= target.size()) return path;
    std::string link(target.data(), static_cast<size_t>(n));
    size_t slash = path.rfind('/');
    if (link[0] != '/' && slash != std::string::npos) link = path.substr(0, slash + 1) + link;
    path = link;
  }
  return native_path;
}

mode_t CurrentUmask() {
  // Read where the kernel shows it: setting the mask to learn it would change it for a
  // moment under every other thread.
  if (FILE *f = std::fopen("/proc/self/status", "re")) {
    char line[256];
    unsigned mask = 0;
    bool found = false;
    while (!found && std::fgets(line, sizeof line, f) != nullptr)
      found = std::sscanf(line, "Umask: %o", &mask) == 1;
    std::fclose(f);
    if (found) return static_cast<mode_t>(mask);
  }
  mode_t mask = ::umask(022);
  ::umask(mask);
  return mask;
}

// What a program's new file gets: 0666 less the umask.
mode_t NewFileMode() {
  return 0666 & ~CurrentUmask();
}

}  // namespace

FileResult ReplaceFileAtomically(const std::string &native_path, const std::string &content) {
  // A link (a settings file kept elsewhere, say) stays a link: the file it names is replaced.
  const std::string target = FollowLinks(native_path);
  // A file replaced keeps its access (bits, and the group where the caller may give it); a
  // new one gets what the umask gives any program's new file.
  struct stat st;
  const bool existed = ::stat(target.c_str(), &st) == 0;
  SiblingFile out(target, existed ? (st.st_mode & 0777) : NewFileMode());
  if (existed && out.error() == 0 && ::fchown(out.fd(), static_cast<uid_t>(-1), st.st_gid) != 0) {
    // not a member of the group: the file keeps the caller's
  }
  if (out.error() == 0) out.Fail(WriteAll(out.fd(), content.data(), content.size()));
  int err = out.MoveIntoPlace(true);
  return err == 0 ? FileResult::Success() : FileResult::Failure(err);
}

FileResult ReplaceFileContent(const std::string &native_path, const std::string &content) {
  FileResult whole = ReplaceFileAtomically(native_path, content);
  if (whole.ok || (whole.os_error != EACCES && whole.os_error != EPERM)) return whole;
  int fd = ::open(FollowLinks(native_path).c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return whole;
  // Written from the start and only then cut to length: the former text is not thrown away
  // before the new one is there.
  int err = WriteAll(fd, content.data(), content.size());
  if (err == 0 && ::ftruncate(fd, static_cast<off_t>(content.size())) != 0) err = errno;
  if (err == 0 && ::fsync(fd) != 0) err = errno;
  if (::close(fd) != 0 && err == 0) err = errno;
  return err == 0 ? FileResult::Success() : FileResult::Failure(err);
}

void KeepAccessOf(const std::string &old_file, const std::string &new_file) {
  struct stat st;
  if (::stat(old_file.c_str(), &st) != 0) return;
  // Only a member of the group may hand a file to it; the bits alone serve otherwise.
  if (::chown(new_file.c_str(), static_cast<uid_t>(-1), st.st_gid) != 0) {
    // not a member: the file keeps the caller's group
  }
  // A directory keeps its set-group-ID bit: what is made in it goes on taking its group.
  mode_t bits = S_ISDIR(st.st_mode) ? (st.st_mode & 07777) : (st.st_mode & 0777);
  if (::chmod(new_file.c_str(), bits) != 0) {
    // a file system without permission bits
  }
}

void GiveNewFileAccess(const std::string &new_file) {
  if (::chmod(new_file.c_str(), NewFileMode()) != 0) {
    // a file system without permission bits
  }
}

bool EnsureDirectory(const std::string &native_path) {
  if (native_path.empty()) return false;
  struct stat st;
  if (::stat(native_path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  size_t slash = native_path.rfind('/');
  if (slash != std::string::npos && slash > 0) EnsureDirectory(native_path.substr(0, slash));
  return ::mkdir(native_path.c_str(), 0755) == 0 || errno == EEXIST;
}

}  // namespace zplatform
