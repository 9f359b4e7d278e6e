// btrcopy SRC DEST: a data file copied whole and checked, between local files and servers
// (zelko.ini [servers]).

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "btrieve/btrapi.h"
#include "file_copy.h"
#include "legacy_file.h"
#include "pq_library.h"
#include "storage.h"
#include "zplatform/codepage.h"
#include "zplatform/interruption.h"
#include "zplatform/paths.h"
#include "zplatform/program.h"
#include "zplatform/servers.h"

namespace {

const char kUsage[] = "usage: btrcopy SRC DEST\n";
const char kHelp[] =
    "\n"
    "Copies the data file SRC to DEST, where either may be a local file or a file on a\n"
    "server that zelko.ini [servers] maps its directory to. DEST gets the same specification\n"
    "and owner, every record at its position, every key entry, and the positions given out\n"
    "so far; then both are read back and compared and DEST is checked. DEST must not exist;\n"
    "no other process writes SRC meanwhile. The copy is made as DEST.copying.PID and takes\n"
    "the name DEST only when it is whole and checked: a failed or interrupted copy leaves no\n"
    "DEST (one killed outright may leave its DEST.copying.PID).\n"
    "\n"
    "It is the way to back up a file other programs have open (cp can miss changes still\n"
    "in SRC-wal): readers go on, writers wait for the copy.\n"
    "\n"
    "  --help     this text\n"
    "  --version  the version\n"
    "\n"
    "Exit 0 copied and checked, 1 refused or failed, 2 usage, 128 + the signal's number when\n"
    "interrupted (Ctrl+C, SIGTERM, SIGHUP).\n";

// Where a file lives, without the connection string's secrets.
std::string Where(const std::string &native) {
  std::string conninfo = zplatform::ServerFor(native);
  if (conninfo.empty()) return "local file";
  std::string host = "local socket", database;
  const btr::PqLibrary *pq = btr::LoadPq();
  if (PQconninfoOption *options = pq ? pq->PQconninfoParse(conninfo.c_str(), nullptr) : nullptr) {
    for (PQconninfoOption *o = options; o->keyword != nullptr; ++o) {
      if (o->val == nullptr) continue;
      if (std::strcmp(o->keyword, "host") == 0) host = o->val;
      if (std::strcmp(o->keyword, "dbname") == 0) database = o->val;
    }
    pq->PQconninfoFree(options);
  }
  return "server " + host + (database.empty() ? "" : ", database " + database);
}

int Run(int argc, char **argv) {
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::printf("%s%s", kUsage, kHelp);
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::fputs(zplatform::VersionLine("btrcopy").c_str(), stdout);
      return 0;
    }
    if (argv[i][0] == '-' && argv[i][1] != 0) {
      std::fprintf(stderr, "btrcopy: unknown option %s\n%s", argv[i], kUsage);
      return 2;
    }
    files.push_back(argv[i]);
  }
  if (files.size() != 2) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  // A copy meant for a server would stay on this disk without a word.
  for (const std::string &entry : zplatform::IgnoredServerEntries())
    std::fprintf(stderr, "btrcopy: %s\n", entry.c_str());
  std::string native[2];
  for (int i = 0; i < 2; ++i) {
    std::string code_page;
    if (!zplatform::FromUtf8Exactly(files[i], &code_page)) {
      std::fprintf(stderr, "btrcopy: %s: the path has characters outside the code page\n",
                   files[i].c_str());
      return 1;
    }
    auto path = zplatform::NativePath(code_page);
    if (!path) {
      std::fprintf(stderr, "btrcopy: %s: no such place (check [path_map] in zelko.ini)\n",
                   files[i].c_str());
      return 1;
    }
    native[i] = *path;
  }
  btr::CopyReport report;
  std::string why;
  zplatform::InterruptionGuard interruption;
  int status = btr::CopyDataFile(native[0], native[1], &report, &why,
                                 zplatform::InterruptionGuard::Interrupted);
  if (status == btr::kCopyInterrupted) {
    std::fprintf(stderr, "btrcopy: interrupted; %s was not made\n", files[1].c_str());
    return zplatform::InterruptionGuard::ExitStatus();
  }
  if (status != 0) {
    std::fprintf(stderr, "btrcopy: %s\n", why.c_str());
    if (status == B_NOT_A_BTRIEVE_FILE && btr::legacy::LooksLikeLegacyFile(native[0]))
      std::fprintf(stderr, "btrcopy: %s: %s\n", files[0].c_str(), btr::legacy::kImportHint);
    return 1;
  }
  std::printf("%s (%s) -> %s (%s): %lld records, %lld key entries copied and checked\n",
              files[0].c_str(), Where(native[0]).c_str(), files[1].c_str(),
              Where(native[1]).c_str(), static_cast<long long>(report.records),
              static_cast<long long>(report.entries));
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  return zplatform::FinishOutput("btrcopy", Run(argc, argv));
}
