"""Python values to the texts the engine converts into field bytes."""

import datetime
import decimal
import math

from . import _native

# Btrieve data types whose text is stored as it is, with the bytes each can hold at most
# (String: its size; LString, ZString, Note and LVar: one byte less, for the length or the
# terminator).
_STRING_TYPES = {0: 0, 10: 1, 11: 1, 12: 1, 13: 1}
_LONGEST_TEXT = 4096  # of the other types' texts
_SHOWN = 40  # characters of a value a message quotes


def shown(text):
    """`text` quoted for a message, its start only when it is long (a Note may hold 64 KB)."""
    if len(text) <= _SHOWN:
        return repr(text)
    return f"{text[:_SHOWN - 3]!r}... ({len(text)} characters)"


def _float_text(value):
    if not math.isfinite(value):
        raise ValueError(f"{value} cannot be stored")
    # -0.0 equals 0.0 in Python; stored with a minus, a Decimal field would read "-0.00" and
    # a search for 0 would not find it.
    return format(decimal.Decimal(repr(value + 0.0)), "f")


def _date_text(table, field, value):
    """The date as the Date conversion reads it: YYYY/MM/DD, or YY/MM/DD where zelko.ini's
    sShortDate asks for two-digit years (then only a year of their century)."""
    century = _native.ZelkoDateCentury()
    if century == 0:
        return f"{value.year:04d}/{value.month:02d}/{value.day:02d}"
    if not century <= value.year < century + 100:
        raise ValueError(f"{table}.{field.name}: {value.isoformat()} lies outside {century} to "
                         f"{century + 99}, the years two-digit dates (sShortDate YY/MM/DD) "
                         "stand for")
    return f"{value.year % 100:02d}/{value.month:02d}/{value.day:02d}"


def to_text(table, field, value):
    """The code-page bytes for `value` of field `field` (a Field), or TypeError/ValueError."""
    if value is None:
        text = ""
    elif isinstance(value, str):
        text = value
    elif isinstance(value, bool):
        text = "1" if value else "0"
    elif isinstance(value, int):
        text = str(value)
    elif isinstance(value, float):
        text = _float_text(value)
    elif isinstance(value, decimal.Decimal):
        if not value.is_finite():
            raise ValueError(f"{table}.{field.name}: {value} cannot be stored")
        text = format(value.copy_abs() if value.is_zero() else value, "f")
    elif isinstance(value, datetime.datetime):
        raise TypeError(f"{table}.{field.name}: give a date or a time, not a datetime")
    elif isinstance(value, datetime.date):
        text = _date_text(table, field, value)
    elif isinstance(value, datetime.time):
        text = f"{value.hour:02d}:{value.minute:02d}:{value.second:02d}"
    else:
        raise TypeError(
            f"{table}.{field.name}: a value of type {type(value).__name__} cannot be stored; "
            "give str, int, float, Decimal, bool, date, time or None")
    try:
        encoded = _native.encode(text)
    except UnicodeEncodeError as error:
        raise ValueError(f"{table}.{field.name}: {shown(text)} cannot be written in code page "
                         f"{_native.ENCODING}") from error
    if b"\0" in encoded:
        raise ValueError(f"{table}.{field.name}: a text cannot hold the character NUL")
    limit = _LONGEST_TEXT
    if field.type in _STRING_TYPES:
        limit = field.size - _STRING_TYPES[field.type]
    if len(encoded) > limit:
        raise ValueError(f"{table}.{field.name}: {shown(text)} is {len(encoded)} bytes long, the "
                         f"field holds {limit}")
    return encoded
