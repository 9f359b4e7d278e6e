// The grid's window side: a table model over the grid's cells (rows a fill has not read yet
// are fetched as the view scrolls to them), the cell editor limited to CellMaxLength, and the
// Delete key.
#pragma once

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QStyledItemDelegate>

namespace zelko {

class ZlkGrid;

class GridModel : public QAbstractTableModel {
 public:
  GridModel(ZlkGrid *grid, QObject *parent);
  int rowCount(const QModelIndex &parent = QModelIndex()) const override;
  int columnCount(const QModelIndex &parent = QModelIndex()) const override;
  QVariant data(const QModelIndex &index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex &index) const override;
  bool setData(const QModelIndex &index, const QVariant &value, int role) override;
  bool canFetchMore(const QModelIndex &parent) const override;
  void fetchMore(const QModelIndex &parent) override;
  // Brings the rows and columns shown up to the grid's and repaints every cell.
  void Sync();
  void CellChanged(int view_row, int view_col);
  // Rows read while the view paints (or asks for a cell) are shown once that is over.
  void SyncLater() const;

 private:
  ZlkGrid *grid_;
  int rows_ = 0, cols_ = 0;
  mutable bool sync_queued_ = false;
};

// The fixed rows above the columns (or the fixed columns beside the rows): each section shows
// the fixed cells of its column (row), stacked.
class GridHeader : public QHeaderView {
 public:
  GridHeader(ZlkGrid *grid, Qt::Orientation orientation, QWidget *parent)
      : QHeaderView(orientation, parent), grid_(grid) {}
  QSize sizeHint() const override;

 protected:
  void paintSection(QPainter *painter, const QRect &rect, int logical_index) const override;

 private:
  ZlkGrid *grid_;
};

// The fixed cells where the fixed rows and columns meet, drawn over the view's corner.
class GridCorner : public QObject {
 public:
  // The corner widget, drawn by the grid from now on.
  static QWidget *Install(ZlkGrid *grid, QAbstractItemView *view);
  bool eventFilter(QObject *watched, QEvent *event) override;

 private:
  GridCorner(ZlkGrid *grid, QObject *parent) : QObject(parent), grid_(grid) {}
  ZlkGrid *grid_;
};

// Draws one fixed cell as a header section.
void DrawFixedCell(const ZlkGrid &grid, QWidget *on, QPainter *painter, const QRect &rect,
                   const QString &text, int row, int col);

class CellDelegate : public QStyledItemDelegate {
 public:
  CellDelegate(ZlkGrid *grid, QObject *parent) : QStyledItemDelegate(parent), grid_(grid) {}
  QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                        const QModelIndex &index) const override;

 private:
  ZlkGrid *grid_;
};

// The Delete key outside the cell editor deletes the current row's record.
class GridKeys : public QObject {
 public:
  GridKeys(ZlkGrid *grid, QObject *parent) : QObject(parent), grid_(grid) {}
  bool eventFilter(QObject *watched, QEvent *event) override;

 private:
  ZlkGrid *grid_;
};

}  // namespace zelko
