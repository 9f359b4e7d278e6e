// Forked children for tests across processes: each child runs a body and talks to the test
// through two pipes, one line at a time.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>

namespace zelko_testing {

struct Child {
  pid_t pid = -1;
  int from_child = -1;  // the child's reports
  int to_child = -1;    // signals to the child
};

// Forks a child running `body(report_fd, signal_fd)`; its return value is its exit status.
// Fork only while this process holds no open file, so the child starts clean.
Child Spawn(const std::function<int(int, int)> &body);
void Say(int fd, const std::string &line);
// One line from the other side (without its newline); empty at the end.
std::string Hear(int fd);
// Everything until the other side closes.
std::string HearAll(int fd);
// The child's exit status, or -1 when a signal ended it.
int Wait(Child &c);

}  // namespace zelko_testing
