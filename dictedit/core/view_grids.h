// What a table view's two grids show, as rows of cell texts (code page): the field grid of
// 512 rows and 6 columns, the index grid of 120 rows and 8, row 0 the headers and column 0
// the row numbers.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "ddf_dictionary.h"

namespace dictedit {

constexpr int kFieldGridRows = 512, kFieldGridCols = 6;
constexpr int kIndexGridRows = 120, kIndexGridCols = 8;
constexpr int kNumberColumnTwips = 375;

using GridCells = std::vector<std::vector<std::string>>;

// The fields, then the named indexes (type "Named Index", the key number as the offset).
GridCells FieldGridCells(const DdfTable &table, bool zero_offset);
GridCells IndexGridCells(const DdfTable &table, bool zero_offset);
// Column widths in twips for a grid `width` twips wide: 375 for the numbers, the rest shared
// 4:2:1:2:2 (fields) or 4:4:1:2:1:1:1 (index).
std::vector<int> FieldGridWidths(int width);
std::vector<int> IndexGridWidths(int width);
// The segments (0-based) from the first to the last of the key that holds `segment`.
std::pair<int, int> KeySegments(const DdfTable &table, int segment);
// "ﾃｰﾌﾞﾙ:%d:%s" with the file id minus 3 and the name.
std::string TableViewTitle(const DdfTable &table);

}  // namespace dictedit
