#include "frame/class_info.h"

namespace zelko {

int AutomationErrorNumber(HResult hr) {
  uint32_t v = static_cast<uint32_t>(hr);
  return (v & 0xFFFF0000u) == 0x800A0000u ? static_cast<int>(v & 0xFFFF) : 0;
}

bool EqualNoCase(const std::string &a, const std::string &b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
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
