#include "zplatform/program.h"

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>

namespace zplatform {

std::string EnvironmentText(const char *name) {
  const char *v = std::getenv(name);
  return v != nullptr ? v : "";
}

std::string VersionLine(const std::string &program) {
  return program + " " ZELKO_VERSION "\n";
}

bool CanShowWindows() {
  std::string platform = EnvironmentText("QT_QPA_PLATFORM");
  // "xcb" and "wayland" (and their variants) need a server; offscreen, minimal, vnc, eglfs...
  // do not.
  bool needs_x = platform.empty() || platform.rfind("xcb", 0) == 0;
  bool needs_wayland = platform.rfind("wayland", 0) == 0;
  if (needs_x && !EnvironmentText("DISPLAY").empty()) return true;
  if (platform.empty() && !EnvironmentText("WAYLAND_DISPLAY").empty()) return true;
  if (needs_wayland) return !EnvironmentText("WAYLAND_DISPLAY").empty();
  return !needs_x;
}

std::string NoDisplayLine(const std::string &program) {
  return program +
         ": no display to show windows on (set DISPLAY, or QT_QPA_PLATFORM=offscreen to run "
         "without one)\n";
}

int FinishOutput(const std::string &program, int status) {
  std::cout.flush();
  const bool lost = !std::cout || std::fflush(stdout) != 0 || std::ferror(stdout) != 0;
  if (!lost) return status;
  std::fprintf(stderr, "%s: cannot write the output\n", program.c_str());
  return status != 0 ? status : 1;
}

void RaiseOpenFileLimit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= limit.rlim_max) return;
  limit.rlim_cur = limit.rlim_max;
  if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) {
    // kept as it was
  }
}

}  // namespace zplatform
