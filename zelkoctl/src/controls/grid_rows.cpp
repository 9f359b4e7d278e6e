#include "controls/grid_rows.h"

#include <algorithm>
#include <cstdio>

namespace zelko {

void GridRows::Reset(int rows, int cols) {
  ++generation_;
  kept_.clear();
  pages_.clear();
  filling_ = false;
  complete_ = true;
  found_ = trailing_ = 0;
  rows_ = std::max(rows, 0);
  cols_ = cols_limit_ = std::max(cols, 0);
  numbered_from_ = -1;
}

void GridRows::StartFill(int first_row, int first_col, int capacity, int page_rows, int kept_pages,
                         GridPageReader reader) {
  ++generation_;
  rows_ = KnownRows();  // a fill grows the rows, never shrinks them
  // The rows the fill covers lose their texts from its first column on and their records.
  for (auto &[row, kept] : kept_) {
    if (row < first_row) continue;
    for (size_t c = static_cast<size_t>(std::max(first_col, 0)); c < kept.row.cells.size(); ++c)
      kept.row.cells[c].clear();
    kept.row.position = 0;
    kept.row.fingerprint = 0;
    kept.whole = false;
  }
  pages_.clear();
  filling_ = true;
  complete_ = false;
  first_row_ = std::max(first_row, 0);
  first_col_ = std::max(first_col, 0);
  capacity_ = std::max(capacity, 0);
  page_rows_ = page_rows > 0 ? page_rows : capacity_;
  kept_pages_ = std::max(kept_pages, 1);
  found_ = trailing_ = 0;
  cols_limit_ = cols_;
  next_ = GridPageRequest{};
  reader_ = std::move(reader);
  numbered_from_ = -1;
  ReadMore();
}

int GridRows::KnownRows() const {
  return std::max(rows_, filling_ ? FillEnd() + trailing_ : 0);
}

int GridRows::Rows() {
  while (MoreToRead() && !reading_)
    ReadMore();
  return KnownRows();
}

void GridRows::ReadUpTo(int row) {
  while (MoreToRead() && !reading_ && row >= FillEnd())
    ReadMore();
}

bool GridRows::HasRow(int row) {
  ReadUpTo(row);
  return row >= 0 && row < KnownRows();
}

void GridRows::ReadMore() {
  if (!MoreToRead() || reading_) return;
  int wanted = std::min(page_rows_, capacity_ - found_);
  if (wanted <= 0 || !reader_) {
    complete_ = true;
    return;
  }
  GridPageRequest request = next_;
  request.rows = wanted;
  uint64_t generation = generation_;
  reading_ = true;
  GridPage read = reader_(request);
  reading_ = false;
  if (generation != generation_) return;  // a handler refilled or changed the grid meanwhile
  int count = std::min(static_cast<int>(read.rows.size()), wanted);
  read.rows.resize(static_cast<size_t>(count));
  if (count > 0) {
    Page page;
    page.first = found_;
    page.count = count;
    page.first_position = read.rows.front().position;
    page.rows = std::move(read.rows);
    page.held = true;
    page.used = ++clock_;
    pages_.push_back(std::move(page));
    found_ += count;
  }
  next_ = GridPageRequest{GridPageRequest::Start::kAfter, read.next_after, 0};
  complete_ = read.ended || count == 0 || read.next_after < 0 || found_ >= capacity_;
  Release();
  if (count > 0 && grown_) grown_();
}

size_t GridRows::PageIndex(int data_row) const {
  auto after = std::upper_bound(pages_.begin(), pages_.end(), data_row,
                                [](int row, const Page &page) { return row < page.first; });
  return static_cast<size_t>(after - pages_.begin()) - 1;
}

bool GridRows::Hold(size_t index) {
  Page &page = pages_[index];
  if (page.held) {
    page.used = ++clock_;
    return true;
  }
  if (reading_ || !reader_) return false;
  GridPageRequest request{GridPageRequest::Start::kAt, page.first_position, page.count};
  uint64_t generation = generation_;
  reading_ = true;
  GridPage read = reader_(request);
  reading_ = false;
  if (generation != generation_) return false;
  Page &again = pages_[index];
  // Records deleted by others meanwhile leave empty rows; the rows below stay where they are.
  read.rows.resize(static_cast<size_t>(again.count));
  again.rows = std::move(read.rows);
  again.held = true;
  again.used = ++clock_;
  if (read.aborted) complete_ = true;
  Release();
  return true;
}

void GridRows::Release() {
  int held = HeldPages();
  while (held > kept_pages_) {
    Page *oldest = nullptr;
    for (Page &page : pages_) {
      if (page.held && (oldest == nullptr || page.used < oldest->used)) oldest = &page;
    }
    oldest->rows.clear();
    oldest->rows.shrink_to_fit();
    oldest->held = false;
    --held;
  }
}

int GridRows::HeldPages() const {
  return static_cast<int>(
      std::count_if(pages_.begin(), pages_.end(), [](const Page &page) { return page.held; }));
}

const GridRow *GridRows::FillRow(int row) {
  int data_row = row - first_row_;
  size_t index = PageIndex(data_row);
  if (!Hold(index)) return nullptr;
  const Page &page = pages_[index];
  return &page.rows[static_cast<size_t>(data_row - page.first)];
}

void GridRows::NumberRows(int from_row) {
  numbered_from_ = std::max(from_row, 0);
  for (auto &[row, kept] : kept_) {
    bool covers_first = kept.whole || !InFill(row) || first_col_ > 0;
    if (row >= numbered_from_ && covers_first && !kept.row.cells.empty())
      kept.row.cells[0] = Number(row);
  }
}

std::string GridRows::Number(int row) const {
  char number[16];
  std::snprintf(number, sizeof number, "%4d", row - numbered_from_ + 1);
  return number;
}

std::string GridRows::Cell(int row, int col) {
  if (row < 0 || col < 0 || col >= cols_) return std::string();
  if (row >= FillEnd()) ReadUpTo(row);
  if (row >= KnownRows()) return std::string();
  bool fill = InFill(row);
  if (auto kept = kept_.find(row);
      kept != kept_.end() && (kept->second.whole || !fill || col < first_col_)) {
    const auto &cells = kept->second.row.cells;
    return static_cast<size_t>(col) < cells.size() ? cells[static_cast<size_t>(col)]
                                                   : std::string();
  }
  if (col == 0 && numbered_from_ >= 0 && row >= numbered_from_ && (!fill || first_col_ > 0))
    return Number(row);
  if (!fill || col < first_col_ || col >= cols_limit_) return std::string();
  const GridRow *filled = FillRow(row);
  size_t at = static_cast<size_t>(col - first_col_);
  return filled != nullptr && at < filled->cells.size() ? filled->cells[at] : std::string();
}

GridRow &GridRows::Keep(int row, bool whole) {
  auto found = kept_.find(row);
  bool fill = InFill(row);
  if (found != kept_.end() && (found->second.whole || !whole || !fill)) return found->second.row;
  // Made from what the row shows now, computed numbers and the fill's texts included.
  KeptRow kept;
  kept.whole = whole || !fill;
  kept.row.cells.resize(static_cast<size_t>(cols_));
  for (int c = 0; c < cols_; ++c)
    kept.row.cells[static_cast<size_t>(c)] = Cell(row, c);
  if (fill && whole) {
    if (const GridRow *filled = FillRow(row)) {
      kept.row.position = filled->position;
      kept.row.fingerprint = filled->fingerprint;
    }
  } else if (found != kept_.end()) {
    kept.row.position = found->second.row.position;
    kept.row.fingerprint = found->second.row.fingerprint;
  }
  KeptRow &slot = kept_[row];
  slot = std::move(kept);
  return slot.row;
}

bool GridRows::SetCell(int row, int col, const std::string &text) {
  if (col < 0 || col >= cols_ || !HasRow(row)) return false;
  GridRow &kept = Keep(row, InFill(row) && col >= first_col_);
  if (kept.cells.size() < static_cast<size_t>(cols_)) kept.cells.resize(static_cast<size_t>(cols_));
  kept.cells[static_cast<size_t>(col)] = text;
  return true;
}

const GridRow *GridRows::Record(int row) {
  if (!HasRow(row)) return nullptr;
  auto kept = kept_.find(row);
  if (InFill(row) && (kept == kept_.end() || !kept->second.whole)) return FillRow(row);
  return kept != kept_.end() ? &kept->second.row : nullptr;
}

int32_t GridRows::Position(int row) {
  const GridRow *record = Record(row);
  return record != nullptr ? record->position : 0;
}

uint64_t GridRows::Fingerprint(int row) {
  const GridRow *record = Record(row);
  return record != nullptr ? record->fingerprint : 0;
}

void GridRows::SetFingerprint(int row, uint64_t fingerprint) {
  if (HasRow(row)) Keep(row, true).fingerprint = fingerprint;
}

void GridRows::Resize(int rows, int cols) {
  rows = std::max(rows, 0);
  cols = std::max(cols, 0);
  if (rows < KnownRows()) {
    ++generation_;
    kept_.erase(kept_.lower_bound(rows), kept_.end());
    if (filling_ && FillEnd() > rows) {
      found_ = std::max(0, rows - first_row_);
      while (!pages_.empty() && pages_.back().first >= found_)
        pages_.pop_back();
      if (!pages_.empty()) {
        Page &last = pages_.back();
        last.count = std::min(last.count, found_ - last.first);
        if (last.held) last.rows.resize(static_cast<size_t>(last.count));
      }
      complete_ = true;
    }
    trailing_ = filling_ ? std::clamp(rows - FillEnd(), 0, trailing_) : 0;
  }
  rows_ = rows;
  if (cols < cols_) {
    cols_limit_ = std::min(cols_limit_, cols);
    for (auto &[row, kept] : kept_) {
      if (kept.row.cells.size() > static_cast<size_t>(cols))
        kept.row.cells.resize(static_cast<size_t>(cols));
    }
  }
  cols_ = cols;
}

void GridRows::Clear() {
  int rows = KnownRows();
  Reset(rows, cols_);
}

void GridRows::RemoveRow(int row) {
  if (!HasRow(row)) return;
  ++generation_;
  if (InFill(row)) {
    int data_row = row - first_row_;
    size_t index = PageIndex(data_row);
    if (Hold(index)) {
      Page &page = pages_[index];
      page.rows.erase(page.rows.begin() + (data_row - page.first));
      if (!page.rows.empty()) page.first_position = page.rows.front().position;
    }
    Page &page = pages_[index];
    --page.count;
    for (size_t i = index + 1; i < pages_.size(); ++i)
      --pages_[i].first;
    if (page.count == 0) pages_.erase(pages_.begin() + static_cast<long>(index));
    --found_;
    --capacity_;  // the grid was full at the same row before
    ++trailing_;
  }
  std::map<int, KeptRow> moved;
  for (auto &[at, kept] : kept_) {
    if (at < row) moved.emplace(at, std::move(kept));
    if (at > row) moved.emplace(at - 1, std::move(kept));
  }
  kept_ = std::move(moved);
}

bool GridRows::ReadsAfter(int32_t position) const {
  return MoreToRead() && next_.start == GridPageRequest::Start::kAfter &&
         next_.position == position;
}

void GridRows::ReadAfter(int32_t position) {
  next_ = position < 0 ? GridPageRequest{}
                       : GridPageRequest{GridPageRequest::Start::kAfter, position, 0};
}

}  // namespace zelko
