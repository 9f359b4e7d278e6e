// Nothing thrown inside the record manager crosses BTRCALL: every allocation of a whole
// working session fails in turn, and each call still answers with a status.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "btr_test_util.h"
#include "failing_new.h"

namespace {

using namespace btrtest;
using zelko_testing::Counted;

// One call with its allocations counted; the buffers are the caller's.
int16_t Call(int op, PosBlock *pb, std::string *data, std::string *key, int8_t key_number) {
  uint32_t len = data ? static_cast<uint32_t>(data->size()) : 0;
  return Counted([&] {
    return BTRCALL(static_cast<uint16_t>(op), pb ? pb->b : nullptr, data ? data->data() : nullptr,
                   &len, key ? key->data() : nullptr, key ? static_cast<uint8_t>(key->size()) : 0,
                   key_number);
  });
}

// A session that reaches every kind of operation; statuses are not checked here.
void Session(const std::string &path) {
  std::vector<uint8_t> spec = CreateBuffer(16, 1024,
                                           {{{1, 4, B_KEY_EXTENDED_TYPE, B_TYPE_INTEGER}},
                                            {{5, 8, B_KEY_DUPLICATES | B_KEY_MODIFIABLE}}});
  std::string create(spec.begin(), spec.end()), name = path, none;
  std::vector<std::string> records;
  for (int id = 1; id <= 3; ++id)
    records.push_back(Le32(id) + Pad("name", 8) + Le32(0));
  std::string data(16, '\0'), key = Le32(2), updated = Le32(2) + Pad("other", 8) + Le32(1);
  std::string stat(1024, '\0'), version(5, '\0'), tx = Le32(9) + Pad("tx", 8) + Le32(0);
  std::string d = "UC" + Le16(0) + Le16(0) + Le16(5) + Le16(1) + Le16(4) + Le16(0);
  std::string ext = Le16(static_cast<int>(d.size() + 2)) + d + std::string(200, '\0');
  PosBlock pb;
  Call(B_CREATE, &pb, &create, &name, 0);
  Call(B_OPEN, &pb, &none, &name, 0);
  for (std::string &r : records)
    Call(B_INSERT, &pb, &r, &key, 0);
  Call(int{B_GET_EQUAL} + B_SINGLE_NOWAIT_LOCK, &pb, &data, &key, 0);
  Call(B_UPDATE, &pb, &updated, &key, 0);
  Call(B_GET_NEXT, &pb, &data, &key, 0);
  Call(B_STEP_FIRST, &pb, &data, &key, 0);
  Call(B_DELETE, &pb, &data, &key, 0);
  Call(B_STAT, &pb, &stat, &key, 0);
  Call(B_STEP_FIRST, &pb, &data, &key, 0);
  Call(B_STEP_NEXT_EXT, &pb, &ext, &key, 0);
  Call(B_BEGIN_TRAN, nullptr, nullptr, nullptr, 0);
  Call(B_INSERT, &pb, &tx, &key, 0);
  Call(B_END_TRAN, nullptr, nullptr, nullptr, 0);
  Call(B_VERSION, &pb, &version, &key, 0);
  Call(B_CLOSE, &pb, nullptr, nullptr, 0);
  std::string directory = path.substr(0, path.rfind('/'));
  int32_t outer = Counted([&] { return BTRLOCKDIRECTORY(directory.c_str(), 0, -1); });
  int32_t inner = Counted([&] { return BTRLOCKDIRECTORY(directory.c_str(), 1, -1); });
  BTRUNLOCKDIRECTORY(inner);
  BTRUNLOCKDIRECTORY(outer);
}

// Whether another process may lock the directory now (nothing of this one holds it).
bool DirectoryFree(const std::string &directory) {
  pid_t child = fork();
  if (child == 0) _exit(BTRLOCKDIRECTORY(directory.c_str(), 1, 0) != 0 ? 0 : 1);
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(AbiGuard, NoExceptionLeavesBtrcall) {
  std::string path = Scratch("guarded.btr");
  int written = 0;
  int runs = zelko_testing::SweepAllocationFailures(
      [&] { Session(path); },
      [&] {
        // Nothing is left half-done: a new
        // block writes at once.
        uint32_t len = 0;
        BTRCALL(B_ABORT_TRAN, nullptr, nullptr, &len, nullptr, 0, 0);
        PosBlock check;
        if (Open(check, path) == 0) {
          EXPECT_EQ(Insert(check, Le32(500) + Pad("x", 8) + Le32(0)), 0);
          ++written;
          Close(check);
        }
        BTRRELEASE();
        unlink(path.c_str());
        EXPECT_TRUE(DirectoryFree(path.substr(0, path.rfind('/'))));
      });
  EXPECT_GT(written, 0);
  EXPECT_GT(runs, 20);
  // Afterwards the record manager works as ever.
  Session(path);
  PosBlock pb;
  ASSERT_EQ(Open(pb, path), 0);
  std::string data(16, '\0'), key(4, '\0');
  EXPECT_EQ(Op(B_GET_FIRST, pb, data, key, 0), 0);
  Close(pb);
}

bool LibpqMapped() {
  std::ifstream maps("/proc/self/maps");
  std::stringstream text;
  text << maps.rdbuf();
  return text.str().find("/libpq.so") != std::string::npos;
}

// A process that works on local files never loads the PostgreSQL client (nor its TLS and
// Kerberos libraries); the first file under a server directory loads it.
TEST(AbiGuard, TheServerClientIsLoadedOnlyForServerFiles) {
  std::string path = Scratch("local.btr");
  Session(path);
  EXPECT_FALSE(LibpqMapped());
  const std::string remote = Scratch("remote");
  std::ofstream(std::string(std::getenv("ZELKO_CONFIG_DIR")) + "/zelko.ini")
      << "[servers]\n"
      << remote << " = host=/nonexistent/socket/dir port=1 dbname=x\n";
  PosBlock pb;
  EXPECT_EQ(Open(pb, remote + "/A.BTR"), B_RECORD_MANAGER_INACTIVE);
  EXPECT_TRUE(LibpqMapped());
  EXPECT_EQ(Open(pb, path), 0);  // local files as before
  Close(pb);
}

}  // namespace
