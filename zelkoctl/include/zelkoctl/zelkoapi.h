/*
 * zelkoapi.h - the flat function interface of the Zelko control module.
 * Texts are zero-terminated strings in the ANSI code page.
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

/* Frees a string returned by a function of this interface. */
ZELKO_EXPORT void SysFreeString(char *bstr);

#ifdef __cplusplus
}
#endif

#endif /* ZELKOCTL_ZELKOAPI_H */
