#include "pq_library.h"

#include <dlfcn.h>

namespace btr {
namespace {

constexpr const char *kLibraryName = "libpq.so.5";  // the client library's stable ABI

struct Loaded {
  PqLibrary functions;
  bool ok = false;
  std::string why;
};

Loaded Load() {
  Loaded l;
  // Never unloaded: connections of forked children may still refer to it.
  void *handle = ::dlopen(kLibraryName, RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char *e = ::dlerror();
    l.why = e ? e : kLibraryName;
    return l;
  }
#define ZELKO_PQ_RESOLVE(name)                                                    \
  l.functions.name = reinterpret_cast<decltype(&::name)>(::dlsym(handle, #name)); \
  if (l.functions.name == nullptr) {                                              \
    l.why = std::string(kLibraryName) + " has no " #name;                         \
    return l;                                                                     \
  }
  ZELKO_PQ_FUNCTIONS(ZELKO_PQ_RESOLVE)
#undef ZELKO_PQ_RESOLVE
  l.ok = true;
  return l;
}

const Loaded &Library() {
  static const Loaded loaded = Load();  // once per process, thread-safe
  return loaded;
}

}  // namespace

const PqLibrary *LoadPq(std::string *why) {
  const Loaded &l = Library();
  if (!l.ok && why != nullptr) *why = l.why;
  return l.ok ? &l.functions : nullptr;
}

const PqLibrary &Pq() {
  return Library().functions;
}

}  // namespace btr
