// A progress bar on stderr for work that lasts longer than a second, only when stderr is a
// terminal (never in pipes, logs or tests).
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace zelkocli {

class Progress {
 public:
  Progress(std::string label, int64_t total);
  ~Progress();
  // Whether a bar would be drawn: work that only sizes the bar can be skipped otherwise.
  static bool Shown();
  // Called per unit of work; draws at most ten times a second.
  void Step(int64_t done) {
    if (enabled_ && (done & 255) == 0) Draw(done, false);
  }
  void Finish(int64_t done);

 private:
  void Draw(int64_t done, bool force);
  std::string label_;
  int64_t total_;
  bool enabled_;
  bool drawn_ = false;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point last_;
};

}  // namespace zelkocli
