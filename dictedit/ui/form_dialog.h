// A dialog of labelled fields (line edits, choices, check boxes, radio choices) and buttons,
// read and set by label, so a macro can fill any of the editor's dialogs the same way a
// person does.
#pragma once

#include <QDialog>
#include <QStringList>
#include <functional>
#include <map>
#include <vector>

class QFormLayout;
class QHBoxLayout;
class QListWidget;

namespace dictedit {

class FormDialog : public QDialog {
 public:
  FormDialog(QWidget *parent, const QString &title);
  void AddLine(const QString &label, int max_length = 0);
  void AddChoice(const QString &label, const QStringList &items, bool editable);
  void AddCheck(const QString &label);
  void AddRadios(const QString &label, const QStringList &choices);
  QListWidget *AddList(const QString &label);
  // A button; `pressed` answers whether the dialog closes (false keeps it open, after a
  // refusal or to take the next entry). The first button is the one Enter and macros press.
  void AddButton(const QString &text, std::function<bool()> pressed);
  void AddCancel(const QString &text);

  QString Value(const QString &label) const;
  bool SetValue(const QString &label, const QString &value);
  void SetEnabled(const QString &label, bool enabled);
  QWidget *Field(const QString &label) const;
  // Shown to a person, or filled and pressed by a running macro. True when a button other
  // than the cancel button closed it.
  bool Run();

 private:
  QFormLayout *form_;
  QHBoxLayout *buttons_;
  std::map<QString, QWidget *> fields_;
  std::vector<std::pair<QString, std::function<bool()>>> actions_;
  QString cancel_;
  bool accepted_ = false;
};

}  // namespace dictedit
