#include "controls/grid_view.h"

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPalette>
#include <QTableView>
#include <QTimer>

#include "code_page_text_validator.h"
#include "controls/zlkgrid.h"

namespace zelko {

GridModel::GridModel(ZlkGrid *grid, QObject *parent) : QAbstractTableModel(parent), grid_(grid) {
  rows_ = grid_->ViewRows();
  cols_ = grid_->ViewCols();
}

int GridModel::rowCount(const QModelIndex &parent) const {
  return parent.isValid() ? 0 : rows_;
}

int GridModel::columnCount(const QModelIndex &parent) const {
  return parent.isValid() ? 0 : cols_;
}

QVariant GridModel::data(const QModelIndex &index, int role) const {
  if (!index.isValid()) return QVariant();
  int row = grid_->RowOfView(index.row()), col = grid_->ColOfView(index.column());
  bool fixed = grid_->FixedCell(row, col);
  switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole: {
      return QString::fromStdString(grid_->Cell(row, col));
    }
    case Qt::TextAlignmentRole:
      switch (grid_->Alignment(row, col)) {
        case 1:
          return QVariant::fromValue(Qt::AlignVCenter | Qt::AlignRight);
        case 2:
          return QVariant::fromValue(Qt::AlignVCenter | Qt::AlignHCenter);
        default:
          return QVariant::fromValue(Qt::AlignVCenter | Qt::AlignLeft);
      }
    case Qt::BackgroundRole:
      return fixed ? QVariant(QApplication::palette().button()) : QVariant();
    case Qt::ForegroundRole:
      return fixed ? QVariant(QApplication::palette().buttonText()) : QVariant();
    default:
      return QVariant();
  }
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole) return QVariant();
  // The fixed cells of the column (row), one line each.
  QStringList texts;
  if (orientation == Qt::Horizontal) {
    for (int r = 0; r < grid_->FixedRows(); ++r)
      texts << QString::fromStdString(grid_->Cell(r, grid_->ColOfView(section)));
  } else {
    for (int c = 0; c < grid_->FixedCols(); ++c)
      texts << QString::fromStdString(grid_->Cell(grid_->RowOfView(section), c));
  }
  return texts.join('\n');
}

Qt::ItemFlags GridModel::flags(const QModelIndex &index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  if (grid_->FixedCell(grid_->RowOfView(index.row()), grid_->ColOfView(index.column())))
    return Qt::ItemIsEnabled;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
}

bool GridModel::setData(const QModelIndex &index, const QVariant &value, int role) {
  if (!index.isValid() || role != Qt::EditRole) return false;
  grid_->OnCellEdited(grid_->RowOfView(index.row()), grid_->ColOfView(index.column()),
                      value.toString().toStdString());
  return true;
}

bool GridModel::canFetchMore(const QModelIndex &parent) const {
  return !parent.isValid() && grid_->MoreToRead();
}

void GridModel::fetchMore(const QModelIndex &parent) {
  if (parent.isValid()) return;
  grid_->ReadMore();
  Sync();
}

void GridModel::Sync() {
  sync_queued_ = false;
  int rows = grid_->ViewRows(), cols = grid_->ViewCols();
  if (cols > cols_) {
    beginInsertColumns(QModelIndex(), cols_, cols - 1);
    cols_ = cols;
    endInsertColumns();
  } else if (cols < cols_) {
    beginRemoveColumns(QModelIndex(), cols, cols_ - 1);
    cols_ = cols;
    endRemoveColumns();
  }
  if (rows > rows_) {
    beginInsertRows(QModelIndex(), rows_, rows - 1);
    rows_ = rows;
    endInsertRows();
  } else if (rows < rows_) {
    beginRemoveRows(QModelIndex(), rows, rows_ - 1);
    rows_ = rows;
    endRemoveRows();
  }
  if (rows_ > 0 && cols_ > 0) emit dataChanged(index(0, 0), index(rows_ - 1, cols_ - 1));
  if (cols_ > 0) emit headerDataChanged(Qt::Horizontal, 0, cols_ - 1);
  if (rows_ > 0) emit headerDataChanged(Qt::Vertical, 0, rows_ - 1);
}

void GridModel::CellChanged(int view_row, int view_col) {
  if (view_row >= rows_ || view_col >= cols_) return;
  if (view_row < 0 && view_col >= 0) {
    emit headerDataChanged(Qt::Horizontal, view_col, view_col);
  } else if (view_col < 0 && view_row >= 0) {
    emit headerDataChanged(Qt::Vertical, view_row, view_row);
  } else if (view_row >= 0 && view_col >= 0) {
    emit dataChanged(index(view_row, view_col), index(view_row, view_col));
  }
}

void GridModel::SyncLater() const {
  if (sync_queued_) return;
  sync_queued_ = true;
  auto *self = const_cast<GridModel *>(this);
  QTimer::singleShot(0, self, [self] {
    if (self->sync_queued_) self->Sync();
  });
}

void DrawFixedCell(const ZlkGrid &grid, QWidget *on, QPainter *painter, const QRect &rect,
                   const QString &text, int row, int col) {
  QStyleOptionHeader option;
  option.initFrom(on);
  option.rect = rect;
  option.text = text;
  option.state |= QStyle::State_Raised;
  int align = grid.Alignment(row, col);
  option.textAlignment = Qt::AlignVCenter | (align == 1   ? Qt::AlignRight
                                             : align == 2 ? Qt::AlignHCenter
                                                          : Qt::AlignLeft);
  on->style()->drawControl(QStyle::CE_Header, &option, painter, on);
}

QSize GridHeader::sizeHint() const {
  QSize size = QHeaderView::sizeHint();
  int extent = 0;
  if (orientation() == Qt::Horizontal) {
    for (int r = 0; r < grid_->FixedRows(); ++r)
      extent += grid_->FixedRowHeight(r);
    size.setHeight(extent);
  } else {
    for (int c = 0; c < grid_->FixedCols(); ++c)
      extent += grid_->FixedColWidth(c);
    size.setWidth(extent);
  }
  return size;
}

void GridHeader::paintSection(QPainter *painter, const QRect &rect, int logical_index) const {
  painter->save();
  int at = 0;
  if (orientation() == Qt::Horizontal) {
    int col = grid_->ColOfView(logical_index);
    for (int r = 0; r < grid_->FixedRows(); ++r) {
      int height = grid_->FixedRowHeight(r);
      DrawFixedCell(*grid_, viewport(), painter,
                    QRect(rect.x(), rect.y() + at, rect.width(), height),
                    QString::fromStdString(grid_->Cell(r, col)), r, col);
      at += height;
    }
  } else {
    int row = grid_->RowOfView(logical_index);
    for (int c = 0; c < grid_->FixedCols(); ++c) {
      int width = grid_->FixedColWidth(c);
      DrawFixedCell(*grid_, viewport(), painter,
                    QRect(rect.x() + at, rect.y(), width, rect.height()),
                    QString::fromStdString(grid_->Cell(row, c)), row, c);
      at += width;
    }
  }
  painter->restore();
}

QWidget *GridCorner::Install(ZlkGrid *grid, QAbstractItemView *view) {
  auto *corner = view->findChild<QAbstractButton *>();
  if (corner != nullptr) corner->installEventFilter(new GridCorner(grid, view));
  return corner;
}

bool GridCorner::eventFilter(QObject *watched, QEvent *event) {
  if (event->type() != QEvent::Paint) return false;
  auto *corner = static_cast<QWidget *>(watched);
  QPainter painter(corner);
  int y = 0;
  for (int r = 0; r < grid_->FixedRows(); ++r) {
    int x = 0, height = grid_->FixedRowHeight(r);
    for (int c = 0; c < grid_->FixedCols(); ++c) {
      int width = grid_->FixedColWidth(c);
      DrawFixedCell(*grid_, corner, &painter, QRect(x, y, width, height),
                    QString::fromStdString(grid_->Cell(r, c)), r, c);
      x += width;
    }
    y += height;
  }
  return true;
}

QWidget *CellDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                                    const QModelIndex &index) const {
  QWidget *editor = QStyledItemDelegate::createEditor(parent, option, index);
  const int max_length = grid_->CellMaxLength(grid_->ColOfView(index.column()));
  // CellMaxLength holds back typing, counted in code-page bytes, and the editor takes no
  // character the code page lacks. QLineEdit's own limit would cut a longer cell text as the
  // editor opens, and leaving the cell would write it back cut.
  if (auto *line = qobject_cast<QLineEdit *>(editor); line != nullptr) {
    auto *validator =
        new zplatform::CodePageTextValidator([max_length] { return max_length; }, line);
    // The cell's text, which setEditorData gives the editor next.
    validator->Showing(index.data(Qt::EditRole).toString().toStdString());
    line->setValidator(validator);
  }
  return editor;
}

bool GridKeys::eventFilter(QObject *watched, QEvent *event) {
  if (event->type() != QEvent::KeyPress || static_cast<QKeyEvent *>(event)->key() != Qt::Key_Delete)
    return false;
  // While a cell is edited, its editor has the keys.
  if (qobject_cast<QTableView *>(watched) == nullptr) return false;
  return grid_->DeleteCurrentRow();
}

}  // namespace zelko
