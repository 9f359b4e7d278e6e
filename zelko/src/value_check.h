// Whether a text fits its field: the conversions store what they can and drop the rest, so
// a loader checks first and refuses a value that would not come back as it was given.
#pragma once

#include <string>

#include "engine/table_catalog.h"

namespace zelkocli {

// Empty when `text` (code page) can be stored in `field` without loss; else the reason.
std::string ValueProblem(const zelko::FieldDescriptor &field, const std::string &text);

}  // namespace zelkocli
