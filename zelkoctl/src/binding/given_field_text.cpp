#include "binding/given_field_text.h"

#include "engine/module.h"

namespace zelko {

std::string GivenFieldText::Resolve(const BoundControl &control, const std::string &answer) const {
  if (!held_ || answer != answer_ || answer == given_) return answer;
  return Module::Get().registry.StoresAlike(control.GetFormWindow(), control.GetDbSource(),
                                            control.GetDbTable(), control.GetDbField(), answer,
                                            given_)
             ? answer
             : given_;
}

}  // namespace zelko
