"""An open dictionary: a data source hosted without a form, its tables and transactions."""

import contextlib
import itertools
import os

from . import _native as n
from ._errors import UnknownNameError, ZelkoError
from ._table import Table

_CONTROL = b"ZelkoPy"
_serial = itertools.count(1)
# The database the engine's calls act on now (the engine attaches one source at a time).
_attached = None
_FILE_NOT_FOUND = 12


class Database:
    """The dictionary (FILE.DDF, FIELD.DDF, INDEX.DDF) of a directory and its data files.
    Made by zelko.open(); close it (or use it in a with statement) when done."""

    def __init__(self, ddf_dir):
        directory = os.fspath(ddf_dir)
        if isinstance(directory, bytes):
            directory = os.fsdecode(directory)
        self.directory = directory
        self._form = f"python-{os.getpid()}-{next(_serial)}".encode()
        self._tables = {}
        self._names = None  # the catalog's table names, read once: the catalog is fixed
        self._ids = {}  # name: table ID, with the names
        self._open = False
        try:
            # A path must read back as itself: no equivalents (n.encode) here.
            encoded = os.path.abspath(directory).encode(n.ENCODING)
        except UnicodeEncodeError as error:
            raise ValueError(f"{directory} cannot be written in code page {n.ENCODING}") from error
        with n.lock:
            status = n.ZelkoHostDataSource(self._form, _CONTROL, encoded)
            if status != 0:
                message = n.take_message()
                # A directory a server keeps (zelko.ini [servers]) need not exist here, so
                # the local one is looked at only to say what is wrong.
                if not os.path.isdir(directory):
                    raise ZelkoError(-16, f"no dictionary directory {directory}"
                                     + (f" ({message})" if message else ""))
                raise ZelkoError(status, message or f"no dictionary in {directory}")
            self._open = True
            self._attach()

    def _attach(self):
        global _attached
        if not self._open:
            raise ZelkoError(-12, "the database is closed")
        if _attached is not self:
            status = n.DbAttachControl(_CONTROL, self._form)
            if status != 0:
                raise ZelkoError(status, n.take_message())
            _attached = self

    # ---- tables

    @property
    def tables(self):
        """The names of the dictionary's tables, in its order."""
        with n.lock:
            self._attach()
            return tuple(self._table_names())

    def _table_names(self):
        if self._names is None:
            names = []
            for table_id in range(n.DbGetNumOfTable()):
                name = n.take_bytes(n.DbGetTableName(table_id)) or b""
                names.append(name.decode(n.ENCODING, "replace"))
            self._names = names
            for table_id, name in enumerate(names):
                self._ids.setdefault(name, table_id)  # the first of a name, as index() found
        return self._names

    def _table_id(self, name):
        if not isinstance(name, str):
            raise TypeError(f"table names are str, not {type(name).__name__}")
        names = self._table_names()
        read_back = n.as_read_back(name)  # "表〜" names the table "表～"
        for given in (name, read_back):
            if given in self._ids:
                return self._ids[given], given
        folded = [i for i, other in enumerate(names) if other.casefold() == read_back.casefold()]
        if len(folded) == 1:
            return folded[0], names[folded[0]]
        raise UnknownNameError(-4, f"the dictionary has no table {name!r}")

    def __getitem__(self, name):
        """The table of that name (exact, else without regard to case), opened."""
        with n.lock:
            self._attach()
            table_id, real_name = self._table_id(name)
            table = self._tables.get(real_name)
            if table is None:
                status = n.DbOpen(table_id)
                if status != 0:
                    message = n.take_message()
                    if status == 12:
                        message = f"the data file of {real_name} does not exist (create it first)"
                    raise ZelkoError(status, message)
                table = self._tables[real_name] = Table(self, table_id, real_name)
            return table

    def __contains__(self, name):
        return name in self.tables

    def __iter__(self):
        """The table names, as `tables` gives them (a Database reads like a mapping)."""
        return iter(self.tables)

    def __len__(self):
        return len(self.tables)

    def create(self, name, replace=False):
        """Creates the table's data file where the dictionary says and returns the table,
        opened. An existing data file is an error (status 59), and so is a file there that
        cannot be opened (with the open's status), unless replace=True, which replaces it
        with an empty one."""
        with n.lock:
            self._attach()
            table_id, real_name = self._table_id(name)
            if real_name in self._tables:
                raise ZelkoError(-2, f"table {real_name} is open; close it first")
            if not replace:
                # Only a file that is not there is made: the engine's create replaces any
                # file, and one that cannot be opened (another owner's, a genuine Btrieve
                # file not yet imported, a damaged one) would lose its records.
                opened = n.DbOpen(table_id)
                if opened == 0:
                    n.DbClose(table_id)
                    raise ZelkoError(59, f"the data file of {real_name} exists already")
                why = n.take_message()
                if opened != _FILE_NOT_FOUND:
                    raise ZelkoError(opened, f"the data file of {real_name} is there but cannot "
                                             f"be opened ({why}); it is not replaced unless "
                                             "replace=True")
            status = n.DbCreate(table_id)
            if status != 0:
                raise ZelkoError(status, n.take_message())
        return self[real_name]

    # ---- transactions

    @contextlib.contextmanager
    def transaction(self, concurrent=False):
        """Everything inside the with block is written at its end or not at all: an exception
        aborts the transaction (and goes on). The transaction is the process's: it takes in
        every write of this thread, through any database, and other threads' calls wait for
        its end."""
        begin = n.DbBeginConCurTransaction if concurrent else n.DbBeginTransaction
        with n.lock:
            self._attach()
            status = begin(0)
            if status != 0:
                raise ZelkoError(status, n.take_message())
            n.lock.hold_for_transaction()
        try:
            yield self
        except BaseException:
            with n.lock:
                try:
                    if self._open:
                        self._attach()
                        n.DbAbortTransaction()
                finally:
                    n.lock.release_transaction()
            raise
        with n.lock:
            try:
                self._attach()
                status = n.DbEndTransaction()
            finally:
                n.lock.release_transaction()
            if status != 0:
                raise ZelkoError(status, n.take_message())

    # ---- the end

    def close(self):
        """Closes every table and releases the data source."""
        global _attached
        with n.lock:
            if not self._open:
                return
            self._open = False
            self._tables.clear()
            if _attached is self:
                _attached = None
            n.ZelkoReleaseDataSource(self._form, _CONTROL)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def __repr__(self):
        state = "open" if self._open else "closed"
        return f"<zelko.Database {self.directory} ({state})>"
