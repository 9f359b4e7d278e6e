// Numbers as other programs write them, in the notation the field conversions read.
#pragma once

#include <string>

namespace zelkocli {

// Whether fields of the data type `type` hold numbers (their text is a number).
bool IsNumberType(int type);

// True, with `fixed` set, when `text` is a decimal number written with an exponent ("1.5e3"
// is "1500", "-1e-05" is "-0.00001"): the point is moved digit for digit, so no value
// changes. False for any other text, and for an exponent past any field's reach.
bool WithoutExponent(const std::string &text, std::string *fixed);

}  // namespace zelkocli
