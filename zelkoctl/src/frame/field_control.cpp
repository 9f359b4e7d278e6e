#include "frame/field_control.h"

#include "engine/module.h"

namespace zelko {

void FieldControl::OnWindowCreated() {
  if (RunMode()) Module::Get().registry.RegisterFieldControl(this);
}

void FieldControl::OnWindowDestroying() {
  Module::Get().registry.Unregister(this);
}

void ListControl::OnWindowCreated() {
  if (RunMode()) Module::Get().registry.RegisterListControl(this);
}

void ListControl::OnWindowDestroying() {
  Module::Get().registry.Unregister(this);
}

}  // namespace zelko
