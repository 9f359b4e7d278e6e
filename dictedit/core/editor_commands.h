// The menu commands that ask the user for files, names and fields through the EditorUi and
// then run the core operation on the current table.
#pragma once

#include "ddf_dictionary.h"

namespace dictedit {

int ExportTableCommand(DdfDictionary &dict);
int ImportTableCommand(DdfDictionary &dict);
int FieldIdListCommand(DdfDictionary &dict);
int CreateFormCommand(DdfDictionary &dict);
int DbMagicImportCommand(DdfDictionary &dict);

}  // namespace dictedit
