#include "frame/class_info.h"
#include "zplatform/ascii.h"

namespace zelko {

int AutomationErrorNumber(HResult hr) {
  uint32_t v = static_cast<uint32_t>(hr);
  return (v & 0xFFFF0000u) == 0x800A0000u ? static_cast<int>(v & 0xFFFF) : 0;
}

bool EqualNoCase(const std::string &a, const std::string &b) {
  return zplatform::EqualNoCaseAscii(a, b);
}

const PropertyInfo *ClassInfo::Property(const std::string &name) const {
  for (const PropertyInfo &p : properties) {
    if (EqualNoCase(p.name, name)) return &p;
  }
  return nullptr;
}

const PropertyInfo *ClassInfo::Property(int32_t dispid) const {
  for (const PropertyInfo &p : properties) {
    if (p.dispid == dispid) return &p;
  }
  return nullptr;
}

const MethodInfo *ClassInfo::Method(const std::string &name) const {
  for (const MethodInfo &m : methods) {
    if (EqualNoCase(m.name, name)) return &m;
  }
  return nullptr;
}

const MethodInfo *ClassInfo::Method(int32_t dispid) const {
  for (const MethodInfo &m : methods) {
    if (m.dispid == dispid) return &m;
  }
  return nullptr;
}

const EventInfo *ClassInfo::Event(const std::string &name) const {
  for (const EventInfo &e : events) {
    if (EqualNoCase(e.name, name)) return &e;
  }
  return nullptr;
}

}  // namespace zelko
