// Files made from the dictionary: the identifier constants module and the form of a table.
#pragma once

#include <string>
#include <vector>

#include "ddf_dictionary.h"

namespace dictedit {

// The module's bytes (code page, CR LF): names with id_format 1, numbers otherwise.
std::string ConstantsModuleText(const DdfDictionary &dict, int id_format);
// Asks before replacing; 0 written, -1 not.
int WriteConstantsModule(DdfDictionary &dict, const std::string &path);

// Maximum length of an edit box for a field.
int EditMaxLength(const DdfField &field);
// The form's bytes for Visual Basic `version` (4 or 5; anything else: 2).
std::string FormText(const DdfDictionary &dict, const DdfTable &table,
                     const std::vector<std::string> &chosen, const std::string &form_name,
                     int version);
// Checks, then writes the form of the chosen fields; 0 written, -1 not.
int CreateForm(DdfDictionary &dict, const DdfTable &table, const std::vector<std::string> &chosen,
               const std::string &path, const std::string &form_name);

}  // namespace dictedit
