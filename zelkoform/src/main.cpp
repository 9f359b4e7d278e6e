// zelkoform: hosts Visual Basic form files with the Zelko controls.
//   zelkoform [--design] FORM.frm...               shows the forms
//   zelkoform [--design] --macro FILE FORM.frm...  runs a script against them and exits
//   zelkoform --rewrite OUT.frm FORM.frm           writes the form back (after loading it)
//   zelkoform --macro FILE --screenshot OUT.png FORM.frm   saves a picture after the macro
#include <unistd.h>

#include <QApplication>
#include <QPixmap>
#include <QWidget>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <memory>

#include "designer.h"
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
    "FORM.frm [FORM.frm...]\n";

const char kHelp[] =
    "\n"
    "Shows Visual Basic forms (.frm) with the Zelko controls, one window each, or runs a\n"
    "macro against them. Relative paths in a form (DDFDir) are taken from the directory of\n"
    "the first form.\n"
    "\n"
    "  --design              design mode: the controls are shown unbound\n"
    "  --macro FILE          runs the statements of FILE (- for standard input) against the\n"
    "                        forms, then exits (exit 1 when a statement or expect failed)\n"
    "  --screenshot OUT.png  after the macro, saves a picture of the first form's window\n"
    "  --rewrite OUT.frm     writes the form, loaded in design mode, back to OUT.frm and\n"
    "                        exits (one form)\n"
    "  --help, --version\n"
    "\n"
    "Windows need a display; QT_QPA_PLATFORM=offscreen runs macros without one.\n";

int Usage() {
  std::fputs(kUsage, stderr);
  return 2;
}

struct FormFile {
  std::string argument, path;
  zelkoform::FrmDocument document;
  bool whole = true;  // read and loaded without a problem
};

// Reads a form file; false after saying in one line why it cannot be used.
bool ReadForm(FormFile *form) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(form->path, ec)) {
    std::fprintf(stderr, "zelkoform: %s: %s\n", form->argument.c_str(),
                 std::filesystem::exists(form->path, ec) ? "not a file" : "no such file");
    return false;
  }
  auto bytes = zplatform::ReadWholeFile(form->path);
  if (!bytes) {
    std::fprintf(stderr, "zelkoform: %s: cannot be read\n", form->argument.c_str());
    return false;
  }
  std::vector<std::string> problems;
  std::optional<zelkoform::FrmDocument> doc;
  if (bytes->find('\0') == std::string::npos) doc = zelkoform::ReadFrmFile(form->path, &problems);
  if (!doc) {
    std::fprintf(stderr,
                 "zelkoform: %s is not a Visual Basic form file (a text file that begins with "
                 "VERSION and holds Begin VB.Form)\n",
                 form->argument.c_str());
    return false;
  }
  for (const std::string &p : problems)
    std::fprintf(stderr, "zelkoform: %s\n", p.c_str());
  form->whole = problems.empty();
  form->document = std::move(*doc);
  return true;
}

}  // namespace

int main(int argc, char **argv) {
  zplatform::RaiseOpenFileLimit();
  bool design = false;
  std::string macro, macro_name, rewrite, screenshot;
  std::vector<FormFile> forms;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--design") {
      design = true;
    } else if (a == "--macro" && i + 1 < argc) {
      macro_name = argv[++i];
      macro = macro_name == "-" ? macro_name : std::filesystem::absolute(macro_name).string();
    } else if (a == "--screenshot" && i + 1 < argc) {
      screenshot = std::filesystem::absolute(argv[++i]).string();
    } else if (a == "--rewrite" && i + 1 < argc) {
      rewrite = std::filesystem::absolute(argv[++i]).string();
    } else if (a == "--help" || a == "-h") {
      std::printf("%s%s", kUsage, kHelp);
      return zplatform::FinishOutput("zelkoform", 0);
    } else if (a == "--version") {
      std::fputs(zplatform::VersionLine("zelkoform").c_str(), stdout);
      return zplatform::FinishOutput("zelkoform", 0);
    } else if (!a.empty() && a[0] != '-') {
      forms.push_back({a, std::filesystem::absolute(a).string(), {}});
    } else {
      if (!a.empty() && a[0] == '-')
        std::fprintf(stderr, "zelkoform: unknown option %s\n", a.c_str());
      return Usage();
    }
  }
  if (forms.empty() || (!rewrite.empty() && forms.size() > 1)) return Usage();

  // A form that cannot be read is said in one line, before any window.
  for (FormFile &form : forms) {
    if (!ReadForm(&form)) return 1;
  }
  std::string script;
  if (!macro.empty()) {
    if (macro == "-") {
      script.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
      macro_name = "stdin";
    } else if (auto text = zplatform::ReadWholeFile(macro)) {
      script = *text;
    } else {
      std::fprintf(stderr, "zelkoform: cannot read %s\n", macro_name.c_str());
      return 1;
    }
  }

  if (!zplatform::CanShowWindows()) {
    std::fputs(zplatform::NoDisplayLine("zelkoform").c_str(), stderr);
    return 1;
  }
  QApplication app(argc, argv);
  bool interactive = macro.empty() && rewrite.empty();
  // Scripts see message boxes as their own output lines; nothing is shown besides.
  if (interactive) {
    zplatform::MessageService::Instance().SetPresenter(std::make_shared<zplatform::QtPresenter>());
  } else {
    // What the forms say while they load is the script's to see; a script's own run then
    // prints and answers its message boxes itself.
    zplatform::MessageService::Instance().SetPresenter(
        std::make_shared<zelkoform::MessageBoxPrinter>(std::cout));
  }

  // Each form is loaded in its own directory; the first form's stays the current one, so a
  // relative DDFDir names that directory.
  std::vector<std::unique_ptr<zelkoform::FormHost>> hosts;
  for (auto it = forms.rbegin(); it != forms.rend(); ++it) {
    std::string dir = std::filesystem::path(it->path).parent_path().string();
    if (!dir.empty() && chdir(dir.c_str()) != 0)
      std::fprintf(stderr, "zelkoform: cannot enter %s\n", dir.c_str());
    auto host = std::make_unique<zelkoform::FormHost>();
    std::vector<std::string> problems;
    // A form is written back as designed: bound, it would keep the texts of the records
    // its controls read (and its data source would make missing data files).
    host->Load(it->document, design || !rewrite.empty(), &problems);
    for (const std::string &p : problems)
      std::fprintf(stderr, "zelkoform: %s\n", p.c_str());
    it->whole = it->whole && problems.empty();
    hosts.insert(hosts.begin(), std::move(host));
  }
  for (auto &host : hosts)
    host->Window()->show();
  // In design mode the first form is the one the designer edits.
  std::unique_ptr<zelkoform::Designer> designer;
  if (design && rewrite.empty()) {
    designer = std::make_unique<zelkoform::Designer>(*hosts.front(), forms.front().path,
                                                     forms.front().whole);
    // Made in any case, so a macro's edits fill its property sheet as a person's do.
    QWidget *panel = designer->Panel();
    if (interactive) panel->show();
  }

  if (!rewrite.empty() && !zelkoform::WriteFrmFile(rewrite, hosts.front()->Save())) {
    std::fprintf(stderr, "zelkoform: cannot write %s\n", rewrite.c_str());
    return 1;
  }
  if (interactive) {
    for (auto &host : hosts)
      host->EnableCloseKeys();
  }
  // From here on a script's run prints and answers the message boxes itself.
  if (!interactive)
    zplatform::MessageService::Instance().SetPresenter(
        std::make_shared<zplatform::SilentPresenter>());
  if (!macro.empty()) {
    std::vector<zelkoform::FormHost *> loaded;
    for (auto &host : hosts)
      loaded.push_back(host.get());
    int failed = 0;
    {
      zelkoform::MacroRunner runner(loaded, std::cout);
      runner.SetDesigner(designer.get());
      failed = runner.Run(script, std::cerr, macro_name);
    }
    std::cout.flush();
    if (!screenshot.empty()) {
      QApplication::processEvents();
      if (!hosts.front()->Window()->grab().save(QString::fromStdString(screenshot))) {
        std::fprintf(stderr, "zelkoform: cannot write %s\n", screenshot.c_str());
        return 1;
      }
    }
    return zplatform::FinishOutput("zelkoform", failed == 0 ? 0 : 1);
  }
  if (!rewrite.empty()) return 0;
  return app.exec();
}
