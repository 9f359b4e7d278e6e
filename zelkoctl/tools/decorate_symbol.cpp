// decorate_symbol LIBRARY STAND_IN NAME: renames the exported symbol STAND_IN of a shared
// library to NAME, a name the linker cannot make ("_DbGetTableName@4": ELF tools read "@" as
// a symbol version). The two names must be of one length and of one GNU hash, so the
// library's hash table still finds the symbol; the names are replaced in place, nothing else
// in the file moves. Exit 0 done (or done before), 1 on any mismatch.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

namespace {

uint32_t GnuHash(const std::string &name) {
  uint32_t h = 5381;
  for (unsigned char c : name)
    h = h * 33 + c;
  return h;
}

size_t Replace(std::string &bytes, const std::string &from, const std::string &to) {
  // Whole names only: each stands between two string ends in the string tables.
  std::string whole_from = std::string(1, '\0') + from + '\0';
  std::string whole_to = std::string(1, '\0') + to + '\0';
  size_t count = 0;
  for (size_t at = bytes.find(whole_from); at != std::string::npos;
       at = bytes.find(whole_from, at + 1)) {
    bytes.replace(at, whole_from.size(), whole_to);
    ++count;
  }
  return count;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: decorate_symbol LIBRARY STAND_IN NAME\n");
    return 1;
  }
  std::string path = argv[1], from = argv[2], to = argv[3];
  if (from.size() != to.size() || GnuHash(from) != GnuHash(to)) {
    std::fprintf(stderr, "decorate_symbol: %s and %s differ in length or hash\n", from.c_str(),
                 to.c_str());
    return 1;
  }
  std::ifstream in(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in.good() && !in.eof()) {
    std::fprintf(stderr, "decorate_symbol: cannot read %s\n", path.c_str());
    return 1;
  }
  in.close();
  if (Replace(bytes, from, to) == 0) {
    // Renamed by an earlier run (the library was not relinked since).
    if (bytes.find(std::string(1, '\0') + to + '\0') != std::string::npos) return 0;
    std::fprintf(stderr, "decorate_symbol: %s has no symbol %s\n", path.c_str(), from.c_str());
    return 1;
  }
  // The same bytes in the same places: written over the file, which keeps its mode.
  std::fstream out(path, std::ios::binary | std::ios::in | std::ios::out);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) {
    std::fprintf(stderr, "decorate_symbol: cannot write %s\n", path.c_str());
    return 1;
  }
  return 0;
}
