// The dictionary editor. "--batch DIR COMMAND ..." runs one command without windows; the
// windows arrive with their own change.
#include <QApplication>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "batch.h"

int main(int argc, char **argv) {
  if (argc >= 2 && std::strcmp(argv[1], "--batch") == 0) {
    std::vector<std::string> args(argv + 2, argv + argc);
    return dictedit::RunBatch(args, std::cout, std::cerr);
  }
  QApplication app(argc, argv);
  std::fprintf(stderr, "dictedit 3.00: the editor's windows are not built yet; use --batch\n");
  return 2;
}
