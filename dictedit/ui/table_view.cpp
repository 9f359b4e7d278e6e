#include "table_view.h"

#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QVBoxLayout>

#include "btrieve_files.h"
#include "qt_editor_ui.h"
#include "view_grids.h"

namespace dictedit {

namespace {

// The row headers are as wide as SizeColumns makes them. Qt's own size hint measures the
// text of up to 200 row numbers, and with a view a table (hundreds of them) that measuring
// was a quarter of opening a dictionary.
class RowHeader : public QHeaderView {
 public:
  explicit RowHeader(QWidget *parent) : QHeaderView(Qt::Vertical, parent) {
    setSectionsClickable(true);  // as Qt's own row header
    setHighlightSections(true);
  }
  QSize sizeHint() const override { return QSize(minimumWidth(), defaultSectionSize()); }
};

QTableWidget *MakeGrid(int rows, int cols, QWidget *parent) {
  // Row 0 and column 0 of the grid are the table's headers.
  // The rows are added once the row header is ours: Qt's would be measured first.
  auto *grid = new QTableWidget(parent);
  grid->setVerticalHeader(new RowHeader(grid));
  grid->setColumnCount(cols - 1);
  grid->setRowCount(rows - 1);
  grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grid->setSelectionBehavior(QAbstractItemView::SelectRows);
  grid->setSelectionMode(QAbstractItemView::ExtendedSelection);
  grid->verticalHeader()->setDefaultSectionSize(20);
  grid->horizontalHeader()->setHighlightSections(false);
  return grid;
}

void Fill(QTableWidget *grid, const GridCells &cells) {
  QStringList headers, numbers;
  for (size_t c = 1; c < cells[0].size(); ++c)
    headers << Q(cells[0][c]);
  grid->setHorizontalHeaderLabels(headers);
  for (size_t r = 1; r < cells.size(); ++r) {
    numbers << Q(cells[r][0]);
    for (size_t c = 1; c < cells[r].size(); ++c) {
      auto *item = grid->item(static_cast<int>(r - 1), static_cast<int>(c - 1));
      // Most of the grid's rows are empty: an item for each of their cells made a view of
      // a dictionary of 500 tables (one view a table) take 650 MB and 10 s to open.
      if (item == nullptr && cells[r][c].empty()) continue;
      if (item == nullptr) {
        item = new QTableWidgetItem();
        grid->setItem(static_cast<int>(r - 1), static_cast<int>(c - 1), item);
      }
      item->setText(Q(cells[r][c]));
    }
  }
  // One notice for all the row numbers: the notice of each label laid the header out again.
  QAbstractItemModel *model = grid->model();
  {
    const QSignalBlocker quiet(model);
    grid->setVerticalHeaderLabels(numbers);
  }
  emit model->headerDataChanged(Qt::Vertical, 0, grid->rowCount() - 1);
}

// A grid's cell by grid row and column: row 0 the headers, column 0 the numbers.
QString CellOf(const QTableWidget *grid, int row, int col) {
  if (row < 0 || col < 0 || row > grid->rowCount() || col > grid->columnCount()) return QString();
  const QTableWidgetItem *item = row == 0
                                     ? (col > 0 ? grid->horizontalHeaderItem(col - 1) : nullptr)
                                 : col == 0 ? grid->verticalHeaderItem(row - 1)
                                            : grid->item(row - 1, col - 1);
  return item != nullptr ? item->text() : QString();
}

}  // namespace

TableView::TableView(DdfDictionary &dict, int file_id, QWidget *parent)
    : QWidget(parent), dict_(dict), file_id_(file_id), zero_offset_(dict.options.zero_offset) {
  auto *layout = new QVBoxLayout(this);
  fields_ = MakeGrid(kFieldGridRows, kFieldGridCols, this);
  index_ = MakeGrid(kIndexGridRows, kIndexGridCols, this);
  layout->addWidget(new QLabel(QStringLiteral("フィールド"), this));
  layout->addWidget(fields_, 1);
  layout->addWidget(new QLabel(QStringLiteral("インデックス"), this));
  layout->addWidget(index_, 1);
  fields_->setSelectionMode(QAbstractItemView::SingleSelection);
  connect(index_, &QTableWidget::cellClicked, this, [this](int row, int) { SelectKeyRows(row); });
  connect(fields_, &QTableWidget::cellDoubleClicked, this, [this](int, int) {
    if (on_field_double_click) on_field_double_click();
  });
  connect(index_, &QTableWidget::cellDoubleClicked, this, [this](int, int) {
    if (on_index_double_click) on_index_double_click();
  });
  Refill();
}

void TableView::Refill() {
  DdfTable *table = Table();
  if (table == nullptr) return;
  setWindowTitle(Q(TableViewTitle(*table)));
  Fill(fields_, FieldGridCells(*table, zero_offset_));
  Fill(index_, IndexGridCells(*table, zero_offset_));
  SizeColumns();
}

void TableView::SizeColumns() {
  // Twips to pixels at 96 dots an inch: 15 a pixel.
  // The grids fill the view but for its margins and a scroll bar.
  int width = std::max(1, this->width() - 2 * layout()->contentsMargins().left() - 20) * 15;
  std::vector<int> field_widths = FieldGridWidths(width), index_widths = IndexGridWidths(width);
  fields_->verticalHeader()->setFixedWidth(field_widths[0] / 15);
  index_->verticalHeader()->setFixedWidth(index_widths[0] / 15);
  for (size_t c = 1; c < field_widths.size(); ++c)
    fields_->setColumnWidth(static_cast<int>(c - 1), field_widths[c] / 15);
  for (size_t c = 1; c < index_widths.size(); ++c)
    index_->setColumnWidth(static_cast<int>(c - 1), index_widths[c] / 15);
}

void TableView::resizeEvent(QResizeEvent *event) {
  QWidget::resizeEvent(event);
  SizeColumns();
}

int TableView::SelectedField() const {
  DdfTable *table = Table();
  int row = fields_->currentRow();
  return table != nullptr && row >= 0 && row < table->field_count() + table->named_index_count()
             ? row
             : -1;
}

int TableView::SelectedSegment() const {
  DdfTable *table = Table();
  int row = index_->currentRow();
  return table != nullptr && row >= 0 && row < table->segment_count() ? row : -1;
}

void TableView::SelectField(int row) {
  fields_->setCurrentCell(row, 0);
  fields_->selectRow(row);
}

void TableView::SelectSegment(int row) {
  index_->setCurrentCell(row, 0);
  SelectKeyRows(row);
}

void TableView::SelectKeyRows(int row) {
  index_->clearSelection();
  DdfTable *table = Table();
  int first = row, last = row;
  // While data conversion applies a key is edited whole: all its rows are selected.
  if (table != nullptr && row < table->segment_count() && DataConversionApplies(dict_, *table))
    std::tie(first, last) = KeySegments(*table, row);
  index_->setRangeSelected(QTableWidgetSelectionRange(first, 0, last, index_->columnCount() - 1),
                           true);
}

QString TableView::FieldCell(int row, int col) const {
  return CellOf(fields_, row, col);
}

QString TableView::IndexCell(int row, int col) const {
  return CellOf(index_, row, col);
}

}  // namespace dictedit
