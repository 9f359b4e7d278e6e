#include "view_grids.h"

#include <cstdio>

#include "btrieve_files.h"
#include "zplatform/codepage.h"

namespace dictedit {

namespace {

std::string Printed(const char *format, int value) {
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

GridCells Numbered(int rows, int cols, std::vector<const char *> headers, bool zero_offset) {
  GridCells cells(static_cast<size_t>(rows), std::vector<std::string>(static_cast<size_t>(cols)));
  for (int c = 0; c < cols; ++c)
    cells[0][static_cast<size_t>(c)] = zplatform::FromUtf8(headers[static_cast<size_t>(c)]);
  for (int r = 1; r < rows; ++r)
    cells[static_cast<size_t>(r)][0] = Printed("%3d", zero_offset ? r - 1 : r);
  return cells;
}

std::vector<int> Shared(int width, std::vector<int> ratios) {
  int parts = 0;
  for (int ratio : ratios)
    parts += ratio;
  std::vector<int> widths = {kNumberColumnTwips};
  int rest = std::max(0, width - kNumberColumnTwips);
  for (int ratio : ratios)
    widths.push_back(rest * ratio / parts);
  return widths;
}

std::string Word(bool on, const char *yes, const char *no) {
  return zplatform::FromUtf8(on ? yes : no);
}

}  // namespace

GridCells FieldGridCells(const DdfTable &table, bool zero_offset) {
  GridCells cells =
      Numbered(kFieldGridRows, kFieldGridCols,
               {"ID", "名前", "データ型", "サイズ", "オフセット", "小数点以下桁数"}, zero_offset);
  int offset = 0;
  for (int i = 0; i < table.field_count() && i + 1 < kFieldGridRows; ++i) {
    const DdfField &field = *table.fields[static_cast<size_t>(i)];
    auto &row = cells[static_cast<size_t>(i + 1)];
    row[1] = field.name;
    row[2] = zplatform::FromUtf8(TypeNameOfCode(field.data_type));
    row[3] = Printed("%6d", field.size);
    row[4] = Printed("%6d", offset);
    row[5] = field.decimals != 0 ? Printed("%2d", field.decimals) : std::string();
    if (!IsVariableType(field.data_type)) offset += field.size;
  }
  // The named indexes follow the fields, each with its key number as its offset.
  for (int i = 0; i < table.named_index_count(); ++i) {
    int at = table.field_count() + i + 1;
    if (at >= kFieldGridRows) break;
    const DdfField &named = *table.named_indexes[static_cast<size_t>(i)];
    auto &row = cells[static_cast<size_t>(at)];
    row[1] = named.name;
    row[2] = zplatform::FromUtf8(TypeNameOfCode(kNamedIndexType));
    row[3] = Printed("%6d", named.size);
    row[4] = Printed("%6d", named.offset);
  }
  return cells;
}

GridCells IndexGridCells(const DdfTable &table, bool zero_offset) {
  GridCells cells = Numbered(
      kIndexGridRows, kIndexGridCols,
      {"ID", "インデックス", "インデックス名", "重複", "修正", "セグメント", "ソート", "ヌル"},
      zero_offset);
  for (int i = 0; i < table.segment_count() && i + 1 < kIndexGridRows; ++i) {
    const DdfIndexSegment &segment = *table.segments[static_cast<size_t>(i)];
    auto &row = cells[static_cast<size_t>(i + 1)];
    const DdfField *field = table.FieldById(segment.field_id);
    row[1] = field != nullptr ? field->name : std::string();
    // The name stands on the key's first segment.
    if (KeySegments(table, i).first == i) {
      if (const DdfField *named = table.NameOfKey(KeyNumberOfSegment(table, i)))
        row[2] = named->name;
    }
    row[3] = Word(segment.flags & 1, "可", "不可");
    row[4] = Word(segment.flags & 2, "可", "不可");
    row[5] = Word(segment.flags & kFlagSegmented, "あり", "なし");
    row[6] = Word(segment.flags & 0x40, "降順", "昇順");
    row[7] = Word(segment.flags & 8, "可", "不可");
  }
  return cells;
}

std::vector<int> FieldGridWidths(int width) {
  return Shared(width, {4, 2, 1, 2, 2});
}

std::vector<int> IndexGridWidths(int width) {
  return Shared(width, {4, 4, 1, 2, 1, 1, 1});
}

std::pair<int, int> KeySegments(const DdfTable &table, int segment) {
  int first = segment, last = segment;
  while (first > 0 && (table.segments[static_cast<size_t>(first - 1)]->flags & kFlagSegmented))
    --first;
  while (last + 1 < table.segment_count() &&
         (table.segments[static_cast<size_t>(last)]->flags & kFlagSegmented))
    ++last;
  return {first, last};
}

std::string TableViewTitle(const DdfTable &table) {
  std::string format = zplatform::FromUtf8("ﾃｰﾌﾞﾙ:%d:%s");
  char title[128];
  std::snprintf(title, sizeof title, format.c_str(), table.file_id - 3, table.name.c_str());
  return title;
}

}  // namespace dictedit
