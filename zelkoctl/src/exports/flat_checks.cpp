#include "exports/flat_checks.h"

#include "engine/module.h"
#include "zelkoctl/zelkoapi.h"
#include "zplatform/bstr.h"

namespace zelko {

DataSource *Source() {
  return Module::Get().current_data_source;
}

int16_t Check(int16_t table_id, Need need, TableDescriptor **table) {
  DataSource *source = Source();
  if (source == nullptr) return DB_NOT_ATTACHED;
  TableCatalog *catalog = source->Catalog();
  if (catalog == nullptr) return DB_NO_DICTIONARY;
  if (table_id < 0 || table_id >= catalog->TableCount()) return DB_TABLE_ID_RANGE;
  TableDescriptor &t = catalog->tables[table_id];
  // A table of a lazily loaded catalog reads its fields on first use.
  if (t.fields.empty() && catalog->lazy && ResolveTable(*catalog, t) != 0) return DB_FAILED;
  if (need == Need::kOpen && !t.open) return DB_TABLE_NOT_OPEN;
  if (need == Need::kClosed && t.open) return DB_TABLE_OPEN;
  *table = &t;
  return 0;
}

char *ReturnText(const std::string &code_page) {
  if (Module::Get().Settings().fix_str_addr != 0) return zplatform::StaticReturnString(code_page);
  char *text = SysAllocStringByteLen(code_page.data(), static_cast<uint32_t>(code_page.size()));
  return text != nullptr ? text : zplatform::StaticReturnString("");
}

char *EmptyText() {
  return zplatform::StaticReturnString("");
}

}  // namespace zelko
