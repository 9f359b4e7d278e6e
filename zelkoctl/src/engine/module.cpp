#include "module.h"

namespace zelko {
namespace {
std::unique_ptr<Module> &Instance() {
  static std::unique_ptr<Module> instance;
  return instance;
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
