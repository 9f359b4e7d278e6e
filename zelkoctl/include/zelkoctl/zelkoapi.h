/*
 * zelkoapi.h - the flat function interface of the Zelko control module (libzelkoctl).
 *
 * Application code that hosts no controls drives the data engine through these functions.
 * First a data-source control is attached (DbAttachControl, or one hosted without a form by
 * ZelkoHostDataSource); every later call acts on its dictionary and tables. Tables, fields and
 * indexes are named by number:
 *   table ID    the 0-based number of the table in the dictionary (DbGetNumOfTable tables);
 *   field ID    the 0-based number of the field in its table;
 *   index       the 0-based position of an index's first segment in the table's segment list,
 *               -1 for none (physical order).
 * Texts are zero-terminated strings in the ANSI code page (932 unless zelko.ini says
 * otherwise). Calls belong on one thread; nothing here is locked.
 *
 * Checks, in this order, before the engine is reached: A a data source is attached (else
 * DB_NOT_ATTACHED), T the table ID lies from 0 to the count - 1 (else DB_TABLE_ID_RANGE),
 * O the table is open (else DB_TABLE_NOT_OPEN) or N it is not (else DB_TABLE_OPEN).
 *
 * Returned strings: with [zelko300] fix_str_addr 0 (the default) DbGetFieldData and
 * DbExGetFieldData return a new automation string (its 32-bit byte length stands in the four
 * bytes before the text) that the caller frees with SysFreeString; with fix_str_addr 1 they
 * return the module's static return buffer, overwritten by the next call. DbGetFieldName and
 * DbGetTableName always return the static buffer, and every failure answer comes from it too;
 * SysFreeString ignores the static buffer, so freeing every non-null answer is always safe.
 * The static buffer holds 4,096 bytes of text and carries the same length prefix.
 */
#ifndef ZELKOCTL_ZELKOAPI_H
#define ZELKOCTL_ZELKOAPI_H

#include <stdint.h>

#if defined(__GNUC__)
#define ZELKO_EXPORT __attribute__((visibility("default")))
#else
#define ZELKO_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Statuses of the whole system (16-bit). 0 is success, positive values are the record
 * manager's statuses passed through unchanged, the control module's own are these. */
enum {
  DB_OK = 0,
  DB_FAILED = -1,                   /* memory or key, position, form window, wrong length */
  DB_TABLE_OPEN = -2,               /* the table is open already */
  DB_TABLE_NOT_OPEN = -3,           /* the table is not open */
  DB_TABLE_NOT_FOUND = -4,          /* no table of that name (or number, automation) */
  DB_FIELD_NOT_FOUND = -5,          /* no field of that name */
  DB_INDEX_NOT_FOUND = -6,          /* no such index, or its key could not be built */
  DB_EX_OPERATION_NOT_ALLOWED = -7, /* not an extended operation */
  DB_BAD_CONDITION = -8,            /* the search condition does not parse */
  DB_BAD_FIELD_LIST = -9,           /* the field list does not parse */
  DB_BAD_LOCK_BIAS = -10,           /* a lock bias that is not allowed */
  DB_SOURCE_NOT_FOUND = -11,        /* no such data-source control on that form */
  DB_NOT_ATTACHED = -12,            /* no data source or control attached */
  DB_FIELD_ID_RANGE = -13,          /* field ID out of range */
  DB_INDEX_ID_RANGE = -14,          /* index ID out of range */
  DB_TABLE_ID_RANGE = -15,          /* table ID out of range */
  DB_DIRECTORY_NOT_FOUND = -16,     /* the dictionary directory cannot be found */
  DB_NOT_STRING_ARRAY = -17,        /* the value is not an array of strings */
  DB_ARRAY_NOT_ONE_DIMENSIONAL = -18,
  DB_LOWER_BOUND_BEYOND_FIELDS = -19, /* the array's lower bound lies beyond the field count */
  DB_NO_DICTIONARY = -20,             /* no dictionary loaded */
  DB_DDF_DIR_EMPTY = -21,             /* DDFDir is empty */
  DB_ARRAY_NOT_ACCESSIBLE = -22,
  DB_NOT_BYTE_ARRAY = -23,
  DB_BYTE_ARRAY_NOT_ONE_DIMENSIONAL = -24,
  DB_NO_MEMORY = -99 /* working storage could not be obtained */
};

/* ---- Attachment ------------------------------------------------------------------- */

/* Attaches the data-source control named `control_name` (any letter case) on the form named
 * `form_name` (exact). 0; DB_SOURCE_NOT_FOUND when there is none (the attachment stays as it
 * was); DB_NO_DICTIONARY when it has no dictionary loaded; DB_FAILED after message VE808 to
 * VE811 when the form cannot be asked for its window. */
ZELKO_EXPORT int16_t DbAttachControl(const char *control_name, const char *form_name);

/* Attaches the data-source control named `control_name` on the form whose window is
 * `form_window`. 0, DB_SOURCE_NOT_FOUND or DB_NO_DICTIONARY. */
ZELKO_EXPORT int16_t DbAttachControlByHwnd(const char *control_name, intptr_t form_window);

/* Beyond the original: a data-source control without a form or a display. Creates it as
 * control `control_name` of form `form_name` with DDFDir `ddf_dir` (a code-page path), loads
 * its dictionary and registers it, so that DbAttachControl(control_name, form_name) and every
 * function below work as with a control on a form. 0; DB_FAILED when the names are empty or
 * a source of those names is hosted already; DB_DDF_DIR_EMPTY for an empty directory; a
 * failed dictionary load also gives DB_FAILED (its message was shown) and hosts nothing. */
ZELKO_EXPORT int16_t ZelkoHostDataSource(const char *form_name, const char *control_name,
                                         const char *ddf_dir);
/* Destroys a hosted data source (its tables are closed; an attachment to it is cleared).
 * 0, or DB_SOURCE_NOT_FOUND. */
ZELKO_EXPORT int16_t ZelkoReleaseDataSource(const char *form_name, const char *control_name);

/* ---- Tables ------------------------------------------------------------------------ */

/* Opens the table's data file with the attached control's DDFDir, OwnerName and OpenMode.
 * Checks A, T, N; then the record manager's status. */
ZELKO_EXPORT int16_t DbOpen(int16_t table_id);
/* Closes the table. Checks A, T, O. */
ZELKO_EXPORT int16_t DbClose(int16_t table_id);
/* Creates the table's data file where the dictionary says. Checks A, T, N. */
ZELKO_EXPORT int16_t DbCreate(int16_t table_id);
/* The number of tables, or DB_NOT_ATTACHED. */
ZELKO_EXPORT int16_t DbGetNumOfTable(void);
/* The number of fields of the table. Checks A, T. */
ZELKO_EXPORT int16_t DbGetNumOfField(int16_t table_id);
/* The table's name in the static buffer; the empty text without an attachment, null for a
 * table ID out of range. (Exported as _DbGetTableName@4 too, the name declared functions of
 * the original platform use.) */
ZELKO_EXPORT char *DbGetTableName(int16_t table_id);
/* The field's name in the static buffer; null without an attachment or for a table ID out of
 * range; the empty text for a table that is not open or a field ID out of range. */
ZELKO_EXPORT char *DbGetFieldName(int16_t table_id, int16_t field_id);
/* The field's data type code (B_TYPE_... of btrapi.h) or its declared size. Checks A, T, O,
 * then DB_FIELD_ID_RANGE for a field ID out of range. */
ZELKO_EXPORT int16_t DbGetDataType(int16_t table_id, int16_t field_id);
ZELKO_EXPORT int16_t DbGetDataSize(int16_t table_id, int16_t field_id);
/* The number of records in *count. Checks A, T, O. */
ZELKO_EXPORT int16_t DbGetNumOfRecords(int16_t table_id, int32_t *count);

/* ---- Records ----------------------------------------------------------------------- */

/* The text of a field of the table's current record (see Returned strings). The empty text
 * without an attachment or for a table that is not open; null for a table ID out of range. */
ZELKO_EXPORT char *DbGetFieldData(int16_t table_id, int16_t field_id);
/* Writes the text into the field of the record buffer (converted by the field's type).
 * Checks A, T, O; DB_FIELD_NOT_FOUND for a field ID out of range; a null text is empty. */
ZELKO_EXPORT int16_t DbSetFieldData(int16_t table_id, int16_t field_id, const char *text);
/* Sets every field of the record buffer to its empty value. Checks A, T, O. */
ZELKO_EXPORT int16_t DbClearFieldBuffer(int16_t table_id);
/* Runs the record manager's operation (B_GET_EQUAL ..., with DbSetLockBias's bias added) with
 * the key that the record buffer gives for `index`. Checks A, T, O; DB_INDEX_NOT_FOUND when
 * the key cannot be built; then the record manager's status. */
ZELKO_EXPORT int16_t DbAccess(int16_t operation, int16_t table_id, int16_t index);
/* Reads the record at a physical position and, with an index, re-establishes that path. */
ZELKO_EXPORT int16_t DbGetDirect(int16_t table_id, int32_t position, int16_t index);
/* The current record's physical position; -1 when the record manager refuses; the check
 * failures as DB_NOT_ATTACHED, DB_TABLE_ID_RANGE and DB_TABLE_NOT_OPEN. */
ZELKO_EXPORT int32_t DbGetPosition(int16_t table_id);
/* Unlocks: type -1 the current record by its position, other types as the record manager's
 * Unlock takes them. Checks A, T, O. */
ZELKO_EXPORT int16_t DbUnlock(int16_t table_id, int16_t unlock_type);
/* The percentage (0 to 10,000) of the record at `position` along `index`, into *percentage. */
ZELKO_EXPORT int16_t DbFindPercentage(int16_t table_id, int16_t index, int32_t position,
                                      int16_t *percentage);
/* Reads the record at `percentage` (0 to 10,000) along `index`. Checks A, T, O. */
ZELKO_EXPORT int16_t DbGetByPercentage(int16_t table_id, int16_t index, int16_t percentage);

/* ---- Transactions and locks -------------------------------------------------------- */

/* Lock bias 0, 100, 200, 300 or 400 (500 too for the concurrent kind), else
 * DB_BAD_LOCK_BIAS without a call to the record manager. */
ZELKO_EXPORT int16_t DbBeginTransaction(int16_t lock_bias);
ZELKO_EXPORT int16_t DbBeginConCurTransaction(int16_t lock_bias);
ZELKO_EXPORT int16_t DbEndTransaction(void);
ZELKO_EXPORT int16_t DbAbortTransaction(void);
/* The lock bias added to every operation of DbAccess and DbGetDirect: 0, 100, 200, 300 or
 * 400, else DB_BAD_LOCK_BIAS. */
ZELKO_EXPORT int16_t DbSetLockBias(int16_t lock_bias);

/* ---- The attached control's form ---------------------------------------------------- */

/* Shows the table's current record in the controls bound to it on the attached control's
 * form; moves their values into the record buffer; clears them. Checks A, T, O. */
ZELKO_EXPORT int16_t DbTransferToControl(int16_t table_id);
ZELKO_EXPORT int16_t DbTransferFromControl(int16_t table_id);
ZELKO_EXPORT int16_t DbClearControlData(int16_t table_id);

/* ---- Extended reads ---------------------------------------------------------------- */

/* A filtered read of up to `max_records` records (operation 36 to 39, a lock bias added as
 * 100 to 400), keeping the fields of `field_list` ("NAME,AGE" or field numbers) of the
 * records that meet `condition` ("@AGE >= 20 & @PREF = '東京都'", empty for all). The result
 * is kept under *result_id (0 to 47) with *count records. Checks A, T, O; then
 * DB_INDEX_NOT_FOUND, DB_EX_OPERATION_NOT_ALLOWED, DB_BAD_CONDITION, DB_BAD_FIELD_LIST,
 * DB_NO_MEMORY or the record manager's status (0, 9, 22, 60, 64 and 65 keep a result). */
ZELKO_EXPORT int16_t DbExAccess(int16_t operation, int16_t table_id, const char *condition,
                                const char *field_list, int16_t index, int16_t reject_count,
                                int16_t max_records, int16_t ignore_case, int16_t *result_id,
                                int16_t *count);
/* Releases a result: 0, or DB_FAILED for an ID not in use. */
ZELKO_EXPORT int16_t DbExFree(int16_t result_id);
/* The physical position of record `record` (0-based) of a result, or -1. */
ZELKO_EXPORT int32_t DbExGetPosition(int16_t result_id, int16_t record);
/* The text of field `field_id` (of the table) of a result's record, as DbGetFieldData returns
 * texts; the empty text when the result, the record or the field is not there. */
ZELKO_EXPORT char *DbExGetFieldData(int16_t result_id, int16_t field_id, int16_t record);

/* ---- Texts for list controls, the version, fatal ends ----------------------------- */

/* The text a list control shows for the item being added (1,024-byte buffer: a longer text
 * is cut to 1,023 bytes). Both answer 0. */
ZELKO_EXPORT int16_t DbSetFormattedString(const char *text);
ZELKO_EXPORT int16_t DbExSetFormattedString(const char *text);
/* The record manager's version answer: 5 bytes into `buffer` (version and revision, 16 bits
 * each, then a letter). The status of the Version operation. */
ZELKO_EXPORT int16_t DbGetVersion(uint8_t *buffer);
/* Ends the process with message `message_number` of the module (the number of its VE code:
 * 808 is VE808), formatted printf-style with the further arguments. Does not return. */
ZELKO_EXPORT void ZelkoFatalAppExit(int16_t message_number, ...);

/* ---- Beyond the original: for bindings of scripting languages ---------------------- */

/* Sets the two-character mode written into every extended-read descriptor ("UC" when the
 * module loads: the read starts after the current record; "EG": with the current record when
 * a Get or Step established it, so a Get First followed by "EG" reads returns every record
 * once). The mode in force before is copied into `previous` (3 bytes) unless it is null.
 * 0, or DB_FAILED (mode unchanged) unless `mode` has exactly two characters. */
ZELKO_EXPORT int16_t ZelkoExSetMode(const char *mode, char *previous);
/* The index position (for DbAccess and DbExAccess) of the named index of the table, or of
 * the key whose first segment is the named field. Checks A, T; DB_INDEX_NOT_FOUND. */
ZELKO_EXPORT int16_t ZelkoFindIndex(int16_t table_id, const char *name);
/* Every field's text of the table's current record buffer in one call: the texts in field
 * order, each as DbGetFieldData gives it but whole (a Note or LVar past 4,096 bytes is not
 * cut) and followed by one NUL (a text is cut at a NUL of its own). *length (unless null)
 * receives the bytes needed; when `size` is smaller, nothing is written and the answer is 22
 * (the record manager's "data buffer too short"): call again with that much room. With
 * `position` not null the record's physical position is written there too (-1 when the
 * record manager refuses). Checks A, T, O. */
ZELKO_EXPORT int16_t ZelkoGetRecordText(int16_t table_id, char *buffer, int32_t size,
                                        int32_t *length, int32_t *position);
/* The same for record `record` (0-based) of an extended result: the texts of the fields of
 * its field list, in list order; its position from DbExGetPosition. DB_FAILED when the result
 * or the record is not there. */
ZELKO_EXPORT int16_t ZelkoExGetRecordText(int16_t result_id, int16_t record, char *buffer,
                                          int32_t size, int32_t *length, int32_t *position);
/* The field IDs of the key that starts at index position `index`, in segment order: up to
 * `room` of them copied into `fields`; the result is their number, or DB_INDEX_NOT_FOUND
 * for a position that starts no key. Checks A, T. */
ZELKO_EXPORT int16_t ZelkoGetIndexFields(int16_t table_id, int16_t index, int16_t *fields,
                                         int16_t room);
/* Whether DbSetFieldData can store `text` in field `field_id` of the table without changing
 * its value (DbSetFieldData itself stores what it can of any text: a number out of range, a
 * malformed date or a text too long is changed, never refused). 0 when it can; DB_FAILED
 * when not, with the reason (English, quoting the text) copied into `reason` unless it is
 * null, cut to `size` - 1 bytes and NUL-terminated. Checks A, T; DB_FIELD_ID_RANGE. */
ZELKO_EXPORT int16_t ZelkoCheckFieldData(int16_t table_id, int16_t field_id, const char *text,
                                         char *reason, int32_t size);
/* Whether DbExAccess reads `condition` on the table as it is written: each value is held by
 * its field as written (the descriptor carries the value as stored: 99999999999999 in a
 * Decimal of nine integer digits would compare as another number) and no text follows the
 * last term (DbExAccess ignores it: "@A = 1 and @B = 2" tests A alone). 0 when it does;
 * DB_BAD_CONDITION when it does not parse (its message was shown); DB_FAILED with the reason
 * copied into `reason` as ZelkoCheckFieldData does. Checks A, T. */
ZELKO_EXPORT int16_t ZelkoCheckCondition(int16_t table_id, const char *condition, char *reason,
                                         int32_t size);
/* The date style of the Date conversion: 0 for four-digit years ("YYYY/MM/DD"), else the
 * first year of the century that two-digit years ("YY/MM/DD", zelko.ini sShortDate) stand
 * in: 1900 or 2000. */
ZELKO_EXPORT int32_t ZelkoDateCentury(void);
/* The number of the code page of every text of this interface (932 unless zelko.ini says
 * otherwise). */
ZELKO_EXPORT int32_t ZelkoCodePage(void);
/* The text of the last message the module showed since the previous call (the empty text for
 * none), in the static return buffer. */
ZELKO_EXPORT char *ZelkoTakeLastMessage(void);
/* 0: messages are no longer shown (ZelkoTakeLastMessage still has them); 1: shown again as
 * before. Answers whether they were shown before the call. */
ZELKO_EXPORT int16_t ZelkoShowMessages(int16_t show);

/* ---- Automation strings ------------------------------------------------------------- */

/* The byte length of a returned string (from its prefix); 0 for null. */
ZELKO_EXPORT uint32_t SysStringByteLen(const char *bstr);
/* Frees a string returned by a function of this interface; null and the static return
 * buffer are ignored. */
ZELKO_EXPORT void SysFreeString(char *bstr);

#ifdef __cplusplus
}
#endif

#endif /* ZELKOCTL_ZELKOAPI_H */
