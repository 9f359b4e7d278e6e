#include "failing_new.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<long> g_countdown{-1};
std::atomic<bool> g_counting{false};
std::atomic<bool> g_failed{false};

void *Allocate(std::size_t n) {
  long left = g_countdown.load();
  if (left >= 0 && g_counting.load()) {
    g_countdown.store(left - 1);
    if (left == 0) {
      g_countdown.store(-1);
      g_failed.store(true);
      throw std::bad_alloc();
    }
  }
  void *p = std::malloc(n == 0 ? 1 : n);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}

}  // namespace

namespace zelko_testing {

void FailAllocationAfter(long n) {
  g_failed.store(false);
  g_countdown.store(n);
}

void SetCounting(bool on) {
  g_counting.store(on);
}

bool AllocationFailed() {
  return g_failed.load();
}

}  // namespace zelko_testing

void *operator new(std::size_t n) {
  return Allocate(n);
}
void *operator new[](std::size_t n) {
  return Allocate(n);
}
void *operator new(std::size_t n, const std::nothrow_t &) noexcept {
  try {
    return Allocate(n);
  } catch (...) {
    return nullptr;
  }
}
void *operator new[](std::size_t n, const std::nothrow_t &) noexcept {
  try {
    return Allocate(n);
  } catch (...) {
    return nullptr;
  }
}
void operator delete(void *p) noexcept {
  std::free(p);
}
void operator delete[](void *p) noexcept {
  std::free(p);
}
void operator delete(void *p, std::size_t) noexcept {
  std::free(p);
}
void operator delete[](void *p, std::size_t) noexcept {
  std::free(p);
}
