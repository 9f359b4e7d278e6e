// With ZELKO_TEST_STORE=postgres the record manager's suites run against the server store:
// one private server for the program, and every test's scratch directory mapped to it in
// the test's own zelko.ini (so forked children use it too).
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>

#include "btr_test_util.h"
#include "private_postgres.h"
#include "zelko_test_env.h"
#include "zplatform/profile.h"

namespace btrtest {
namespace {

zelko_testing::PrivatePostgres *g_server = nullptr;

class ServerEnvironment : public testing::Environment {
 public:
  void SetUp() override {
    g_server = new zelko_testing::PrivatePostgres();
    ASSERT_TRUE(g_server->Start()) << g_server->Error();
  }
  void TearDown() override {
    delete g_server;
    g_server = nullptr;
  }
};

const bool g_registered = [] {
  if (OnServer()) testing::AddGlobalTestEnvironment(new ServerEnvironment);
  return true;
}();

zelko_testing::RegisterResetHook g_map_scratch([] {
  if (g_server == nullptr || !g_server->Running()) return;
  zplatform::WritePrivateProfileString("servers", zelko_testing::ScratchDir().c_str(),
                                       g_server->Conninfo().c_str(), "zelko.ini");
});

}  // namespace

bool OnServer() {
  const char *store = getenv("ZELKO_TEST_STORE");
  return store != nullptr && std::strcmp(store, "postgres") == 0;
}

zelko_testing::PrivatePostgres *TestServer() {
  return g_server;
}

}  // namespace btrtest
