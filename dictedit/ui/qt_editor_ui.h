// The editor's questions in Qt dialogs (or answered by a running macro), and its messages in
// message boxes.
#pragma once

#include <QString>
#include <memory>

#include "editor_ui.h"
#include "zplatform/messages.h"

class QMainWindow;

namespace dictedit {

class QtEditorUi : public EditorUi {
 public:
  explicit QtEditorUi(QMainWindow *window);
  ~QtEditorUi() override;
  void *MessageOwner() override;
  bool ChooseFile(bool save, const std::string &title, const std::string &filter,
                  std::string *name) override;
  int ChooseOne(const std::string &title, const std::vector<std::string> &entries) override;
  bool ChooseSeveral(const std::string &title, const std::vector<std::string> &entries,
                     std::vector<int> *chosen) override;
  bool AskText(const std::string &title, std::string *text) override;
  void StatusText(const std::string &text) override;
  void WaitCursor(bool on) override;
  // A directory chosen by picking a file in it (New DDF, Open DDF).
  bool ChooseDirectory(bool must_exist, const QString &title, const QString &proposed,
                       std::string *directory);

 private:
  class Presenter;
  // `chosen` in the code page; false, said, when it has a character the code page lacks (a
  // path: one that would not read back as itself).
  bool InCodePage(const QString &chosen, bool path, std::string *code_page);
  QMainWindow *window_;
  std::shared_ptr<Presenter> presenter_;
  std::shared_ptr<zplatform::MessagePresenter> previous_;
};

// Code-page text to a QString and back.
QString Q(const std::string &code_page);
std::string CodePage(const QString &text);

}  // namespace dictedit
