/*
 * btrapi.h - the Btrieve call interface of libwbtrv32.
 *
 * Every Btrieve file is one SQLite database at exactly the given path. One call reaches
 * everything: BTRCALL(operation, position block, data buffer, data length, key buffer,
 * key length, key number). Statuses are the classic record manager's (0 = success).
 *
 * Contract, in short:
 *  - The position block (128 bytes) belongs to the caller, one per open file. It holds an
 *    opaque handle that is validated on every call: an unknown or stale block gives 3.
 *  - *data_length is the buffer size on input and the bytes returned on output; nothing is
 *    read or written past it, nor past key_length bytes of the key buffer (Open and Create
 *    read a NUL-terminated path from the key buffer and ignore key_length).
 *  - Lock biases 100, 200, 300, 400 may be added to read operations and Begin Transaction;
 *    +50 on a Get gives Get Key. Key number -1 travels as 255.
 *  - Every operation outside a transaction is atomic and durable when it returns 0.
 *  - Safe to call from several threads (calls are serialised). In a child made by fork(),
 *    the files its parent had open at the fork answer 95 (the session is no longer valid),
 *    and so does opening them again; closing the parent's blocks gives back none of the
 *    parent's locks. The child opens other files as any process does (or those after exec).
 *  - No exception ever leaves the library: an internal failure (memory exhausted) is 2.
 * Where the classic record manager is unclear, the choice that keeps data safe is taken.
 */
#ifndef BTRIEVE_BTRAPI_H
#define BTRIEVE_BTRAPI_H

#include <stdint.h>

#if defined(__GNUC__)
#define BTR_EXPORT __attribute__((visibility("default")))
#else
#define BTR_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Operation codes. */
enum {
  B_OPEN = 0,
  B_CLOSE = 1,
  B_INSERT = 2,
  B_UPDATE = 3,
  B_DELETE = 4,
  B_GET_EQUAL = 5,
  B_GET_NEXT = 6,
  B_GET_PREVIOUS = 7,
  B_GET_GREATER = 8,
  B_GET_GE = 9,
  B_GET_LESS = 10,
  B_GET_LE = 11,
  B_GET_FIRST = 12,
  B_GET_LAST = 13,
  B_CREATE = 14,
  B_STAT = 15,
  B_BEGIN_TRAN = 19,
  B_END_TRAN = 20,
  B_ABORT_TRAN = 21,
  B_GET_POSITION = 22,
  B_GET_DIRECT = 23,
  B_STEP_NEXT = 24,
  B_VERSION = 26,
  B_UNLOCK = 27,
  B_RESET = 28,
  B_SET_OWNER = 29,
  B_CLEAR_OWNER = 30,
  B_CREATE_INDEX = 31,
  B_DROP_INDEX = 32,
  B_STEP_FIRST = 33,
  B_STEP_LAST = 34,
  B_STEP_PREVIOUS = 35,
  B_GET_NEXT_EXTENDED = 36,
  B_GET_PREV_EXTENDED = 37,
  B_STEP_NEXT_EXT = 38,
  B_STEP_PREVIOUS_EXT = 39,
  B_GET_BY_PERCENTAGE = 44,
  B_FIND_PERCENTAGE = 45,
  B_GET_KEY = 50,
  B_BEGIN_CONCURRENT_TRAN = 1019
};

/* Lock biases, added to the operation code. */
enum {
  B_SINGLE_WAIT_LOCK = 100,
  B_SINGLE_NOWAIT_LOCK = 200,
  B_MULTIPLE_WAIT_LOCK = 300,
  B_MULTIPLE_NOWAIT_LOCK = 400
};

/* Open modes (key number of Open). */
enum {
  B_OPEN_NORMAL = 0,
  B_OPEN_ACCELERATED = -1,
  B_OPEN_READONLY = -2,
  B_OPEN_VERIFY = -3,
  B_OPEN_EXCLUSIVE = -4
};

/* Key flags. */
enum {
  B_KEY_DUPLICATES = 0x0001,
  B_KEY_MODIFIABLE = 0x0002,
  B_KEY_BINARY = 0x0004,
  B_KEY_NULL_ALL = 0x0008,
  B_KEY_SEGMENTED = 0x0010,
  B_KEY_ALT_COLLATING = 0x0020,
  B_KEY_DESCENDING = 0x0040,
  B_KEY_SUPPLEMENTAL = 0x0080,
  B_KEY_EXTENDED_TYPE = 0x0100,
  B_KEY_NULL_ANY = 0x0200,
  B_KEY_CASE_INSENSITIVE = 0x0400
};

/* Extended key types. */
enum {
  B_TYPE_STRING = 0,
  B_TYPE_INTEGER = 1,
  B_TYPE_FLOAT = 2,
  B_TYPE_DATE = 3,
  B_TYPE_TIME = 4,
  B_TYPE_DECIMAL = 5,
  B_TYPE_MONEY = 6,
  B_TYPE_LOGICAL = 7,
  B_TYPE_NUMERIC = 8,
  B_TYPE_BFLOAT = 9,
  B_TYPE_LSTRING = 10,
  B_TYPE_ZSTRING = 11,
  B_TYPE_NOTE = 12,
  B_TYPE_LVAR = 13,
  B_TYPE_UNSIGNED_BINARY = 14,
  B_TYPE_AUTOINCREMENT = 15
};

/* File flags. */
enum { B_FILE_VARIABLE_LENGTH = 0x0001 };

/* Statuses named by the contract. */
enum {
  B_NO_ERROR = 0,
  B_INVALID_FUNCTION = 1,
  B_IO_ERROR = 2,
  B_FILE_NOT_OPEN = 3,
  B_KEY_VALUE_NOT_FOUND = 4,
  B_DUPLICATE_KEY_VALUE = 5,
  B_INVALID_KEYNUMBER = 6,
  B_DIFFERENT_KEYNUMBER = 7,
  B_POSITIONING_ERROR = 8,
  B_END_OF_FILE = 9,
  B_MODIFIABLE_KEYVALUE_ERROR = 10,
  B_FILENAME_BAD = 11,
  B_FILE_NOT_FOUND = 12,
  B_DISK_FULL = 18,
  B_RECORD_MANAGER_INACTIVE = 20,
  B_KEYBUF_TOO_SHORT = 21,
  B_DATALENGTH_ERROR = 22,
  B_POSBLOCK_LENGTH = 23,
  B_PAGE_SIZE_ERROR = 24,
  B_CREATE_IO_ERROR = 25,
  B_NUMBER_OF_KEYS = 26,
  B_INVALID_KEY_POSITION = 27,
  B_INVALID_RECORD_LENGTH = 28,
  B_INVALID_KEYLENGTH = 29,
  B_NOT_A_BTRIEVE_FILE = 30,
  B_TRANSACTION_IS_ACTIVE = 37,
  B_END_TRANSACTION_ERROR = 39,
  B_OPERATION_NOT_ALLOWED = 41,
  B_INVALID_RECORD_ADDRESS = 43,
  B_INVALID_KEYPATH = 44,
  B_INCONSISTENT_KEY_FLAGS = 45,
  B_ACCESS_TO_FILE_DENIED = 46,
  B_INVALID_ALT_SEQUENCE_DEF = 48,
  B_BAD_OWNER = 51,
  B_FILE_ALREADY_EXISTS = 59,
  B_REJECT_COUNT_REACHED = 60,
  B_INCORRECT_DESCRIPTOR = 62,
  B_FILTER_LIMIT_REACHED = 64,
  B_INCORRECT_FIELD_OFFSET = 65,
  B_DEADLOCK = 78,
  B_CONFLICT = 80,
  B_LOCKERROR = 81,
  B_RECORD_INUSE = 84,
  B_FILE_INUSE = 85,
  B_FILE_TABLE_FULL = 86, /* the process may open no more files (its descriptor limit) */
  B_INCOMPATIBLE_MODE = 88,
  B_SESSION_NO_LONGER_VALID = 95
};

/* The buffers of Create (14), Stat (15) and Create Index (31), numbers little-endian:
 * the file specification, one key specification per segment (keys in order, their segments
 * in order), then the alternate collating sequences. Stat answers in the same layout with
 * the record count and each key's number of distinct values filled in. */
#pragma pack(push, 1)
typedef struct BtrFileSpec {
  uint16_t record_length; /* the fixed part for variable-length files */
  uint16_t page_size;     /* 512 to 4096, a multiple of 512 */
  uint16_t key_count;     /* keys, not segments */
  uint32_t record_count;  /* Stat: the records in the file; 0 for Create */
  uint16_t file_flags;    /* B_FILE_VARIABLE_LENGTH */
  uint16_t reserved;
  uint16_t preallocation;
} BtrFileSpec;

typedef struct BtrKeySpec {
  uint16_t position; /* 1-based */
  uint16_t length;
  uint16_t flags;        /* B_KEY_...; B_KEY_SEGMENTED when a segment of the key follows */
  uint32_t unique_count; /* Stat: the key's distinct values; 0 for Create */
  uint8_t type;          /* B_TYPE_..., with B_KEY_EXTENDED_TYPE in flags */
  uint8_t null_value;
  uint16_t reserved;
  uint8_t key_number; /* a manually assigned key number */
  uint8_t acs_number; /* the segment's alternate collating sequence */
} BtrKeySpec;

typedef struct BtrCollatingTable {
  uint8_t signature; /* 0xAC */
  char name[8];
  uint8_t map[256];
} BtrCollatingTable;
#pragma pack(pop)

#ifdef __cplusplus
static_assert(sizeof(BtrFileSpec) == 16, "file specification is 16 bytes");
static_assert(sizeof(BtrKeySpec) == 16, "key specification is 16 bytes");
static_assert(sizeof(BtrCollatingTable) == 265, "collating sequence is 265 bytes");
#else
_Static_assert(sizeof(BtrFileSpec) == 16, "file specification is 16 bytes");
_Static_assert(sizeof(BtrKeySpec) == 16, "key specification is 16 bytes");
_Static_assert(sizeof(BtrCollatingTable) == 265, "collating sequence is 265 bytes");
#endif

/* The call. Returns a status. */
BTR_EXPORT int16_t BTRCALL(uint16_t operation, void *position_block, void *data_buffer,
                           uint32_t *data_length, void *key_buffer, uint8_t key_length,
                           int8_t key_number);

/* Releases everything this process holds: aborts its transaction, drops its locks,
 * closes its files (ordinal 6 of the Windows client library). */
BTR_EXPORT void BTRRELEASE(void);

/* Deletes a data file (path as for Open: code page, "\" separators, [path_map] prefixes)
 * together with the journal files the record manager keeps beside it. Returns 0; 12 when
 * there is no such file; 11 for a name that is not a file; 85 when this or another process
 * has it open (nothing is deleted); 18 or 2 when the system refuses. Delete data files only
 * through this call: removing the file alone leaves its journal behind. */
BTR_EXPORT int16_t BTRDELETEFILE(const char *path);

/* Gives a data file a new name (paths as for Open) in the same place of keeping (both on
 * the local disk, or both on one server), replacing a file of that name. Returns 0; 12 when
 * there is no such file; 11 for a name that is not a file or names in two places of keeping;
 * 85 when this or another process has either file open (nothing changes); 18 or 2 when the
 * system refuses. The journal files go with the file. */
BTR_EXPORT int16_t BTRRENAMEFILE(const char *from, const char *to);

/* Verifies a data file (path as for Open), as btrcheck does: the storage's own integrity
 * check, the stored specification, every record in every key it belongs to and nothing else,
 * the order of every key, a file cut short. `report` (may be null) receives each problem as
 * one English line, with `context`. Returns 0 when the file is sound, 1 when problems were
 * reported, 12 when there is no such file. Reads only; the file may be in use. */
typedef void (*BtrCheckReport)(const char *problem, void *context);
BTR_EXPORT int16_t BTRCHECKFILE(const char *path, BtrCheckReport report, void *context);

/* Locks a directory (path as for Open) against other processes, for files that are replaced
 * or written together, such as a dictionary's three files: writers take it exclusively
 * (exclusive 1), readers shared (0) while they open the files. Advisory: it holds back only
 * those who take it. Within one process a lock already held on the directory covers later
 * ones, so nested users never wait for their own process. Waits up to wait_ms milliseconds
 * (negative: as long as it takes). A directory kept on a server (zelko.ini [servers]) is
 * locked on that server, for every machine that reaches it. Returns a handle (> 0) for
 * BTRUNLOCKDIRECTORY, or 0 when the directory was not locked: it is not there or its server
 * cannot be reached, it takes no locks, or the lock did not come in time. A process that
 * ends lets go of its locks. */
BTR_EXPORT int32_t BTRLOCKDIRECTORY(const char *path, int exclusive, int32_t wait_ms);
BTR_EXPORT void BTRUNLOCKDIRECTORY(int32_t handle);

#ifdef __cplusplus
}

#include <cstring>
#include <string>
#include <vector>

namespace btrieve {

// BTRLOCKDIRECTORY for a scope.
class DirectoryLock {
 public:
  DirectoryLock(const char *path, bool exclusive, int32_t wait_ms = -1)
      : handle_(BTRLOCKDIRECTORY(path, exclusive ? 1 : 0, wait_ms)) {}
  ~DirectoryLock() {
    if (handle_ != 0) BTRUNLOCKDIRECTORY(handle_);
  }
  DirectoryLock(const DirectoryLock &) = delete;
  DirectoryLock &operator=(const DirectoryLock &) = delete;
  bool Held() const { return handle_ != 0; }

 private:
  int32_t handle_;
};

// Whether the record manager finds a file at `path` (a path as for Open), on this machine or
// on the server that keeps its directory. One it cannot open for another reason (in use,
// owned, damaged) is there too: what asks this must not replace it.
inline bool FileIsThere(const char *path) {
  std::string key(path);
  if (key.size() >= 255) key.resize(254);
  key.push_back('\0');
  uint8_t position_block[128] = {};
  uint32_t length = 0;
  int16_t status = BTRCALL(B_OPEN, position_block, nullptr, &length, key.data(),
                           static_cast<uint8_t>(key.size()), -2 /* read-only */);
  if (status == 0) BTRCALL(B_CLOSE, position_block, nullptr, &length, nullptr, 0, 0);
  return status != B_FILE_NOT_FOUND;
}

// A Create buffer: `file` with its key count taken from the segments (a key ends at each
// segment without B_KEY_SEGMENTED), the segments, then the collating sequences.
inline std::vector<uint8_t> CreateBuffer(BtrFileSpec file, const std::vector<BtrKeySpec> &segments,
                                         const std::vector<BtrCollatingTable> &tables = {}) {
  file.key_count = 0;
  for (const BtrKeySpec &s : segments) {
    if ((s.flags & B_KEY_SEGMENTED) == 0) ++file.key_count;
  }
  std::vector<uint8_t> buffer(sizeof file + segments.size() * sizeof(BtrKeySpec) +
                              tables.size() * sizeof(BtrCollatingTable));
  uint8_t *at = buffer.data();
  std::memcpy(at, &file, sizeof file);
  at += sizeof file;
  if (!segments.empty()) std::memcpy(at, segments.data(), segments.size() * sizeof(BtrKeySpec));
  at += segments.size() * sizeof(BtrKeySpec);
  if (!tables.empty()) std::memcpy(at, tables.data(), tables.size() * sizeof(BtrCollatingTable));
  return buffer;
}

}  // namespace btrieve
#endif

#endif /* BTRIEVE_BTRAPI_H */
