#include "engine_test_util.h"

#include <cstring>
#include <filesystem>

#include "dictio/dictio.h"
#include "engine/module.h"
#include "zelko_test_env.h"
#include "zplatform/paths.h"

namespace enginetest {

namespace {
// Every test starts with a fresh module (settings read from its own zelko.ini).
zelko_testing::RegisterResetHook reset_module([] { zelko::Module::Reset(); });

}  // namespace

int WriteDictionary(const std::string &directory, const std::vector<TableDef> &tables,
                    int first_field_id) {
  std::filesystem::create_directories(zplatform::NativePathOrSelf(directory));
  return dictio::BuildDictionary(directory, tables, first_field_id);
}

RecordMessages::RecordMessages() : recorder_(std::make_shared<zplatform::RecordingPresenter>()) {
  zplatform::MessageService::Instance().SetPresenter(recorder_);
}

RecordMessages::~RecordMessages() {
  zplatform::MessageService::Instance().SetPresenter(nullptr);
}

std::string NewDir(const std::string &name) {
  std::string d = zelko_testing::ScratchDir() + "/" + name;
  std::filesystem::create_directories(d);
  return d;
}

}  // namespace enginetest
