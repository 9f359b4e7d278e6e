"""A table of an open database: its fields, records as dicts, reads by key, writes, and
extended reads."""

import ctypes
import operator
from collections import namedtuple

from . import _native as n
from ._errors import UnknownNameError, ZelkoError
from ._values import to_text

# The record manager's operation codes this module uses.
_INSERT, _UPDATE, _DELETE, _GET_EQUAL = 2, 3, 4, 5
_GET_NEXT, _GET_PREVIOUS, _GET_GE, _GET_LE, _GET_FIRST, _GET_LAST = 6, 7, 9, 11, 12, 13
_STEP_NEXT, _STEP_FIRST, _STEP_LAST, _STEP_PREVIOUS = 24, 33, 34, 35
_GET_NEXT_EXTENDED, _GET_PREVIOUS_EXTENDED = 36, 37
_STEP_NEXT_EXTENDED, _STEP_PREVIOUS_EXTENDED = 38, 39
_END_OF_FILE, _KEY_NOT_FOUND, _UNKNOWN_POSITION, _CHANGED = 9, 4, 43, 80
_INDEX_NOT_FOUND = -6
_WOULD_CHANGE = -1  # ZelkoCheckFieldData, ZelkoCheckCondition: not read as it stands
_FIELD_OUTSIDE_RECORD = 65
# Note and LVar: the text runs to the record's end, however long the field is declared.
_VARIABLE_TYPES = (12, 13)
# Extended reads that end with these keep the records they found.
_EXTENDED_KEEPS = (0, 9, 22, 60, 64)

Field = namedtuple("Field", "name type size")


class Record(dict):
    """A record as {field name: text}. It remembers where it was read (its physical position
    and the index) and the texts it was read with, so that update() and delete() act on this
    record and refuse when someone else has changed it since."""

    __slots__ = ("position", "_index", "_fields", "_texts", "_table")

    def __repr__(self):
        return f"Record({dict.__repr__(self)})"


class Table:
    """A table of the dictionary, open for reading and writing. Made by Database[name]."""

    def __init__(self, database, table_id, name):
        self._db = database
        self._id = table_id
        self.name = name
        count = n.DbGetNumOfField(table_id)
        self._check(count if count < 0 else 0)
        infos = []
        for field_id in range(count):
            field_name = n.take_bytes(n.DbGetFieldName(table_id, field_id)) or b""
            infos.append(Field(field_name.decode(n.ENCODING, "replace"),
                               n.DbGetDataType(table_id, field_id),
                               n.DbGetDataSize(table_id, field_id)))
        self._infos = tuple(infos)
        self._field_ids = {}
        for field_id, info in enumerate(infos):
            self._field_ids.setdefault(info.name, field_id)  # the first of a name wins
        self.fields = tuple(info.name for info in infos)
        self._buffer_size = 4097 * max(1, count) + 16
        self._buffer = ctypes.create_string_buffer(self._buffer_size)
        self._reason = ctypes.create_string_buffer(256)  # why a value does not fit its field
        self._length = ctypes.c_int32()
        self._position = ctypes.c_int32()
        self._default_index = None
        self._key_fields_at = {}  # index position: the key's field IDs (the catalog is fixed)
        # What the table's position block stands on, as (position, index), when this module
        # knows; iterations compare it with their own place.
        self._currency = None

    # ---- description

    @property
    def field_info(self):
        """{name: Field(name, type, size)}: the Btrieve data type code and the size."""
        return {info.name: info for info in self._infos}

    def __repr__(self):
        return f"<zelko.Table {self.name} of {self._db.directory}>"

    # ---- helpers

    def _check(self, status):
        if status != 0:
            raise ZelkoError(status, n.take_message())

    def _field(self, name):
        if not isinstance(name, str):
            raise TypeError(f"field names are str, not {type(name).__name__}")
        field_id = self._field_ids.get(name)
        if field_id is None:  # "A〜" names the field "A～", as the dictionary keeps it
            field_id = self._field_ids.get(n.as_read_back(name))
        if field_id is None:
            raise UnknownNameError(-5, f"table {self.name} has no field {name!r}")
        return field_id

    def _texts_for(self, values):
        """[(field ID, bytes)] for a mapping of field names to values; raises before anything
        is changed when a name or a value is wrong."""
        if not hasattr(values, "items"):
            raise TypeError(f"give the values as a mapping of field names, not "
                            f"{type(values).__name__}")
        result = []
        for name, value in values.items():
            field_id = self._field(name)
            result.append((field_id, to_text(self.name, self._infos[field_id], value)))
        with n.lock:
            self._db._attach()
            for field_id, text in result:
                self._refuse_change(field_id, text)
        return result

    def _refuse_change(self, field_id, text):
        """ValueError when the field would store another value than `text` says (the engine
        stores what it can of any text: 10**12 in a 4-byte Integer would become another
        number)."""
        reason = self._reason
        status = n.ZelkoCheckFieldData(self._id, field_id, text, reason, len(reason))
        if status == _WOULD_CHANGE:
            raise ValueError(f"{self.name}.{self._infos[field_id].name}: "
                             f"{reason.value.decode(n.ENCODING, 'replace')}")
        self._check(status)

    def _refuse_misreading(self, condition):
        """ValueError when the extended read would not read `condition` (bytes) as written: a
        value its field would hold as another value, or text after the last term, which the
        read ignores."""
        reason = self._reason
        status = n.ZelkoCheckCondition(self._id, condition, reason, len(reason))
        if status == _WOULD_CHANGE:
            raise ValueError(f"the condition cannot be used on {self.name}: "
                             f"{reason.value.decode(n.ENCODING, 'replace')}")
        self._check(status)

    def _index_for(self, key):
        """The index position for a key given by name (named index or first field)."""
        if key is None:
            return self._default()
        if not isinstance(key, str):
            raise TypeError(f"keys are named by str, not {type(key).__name__}")
        try:
            index = n.ZelkoFindIndex(self._id, n.encode(key))
        except UnicodeEncodeError:
            index = _INDEX_NOT_FOUND  # no name in the dictionary has that character
        if index == _INDEX_NOT_FOUND:
            raise UnknownNameError(-6, f"table {self.name} has no index or key {key!r}")
        self._check(index if index < 0 else 0)
        return index

    def _default(self):
        """The first key, or physical order (-1) for a table without keys."""
        if self._default_index is None:
            self._db._attach()
            status = n.DbAccess(_GET_FIRST, self._id, 0)
            n.ZelkoTakeLastMessage()  # a table without keys says so; that is an answer here
            self._currency = None
            self._default_index = -1 if status == _INDEX_NOT_FOUND else 0
        return self._default_index

    def _texts(self, fetch):
        """The texts `fetch(buffer, size)` writes (each ended by a NUL), the buffer grown when
        they need more room (a long Note or LVar)."""
        status = fetch(self._buffer, self._buffer_size)
        if status == 22 and self._length.value > self._buffer_size:
            self._buffer_size = self._length.value
            self._buffer = ctypes.create_string_buffer(self._buffer_size)
            status = fetch(self._buffer, self._buffer_size)
        self._check(status)
        texts = ctypes.string_at(self._buffer, self._length.value).decode(n.ENCODING, "replace")
        texts = texts.split("\0")
        del texts[-1]
        return texts

    def _read_current(self, index, fields=None):
        """The current record buffer as a Record; the currency becomes its position."""
        texts = self._texts(lambda buffer, size: n.ZelkoGetRecordText(
            self._id, buffer, size, ctypes.byref(self._length), ctypes.byref(self._position)))
        position = self._position.value
        record = self._record(self.fields, texts, position if position != -1 else None, index)
        self._currency = (position, index)
        return record

    def _record(self, names, texts, position, index):
        """A Record of the `texts` of the fields `names`, read at `position` along `index`."""
        record = Record(zip(names, texts))
        record.position = position
        record._index = index
        record._fields = names
        record._texts = texts
        record._table = self
        return record

    def _set_values(self, texts):
        for field_id, text in texts:
            self._check(n.DbSetFieldData(self._id, field_id, text))

    # ---- reading

    def __len__(self):
        with n.lock:
            self._db._attach()
            count = ctypes.c_int32()
            self._check(n.DbGetNumOfRecords(self._id, ctypes.byref(count)))
            return count.value

    def __iter__(self):
        return self.records()

    def records(self, key=None, reverse=False):
        """Every record in the order of `key` (an index or key field name; the first key when
        None, physical order for a table without keys), backwards with reverse=True."""
        with n.lock:
            self._db._attach()
            index = self._index_for(key)
        if index == -1:
            first, following = (_STEP_LAST, _STEP_PREVIOUS) if reverse else (_STEP_FIRST,
                                                                              _STEP_NEXT)
        else:
            first, following = (_GET_LAST, _GET_PREVIOUS) if reverse else (_GET_FIRST, _GET_NEXT)
        with n.lock:
            key_fields = self._key_fields(index)
        key_of = operator.itemgetter(*key_fields) if key_fields else (lambda texts: None)
        place = None
        # The texts of the record yielded last, as it was read (update() gives a record a new
        # list, never changes this one); the positions of the records yielded with its key
        # value; and those of records yielded whose key has moved since (by an update, this
        # process's or another's). Where the record this iteration stood on is gone or has
        # moved, the iteration goes on after its key value and does not yield it again.
        read_texts, run_key, run, moved = None, None, set(), set()
        while True:
            with n.lock:
                self._db._attach()
                status = None
                if place is None:
                    status = n.DbAccess(first, self._id, index)
                elif self._currency != place:
                    # Something else moved the table: back to this iteration's record.
                    back = n.DbGetDirect(self._id, place[0], index)
                    if back == 0 and key_fields and self._key_moved(key_fields, read_texts,
                                                                    index):
                        moved.add(place[0])
                        status = self._after(key_fields, read_texts, run | moved, reverse, index)
                    elif back == _UNKNOWN_POSITION and key_fields:
                        # Another user deleted it meanwhile.
                        status = self._after(key_fields, read_texts, run | moved, reverse, index)
                    elif back != 0:
                        raise ZelkoError(back, "the record this iteration stood on is gone")
                if status is None:
                    status = n.DbAccess(following, self._id, index)
                if status == _END_OF_FILE:
                    self._currency = None
                    return
                self._check(status)
                record = self._read_current(index)
                place = self._currency
                if place[0] in moved:
                    continue  # met again at its new place
                key = key_of(record._texts)
                if key != run_key:
                    run_key, run = key, set()
                run.add(place[0])
                read_texts = record._texts
            yield record

    def _key_fields(self, index):
        """The field IDs of the key at index position `index` (none for physical order)."""
        if index == -1:
            return ()
        known = self._key_fields_at.get(index)
        if known is None:
            fields = (ctypes.c_int16 * 255)()
            count = n.ZelkoGetIndexFields(self._id, index, fields, len(fields))
            self._check(count if count < 0 else 0)
            known = self._key_fields_at[index] = tuple(fields[:count])
        return known

    def _key_moved(self, key_fields, texts, index):
        """Whether the current record's key fields no longer hold what `texts` (a record's
        texts) hold in them."""
        now = self._read_current(index)
        return any(now._texts[f] != texts[f] for f in key_fields)

    def _after(self, key_fields, texts, seen, reverse, index):
        """Stands on the first record after the key value that `texts` (a record's texts)
        hold in `key_fields`, along the index (before it when reverse): the first at or past
        it whose position is not in `seen`. The status of the read that found it."""
        self._check(n.DbClearFieldBuffer(self._id))
        for field_id in key_fields:
            text = texts[field_id].encode(n.ENCODING, "replace")
            self._check(n.DbSetFieldData(self._id, field_id, text))
        status = n.DbAccess(_GET_LE if reverse else _GET_GE, self._id, index)
        while status == 0 and self._read_current(index).position in seen:
            status = n.DbAccess(_GET_PREVIOUS if reverse else _GET_NEXT, self._id, index)
        return _END_OF_FILE if status == _KEY_NOT_FOUND else status

    def get(self, key=None, **values):
        """The first record whose key equals the values given (Get Equal), or None. The
        values are those of every field of the key; `key` names the index or key field,
        without it the first value's field names it. ValueError when they are not: the read
        would take a field left out as empty and pass over one not in the key."""
        texts = self._texts_for(values)
        with n.lock:
            self._db._attach()
            if key is None and values:
                first = next(iter(values))
                index = n.ZelkoFindIndex(self._id, n.encode(first))
                if index < 0:
                    if self._default() != -1:
                        raise ValueError(f"get reads by a key: no key of {self.name} starts "
                                         f"with {first} (where() selects by any field)")
                    index = -1
            else:
                index = self._index_for(key)
            if index == -1:
                raise ZelkoError(-6, f"table {self.name} has no key to read by")
            self._refuse_other_fields(index, [field_id for field_id, _ in texts])
            self._check(n.DbClearFieldBuffer(self._id))
            self._set_values(texts)
            self._currency = None
            status = n.DbAccess(_GET_EQUAL, self._id, index)
            if status == _KEY_NOT_FOUND:
                return None
            self._check(status)
            return self._read_current(index)

    def _refuse_other_fields(self, index, given):
        """ValueError unless the field IDs `given` are those of the key at `index`."""
        key_fields = self._key_fields(index)
        names = ", ".join(self.fields[f] for f in key_fields)
        outside = [self.fields[f] for f in given if f not in key_fields]
        if outside:
            raise ValueError(f"get reads by a key: {', '.join(outside)} is not in the key "
                             f"of {self.name} ({names}) that it reads by (where() selects "
                             f"by any field)")
        missing = [self.fields[f] for f in key_fields if f not in given]
        if missing:
            raise ValueError(f"get reads by a whole key: give {', '.join(missing)} too, for "
                             f"the key of {self.name} ({names}) (where() selects by part of a "
                             f"key)")

    def where(self, condition="", fields=None, max=None, key=None, ignore_case=False,
              reverse=False):
        """The records that meet `condition` ("@AGE >= 20 & @PREF = '東京都'"; empty for all),
        read by extended reads along `key`, with the named `fields` only (all when None), at
        most `max` of them. A Note or LVar field among them is read with its whole record,
        by position, once the records are found."""
        if not isinstance(condition, str):
            raise TypeError(f"the condition is a str, not {type(condition).__name__}")
        names = self.fields if fields is None else tuple(fields)
        if isinstance(fields, str):
            names = (fields,)
        ids = [self._field(name) for name in names]
        if not ids:
            raise ValueError("name at least one field")
        if max is not None and (not isinstance(max, int) or max < 0):
            raise ValueError("max is a count: an int of 0 or more")
        remaining = max
        try:
            condition_bytes = n.encode(condition)
        except UnicodeEncodeError as error:
            raise ValueError(f"{self.name}: the condition {condition!r} cannot be written in "
                             f"code page {n.ENCODING}") from error
        # An extended read extracts each field at its declared size, which a variable field
        # fills only when its text is that long (else 65): it is read afterwards.
        variable = any(self._infos[i].type in _VARIABLE_TYPES for i in ids)
        extracted = [i for i in ids if self._infos[i].type not in _VARIABLE_TYPES]
        if not extracted:
            extracted = [i for i, info in enumerate(self._infos)
                         if info.type not in _VARIABLE_TYPES][:1] or ids
        field_list = ",".join(str(i) for i in extracted).encode()
        width = sum(self._infos[i].size for i in extracted) + 6
        chunk_limit = (60000 // width) or 1  # each read's buffer within 64 KB
        found = []
        with n.lock:
            self._db._attach()
            self._refuse_misreading(condition_bytes)
            index = self._index_for(key)
            if index == -1:
                first = _STEP_LAST if reverse else _STEP_FIRST
                extended = _STEP_PREVIOUS_EXTENDED if reverse else _STEP_NEXT_EXTENDED
            else:
                first = _GET_LAST if reverse else _GET_FIRST
                extended = _GET_PREVIOUS_EXTENDED if reverse else _GET_NEXT_EXTENDED
            self._currency = None
            if remaining == 0:
                return found
            status = n.DbAccess(first, self._id, index)
            if status == _END_OF_FILE:
                return found
            self._check(status)
            previous_mode = ctypes.create_string_buffer(3)
            # "EG": the first read starts with the record Get First found.
            self._check(n.ZelkoExSetMode(b"EG", previous_mode))
            try:
                while remaining is None or remaining > 0:
                    chunk = chunk_limit if remaining is None else min(chunk_limit, remaining)
                    result, count = ctypes.c_int16(-1), ctypes.c_int16(0)
                    status = n.DbExAccess(extended, self._id, condition_bytes, field_list, index,
                                          0, chunk, 1 if ignore_case else 0,
                                          ctypes.byref(result), ctypes.byref(count))
                    if status == _FIELD_OUTSIDE_RECORD:
                        raise ZelkoError(status, "a listed field lies past the end of a record "
                                         "(a Note or LVar holding less than its size): leave it "
                                         "out of fields, or read the records with records()")
                    if status not in _EXTENDED_KEEPS:
                        self._check(status)
                    if result.value < 0:
                        raise ZelkoError(-99, "no free slot for an extended result")
                    try:
                        for r in range(count.value):
                            if variable:
                                found.append(n.DbExGetPosition(result.value, r))
                                continue
                            texts = self._texts(
                                lambda buffer, size, r=r: n.ZelkoExGetRecordText(
                                    result.value, r, buffer, size, ctypes.byref(self._length),
                                    ctypes.byref(self._position)))
                            found.append(self._record(names, texts, self._position.value, index))
                    finally:
                        n.DbExFree(result.value)
                    if remaining is not None:
                        remaining -= count.value
                    if status in (9, 64):
                        break
                    if status == 22 and count.value == 0:
                        self._check(22)
            finally:
                n.ZelkoExSetMode(previous_mode.value, None)
            if variable:
                found = self._read_found(found, ids, names, index)
        return found

    def _read_found(self, positions, ids, names, index):
        """The records at `positions` read whole, with the fields `ids` (named `names`): each as
        it stands now, one deleted since it was found left out."""
        records = []
        for position in positions:
            status = n.DbGetDirect(self._id, position, index)
            if status == _UNKNOWN_POSITION:
                continue
            self._check(status)
            whole = self._read_current(index)
            records.append(self._record(names, [whole._texts[i] for i in ids], whole.position,
                                        index))
        return records

    # ---- writing

    def insert(self, values):
        """Inserts a record of these field values (the others empty); returns it as stored
        (an Auto Increment key numbered)."""
        texts = self._texts_for(values)
        with n.lock:
            self._db._attach()
            index = self._default()
            self._check(n.DbClearFieldBuffer(self._id))
            self._set_values(texts)
            self._currency = None
            self._check(n.DbAccess(_INSERT, self._id, index))
            record = self._read_current(index)
            if index == -1:  # an insert without a key leaves the currency where it was
                record.position = None
                self._currency = None
            return record

    def _stand_on(self, record, action):
        """Reads `record` again by its position and makes sure it is as it was read."""
        if not isinstance(record, Record) or getattr(record, "_table", None) is not self:
            raise TypeError(f"{action} takes a record read from table {self.name}")
        if record.position is None:
            raise ValueError(f"this record's position is not known; read it again to {action} it")
        status = n.DbGetDirect(self._id, record.position, record._index)
        self._currency = None
        if status == _UNKNOWN_POSITION:
            raise ZelkoError(_CHANGED, "the record was deleted by another user since it was read")
        self._check(status)
        current = self._read_current(record._index)
        if any(current[name] != text for name, text in zip(record._fields, record._texts)):
            raise ZelkoError(_CHANGED)

    def update(self, record, changes=None, **values):
        """Writes the changes made to `record` (a record read from this table) and those given
        as a mapping or as keywords. Raises ZelkoError 80 and changes nothing when someone
        changed or deleted the record since it was read. The record then holds the stored
        texts."""
        changed = {}
        if isinstance(record, Record):
            # Every name set in the dict is a change, also one the read left out (where()
            # with chosen fields); an unknown one raises below rather than being dropped.
            read = dict(zip(record._fields, record._texts))
            for name, value in record.items():
                if name not in read or read[name] != value:
                    changed[name] = value
        if changes is not None:
            if not hasattr(changes, "items"):
                raise TypeError("give the changes as a mapping of field names")
            changed.update(changes)
        changed.update(values)
        texts = self._texts_for(changed)
        with n.lock:
            self._db._attach()
            self._stand_on(record, "update")
            self._set_values(texts)
            self._check(n.DbAccess(_UPDATE, self._id, record._index))
            stored = self._read_current(record._index)
            # Its key may have moved it along the index: an iteration that stood on it goes
            # back and looks.
            self._currency = None
            fields = record._fields + tuple(name for name in record
                                            if name not in record._fields)
            record.clear()
            record.update((name, stored[name]) for name in fields)
            record._texts = [stored[name] for name in fields]
            return record

    def delete(self, record):
        """Deletes `record` (a record read from this table). Raises ZelkoError 80 and deletes
        nothing when someone changed or deleted it since it was read."""
        with n.lock:
            self._db._attach()
            self._stand_on(record, "delete")
            self._check(n.DbAccess(_DELETE, self._id, record._index))
            # The position block stands where the record was: an iteration goes on from there.
            self._currency = (record.position, record._index)
            record.position = None

    def close(self):
        with n.lock:
            if self._db._tables.pop(self.name, None) is self and self._db._open:
                self._db._attach()
                self._check(n.DbClose(self._id))
