// Helpers for tests: temporary directories and reset hooks for process-wide state.
#pragma once

#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace zelko_testing {

inline std::string MakeTempDir() {
  const char *base = getenv("TMPDIR");
  std::string tmpl = std::string(base != nullptr && *base ? base : "/tmp") + "/zelko-test-XXXXXX";
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  char *dir = mkdtemp(buf.data());
  return dir != nullptr ? std::string(dir) : std::string("/tmp");
}

// The configuration directory of the running test.
inline std::string ConfigDir() {
  return getenv("ZELKO_CONFIG_DIR");
}
// A scratch directory of the running test, removed after it.
inline std::string ScratchDir() {
  return getenv("ZELKO_TEST_SCRATCH");
}

inline void WriteFile(const std::string &path, const std::string &content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

inline std::string ReadFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Runs a shell command; its standard output, and its exit status in *status.
inline std::string RunShell(const std::string &command, int *status) {
  std::string out;
  FILE *p = popen(command.c_str(), "r");
  if (p == nullptr) {
    *status = -1;
    return out;
  }
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0)
    out.append(buf, n);
  int raw = pclose(p);
  *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return out;
}

// Functions run before every test to reset process-wide state of the module under test.
inline std::vector<std::function<void()>> &ResetHooks() {
  static std::vector<std::function<void()>> hooks;
  return hooks;
}
inline void RunResetHooks() {
  for (auto &h : ResetHooks())
    h();
}
struct RegisterResetHook {
  explicit RegisterResetHook(std::function<void()> f) { ResetHooks().push_back(std::move(f)); }
};

}  // namespace zelko_testing
