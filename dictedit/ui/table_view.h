// A table view: the table's fields above, its index segments below, in two grids with their
// headers and row numbers; a click selects a whole row (a whole key's rows in the index grid
// while data conversion applies).
#pragma once

#include <QWidget>

#include "ddf_dictionary.h"

class QTableWidget;

namespace dictedit {

class TableView : public QWidget {
 public:
  TableView(DdfDictionary &dict, int file_id, QWidget *parent);
  int FileId() const { return file_id_; }
  DdfTable *Table() const { return dict_.FindTableById(file_id_); }
  // Fills both grids from the table (and the title).
  void Refill();
  // The current field row (0-based: the fields, then the named indexes), -1 on an empty row;
  // the segment of the current index row, -1 on an empty one.
  int SelectedField() const;
  int SelectedSegment() const;
  void SelectField(int row);
  void SelectSegment(int row);
  // Grid cell texts by grid row and column (row 0 the headers, column 0 the numbers).
  QString FieldCell(int row, int col) const;
  QString IndexCell(int row, int col) const;
  std::function<void()> on_field_double_click, on_index_double_click;

 protected:
  void resizeEvent(QResizeEvent *event) override;

 private:
  void SelectKeyRows(int row);
  void SizeColumns();

  DdfDictionary &dict_;
  int file_id_;
  bool zero_offset_;
  QTableWidget *fields_, *index_;
};

}  // namespace dictedit
