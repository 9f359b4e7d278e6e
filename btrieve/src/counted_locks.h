// Locks a process takes once and counts per position, so that several of its position
// blocks may hold one: the first holder takes it, the last one to let go gives it back.
#pragma once

#include <cstdint>
#include <map>

namespace btr {

// `take()` takes the lock when this process does not hold it yet; false when it could not.
template <typename Take>
bool TakeCounted(std::map<int64_t, int> &held, int64_t pos, Take take) {
  auto it = held.find(pos);
  if (it != held.end()) {
    ++it->second;
    return true;
  }
  if (!take()) return false;
  held[pos] = 1;
  return true;
}

// `give()` gives the lock back when this was its last holder.
template <typename Give>
void GiveCounted(std::map<int64_t, int> &held, int64_t pos, Give give) {
  auto it = held.find(pos);
  if (it == held.end()) return;
  if (--it->second > 0) return;
  held.erase(it);
  give();
}

}  // namespace btr
