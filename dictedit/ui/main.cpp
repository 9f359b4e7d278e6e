// The dictionary editor: its windows, "--macro FILE [DIR]" to run them from a script, and
// "--batch DIR COMMAND ..." to run commands without windows.
#include <QApplication>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

#include "zplatform/codepage.h"

#include "batch.h"
#include "editor_macro.h"
#include "editor_messages.h"
#include "editor_ui.h"
#include "listing_printer.h"
#include "main_window.h"
#include "script.h"
#include "zplatform/program.h"

namespace {

const char kUsage[] =
    "usage: dictedit [DIR]\n"
    "       dictedit --macro FILE [DIR]\n"
    "       dictedit --batch DIR COMMAND ARGS... [; COMMAND ARGS...]...\n";

}  // namespace

int main(int argc, char **argv) {
  if (argc >= 2 && std::strcmp(argv[1], "--batch") == 0) {
    std::vector<std::string> args(argv + 2, argv + argc);
    dictedit::SetListingPdfWriter(dictedit::WriteListingPdf);
    return zplatform::FinishOutput("dictedit", dictedit::RunBatch(args, std::cout, std::cerr));
  }
  std::string macro, directory;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--macro") == 0 && i + 1 < argc) {
      macro = argv[++i];
      continue;
    }
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::printf("%s\nEdits a Btrieve data dictionary (FILE.DDF, FIELD.DDF, INDEX.DDF).\n\n%s",
                  kUsage, dictedit::BatchHelp().c_str());
      return zplatform::FinishOutput("dictedit", 0);
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::fputs(zplatform::VersionLine("dictedit").c_str(), stdout);
      return zplatform::FinishOutput("dictedit", 0);
    }
    if (argv[i][0] == '-' || !directory.empty()) {
      std::fprintf(stderr, "dictedit: unknown option %s\n%s", argv[i], kUsage);
      return 2;
    }
    directory = argv[i];
  }
  if (!zplatform::CanShowWindows()) {
    std::fputs(zplatform::NoDisplayLine("dictedit").c_str(), stderr);
    return 1;
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName("dictedit");
  dictedit::MainWindow window;
  if (!macro.empty()) window.resize(1000, 720);
  if (window.Dictionary().options.maxmize_at_open != 0 && macro.empty()) {
    window.showMaximized();
  } else {
    window.show();
  }
  // Under a macro nothing waits for a person, from the first message on.
  dictedit::TheScript().active = !macro.empty();
  if (!directory.empty()) {
    // A directory the code page cannot name would be looked for with "?" in it.
    std::string code_page;
    if (zplatform::FromUtf8Exactly(directory, &code_page)) {
      window.OpenDirectory(code_page);
    } else {
      ShowMessage(window.Dictionary().Ui(), false, dictedit::msg::kOutsideCodePage,
                  code_page.c_str());
    }
  }
  if (!macro.empty())
    return zplatform::FinishOutput("dictedit", dictedit::RunEditorMacro(window, macro));
  return app.exec();
}
