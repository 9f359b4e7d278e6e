// The dictionary editor. "--batch DIR COMMAND ..." runs commands without windows; the
// windows arrive with their own change.
#include <QApplication>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "batch.h"
#include "listing_printer.h"
#include "zplatform/program.h"

namespace {

const char kUsage[] =
    "usage: dictedit [DIR]\n"
    "       dictedit --batch DIR COMMAND ARGS... [; COMMAND ARGS...]...\n";

}  // namespace

int main(int argc, char **argv) {
  if (argc >= 2 && std::strcmp(argv[1], "--batch") == 0) {
    std::vector<std::string> args(argv + 2, argv + argc);
    dictedit::SetListingPdfWriter(dictedit::WriteListingPdf);
    return dictedit::RunBatch(args, std::cout, std::cerr);
  }
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::printf("%s\nEdits a Btrieve data dictionary (FILE.DDF, FIELD.DDF, INDEX.DDF).\n\n%s",
                  kUsage, dictedit::BatchHelp().c_str());
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::fputs(zplatform::VersionLine("dictedit").c_str(), stdout);
      return 0;
    }
    if (argv[i][0] == '-') {
      std::fprintf(stderr, "dictedit: unknown option %s\n%s", argv[i], kUsage);
      return 2;
    }
  }
  if (!zplatform::CanShowWindows()) {
    std::fputs(zplatform::NoDisplayLine("dictedit").c_str(), stderr);
    return 1;
  }
  QApplication app(argc, argv);
  std::fprintf(stderr, "dictedit 3.00: the editor's windows are not built yet; use --batch\n");
  return 2;
}
