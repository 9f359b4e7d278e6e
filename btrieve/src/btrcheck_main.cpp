// btrcheck FILE...: verifies data files; prints what is wrong and exits non-zero.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "btrieve/btrapi.h"
#include "legacy_file.h"
#include "zplatform/codepage.h"
#include "zplatform/program.h"

namespace {

const char kHelp[] =
    "usage: btrcheck [--] FILE...\n"
    "\n"
    "Checks data files of the record manager: the file's specification, every record's\n"
    "length, and that each key holds exactly one entry for every record, in order.\n"
    "Prints \"FILE: ok\" or each problem found. Exit 0 when every file is sound, 1 when any\n"
    "is not, 2 on a usage error.\n"
    "\n"
    "  --help     this text\n"
    "  --version  the version\n";

void Print(const char *problem, void *file) {
  std::printf("%s: %s\n", static_cast<const char *>(file), problem);
}

int Run(int argc, char **argv) {
  std::vector<const char *> files;
  bool options_end = false;
  for (int i = 1; i < argc; ++i) {
    if (!options_end && argv[i][0] == '-' && argv[i][1] != '\0') {
      if (std::strcmp(argv[i], "--") == 0) {
        options_end = true;
      } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
        std::fputs(kHelp, stdout);
        return 0;
      } else if (std::strcmp(argv[i], "--version") == 0) {
        std::fputs(zplatform::VersionLine("btrcheck").c_str(), stdout);
        return 0;
      } else {
        std::fprintf(stderr, "btrcheck: unknown option %s\nusage: btrcheck [--] FILE...\n",
                     argv[i]);
        return 2;
      }
    } else {
      files.push_back(argv[i]);
    }
  }
  if (files.empty()) {
    std::fprintf(stderr, "usage: btrcheck [--] FILE...\n");
    return 2;
  }
  int failures = 0;
  for (const char *file : files) {
    // The record manager takes code-page paths; the terminal gives UTF-8.
    std::string path;
    if (!zplatform::FromUtf8Exactly(file, &path)) {
      ++failures;
      std::printf("%s: the path has characters outside the code page\n", file);
      continue;
    }
    int16_t status = BTRCHECKFILE(path.c_str(), Print, const_cast<char *>(file));
    if (status == 0) {
      std::printf("%s: ok\n", file);
      continue;
    }
    ++failures;
    if (status == B_FILE_NOT_FOUND) std::printf("%s: no such file\n", file);
    if (status != B_FILE_NOT_FOUND && btr::legacy::LooksLikeLegacyFile(file))
      std::printf("%s: %s\n", file, btr::legacy::kImportHint);
  }
  return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char **argv) {
  return zplatform::FinishOutput("btrcheck", Run(argc, argv));
}
