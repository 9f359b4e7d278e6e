// Safety across processes: a child killed at random moments, two writers at once, record
// locks that vanish with their process, transactions, exclusive opens. Children are forked
// while the parent holds no open file, so each starts with a clean record manager.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <sstream>

#include "btr_test_util.h"
#include "check.h"
#include "child_process.h"
#include "zelko_test_env.h"
#include "zplatform/profile.h"

namespace {

using namespace btrtest;
using namespace zelko_testing;
constexpr uint16_t kExt = B_KEY_EXTENDED_TYPE;

// 16-byte records: id (key 0, unique), value (8 bytes), group (key 1, duplicates).
std::string Rec(int id, const std::string &value, int group = 0) {
  return Le32(id) + Pad(value, 8) + Le32(group);
}
int IdOf(const std::string &rec) {
  int id;
  std::memcpy(&id, rec.data(), 4);
  return id;
}

void CreatePeople(const std::string &path) {
  ASSERT_EQ(
      Create(path,
             CreateBuffer(16, 4096,
                          {{{1, 4, kExt, B_TYPE_INTEGER}},
                           {{13, 4, kExt | B_KEY_DUPLICATES | B_KEY_MODIFIABLE, B_TYPE_INTEGER}}})),
      0);
}

// A new file holding `records`.
void CreatePeopleHolding(const std::string &path, const std::vector<std::string> &records) {
  CreatePeople(path);
  PosBlock pb;
  ASSERT_EQ(Open(pb, path), 0);
  for (const std::string &record : records)
    ASSERT_EQ(Insert(pb, record), 0);
  Close(pb);
}

int16_t GetEqual(PosBlock &pb, int id, std::string *rec, int bias = 0) {
  std::string data(16, '\0'), key = Le32(id);
  int16_t rc = Op(B_GET_EQUAL + bias, pb, data, key, 0);
  if (rec) *rec = data;
  return rc;
}

// The ids of every record in the file, read in key order.
std::set<int> IdsIn(const std::string &path) {
  std::set<int> ids;
  PosBlock pb;
  EXPECT_EQ(Open(pb, path), 0);
  std::string data(16, '\0'), key(4, '\0');
  for (int16_t rc = Op(B_GET_FIRST, pb, data, key, 0); rc == 0;
       rc = Op(B_GET_NEXT, pb, data, key, 0)) {
    ids.insert(IdOf(data));
    data.assign(16, '\0');
  }
  Close(pb);
  return ids;
}

void ExpectSound(const std::string &path) {
  std::vector<std::string> problems;
  EXPECT_TRUE(btr::CheckFile(path, &problems)) << (problems.empty() ? "" : problems[0]);
}

// A child's transaction that holds one file and then asks for another: inserts record `id`
// into `first`, says "holding" and waits for the signal, inserts it into `second`, ends the
// transaction (aborts it when that insert failed) and reports the insert's status.
int HoldThenWrite(const std::string &first, const std::string &second, int id,
                  const std::string &value, int report, int signal) {
  PosBlock pf, ps;
  if (Open(pf, first) != 0 || Open(ps, second) != 0) return 1;
  if (Call0(B_BEGIN_TRAN) != 0 || Insert(pf, Rec(id, value)) != 0) return 2;
  Say(report, "holding");
  Hear(signal);
  int16_t status = Insert(ps, Rec(id, value));
  if (Call0(status == 0 ? B_END_TRAN : B_ABORT_TRAN) != 0) return 3;
  Say(report, std::to_string(status));
  return 0;
}

TEST(Processes, KilledAtRandomMomentsLosesNothingReported) {
  std::string path = Scratch("crash.btr");
  CreatePeople(path);
  std::mt19937 rng(42);
  // id -> value the reported operations imply. The child may have finished one more
  // operation than it reported (killed between the call and the report): an insert's update.
  std::map<int, std::string> expected;
  for (int round = 0; round < 50; ++round) {
    int base = round * 100000;
    Child c = Spawn([&](int report, int) {
      PosBlock pb;
      if (Open(pb, path) != 0) return 1;
      for (int i = 0;; ++i) {
        int id = base + i;
        if (Insert(pb, Rec(id, "new", i % 7)) != 0) return 2;
        Say(report, "I " + std::to_string(id));
        std::string data = Rec(id, "upd" + std::to_string(i % 10), i % 5), key(4, '\0');
        if (Op(B_UPDATE, pb, data, key, 0) != 0) return 3;
        Say(report, "U " + std::to_string(id) + " upd" + std::to_string(i % 10));
      }
    });
    // The kill lands after the child's first report, so every round has work to check even
    // on a loaded machine.
    char first[64];
    ssize_t got = read(c.from_child, first, sizeof first);
    std::string log = got > 0 ? std::string(first, static_cast<size_t>(got)) : std::string();
    usleep(2000 + rng() % 20000);
    kill(c.pid, SIGKILL);
    log += HearAll(c.from_child);
    EXPECT_EQ(Wait(c), -1) << "the child stopped on its own in round " << round;
    std::istringstream lines(log);
    std::string kind;
    int id;
    while (lines >> kind >> id) {
      if (kind == "I") {
        expected[id] = "new";
      } else {
        std::string value;
        lines >> value;
        expected[id] = value;
      }
    }
    ExpectSound(path);
  }
  PosBlock pb;
  ASSERT_EQ(Open(pb, path), 0);
  for (const auto &[id, value] : expected) {
    std::string rec;
    ASSERT_EQ(GetEqual(pb, id, &rec), 0) << id;
    bool unreported_update = value == "new" && rec.substr(4, 3) == "upd";
    if (!unreported_update) {
      EXPECT_EQ(rec.substr(4, 8), Pad(value, 8)) << id;
    }
  }
  EXPECT_GE(expected.size(), 50u);
  Close(pb);
}

TEST(Processes, TwoWritersAtOnceLoseNoWrite) {
  std::string path = Scratch("busy.btr");
  CreatePeople(path);
  auto writer = [&](int base) {
    return [&, base](int report, int) {
      PosBlock pb;
      if (Open(pb, path) != 0) return 1;
      std::mt19937 rng(base);
      std::set<int> live;
      for (int i = 0; i < 300; ++i) {
        int id = base + i;
        int16_t rc = Insert(pb, Rec(id, "v0", i % 4));
        if (rc != 0) {
          Say(report, "E insert " + std::to_string(rc) + " -");
          return 10;
        }
        live.insert(id);
        Say(report, "I " + std::to_string(id) + " v0");
        if (i % 3 == 0) {  // update one of ours
          int target = base + static_cast<int>(rng() % (i + 1));
          std::string rec;
          if (live.count(target) && GetEqual(pb, target, &rec) == 0) {
            std::string data = Rec(target, "v" + std::to_string(i), i % 4), key(4, '\0');
            if (Op(B_UPDATE, pb, data, key, 0) != 0) return 11;
            Say(report, "U " + std::to_string(target) + " v" + std::to_string(i));
          }
        }
        if (i % 5 == 4) {  // delete one of ours
          int target = base + static_cast<int>(rng() % (i + 1));
          std::string rec;
          if (live.count(target) && GetEqual(pb, target, &rec) == 0) {
            std::string none, key(4, '\0');
            if (Op(B_DELETE, pb, none, key, 0) != 0) return 12;
            live.erase(target);
            Say(report, "D " + std::to_string(target) + " -");
          }
        }
      }
      Close(pb);
      return 0;
    };
  };
  // A reader walks key 0 all the while: every walk is in strictly ascending order.
  auto reader = [&](int, int) {
    PosBlock pb;
    if (Open(pb, path) != 0) return 1;
    for (int walk = 0; walk < 30; ++walk) {
      std::string data(16, '\0'), key(4, '\0');
      int last = -1;
      for (int16_t rc = Op(B_GET_FIRST, pb, data, key, 0); rc == 0;
           rc = Op(B_GET_NEXT, pb, data, key, 0)) {
        if (IdOf(data) <= last) return 20;
        last = IdOf(data);
        data.assign(16, '\0');
      }
    }
    Close(pb);
    return 0;
  };
  Child a = Spawn(writer(1000)), b = Spawn(writer(2000)), r = Spawn(reader);
  std::string log = HearAll(a.from_child) + HearAll(b.from_child);
  EXPECT_EQ(Wait(a), 0) << log.substr(log.find('E') == std::string::npos ? log.size()
                                                                         : log.find('E'));
  EXPECT_EQ(Wait(b), 0) << log.substr(log.find('E') == std::string::npos ? log.size()
                                                                         : log.find('E'));
  EXPECT_EQ(Wait(r), 0);
  std::map<int, std::string> expected;
  std::istringstream lines(log);
  std::string kind, value;
  int id;
  // Each writer's lines are in its own order; the two writers touch different ids.
  while (lines >> kind >> id >> value) {
    if (kind == "D") {
      expected.erase(id);
    } else {
      expected[id] = value;
    }
  }
  PosBlock pb;
  ASSERT_EQ(Open(pb, path), 0);
  std::map<int, std::string> found;
  std::string data(16, '\0'), key(4, '\0');
  for (int16_t rc = Op(B_GET_FIRST, pb, data, key, 0); rc == 0;
       rc = Op(B_GET_NEXT, pb, data, key, 0)) {
    std::string v = data.substr(4, 8);
    found[IdOf(data)] = v.substr(0, v.find(' '));
    data.assign(16, '\0');
  }
  Close(pb);
  EXPECT_EQ(found, expected);
  ExpectSound(path);
}

// One process opens the file and inserts, again and again, while another converts it as the
// dictionary editor does: renames it to a backup, creates it anew, copies the records over
// and deletes the backup. An open that meets the move either finds the new file or is
// refused; it never writes into the backup.
TEST(Processes, AFileMovedWhileItIsOpenedTakesNoWriteWithIt) {
  std::string path = Scratch("moving.btr"), backup = Scratch("moving.@@@");
  CreatePeople(path);
  // Enough rounds that a move meets an open many times over (a server's moves are slower).
  const int kRounds = OnServer() ? 20 : 60;
  Child writer = Spawn([&](int report, int signal) {
    for (int id = 0;; ++id) {
      PosBlock pb;
      int16_t opened = Open(pb, path);
      if (opened == 0) {
        int16_t inserted = Insert(pb, Rec(id, "w"));
        // Told once the file is closed: a pipe the parent does not read until the end may
        // fill, and a writer waiting on it must not keep the file open.
        Close(pb);
        if (inserted == 0) Say(report, "I " + std::to_string(id));
        if (inserted != 0 && inserted != B_FILE_INUSE && inserted != B_RECORD_INUSE)
          Say(report, "S " + std::to_string(inserted));
      } else if (opened != B_FILE_NOT_FOUND && opened != B_FILE_INUSE &&
                 opened != B_INCOMPATIBLE_MODE) {
        Say(report, "S " + std::to_string(opened));
      }
      struct pollfd stop = {signal, POLLIN, 0};
      if (::poll(&stop, 1, 0) > 0) return 0;
    }
  });
  for (int round = 0; round < kRounds; ++round) {
    // The writer holds the file most of the time: the rename is tried until it lands.
    for (int16_t rc; (rc = BTRRENAMEFILE(path.c_str(), backup.c_str())) != 0;) {
      ASSERT_EQ(rc, B_FILE_INUSE);
      ::usleep(200);
    }
    CreatePeople(path);
    PosBlock from, to;
    ASSERT_EQ(Open(from, backup), 0);
    ASSERT_EQ(Open(to, path), 0);
    std::string data(16, '\0'), key(4, '\0');
    for (int16_t rc = Op(B_STEP_FIRST, from, data, key, 0); rc == 0;
         rc = Op(B_STEP_NEXT, from, data, key, 0)) {
      ASSERT_EQ(Insert(to, data), 0);
      data.assign(16, '\0');
    }
    Close(from);
    Close(to);
    ASSERT_EQ(BTRDELETEFILE(backup.c_str()), 0);
  }
  Say(writer.to_child, "stop");
  std::string log = HearAll(writer.from_child);
  EXPECT_EQ(Wait(writer), 0);
  EXPECT_EQ(log.find('S'), std::string::npos) << log.substr(log.find('S'), 40);
  std::set<int> reported;
  std::istringstream lines(log);
  std::string kind;
  int id;
  while (lines >> kind >> id) {
    if (kind == "I") reported.insert(id);
  }
  const std::set<int> found = IdsIn(path);
  EXPECT_FALSE(reported.empty());
  std::vector<int> lost;
  std::set_difference(reported.begin(), reported.end(), found.begin(), found.end(),
                      std::back_inserter(lost));
  EXPECT_TRUE(lost.empty()) << lost.size() << " of " << reported.size() << " reported inserts lost";
  ExpectSound(path);
}

// A check of a file this process has open leaves the process's hold on the file as it was:
// another process that closes the file afterwards does not take the journal away from under
// the open connection, so no write of either is lost.
TEST(Processes, ACheckOfAFileOpenHereLosesNoWrite) {
  std::string path = Scratch("checked.btr");
  CreatePeople(path);
  auto inserter = [&](int id) {
    return [&, id](int report, int signal) {
      Hear(signal);
      PosBlock pb;
      if (Open(pb, path) != 0 || Insert(pb, Rec(id, "child")) != 0) return 1;
      Close(pb);
      Say(report, "done");
      return 0;
    };
  };
  // Forked before this process opens anything.
  Child first = Spawn(inserter(1000)), second = Spawn(inserter(1001));
  PosBlock pb;
  ASSERT_EQ(Open(pb, path), 0);
  ASSERT_EQ(Insert(pb, Rec(1, "here")), 0);
  EXPECT_EQ(BTRCHECKFILE(path.c_str(), nullptr, nullptr), 0);
  Say(first.to_child, "go");
  EXPECT_EQ(Hear(first.from_child), "done");
  ASSERT_EQ(Insert(pb, Rec(2, "here")), 0);
  Say(second.to_child, "go");
  EXPECT_EQ(Hear(second.from_child), "done");
  ASSERT_EQ(Insert(pb, Rec(3, "here")), 0);
  Close(pb);
  EXPECT_EQ(Wait(first), 0);
  EXPECT_EQ(Wait(second), 0);
  EXPECT_EQ(IdsIn(path), (std::set<int>{1, 2, 3, 1000, 1001}));
  ExpectSound(path);
}

// A child made by fork() while this process has a file open answers 95 for it: it neither
// writes through the parent's connection (a write that could be lost once the parent
// closes) nor gives back the parent's locks when it closes the parent's block.
TEST(Processes, AForkedChildLeavesItsParentsFilesAlone) {
  std::string path = Scratch("forked.btr");
  CreatePeople(path);
  // Forked before anything is open: a process of its own.
  Child other = Spawn([&](int report, int signal) {
    Hear(signal);
    PosBlock pb;
    std::string rec;
    int16_t opened = Open(pb, path);
    Say(report, std::to_string(opened) + " " + std::to_string(GetEqual(pb, 1, &rec, 200)));
    Close(pb);
    return 0;
  });
  PosBlock pb;
  ASSERT_EQ(Open(pb, path), 0);
  ASSERT_EQ(Insert(pb, Rec(1, "a")), 0);
  ASSERT_EQ(Insert(pb, Rec(2, "b")), 0);
  std::string rec;
  ASSERT_EQ(GetEqual(pb, 1, &rec, 200), 0);  // locked by this process
  Child child = Spawn([&](int report, int) {
    std::string got;
    int16_t read = GetEqual(pb, 2, &got);
    int16_t inserted = Insert(pb, Rec(3, "child"));
    int16_t closed = Close(pb);
    PosBlock fresh;
    int16_t reopened = Open(fresh, path);
    Say(report, std::to_string(read) + " " + std::to_string(inserted) + " " +
                    std::to_string(closed) + " " + std::to_string(reopened));
    return 0;
  });
  EXPECT_EQ(Hear(child.from_child), "95 95 0 95");
  EXPECT_EQ(Wait(child), 0);
  Say(other.to_child, "go");
  EXPECT_EQ(Hear(other.from_child), "0 " + std::to_string(B_RECORD_INUSE));
  EXPECT_EQ(Wait(other), 0);
  ASSERT_EQ(Insert(pb, Rec(4, "d")), 0);
  Close(pb);
  EXPECT_EQ(IdsIn(path), (std::set<int>{1, 2, 4}));
  ExpectSound(path);
}

TEST(Processes, RecordLocksHoldAcrossProcessesAndVanishWithTheirProcess) {
  std::string path = Scratch("locks.btr");
  CreatePeopleHolding(path, {Rec(1, "one"), Rec(2, "two")});
  ASSERT_TRUE(
      zplatform::WritePrivateProfileString("wbtrv32", "lock_wait_seconds", "1", "zelko.ini"));
  Child holder = Spawn([&](int report, int) {
    PosBlock pb;
    if (Open(pb, path) != 0) return 1;
    if (GetEqual(pb, 1, nullptr, B_SINGLE_NOWAIT_LOCK) != 0) return 2;
    if (GetEqual(pb, 2, nullptr, B_MULTIPLE_NOWAIT_LOCK) != 0) return 3;
    Say(report, "locked");
    pause();
    return 0;
  });
  ASSERT_EQ(Hear(holder.from_child), "locked");
  PosBlock pb;
  ASSERT_EQ(Open(pb, path), 0);
  std::string rec;
  EXPECT_EQ(GetEqual(pb, 1, &rec, B_SINGLE_NOWAIT_LOCK), B_RECORD_INUSE);
  EXPECT_EQ(GetEqual(pb, 2, &rec, B_MULTIPLE_NOWAIT_LOCK), B_RECORD_INUSE);
  EXPECT_EQ(GetEqual(pb, 1, &rec, B_SINGLE_WAIT_LOCK), B_RECORD_INUSE);  // after the 1 s limit
  // Reading without a lock is allowed; writing the locked record is not.
  ASSERT_EQ(GetEqual(pb, 1, &rec), 0);
  std::string data = Rec(1, "changed"), key(4, '\0');
  EXPECT_EQ(Op(B_UPDATE, pb, data, key, 0), B_RECORD_INUSE);
  std::string none;
  EXPECT_EQ(Op(B_DELETE, pb, none, key, 0), B_RECORD_INUSE);
  kill(holder.pid, SIGKILL);
  Wait(holder);
  EXPECT_EQ(GetEqual(pb, 1, &rec, B_SINGLE_NOWAIT_LOCK), 0);
  EXPECT_EQ(GetEqual(pb, 2, &rec, B_MULTIPLE_NOWAIT_LOCK), 0);
  data = Rec(2, "changed");
  EXPECT_EQ(Op(B_UPDATE, pb, data, key, 0), 0);
  // A process's own locks never block it: a second cursor of this process reads record 2
  // with a lock, and Unlock -1 releases the multiple lock by its position.
  PosBlock other;
  ASSERT_EQ(Open(other, path), 0);
  EXPECT_EQ(GetEqual(other, 2, &rec, B_SINGLE_NOWAIT_LOCK), 0);
  std::string pos(4, '\0');
  ASSERT_EQ(Op(B_GET_POSITION, pb, pos, key, 0), 0);
  EXPECT_EQ(Op(B_UNLOCK, pb, pos, key, -1), 0);
  EXPECT_EQ(Op(B_UNLOCK, pb, pos, key, -1), B_LOCKERROR);
  Close(other);
  Close(pb);
}

// Two processes write one record at once, neither holding a lock: one write runs (here held
// up by a third process's transaction on the file) while the other arrives. The second
// waits for the first and then finds the record changed since it read it (80); it is not
// told that the record is locked (84), as no user locked it.
TEST(Processes, AWriteMeetingAnotherWriteOfItsRecordWaitsAndSeesTheChange) {
  std::string path = Scratch("meet.btr");
  CreatePeopleHolding(path, {Rec(1, "first")});
  Child blocker = Spawn([&](int report, int signal) {
    PosBlock pb;
    if (Open(pb, path) != 0) return 1;
    uint32_t len = 0;
    if (BTRCALL(B_BEGIN_TRAN, nullptr, nullptr, &len, nullptr, 0, 0) != 0) return 2;
    if (Insert(pb, Rec(99, "tx")) != 0) return 3;
    Say(report, "holding");
    Hear(signal);
    usleep(500 * 1000);  // while the two writes meet
    if (BTRCALL(B_END_TRAN, nullptr, nullptr, &len, nullptr, 0, 0) != 0) return 4;
    return 0;
  });
  Child writer = Spawn([&](int report, int signal) {
    PosBlock pb;
    if (Open(pb, path) != 0 || GetEqual(pb, 1, nullptr) != 0) return 1;
    Say(report, "read");
    Hear(signal);
    std::string data = Rec(1, "theirs"), key(4, '\0');
    Say(report, std::to_string(Op(B_UPDATE, pb, data, key, 0)));
    return 0;
  });
  ASSERT_EQ(Hear(blocker.from_child), "holding");
  ASSERT_EQ(Hear(writer.from_child), "read");
  PosBlock pb;
  ASSERT_EQ(Open(pb, path), 0);
  std::string rec;
  ASSERT_EQ(GetEqual(pb, 1, &rec), 0);
  Say(writer.to_child, "go");
  usleep(200 * 1000);  // the writer's update now waits for the transaction
  Say(blocker.to_child, "end");
  std::string data = Rec(1, "mine"), key(4, '\0');
  int16_t mine = Op(B_UPDATE, pb, data, key, 0);
  int16_t theirs = static_cast<int16_t>(std::stoi(Hear(writer.from_child)));
  EXPECT_EQ(Wait(writer), 0);
  EXPECT_EQ(Wait(blocker), 0);
  // One of the two wrote; the other was told of the change.
  EXPECT_EQ(std::min(mine, theirs), 0);
  EXPECT_EQ(std::max(mine, theirs), B_CONFLICT) << mine << " " << theirs;
  ASSERT_EQ(GetEqual(pb, 1, &rec), 0);
  EXPECT_EQ(rec, Rec(1, mine == 0 ? "mine" : "theirs"));
  Close(pb);
  ExpectSound(path);
}

// Keys another process creates or drops while this one has the file open: key numbers are
// checked against the keys the file has now (a write through a key that is gone once crashed),
// a walk follows its key to its new number, and a new key indexes what is written after it.
TEST(Processes, KeysAnotherProcessCreatesOrDropsAreFollowed) {
  std::string path = Scratch("rekeyed.btr");
  ASSERT_EQ(Create(path, CreateBuffer(16, 4096,
                                      {{{1, 4, kExt, B_TYPE_INTEGER}},
                                       {{13, 4, kExt | B_KEY_DUPLICATES, B_TYPE_INTEGER}},
                                       {{5, 8, kExt | B_KEY_DUPLICATES, B_TYPE_STRING}}})),
            0);
  Child other = Spawn([&](int report, int signal) {
    PosBlock pb;
    if (Open(pb, path) != 0) return 1;
    std::string none, key;
    Hear(signal);
    Say(report, std::to_string(Op(B_DROP_INDEX, pb, none, key, 0)));  // the id key
    Hear(signal);
    std::vector<uint8_t> by_id = CreateBuffer(16, 4096, {{{1, 4, kExt, B_TYPE_INTEGER}}});
    std::string segment(by_id.begin() + 16, by_id.end());
    Say(report, std::to_string(Op(B_CREATE_INDEX, pb, segment, key, 0)));
    Hear(signal);
    Close(pb);
    return 0;
  });
  PosBlock pb;
  ASSERT_EQ(Open(pb, path), 0);
  for (int id = 1; id <= 6; ++id)
    ASSERT_EQ(Insert(pb, Rec(id, "v" + std::to_string(id), id % 2)), 0);
  // Stat: the number of keys and of records.
  auto stat = [&](int *records = nullptr) {
    std::string buffer(512, '\0'), name(255, '\0');
    EXPECT_EQ(Op(B_STAT, pb, buffer, name, 0), 0);
    if (records != nullptr) std::memcpy(records, &buffer[6], 4);
    return static_cast<int>(buffer[4]);
  };
  std::string data(16, '\0'), key(8, '\0');
  ASSERT_EQ(Op(B_GET_FIRST, pb, data, key, 1), 0);  // along the group key: 2, 4, 6
  ASSERT_EQ(Op(B_GET_NEXT, pb, data, key, 1), 0);
  EXPECT_EQ(IdOf(data), 4);

  Say(other.to_child, "drop");
  ASSERT_EQ(Hear(other.from_child), "0");
  data = Rec(7, "v7", 1);
  EXPECT_EQ(Op(B_INSERT, pb, data, key, 2), B_INVALID_KEYNUMBER);
  EXPECT_EQ(stat(), 2);
  EXPECT_EQ(Op(B_GET_NEXT, pb, data, key, 1), B_DIFFERENT_KEYNUMBER);
  ASSERT_EQ(Op(B_GET_NEXT, pb, data, key, 0), 0);  // the group key is key 0 now
  EXPECT_EQ(IdOf(data), 6);
  data = Rec(7, "v7", 1);
  EXPECT_EQ(Op(B_UPDATE, pb, data, key, 2), B_INVALID_KEYNUMBER);
  int records = 0;
  stat(&records);
  EXPECT_EQ(records, 6);
  data = Rec(7, "v7", 1);
  ASSERT_EQ(Op(B_INSERT, pb, data, key, 1), 0);

  Say(other.to_child, "create");
  ASSERT_EQ(Hear(other.from_child), "0");
  // A reader sees it before it writes again (on a server, at its next write).
  if (!OnServer()) {
    EXPECT_EQ(stat(), 3);
  }
  data = Rec(8, "v8", 0);
  ASSERT_EQ(Op(B_INSERT, pb, data, key, 2), 0);
  int along_new_key = 0;
  for (int16_t rc = Op(B_GET_FIRST, pb, data, key, 2); rc == 0;
       rc = Op(B_GET_NEXT, pb, data, key, 2))
    EXPECT_EQ(IdOf(data), ++along_new_key);
  EXPECT_EQ(along_new_key, 8);
  Say(other.to_child, "end");
  EXPECT_EQ(Wait(other), 0);
  Close(pb);
  ExpectSound(path);
}

TEST(Processes, TransactionsAreInvisibleUntilEndAndAbortRestores) {
  std::string path = Scratch("tx.btr");
  std::string path2 = Scratch("tx2.btr");
  CreatePeople(path);
  CreatePeople(path2);
  for (bool commit : {true, false}) {
    int id = commit ? 50 : 60;
    Child writer = Spawn([&](int report, int signal) {
      PosBlock a, b;
      if (Open(a, path) != 0 || Open(b, path2) != 0) return 1;
      uint32_t len = 0;
      if (BTRCALL(B_BEGIN_TRAN, nullptr, nullptr, &len, nullptr, 0, 0) != 0) return 2;
      if (Insert(a, Rec(id, "tx")) != 0 || Insert(b, Rec(id, "tx")) != 0) return 3;
      Say(report, "inserted");
      Hear(signal);
      int op = commit ? B_END_TRAN : B_ABORT_TRAN;
      if (BTRCALL(static_cast<uint16_t>(op), nullptr, nullptr, &len, nullptr, 0, 0) != 0) return 4;
      Say(report, "done");
      Hear(signal);
      return 0;
    });
    ASSERT_EQ(Hear(writer.from_child), "inserted");
    PosBlock pb;
    ASSERT_EQ(Open(pb, path), 0);
    // Stat's counts: the records, and the distinct values of the group key.
    auto counts = [&] {
      std::string buffer(512, '\0'), name(255, '\0');
      EXPECT_EQ(Op(B_STAT, pb, buffer, name, 0), 0);
      uint32_t records = 0, groups = 0;
      std::memcpy(&records, &buffer[6], 4);
      std::memcpy(&groups, &buffer[16 + 16 + 6], 4);
      return std::pair<int, int>(static_cast<int>(records), static_cast<int>(groups));
    };
    const std::pair<int, int> before = counts();
    std::string rec;
    EXPECT_EQ(GetEqual(pb, id, &rec), B_KEY_VALUE_NOT_FOUND);  // not visible yet
    EXPECT_EQ(counts(), before);
    // A no-wait transaction cannot write the file the other transaction holds.
    uint32_t len = 0;
    ASSERT_EQ(
        BTRCALL(static_cast<uint16_t>(B_BEGIN_TRAN) + static_cast<uint16_t>(B_SINGLE_NOWAIT_LOCK),
                nullptr, nullptr, &len, nullptr, 0, 0),
        0);
    EXPECT_EQ(Insert(pb, Rec(id + 1, "mine")), B_FILE_INUSE);
    ASSERT_EQ(BTRCALL(B_ABORT_TRAN, nullptr, nullptr, &len, nullptr, 0, 0), 0);
    Say(writer.to_child, "go");
    ASSERT_EQ(Hear(writer.from_child), "done");
    EXPECT_EQ(GetEqual(pb, id, &rec), commit ? 0 : B_KEY_VALUE_NOT_FOUND);
    // Counted again once the other process committed; this one's own writes count at once,
    // and no longer once aborted.
    const std::pair<int, int> after = counts();
    EXPECT_EQ(after.first, before.first + (commit ? 1 : 0));
    ASSERT_EQ(BTRCALL(B_BEGIN_TRAN, nullptr, nullptr, &len, nullptr, 0, 0), 0);
    ASSERT_EQ(Insert(pb, Rec(id + 2, "own", 7)), 0);
    EXPECT_EQ(counts(), std::make_pair(after.first + 1, after.second + 1));
    ASSERT_EQ(BTRCALL(B_ABORT_TRAN, nullptr, nullptr, &len, nullptr, 0, 0), 0);
    EXPECT_EQ(counts(), after);
    Close(pb);
    PosBlock pb2;
    ASSERT_EQ(Open(pb2, path2), 0);
    EXPECT_EQ(GetEqual(pb2, id, &rec), commit ? 0 : B_KEY_VALUE_NOT_FOUND);
    Close(pb2);
    Say(writer.to_child, "bye");
    EXPECT_EQ(Wait(writer), 0);
  }
  ExpectSound(path);
  ExpectSound(path2);
}

// A transaction that has written a file asks, with a wait lock, for a record another process
// holds locked. While that process only holds the lock, the transaction waits for it; once
// the process writes the file (here another record), its write waits for the transaction's
// end, so the two would wait on each other until the limit ran out: the read answers 78 at
// once, and the other write goes through after the End.
TEST(Processes, AWaitLockMeetingAWriteThatWaitsForThisTransactionIsADeadlock) {
  std::string path = Scratch("deadlock.btr");
  CreatePeopleHolding(path, {Rec(1, "one"), Rec(2, "two"), Rec(3, "three"), Rec(4, "four")});
  Child other = Spawn([&](int report, int signal) {
    PosBlock two, three, four;
    if (Open(two, path) != 0 || Open(three, path) != 0 || Open(four, path) != 0) return 1;
    if (GetEqual(two, 2, nullptr, B_SINGLE_NOWAIT_LOCK) != 0) return 2;
    if (GetEqual(three, 3, nullptr, B_SINGLE_NOWAIT_LOCK) != 0) return 3;
    if (GetEqual(four, 4, nullptr) != 0) return 4;
    Say(report, "locked");
    Hear(signal);
    usleep(200 * 1000);  // the transaction now waits for record 3
    Close(three);
    Hear(signal);
    std::string data = Rec(4, "theirs"), key(4, '\0');
    Say(report, std::to_string(Op(B_UPDATE, four, data, key, 0)));
    return 0;
  });
  ASSERT_EQ(Hear(other.from_child), "locked");
  PosBlock pb, second;
  ASSERT_EQ(Open(pb, path), 0);
  ASSERT_EQ(Open(second, path), 0);
  ASSERT_EQ(Call0(B_BEGIN_TRAN), 0);
  std::string rec, key(4, '\0');
  ASSERT_EQ(GetEqual(pb, 1, &rec), 0);
  std::string data = Rec(1, "mine");
  ASSERT_EQ(Op(B_UPDATE, pb, data, key, 0), 0);
  Say(other.to_child, "go");
  // Held by a lock alone: waited for.
  EXPECT_EQ(GetEqual(pb, 3, &rec, B_SINGLE_WAIT_LOCK), 0);
  EXPECT_EQ(rec, Rec(3, "three"));
  Say(other.to_child, "write");
  EXPECT_EQ(GetEqual(second, 2, &rec, B_SINGLE_WAIT_LOCK), B_DEADLOCK);
  ASSERT_EQ(Call0(B_END_TRAN), 0);
  EXPECT_EQ(Hear(other.from_child), "0");
  EXPECT_EQ(Wait(other), 0);
  ASSERT_EQ(GetEqual(pb, 1, &rec), 0);
  EXPECT_EQ(rec, Rec(1, "mine"));
  ASSERT_EQ(GetEqual(pb, 4, &rec), 0);
  EXPECT_EQ(rec, Rec(4, "theirs"));
  Close(second);
  Close(pb);
  ExpectSound(path);
}

// Two transactions each write one file and then the other's: each waits for the other's
// end. One of them is told at once (78) and aborts; the other then goes on and commits.
TEST(Processes, TransactionsWaitingForEachOthersFilesAreADeadlock) {
  std::string x = Scratch("ring_x.btr"), y = Scratch("ring_y.btr");
  CreatePeople(x);
  CreatePeople(y);
  auto finish = [](int16_t status) { return Call0(status == 0 ? B_END_TRAN : B_ABORT_TRAN); };
  Child other = Spawn(
      [&](int report, int signal) { return HoldThenWrite(y, x, 2, "theirs", report, signal); });
  ASSERT_EQ(Hear(other.from_child), "holding");
  PosBlock px, py;
  ASSERT_EQ(Open(px, x), 0);
  ASSERT_EQ(Open(py, y), 0);
  ASSERT_EQ(Call0(B_BEGIN_TRAN), 0);
  ASSERT_EQ(Insert(px, Rec(1, "mine")), 0);
  Say(other.to_child, "go");
  int16_t mine = Insert(py, Rec(1, "mine"));
  ASSERT_EQ(finish(mine), 0);
  int16_t theirs = static_cast<int16_t>(std::stoi(Hear(other.from_child)));
  EXPECT_EQ(Wait(other), 0);
  EXPECT_EQ(std::min(mine, theirs), 0);
  EXPECT_EQ(std::max(mine, theirs), B_DEADLOCK) << mine << " " << theirs;
  const std::set<int> winner = {mine == 0 ? 1 : 2};
  Close(px);
  Close(py);
  EXPECT_EQ(IdsIn(x), winner);
  EXPECT_EQ(IdsIn(y), winner);
  ExpectSound(x);
  ExpectSound(y);
}

// Two transactions wait for each other's files; the one told 78 aborts and at once writes
// its first file again, which the other waits for. It lets the other have that file first:
// taken back at once, the other would wait on, and round after round the same one would give
// way again.
TEST(Processes, ATransactionThatGaveWayLetsTheOtherHaveTheFileFirst) {
  std::string x = Scratch("again_x.btr"), y = Scratch("again_y.btr");
  CreatePeople(x);
  CreatePeople(y);
  // One side: holds `first`, then writes `second`. Told 78, it starts again on `first` and
  // answers whether the other side's record is in it by then; else "won".
  auto side = [](const std::string &first, const std::string &second, int id, int other,
                 const std::function<void()> &holding) {
    PosBlock pf, ps;
    if (Open(pf, first) != 0 || Open(ps, second) != 0) return std::string("no file");
    if (Call0(B_BEGIN_TRAN) != 0 || Insert(pf, Rec(id, "first")) != 0) return std::string("no");
    holding();
    int16_t status = Insert(ps, Rec(id, "second"));
    if (status == 0) return std::string(Call0(B_END_TRAN) == 0 ? "won" : "no end");
    if (status != B_DEADLOCK || Call0(B_ABORT_TRAN) != 0) return std::to_string(status);
    if (Call0(B_BEGIN_TRAN) != 0 || Insert(pf, Rec(id + 10, "again")) != 0)
      return std::string("not again");
    std::string found = GetEqual(pf, other, nullptr) == 0 ? "theirs first" : "mine first";
    return Call0(B_END_TRAN) == 0 ? found : std::string("no end");
  };
  Child other = Spawn([&](int report, int signal) {
    std::string said = side(y, x, 2, 1, [&] {
      Say(report, "holding");
      Hear(signal);
    });
    Say(report, said);
    return 0;
  });
  ASSERT_EQ(Hear(other.from_child), "holding");
  std::string mine = side(x, y, 1, 2, [&] { Say(other.to_child, "go"); });
  std::string theirs = Hear(other.from_child);
  EXPECT_EQ(Wait(other), 0);
  std::set<std::string> outcomes = {mine, theirs};
  EXPECT_EQ(outcomes, (std::set<std::string>{"won", "theirs first"})) << mine << " / " << theirs;
  const bool won = mine == "won";
  EXPECT_EQ(IdsIn(x), (won ? std::set<int>{1} : std::set<int>{2, 11}));
  EXPECT_EQ(IdsIn(y), (won ? std::set<int>{1, 12} : std::set<int>{2}));
  ExpectSound(x);
  ExpectSound(y);
}

// A transaction that writes file Y updates a record of X that another process is writing,
// while that write waits for X, which a third transaction holds while it waits for Y. The
// update is told 84 without waiting out the grace (it would hold Y back from the third
// meanwhile); once it aborts, the third commits and the waiting write goes through.
TEST(Processes, AnUpdateMeetingAWriteThatWaitsForAFileGivesWayAndLosesNothing) {
  std::string x = Scratch("chain_x.btr"), y = Scratch("chain_y.btr");
  CreatePeopleHolding(x, {Rec(1, "one")});
  CreatePeople(y);
  // Holds X, then waits for Y, which the test's transaction holds.
  Child holder = Spawn(
      [&](int report, int signal) { return HoldThenWrite(x, y, 5, "third", report, signal); });
  Child writer = Spawn([&](int report, int signal) {
    PosBlock px;
    if (Open(px, x) != 0 || GetEqual(px, 1, nullptr) != 0) return 1;
    Hear(signal);
    Say(report, "writing");
    std::string data = Rec(1, "writer"), key(4, '\0');
    Say(report, std::to_string(Op(B_UPDATE, px, data, key, 0)));  // waits for the holder
    return 0;
  });
  ASSERT_EQ(Hear(holder.from_child), "holding");
  PosBlock px, py;
  ASSERT_EQ(Open(px, x), 0);
  ASSERT_EQ(Open(py, y), 0);
  ASSERT_EQ(Call0(B_BEGIN_TRAN), 0);
  ASSERT_EQ(Insert(py, Rec(9, "mine")), 0);
  Say(holder.to_child, "go");
  Say(writer.to_child, "go");
  ASSERT_EQ(Hear(writer.from_child), "writing");
  usleep(200 * 1000);  // the write now holds record 1 and waits for X
  std::string rec;
  ASSERT_EQ(GetEqual(px, 1, &rec), 0);
  std::string data = Rec(1, "mine"), key(4, '\0');
  EXPECT_EQ(Op(B_UPDATE, px, data, key, 0), B_RECORD_INUSE);
  ASSERT_EQ(Call0(B_ABORT_TRAN), 0);
  EXPECT_EQ(Hear(holder.from_child), "0");
  EXPECT_EQ(Hear(writer.from_child), "0");
  EXPECT_EQ(Wait(holder), 0);
  EXPECT_EQ(Wait(writer), 0);
  ASSERT_EQ(GetEqual(px, 1, &rec), 0);
  EXPECT_EQ(rec, Rec(1, "writer"));
  Close(px);
  Close(py);
  EXPECT_EQ(IdsIn(x), (std::set<int>{1, 5}));
  EXPECT_EQ(IdsIn(y), std::set<int>{5});
  ExpectSound(x);
  ExpectSound(y);
}

TEST(Processes, ExclusiveOpensExcludeOtherProcesses) {
  std::string path = Scratch("ex.btr");
  CreatePeople(path);
  for (int8_t child_mode : {int8_t{-4}, int8_t{0}}) {
    Child c = Spawn([&](int report, int signal) {
      PosBlock pb;
      if (Open(pb, path, child_mode) != 0) return 1;
      Say(report, "open");
      Hear(signal);
      return 0;
    });
    ASSERT_EQ(Hear(c.from_child), "open");
    PosBlock pb;
    EXPECT_EQ(Open(pb, path, child_mode == -4 ? 0 : -4), B_INCOMPATIBLE_MODE);
    if (child_mode == -4) {
      EXPECT_EQ(Open(pb, path, -2), B_INCOMPATIBLE_MODE);
    }
    Say(c.to_child, "close");
    EXPECT_EQ(Wait(c), 0);
    ASSERT_EQ(Open(pb, path, -4), 0);  // free again
    Close(pb);
  }
}

}  // namespace
