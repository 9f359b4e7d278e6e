// btrcheck FILE...: verifies data files; prints what is wrong and exits non-zero.
#include <cstdio>
#include <cstring>
#include <string>

#include "btrieve/btrapi.h"
#include "zplatform/codepage.h"

namespace {

void Print(const char *problem, void *file) {
  std::printf("%s: %s\n", static_cast<const char *>(file), problem);
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: btrcheck FILE...\n");
    return 2;
  }
  int failures = 0;
  for (int i = 1; i < argc; ++i) {
    // The record manager takes code-page paths; the terminal gives UTF-8.
    std::string path = zplatform::FromUtf8(argv[i]);
    int16_t status = BTRCHECKFILE(path.c_str(), Print, argv[i]);
    if (status == 0) {
      std::printf("%s: ok\n", argv[i]);
      continue;
    }
    ++failures;
    if (status == B_FILE_NOT_FOUND) std::printf("%s: no such file\n", argv[i]);
  }
  return failures == 0 ? 0 : 1;
}
