// VbFormat: Visual Basic's Format$ applied to a string value with a mask, as the form host's
// format service (locale Japanese). Texts are UTF-8.
//
// - String masks: @ (a character or a space), & (a character or nothing), < lower case,
//   > upper case, ! fill from the left (default: from the right); extra characters of the
//   text are kept.
// - Numeric masks: 0 # . , % E+ E- e+ e-, literal characters, "quoted" and \x literals, up
//   to four sections (positive;negative;zero;null); rounding half away from zero.
// - Date and time masks: yyyy yy m mm mmm mmmm d dd ddd dddd aaa aaaa h hh n nn s ss AM/PM
//   am/pm ttttt c, "/" and ":" separators.
// - Named formats: General Number, Currency, Fixed, Standard, Percent, Scientific, Yes/No,
//   True/False, On/Off, General Date, Long Date, Short Date, Long Time, Medium Time,
//   Short Time.
// A text that cannot be read as a number (numeric mask) or a date (date mask) comes back
// unchanged.
#pragma once

#include <string>

namespace zplatform {

std::string VbFormat(const std::string &text, const std::string &mask);

}  // namespace zplatform
