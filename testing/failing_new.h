// Allocation failure on demand, for tests that prove no exception crosses a C interface:
// the program's global operator new throws std::bad_alloc at the chosen allocation. Link
// failing_new.cpp only into a test program of its own (it replaces operator new).
#pragma once

namespace zelko_testing {

// The allocation that throws: the n-th counted one from now (0: the next); a negative n
// disarms. Only allocations inside Counted count, so a test's own allocations never fail.
void FailAllocationAfter(long n);
void SetCounting(bool on);

// Runs `call` with its allocations counted; what it returns.
template <typename Call>
auto Counted(Call call) {
  struct Scope {
    Scope() { SetCounting(true); }
    ~Scope() { SetCounting(false); }
  } scope;
  return call();
}
// True when the armed failure was thrown since it was armed.
bool AllocationFailed();

// Runs `call` with the n-th allocation failing, for n = 0, 1, ... until a run completes
// without reaching the failure (at most `limit` runs); `after_each` runs disarmed after every
// run. Returns the number of runs.
template <typename Call, typename After>
int SweepAllocationFailures(Call call, After after_each, int limit = 5000) {
  int n = 0;
  for (; n < limit; ++n) {
    FailAllocationAfter(n);
    call();
    bool failed = AllocationFailed();
    FailAllocationAfter(-1);
    after_each();
    if (!failed) break;
  }
  return n + 1;
}

}  // namespace zelko_testing
