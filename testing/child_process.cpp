#include "child_process.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace zelko_testing {

Child Spawn(const std::function<int(int, int)> &body) {
  int up[2], down[2];
  EXPECT_EQ(pipe(up), 0);
  EXPECT_EQ(pipe(down), 0);
  Child c;
  c.pid = fork();
  if (c.pid == 0) {
    close(up[0]);
    close(down[1]);
    _exit(body(up[1], down[0]));
  }
  close(up[1]);
  close(down[0]);
  c.from_child = up[0];
  c.to_child = down[1];
  return c;
}

void Say(int fd, const std::string &line) {
  std::string l = line + "\n";
  ssize_t n = write(fd, l.data(), l.size());
  (void)n;
}
std::string Hear(int fd) {
  std::string line;
  char ch;
  while (read(fd, &ch, 1) == 1 && ch != '\n')
    line.push_back(ch);
  return line;
}
std::string HearAll(int fd) {
  std::string all;
  char buf[4096];
  ssize_t n;
  while ((n = read(fd, buf, sizeof buf)) > 0)
    all.append(buf, n);
  return all;
}
int Wait(Child &c) {
  int status = 0;
  waitpid(c.pid, &status, 0);
  close(c.from_child);
  close(c.to_child);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace zelko_testing
