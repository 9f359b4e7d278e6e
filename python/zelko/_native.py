"""Finding and loading libzelkoctl, and the prototypes of the functions the package calls."""

import ctypes
import os
import sys
import threading
from pathlib import Path

LIBRARY_NAME = "libzelkoctl.so"


class _SessionLock:
    """The lock every call into the library happens under: the engine keeps one attachment and
    one set of position blocks per process, so calls from several threads must not interleave.

    The record manager also keeps one transaction per process. While a thread has one open,
    another thread's write would join it (and be undone by its abort after reporting success),
    and its reads would see what the transaction has not committed: other threads wait at
    the lock until the transaction ends."""

    def __init__(self):
        self._lock = threading.RLock()
        self._ended = threading.Condition(self._lock)
        self._owner = None  # the thread whose transaction is open

    def __enter__(self):
        self._lock.acquire()
        me = threading.get_ident()
        while self._owner is not None and self._owner != me:
            self._ended.wait()  # gives the lock up whole while it waits
        return self

    def __exit__(self, *exc):
        self._lock.release()

    def hold_for_transaction(self):
        """Called under the lock when this thread's transaction has begun."""
        self._owner = threading.get_ident()

    def release_transaction(self):
        """Called under the lock when this thread's transaction has ended or been aborted."""
        self._owner = None
        self._ended.notify_all()


lock = _SessionLock()


def _installed_library_dirs(package_dir):
    """The library directories of the prefix the package is installed under, if it is."""
    for parent in package_dir.parents:
        if parent.name in ("site-packages", "dist-packages"):
            # <prefix>/lib/pythonX.Y/site-packages or <prefix>/lib/python3/dist-packages
            prefix = parent.parent.parent.parent
            prefixes = [prefix]
            if prefix.name == "local":  # Debian's pip puts --prefix P under P/local
                prefixes.append(prefix.parent)
            dirs = [p / lib for p in prefixes for lib in ("lib", "lib64")]
            multiarch = getattr(sys.implementation, "_multiarch", None)
            if multiarch:
                dirs += [p / "lib" / multiarch for p in prefixes]
            return dirs
    return []


def _build_tree_library_dirs(package_dir):
    """zelkoctl/ of the build trees beside the package's source tree (release first)."""
    build = package_dir.parent.parent / "build"
    if not build.is_dir():
        return []
    presets = sorted(p.name for p in build.iterdir() if (p / "zelkoctl").is_dir())
    presets.sort(key=lambda name: (name != "release", name != "dev", name))
    return [build / name / "zelkoctl" for name in presets]


def find_library():
    """The path of libzelkoctl.so: in $ZELKO_LIBRARY_DIR when it is set, else beside the prefix
    the package is installed under, else in a build tree of the source tree; None to leave
    the search to the system's loader."""
    wanted = os.environ.get("ZELKO_LIBRARY_DIR")
    if wanted:
        path = Path(wanted) / LIBRARY_NAME
        if not path.exists():
            raise ImportError(f"ZELKO_LIBRARY_DIR is {wanted}, but it holds no {LIBRARY_NAME}")
        return str(path)
    package_dir = Path(__file__).resolve().parent
    for directory in _installed_library_dirs(package_dir) + _build_tree_library_dirs(package_dir):
        path = directory / LIBRARY_NAME
        if path.exists():
            return str(path)
    return None


def _load():
    path = find_library()
    try:
        return ctypes.CDLL(path if path else LIBRARY_NAME + ".3")
    except OSError as error:
        raise ImportError(
            f"cannot load {LIBRARY_NAME} ({error}); set ZELKO_LIBRARY_DIR to the directory "
            "that holds it") from error


lib = _load()

_i16 = ctypes.c_int16
_i32 = ctypes.c_int32
_str = ctypes.c_char_p
# Strings the library returns are kept as raw addresses: they are read by their length
# prefix and then given back to SysFreeString.
_ret = ctypes.c_void_p


def _declare(name, restype, *argtypes):
    function = getattr(lib, name)
    function.restype = restype
    function.argtypes = list(argtypes)
    return function


ZelkoHostDataSource = _declare("ZelkoHostDataSource", _i16, _str, _str, _str)
ZelkoReleaseDataSource = _declare("ZelkoReleaseDataSource", _i16, _str, _str)
DbAttachControl = _declare("DbAttachControl", _i16, _str, _str)
DbOpen = _declare("DbOpen", _i16, _i16)
DbClose = _declare("DbClose", _i16, _i16)
DbCreate = _declare("DbCreate", _i16, _i16)
DbGetNumOfTable = _declare("DbGetNumOfTable", _i16)
DbGetNumOfField = _declare("DbGetNumOfField", _i16, _i16)
DbGetTableName = _declare("DbGetTableName", _ret, _i16)
DbGetFieldName = _declare("DbGetFieldName", _ret, _i16, _i16)
DbGetDataType = _declare("DbGetDataType", _i16, _i16, _i16)
DbGetDataSize = _declare("DbGetDataSize", _i16, _i16, _i16)
DbGetNumOfRecords = _declare("DbGetNumOfRecords", _i16, _i16, ctypes.POINTER(_i32))
DbSetFieldData = _declare("DbSetFieldData", _i16, _i16, _i16, _str)
DbClearFieldBuffer = _declare("DbClearFieldBuffer", _i16, _i16)
DbAccess = _declare("DbAccess", _i16, _i16, _i16, _i16)
DbGetDirect = _declare("DbGetDirect", _i16, _i16, _i32, _i16)
DbBeginTransaction = _declare("DbBeginTransaction", _i16, _i16)
DbBeginConCurTransaction = _declare("DbBeginConCurTransaction", _i16, _i16)
DbEndTransaction = _declare("DbEndTransaction", _i16)
DbAbortTransaction = _declare("DbAbortTransaction", _i16)
DbExAccess = _declare("DbExAccess", _i16, _i16, _i16, _str, _str, _i16, _i16, _i16, _i16,
                      ctypes.POINTER(_i16), ctypes.POINTER(_i16))
DbExFree = _declare("DbExFree", _i16, _i16)
DbExGetPosition = _declare("DbExGetPosition", _i32, _i16, _i16)
ZelkoExSetMode = _declare("ZelkoExSetMode", _i16, _str, ctypes.c_char_p)
ZelkoFindIndex = _declare("ZelkoFindIndex", _i16, _i16, _str)
ZelkoGetRecordText = _declare("ZelkoGetRecordText", _i16, _i16, ctypes.c_void_p, _i32,
                              ctypes.POINTER(_i32), ctypes.POINTER(_i32))
ZelkoExGetRecordText = _declare("ZelkoExGetRecordText", _i16, _i16, _i16, ctypes.c_void_p, _i32,
                                ctypes.POINTER(_i32), ctypes.POINTER(_i32))
ZelkoGetIndexFields = _declare("ZelkoGetIndexFields", _i16, _i16, _i16,
                               ctypes.POINTER(_i16), _i16)
ZelkoCheckFieldData = _declare("ZelkoCheckFieldData", _i16, _i16, _i16, _str, ctypes.c_char_p,
                               _i32)
ZelkoCheckCondition = _declare("ZelkoCheckCondition", _i16, _i16, _str, ctypes.c_char_p, _i32)
ZelkoDateCentury = _declare("ZelkoDateCentury", _i32)
ZelkoCodePage = _declare("ZelkoCodePage", _i32)
ZelkoTakeLastMessage = _declare("ZelkoTakeLastMessage", _ret)
ZelkoShowMessages = _declare("ZelkoShowMessages", _i16, _i16)
SysStringByteLen = _declare("SysStringByteLen", ctypes.c_uint32, ctypes.c_void_p)
SysFreeString = _declare("SysFreeString", None, ctypes.c_void_p)


def take_bytes(address):
    """The bytes of a string the library returned (by its length prefix); frees it."""
    if not address:
        return None
    try:
        return ctypes.string_at(address, SysStringByteLen(address))
    finally:
        SysFreeString(address)


def take_message():
    """The engine's last message since the previous call, as str; None for none."""
    text = take_bytes(ZelkoTakeLastMessage())
    return text.decode(ENCODING, "replace") if text else None


def _encoding_of(code_page):
    if code_page == 65001:
        return "utf-8"
    return f"cp{code_page}"


ENCODING = _encoding_of(ZelkoCodePage())

# Characters code page 932 writes with the code of an equivalent, as the library does: the JIS
# forms Linux input methods type (WAVE DASH for the tilde at 81 60, MINUS SIGN...). Python's
# cp932 codec takes most of them but refuses EM DASH, the yen sign and the overline.
_CP932_EQUIVALENTS = str.maketrans({
    "\u301c": "\uff5e", "\u2016": "\u2225", "\u2212": "\uff0d", "\u2014": "\u2015",
    "\u00a2": "\uffe0", "\u00a3": "\uffe1", "\u00ac": "\uffe2", "\u00a5": "\\",
    "\u203e": "~"})


def as_read_back(text):
    """`text` with each JIS form the code page writes with the code of another character
    ("〜" with that of "～") as that character: the text as it reads back once written."""
    return text.translate(_CP932_EQUIVALENTS) if ENCODING == "cp932" else text


def encode(text):
    """`text` in the code page; UnicodeEncodeError for a character it has no code for."""
    return as_read_back(text).encode(ENCODING)


# A scripting binding raises failures with their message; the engine need not print them.
ZelkoShowMessages(0)
