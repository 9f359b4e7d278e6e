// ZLKGrid: a table of text cells showing the records an extended read selects, one record a
// row and one listed field a column, on a Qt table view. Each data row remembers its
// record's physical position: an edited row is written back to that record when the current
// row leaves it, and the Delete key deletes a row's record.
#pragma once

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "controls/grid_rows.h"
#include "engine/extended_fill.h"
#include "frame/field_control.h"

class QTableView;

namespace zelko {

struct TableDescriptor;
class GridModel;

class ZlkGrid : public ListControl {
 public:
  static const ClassInfo &Info();
  ZlkGrid();
  ~ZlkGrid() override;
  const ClassInfo &Class() const override { return Info(); }

  int GetKind() const override { return kKindGrid; }
  std::string GetListSource() const override { return db_list_source_; }
  std::string GetDbTable() const override { return db_list_table_; }
  int GetUpdateOption() const override { return update_option_; }
  void Refresh() override;

  // Cells (UTF-8); an absent cell reads empty. A large grid reads its rows from the file as
  // they are first asked for.
  std::string Cell(int row, int col) { return cells_.Cell(row, col); }
  bool SetCell(int row, int col, const std::string &text);
  int Rows() { return cells_.Rows(); }  // reads a paged fill to its end
  int Cols() const { return cells_.Cols(); }
  bool DirtyRow(int row) const { return dirty_row_ == row; }
  int HeldPages() const { return cells_.HeldPages(); }
  // The user's actions, as the window reports them.
  void OnCellEdited(int row, int col, const std::string &text);
  void OnCurrentCellChanged(int row, int col, int previous_row);
  bool DeleteRow(int row);
  bool DeleteCurrentRow() { return DeleteRow(row_); }

  // For the window: the fixed rows and columns are its headers, which stay put while the
  // other cells, the ones the view shows, scroll.
  int FixedRows() const { return std::clamp(fixed_rows_, 0, cells_.KnownRows()); }
  int FixedCols() const { return std::clamp(fixed_cols_, 0, cells_.Cols()); }
  int ViewRows() const { return std::max(0, ViewRow(cells_.KnownRows())); }
  int ViewCols() const { return std::max(0, ViewCol(cells_.Cols())); }
  int RowOfView(int view_row) const { return view_row + FixedRows(); }
  int ColOfView(int view_col) const { return view_col + FixedCols(); }
  bool FixedCell(int row, int col) const { return row < fixed_rows_ || col < fixed_cols_; }
  // Pixels of a fixed row's height and a fixed column's width.
  int FixedRowHeight(int row) const;
  int FixedColWidth(int col) const;
  int Alignment(int row, int col) const;  // as TextAlign: 0 left, 1 right, 2 centred
  int CellMaxLength(int col) const;
  bool MoreToRead() const { return cells_.MoreToRead(); }
  void ReadMore() { cells_.ReadMore(); }

 protected:
  QWidget *MakeWidget(QWidget *parent) override;
  void OnWindowCreated() override;
  void OnWindowDestroying() override;

 private:
  static HResult Indexed(ZlkGrid &g, std::vector<Variant> &args, Variant *result,
                         std::map<int, int> ZlkGrid::*values, int fallback, bool columns);
  static HResult SetSize(ZlkGrid &g, bool rows, const Variant &value);
  bool ValidIndex(int index, bool columns) {
    return columns ? index >= 0 && index < Cols() : cells_.HasRow(index);
  }
  void Resize(int rows, int cols);
  int ViewRow(int row) const { return row - FixedRows(); }
  int ViewCol(int col) const { return col - FixedCols(); }
  void ShowCurrentCell();
  void ShowCells();
  void ShowCell(int row, int col);
  // With record numbers: "%4d" down the first column of the data rows.
  void NumberRows();
  void ApplyStyle();
  // One page of the fill (Refresh reads the first, the window the others as it needs them).
  GridPage ReadPage(const GridPageRequest &request);
  // Writes the dirty row back to its record; false when it stays dirty.
  bool WriteRow(int row);
  // BtrieveError with the status; `message` (a VE format) when the handler keeps it.
  void Report(int16_t status, const char *message);
  bool Cancelled(const char *event);
  TableDescriptor *Table() const;
  std::vector<std::string> ListedFields() const;  // code page

  std::string db_list_source_, db_list_table_, db_list_fields_, conditions_, db_list_index_;
  int32_t sel_start_col_ = 0, sel_end_col_ = 0, sel_start_row_ = 0, sel_end_row_ = 0;
  bool abort_ = false;
  int32_t fixed_cols_ = 1, fixed_rows_ = 1;
  int compare_case_ = 0, ex_operation_ = 1, locks_ = 0, skip_records_ = 100;
  bool leave_results_ = false;
  int result_id_ = -1;
  int32_t max_records_ = 300;
  int update_option_ = 1;
  bool grid_lines_ = true, highlight_ = true;
  int fill_style_ = 0;
  int32_t grid_line_width_ = 1, col_ = 1, row_ = 1;
  bool set_col_names_ = false, set_record_numbers_ = false;
  int scroll_bars_ = 3;
  bool allow_update_ = false, allow_delete_ = false, align_fixed_cells_ = false;
  bool set_col_width_ = false;
  int allow_user_resizing_ = 0;
  int appearance_ = 1, border_style_ = 1, mouse_pointer_ = 0;
  bool tab_stop_ = true, enabled_ = true;
  int32_t back_color_ = static_cast<int32_t>(0x80000005),
          fore_color_ = static_cast<int32_t>(0x80000008);
  std::string font_ = "ＭＳ Ｐゴシック,9,400,128";
  std::map<int, int> row_heights_, col_widths_, cell_max_lengths_, text_aligns_, ime_modes_;
  std::map<int, std::string> format_strings_;
  int max_rows_ = 250, max_cols_ = 64, page_rows_ = 1000;

  GridRows cells_;
  // The fill's request and key, kept for the pages read later.
  ExtendedFillRequest fill_request_;
  int fill_key_ = 0;
  int dirty_row_ = -1;
  // The columns edited in the dirty row: only their fields are written back. A cell left as
  // the fill showed it may hold a text cut to 4,096 bytes, a Float's rounded digits or what
  // a Format handler made of it, and writing it would change the stored value.
  std::set<int> edited_cols_;
  bool showing_ = false;  // the control itself sets the window's current cell
  QTableView *view_ = nullptr;
  GridModel *model_ = nullptr;
  QWidget *corner_ = nullptr;
};

}  // namespace zelko
