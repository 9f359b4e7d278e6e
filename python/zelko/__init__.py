"""Records of Btrieve data files described by a data dictionary, as Python dicts.

    import zelko
    with zelko.open("/srv/shop") as db:
        customers = db["CUSTOMER"]
        customers.insert({"NAME": "山田太郎", "CREDIT": 1500})
        for c in customers.records(key="NAME"):
            print(c["CUST_NO"], c["NAME"], c["CREDIT"])

Values are read as str, converted by each field's type as the engine's controls convert
them; anything written is checked for its type and length before any change is made.
"""

from ._database import Database
from ._errors import UnknownNameError, ZelkoError
from ._native import find_library
from ._table import Field, Record, Table

__all__ = ["open", "Database", "Table", "Record", "Field", "ZelkoError", "UnknownNameError",
           "show_messages", "find_library"]


def open(ddf_dir):  # noqa: A001 - the package's entry point, as zelko.open
    """Opens the dictionary in `ddf_dir` and returns its Database."""
    return Database(ddf_dir)


def show_messages(show):
    """Whether the engine also prints its messages (on stderr) besides raising them; off by
    default."""
    from . import _native
    with _native.lock:
        return _native.ZelkoShowMessages(1 if show else 0) != 0
