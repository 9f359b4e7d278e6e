// The cells of a grid, without a window: rows of texts, each data row with the physical
// position of the record it shows. The rows a fill reads from a file may come in pages read
// when first needed (a grid of a million records holds only the pages lately used, and
// where each page starts); rows the user or the program changed are kept apart, so dropping
// a page never loses them.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace zelko {

struct GridRow {
  std::vector<std::string> cells;  // from the fill's first column on, or all for a kept row
  int32_t position = 0;            // 0: no record
  uint64_t fingerprint = 0;        // of the record's listed fields as read; 0: unknown
};

// What a page read is asked for: `rows` rows from the top of the fill, from the record at
// `position`, or after it.
struct GridPageRequest {
  enum class Start { kTop, kAt, kAfter } start = Start::kTop;
  int32_t position = 0;
  int rows = 0;
};

struct GridPage {
  std::vector<GridRow> rows;
  int32_t next_after = -1;  // the record the next page goes on after
  bool ended = false;       // no page follows (end of file, limit status, an error, Abort)
  bool aborted = false;     // Abort stopped it after `rows`
};

using GridPageReader = std::function<GridPage(const GridPageRequest &)>;

class GridRows {
 public:
  // An empty grid of `rows` × `cols` cells, without a fill.
  void Reset(int rows, int cols);
  // A fill into the rows from `first_row` on, cells from `first_col` on, at most `capacity`
  // rows; `page_rows` rows are read at a time, the first page now. `kept_pages` bounds the
  // pages held.
  void StartFill(int first_row, int first_col, int capacity, int page_rows, int kept_pages,
                 GridPageReader reader);

  int Cols() const { return cols_; }
  // The rows as far as the fill has found them; Rows() reads to the end of the fill first.
  int KnownRows() const;
  int Rows();
  bool MoreToRead() const { return filling_ && !complete_; }
  // Reads the next page of the fill.
  void ReadMore();
  // Whether the row exists, reading the fill up to it when needed.
  bool HasRow(int row);

  std::string Cell(int row, int col);
  bool SetCell(int row, int col, const std::string &text);
  int32_t Position(int row);
  uint64_t Fingerprint(int row);
  void SetFingerprint(int row, uint64_t fingerprint);
  // Column 0 shows "%4d" numbers from `from_row` on (1 there): computed for the fill's rows,
  // written into the rows kept apart (whose own column 0 would otherwise go stale).
  void NumberRows(int from_row);
  // Rows from now on; fewer drops rows at the end (the fill read to the end first).
  void Resize(int rows, int cols);
  // Every cell empty, no position; the row count stays.
  void Clear();
  // Removes a row: those below move up and an empty one comes at the end.
  void RemoveRow(int row);
  // Whether the next page would go on after this record.
  bool ReadsAfter(int32_t position) const;
  // The next page goes on after `position` instead, or from the top when `position` is -1.
  void ReadAfter(int32_t position);
  int HeldPages() const;
  // Called when a page read found more rows.
  void OnGrown(std::function<void()> grown) { grown_ = std::move(grown); }

 private:
  struct Page {
    int first = 0, count = 0;  // data rows, counted from the fill's first row
    int32_t first_position = 0;
    std::vector<GridRow> rows;  // empty while not held
    bool held = false;
    uint64_t used = 0;
  };
  // A row kept apart: all its cells; while the fill covers the row, only those before the
  // fill's first column count unless the row is `whole` (changed after the fill read it).
  struct KeptRow {
    GridRow row;
    bool whole = false;
  };
  int FillEnd() const { return first_row_ + found_; }
  bool InFill(int row) const { return filling_ && row >= first_row_ && row < FillEnd(); }
  void ReadUpTo(int row);
  // The fill's row, its page held (read again when it was dropped); nullptr while a page is
  // being read.
  const GridRow *FillRow(int row);
  // The row that holds the record's position and fingerprint.
  const GridRow *Record(int row);
  size_t PageIndex(int data_row) const;
  bool Hold(size_t index);
  void Release();
  GridRow &Keep(int row, bool whole);
  std::string Number(int row) const;

  int rows_ = 0, cols_ = 0;  // at least; the fill may make more rows
  std::map<int, KeptRow> kept_;
  bool filling_ = false, complete_ = true, reading_ = false;
  int first_row_ = 0, first_col_ = 0, capacity_ = 0, page_rows_ = 0, kept_pages_ = 1;
  int found_ = 0;       // rows the fill has found
  int trailing_ = 0;    // empty rows after them, left by removed rows
  int cols_limit_ = 0;  // page cells from this column on read empty (the grid got narrower)
  std::vector<Page> pages_;
  GridPageRequest next_;
  GridPageReader reader_;
  std::function<void()> grown_;
  uint64_t clock_ = 0, generation_ = 0;
  int numbered_from_ = -1;
};

}  // namespace zelko
