"""The exceptions of the package and the texts of the statuses."""

# The control module's own statuses and the record manager's common ones.
STATUS_TEXTS = {
    -1: "the operation failed",
    -2: "the table is open already",
    -3: "the table is not open",
    -4: "no table of that name",
    -5: "no field of that name",
    -6: "no such index, or its key could not be built",
    -7: "not an extended operation",
    -8: "the search condition is not valid",
    -9: "the field list is not valid",
    -10: "a lock bias that is not allowed",
    -11: "no such data source",
    -12: "no data source attached (the database is closed)",
    -13: "field ID out of range",
    -14: "index ID out of range",
    -15: "table ID out of range",
    -16: "the dictionary directory cannot be found",
    -20: "no dictionary loaded",
    -21: "no dictionary directory given",
    -99: "working storage could not be obtained",
    1: "invalid operation",
    2: "I/O error (the data file may be damaged)",
    3: "file not open",
    4: "key value not found",
    5: "duplicate key value",
    6: "invalid key number",
    7: "different key number",
    8: "no current record",
    9: "end of file",
    10: "key field not modifiable",
    11: "invalid file name",
    12: "file not found",
    18: "disk full",
    20: "the record manager is not active (a server that cannot be reached)",
    22: "data buffer too short",
    25: "the file cannot be created",
    30: "not a data file of this record manager",
    37: "a transaction is already active",
    38: "transaction control file error",
    39: "end or abort without a transaction",
    41: "operation not allowed inside a transaction",
    43: "invalid record position",
    46: "access to the file denied (opened read-only, or this user may not write it)",
    51: "invalid owner name",
    59: "the file exists already",
    78: "deadlock",
    80: "the record was changed or deleted by another user since it was read",
    84: "the record is locked by another user",
    85: "the file is locked by another user",
    86: "too many files open (the process's limit, ulimit -n)",
    88: "the file is open in an incompatible mode (held exclusively, as while the "
        "dictionary editor converts its records)",
    95: "the session is no longer valid (a lost server connection, or a file opened "
        "before fork())",
}


def status_text(status):
    return STATUS_TEXTS.get(status, "failed")


class ZelkoError(Exception):
    """A failure of the engine or the record manager: `status` (0 is never raised) and
    `message` (the engine's own message when it gave one, else what the status means)."""

    def __init__(self, status, message=None):
        self.status = status
        self.message = message or status_text(status)
        super().__init__(f"{self.message} (status {status})")


class UnknownNameError(ZelkoError, KeyError):
    """No table, field or index of that name; nothing was changed."""

    def __str__(self):  # KeyError would quote the whole text
        return Exception.__str__(self)
