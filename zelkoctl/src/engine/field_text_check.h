// Whether a text fits its field: the conversions store what they can and drop the rest, so a
// writer that must not change what it is given checks first and refuses a value that would
// not come back as it was given.
#pragma once

#include <string>

#include "table_catalog.h"

namespace zelko {

// Empty when `text` (code page) can be stored in `field` without loss; else the reason, in
// English, quoting the text in the code page.
std::string FieldTextProblem(const FieldDescriptor &field, const std::string &text);

// The short name of a data type code ("String", "UBin", "AutoInc"), "unsupported" for others.
const char *DataTypeShortName(int type);

}  // namespace zelko
