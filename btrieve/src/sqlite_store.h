// The embedded store: every data file is one SQLite database at exactly its path.
//
// Layout of a file:
//   meta(name TEXT PRIMARY KEY, value BLOB)  -- 'spec', 'owner', 'owner_mode', 'hwm'
//   r(pos INTEGER PRIMARY KEY, data BLOB, seqs BLOB)
//       seqs: per key, the 8-byte insertion sequence of the record's entry in that key
//   k<N>(k BLOB, seq, pos, PRIMARY KEY(k, seq)) WITHOUT ROWID
//       one table per key (each grows at its own end, as indexes do); k sorts as the key's
//       segments compare (key_encoder.h), kept as an integer when it has at most 8 bytes
//       (key_column.h; from schema version 2); seq is 0 for unique keys (so the primary key
//       rejects duplicates) and the insertion sequence for keys with duplicates (so they
//       keep insertion order).
// application_id marks our files; user_version is the schema version. Locks across processes
// are open file description locks on the file itself (file_locks.h).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "storage.h"

struct sqlite3;

namespace btr {

constexpr int32_t kApplicationId = 0x5A4C4B42;  // "ZLKB"
constexpr int kSchemaVersion = 2;
// Files of this version and later keep keys of up to 8 encoded bytes as integers.
constexpr int kIntegerKeysVersion = 2;

// The embedded store (the default for every path no server claims).
Store &SqliteStore();

// True when the file a connection has open is shorter than its own header says (cut short by
// a copy or a crash of the file system); `why` says by how much.
bool FileCutShort(sqlite3 *db, std::string *why);

// True when the file has no write-ahead journal with content: its database file is whole.
bool JournalEmpty(const std::string &native_path);
// A URI that opens the file read-only and immutable (for a file whose journal index cannot be
// made: a read-only directory or mount), every byte that could end the path escaped.
std::string ImmutableUri(const std::string &native_path);

// The identity of a local file by device and inode.
uint64_t LocalIdentity(uint64_t device, uint64_t inode);

}  // namespace btr
