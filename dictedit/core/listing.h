// The listing of a table's definition: pages of text lines at fixed places (logical units of
// one screen pixel at 96 dots an inch), a title block on the first page, then the fields and
// the index segments. Texts are code-page bytes; drawing them is the windows' business.
#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "ddf_dictionary.h"

namespace dictedit {

struct ListingLine {
  enum class Font { kTitle, kHeader, kRow } font = Font::kRow;
  int x = 0, y = 0;
  std::string text;
};

// Fields per page: the option, 0 read as 40.
int ListingFieldsPerPage(const EditorOptions &options);
// (fields - 1) / fields per page + 1.
int ListingPageCount(const DdfTable &table, const EditorOptions &options);
// The lines of page `page` (from 1), dated `today`.
std::vector<ListingLine> ListingPage(const DdfTable &table, const EditorOptions &options, int page,
                                     const std::tm &today);
// Before printing: a table with fields, else VE1009 or VE1011 (and false).
bool CanList(DdfDictionary &dict, const DdfTable *table);

}  // namespace dictedit
