#include "main_window.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolBar>
#include <QVBoxLayout>
#include <ctime>

#include "btrieve/btrapi.h"
#include "btrieve_files.h"
#include "editor_commands.h"
#include "editor_messages.h"
#include "form_dialog.h"
#include "listing.h"
#include "listing_printer.h"
#include "qt_editor_ui.h"
#include "script.h"
#include "table_view.h"
#include "text_transfer.h"
#include "view_grids.h"
#include "zplatform/codepage.h"
#include "zplatform/paths.h"

namespace dictedit {

namespace {

// The menu text without its mnemonic: "保存(&S)" reads "保存".
QString Plain(QString text) {
  int mark = text.indexOf("(&");
  if (mark >= 0) text.truncate(mark);
  return text.remove('&');
}

QPrinter &Printer() {
  static QPrinter printer(QPrinter::HighResolution);
  return printer;
}

std::tm Today() {
  std::time_t now = std::time(nullptr);
  std::tm today{};
  localtime_r(&now, &today);
  return today;
}

const int kFixedSizeTypes[] = {3, 4};

}  // namespace

MainWindow::MainWindow() {
  setWindowTitle(QStringLiteral("dictedit"));
  ui_ = std::make_unique<QtEditorUi>(this);
  dict_ = std::make_unique<DdfDictionary>(*ui_);
  dict_->options = LoadOptions();
  area_ = new QMdiArea(this);
  setCentralWidget(area_);
  connect(area_, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow *window) {
    // The active table view's table is the current table; the list makes none current.
    auto *view = window != nullptr ? dynamic_cast<TableView *>(window->widget()) : nullptr;
    dict_->current_file_id = view != nullptr ? view->FileId() : -1;
    UpdateCommands();
  });
  statusBar()->showMessage(QStringLiteral("レディ"));
  BuildMenus();
}

MainWindow::~MainWindow() {
  // The child windows go while the dictionary is still here, and without telling us.
  QObject::disconnect(area_, nullptr, this, nullptr);
  for (QMdiSubWindow *window : area_->subWindowList()) {
    if (window->widget() != nullptr) QObject::disconnect(window->widget(), nullptr, this, nullptr);
  }
  delete area_;
}

QAction *MainWindow::Add(QMenu *menu, const QString &text, void (MainWindow::*command)(),
                         std::function<bool()> enabled, const QKeySequence &shortcut) {
  QAction *action = menu->addAction(text);
  if (!shortcut.isEmpty()) action->setShortcut(shortcut);
  connect(action, &QAction::triggered, this, [this, command] {
    (this->*command)();
    UpdateCommands();
  });
  entries_.push_back(Entry{Plain(menu->title()), Plain(text), action});
  if (enabled) enabled_[action] = std::move(enabled);
  return action;
}

void MainWindow::BuildMenus() {
  menuBar()->clear();
  entries_.clear();
  enabled_.clear();
  if (toolbar_ == nullptr) {
    toolbar_ = addToolBar(QStringLiteral("ﾂｰﾙﾊﾞｰ"));
  }
  toolbar_->clear();
  bool open = open_state_ != 0;
  auto has_view = [this] { return ActiveView() != nullptr; };
  auto has_table = [this] { return CurrentTable() != nullptr; };
  QMenu *file = menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
  if (!open) {
    toolbar_->addAction(Add(file, QStringLiteral("新規DDFの作成(&N)"), &MainWindow::NewDdf, {}));
    toolbar_->addAction(Add(file, QStringLiteral("既存DDFのｵｰﾌﾟﾝ(&O)"), &MainWindow::OpenDdf, {}));
    file->addSeparator();
    Add(file, QStringLiteral("ﾌﾟﾘﾝﾀの設定(&R)"), &MainWindow::PrinterSetup, {});
    file->addSeparator();
    Add(file, QStringLiteral("終了(&X)"), &MainWindow::Exit, {});
  } else {
    toolbar_->addAction(Add(file, QStringLiteral("新規ﾃｰﾌﾞﾙ(&N)"), &MainWindow::NewTable, {}));
    Add(file, QStringLiteral("ﾃｰﾌﾞﾙのｸﾛｰｽﾞ(&C)"), &MainWindow::CloseTable,
        [this, has_view] { return !dict_->options.openwin_at_read && has_view(); });
    Add(file, QStringLiteral("ﾃｰﾌﾞﾙの削除(&D)"), &MainWindow::DeleteTableCommand, {});
    file->addSeparator();
    Add(file, QStringLiteral("ﾃｰﾌﾞﾙの搬入(&I)"), &MainWindow::ImportTable, {});
    Add(file, QStringLiteral("ﾃｰﾌﾞﾙの搬出(&T)"), &MainWindow::ExportTable, has_table);
    file->addSeparator();
    toolbar_->addAction(Add(
        file, QStringLiteral("保存(&S)"), &MainWindow::Save,
        [this] { return dict_->IsModified() != 0; }, QKeySequence::Save));
    file->addSeparator();
    toolbar_->addAction(
        Add(file, QStringLiteral("印刷(&P)"), &MainWindow::Print, has_view, QKeySequence::Print));
    Add(file, QStringLiteral("印刷ﾌﾟﾚﾋﾞｭｰ(&V)"), &MainWindow::PrintPreview, has_view);
    Add(file, QStringLiteral("ﾌﾟﾘﾝﾀの設定(&R)"), &MainWindow::PrinterSetup, {});
    file->addSeparator();
    Add(file, QStringLiteral("DDFのｸﾛｰｽﾞ(&K)"), &MainWindow::CloseAll, {});
    Add(file, QStringLiteral("終了(&X)"), &MainWindow::Exit, {});
    QMenu *field = menuBar()->addMenu(QStringLiteral("フィールド(&L)"));
    toolbar_->addSeparator();
    toolbar_->addAction(Add(field, QStringLiteral("追加(&A)"), &MainWindow::AddFieldCommand,
                            has_view, QKeySequence(Qt::CTRL | Qt::Key_A)));
    Add(field, QStringLiteral("挿入(&I)"), &MainWindow::InsertField, has_view);
    Add(field, QStringLiteral("修正(&M)"), &MainWindow::ModifyField, has_view);
    Add(field, QStringLiteral("削除(&D)"), &MainWindow::DeleteFieldCommand, has_view);
    field->addSeparator();
    Add(field, QStringLiteral("切り取り(&T)"), &MainWindow::CutField, has_view,
        QKeySequence(Qt::CTRL | Qt::Key_X));
    Add(
        field, QStringLiteral("ｺﾋﾟｰ(&C)"), &MainWindow::CopyField,
        [this, has_view] {
          DdfTable *table = CurrentTable();
          return has_view() && table != nullptr && !DataConversionApplies(*dict_, *table);
        },
        QKeySequence(Qt::CTRL | Qt::Key_C));
    Add(field, QStringLiteral("張り付け(&P)"), &MainWindow::PasteField, has_view,
        QKeySequence(Qt::CTRL | Qt::Key_V));
    QMenu *index = menuBar()->addMenu(QStringLiteral("インデックス(&X)"));
    toolbar_->addAction(Add(index, QStringLiteral("追加(&A)"), &MainWindow::AddIndexCommand,
                            has_table, QKeySequence(Qt::CTRL | Qt::Key_I)));
    Add(index, QStringLiteral("挿入(&I)"), &MainWindow::InsertIndex, has_view);
    Add(index, QStringLiteral("修正(&M)"), &MainWindow::ModifyIndex, has_view);
    Add(index, QStringLiteral("削除(&D)"), &MainWindow::DeleteIndexCommand, has_view);
    index->addSeparator();
    auto named = [this](bool wanted) {
      TableView *view = ActiveView();
      DdfTable *table = CurrentTable();
      if (view == nullptr || table == nullptr) return false;
      int segment = view->SelectedSegment();
      if (segment < 0) return false;
      bool has_name = !view->IndexCell(segment + 1, 2).isEmpty();
      return wanted ? has_name : !has_name && KeySegments(*table, segment).first == segment;
    };
    Add(index, QStringLiteral("ｲﾝﾃﾞｯｸｽ名を追加(&N)"), &MainWindow::SetIndexNameCommand,
        [named] { return named(false); });
    Add(index, QStringLiteral("ｲﾝﾃﾞｯｸｽ名を削除"), &MainWindow::DeleteIndexNameCommand,
        [named] { return named(true); });
    QMenu *tools = menuBar()->addMenu(QStringLiteral("ツール(&T)"));
    Add(tools, QStringLiteral("BTRIEVEﾌｧｲﾙ情報(&B)"), &MainWindow::BtrieveFileInfo, has_view);
    Add(tools, QStringLiteral("BTRIEVEﾃﾞｰﾀ･ﾌｧｲﾙ生成(&C)"), &MainWindow::CreateFiles, {});
    tools->addSeparator();
    Add(tools, QStringLiteral("ﾌｨｰﾙﾄﾞIDﾘｽﾄ(&I)"), &MainWindow::FieldIdList, {});
    Add(tools, QStringLiteral("ﾌｫｰﾑの生成(&F)"), &MainWindow::CreateFormCommand, has_table);
    Add(tools, QStringLiteral("dbMagicﾌｧｲﾙ搬入(&D)"), &MainWindow::DbMagicImport, {});
    tools->addSeparator();
    Add(tools, QStringLiteral("ｼｽﾃﾑ･ｵﾌﾟｼｮﾝ設定(&O)"), &MainWindow::Options, {});
  }
  QMenu *view = menuBar()->addMenu(QStringLiteral("表示(&V)"));
  QAction *bar = view->addAction(QStringLiteral("ﾂｰﾙﾊﾞｰ(&T)"));
  bar->setCheckable(true);
  bar->setChecked(toolbar_->isVisible() || !isVisible());
  connect(bar, &QAction::toggled, toolbar_, &QToolBar::setVisible);
  QAction *status = view->addAction(QStringLiteral("ｽﾃｰﾀｽ ﾊﾞｰ(&S)"));
  status->setCheckable(true);
  status->setChecked(true);
  connect(status, &QAction::toggled, statusBar(), &QStatusBar::setVisible);
  if (open) {
    QMenu *windows = menuBar()->addMenu(QStringLiteral("ウィンドウ(&W)"));
    windows->addAction(QStringLiteral("重ねて表示(&C)"), area_, &QMdiArea::cascadeSubWindows);
    windows->addAction(QStringLiteral("並べて表示(&T)"), area_, &QMdiArea::tileSubWindows);
  }
  QMenu *help = menuBar()->addMenu(QStringLiteral("ヘルプ(&H)"));
  Add(help, QStringLiteral("バージョン情報(&A)"), &MainWindow::About, {});
  UpdateCommands();
}

void MainWindow::UpdateCommands() {
  for (auto &[action, enabled] : enabled_)
    action->setEnabled(enabled());
  QString title = QStringLiteral("dictedit");
  if (open_state_ != 0)
    title += " - " + Q(dict_->ddf_directory) + (dict_->IsModified() ? " *" : "");
  setWindowTitle(title);
}

QAction *MainWindow::Command(const QString &text, QString *problem) {
  QString menu, item = text;
  if (text.contains('/')) {
    menu = text.section('/', 0, 0);
    item = text.section('/', 1);
  }
  UpdateCommands();
  std::vector<QAction *> found;
  for (const Entry &entry : entries_) {
    if (entry.text == item && (menu.isEmpty() || entry.menu == menu)) found.push_back(entry.action);
  }
  if (found.empty()) {
    *problem = "no menu command " + text + " now";
  } else if (found.size() > 1) {
    *problem = "menu command " + text + " is in several menus; name the menu: MENU/" + item;
  } else if (!found[0]->isEnabled()) {
    *problem = "menu command " + text + " is disabled now";
  } else {
    return found[0];
  }
  return nullptr;
}

TableView *MainWindow::ActiveView() const {
  QMdiSubWindow *window = area_->activeSubWindow();
  return window != nullptr ? dynamic_cast<TableView *>(window->widget()) : nullptr;
}

TableView *MainWindow::ViewOf(int file_id) const {
  for (QMdiSubWindow *window : area_->subWindowList()) {
    auto *view = dynamic_cast<TableView *>(window->widget());
    if (view != nullptr && view->FileId() == file_id) return view;
  }
  return nullptr;
}

DdfTable *MainWindow::CurrentTable() {
  return ActiveView() != nullptr ? dict_->CurrentTable() : nullptr;
}

void MainWindow::Refresh() {
  if (TableView *view = ActiveView()) {
    int field = view->SelectedField(), segment = view->SelectedSegment();
    view->Refill();
    if (field >= 0) view->SelectField(field);
    if (segment >= 0) view->SelectSegment(segment);
  }
  UpdateCommands();
}

void MainWindow::OpenTableView(int file_id) {
  if (TableView *open = ViewOf(file_id)) {
    area_->setActiveSubWindow(qobject_cast<QMdiSubWindow *>(open->parentWidget()));
    return;
  }
  auto *view = new TableView(*dict_, file_id, nullptr);
  view->setAttribute(Qt::WA_DeleteOnClose);
  view->on_field_double_click = [this] { ModifyField(); };
  view->on_index_double_click = [this] { ModifyIndex(); };
  QMdiSubWindow *window = area_->addSubWindow(view);
  window->resize(640, 520);
  if (dict_->options.openwin_at_read) {
    // Table views stay open: no close command in their window menu.
    window->setWindowFlags(window->windowFlags() & ~Qt::WindowCloseButtonHint);
    window->systemMenu()->actions().last()->setVisible(false);
  }
  connect(view, &QObject::destroyed, this, [this, file_id] {
    // A closed view's table goes back into the list (at its end).
    DdfTable *table = dict_->FindTableById(file_id);
    if (table_list_ != nullptr && table != nullptr && !dict_->options.openwin_at_read)
      table_list_->addItem(Q(UpperCodePage(table->name)));
    UpdateCommands();
  });
  if (table_list_ != nullptr) {
    DdfTable *table = dict_->FindTableById(file_id);
    for (auto *item :
         table_list_->findItems(Q(table != nullptr ? table->name : ""), Qt::MatchExactly))
      delete item;
  }
  window->show();
  area_->setActiveSubWindow(window);
  dict_->current_file_id = file_id;
}

void MainWindow::ShowTableList() {
  if (list_window_ != nullptr) return;
  auto *box = new QWidget();
  box->setWindowTitle(QStringLiteral("ﾃｰﾌﾞﾙ･ﾘｽﾄ"));
  auto *layout = new QVBoxLayout(box);
  table_list_ = new QListWidget(box);
  layout->addWidget(table_list_);
  auto *buttons = new QHBoxLayout();
  auto *open = new QPushButton(QStringLiteral("開く"), box);
  auto *create = new QPushButton(QStringLiteral("新規ﾃｰﾌﾞﾙ"), box);
  buttons->addWidget(open);
  buttons->addWidget(create);
  layout->addLayout(buttons);
  auto open_chosen = [this] {
    QListWidgetItem *item = table_list_->currentItem();
    if (item == nullptr) return;
    DdfTable *table = dict_->FindTableByName(CodePage(item->text()));
    if (table != nullptr) OpenTableView(table->file_id);
    UpdateCommands();
  };
  connect(open, &QPushButton::clicked, this, open_chosen);
  connect(table_list_, &QListWidget::itemDoubleClicked, this, open_chosen);
  connect(create, &QPushButton::clicked, this, [this] {
    NewTable();
    UpdateCommands();
  });
  list_window_ = area_->addSubWindow(box);
  list_window_->setWindowFlags(list_window_->windowFlags() & ~Qt::WindowCloseButtonHint);
  list_window_->resize(260, 360);
  connect(box, &QObject::destroyed, this, [this] {
    list_window_ = nullptr;
    table_list_ = nullptr;
  });
  FillTableList();
  list_window_->show();
}

void MainWindow::FillTableList() {
  if (table_list_ == nullptr) return;
  table_list_->clear();
  for (const auto &table : dict_->tables) {
    if (ViewOf(table->file_id) == nullptr) table_list_->addItem(Q(table->name));
  }
}

bool MainWindow::OpenDirectory(const std::string &directory) {
  if (open_state_ != 0 && !dict_->OfferSave(true)) return false;
  area_->closeAllSubWindows();
  dict_->ClearDictionary();
  dict_->ddf_directory = zplatform::ShortPathName(directory).value_or(directory);
  if (dict_->LoadDictionary() != 0) {
    dict_->ClearDictionary();
    open_state_ = 0;
    BuildMenus();
    return false;
  }
  open_state_ = 2;
  BuildMenus();
  ShowTableList();
  if (dict_->options.openwin_at_read) {
    int opened = 0;
    // Painted once, when all are open: each pass of the event loop painted every view open.
    area_->setUpdatesEnabled(false);
    for (const auto &table : dict_->tables) {
      OpenTableView(table->file_id);
      // Each view leaves timers of its grids' delayed layout until the event loop runs, and
      // every timer started or stopped looks through all of them: 500 views took 10 s.
      if (++opened % 16 == 0) QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    area_->tileSubWindows();
    area_->setUpdatesEnabled(true);
  }
  UpdateCommands();
  return true;
}

bool MainWindow::NeedView() {
  if (ActiveView() != nullptr && CurrentTable() != nullptr) return true;
  ShowText(*ui_, false, msg::kVE1009);
  return false;
}

// The commands.

void MainWindow::NewDdf() {
  std::string directory;
  if (!ui_->ChooseDirectory(false, QStringLiteral("新規DDFﾃﾞｨﾚｸﾄﾘの指定"),
                            QStringLiteral("file.ddf"), &directory) ||
      directory.empty()) {
    ShowText(*ui_, false, msg::kVE1000);
    return;
  }
  // A dictionary already there (or on the server that keeps the directory) is opened, never
  // replaced by an empty one.
  if (btrieve::FileIsThere((directory + "/FILE.DDF").c_str())) {
    ShowMessage(*ui_, false, "%s には既にDDFがあります。既存DDFのｵｰﾌﾟﾝで開いてください。",
                directory.c_str());
    return;
  }
  dict_->ClearDictionary();
  dict_->ddf_directory = zplatform::ShortPathName(directory).value_or(directory);
  open_state_ = 2;
  BuildMenus();
  ShowTableList();
  NewTable();
  if (dict_->tables.empty()) {
    // Cancelled: nothing is open.
    area_->closeAllSubWindows();
    dict_->ClearDictionary();
    open_state_ = 0;
    BuildMenus();
  }
}

void MainWindow::OpenDdf() {
  std::string directory;
  if (!ui_->ChooseDirectory(true, QStringLiteral("DDFﾌｧｲﾙのｵｰﾌﾟﾝ"), QString(), &directory)) return;
  OpenDirectory(directory);
}

void MainWindow::NewTable() {
  FormDialog dialog(this, QStringLiteral("テーブル情報の入力"));
  dialog.AddLine(QStringLiteral("テーブル名"), 20);
  dialog.AddLine(QStringLiteral("BTRIEVEファイル名"), 64);
  DdfTable *made = nullptr;
  dialog.AddButton(QStringLiteral("OK"), [&] {
    made = AddTable(*dict_, CodePage(dialog.Value(QStringLiteral("テーブル名"))),
                    CodePage(dialog.Value(QStringLiteral("BTRIEVEファイル名"))));
    return made != nullptr;
  });
  dialog.AddCancel(QStringLiteral("ｷｬﾝｾﾙ"));
  if (!dialog.Run() || made == nullptr) return;
  open_state_ = 1;
  OpenTableView(made->file_id);
}

void MainWindow::CloseTable() {
  if (QMdiSubWindow *window = area_->activeSubWindow();
      window != nullptr && dynamic_cast<TableView *>(window->widget()) != nullptr)
    window->close();
}

void MainWindow::DeleteTableCommand() {
  DdfTable *table = CurrentTable();
  if (table == nullptr) {
    ShowText(*ui_, false, msg::kVE1009);
    return;
  }
  if (!ShowMessage(*ui_, true, msg::kVE1037, table->name.c_str())) return;
  TableView *view = ViewOf(table->file_id);
  if (!DeleteTable(*dict_, *table)) return;
  if (view != nullptr) {
    view->parentWidget()->setWindowFlags(view->parentWidget()->windowFlags() |
                                         Qt::WindowCloseButtonHint);
    delete view->parentWidget();
  }
}

void MainWindow::ImportTable() {
  size_t before = dict_->tables.size();
  if (ImportTableCommand(*dict_) == 0 && dict_->tables.size() > before)
    OpenTableView(dict_->tables.back()->file_id);
}

void MainWindow::ExportTable() {
  ExportTableCommand(*dict_);
}

void MainWindow::Save() {
  if (dict_->FullSave() == 0) {
    open_state_ = 2;
    return;
  }
  // A table the save refused was made current: its view comes forward to be put right.
  if (dict_->FindTableById(dict_->current_file_id) != nullptr)
    OpenTableView(dict_->current_file_id);
}

void MainWindow::Print() {
  if (!CanList(*dict_, CurrentTable())) return;
  Script &script = TheScript();
  if (script.active) {
    // A macro prints into the PDF file it names.
    if (script.files.empty()) return;
    Printer().setOutputFormat(QPrinter::PdfFormat);
    Printer().setOutputFileName(QString::fromStdString(script.files.front()));
    script.files.pop_front();
    QPainter painter(&Printer());
    PaintListing(painter, Printer(), *CurrentTable(), dict_->options, Today());
    return;
  }
  QPrintDialog dialog(&Printer(), this);
  if (dialog.exec() != QDialog::Accepted) return;
  QPainter painter(&Printer());
  PaintListing(painter, Printer(), *CurrentTable(), dict_->options, Today());
}

void MainWindow::PrintPreview() {
  if (!CanList(*dict_, CurrentTable())) return;
  auto *preview = new QPrintPreviewDialog(&Printer(), this);
  preview->setAttribute(Qt::WA_DeleteOnClose);
  preview->setWindowTitle(QStringLiteral("ﾃｰﾌﾞﾙ定義の印刷をﾌﾟﾚﾋﾞｭｰします"));
  int file_id = dict_->current_file_id;
  connect(preview, &QPrintPreviewDialog::paintRequested, this, [this, file_id](QPrinter *printer) {
    DdfTable *table = dict_->FindTableById(file_id);
    if (table == nullptr) {
      ShowText(*ui_, false, msg::kVE1008);
      return;
    }
    QPainter painter(printer);
    PaintListing(painter, *printer, *table, dict_->options, Today());
  });
  preview_ = preview;
  if (TheScript().active) {
    // A macro looks at it (screenshot) and goes on; it closes with the program.
    preview->resize(800, 900);
    preview->show();
    return;
  }
  preview->exec();
}

void MainWindow::PrinterSetup() {
  if (TheScript().active) return;
  QPageSetupDialog dialog(&Printer(), this);
  dialog.exec();
}

void MainWindow::CloseAll() {
  if (!dict_->OfferSave(true)) return;
  area_->closeAllSubWindows();
  for (QMdiSubWindow *window : area_->subWindowList())
    delete window;
  dict_->ClearDictionary();
  open_state_ = 0;
  BuildMenus();
}

void MainWindow::Exit() {
  close();
}

void MainWindow::closeEvent(QCloseEvent *event) {
  if (open_state_ != 0 && !dict_->OfferSave(false)) {
    event->ignore();
    return;
  }
  event->accept();
}

bool MainWindow::FieldDialog(int mode, int at) {
  DdfTable *table = CurrentTable();
  if (table == nullptr) return false;
  FormDialog dialog(this, QStringLiteral("フィールド設定"));
  QStringList types;
  for (int code = 0; code <= 15; ++code)
    types << QString::fromUtf8(TypeNameOfCode(code));
  const QString name = QStringLiteral("フィールド名"), type = QStringLiteral("データ型"),
                size = QStringLiteral("サイズ"), decimals = QStringLiteral("小数点以下桁数");
  dialog.AddLine(name, 20);
  dialog.AddChoice(type, types, false);
  dialog.AddLine(size);
  dialog.AddLine(decimals);
  auto *types_box = static_cast<QComboBox *>(dialog.Field(type));
  auto typed = [&dialog, types_box, size, decimals](int code) {
    static const int kOffered[16] = {0, 0, 8, 4, 4, 8, 8, 1, 0, 8, 0, 0, 0, 0, 0, 0};
    if (kOffered[code] > 0) dialog.SetValue(size, QString::number(kOffered[code]));
    bool fixed = std::find(std::begin(kFixedSizeTypes), std::end(kFixedSizeTypes), code) !=
                 std::end(kFixedSizeTypes);
    dialog.SetEnabled(size, !fixed);
    bool has_decimals = code == 5 || code == 6 || code == 8;
    if (!has_decimals) dialog.SetValue(decimals, QString());
    dialog.SetEnabled(decimals, has_decimals);
  };
  connect(types_box, &QComboBox::currentIndexChanged, &dialog, typed);
  if (mode == 2) {
    const DdfField &field = *table->fields[static_cast<size_t>(at)];
    dialog.SetValue(name, Q(field.name));
    types_box->setCurrentIndex(field.data_type);
    typed(field.data_type);
    dialog.SetEnabled(size, true);
    dialog.SetValue(size, QString::number(field.size));
    dialog.SetEnabled(size, field.data_type != 3 && field.data_type != 4);
    if (field.decimals != 0) dialog.SetValue(decimals, QString::number(field.decimals));
  } else {
    typed(0);
  }
  // A size or decimals that is not a number is refused as a size the type does not take.
  auto apply = [&]() -> bool {
    bool size_ok = false, decimals_ok = true;
    int size_value = dialog.Value(size).trimmed().toInt(&size_ok);
    int decimals_value = 0;
    if (!dialog.Value(decimals).trimmed().isEmpty())
      decimals_value = dialog.Value(decimals).trimmed().toInt(&decimals_ok);
    if (!size_ok || !decimals_ok) size_value = 0;
    std::string field_name = CodePage(dialog.Value(name));
    int code = types_box->currentIndex();
    if (mode == 2)
      return ChangeField(*dict_, *table, at, field_name, code, size_value, decimals_value);
    return AddField(*dict_, *table, field_name, code, size_value, decimals_value,
                    mode == 1 ? at : -1);
  };
  bool any = false;
  dialog.AddButton(QStringLiteral("登録"), [&] { return any = apply(); });
  if (mode != 2) {
    dialog.AddButton(QStringLiteral("登録・継続"), [&] {
      if (apply()) {
        any = true;
        if (mode == 1) ++at;  // the next goes after the one just put in
        dialog.SetValue(name, QString());
        Refresh();
      }
      return false;
    });
  }
  dialog.AddCancel(QStringLiteral("ｷｬﾝｾﾙ"));
  dialog.Run();
  Refresh();
  return any;
}

void MainWindow::AddFieldCommand() {
  if (NeedView()) FieldDialog(0, -1);
}

void MainWindow::InsertField() {
  TableView *view = ActiveView();
  int field = view != nullptr ? view->SelectedField() : -1;
  if (field < 0) {
    ShowText(*ui_, false, msg::kVE1008);
    return;
  }
  FieldDialog(1, std::min(field, CurrentTable()->field_count()));
}

void MainWindow::ModifyField() {
  if (ConversionRefuses()) return;
  int field = ChosenField();
  if (field >= 0) FieldDialog(2, field);
}

void MainWindow::DeleteFieldCommand() {
  TableView *view = ActiveView();
  DdfTable *table = CurrentTable();
  int field = view != nullptr ? view->SelectedField() : -1;
  if (table == nullptr || field < 0) {
    ShowText(*ui_, false, msg::kVE1008);
    return;
  }
  DeleteField(*dict_, *table, CodePage(view->FieldCell(field + 1, 1)));
  Refresh();
}

int MainWindow::ChosenField() {
  TableView *view = ActiveView();
  DdfTable *table = CurrentTable();
  int field = view != nullptr && table != nullptr ? view->SelectedField() : -1;
  if (field < 0) {
    ShowText(*ui_, false, msg::kVE1008);
    return -1;
  }
  if (field >= table->field_count()) {
    ShowText(*ui_, false, msg::kVE1055);  // a named-index row
    return -1;
  }
  return field;
}

void MainWindow::CopyField() {
  int field = ChosenField();
  if (field < 0) return;
  QApplication::clipboard()->setText(
      Q(FieldClipboardText(*CurrentTable()->fields[static_cast<size_t>(field)])));
}

void MainWindow::CutField() {
  int field = ChosenField();
  if (field < 0) return;
  DdfTable *table = CurrentTable();
  std::string text = FieldClipboardText(*table->fields[static_cast<size_t>(field)]);
  if (DeleteField(*dict_, *table, table->fields[static_cast<size_t>(field)]->name))
    QApplication::clipboard()->setText(Q(text));
  Refresh();
}

void MainWindow::PasteField() {
  TableView *view = ActiveView();
  DdfTable *table = CurrentTable();
  if (view == nullptr || table == nullptr) return;
  PasteFieldText(*dict_, *table, CodePage(QApplication::clipboard()->text()),
                 view->SelectedField());
  Refresh();
}

bool MainWindow::IndexDialog(int mode, int segment) {
  DdfTable *table = CurrentTable();
  if (table == nullptr) return false;
  FormDialog dialog(this, QStringLiteral("インデックス設定"));
  QStringList fields;
  for (const auto &field : table->fields)
    fields << Q(field->name);
  const QString field = QStringLiteral("フィールド"), order = QStringLiteral("ソート順"),
                duplicates = QStringLiteral("重複"), null = QStringLiteral("ヌル"),
                modifiable = QStringLiteral("修正可能"), segmented = QStringLiteral("セグメント");
  dialog.AddChoice(field, fields, true);
  static_cast<QComboBox *>(dialog.Field(field))->setCurrentIndex(-1);
  dialog.AddRadios(order, {QStringLiteral("昇順"), QStringLiteral("降順")});
  for (const QString &check : {duplicates, null, modifiable, segmented})
    dialog.AddCheck(check);
  QListWidget *waiting = dialog.AddList(QStringLiteral("セグメント"));
  for (const SegmentSpec &spec : pending_)
    waiting->addItem(Q(spec.field));
  if (mode == 2) {
    const DdfIndexSegment &chosen = *table->segments[static_cast<size_t>(segment)];
    const DdfField *covered = table->FieldById(chosen.field_id);
    dialog.SetValue(field, covered != nullptr ? Q(covered->name) : QString());
    dialog.SetValue(order, (chosen.flags & 0x40) ? QStringLiteral("降順") : QStringLiteral("昇順"));
    dialog.SetValue(duplicates, (chosen.flags & 1) ? "1" : "0");
    dialog.SetValue(modifiable, (chosen.flags & 2) ? "1" : "0");
    dialog.SetValue(null, (chosen.flags & 8) ? "1" : "0");
    dialog.SetValue(segmented, (chosen.flags & kFlagSegmented) ? "1" : "0");
  }
  bool done = false;
  dialog.AddButton(QStringLiteral("OK"), [&] {
    std::string name = CodePage(dialog.Value(field).left(20));
    if (name.empty()) {
      ShowText(*ui_, false, msg::kVE1013);
      return false;
    }
    int flags = 0x100;
    if (dialog.Value(order) == QStringLiteral("降順")) flags |= 0x40;
    if (dialog.Value(duplicates) == "1") flags |= 1;
    if (dialog.Value(null) == "1") flags |= 8;
    if (dialog.Value(modifiable) == "1") flags |= 2;
    if (dialog.Value(segmented) == "1") flags |= kFlagSegmented;
    if (dict_->options.upper_field) name = UpperCodePage(name);
    if (mode == 2) {
      done = ChangeSegment(*dict_, *table, segment, name, flags);
    } else {
      done = AddSegment(*dict_, *table, name, flags, mode == 1 ? segment : -1,
                        mode == 0 ? &pending_ : nullptr);
    }
    return done;
  });
  dialog.AddCancel(QStringLiteral("ｷｬﾝｾﾙ"));
  dialog.Run();
  Refresh();
  return done;
}

void MainWindow::AddIndexCommand() {
  DdfTable *table = CurrentTable();
  if (table == nullptr) {
    ShowText(*ui_, false, msg::kVE1009);
    return;
  }
  if (table->field_count() == 0) {
    ShowText(*ui_, false, msg::kVE1011);
    return;
  }
  IndexDialog(0, -1);
}

int MainWindow::ChosenSegment() {
  TableView *view = ActiveView();
  int segment = view != nullptr ? view->SelectedSegment() : -1;
  if (segment < 0) ShowText(*ui_, false, msg::kVE1014);
  return segment;
}

bool MainWindow::ConversionRefuses() {
  DdfTable *table = CurrentTable();
  if (table == nullptr) return true;
  if (!DataConversionApplies(*dict_, *table)) return false;
  ShowText(*ui_, false, msg::kVE1074);
  return true;
}

void MainWindow::InsertIndex() {
  int segment = ChosenSegment();
  if (segment >= 0) IndexDialog(1, segment);
}

void MainWindow::ModifyIndex() {
  if (ConversionRefuses()) return;
  int segment = ChosenSegment();
  if (segment >= 0) IndexDialog(2, segment);
}

void MainWindow::DeleteIndexCommand() {
  TableView *view = ActiveView();
  DdfTable *table = CurrentTable();
  if (view == nullptr || table == nullptr) return;
  DeleteSegment(*dict_, *table, view->SelectedSegment());
  Refresh();
}

void MainWindow::SetIndexNameCommand() {
  TableView *view = ActiveView();
  DdfTable *table = CurrentTable();
  int segment = view != nullptr ? view->SelectedSegment() : -1;
  if (table == nullptr || segment < 0 || !view->IndexCell(segment + 1, 2).isEmpty() ||
      KeySegments(*table, segment).first != segment) {
    ShowText(*ui_, false, msg::kVE1064);
    return;
  }
  FormDialog dialog(this, QStringLiteral("ｲﾝﾃﾞｯｸｽ名の設定"));
  dialog.AddLine(QStringLiteral("ｲﾝﾃﾞｯｸｽ名"), 20);
  dialog.AddButton(QStringLiteral("OK"), [&] {
    return SetIndexName(*dict_, *table, segment,
                        CodePage(dialog.Value(QStringLiteral("ｲﾝﾃﾞｯｸｽ名"))));
  });
  dialog.AddCancel(QStringLiteral("ｷｬﾝｾﾙ"));
  dialog.Run();
  Refresh();
}

void MainWindow::DeleteIndexNameCommand() {
  TableView *view = ActiveView();
  DdfTable *table = CurrentTable();
  if (view == nullptr || table == nullptr) return;
  DeleteIndexName(*dict_, *table, view->SelectedSegment());
  Refresh();
}

void MainWindow::BtrieveFileInfo() {
  if (!NeedView()) return;
  DdfTable *table = CurrentTable();
  FormDialog dialog(this, QStringLiteral("BTRIEVE情報の設定"));
  dialog.AddLine(QStringLiteral("テーブル名"), 20);
  dialog.AddLine(QStringLiteral("BTRIEVEﾌｧｲﾙ名"), 64);
  dialog.SetValue(QStringLiteral("テーブル名"), Q(table->name));
  dialog.SetValue(QStringLiteral("BTRIEVEﾌｧｲﾙ名"), Q(table->location));
  dialog.AddButton(QStringLiteral("OK"), [&] {
    return SetTableInfo(*dict_, *table, CodePage(dialog.Value(QStringLiteral("テーブル名"))),
                        CodePage(dialog.Value(QStringLiteral("BTRIEVEﾌｧｲﾙ名"))));
  });
  dialog.AddCancel(QStringLiteral("ｷｬﾝｾﾙ"));
  dialog.Run();
  Refresh();
}

void MainWindow::CreateFiles() {
  CreateBtrieveFiles(*dict_);
  Refresh();
}

void MainWindow::FieldIdList() {
  FieldIdListCommand(*dict_);
}

void MainWindow::CreateFormCommand() {
  dictedit::CreateFormCommand(*dict_);
}

void MainWindow::DbMagicImport() {
  size_t before = dict_->tables.size();
  if (DbMagicImportCommand(*dict_) == 0 && dict_->tables.size() > before)
    OpenTableView(dict_->tables.back()->file_id);
  Refresh();
}

void MainWindow::Options() {
  FormDialog dialog(this, QStringLiteral("ｼｽﾃﾑ・ｵﾌﾟｼｮﾝ"));
  EditorOptions &o = dict_->options;
  struct Check {
    QString label;
    bool *value;
  };
  bool maximised = o.maxmize_at_open != 0, symbols = o.id_format == 1;
  std::vector<Check> checks = {{QStringLiteral("ﾌｨｰﾙﾄﾞ名入力時のIMEｵﾝ"), &o.ime_on_at_field},
                               {QStringLiteral("ﾌｨｰﾙﾄﾞ名英数字をUpper Case変換"), &o.upper_field},
                               {QStringLiteral("ｾﾞﾛｵﾌｾｯﾄ表示(次回起動時から）"), &o.zero_offset},
                               {QStringLiteral("DDF読込時にIDのﾘﾅﾝﾊﾞｰ"), &o.renumber_ddf_at_read},
                               {QStringLiteral("DDF読込時にｳｨﾝﾄﾞｳを開く"), &o.openwin_at_read},
                               {QStringLiteral("最大化する"), &maximised},
                               {QStringLiteral("Btrieveﾃﾞｰﾀ変換ﾓｰﾄﾞ"), &o.data_conv_mode},
                               {QStringLiteral("文字列型ｼﾝﾎﾞﾙ"), &symbols}};
  for (const Check &check : checks) {
    dialog.AddCheck(check.label);
    dialog.SetValue(check.label, *check.value ? "1" : "0");
  }
  const QString per_page = QStringLiteral("1ﾍﾟｰｼﾞに印字するﾌｨｰﾙﾄﾞ数"),
                version = QStringLiteral("ﾌｫｰﾑのﾊﾞｰｼﾞｮﾝ");
  dialog.AddLine(per_page);
  dialog.SetValue(per_page, QString::number(o.fields_per_page));
  dialog.AddRadios(version, {"VB 5", "VB4", "VB2 (VBX)"});
  dialog.SetValue(version, o.form_version == 4   ? "VB4"
                           : o.form_version == 2 ? "VB2 (VBX)"
                                                 : "VB 5");
  dialog.AddButton(QStringLiteral("OK"), [&] {
    bool ok = false;
    int pages = dialog.Value(per_page).trimmed().toInt(&ok);
    if (!ok || pages < 1) {
      ShowText(*ui_, false, msg::kVE1051);
      return false;
    }
    for (const Check &check : checks)
      *check.value = dialog.Value(check.label) == "1";
    o.maxmize_at_open = maximised ? 1 : 0;
    o.id_format = symbols ? 1 : 0;
    o.fields_per_page = pages;
    QString v = dialog.Value(version);
    o.form_version = v == "VB4" ? 4 : v == "VB2 (VBX)" ? 2 : 5;
    SaveOptions(o, *ui_);
    return true;
  });
  dialog.AddCancel(QStringLiteral("ｷｬﾝｾﾙ"));
  dialog.Run();
  BuildMenus();
}

void MainWindow::About() {
  if (TheScript().active) return;
  QMessageBox::about(this, QStringLiteral("dictedit"),
                     QStringLiteral("dictedit 3.00\nBtrieve ﾃﾞｰﾀ･ﾃﾞｨｸｼｮﾅﾘ ｴﾃﾞｨﾀ"));
}

}  // namespace dictedit
