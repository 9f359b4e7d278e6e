#include "editor_macro.h"

#include <QAction>
#include <QApplication>
#include <QListWidget>
#include <QMdiSubWindow>
#include <QPixmap>
#include <QStatusBar>
#include <fstream>
#include <iostream>
#include <sstream>

#include "main_window.h"
#include "qt_editor_ui.h"
#include "script.h"
#include "table_view.h"

namespace dictedit {

namespace {

// The words of a statement; a double-quoted word keeps its blanks.
std::vector<std::string> Words(const std::string &line) {
  std::vector<std::string> words;
  size_t at = 0;
  while (at < line.size()) {
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t'))
      ++at;
    if (at >= line.size()) break;
    std::string word;
    if (line[at] == '"') {
      size_t end = line.find('"', at + 1);
      word = line.substr(at + 1, end == std::string::npos ? std::string::npos : end - at - 1);
      at = end == std::string::npos ? line.size() : end + 1;
    } else {
      size_t end = line.find_first_of(" \t", at);
      word = line.substr(at, end == std::string::npos ? std::string::npos : end - at);
      at = end == std::string::npos ? line.size() : end;
    }
    words.push_back(word);
  }
  return words;
}

// Lets the windows settle (layout, painting) between statements.
void Settle() {
  for (int i = 0; i < 3; ++i)
    QApplication::processEvents();
}

bool Number(const std::string &text, int *value) {
  std::istringstream in(text);
  return static_cast<bool>(in >> *value) && in.eof();
}

}  // namespace

int RunEditorMacro(MainWindow &window, const std::string &path) {
  std::ifstream in(path);
  if (!in) {
    std::cerr << "dictedit: cannot read " << path << '\n';
    return 1;
  }
  Script &script = TheScript();
  script.active = true;
  std::string line;
  int number = 0;
  auto fail = [&](const std::string &why) {
    std::cerr << path << ':' << number << ": " << why << '\n';
    return 1;
  };
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::vector<std::string> w = Words(line);
    if (w.empty() || w[0][0] == '\'' || w[0][0] == '#') continue;
    Settle();
    TableView *view = window.ActiveView();
    if (w[0] == "menu" && w.size() == 2) {
      QString problem;
      QAction *action = window.Command(QString::fromStdString(w[1]), &problem);
      if (action == nullptr) return fail(problem.toStdString());
      action->trigger();
    } else if (w[0] == "open" && w.size() == 3 && w[1] == "table") {
      QListWidget *list = window.TableList();
      QList<QListWidgetItem *> found;
      if (list != nullptr) found = list->findItems(QString::fromStdString(w[2]), Qt::MatchExactly);
      if (found.isEmpty()) return fail("the table list holds no " + w[2]);
      list->setCurrentItem(found.front());
      DdfTable *table = window.Dictionary().FindTableByName(CodePage(found.front()->text()));
      window.OpenTableView(table->file_id);
    } else if (w[0] == "activate" && w.size() == 2) {
      DdfTable *table = window.Dictionary().FindTableByName(CodePage(QString::fromStdString(w[1])));
      if (table == nullptr) return fail("no table " + w[1]);
      window.OpenTableView(table->file_id);
    } else if (w[0] == "select" && w.size() == 3 && (w[1] == "field" || w[1] == "index")) {
      int row = 0;
      if (view == nullptr) return fail("no table view is active");
      if (!Number(w[2], &row) || row < 1) return fail("a grid row is a number from 1");
      if (w[1] == "field") {
        view->SelectField(row - 1);
      } else {
        view->SelectSegment(row - 1);
      }
    } else if (w[0] == "dialog" && w.size() == 3 && w[1] == "button") {
      script.button = w[2];
    } else if (w[0] == "dialog" && (w.size() == 3 || w.size() == 4) && w[2] == "=") {
      script.fields[w[1]] = w.size() > 3 ? w[3] : std::string();
    } else if (w[0] == "answer" && w.size() == 2) {
      script.answers.push_back(w[1]);
    } else if (w[0] == "file" && w.size() == 2) {
      script.files.push_back(w[1]);
    } else if (w[0] == "text" && w.size() == 2) {
      script.texts.push_back(w[1]);
    } else if (w[0] == "choose" && w.size() == 2) {
      script.choices.push_back(w[1]);
    } else if (w[0] == "print" && w.size() == 5 && w[1] == "grid") {
      int row = 0, col = 0;
      if (view == nullptr) return fail("no table view is active");
      if (!Number(w[3], &row) || !Number(w[4], &col)) return fail("print grid GRID ROW COL");
      QString text = w[2] == "fields" ? view->FieldCell(row, col) : view->IndexCell(row, col);
      std::cout << text.toStdString() << '\n';
    } else if (w[0] == "print" && w.size() == 2 && w[1] == "title") {
      QMdiSubWindow *active =
          view != nullptr ? qobject_cast<QMdiSubWindow *>(view->parentWidget()) : nullptr;
      std::cout << (active != nullptr ? active->windowTitle() : window.windowTitle()).toStdString()
                << '\n';
    } else if (w[0] == "print" && w.size() == 2 && w[1] == "list") {
      QListWidget *list = window.TableList();
      QStringList names;
      for (int i = 0; list != nullptr && i < list->count(); ++i)
        names << list->item(i)->text();
      std::cout << names.join(',').toStdString() << '\n';
    } else if (w[0] == "print" && w.size() == 2 && w[1] == "status") {
      std::cout << window.statusBar()->currentMessage().toStdString() << '\n';
    } else if (w[0] == "print" && w.size() == 2 && w[1] == "modified") {
      std::cout << window.Dictionary().IsModified() << '\n';
    } else if (w[0] == "print" && w.size() == 3 && w[1] == "enabled") {
      QString problem;
      std::cout << (window.Command(QString::fromStdString(w[2]), &problem) != nullptr ? 1 : 0)
                << '\n';
    } else if (w[0] == "screenshot" && w.size() == 2) {
      Settle();
      QWidget *shown = window.Preview() != nullptr ? window.Preview() : &window;
      if (!shown->grab().save(QString::fromStdString(w[1]))) return fail("cannot write " + w[1]);
    } else {
      return fail("unknown statement: " + line);
    }
  }
  Settle();
  return 0;
}

}  // namespace dictedit
