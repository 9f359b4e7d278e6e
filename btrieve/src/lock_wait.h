// Waiting for a lock another process holds. Writes of other processes are short (a commit
// takes about a millisecond), so a waiter tries again soon and never sleeps long: SQLite's
// own busy handler sleeps up to 100 ms a try, and a waiter that sleeps that long loses the
// lock again and again to processes that commit in between.
#pragma once

#include <sqlite3.h>

namespace btr {

// The pause before try `tries` + 1 (tries counted from 0): 100 µs, doubling, at most 1 ms.
void PauseBeforeRetry(int tries);

// The busy handler of `db`: pauses as above until the pauses reach `wait_ms` milliseconds
// (SQLite's busy timeout, with short pauses); none for 0.
void SetLockWait(sqlite3 *db, int wait_ms);

}  // namespace btr
