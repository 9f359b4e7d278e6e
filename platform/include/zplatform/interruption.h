// Ctrl+C, a hang-up or a termination request during a long command: noted, so the command
// ends where it stands (its transaction ended, its temporary files removed, its counts told)
// instead of dying in the middle.
#pragma once

namespace zplatform {

// Catches SIGINT, SIGTERM and SIGHUP while it lives; each is caught once, so a second one
// ends the process as before.
class InterruptionGuard {
 public:
  InterruptionGuard();
  ~InterruptionGuard();
  InterruptionGuard(const InterruptionGuard &) = delete;
  InterruptionGuard &operator=(const InterruptionGuard &) = delete;

  // The signal caught, or 0.
  static int Caught();
  // Whether one was caught (a callback for work that stops part-way).
  static bool Interrupted() { return Caught() != 0; }
  // The exit status of a process ended by the caught signal (128 + its number).
  static int ExitStatus() { return 128 + Caught(); }
};

}  // namespace zplatform
