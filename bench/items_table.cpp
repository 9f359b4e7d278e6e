#include "items_table.h"

#include <memory>

#include "btrieve/btrapi.h"
#include "engine/field_conversion.h"
#include "engine/table_access.h"
#include "engine/table_catalog.h"
#include "zplatform/codepage.h"

namespace benchdata {

dictio::TableSpec ItemsTableSpec() {
  return {10,
          "ITEMS",
          "ITEMS",
          {{"ID", 1, 4},
           {"NAME", 0, 30},
           {"KANA", 11, 20},
           {"QTY", 1, 2},
           {"PRICE", 5, 6, 2},
           {"SOLD", 3, 4},
           {"CODE", 0, 8},
           {"FLAG", 7, 1}},
          {{"ID", 0, 0, 0x100}, {"NAME", 1, 0, 0x103}},
          {}};
}

int WriteItemsTable(const std::string &directory, int records) {
  if (int status = dictio::BuildDictionary(directory, {ItemsTableSpec()})) return status;
  std::unique_ptr<zelko::TableCatalog> catalog;
  if (int status = zelko::LoadCatalog(directory, &catalog)) return status;
  zelko::TableDescriptor &table = catalog->tables[0];
  std::string path = zelko::ResolveDataFilePath(table, directory);
  if (int status = zelko::EngineCreate(*catalog, table, path)) return status;
  if (int status = zelko::EngineOpen(*catalog, table, directory, "", 0)) return status;
  const std::string name = zplatform::FromUtf8("商品 "), kana = zplatform::FromUtf8("ショウヒン");
  int status = zelko::EngineBeginTransaction(0);
  for (int i = 0; i < records && status == 0; ++i) {
    zelko::ClearRecordBuffer(table);
    const std::string texts[kItemFields] = {
        std::to_string(i + 1),
        name + std::to_string(static_cast<int64_t>(i) * 7919 % records),
        kana,
        std::to_string(i % 1000),
        std::to_string(i % 50000) + ".25",
        "2024/" + std::to_string(i % 12 + 1) + "/" + std::to_string(i % 28 + 1),
        "C" + std::to_string(i % 997),
        std::to_string(i % 2)};
    for (int f = 0; f < kItemFields; ++f)
      zelko::WriteFieldByNumber(table, f, texts[f]);
    status = zelko::EngineAccess(table, B_INSERT, 0);
  }
  if (status == 0) {
    status = zelko::EngineEndTransaction();
  } else {
    zelko::EngineAbortTransaction();
  }
  zelko::EngineClose(table);
  return status;
}

}  // namespace benchdata
