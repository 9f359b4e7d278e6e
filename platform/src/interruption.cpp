#include "zplatform/interruption.h"

#include <signal.h>

namespace zplatform {
namespace {

volatile sig_atomic_t caught = 0;
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction previous[3];

void Note(int signal) {
  caught = signal;
}

}  // namespace

InterruptionGuard::InterruptionGuard() {
  caught = 0;
  struct sigaction action {};
  action.sa_handler = Note;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESETHAND | SA_RESTART;
  for (int i = 0; i < 3; ++i)
    sigaction(kSignals[i], &action, &previous[i]);
}

InterruptionGuard::~InterruptionGuard() {
  for (int i = 0; i < 3; ++i)
    sigaction(kSignals[i], &previous[i], nullptr);
}

int InterruptionGuard::Caught() {
  return caught;
}

}  // namespace zplatform
