// Locks on directories shared by processes (flock on the directory itself, or an advisory
// lock on the server that keeps the directory), counted within the process: either conflicts
// between two descriptors or connections of one process too, so a directory is locked once
// per process however many users nest inside.
#pragma once

#include <cstdint>
#include <string>

namespace btr {

// A handle (> 0) for the lock on the native directory, or 0 when it was not locked: the
// directory cannot be opened (or its server reached) or takes no locks, or the lock did not come
// within `wait_ms` (negative: waits as long as it takes). A shared lock this process holds is
// raised to exclusive when a nested user asks for that.
int32_t LockDirectory(const std::string &native_directory, bool exclusive, int wait_ms);
void UnlockDirectory(int32_t handle);

}  // namespace btr
