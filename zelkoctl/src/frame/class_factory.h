// The class factory: the module's 13 control classes by the names forms use.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "frame/control.h"

namespace zelko {

inline constexpr HResult kClassNotAvailable = static_cast<HResult>(0x80040111);
inline constexpr HResult kClassNotRegistered = static_cast<HResult>(0x80040154);

struct ControlClass {
  const char *type_name;   // "ZLKBTRLibCtl.ZLKEdit"
  const char *class_name;  // "ZLKEdit"
  int kind;
  std::unique_ptr<Control> (*create)();  // null: not built into this module yet
};

// Every class the module registers, in registration order.
const std::vector<ControlClass> &ControlClasses();

// Creates a control by a name a form uses: the type name, the class name, the programmatic
// identifier ("ZLKBtr.ZLKBtr.1") or the Visual Basic 2 name ("ZelkoEdit"); names compare
// without regard to case. Null with kClassNotRegistered for an unknown name and
// kClassNotAvailable for a class this build does not provide.
std::unique_ptr<Control> CreateControl(const std::string &name, HResult *error = nullptr);

}  // namespace zelko
