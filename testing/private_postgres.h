// A private PostgreSQL server for tests and benchmarks: its own cluster in a temporary
// directory, reachable only through a Unix socket there, stopped and removed afterwards. Run
// as root, the server runs as an unprivileged user (PostgreSQL refuses to run as root).
#pragma once

#include <string>

namespace zelko_testing {

class PrivatePostgres {
 public:
  PrivatePostgres() = default;
  ~PrivatePostgres() { Stop(); }
  PrivatePostgres(const PrivatePostgres &) = delete;
  PrivatePostgres &operator=(const PrivatePostgres &) = delete;

  // Makes and starts the cluster; false (with the reason in Error()) when it cannot.
  bool Start();
  // Stops the server at once (as a crash would) and removes the cluster.
  void Stop();
  // Stops the server and starts it again on the same cluster (clients lose their sessions).
  bool Restart();
  void Kill();  // stops the server without removing the cluster

  // A libpq connection string to the server's database.
  const std::string &Conninfo() const { return conninfo_; }
  const std::string &Error() const { return error_; }
  bool Running() const { return running_; }

 private:
  bool Run(const std::string &command);
  std::string dir_, bin_, user_, conninfo_, error_;
  bool running_ = false;
};

}  // namespace zelko_testing
