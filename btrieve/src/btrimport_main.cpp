// btrimport SRC.DAT DEST: a genuine Btrieve file into a file of the record manager.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "legacy_file.h"
#include "legacy_import.h"
#include "zplatform/codepage.h"
#include "zplatform/interruption.h"
#include "zplatform/paths.h"
#include "zplatform/program.h"

namespace {

const char kUsage[] = "usage: btrimport [--dry-run] SRC.DAT DEST\n";
const char kHelp[] =
    "\n"
    "Reads a genuine Btrieve file (the layout of versions 3 to 5, or of 6.0 and 6.1) and\n"
    "creates DEST, a file of the record manager, with the same record length, page size,\n"
    "variable-record flag and keys (alternate collating sequences included), then inserts\n"
    "every record and verifies the result: the record count against the source's, the\n"
    "file's own check, every record read back byte for byte. DEST is written under a\n"
    "temporary name and appears only when verified; it must not exist. SRC is only read.\n"
    "\n"
    "  --dry-run  read SRC and report, write nothing\n"
    "  --help     this text\n"
    "  --version  the version\n"
    "\n"
    "Compressed files, variable tails in VAT pages and versions 7 and later are refused.\n"
    "Exit 0 done, 1 refused or failed, 2 usage, 128 + the signal's number when interrupted\n"
    "(Ctrl+C, SIGTERM, SIGHUP: the new file is not made).\n";

void Describe(const btr::legacy::LegacyFile &f, uint32_t found) {
  std::printf("layout: %s, version 0x%X\n", f.page_table ? "6.x page table" : "3.x-5.x", f.version);
  std::printf("page size %d, record length %d%s, %u records (%u found)\n", f.page_size,
              f.record_length, f.variable ? " (variable)" : "", f.fcr_records, found);
  for (size_t k = 0; k < f.keys.size(); ++k) {
    std::printf("key %zu:", k);
    for (const auto &s : f.keys[k].segments) {
      std::printf(" [position %d length %d flags 0x%X type %d", s.position, s.length, s.flags,
                  s.type);
      if (s.collating >= 0) std::printf(" collating %s", f.collating[s.collating].name.c_str());
      std::printf("]");
    }
    std::printf("\n");
  }
}

int Run(int argc, char **argv) {
  bool dry = false;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::printf("%s%s", kUsage, kHelp);
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::fputs(zplatform::VersionLine("btrimport").c_str(), stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "--dry-run") == 0) {
      dry = true;
    } else if (argv[i][0] == '-') {
      std::fprintf(stderr, "btrimport: unknown option %s\n%s", argv[i], kUsage);
      return 2;
    } else {
      files.push_back(argv[i]);
    }
  }
  if (files.size() != (dry ? 1u : 2u) && files.size() != 2) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  // The record manager takes code-page paths: a name it cannot hold would be made with "?".
  std::string destination;
  if (files.size() == 2 && !zplatform::FromUtf8Exactly(files[1], &destination)) {
    std::fprintf(stderr, "btrimport: %s: the path has characters outside the code page\n",
                 files[1].c_str());
    return 1;
  }
  // Read a piece at a time: a file larger than memory is walked, its records never held
  // together.
  btr::legacy::LegacySource source = btr::legacy::LegacySource::OpenFile(files[0]);
  if (!source.ok()) {
    std::fprintf(stderr, "btrimport: cannot read %s\n", files[0].c_str());
    return 1;
  }
  btr::legacy::LegacyFile file;
  std::string why;
  uint32_t found = 0;
  if (!btr::legacy::ReadLegacyFile(source, &file, &why, false) ||
      !btr::legacy::CountLegacyRecords(source, &found, &why)) {
    std::fprintf(stderr, "btrimport: %s: %s\n", files[0].c_str(), why.c_str());
    return 1;
  }
  Describe(file, found);
  if (found != file.fcr_records) {
    std::fprintf(stderr, "btrimport: %s: found %u records where the file says %u\n",
                 files[0].c_str(), found, file.fcr_records);
    return 1;
  }
  if (dry) return 0;
  bool terminal = ::isatty(2) != 0;
  auto progress = [terminal](uint32_t done, uint32_t total) {
    if (!terminal || total == 0) return;
    int width = 40, filled = static_cast<int>(static_cast<uint64_t>(done) * width / total);
    std::fprintf(stderr, "\r[%s%s] %u/%u", std::string(static_cast<size_t>(filled), '#').c_str(),
                 std::string(static_cast<size_t>(width - filled), ' ').c_str(), done, total);
    if (done == total) std::fputc('\n', stderr);
  };
  btr::legacy::ImportReport report;
  zplatform::InterruptionGuard interruption;
  if (btr::legacy::ImportLegacyFile(file, source, destination, progress, &report, &why,
                                    zplatform::InterruptionGuard::Interrupted) != 0) {
    if (terminal) std::fputc('\n', stderr);  // past the progress bar
    std::fprintf(stderr, "btrimport: %s: %s\n", files[1].c_str(), why.c_str());
    return zplatform::InterruptionGuard::Interrupted() ? zplatform::InterruptionGuard::ExitStatus()
                                                       : 1;
  }
  std::printf("%s: %u records written and verified\n", files[1].c_str(), report.records_written);
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  return zplatform::FinishOutput("btrimport", Run(argc, argv));
}
