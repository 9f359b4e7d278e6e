// The static description of a control class: its properties, methods and events with their
// dispatch identifiers, types, defaults and persisted order. Generic access by name or
// dispatch identifier, the form loader and the macro runner all go through it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "zplatform/variant.h"

namespace zelko {

using zplatform::Variant;
class Control;

using HResult = int32_t;
inline constexpr HResult kOk = 0;
// Automation errors, returned as values.
inline constexpr HResult kInvalidPropertyValue = static_cast<HResult>(0x800A017C);  // 380
inline constexpr HResult kSetNotPermitted = static_cast<HResult>(0x800A017F);       // 383
inline constexpr HResult kGetNotAvailable = static_cast<HResult>(0x800A018A);       // 394
inline constexpr HResult kMemberNotFound = static_cast<HResult>(0x80020003);
inline constexpr HResult kTypeMismatch = static_cast<HResult>(0x80020005);
inline constexpr HResult kUnknownName = static_cast<HResult>(0x80020006);
inline constexpr HResult kBadParamCount = static_cast<HResult>(0x8002000E);

// The automation error number an HResult carries (380, 383, 394), or 0.
int AutomationErrorNumber(HResult hr);

enum class PropKind { kString, kBool, kInt16, kInt32, kColor, kFont };

// The accessors a class table carries: the control is the one the table describes.
using PropertyGetter = std::function<HResult(Control &, Variant *)>;
using PropertySetter = std::function<HResult(Control &, const Variant &)>;
using MethodHandler = std::function<HResult(Control &, std::vector<Variant> &, Variant *)>;

struct PropertyInfo {
  const char *name;
  int32_t dispid;
  PropKind kind;
  const char *default_value;  // as the property bag writes it; null: none
  bool persisted;
  bool run_time_only;  // not available at design time
  bool read_only;
  PropertyGetter get;  // empty: the property cannot be read (394)
  PropertySetter put;  // empty: the property cannot be written (383)
};

struct ParamInfo {
  const char *name;
  bool by_ref;            // an out-argument the method writes
  bool optional = false;  // may be left out (it then comes as Empty)
};

struct MethodInfo {
  const char *name;
  int32_t dispid;
  std::vector<ParamInfo> params;
  bool has_result;
  // Receives the arguments in order, trailing out-arguments added; writes the result.
  MethodHandler invoke;
};

struct EventInfo {
  const char *name;
  int32_t dispid;
  std::vector<ParamInfo> params;
};

struct ClassInfo {
  const char *type_name;                 // as forms name it: "ZLKBTRLibCtl.ZelkoDb"
  const char *class_name;                // "ZLKBtr"
  int kind;                              // ControlKind
  std::vector<PropertyInfo> properties;  // persisted ones in their persisted order
  std::vector<MethodInfo> methods;
  std::vector<EventInfo> events;

  // Lookups; names compare without regard to case, as Visual Basic does.
  const PropertyInfo *Property(const std::string &name) const;
  const PropertyInfo *Property(int32_t dispid) const;
  const MethodInfo *Method(const std::string &name) const;
  const MethodInfo *Method(int32_t dispid) const;
  const EventInfo *Event(const std::string &name) const;
};

bool EqualNoCase(const std::string &a, const std::string &b);

}  // namespace zelko
