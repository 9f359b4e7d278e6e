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
// locks vanish with the client's connection, however the client ends. A directory's lock
// (BTRLOCKDIRECTORY) is a session lock on two keys hashed from its folded path, the first
// negative so that it never meets a file's.
#pragma once

#include <memory>
#include <string>

#include "storage.h"

namespace btr {

// The store of the server that `conninfo` (a libpq connection string) reaches; one per
// connection string, for the life of the process.
Store &ServerStore(const std::string &conninfo);

// A directory's lock on its server, held by a connection of its own: ending the connection
// (or the process) lets it go.
class ServerDirectoryLock {
 public:
  virtual ~ServerDirectoryLock() = default;
  // Shared or exclusive within `wait_ms` (negative: as long as it takes). A shared lock held
  // is raised by asking for the exclusive one.
  virtual bool Take(bool exclusive, int wait_ms) = 0;
};

// Null when the server cannot be reached.
std::unique_ptr<ServerDirectoryLock> ConnectDirectoryLock(const std::string &conninfo,
                                                          const std::string &native_directory);

// What the server said last time a call to it failed (for tools; empty when nothing failed).
std::string LastServerError();

}  // namespace btr
