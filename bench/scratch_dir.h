// A directory for one benchmark run's files, removed when the program ends (the files of a
// million records take hundreds of megabytes) unless ZELKO_BENCH_KEEP is set.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

namespace benchdata {

inline std::vector<std::string> &ScratchDirectories() {
  static auto *dirs = new std::vector<std::string>();  // kept for the exit handler
  return *dirs;
}

inline std::string MakeScratchDirectory(const char *prefix) {
  std::string pattern = std::string("/tmp/") + prefix + "-XXXXXX";
  std::string dir = mkdtemp(pattern.data());
  if (ScratchDirectories().empty() && getenv("ZELKO_BENCH_KEEP") == nullptr) {
    std::atexit([] {
      for (const std::string &d : ScratchDirectories())
        std::filesystem::remove_all(d);
    });
  }
  ScratchDirectories().push_back(dir);
  return dir;
}

}  // namespace benchdata
