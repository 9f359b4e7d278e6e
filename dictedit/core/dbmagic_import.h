// Tables from a dbMagic information file (magic.txt).
#pragma once

#include <string>

#include "ddf_dictionary.h"

namespace dictedit {

// Adds the file's tables; 0, or -1 after the failure's messages (VE1059 last). Tables
// completed before a failure stay.
int ImportDbMagic(DdfDictionary &dict, const std::string &path);

}  // namespace dictedit
