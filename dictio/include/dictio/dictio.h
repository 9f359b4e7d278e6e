/*
 * dictio.h - dictionary I/O: one dictionary directory at a time, its three files FILE.DDF
 * (tables), FIELD.DDF (fields and named indexes) and INDEX.DDF (key segments).
 *
 * Every function returns the record manager's status (0 success). All state is
 * process-wide: one dictionary may be open per process and calls must not overlap.
 * Order of calls: DDFOpen, any reads or writes, DDFClose. Each read function walks its file
 * once in key 0 order, starting after the dictionary's own records, until status 9.
 * Texts are bytes in the ANSI code page.
 */
#ifndef DICTIO_DICTIO_H
#define DICTIO_DICTIO_H

#include <stdint.h>

#if defined(__GNUC__)
#define DICTIO_EXPORT __attribute__((visibility("default")))
#else
#define DICTIO_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Xe$DataType of a FIELD.DDF record that names an index rather than a field; the field
 * types are the record manager's (B_TYPE_... in btrieve/btrapi.h). */
enum { DDF_NAMED_INDEX = 255 };

#pragma pack(push, 1)
/* FILE.DDF record, 97 bytes. Names are padded with spaces and carry no terminator. */
typedef struct DdfFileRecord {
  uint16_t id;          /* Xf$Id: table ID, unique */
  char name[20];        /* Xf$Name */
  char location[64];    /* Xf$Loc: data file, relative to the dictionary or with a drive */
  uint8_t flags;        /* Xf$Flags: 16 marks the dictionary's own tables */
  uint8_t reserved[10]; /* Xf$Reserved: zero */
} DdfFileRecord;

/* FIELD.DDF record, 32 bytes. */
typedef struct DdfFieldRecord {
  uint16_t id;       /* Xe$Id: field ID, unique in the dictionary */
  uint16_t file_id;  /* Xe$File: Xf$Id of the table */
  char name[20];     /* Xe$Name: field name, or the name of a named index */
  uint8_t data_type; /* Xe$DataType: 0..15, 255 for a named index */
  uint16_t offset;   /* Xe$Offset: byte offset, or the key number of a named index */
  uint16_t size;     /* Xe$Size */
  uint8_t decimals;  /* Xe$Dec */
  uint16_t flags;    /* Xe$Flags */
} DdfFieldRecord;

/* INDEX.DDF record, 10 bytes. */
typedef struct DdfIndexRecord {
  uint16_t file_id;  /* Xi$File */
  uint16_t field_id; /* Xi$Field */
  uint16_t number;   /* Xi$Number: key number */
  uint16_t part;     /* Xi$Part: segment number within the key */
  uint16_t flags;    /* Xi$Flags: key flags */
} DdfIndexRecord;
#pragma pack(pop)

#ifdef __cplusplus
static_assert(sizeof(DdfFileRecord) == 97, "FILE.DDF record is 97 bytes");
static_assert(sizeof(DdfFieldRecord) == 32, "FIELD.DDF record is 32 bytes");
static_assert(sizeof(DdfIndexRecord) == 10, "INDEX.DDF record is 10 bytes");
#else
_Static_assert(sizeof(DdfFileRecord) == 97, "FILE.DDF record is 97 bytes");
_Static_assert(sizeof(DdfFieldRecord) == 32, "FIELD.DDF record is 32 bytes");
_Static_assert(sizeof(DdfIndexRecord) == 10, "INDEX.DDF record is 10 bytes");
#endif

/* Opens the three files of `directory`; with a non-zero `create` they are first replaced by
 * a new dictionary holding only the dictionary's own records. The owner name comes from
 * zelko.ini [zelko32] owner; a name of 8 or more characters ends the process with
 * "dictio: owner name too long". A missing INDEX.DDF is allowed. On failure every file this
 * call opened is closed again and the status is returned; the caller does not call
 * DDFClose. */
DICTIO_EXPORT int DDFOpen(const char *directory, int create);

/* Closes the three files; the bitwise OR of the three statuses (status 3 of INDEX.DDF,
 * not open, counts as 0). */
DICTIO_EXPORT int DDFClose(void);

/* The next record of the pass, into a caller buffer of at least 97, 32 or 10 bytes. */
DICTIO_EXPORT int DDFReadFile(DdfFileRecord *record);
DICTIO_EXPORT int DDFReadField(DdfFieldRecord *record);
DICTIO_EXPORT int DDFReadIndex(DdfIndexRecord *record);

/* Insert one record. The write functions for tables and fields first fill the name field
 * with spaces from its first NUL to its end (the caller's buffer changes). A writer inserts
 * each table, then its fields, then its named indexes, then its segments key by key and
 * part by part (readers rely on that order). */
DICTIO_EXPORT int DDFWriteFile(DdfFileRecord *record);
DICTIO_EXPORT int DDFWriteField(DdfFieldRecord *record);
DICTIO_EXPORT int DDFWriteIndex(DdfIndexRecord *record);

#ifdef __cplusplus
}
#endif

#endif /* DICTIO_DICTIO_H */
