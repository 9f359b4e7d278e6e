#include "zplatform/program.h"

#include <cstdlib>

namespace zplatform {

namespace {
std::string Env(const char *name) {
  const char *v = std::getenv(name);
  return v != nullptr ? v : "";
}
}  // namespace

std::string VersionLine(const std::string &program) {
  return program + " " ZELKO_VERSION "\n";
}

bool CanShowWindows() {
  std::string platform = Env("QT_QPA_PLATFORM");
  // "xcb" and "wayland" (and their variants) need a server; offscreen, minimal, vnc, eglfs...
  // do not.
  bool needs_x = platform.empty() || platform.rfind("xcb", 0) == 0;
  bool needs_wayland = platform.rfind("wayland", 0) == 0;
  if (needs_x && !Env("DISPLAY").empty()) return true;
  if (platform.empty() && !Env("WAYLAND_DISPLAY").empty()) return true;
  if (needs_wayland) return !Env("WAYLAND_DISPLAY").empty();
  return !needs_x;
}

std::string NoDisplayLine(const std::string &program) {
  return program +
         ": no display to show windows on (set DISPLAY, or QT_QPA_PLATFORM=offscreen to run "
         "without one)\n";
}

}  // namespace zplatform
