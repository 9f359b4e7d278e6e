// btrcheck FILE...: verifies data files; prints what is wrong and exits non-zero.
#include <cstdio>
#include <string>
#include <vector>

#include "check.h"
#include "zplatform/paths.h"

int main(int argc, char **argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: btrcheck FILE...\n");
    return 2;
  }
  int failures = 0;
  for (int i = 1; i < argc; ++i) {
    std::string path = zplatform::NativePathOrSelf(argv[i]);
    std::vector<std::string> problems;
    if (btr::CheckFile(path, &problems)) {
      std::printf("%s: ok\n", argv[i]);
      continue;
    }
    ++failures;
    for (const std::string &p : problems)
      std::printf("%s: %s\n", argv[i], p.c_str());
  }
  return failures == 0 ? 0 : 1;
}
