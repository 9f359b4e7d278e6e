#include "storage.h"

#include <unistd.h>

#include <cstring>

#include "pg_store.h"
#include "sqlite_store.h"
#include "zplatform/profile.h"

namespace btr {

void RowBatch::Clear() {
  bytes_.clear();
  spans_.clear();
}

void RowBatch::Add(const void *k, size_t k_len, int64_t seq, int64_t pos, const void *data,
                   size_t data_len) {
  Span s{bytes_.size(), k_len, bytes_.size() + k_len, data_len, seq, pos};
  if (k_len) bytes_.append(static_cast<const char *>(k), k_len);
  if (data_len) bytes_.append(static_cast<const char *>(data), data_len);
  spans_.push_back(s);
}

void RowBatch::Truncate(size_t n) {
  if (n >= spans_.size()) return;
  bytes_.resize(spans_[n].k_off);
  spans_.resize(n);
}

Row RowBatch::At(size_t i) const {
  const Span &s = spans_[i];
  return Row{std::string_view(bytes_).substr(s.k_off, s.k_len), s.seq, s.pos,
             std::string_view(bytes_).substr(s.data_off, s.data_len)};
}

bool Descending(Seek how) {
  return how == Seek::kLess || how == Seek::kLessOrEqual || how == Seek::kLast ||
         how == Seek::kBefore;
}

std::string LexicallyAbsolute(const std::string &path) {
  std::string full = path;
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

std::string ServerFor(const std::string &native_path) {
  std::vector<char> names(65536);
  uint32_t n = zplatform::GetPrivateProfileString("servers", nullptr, "", names.data(),
                                                  static_cast<uint32_t>(names.size()), "zelko.ini");
  if (n == 0) return std::string();
  const std::string path = LexicallyAbsolute(native_path);
  std::string best_dir, best;
  for (const char *name = names.data(); *name != 0; name += std::strlen(name) + 1) {
    if (name[0] != '/') continue;  // only absolute directories name a server
    std::string dir = LexicallyAbsolute(name);
    bool inside = dir == "/" || path == dir ||
                  (path.size() > dir.size() && path.compare(0, dir.size(), dir) == 0 &&
                   path[dir.size()] == '/');
    if (!inside || (!best_dir.empty() && dir.size() <= best_dir.size())) continue;
    std::string conninfo = zplatform::ProfileString("servers", name, "", "zelko.ini");
    if (conninfo.empty()) continue;
    best_dir = dir;
    best = conninfo;
  }
  return best;
}

Store &StoreFor(const std::string &native_path) {
  std::string conninfo = ServerFor(native_path);
  return conninfo.empty() ? SqliteStore() : ServerStore(conninfo);
}

int LockWaitMilliseconds() {
  uint32_t seconds =
      zplatform::GetPrivateProfileInt("wbtrv32", "lock_wait_seconds", 10, "zelko.ini");
  return static_cast<int>(seconds > 3600 ? 3600 : seconds) * 1000;
}

std::string PackSeqs(const std::vector<int64_t> &seqs) {
  std::string out(seqs.size() * 8, '\0');
  for (size_t i = 0; i < seqs.size(); ++i) {
    for (int b = 0; b < 8; ++b)
      out[i * 8 + b] = static_cast<char>(static_cast<uint64_t>(seqs[i]) >> (8 * b));
  }
  return out;
}

std::vector<int64_t> UnpackSeqs(std::string_view blob, size_t keys) {
  std::vector<int64_t> seqs(keys, 0);
  for (size_t i = 0; i < keys && (i + 1) * 8 <= blob.size(); ++i) {
    uint64_t v = 0;
    for (int b = 0; b < 8; ++b)
      v |= static_cast<uint64_t>(static_cast<uint8_t>(blob[i * 8 + b])) << (8 * b);
    seqs[i] = static_cast<int64_t>(v);
  }
  return seqs;
}

}  // namespace btr
