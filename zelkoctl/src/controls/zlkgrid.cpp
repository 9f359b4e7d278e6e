#include "controls/zlkgrid.h"

#include <QApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QTableView>
#include <algorithm>
#include <cstdio>
#include <optional>

#include "btrieve/btrapi.h"
#include "controls/grid_view.h"
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

constexpr int kKeptPages = 16;

// Of the listed fields' texts as a read gave them: tells whether a record changed since.
uint64_t Fingerprint(const std::vector<std::string> &texts) {
  uint64_t hash = 14695981039346656037ull;
  for (const std::string &text : texts) {
    for (unsigned char c : text + '\0')
      hash = (hash ^ c) * 1099511628211ull;
  }
  return hash | 1;  // never 0, which means "unknown"
}

}  // namespace

const ClassInfo &ZlkGrid::Info() {
  static const ClassInfo info = [] {
    using namespace table;
    using K = PropKind;
    using G = ZlkGrid;
    ClassInfo c{"ZLKBTRLibCtl.ZLKGrid", "ZLKGrid", kKindGrid, {}, {}, {}};
    const auto restyle = &G::ApplyStyle;
    auto sized = [](const char *name, int32_t dispid, bool rows) {
      return Custom<G>(
          name, dispid, K::kInt32, "2", kPersisted,
          [rows](G &g, Variant *v) {
            *v = Variant::I4(rows ? g.Rows() : g.Cols());
            return kOk;
          },
          [rows](G &g, const Variant &v) { return SetSize(g, rows, v); });
    };
    // In the persisted order, then the run-time properties.
    c.properties = {
        Member("DbListSource", 1, K::kString, "", &G::db_list_source_),
        Member("DbListTable", 2, K::kString, "", &G::db_list_table_),
        Member("DbListFields", 3, K::kString, "", &G::db_list_fields_),
        Member("DbConditions", 8, K::kString, "", &G::conditions_),
        sized("Cols", 10, false),
        sized("Rows", 11, true),
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
              if (!n || !g.ValidIndex(*n, true)) return kInvalidPropertyValue;
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
              if (!n || !g.ValidIndex(*n, false)) return kInvalidPropertyValue;
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
              if (g.fill_style_ == 1) {
                // gridFillSel: every selected cell takes the text.
                for (int r = std::min(g.sel_start_row_, g.sel_end_row_);
                     r <= std::max(g.sel_start_row_, g.sel_end_row_); ++r) {
                  for (int c = std::min(g.sel_start_col_, g.sel_end_col_);
                       c <= std::max(g.sel_start_col_, g.sel_end_col_); ++c)
                    g.SetCell(r, c, *text);
                }
              }
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
                    g.cells_.Clear();
                    g.dirty_row_ = -1;
                    g.ShowCells();
                    return kOk;
                  }),
        Method<G>("FormatString", 36, {{"Index", false}, {"Value", false, true}}, true,
                  [](G &g, Args &a, Variant *r) {
                    auto index = a.empty() ? std::nullopt : a[0].AsInteger();
                    if (!index || !g.ValidIndex(*index, true)) return kInvalidPropertyValue;
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
                    if (!index || !g.ValidIndex(*index, false)) return kInvalidPropertyValue;
                    *r = Variant::I4(g.cells_.Position(*index));
                    return kOk;
                  }),
        Method<G>(
            "TextAlign", 41, {{"Index", false}, {"Value", false, true}}, true,
            [](G &g, Args &a, Variant *r) { return Indexed(g, a, r, &G::text_aligns_, 0, true); }),
        Method<G>(
            "IMEMode", 43, {{"Index", false}, {"Value", false, true}}, true,
            [](G &g, Args &a, Variant *r) { return Indexed(g, a, r, &G::ime_modes_, 0, true); }),
        // Beyond the original: any cell by row and column.
        Method<G>("TextMatrix", 46, {{"Row", false}, {"Col", false}, {"Value", false, true}}, true,
                  [](G &g, Args &a, Variant *r) {
                    auto row = a.size() > 1 ? a[0].AsInteger() : std::nullopt;
                    auto col = a.size() > 1 ? a[1].AsInteger() : std::nullopt;
                    if (!row || !col || !g.ValidIndex(*col, true) || !g.ValidIndex(*row, false))
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
  page_rows_ = limits.page_rows;
  cells_.Reset(2, 2);
  cells_.OnGrown([this] {
    if (model_ != nullptr) model_->SyncLater();
  });
}

ZlkGrid::~ZlkGrid() {
  DestroyWindow();
}

HResult ZlkGrid::Indexed(ZlkGrid &g, std::vector<Variant> &args, Variant *result,
                         std::map<int, int> ZlkGrid::*values, int fallback, bool columns) {
  auto index = args.empty() ? std::nullopt : args[0].AsInteger();
  if (!index || !g.ValidIndex(*index, columns)) return kInvalidPropertyValue;
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

HResult ZlkGrid::SetSize(ZlkGrid &g, bool rows, const Variant &value) {
  auto n = value.AsInteger();
  if (!n) return kTypeMismatch;
  if (*n < 0 || *n > (rows ? g.max_rows_ : g.max_cols_)) return kInvalidPropertyValue;
  // Fewer rows than a paged fill may still find: it reads to its end first.
  int known = rows && *n < g.cells_.KnownRows() ? g.cells_.Rows() : g.cells_.KnownRows();
  g.Resize(rows ? *n : known, rows ? g.Cols() : *n);
  return kOk;
}

void ZlkGrid::Resize(int rows, int cols) {
  cells_.Resize(rows, cols);
  if (dirty_row_ >= rows) dirty_row_ = -1;
  row_ = std::min(row_, std::max(0, rows - 1));
  col_ = std::min(col_, std::max(0, cols - 1));
  if (view_ != nullptr) {
    view_->horizontalHeader()->setVisible(FixedRows() > 0);
    view_->verticalHeader()->setVisible(FixedCols() > 0);
    ShowCells();
  }
}

bool ZlkGrid::SetCell(int row, int col, const std::string &text) {
  if (!cells_.SetCell(row, col, text)) return false;
  ShowCell(row, col);
  return true;
}

int ZlkGrid::Alignment(int row, int col) const {
  auto align = text_aligns_.find(col);
  return align != text_aligns_.end() && (!FixedCell(row, col) || align_fixed_cells_) ? align->second
                                                                                     : 0;
}

int ZlkGrid::FixedRowHeight(int row) const {
  auto set = row_heights_.find(row);
  if (set != row_heights_.end() && set->second > 0) return set->second / 15;
  return view_ != nullptr ? view_->verticalHeader()->defaultSectionSize() : 20;
}

int ZlkGrid::FixedColWidth(int col) const {
  auto set = col_widths_.find(col);
  if (set != col_widths_.end() && set->second > 0) return set->second / 15;
  // Wide enough for a record number.
  return view_ != nullptr ? view_->fontMetrics().horizontalAdvance(QStringLiteral("000000")) + 8
                          : 48;
}

int ZlkGrid::CellMaxLength(int col) const {
  auto found = cell_max_lengths_.find(col);
  return found != cell_max_lengths_.end() ? found->second : 0;
}

void ZlkGrid::ShowCurrentCell() {
  if (view_ == nullptr) return;
  int view_row = ViewRow(row_), view_col = ViewCol(col_);
  if (view_row < 0 || view_col < 0) return;  // a header cell is never the current one
  showing_ = true;
  view_->setCurrentIndex(model_->index(view_row, view_col));
  showing_ = false;
}

void ZlkGrid::ShowCell(int row, int col) {
  if (model_ != nullptr) model_->CellChanged(ViewRow(row), ViewCol(col));
  if (corner_ != nullptr && ViewRow(row) < 0 && ViewCol(col) < 0) corner_->update();
}

void ZlkGrid::ShowCells() {
  if (model_ == nullptr) return;
  model_->Sync();
  // The headers' extent follows the fixed rows and columns.
  QMetaObject::invokeMethod(view_, "updateGeometries");
  if (corner_ != nullptr) corner_->update();
}

void ZlkGrid::ApplyStyle() {
  if (view_ == nullptr) return;
  view_->setShowGrid(grid_lines_);
  view_->setEnabled(enabled_);
  view_->setFocusPolicy(tab_stop_ ? Qt::StrongFocus : Qt::ClickFocus);
  view_->setFont(FontOf(font_));
  view_->setFrameStyle(border_style_ == 1 ? QFrame::StyledPanel | QFrame::Sunken : QFrame::NoFrame);
  view_->setHorizontalScrollBarPolicy((scroll_bars_ & 1) != 0 ? Qt::ScrollBarAsNeeded
                                                              : Qt::ScrollBarAlwaysOff);
  view_->setVerticalScrollBarPolicy((scroll_bars_ & 2) != 0 ? Qt::ScrollBarAsNeeded
                                                            : Qt::ScrollBarAlwaysOff);
  QPalette pal = view_->palette();
  pal.setColor(QPalette::Base, OleColor(back_color_, QApplication::palette().base().color()));
  pal.setColor(QPalette::Text, OleColor(fore_color_, QApplication::palette().text().color()));
  if (!highlight_) {
    // Without HighLight the selection is drawn as the other cells are.
    pal.setColor(QPalette::Highlight, pal.color(QPalette::Base));
    pal.setColor(QPalette::HighlightedText, pal.color(QPalette::Text));
  }
  view_->setPalette(pal);
  Resize(cells_.KnownRows(), Cols());  // the fixed cells may have become headers, or stopped
  for (const auto &[row, height] : row_heights_) {
    if (row < cells_.KnownRows() && height > 0 && ViewRow(row) >= 0)
      view_->setRowHeight(ViewRow(row), height / 15);
  }
  for (const auto &[col, width] : col_widths_) {
    if (col < Cols() && width > 0 && ViewCol(col) >= 0)
      view_->setColumnWidth(ViewCol(col), width / 15);
  }
  // Borders of the fixed cells move by the mouse as AllowUserResizing lets them.
  view_->horizontalHeader()->setSectionResizeMode(
      (allow_user_resizing_ & 1) != 0 ? QHeaderView::Interactive : QHeaderView::Fixed);
  view_->verticalHeader()->setSectionResizeMode(
      (allow_user_resizing_ & 2) != 0 ? QHeaderView::Interactive : QHeaderView::Fixed);
}

QWidget *ZlkGrid::MakeWidget(QWidget *parent) {
  view_ = new QTableView(parent);
  model_ = new GridModel(this, view_);
  view_->setHorizontalHeader(new GridHeader(this, Qt::Horizontal, view_));
  view_->setVerticalHeader(new GridHeader(this, Qt::Vertical, view_));
  view_->setModel(model_);
  corner_ = GridCorner::Install(this, view_);
  view_->horizontalHeader()->setHighlightSections(false);
  view_->verticalHeader()->setHighlightSections(false);
  view_->setEditTriggers(QAbstractItemView::AnyKeyPressed | QAbstractItemView::DoubleClicked |
                         QAbstractItemView::EditKeyPressed);
  view_->setItemDelegate(new CellDelegate(this, view_));
  view_->installEventFilter(new GridKeys(this, view_));
  QItemSelectionModel *selection = view_->selectionModel();
  QObject::connect(selection, &QItemSelectionModel::currentChanged,
                   [this](const QModelIndex &current, const QModelIndex &previous) {
                     if (!current.isValid() || showing_) return;
                     OnCurrentCellChanged(RowOfView(current.row()), ColOfView(current.column()),
                                          previous.isValid() ? RowOfView(previous.row()) : -1);
                   });
  QObject::connect(selection, &QItemSelectionModel::selectionChanged, [this, selection] {
    QItemSelection ranges = selection->selection();
    if (!ranges.isEmpty()) {
      sel_start_row_ = RowOfView(ranges.front().top());
      sel_end_row_ = RowOfView(ranges.front().bottom());
      sel_start_col_ = ColOfView(ranges.front().left());
      sel_end_col_ = ColOfView(ranges.front().right());
    }
    std::vector<Variant> none;
    FireEvent("SelChange", none);
  });
  return view_;
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
  view_ = nullptr;
  model_ = nullptr;
  corner_ = nullptr;
}

void ZlkGrid::OnCellEdited(int row, int col, const std::string &text) {
  if (text == Cell(row, col)) return;
  std::vector<Variant> args = {Variant::Bool(false), Variant::String(text)};
  FireEvent("BeforeColUpdate", args);
  if (args[0].AsInteger().value_or(0) != 0) {
    ShowCell(row, col);  // cancelled: the cell keeps its text
    return;
  }
  cells_.SetCell(row, col, args[1].AsString().value_or(text));
  ShowCell(row, col);
  if (dirty_row_ != row) edited_cols_.clear();
  edited_cols_.insert(col);
  dirty_row_ = row;
  std::vector<Variant> none;
  FireEvent("AfterColUpdate", none);
  FireEvent("Change", none);
}

void ZlkGrid::OnCurrentCellChanged(int row, int col, int previous_row) {
  if (row < 0 || col < 0) return;
  row_ = row;
  col_ = col;
  if (previous_row != row && previous_row == dirty_row_ && allow_update_) WriteRow(previous_row);
}

TableDescriptor *ZlkGrid::Table() const {
  return Module::Get().registry.FindBoundTable(GetFormWindow(), db_list_source_, db_list_table_);
}

std::vector<std::string> ZlkGrid::ListedFields() const {
  return SplitFieldList(zplatform::FromUtf8(db_list_fields_));
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
  if (!table->open && registry.OpenListTable(*table, GetFormWindow(), db_list_source_) != 0) return;
  fill_key_ = KeyOfDbIndex(*table, db_list_index_);
  fill_request_ = MakeExtendedFillRequest(ex_operation_, conditions_, db_list_fields_, fill_key_,
                                          skip_records_, static_cast<int>(max_records_), locks_,
                                          compare_case_, leave_results_);
  // No read asks for more than a page; a grid that may hold more rows than a page reads them
  // a page at a time as they are needed (not while it keeps results or locks records, which
  // are of every record read at once).
  int per_read = std::clamp(static_cast<int>(max_records_), 0, static_cast<int>(INT16_MAX));
  if (page_rows_ > 0) per_read = std::min(per_read, page_rows_);
  fill_request_.max_records = per_read;
  int capacity = std::max(0, std::max(max_rows_, cells_.KnownRows()) - fixed_rows_);
  int page = capacity;
  if (page_rows_ > 0 && per_read > 0 && !leave_results_ && locks_ == 0)
    page = std::min(capacity, per_read * std::max(1, page_rows_ / per_read));
  if (leave_results_ && result_id_ >= 0) ExFree(result_id_);
  result_id_ = -1;
  dirty_row_ = -1;
  cells_.StartFill(fixed_rows_, fixed_cols_, capacity, page, kKeptPages,
                   [this](const GridPageRequest &request) { return ReadPage(request); });
  if (fixed_rows_ > 0 && set_col_names_) {
    std::vector<std::string> names = ListedFields();
    for (size_t i = 0; i < names.size() && fixed_cols_ + static_cast<int>(i) < Cols(); ++i) {
      int col = fixed_cols_ + static_cast<int>(i);
      std::string name = zplatform::ToUtf8(names[i]);
      cells_.SetCell(0, col, name);
      if (set_col_width_ && view_ != nullptr && ViewCol(col) >= 0)
        view_->setColumnWidth(
            ViewCol(col),
            view_->fontMetrics().horizontalAdvance(QString::fromStdString(name)) + 12);
    }
  }
  NumberRows();
  ShowCells();
}

GridPage ZlkGrid::ReadPage(const GridPageRequest &request) {
  GridPage page;
  page.ended = true;
  TableDescriptor *table = Table();
  if (table == nullptr || !table->open) return page;
  KeptPosition kept(*table, fill_key_);  // the table back where it stood
  FillStart start;
  start.position = request.position;
  start.kind = request.start == GridPageRequest::Start::kTop  ? FillStart::Kind::kTop
               : request.start == GridPageRequest::Start::kAt ? FillStart::Kind::kAt
                                                              : FillStart::Kind::kAfter;
  Module &module = Module::Get();
  int first_col = fixed_cols_, cols = Cols();
  ExtendedFillOutcome outcome = RunExtendedReads(
      *table, fill_request_, start, request.rows, [] {},
      [&](const std::vector<std::string> &texts, int32_t position) {
        std::string line;
        for (size_t i = 0; i < texts.size(); ++i)
          line += (i > 0 ? "\t" : "") + zplatform::ToUtf8(texts[i]);
        abort_ = false;
        module.formatted_text.clear();
        std::vector<Variant> args = {Variant::String(line)};
        FireEvent("Format", args);
        if (abort_) {
          page.aborted = true;
          return false;
        }
        if (!module.formatted_text.empty()) {
          line = zplatform::ToUtf8(module.formatted_text);
        } else {
          line = args[0].AsString().value_or("");
        }
        module.formatted_text.clear();
        GridRow row;
        row.position = position;
        row.fingerprint = Fingerprint(texts);
        size_t start = 0;
        for (int col = first_col; col < cols; ++col) {
          size_t tab = line.find('\t', start);
          row.cells.push_back(
              line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
          if (tab == std::string::npos) break;
          start = tab + 1;
        }
        page.rows.push_back(std::move(row));
        return true;
      });
  if (fill_request_.leave_results) result_id_ = outcome.result_id;
  page.next_after = outcome.last_examined;
  page.ended = page.aborted || outcome.status != 0 || outcome.positioning_failed ||
               static_cast<int>(page.rows.size()) < request.rows;
  if (outcome.positioning_failed ||
      (outcome.status > 0 && outcome.status != 9 && !IsLimitStatus(outcome.status)))
    Report(outcome.status, nullptr);
  return page;
}

void ZlkGrid::NumberRows() {
  if (fixed_rows_ == 0 || !set_record_numbers_ || fixed_cols_ == 0) return;
  cells_.NumberRows(fixed_rows_);
}

bool ZlkGrid::WriteRow(int row) {
  TableDescriptor *table = Table();
  if (table == nullptr || !cells_.HasRow(row)) return false;
  int32_t remembered = EngineGetPosition(*table);
  if (Cancelled("BeforeUpdate")) return false;  // the row stays dirty
  int16_t status = EngineGetDirect(*table, cells_.Position(row), -1);
  if (status != 0) {
    Report(status, msg::kVE820);
    return false;
  }
  // The fields of the columns, read from the list as the fill's extended read read it.
  std::vector<ExField> extracted;
  std::vector<int> fields;
  if (!ParseFieldList(*table, zplatform::FromUtf8(db_list_fields_), &extracted, &fields))
    return false;
  auto record_texts = [&] {
    std::vector<std::string> texts;
    for (int field : fields)
      texts.push_back(ReadFieldByNumber(*table, field));
    return texts;
  };
  // Written over a record another process changed since the grid read it, the row's other
  // texts would silently undo that change: a conflict, and the row stays dirty.
  uint64_t read = cells_.Fingerprint(row);
  if (read != 0 && read != Fingerprint(record_texts())) {
    Report(B_CONFLICT, msg::kVE821);
    return false;
  }
  bool any = false;
  for (size_t i = 0; i < fields.size(); ++i) {
    int col = fixed_cols_ + static_cast<int>(i);
    std::string text = Cell(row, col);
    any = any || !text.empty();
    if (edited_cols_.count(col) != 0)
      WriteFieldByNumber(*table, fields[i], zplatform::FromUtf8(text));
  }
  if (!any) return false;
  status = EngineAccess(*table, B_UPDATE, 0);
  if (status != 0) {
    Report(status, msg::kVE821);
    return false;
  }
  cells_.SetFingerprint(row, Fingerprint(record_texts()));
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
  if (!allow_delete_ || row < fixed_rows_ || !cells_.HasRow(row)) return false;
  int32_t position = cells_.Position(row);
  if (position == 0) return false;
  TableDescriptor *table = Table();
  if (table == nullptr) return false;
  int16_t status = EngineGetDirect(*table, position, -1);
  if (status != 0) {
    Report(status, msg::kVE820);
    return true;
  }
  if (Cancelled("BeforeDelete")) return true;
  if (cells_.ReadsAfter(position)) {
    // The fill's next page goes on after this record: after the one before it instead.
    static const int kBefore[] = {B_GET_NEXT, B_GET_PREVIOUS, B_STEP_NEXT, B_STEP_PREVIOUS};
    bool physical = ex_operation_ == 2 || ex_operation_ == 3;
    int before = kBefore[ex_operation_ >= 0 && ex_operation_ <= 3 ? ex_operation_ : 1];
    if (EngineGetDirect(*table, position, physical ? -1 : fill_key_) == 0) {
      int16_t moved = EngineAccess(*table, before, fill_key_);
      if (moved == 0) cells_.ReadAfter(EngineGetPosition(*table));
      if (moved == B_END_OF_FILE) cells_.ReadAfter(-1);
    }
    status = EngineGetDirect(*table, position, -1);
    if (status != 0) {
      Report(status, msg::kVE820);
      return true;
    }
  }
  status = EngineAccess(*table, B_DELETE, 0);
  if (status != 0) {
    Report(status, msg::kVE821);
    return true;
  }
  // The rows below move up; the last one empties.
  cells_.RemoveRow(row);
  if (dirty_row_ == row) dirty_row_ = -1;
  if (dirty_row_ > row) --dirty_row_;
  int current = row_;
  if (current > fixed_rows_ && cells_.Position(current) == 0) --current;
  NumberRows();
  ShowCells();
  row_ = current;
  ShowCurrentCell();
  if (int32_t shown = cells_.Position(current); shown != 0) {
    status = EngineGetDirect(*table, shown, -1);
    if (status != 0) Report(status, msg::kVE820);
  }
  std::vector<Variant> none;
  FireEvent("AfterDelete", none);
  return true;
}

}  // namespace zelko
