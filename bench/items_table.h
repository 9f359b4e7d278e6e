// The benchmarks' table of eight fields (Japanese strings, integers, a date, a decimal, a
// code, a flag): its dictionary and records, written through the dictionary library and the
// engine.
#pragma once

#include <string>

#include "dictionary_builder.h"

namespace benchdata {

constexpr int kItemFields = 8;

// Table ITEMS: ID (key 0), NAME (key 1, duplicates), KANA, QTY, PRICE, SOLD, CODE, FLAG.
dictio::TableSpec ItemsTableSpec();

// Writes the dictionary of table ITEMS into `directory` and a data file of `records`
// records (ID 1 to records). 0, or the first failing status.
int WriteItemsTable(const std::string &directory, int records);

}  // namespace benchdata
