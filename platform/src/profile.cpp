#include "zplatform/profile.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <string_view>
#include <vector>

#include "zplatform/ascii.h"
#include "zplatform/codepage.h"
#include "zplatform/paths.h"

namespace zplatform {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front()))
    s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back()))
    s.remove_suffix(1);
  return s;
}

// Compares without regard to ASCII letter case, leaving the trail bytes of double-byte
// characters alone (a trail byte may look like an ASCII letter).
bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  bool trail = false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (trail) {
      if (a[i] != b[i]) return false;
      trail = false;
      continue;
    }
    if (ToUpperAscii(a[i]) != ToUpperAscii(b[i])) return false;
    trail = IsLeadByte(static_cast<unsigned char>(a[i]));
  }
  return true;
}

struct Line {
  std::string text;  // without the line ending
};

struct ParsedLine {
  enum Kind { kOther, kSection, kKey } kind = kOther;
  std::string_view name;   // section or key name
  std::string_view value;  // raw value (trimmed) for keys
};

ParsedLine Parse(std::string_view text) {
  ParsedLine p;
  std::string_view t = Trim(text);
  if (t.empty() || t.front() == ';') return p;
  if (t.front() == '[') {
    size_t close = t.find(']');
    p.kind = ParsedLine::kSection;
    p.name =
        Trim(t.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
    return p;
  }
  size_t eq = t.find('=');
  if (eq == std::string_view::npos) return p;
  p.kind = ParsedLine::kKey;
  p.name = Trim(t.substr(0, eq));
  p.value = Trim(t.substr(eq + 1));
  return p;
}

std::string_view Unquote(std::string_view v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
    return v.substr(1, v.size() - 2);
  }
  return v;
}

struct ProfileFile {
  std::vector<Line> lines;
  bool crlf = false;
  bool bom = false;  // a UTF-8 mark some editors put first; kept when the file is rewritten
  bool exists = false;
};

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

ProfileFile ReadProfile(const std::string &path) {
  ProfileFile f;
  std::optional<std::string> content = ReadWholeFile(path);
  if (!content) return f;
  f.exists = true;
  const std::string &s = *content;
  f.crlf = s.find("\r\n") != std::string::npos;
  // Otherwise the mark would be read as part of the first line, and its section lost.
  f.bom = s.compare(0, kUtf8Mark.size(), kUtf8Mark) == 0;
  size_t start = f.bom ? kUtf8Mark.size() : 0;
  while (start < s.size()) {
    size_t nl = s.find('\n', start);
    size_t end = nl == std::string::npos ? s.size() : nl;
    std::string text = s.substr(start, end - start);
    if (!text.empty() && text.back() == '\r') text.pop_back();
    f.lines.push_back({std::move(text)});
    if (nl == std::string::npos) break;
    start = nl + 1;
  }
  return f;
}

// Index range [begin, end) of the body of the first section named `section`;
// begin is the header line. nullopt when absent.
std::optional<std::pair<size_t, size_t>> FindSection(const ProfileFile &f,
                                                     std::string_view section) {
  for (size_t i = 0; i < f.lines.size(); ++i) {
    ParsedLine p = Parse(f.lines[i].text);
    if (p.kind != ParsedLine::kSection || !EqualNoCase(p.name, section)) continue;
    size_t j = i + 1;
    while (j < f.lines.size() && Parse(f.lines[j].text).kind != ParsedLine::kSection)
      ++j;
    return std::make_pair(i, j);
  }
  return std::nullopt;
}

std::optional<size_t> FindKey(const ProfileFile &f, std::pair<size_t, size_t> range,
                              std::string_view key) {
  for (size_t i = range.first + 1; i < range.second; ++i) {
    ParsedLine p = Parse(f.lines[i].text);
    if (p.kind == ParsedLine::kKey && EqualNoCase(p.name, key)) return i;
  }
  return std::nullopt;
}

// Copies a single value with the Windows truncation rule.
uint32_t CopyValue(std::string_view value, char *buffer, uint32_t size) {
  if (buffer == nullptr || size == 0) return 0;
  size_t n = value.size();
  if (n > size - 1) n = size - 1;
  std::memcpy(buffer, value.data(), n);
  buffer[n] = '\0';
  return static_cast<uint32_t>(n);
}

// Copies a list of NUL-terminated names followed by a final NUL, with the Windows rule for
// a list that does not fit (cut, double NUL, size - 2).
uint32_t CopyList(const std::vector<std::string_view> &names, char *buffer, uint32_t size) {
  if (buffer == nullptr || size == 0) return 0;
  if (size == 1) {
    buffer[0] = '\0';
    return 0;
  }
  std::string all;
  for (std::string_view n : names) {
    all.append(n);
    all.push_back('\0');
  }
  if (all.size() + 1 <= size) {
    std::memcpy(buffer, all.data(), all.size());
    buffer[all.size()] = '\0';
    if (all.empty()) buffer[1 < size ? 1 : 0] = '\0';
    return static_cast<uint32_t>(all.size());
  }
  std::memcpy(buffer, all.data(), size - 2);
  buffer[size - 2] = '\0';
  buffer[size - 1] = '\0';
  return size - 2;
}

bool WriteProfile(const std::string &path, const ProfileFile &f) {
  std::string out(f.bom ? kUtf8Mark : std::string_view());
  const char *eol = f.crlf ? "\r\n" : "\n";
  for (const Line &l : f.lines) {
    out += l.text;
    out += eol;
  }
  return ReplaceFileAtomically(path, out).ok;
}

// Held while a write reads the file and puts the changed one in place: two programs saving
// at once would otherwise each write back what they read, and one change would be lost. The
// lock is on the file's directory, so no lock file is left beside the settings. Without a
// directory to lock the write goes on unlocked.
class ProfileWriteLock {
 public:
  explicit ProfileWriteLock(const std::string &directory) {
    fd_ = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ < 0) return;
    while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
    }
  }
  ~ProfileWriteLock() {
    if (fd_ >= 0) ::close(fd_);
  }
  ProfileWriteLock(const ProfileWriteLock &) = delete;
  ProfileWriteLock &operator=(const ProfileWriteLock &) = delete;

 private:
  int fd_ = -1;
};

// `~` as a shell reads it: $HOME, else the user's entry in the password database. A program
// started without HOME (a service, `env -i`) must not keep its settings in whatever
// directory it was started in.
std::string HomeDirectory() {
  if (const char *home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
  long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
  passwd entry{};
  passwd *found = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
      found != nullptr && found->pw_dir != nullptr && found->pw_dir[0] != '\0')
    return found->pw_dir;
  return ".";
}

}  // namespace

std::string ConfigDirectory() {
  if (const char *dir = std::getenv("ZELKO_CONFIG_DIR"); dir != nullptr && *dir != '\0') {
    return dir;
  }
  if (const char *xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && *xdg != '\0') {
    return std::string(xdg) + "/zelko";
  }
  return HomeDirectory() + "/.config/zelko";
}

std::string ProfilePath(const std::string &file_name) {
  if (file_name.find('/') != std::string::npos || file_name.find('\\') != std::string::npos) {
    return NativePathOrSelf(file_name);
  }
  return ConfigDirectory() + "/" + file_name;
}

uint32_t GetPrivateProfileString(const char *section, const char *key, const char *default_value,
                                 char *buffer, uint32_t size, const char *file_name) {
  ProfileFile f = ReadProfile(ProfilePath(file_name != nullptr ? file_name : ""));
  if (section == nullptr) {
    std::vector<std::string_view> names;
    for (const Line &l : f.lines) {
      ParsedLine p = Parse(l.text);
      if (p.kind == ParsedLine::kSection) names.push_back(p.name);
    }
    return CopyList(names, buffer, size);
  }
  auto range = FindSection(f, section);
  if (key == nullptr) {
    std::vector<std::string_view> names;
    if (range) {
      for (size_t i = range->first + 1; i < range->second; ++i) {
        ParsedLine p = Parse(f.lines[i].text);
        if (p.kind == ParsedLine::kKey) names.push_back(p.name);
      }
    }
    return CopyList(names, buffer, size);
  }
  if (range) {
    if (auto line = FindKey(f, *range, key)) {
      return CopyValue(Unquote(Parse(f.lines[*line].text).value), buffer, size);
    }
  }
  std::string_view def = default_value != nullptr ? default_value : "";
  while (!def.empty() && (def.back() == ' ' || def.back() == '\t'))
    def.remove_suffix(1);
  return CopyValue(def, buffer, size);
}

uint32_t GetPrivateProfileInt(const char *section, const char *key, int default_value,
                              const char *file_name) {
  if (section == nullptr || key == nullptr) return static_cast<uint32_t>(default_value);
  ProfileFile f = ReadProfile(ProfilePath(file_name != nullptr ? file_name : ""));
  auto range = FindSection(f, section);
  std::optional<size_t> line;
  if (range) line = FindKey(f, *range, key);
  if (!line) return static_cast<uint32_t>(default_value);
  std::string value(Unquote(Parse(f.lines[*line].text).value));
  const char *p = value.c_str();
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  long long n = 0;
  while (*p >= '0' && *p <= '9') {
    n = n * 10 + (*p++ - '0');
    if (n > 0xFFFFFFFFLL) n = 0xFFFFFFFFLL;
  }
  if (negative) return 0;
  return static_cast<uint32_t>(n);
}

bool WritePrivateProfileString(const char *section, const char *key, const char *value,
                               const char *file_name) {
  if (section == nullptr || file_name == nullptr) return false;
  std::string path = ProfilePath(file_name);
  // A value written makes the file's directory; a deletion has nothing to do without it.
  size_t slash = path.rfind('/');
  const std::string directory =
      slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
  if (key != nullptr && value != nullptr && slash != std::string::npos && slash > 0)
    EnsureDirectory(directory);
  ProfileWriteLock lock(directory);
  ProfileFile f = ReadProfile(path);
  auto range = FindSection(f, section);
  if (key == nullptr) {
    if (range) f.lines.erase(f.lines.begin() + range->first, f.lines.begin() + range->second);
    return !range || WriteProfile(path, f);
  }
  std::optional<size_t> line;
  if (range) line = FindKey(f, *range, key);
  if (value == nullptr) {
    if (!line) return true;
    f.lines.erase(f.lines.begin() + *line);
    return WriteProfile(path, f);
  }
  std::string entry = std::string(key) + "=" + value;
  if (line) {
    f.lines[*line].text = entry;
  } else if (range) {
    // After the section's last non-blank line, so blank separators stay where they are.
    size_t at = range->second;
    while (at > range->first + 1 && Trim(f.lines[at - 1].text).empty())
      --at;
    f.lines.insert(f.lines.begin() + at, {entry});
  } else {
    f.lines.push_back({std::string("[") + section + "]"});
    f.lines.push_back({entry});
  }
  return WriteProfile(path, f);
}

std::string ProfileString(const std::string &section, const std::string &key,
                          const std::string &default_value, const std::string &file_name) {
  std::vector<char> buffer(256);
  for (;;) {
    uint32_t size = static_cast<uint32_t>(buffer.size());
    uint32_t n = GetPrivateProfileString(section.c_str(), key.c_str(), default_value.c_str(),
                                         buffer.data(), size, file_name.c_str());
    if (n < size - 1) return std::string(buffer.data(), n);
    buffer.resize(buffer.size() * 4);
  }
}

}  // namespace zplatform
