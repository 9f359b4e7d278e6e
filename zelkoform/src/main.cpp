// zelkoform: hosts a Visual Basic form file with the Zelko controls.
//   zelkoform [--design] FORM.frm               shows the form
//   zelkoform [--design] --macro FILE FORM.frm  runs a script against it and exits
//   zelkoform --rewrite OUT.frm FORM.frm        writes the form back (after loading it)
//   zelkoform --macro FILE --screenshot OUT.png FORM.frm   saves a picture after the macro
#include <unistd.h>

#include <QApplication>
#include <QPixmap>
#include <QWidget>
#include <cstdio>
#include <filesystem>
#include <iostream>

#include "form_host.h"
#include "frm_document.h"
#include "macro.h"
#include "qt_presenter.h"
#include "zplatform/messages.h"
#include "zplatform/paths.h"
#include "zplatform/program.h"

namespace {

const char kUsage[] =
    "usage: zelkoform [--design] [--macro FILE [--screenshot OUT.png]] [--rewrite OUT.frm] "
    "FORM.frm\n";

const char kHelp[] =
    "\n"
    "Shows a Visual Basic form (.frm) with the Zelko controls, or runs a macro against it.\n"
    "Relative paths in the form (DDFDir) are taken from the form's directory.\n"
    "\n"
    "  --design              design mode: the controls are shown unbound\n"
    "  --macro FILE          runs the statements of FILE against the form, then exits\n"
    "                        (exit 1 when a statement failed)\n"
    "  --screenshot OUT.png  after the macro, saves a picture of the form's window\n"
    "  --rewrite OUT.frm     writes the loaded form back to OUT.frm and exits\n"
    "  --help, --version\n"
    "\n"
    "Windows need a display; QT_QPA_PLATFORM=offscreen runs macros without one.\n";

int Usage() {
  std::fputs(kUsage, stderr);
  return 2;
}

}  // namespace

int main(int argc, char **argv) {
  bool design = false;
  std::string macro, macro_name, form, form_argument, rewrite, screenshot;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--design") {
      design = true;
    } else if (a == "--macro" && i + 1 < argc) {
      macro_name = argv[++i];
      macro = std::filesystem::absolute(macro_name).string();
    } else if (a == "--screenshot" && i + 1 < argc) {
      screenshot = std::filesystem::absolute(argv[++i]).string();
    } else if (a == "--rewrite" && i + 1 < argc) {
      rewrite = std::filesystem::absolute(argv[++i]).string();
    } else if (a == "--help" || a == "-h") {
      std::printf("%s%s", kUsage, kHelp);
      return 0;
    } else if (a == "--version") {
      std::fputs(zplatform::VersionLine("zelkoform").c_str(), stdout);
      return 0;
    } else if (form.empty() && a[0] != '-') {
      form_argument = a;
      form = std::filesystem::absolute(a).string();
    } else {
      if (a[0] == '-') std::fprintf(stderr, "zelkoform: unknown option %s\n", a.c_str());
      return Usage();
    }
  }
  if (form.empty()) return Usage();
  // A form that cannot be read is said in one line, before any window.
  std::error_code ec;
  if (!std::filesystem::is_regular_file(form, ec)) {
    std::fprintf(stderr, "zelkoform: %s: %s\n", form_argument.c_str(),
                 std::filesystem::exists(form, ec) ? "not a file" : "no such file");
    return 1;
  }
  auto bytes = zplatform::ReadWholeFile(form);
  if (!bytes) {
    std::fprintf(stderr, "zelkoform: %s: cannot be read\n", form_argument.c_str());
    return 1;
  }
  std::vector<std::string> problems;
  std::optional<zelkoform::FrmDocument> doc;
  if (bytes->find('\0') == std::string::npos) doc = zelkoform::ReadFrmFile(form, &problems);
  if (!doc) {
    std::fprintf(stderr,
                 "zelkoform: %s is not a Visual Basic form file (a text file that begins with "
                 "VERSION and holds Begin VB.Form)\n",
                 form_argument.c_str());
    return 1;
  }
  for (const std::string &p : problems)
    std::fprintf(stderr, "zelkoform: %s\n", p.c_str());

  if (!zplatform::CanShowWindows()) {
    std::fputs(zplatform::NoDisplayLine("zelkoform").c_str(), stderr);
    return 1;
  }

  QApplication app(argc, argv);
  bool interactive = macro.empty() && rewrite.empty();
  if (interactive)
    zplatform::MessageService::Instance().SetPresenter(std::make_shared<zelkoform::QtPresenter>());

  // The form's directory is the current one, so a relative DDFDir names the form's own.
  std::string dir = std::filesystem::path(form).parent_path().string();
  if (!dir.empty() && chdir(dir.c_str()) != 0)
    std::fprintf(stderr, "zelkoform: cannot enter %s\n", dir.c_str());

  zelkoform::FormHost host;
  problems.clear();
  host.Load(*doc, design, &problems);
  for (const std::string &p : problems)
    std::fprintf(stderr, "zelkoform: %s\n", p.c_str());
  host.Window()->show();

  if (!rewrite.empty() && !zelkoform::WriteFrmFile(rewrite, host.Save())) {
    std::fprintf(stderr, "zelkoform: cannot write %s\n", rewrite.c_str());
    return 1;
  }
  if (interactive) host.EnableCloseKeys();
  if (!macro.empty()) {
    auto script = zplatform::ReadWholeFile(macro);
    if (!script) {
      std::fprintf(stderr, "zelkoform: cannot read %s\n", macro.c_str());
      return 1;
    }
    zelkoform::MacroRunner runner(host, std::cout);
    int failed = runner.Run(*script, std::cerr, macro_name);
    std::cout.flush();
    if (!screenshot.empty()) {
      QApplication::processEvents();
      if (!host.Window()->grab().save(QString::fromStdString(screenshot))) {
        std::fprintf(stderr, "zelkoform: cannot write %s\n", screenshot.c_str());
        return 1;
      }
    }
    return failed == 0 ? 0 : 1;
  }
  if (!rewrite.empty()) return 0;
  return app.exec();
}
