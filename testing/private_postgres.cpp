#include "private_postgres.h"

#include <glob.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "zelko_test_env.h"

namespace zelko_testing {
namespace {

// The newest server installation's programs (Debian keeps them out of PATH).
std::string ServerBinaries() {
  glob_t g;
  std::string found;
  if (::glob("/usr/lib/postgresql/*/bin/pg_ctl", 0, nullptr, &g) == 0 && g.gl_pathc > 0) {
    found = g.gl_pathv[g.gl_pathc - 1];
    found.resize(found.size() - std::string("/pg_ctl").size());
  }
  ::globfree(&g);
  return found;
}

std::string Quote(const std::string &s) {
  std::string out = "'";
  for (char c : s) {
    if (c == '\'')
      out += "'\\''";
    else
      out += c;
  }
  return out + "'";
}

}  // namespace

bool PrivatePostgres::Run(const std::string &command) {
  std::string line = command;
  if (!user_.empty()) line = "runuser -u " + user_ + " -- " + command;
  int status = 0;
  std::string out = RunShell(line + " 2>&1", &status);
  if (status != 0) {
    error_ = command + ": " + out;
    return false;
  }
  return true;
}

bool PrivatePostgres::Start() {
  bin_ = ServerBinaries();
  if (bin_.empty()) {
    error_ = "no PostgreSQL server installed (/usr/lib/postgresql/*/bin)";
    return false;
  }
  if (::getuid() != 0) {
    dir_ = MakeTempDir();
  } else {
    // The server's user must reach its directory: under /tmp, whatever TMPDIR says.
    char pattern[] = "/tmp/zelko-pg-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
      error_ = "cannot make a directory under /tmp";
      return false;
    }
    dir_ = pattern;
    const char *candidates[] = {"postgres", "nobody"};
    for (const char *name : candidates) {
      if (passwd *pw = ::getpwnam(name)) {
        user_ = name;
        if (::chown(dir_.c_str(), pw->pw_uid, pw->pw_gid) != 0) {
          error_ = "cannot hand " + dir_ + " to " + name;
          return false;
        }
        break;
      }
    }
  }
  ::chmod(dir_.c_str(), 0755);
  const std::string data = dir_ + "/data";
  if (!Run(Quote(bin_ + "/initdb") + " -D " + Quote(data) +
           " -A trust -U zelko -E UTF8 --locale=C --no-sync --no-instructions")) {
    return false;
  }
  conninfo_ = "host=" + dir_ + " port=5432 user=zelko dbname=postgres";
  return Restart();
}

bool PrivatePostgres::Restart() {
  if (running_) Kill();
  const std::string data = dir_ + "/data";
  // Only the socket in the private directory; no TCP port, so parallel tests never clash.
  std::string options = "-k " + dir_ + " -c listen_addresses= -p 5432 -c fsync=off" +
                        " -c max_connections=200 -c full_page_writes=off";
  if (!Run(Quote(bin_ + "/pg_ctl") + " -D " + Quote(data) + " -l " + Quote(dir_ + "/log") + " -o " +
           Quote(options) + " -w -t 60 start")) {
    return false;
  }
  running_ = true;
  return true;
}

void PrivatePostgres::Kill() {
  if (!running_) return;
  Run(Quote(bin_ + "/pg_ctl") + " -D " + Quote(dir_ + "/data") + " -m immediate -w stop");
  running_ = false;
}

void PrivatePostgres::Stop() {
  Kill();
  if (!dir_.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
    dir_.clear();
  }
}

}  // namespace zelko_testing
