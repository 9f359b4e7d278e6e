// Base of the single-field controls (edit, check box, option button, picture): they
// register in the registry's field list when their window is created in run mode, and
// leave it when the window goes. In design mode they register nothing.
#pragma once

#include "frame/control.h"

namespace zelko {

class FieldControl : public Control {
 protected:
  void OnWindowCreated() override;
  void OnWindowDestroying() override;
};

// The same for list-type controls (list and combo boxes, grid).
class ListControl : public Control {
 protected:
  void OnWindowCreated() override;
  void OnWindowDestroying() override;
};

}  // namespace zelko
