// The editor's main window: the table list and the table views as child windows over the one
// dictionary, the menus (a short one without a dictionary, the full one with it), toolbar and
// status bar, and every command with its preconditions.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "ddf_dictionary.h"
#include "editing.h"

class QAction;
class QListWidget;
class QMdiArea;
class QMdiSubWindow;
class QToolBar;

namespace dictedit {

class QtEditorUi;
class TableView;

class MainWindow : public QMainWindow {
 public:
  MainWindow();
  ~MainWindow() override;
  DdfDictionary &Dictionary() { return *dict_; }
  // Opens the dictionary in `directory` as Open DDF does after its file dialog.
  bool OpenDirectory(const std::string &code_page_directory);
  // The command of a menu text ("保存", or "インデックス/追加" where the text is not unique);
  // nullptr when none is offered now.
  QAction *Command(const QString &text, QString *problem);
  TableView *ActiveView() const;
  QListWidget *TableList() const { return table_list_; }
  void OpenTableView(int file_id);
  int OpenState() const { return open_state_; }
  // The print preview last opened, while it is.
  QWidget *Preview() const { return preview_; }

 protected:
  void closeEvent(QCloseEvent *event) override;

 private:
  struct Entry {
    QString menu, text;
    QAction *action;
  };
  void BuildMenus();
  QAction *Add(QMenu *menu, const QString &text, void (MainWindow::*command)(),
               std::function<bool()> enabled, const QKeySequence &shortcut = QKeySequence());
  void UpdateCommands();
  TableView *ViewOf(int file_id) const;
  DdfTable *CurrentTable();
  void Refresh();
  void ShowTableList();
  void FillTableList();

  // The commands.
  void NewDdf();
  void OpenDdf();
  void NewTable();
  void CloseTable();
  void DeleteTableCommand();
  void ImportTable();
  void ExportTable();
  void Save();
  void Print();
  void PrintPreview();
  void PrinterSetup();
  void CloseAll();
  void Exit();
  void AddFieldCommand();
  void InsertField();
  void ModifyField();
  void DeleteFieldCommand();
  void CutField();
  void CopyField();
  void PasteField();
  void AddIndexCommand();
  void InsertIndex();
  void ModifyIndex();
  void DeleteIndexCommand();
  void SetIndexNameCommand();
  void DeleteIndexNameCommand();
  void BtrieveFileInfo();
  void CreateFiles();
  void FieldIdList();
  void CreateFormCommand();
  void DbMagicImport();
  void Options();
  void About();

  bool FieldDialog(int mode, int field);  // 0 add, 1 insert, 2 modify
  bool IndexDialog(int mode, int segment);
  bool NeedView();
  // The field of the current field row; -1 after VE1008 (none) or VE1055 (a named index).
  int ChosenField();
  // The segment of the current index row; -1 after VE1014.
  int ChosenSegment();
  // True after VE1074 when data conversion applies to the current table (or there is none).
  bool ConversionRefuses();

  std::unique_ptr<QtEditorUi> ui_;
  std::unique_ptr<DdfDictionary> dict_;
  QMdiArea *area_;
  QMdiSubWindow *list_window_ = nullptr;
  QListWidget *table_list_ = nullptr;
  QToolBar *toolbar_ = nullptr;
  std::vector<Entry> entries_;
  std::map<QAction *, std::function<bool()>> enabled_;
  int open_state_ = 0;
  std::vector<SegmentSpec> pending_;
  QPointer<QWidget> preview_;  // a key's segments waiting for its last one
};

}  // namespace dictedit
