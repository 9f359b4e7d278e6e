#include "module.h"

namespace zelko {
namespace {
// Never destroyed at exit: controls still alive then (hosted sources, forms) unregister from
// the module as they go, whatever the order of the other static destructors.
std::unique_ptr<Module> &Instance() {
  static auto *instance = new std::unique_ptr<Module>();
  return *instance;
}
}  // namespace

Module::Module() : settings_(ConversionSettings::Load()) {}

Module &Module::Get() {
  auto &m = Instance();
  if (!m) m.reset(new Module());
  return *m;
}

void Module::Reset() {
  Instance().reset();
}

}  // namespace zelko
