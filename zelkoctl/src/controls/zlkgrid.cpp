#include "controls/zlkgrid.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <algorithm>
#include <cstdio>
#include <optional>

#include "btrieve/btrapi.h"
#include "engine/extended_access.h"
#include "engine/extended_fill.h"
#include "engine/field_conversion.h"
#include "engine/messages.h"
#include "engine/module.h"
#include "engine/settings.h"
#include "engine/table_access.h"
#include "frame/class_table.h"
#include "frame/stock_look.h"
#include "zplatform/codepage.h"

namespace zelko {

namespace {

// The cell editor takes at most the column's CellMaxLength characters.
class CellDelegate : public QStyledItemDelegate {
 public:
  CellDelegate(const std::map<int, int> *max_lengths, QObject *parent)
      : QStyledItemDelegate(parent), max_lengths_(max_lengths) {}
  QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                        const QModelIndex &index) const override {
    QWidget *editor = QStyledItemDelegate::createEditor(parent, option, index);
    auto found = max_lengths_->find(index.column());
    if (auto *line = qobject_cast<QLineEdit *>(editor);
        line && found != max_lengths_->end() && found->second > 0)
      line->setMaxLength(found->second);
    return editor;
  }

 private:
  const std::map<int, int> *max_lengths_;
};

// The Delete key outside the cell editor deletes the current row's record.
class GridKeys : public QObject {
 public:
  GridKeys(ZlkGrid *grid, QObject *parent) : QObject(parent), grid_(grid) {}
  bool eventFilter(QObject *watched, QEvent *event) override {
    if (event->type() != QEvent::KeyPress ||
        static_cast<QKeyEvent *>(event)->key() != Qt::Key_Delete)
      return false;
    auto *table = qobject_cast<QTableWidget *>(watched);
    if (table == nullptr) return false;  // while a cell is edited, its editor has the keys
    return grid_->DeleteCurrentRow();
  }

 private:
  ZlkGrid *grid_;
};

}  // namespace

const ClassInfo &ZlkGrid::Info() {
  static const ClassInfo info = [] {
    using namespace table;
    using K = PropKind;
    using G = ZlkGrid;
    ClassInfo c{"ZLKBTRLibCtl.ZLKGrid", "ZLKGrid", kKindGrid, {}, {}, {}};
    const auto restyle = &G::ApplyStyle;
    const auto resize = [](G &g, int32_t G::*member, const Variant &v) {
      auto n = v.AsInteger();
      if (!n) return kTypeMismatch;
      if (*n < 0) return kInvalidPropertyValue;
      int rows = member == &G::rows_ ? *n : g.rows_, cols = member == &G::cols_ ? *n : g.cols_;
      if (rows > g.max_rows_ || cols > g.max_cols_) return kInvalidPropertyValue;
      g.Resize(rows, cols);
      return kOk;
    };
    auto sized = [resize](const char *name, int32_t dispid, const char *def, int32_t G::*member) {
      return Custom<G>(
          name, dispid, K::kInt32, def, kPersisted,
          [member](G &g, Variant *v) {
            *v = Variant::I4(g.*member);
            return kOk;
          },
          [member, resize](G &g, const Variant &v) { return resize(g, member, v); });
    };
    // In the persisted order, then the run-time properties.
    c.properties = {
        Member("DbListSource", 1, K::kString, "", &G::db_list_source_),
        Member("DbListTable", 2, K::kString, "", &G::db_list_table_),
        Member("DbListFields", 3, K::kString, "", &G::db_list_fields_),
        Member("DbConditions", 8, K::kString, "", &G::conditions_),
        sized("Cols", 10, "2", &G::cols_),
        sized("Rows", 11, "2", &G::rows_),
        Member("FixedCols", 12, K::kInt32, "1", &G::fixed_cols_, kPersisted, restyle),
        Member("FixedRows", 13, K::kInt32, "1", &G::fixed_rows_, kPersisted, restyle),
        Member("DbCompareCase", 14, K::kInt16, "0", &G::compare_case_),
        Member("DbExOperation", 15, K::kInt16, "1", &G::ex_operation_),
        Member("DbLeaveResults", 16, K::kBool, "0", &G::leave_results_),
        Member("DbLocks", 17, K::kInt16, "0", &G::locks_),
        Member("DbMaxRecords", 19, K::kInt32, "300", &G::max_records_),
        Member("DbSkipRecords", 20, K::kInt16, "100", &G::skip_records_),
        Member("DbUpdateOption", 21, K::kInt16, "1", &G::update_option_),
        Member("GridLines", 22, K::kBool, "-1", &G::grid_lines_, kPersisted, restyle),
        Member("HighLight", 23, K::kBool, "-1", &G::highlight_, kPersisted, restyle),
        Member("FillStyle", 24, K::kInt16, "0", &G::fill_style_),
        Member("GridLineWidth", 25, K::kInt32, "1", &G::grid_line_width_),
        Member("SetColNames", 28, K::kBool, "0", &G::set_col_names_),
        Member("SetRecordNumbers", 29, K::kBool, "0", &G::set_record_numbers_),
        Member("DbListIndex", 30, K::kString, "", &G::db_list_index_),
        Member("ScrollBars", 31, K::kInt16, "3", &G::scroll_bars_, kPersisted, restyle),
        Member("AllowUpdate", 37, K::kBool, "0", &G::allow_update_),
        Member("AllowDelete", 38, K::kBool, "0", &G::allow_delete_),
        Member("AlignFixedCells", 42, K::kBool, "0", &G::align_fixed_cells_),
        Member("SetColWidth", 44, K::kBool, "0", &G::set_col_width_),
        Member("AllowUserResizing", 45, K::kInt16, "0", &G::allow_user_resizing_, kPersisted,
               restyle),
        Member("Appearance", -520, K::kInt16, "1", &G::appearance_, kPersisted, restyle),
        Member("BackColor", -501, K::kColor, "-2147483643", &G::back_color_, kPersisted, restyle),
        Member("BorderStyle", -504, K::kInt16, "1", &G::border_style_, kPersisted, restyle),
        Member("ForeColor", -513, K::kColor, "-2147483640", &G::fore_color_, kPersisted, restyle),
        Member("Font", -512, K::kFont, nullptr, &G::font_, kPersisted, restyle),
        Constant<G>("MouseIcon", -522, K::kString, nullptr, kPersisted, Variant::String("")),
        Member("MousePointer", -521, K::kInt16, "0", &G::mouse_pointer_, kPersisted, restyle),
        Member("TabStop", -516, K::kBool, "-1", &G::tab_stop_, kPersisted, restyle),
        Member("Enabled", -514, K::kBool, "-1", &G::enabled_, kPersisted, restyle),
        Member("SelStartCol", 4, K::kInt32, "0", &G::sel_start_col_, kTransient),
        Member("SelEndCol", 5, K::kInt32, "0", &G::sel_end_col_, kTransient),
        Member("SelStartRow", 6, K::kInt32, "0", &G::sel_start_row_, kTransient),
        Member("SelEndRow", 7, K::kInt32, "0", &G::sel_end_row_, kTransient),
        Member("Abort", 9, K::kBool, "0", &G::abort_, kTransient),
        Member("DbResultID", 18, K::kInt16, "-1", &G::result_id_, kTransient),
        Custom<G>(
            "Col", 26, K::kInt32, nullptr, kTransient,
            [](G &g, Variant *v) {
              *v = Variant::I4(g.col_);
              return kOk;
            },
            [](G &g, const Variant &v) {
              auto n = v.AsInteger();
              if (!n || *n < 0 || *n >= g.cols_) return kInvalidPropertyValue;
              g.col_ = *n;
              g.ShowCurrentCell();
              return kOk;
            }),
        Custom<G>(
            "Row", 27, K::kInt32, nullptr, kTransient,
            [](G &g, Variant *v) {
              *v = Variant::I4(g.row_);
              return kOk;
            },
            [](G &g, const Variant &v) {
              auto n = v.AsInteger();
              if (!n || *n < 0 || *n >= g.rows_) return kInvalidPropertyValue;
              int previous = g.row_;
              g.row_ = *n;
              g.ShowCurrentCell();
              // Moving the current row by program leaves a dirty row as the user would.
              if (previous != g.row_ && previous == g.dirty_row_ && g.allow_update_)
                g.WriteRow(previous);
              return kOk;
            }),
        Custom<G>(
            "Text", -517, K::kString, nullptr, kTransient,
            [](G &g, Variant *v) {
              *v = Variant::String(g.Cell(g.row_, g.col_));
              return kOk;
            },
            [](G &g, const Variant &v) {
              auto text = v.AsString();
              if (!text) return kTypeMismatch;
              return g.SetCell(g.row_, g.col_, *text) ? kOk : kInvalidPropertyValue;
            }),
        WindowProperty<G>(),
    };
    using Args = std::vector<Variant>;
    c.methods = {
        Method<G>(
            "RowHeight", 32, {{"Index", false}, {"Value", false, true}}, true,
            [](G &g, Args &a, Variant *r) { return Indexed(g, a, r, &G::row_heights_, 0, false); }),
        Method<G>(
            "ColWidth", 33, {{"Index", false}, {"Value", false, true}}, true,
            [](G &g, Args &a, Variant *r) { return Indexed(g, a, r, &G::col_widths_, 0, true); }),
        Method<G>("Refresh", 34, {}, false,
                  [](G &g, Args &, Variant *) {
                    g.Refresh();
                    return kOk;
                  }),
        Method<G>("Clear", 35, {}, false,
                  [](G &g, Args &, Variant *) {
                    for (auto &row : g.cells_)
                      std::fill(row.begin(), row.end(), std::string());
                    std::fill(g.positions_.begin(), g.positions_.end(), 0);
                    g.dirty_row_ = -1;
                    g.ShowCells();
                    return kOk;
                  }),
        Method<G>("FormatString", 36, {{"Index", false}, {"Value", false, true}}, true,
                  [](G &g, Args &a, Variant *r) {
                    auto index = a.empty() ? std::nullopt : a[0].AsInteger();
                    if (!index || *index < 0 || *index >= g.cols_) return kInvalidPropertyValue;
                    if (a.size() > 1 && !a[1].IsEmpty()) {
                      g.format_strings_[*index] = a[1].AsString().value_or("");
                    } else {
                      *r = Variant::String(g.format_strings_[*index]);
                    }
                    return kOk;
                  }),
        Method<G>("CellMaxLength", 39, {{"Index", false}, {"Value", false, true}}, true,
                  [](G &g, Args &a, Variant *r) {
                    return Indexed(g, a, r, &G::cell_max_lengths_, 0, true);
                  }),
        Method<G>("DbPhysicalPosition", 40, {{"Index", false}}, true,
                  [](G &g, Args &a, Variant *r) {
                    auto index = a.empty() ? std::nullopt : a[0].AsInteger();
                    if (!index || *index < 0 || *index >= g.rows_) return kInvalidPropertyValue;
                    *r = Variant::I4(g.positions_[*index]);
                    return kOk;
                  }),
        Method<G>("TextAlign", 41, {{"Index", false}, {"Value", false, true}}, true,
                  [](G &g, Args &a, Variant *r) {
                    HResult hr = Indexed(g, a, r, &G::text_aligns_, 0, true);
                    g.ShowCells();
                    return hr;
                  }),
        Method<G>(
            "IMEMode", 43, {{"Index", false}, {"Value", false, true}}, true,
            [](G &g, Args &a, Variant *r) { return Indexed(g, a, r, &G::ime_modes_, 0, true); }),
        // Beyond the original: any cell by row and column.
        Method<G>("TextMatrix", 46, {{"Row", false}, {"Col", false}, {"Value", false, true}}, true,
                  [](G &g, Args &a, Variant *r) {
                    auto row = a.size() > 1 ? a[0].AsInteger() : std::nullopt;
                    auto col = a.size() > 1 ? a[1].AsInteger() : std::nullopt;
                    if (!row || !col || *row < 0 || *row >= g.rows_ || *col < 0 || *col >= g.cols_)
                      return kInvalidPropertyValue;
                    if (a.size() > 2 && !a[2].IsEmpty()) {
                      g.SetCell(*row, *col, a[2].AsString().value_or(""));
                    } else {
                      *r = Variant::String(g.Cell(*row, *col));
                    }
                    return kOk;
                  }),
    };
    c.events = {{"BtrieveError", 1, {{"TableName", false}, {"sStatus", true}}},
                {"Format", 2, {{"strText", true}}},
                {"Change", 3, {}},
                {"SelChange", 4, {}},
                {"AfterUpdate", 5, {}},
                {"AfterDelete", 6, {}},
                {"BeforeUpdate", 7, {{"pCancel", true}}},
                {"BeforeDelete", 8, {{"pCancel", true}}},
                {"AfterColUpdate", 9, {}},
                {"BeforeColUpdate", 10, {{"pCancel", true}, {"ColValue", true}}},
                {"Click", -600, {}},
                {"DblClick", -601, {}}};
    for (auto events : {KeyEvents(), MouseEvents()})
      c.events.insert(c.events.end(), events.begin(), events.end());
    return c;
  }();
  return info;
}

ZlkGrid::ZlkGrid() {
  GridLimits limits = GridLimits::Load();
  max_rows_ = limits.max_rows;
  max_cols_ = limits.max_cols;
  Resize(rows_, cols_);
}

ZlkGrid::~ZlkGrid() {
  DestroyWindow();
}

HResult ZlkGrid::Indexed(ZlkGrid &g, std::vector<Variant> &args, Variant *result,
                         std::map<int, int> ZlkGrid::*values, int fallback, bool columns) {
  auto index = args.empty() ? std::nullopt : args[0].AsInteger();
  if (!index || *index < 0 || *index >= (columns ? g.cols_ : g.rows_)) return kInvalidPropertyValue;
  if (args.size() > 1 && !args[1].IsEmpty()) {
    auto value = args[1].AsInteger();
    if (!value) return kTypeMismatch;
    (g.*values)[*index] = *value;
    g.ApplyStyle();
    return kOk;
  }
  auto found = (g.*values).find(*index);
  *result = Variant::I4(found != (g.*values).end() ? found->second : fallback);
  return kOk;
}

void ZlkGrid::Resize(int rows, int cols) {
  rows_ = rows;
  cols_ = cols;
  cells_.resize(static_cast<size_t>(rows));
  for (auto &row : cells_)
    row.resize(static_cast<size_t>(cols));
  positions_.resize(static_cast<size_t>(rows), 0);
  if (dirty_row_ >= rows) dirty_row_ = -1;
  row_ = std::min(row_, std::max(0, rows - 1));
  col_ = std::min(col_, std::max(0, cols - 1));
  if (table_ != nullptr) {
    showing_ = true;
    table_->setRowCount(std::max(0, ViewRow(rows)));
    table_->setColumnCount(std::max(0, ViewCol(cols)));
    table_->horizontalHeader()->setVisible(Headers() && fixed_rows_ == 1);
    table_->verticalHeader()->setVisible(Headers() && fixed_cols_ == 1);
    showing_ = false;
    ShowCells();
  }
}

std::string ZlkGrid::Cell(int row, int col) const {
  if (row < 0 || row >= rows_ || col < 0 || col >= cols_) return std::string();
  return cells_[static_cast<size_t>(row)][static_cast<size_t>(col)];
}

bool ZlkGrid::SetCell(int row, int col, const std::string &text) {
  if (row < 0 || row >= rows_ || col < 0 || col >= cols_) return false;
  cells_[static_cast<size_t>(row)][static_cast<size_t>(col)] = text;
  ShowCell(row, col);
  return true;
}

void ZlkGrid::ShowCurrentCell() {
  if (table_ == nullptr) return;
  int view_row = ViewRow(row_), view_col = ViewCol(col_);
  if (view_row < 0 || view_col < 0) return;  // a header cell is never the current one
  showing_ = true;
  table_->setCurrentCell(view_row, view_col);
  showing_ = false;
}

void ZlkGrid::ShowCell(int row, int col) {
  if (table_ == nullptr) return;
  showing_ = true;
  QTableWidgetItem *item = nullptr;
  if (ViewRow(row) < 0 || ViewCol(col) < 0) {
    // A fixed cell shown as a header label (the corner has none).
    if (ViewRow(row) < 0 && ViewCol(col) >= 0) {
      item = new QTableWidgetItem();
      table_->setHorizontalHeaderItem(ViewCol(col), item);
    } else if (ViewCol(col) < 0 && ViewRow(row) >= 0) {
      item = new QTableWidgetItem();
      table_->setVerticalHeaderItem(ViewRow(row), item);
    }
    if (item != nullptr) item->setText(QString::fromStdString(Cell(row, col)));
    showing_ = false;
    return;
  }
  item = table_->item(ViewRow(row), ViewCol(col));
  if (item == nullptr) {
    item = new QTableWidgetItem();
    table_->setItem(ViewRow(row), ViewCol(col), item);
  }
  item->setText(QString::fromStdString(Cell(row, col)));
  bool fixed = row < fixed_rows_ || col < fixed_cols_;
  item->setFlags(fixed ? Qt::ItemIsEnabled
                       : Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable);
  const QPalette &palette = QApplication::palette();
  item->setBackground(fixed ? palette.button() : QBrush());
  item->setForeground(fixed ? palette.buttonText() : QBrush());
  auto align = text_aligns_.find(col);
  int a = align != text_aligns_.end() && (!fixed || align_fixed_cells_) ? align->second : 0;
  item->setTextAlignment(Qt::AlignVCenter | (a == 1   ? Qt::AlignRight
                                             : a == 2 ? Qt::AlignHCenter
                                                      : Qt::AlignLeft));
  showing_ = false;
}

void ZlkGrid::ShowCells() {
  if (table_ == nullptr) return;
  for (int r = 0; r < rows_; ++r) {
    for (int c = 0; c < cols_; ++c)
      ShowCell(r, c);
  }
}

void ZlkGrid::ApplyStyle() {
  if (table_ == nullptr) return;
  table_->setShowGrid(grid_lines_);
  table_->setEnabled(enabled_);
  table_->setFocusPolicy(tab_stop_ ? Qt::StrongFocus : Qt::ClickFocus);
  table_->setFont(FontOf(font_));
  table_->setFrameStyle(border_style_ == 1 ? QFrame::StyledPanel | QFrame::Sunken
                                           : QFrame::NoFrame);
  table_->setHorizontalScrollBarPolicy((scroll_bars_ & 1) != 0 ? Qt::ScrollBarAsNeeded
                                                               : Qt::ScrollBarAlwaysOff);
  table_->setVerticalScrollBarPolicy((scroll_bars_ & 2) != 0 ? Qt::ScrollBarAsNeeded
                                                             : Qt::ScrollBarAlwaysOff);
  QPalette pal = table_->palette();
  pal.setColor(QPalette::Base, OleColor(back_color_, QApplication::palette().base().color()));
  pal.setColor(QPalette::Text, OleColor(fore_color_, QApplication::palette().text().color()));
  if (!highlight_) {
    // Without HighLight the selection is drawn as the other cells are.
    pal.setColor(QPalette::Highlight, pal.color(QPalette::Base));
    pal.setColor(QPalette::HighlightedText, pal.color(QPalette::Text));
  }
  table_->setPalette(pal);
  for (const auto &[row, height] : row_heights_) {
    if (row < rows_ && height > 0 && ViewRow(row) >= 0)
      table_->setRowHeight(ViewRow(row), height / 15);
  }
  for (const auto &[col, width] : col_widths_) {
    if (col < cols_ && width > 0 && ViewCol(col) >= 0)
      table_->setColumnWidth(ViewCol(col), width / 15);
  }
  // Borders of the fixed cells move by the mouse as AllowUserResizing lets them.
  table_->horizontalHeader()->setSectionResizeMode(
      (allow_user_resizing_ & 1) != 0 ? QHeaderView::Interactive : QHeaderView::Fixed);
  table_->verticalHeader()->setSectionResizeMode(
      (allow_user_resizing_ & 2) != 0 ? QHeaderView::Interactive : QHeaderView::Fixed);
  Resize(rows_, cols_);  // the fixed cells may have become headers, or stopped being ones
}

QWidget *ZlkGrid::MakeWidget(QWidget *parent) {
  table_ = new QTableWidget(rows_, cols_, parent);
  table_->horizontalHeader()->setHighlightSections(false);
  table_->verticalHeader()->setHighlightSections(false);
  table_->setEditTriggers(QAbstractItemView::AnyKeyPressed | QAbstractItemView::DoubleClicked |
                          QAbstractItemView::EditKeyPressed);
  table_->setItemDelegate(new CellDelegate(&cell_max_lengths_, table_));
  table_->installEventFilter(new GridKeys(this, table_));
  QObject::connect(table_, &QTableWidget::itemChanged, [this](QTableWidgetItem *item) {
    if (showing_) return;
    OnCellEdited(GridRow(item->row()), GridCol(item->column()), item->text().toStdString());
  });
  QObject::connect(table_, &QTableWidget::currentCellChanged,
                   [this](int row, int col, int previous_row, int) {
                     if (row < 0 || col < 0) return;
                     OnCurrentCellChanged(GridRow(row), GridCol(col),
                                          previous_row < 0 ? -1 : GridRow(previous_row));
                   });
  QObject::connect(table_, &QTableWidget::itemSelectionChanged, [this] {
    auto ranges = table_->selectedRanges();
    if (!ranges.isEmpty()) {
      sel_start_row_ = GridRow(ranges.front().topRow());
      sel_end_row_ = GridRow(ranges.front().bottomRow());
      sel_start_col_ = GridCol(ranges.front().leftColumn());
      sel_end_col_ = GridCol(ranges.front().rightColumn());
    }
    std::vector<Variant> none;
    FireEvent("SelChange", none);
  });
  return table_;
}

void ZlkGrid::OnWindowCreated() {
  ApplyStyle();
  ShowCurrentCell();
  if (!RunMode()) return;
  ListControl::OnWindowCreated();  // registration
  if (update_option_ == 1) Refresh();
}

void ZlkGrid::OnWindowDestroying() {
  ListControl::OnWindowDestroying();
  table_ = nullptr;
}

void ZlkGrid::OnCellEdited(int row, int col, const std::string &text) {
  if (text == Cell(row, col)) return;
  std::vector<Variant> args = {Variant::Bool(false), Variant::String(text)};
  FireEvent("BeforeColUpdate", args);
  if (args[0].AsInteger().value_or(0) != 0) {
    ShowCell(row, col);  // cancelled: the cell keeps its text
    return;
  }
  cells_[static_cast<size_t>(row)][static_cast<size_t>(col)] = args[1].AsString().value_or(text);
  ShowCell(row, col);
  dirty_row_ = row;
  std::vector<Variant> none;
  FireEvent("AfterColUpdate", none);
  FireEvent("Change", none);
}

void ZlkGrid::OnCurrentCellChanged(int row, int col, int previous_row) {
  if (row < 0 || col < 0) return;
  row_ = row;
  col_ = col;
  if (showing_) return;
  if (previous_row != row && previous_row == dirty_row_ && allow_update_) WriteRow(previous_row);
}

TableDescriptor *ZlkGrid::Table() const {
  return Module::Get().registry.FindBoundTable(GetFormWindow(), db_list_source_, db_list_table_);
}

std::vector<std::string> ZlkGrid::ListedFields() const {
  std::vector<std::string> names;
  std::string list = zplatform::FromUtf8(db_list_fields_);
  size_t start = 0;
  while (start <= list.size()) {
    size_t comma = list.find(',', start);
    std::string name =
        list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    size_t b = name.find_first_not_of(' '), e = name.find_last_not_of(' ');
    if (b != std::string::npos) names.push_back(name.substr(b, e - b + 1));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return names;
}

void ZlkGrid::Report(int16_t status, const char *message) {
  int16_t left = BtrieveErrorEvent(db_list_table_, status);
  if (left != 0 && message != nullptr) ShowMessage(message, left);
}

bool ZlkGrid::Cancelled(const char *event) {
  std::vector<Variant> args = {Variant::Bool(false)};
  FireEvent(event, args);
  return args[0].AsInteger().value_or(0) != 0;
}

void ZlkGrid::Refresh() {
  BindingRegistry &registry = Module::Get().registry;
  TableDescriptor *table = Table();
  if (table == nullptr) return;
  int key = KeyOfDbIndex(*table, db_list_index_);
  if (!table->open && registry.OpenListTable(*table, GetFormWindow(), db_list_source_) != 0) return;
  std::optional<KeptPosition> kept(std::in_place, *table, key);
  ExtendedFillRequest request = MakeExtendedFillRequest(
      ex_operation_, conditions_, db_list_fields_, key, skip_records_,
      static_cast<int>(max_records_), locks_, compare_case_, leave_results_);
  if (leave_results_ && result_id_ >= 0) ExFree(result_id_);
  int row = fixed_rows_;
  Module &module = Module::Get();
  ExtendedFillOutcome outcome = RunExtendedFill(
      *table, request,
      [this] {
        for (int r = fixed_rows_; r < rows_; ++r) {
          for (int c = fixed_cols_; c < cols_; ++c)
            cells_[static_cast<size_t>(r)][static_cast<size_t>(c)].clear();
        }
        std::fill(positions_.begin(), positions_.end(), 0);
        dirty_row_ = -1;
      },
      [&](const std::vector<std::string> &texts, int32_t position) {
        if (row >= rows_) {
          if (rows_ >= max_rows_) return false;  // the grid is full
          Resize(rows_ + 1, cols_);
        }
        std::string line;
        for (size_t i = 0; i < texts.size(); ++i)
          line += (i > 0 ? "\t" : "") + zplatform::ToUtf8(texts[i]);
        abort_ = false;
        module.formatted_text.clear();
        std::vector<Variant> args = {Variant::String(line)};
        FireEvent("Format", args);
        if (abort_) return false;
        if (!module.formatted_text.empty()) {
          line = zplatform::ToUtf8(module.formatted_text);
        } else {
          line = args[0].AsString().value_or("");
        }
        module.formatted_text.clear();
        int col = fixed_cols_;
        size_t start = 0;
        while (col < cols_) {
          size_t tab = line.find('\t', start);
          cells_[static_cast<size_t>(row)][static_cast<size_t>(col++)] =
              line.substr(start, tab == std::string::npos ? std::string::npos : tab - start);
          if (tab == std::string::npos) break;
          start = tab + 1;
        }
        positions_[static_cast<size_t>(row)] = position;
        ++row;
        return true;
      });
  result_id_ = outcome.result_id;
  if (outcome.positioning_failed ||
      (outcome.status > 0 && outcome.status != 9 && !IsLimitStatus(outcome.status)))
    Report(outcome.status, nullptr);
  kept.reset();  // the table back where it stood
  if (fixed_rows_ > 0 && set_col_names_) {
    std::vector<std::string> names = ListedFields();
    for (size_t i = 0; i < names.size() && fixed_cols_ + static_cast<int>(i) < cols_; ++i) {
      int col = fixed_cols_ + static_cast<int>(i);
      cells_[0][static_cast<size_t>(col)] = zplatform::ToUtf8(names[i]);
      if (set_col_width_ && table_ != nullptr)
        table_->setColumnWidth(
            ViewCol(col),
            table_->fontMetrics().horizontalAdvance(QString::fromStdString(cells_[0][col])) + 12);
    }
  }
  NumberRows();
  ShowCells();
}

void ZlkGrid::NumberRows() {
  if (fixed_rows_ == 0 || !set_record_numbers_ || fixed_cols_ == 0) return;
  for (int r = fixed_rows_; r < rows_; ++r) {
    char number[16];
    std::snprintf(number, sizeof number, "%4d", r - fixed_rows_ + 1);
    cells_[static_cast<size_t>(r)][0] = number;
  }
}

bool ZlkGrid::WriteRow(int row) {
  TableDescriptor *table = Table();
  if (table == nullptr || row < 0 || row >= rows_) return false;
  int32_t remembered = EngineGetPosition(*table);
  if (Cancelled("BeforeUpdate")) return false;  // the row stays dirty
  int16_t status = EngineGetDirect(*table, positions_[static_cast<size_t>(row)], -1);
  if (status != 0) {
    Report(status, msg::kVE820);
    return false;
  }
  std::vector<std::string> names = ListedFields();
  bool any = false;
  for (size_t i = 0; i < names.size(); ++i) {
    std::string text = Cell(row, fixed_cols_ + static_cast<int>(i));
    any = any || !text.empty();
    WriteFieldByName(*table, names[i], zplatform::FromUtf8(text));
  }
  if (!any) return false;
  status = EngineAccess(*table, B_UPDATE, 0);
  if (status != 0) {
    Report(status, msg::kVE821);
    return false;
  }
  if (remembered >= 0) {
    status = EngineGetDirect(*table, remembered, -1);
    if (status != 0) {
      Report(status, msg::kVE822);
      return false;
    }
  }
  dirty_row_ = -1;
  std::vector<Variant> none;
  FireEvent("AfterUpdate", none);
  return true;
}

bool ZlkGrid::DeleteRow(int row) {
  if (!allow_delete_ || row < fixed_rows_ || row >= rows_ ||
      positions_[static_cast<size_t>(row)] == 0)
    return false;
  TableDescriptor *table = Table();
  if (table == nullptr) return false;
  int16_t status = EngineGetDirect(*table, positions_[static_cast<size_t>(row)], -1);
  if (status != 0) {
    Report(status, msg::kVE820);
    return true;
  }
  if (Cancelled("BeforeDelete")) return true;
  status = EngineAccess(*table, B_DELETE, 0);
  if (status != 0) {
    Report(status, msg::kVE821);
    return true;
  }
  // The rows below move up; the last one empties.
  cells_.erase(cells_.begin() + row);
  cells_.emplace_back(static_cast<size_t>(cols_));
  positions_.erase(positions_.begin() + row);
  positions_.push_back(0);
  if (dirty_row_ == row) dirty_row_ = -1;
  if (dirty_row_ > row) --dirty_row_;
  int filled = fixed_rows_;
  while (filled < rows_ && positions_[static_cast<size_t>(filled)] != 0)
    ++filled;
  int current = row_;
  if (current >= filled && current > fixed_rows_) --current;
  NumberRows();
  ShowCells();
  row_ = current;
  ShowCurrentCell();
  if (positions_[static_cast<size_t>(current)] != 0) {
    status = EngineGetDirect(*table, positions_[static_cast<size_t>(current)], -1);
    if (status != 0) Report(status, msg::kVE820);
  }
  std::vector<Variant> none;
  FireEvent("AfterDelete", none);
  return true;
}

}  // namespace zelko
