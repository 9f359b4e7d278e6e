#include "zplatform/servers.h"

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include "zplatform/profile.h"

namespace zplatform {

std::string LexicallyAbsolute(const std::string &native_path) {
  std::string full = native_path;
  if (full.empty() || full[0] != '/') {
    char cwd[4096];
    if (::getcwd(cwd, sizeof cwd) != nullptr) full = std::string(cwd) + "/" + full;
  }
  std::vector<std::string> parts;
  size_t at = 0;
  while (at <= full.size()) {
    size_t slash = full.find('/', at);
    if (slash == std::string::npos) slash = full.size();
    std::string part = full.substr(at, slash - at);
    at = slash + 1;
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(std::move(part));
  }
  std::string out;
  for (const std::string &part : parts)
    out += "/" + part;
  return out.empty() ? "/" : out;
}

namespace {

// The keys of section [servers].
std::vector<std::string> ServerKeys() {
  std::vector<char> names(65536);
  uint32_t n = GetPrivateProfileString("servers", nullptr, "", names.data(),
                                       static_cast<uint32_t>(names.size()), "zelko.ini");
  std::vector<std::string> keys;
  if (n == 0) return keys;
  for (const char *name = names.data(); *name != 0; name += std::strlen(name) + 1)
    keys.emplace_back(name);
  return keys;
}

}  // namespace

std::vector<std::string> IgnoredServerEntries() {
  std::vector<std::string> ignored;
  for (const std::string &key : ServerKeys()) {
    if (key[0] != '/')
      ignored.push_back("zelko.ini [servers]: \"" + key +
                        "\" is no absolute directory, so it names no server");
    else if (ProfileString("servers", key, "", "zelko.ini").empty())
      ignored.push_back("zelko.ini [servers]: \"" + key +
                        "\" has no connection string, so it names no server");
  }
  return ignored;
}

std::string ServerFor(const std::string &native_path) {
  const std::vector<std::string> keys = ServerKeys();
  if (keys.empty()) return std::string();
  const std::string path = LexicallyAbsolute(native_path);
  std::string best_dir, best;
  for (const std::string &key : keys) {
    if (key[0] != '/') continue;  // only absolute directories name a server
    std::string dir = LexicallyAbsolute(key);
    bool inside = dir == "/" || path == dir ||
                  (path.size() > dir.size() && path.compare(0, dir.size(), dir) == 0 &&
                   path[dir.size()] == '/');
    if (!inside || (!best_dir.empty() && dir.size() <= best_dir.size())) continue;
    std::string conninfo = ProfileString("servers", key, "", "zelko.ini");
    if (conninfo.empty()) continue;
    best_dir = dir;
    best = conninfo;
  }
  return best;
}

void MakeDirectoryHere(const std::string &native_directory) {
  if (!ServerFor(native_directory).empty()) return;
  std::error_code ignored;
  std::filesystem::create_directories(native_directory, ignored);
}

}  // namespace zplatform
