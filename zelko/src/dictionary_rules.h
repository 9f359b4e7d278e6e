// The rules a dictionary must keep for the engine to read its records as it describes them.
#pragma once

#include <string>
#include <vector>

#include "engine/table_catalog.h"

namespace zelkocli {

// One line per broken rule of the table ("field X: ..."); empty when it keeps them all.
std::vector<std::string> CheckTableRules(const zelko::TableDescriptor &table);
// Rules across tables (names and IDs unique).
std::vector<std::string> CheckCatalogRules(const zelko::TableCatalog &catalog);

}  // namespace zelkocli
