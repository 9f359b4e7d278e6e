#include "qt_editor_ui.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QListWidget>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>
#include <iostream>

#include "editor_messages.h"
#include "qt_presenter.h"
#include "script.h"
#include "zplatform/codepage.h"

namespace dictedit {

Script &TheScript() {
  static Script script;
  return script;
}

QString Q(const std::string &code_page) {
  return QString::fromStdString(zplatform::ToUtf8(code_page));
}

std::string CodePage(const QString &text) {
  return zplatform::FromUtf8(text.toStdString());
}

namespace {

std::string Next(std::deque<std::string> &queue) {
  std::string front = queue.empty() ? std::string() : queue.front();
  if (!queue.empty()) queue.pop_front();
  return front;
}

}  // namespace

class QtEditorUi::Presenter : public zplatform::MessagePresenter {
 public:
  Presenter() = default;
  zplatform::MessageAnswer Present(const zplatform::MessageRequest &request) override {
    using zplatform::MessageAnswer;
    using zplatform::MessageButtons;
    std::string text = zplatform::ToUtf8(request.text);
    Script &script = TheScript();
    bool question = request.buttons != MessageButtons::kOk;
    if (script.active) {
      script.last_message = text;
      std::cout << "message " << text << '\n';
      if (!question) return MessageAnswer::kOk;
      std::string answer = Next(script.answers);
      if (answer == "Cancel") return MessageAnswer::kCancel;
      if (answer == "No") return MessageAnswer::kNo;
      if (answer == "Yes") return MessageAnswer::kYes;
      return request.buttons == MessageButtons::kYesNo ? MessageAnswer::kYes : MessageAnswer::kOk;
    }
    return boxes_.Present(request);
  }
  void Beep() override { boxes_.Beep(); }

 private:
  zplatform::QtPresenter boxes_;  // for a person
};

QtEditorUi::QtEditorUi(QMainWindow *window)
    : window_(window), presenter_(std::make_shared<Presenter>()) {
  previous_ = zplatform::MessageService::Instance().SetPresenter(presenter_);
}

QtEditorUi::~QtEditorUi() {
  zplatform::MessageService::Instance().SetPresenter(previous_);
}

void *QtEditorUi::MessageOwner() {
  return window_;
}

bool QtEditorUi::InCodePage(const QString &chosen, bool path, std::string *code_page) {
  // A name with a character the code page lacks would be used with "?" in its place (a form
  // written as "?.frm"): refused, as if the dialog was cancelled. A path must also read back
  // as itself, or it would name another file.
  const std::string utf8 = chosen.toStdString();
  if (path ? zplatform::FromUtf8Exactly(utf8, code_page)
           : zplatform::FromUtf8Holds(utf8, code_page))
    return true;
  ShowMessage(*this, false, msg::kOutsideCodePage, code_page->c_str());
  return false;
}

bool QtEditorUi::ChooseFile(bool save, const std::string &title, const std::string &filter,
                            std::string *name) {
  Script &script = TheScript();
  if (script.active) {
    std::string chosen = Next(script.files);
    return !chosen.empty() && InCodePage(QString::fromStdString(chosen), true, name);
  }
  // "Text (*.txt)|*.txt" becomes Qt's "Text (*.txt)".
  QString qt_filter = Q(filter).section('|', 0, 0);
  QString chosen = save ? QFileDialog::getSaveFileName(window_, Q(title), Q(*name), qt_filter)
                        : QFileDialog::getOpenFileName(window_, Q(title), Q(*name), qt_filter);
  if (chosen.isEmpty()) return false;
  return InCodePage(chosen, true, name);
}

bool QtEditorUi::ChooseDirectory(bool must_exist, const QString &title, const QString &proposed,
                                 std::string *directory) {
  Script &script = TheScript();
  QString chosen;
  if (script.active) {
    chosen = QString::fromStdString(Next(script.files));
  } else if (must_exist) {
    chosen = QFileDialog::getOpenFileName(window_, title, QString(), "DDF (*.ddf *.DDF)");
  } else {
    chosen = QFileDialog::getSaveFileName(window_, title, proposed, "DDF (*.ddf *.DDF)", nullptr,
                                          QFileDialog::DontConfirmOverwrite);
  }
  if (chosen.isEmpty()) return false;
  QFileInfo info(chosen);
  // A directory named as such stands for itself; a file for the directory it is in.
  return InCodePage(info.isDir() ? info.absoluteFilePath() : info.absolutePath(), true, directory);
}

int QtEditorUi::ChooseOne(const std::string &title, const std::vector<std::string> &entries) {
  QStringList items;
  for (const std::string &entry : entries)
    items << Q(entry);
  Script &script = TheScript();
  if (script.active) {
    std::string chosen = Next(script.choices);
    return chosen.empty() ? (items.isEmpty() ? -1 : 0)
                          : static_cast<int>(items.indexOf(QString::fromStdString(chosen)));
  }
  bool ok = false;
  QString chosen = QInputDialog::getItem(window_, Q(title), Q(title), items, 0, false, &ok);
  return ok ? static_cast<int>(items.indexOf(chosen)) : -1;
}

bool QtEditorUi::ChooseSeveral(const std::string &title, const std::vector<std::string> &entries,
                               std::vector<int> *chosen) {
  Script &script = TheScript();
  if (script.active) {
    // The queued entries, or every entry when none is queued.
    for (size_t i = 0; i < entries.size(); ++i) {
      QString entry = Q(entries[i]);
      bool wanted = script.choices.empty();
      for (const std::string &c : script.choices)
        wanted = wanted || entry.contains(QString::fromStdString(c));
      if (wanted) chosen->push_back(static_cast<int>(i));
    }
    script.choices.clear();
    return !chosen->empty();
  }
  QDialog dialog(window_);
  dialog.setWindowTitle(Q(title));
  auto *list = new QListWidget(&dialog);
  list->setSelectionMode(QAbstractItemView::ExtendedSelection);
  for (const std::string &entry : entries)
    list->addItem(Q(entry));
  auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  // OK only while something is chosen.
  buttons->button(QDialogButtonBox::Ok)->setEnabled(false);
  QObject::connect(list, &QListWidget::itemSelectionChanged, [list, buttons] {
    buttons->button(QDialogButtonBox::Ok)->setEnabled(!list->selectedItems().isEmpty());
  });
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  auto *layout = new QVBoxLayout(&dialog);
  layout->addWidget(list);
  layout->addWidget(buttons);
  if (dialog.exec() != QDialog::Accepted) return false;
  for (int i = 0; i < list->count(); ++i) {
    if (list->item(i)->isSelected()) chosen->push_back(i);
  }
  return !chosen->empty();
}

bool QtEditorUi::AskText(const std::string &title, std::string *text) {
  Script &script = TheScript();
  if (script.active) {
    return !script.texts.empty() &&
           InCodePage(QString::fromStdString(Next(script.texts)), false, text);
  }
  bool ok = false;
  QString answer =
      QInputDialog::getText(window_, Q(title), Q(title), QLineEdit::Normal, Q(*text), &ok);
  return ok && InCodePage(answer, false, text);
}

void QtEditorUi::StatusText(const std::string &text) {
  window_->statusBar()->showMessage(Q(text));
}

void QtEditorUi::WaitCursor(bool on) {
  if (on) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
  } else {
    QApplication::restoreOverrideCursor();
  }
}

}  // namespace dictedit
