// A table definition as a text file (export and import), and one field as clipboard text.
// Code page 932, CR LF line ends, section headers compared byte for byte.
#pragma once

#include <string>

#include "ddf_dictionary.h"

namespace dictedit {

// Writes the table; its messages say how it went. False when the file could not be written
// whole (VE1032, VE1034).
bool ExportTableText(DdfDictionary &dict, const DdfTable &table, const std::string &path);
// Reads a table and appends it to the dictionary (marked modified); null when refused.
DdfTable *ImportTableText(DdfDictionary &dict, const std::string &path);

// "[Field]\nNAME,TYPE,SIZE,DECIMALS\n".
std::string FieldClipboardText(const DdfField &field);
// Inserts the field the text carries before field `before` (or appends with -1).
DdfField *PasteFieldText(DdfDictionary &dict, DdfTable &table, const std::string &text, int before);

}  // namespace dictedit
