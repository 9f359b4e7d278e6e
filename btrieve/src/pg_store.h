// The server store: files kept on a PostgreSQL server, shared by every machine that reaches it.
//
// Layout on the server (created on first use):
//   zelko_files(id, path, folded, spec, owner, owner_mode, spec_version)
//       one row per file; path is the file's absolute path as bytes, folded the same with
//       ASCII letters in lower case (a name found without regard to case, as on disk)
//   zelko_r<id>(pos bigint PRIMARY KEY, data bytea, seqs bytea)   -- records
//   zelko_k<id>_<n>(k bytea, seq bigint, pos bigint, PRIMARY KEY(k, seq))  -- key n
//   zelko_s<id>                                                 -- positions, never reused
// Keys are encoded as in the embedded store; bytea compares as bytes. Names in SQL are built
// from the numeric id only; paths, keys and records travel as bound parameters.
//
// Locks are advisory locks on (id, n): n = -2 the open mode (session, shared or exclusive),
// n = -1 writes to the file (transaction), n = position a record lock (session). Session
// locks vanish with the client's connection, however the client ends.
#pragma once

#include <string>

#include "storage.h"

namespace btr {

// The store of the server that `conninfo` (a libpq connection string) reaches; one per
// connection string, for the life of the process.
Store &ServerStore(const std::string &conninfo);

// What the server said last time a call to it failed (for tools; empty when nothing failed).
std::string LastServerError();

}  // namespace btr
