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

// Copies `from` into a new file beside `to` (so a copy cut short by a full disk never
// leaves a cut file), and moves it into place only when it is complete and on disk.
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
  std::string tmpl = to + ".XXXXXX";
  std::vector<char> name(tmpl.begin(), tmpl.end());
  name.push_back('\0');
  int out = ::mkostemp(name.data(), O_CLOEXEC);
  if (out < 0) {
    err = errno;
    ::close(in);
    return FileResult::Failure(err);
  }
  if (::fchmod(out, st.st_mode & 0777) != 0) err = errno;
  std::vector<char> buf(1 << 16);
  while (err == 0) {
    ssize_t n = ::read(in, buf.data(), buf.size());
    if (n == 0) break;
    if (n < 0) {
      if (errno != EINTR) err = errno;
      continue;
    }
    for (ssize_t done = 0; done < n && err == 0;) {
      ssize_t w = ::write(out, buf.data() + done, n - done);
      if (w >= 0) {
        done += w;
      } else if (errno != EINTR) {
        err = errno;
      }
    }
  }
  ::close(in);
  if (err == 0 && ::fsync(out) != 0) err = errno;
  if (::close(out) != 0 && err == 0) err = errno;
  bool moved = false;
  if (err == 0 && !fail_if_exists) {
    moved = ::rename(name.data(), to.c_str()) == 0;
    if (!moved) err = errno;
  } else if (err == 0 && ::link(name.data(), to.c_str()) != 0) {
    // A link never replaces a file; a file system without links gets a rename after a
    // last look.
    err = errno == EEXIST || ::lstat(to.c_str(), &existing) == 0 ? EEXIST : 0;
    moved = err == 0 && ::rename(name.data(), to.c_str()) == 0;
    if (err == 0 && !moved) err = errno;
  }
  if (!moved) ::unlink(name.data());
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
    if (n <= 0) break;
    content.append(buf, n);
  }
  ::close(fd);
  return content;
}

FileResult ReplaceFileAtomically(const std::string &native_path, const std::string &content) {
  std::string tmpl = native_path + ".XXXXXX";
  std::vector<char> name(tmpl.begin(), tmpl.end());
  name.push_back('\0');
  int fd = ::mkstemp(name.data());
  if (fd < 0) return FileResult::Failure(errno);
  struct stat st;
  mode_t mode = ::stat(native_path.c_str(), &st) == 0 ? (st.st_mode & 0777) : 0644;
  ::fchmod(fd, mode);
  size_t done = 0;
  int err = 0;
  while (done < content.size()) {
    ssize_t w = ::write(fd, content.data() + done, content.size() - done);
    if (w < 0) {
      if (errno == EINTR) continue;
      err = errno;
      break;
    }
    done += w;
  }
  if (err == 0 && ::fsync(fd) != 0) err = errno;
  if (::close(fd) != 0 && err == 0) err = errno;
  if (err == 0 && ::rename(name.data(), native_path.c_str()) != 0) err = errno;
  if (err != 0) {
    ::unlink(name.data());
    return FileResult::Failure(err);
  }
  return FileResult::Success();
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
