// What a bound control was last given for its field, for the way back: a control that cannot
// show a value as it came (a mask, right alignment, no list item holding it, a check box
// value it does not know) still answers with what it shows, and an update of the record would
// store that in the value's place.
#pragma once

#include <string>

#include "binding/bound_control.h"

namespace zelko {

class GivenFieldText {
 public:
  // `given`: the field text (code page); `answer`: what the control answers right after.
  void Remember(std::string given, std::string answer) {
    given_ = std::move(given);
    answer_ = std::move(answer);
    held_ = true;
  }
  // The user or the program changed the control: its answer stands.
  void Forget() { held_ = false; }
  // `answer`, or the text given while the control still answers as it did right after and
  // `answer` would store another value in the field `control` is bound to.
  std::string Resolve(const BoundControl &control, const std::string &answer) const;

 private:
  std::string given_, answer_;
  bool held_ = false;
};

}  // namespace zelko
