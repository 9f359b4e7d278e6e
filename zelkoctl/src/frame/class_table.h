// Building a control class's table: each property and method entry carries its accessor or
// handler, made here from a member of the class or a small function, so a control declares
// its table and its members and never dispatches by number itself.
#pragma once

#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "frame/class_info.h"

namespace zelko::table {

using Args = std::vector<Variant>;

// How a property is kept: persisted (the default), or not; available at run time only;
// read only.
enum Flags : unsigned { kPersisted = 1, kTransient = 0, kRunTimeOnly = 2, kReadOnly = 4 };

template <class C>
C &Self(Control &c) {
  return static_cast<C &>(c);
}

// The value of a member as the property's kind gives it out.
inline Variant ValueOf(const std::string &v, PropKind) {
  return Variant::String(v);
}
inline Variant ValueOf(bool v, PropKind) {
  return Variant::Bool(v);
}
inline Variant ValueOf(int v, PropKind kind) {
  return kind == PropKind::kInt16 || kind == PropKind::kBool ? Variant::I2(static_cast<int16_t>(v))
                                                             : Variant::I4(v);
}

// A new value for a member; kTypeMismatch when the value is of no fitting type.
inline HResult Assign(std::string *m, const Variant &v) {
  auto text = v.AsString();
  if (!text) return kTypeMismatch;
  *m = *text;
  return kOk;
}
inline HResult Assign(bool *m, const Variant &v) {
  auto n = v.AsInteger();
  if (!n) return kTypeMismatch;
  *m = *n != 0;
  return kOk;
}
inline HResult Assign(int *m, const Variant &v) {
  auto n = v.AsInteger();
  if (!n) return kTypeMismatch;
  *m = static_cast<int>(*n);
  return kOk;
}

// A property held in member `m` of C; `after` runs after every accepted put.
template <class C, class T>
PropertyInfo Member(const char *name, int32_t dispid, PropKind kind, const char *default_value,
                    T C::*m, unsigned flags = kPersisted, void (C::*after)() = nullptr) {
  PropertyGetter get = [m, kind](Control &c, Variant *v) {
    *v = ValueOf(Self<C>(c).*m, kind);
    return kOk;
  };
  PropertySetter put;
  if ((flags & kReadOnly) == 0) {
    put = [m, after](Control &c, const Variant &v) {
      C &self = Self<C>(c);
      HResult hr = Assign(&(self.*m), v);
      if (hr == kOk && after != nullptr) (self.*after)();
      return hr;
    };
  }
  return PropertyInfo{name,
                      dispid,
                      kind,
                      default_value,
                      (flags & kPersisted) != 0,
                      (flags & kRunTimeOnly) != 0,
                      (flags & kReadOnly) != 0,
                      std::move(get),
                      std::move(put)};
}

// A property with accessors of its own: get(C&, Variant*) and put(C&, const Variant&), each
// answering an HResult; a null put makes it read only.
template <class C, class Get, class Put>
PropertyInfo Custom(const char *name, int32_t dispid, PropKind kind, const char *default_value,
                    unsigned flags, Get get, Put put) {
  PropertySetter setter;
  if constexpr (!std::is_same_v<Put, std::nullptr_t>) {
    setter = [put](Control &c, const Variant &v) { return put(Self<C>(c), v); };
  }
  bool read_only = (flags & kReadOnly) != 0 || !setter;
  return PropertyInfo{name,
                      dispid,
                      kind,
                      default_value,
                      (flags & kPersisted) != 0,
                      (flags & kRunTimeOnly) != 0,
                      read_only,
                      [get](Control &c, Variant *v) { return get(Self<C>(c), v); },
                      std::move(setter)};
}

// A property the control keeps no value of: it always reads `value` and takes any write.
template <class C>
PropertyInfo Constant(const char *name, int32_t dispid, PropKind kind, const char *default_value,
                      unsigned flags, Variant value) {
  return PropertyInfo{name,
                      dispid,
                      kind,
                      default_value,
                      (flags & kPersisted) != 0,
                      (flags & kRunTimeOnly) != 0,
                      false,
                      [value](Control &, Variant *v) {
                        *v = value;
                        return kOk;
                      },
                      [](Control &, const Variant &) { return kOk; }};
}

// A method whose handler takes (C&, Args&, Variant *result) and answers an HResult.
template <class C, class F>
MethodInfo Method(const char *name, int32_t dispid, std::vector<ParamInfo> params, bool has_result,
                  F f) {
  return MethodInfo{name, dispid, std::move(params), has_result,
                    [f](Control &c, Args &a, Variant *r) { return f(Self<C>(c), a, r); }};
}

// A method that reports its outcome in its last argument (pRc): f(C&, Args&) gives the status.
template <class C, class F>
MethodInfo StatusMethod(const char *name, int32_t dispid, std::vector<ParamInfo> params, F f) {
  return MethodInfo{name, dispid, std::move(params), false, [f](Control &c, Args &a, Variant *) {
                      int status = f(Self<C>(c), a);
                      a.back() = Variant::I2(static_cast<int16_t>(status));
                      return kOk;
                    }};
}

// A method with a return value: f(C&, Args&) gives it.
template <class C, class F>
MethodInfo ResultMethod(const char *name, int32_t dispid, std::vector<ParamInfo> params, F f) {
  return MethodInfo{name, dispid, std::move(params), true, [f](Control &c, Args &a, Variant *r) {
                      *r = f(Self<C>(c), a);
                      return kOk;
                    }};
}

// The stock read-only Window property: the control's window.
template <class C>
PropertyInfo WindowProperty() {
  return Custom<C>(
      "Window", -515, PropKind::kInt32, nullptr, kTransient | kReadOnly,
      [](C &c, Variant *v) {
        *v = Variant::I4(static_cast<int32_t>(reinterpret_cast<intptr_t>(c.Window())));
        return kOk;
      },
      nullptr);
}

// The stock key events, with their stock arguments.
inline std::vector<EventInfo> KeyEvents() {
  return {{"KeyDown", -602, {{"KeyCode", true}, {"Shift", false}}},
          {"KeyPress", -603, {{"KeyAscii", true}}},
          {"KeyUp", -604, {{"KeyCode", true}, {"Shift", false}}}};
}

// The stock mouse events, with their stock arguments.
inline std::vector<EventInfo> MouseEvents() {
  std::vector<ParamInfo> at = {{"Button", false}, {"Shift", false}, {"X", false}, {"Y", false}};
  return {{"MouseDown", -605, at}, {"MouseMove", -606, at}, {"MouseUp", -607, at}};
}

}  // namespace zelko::table
