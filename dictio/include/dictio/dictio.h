/*
 * dictio.h - dictionary I/O: the records of FILE.DDF, FIELD.DDF and INDEX.DDF.
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

#pragma pack(push, 1)
/* FILE.DDF record, 97 bytes. */
typedef struct DdfFileRecord {
  uint16_t id;
  char name[20];
  char location[64];
  uint8_t flags;
  uint8_t reserved[10];
} DdfFileRecord;

/* FIELD.DDF record, 32 bytes. */
typedef struct DdfFieldRecord {
  uint16_t id;
  uint16_t file_id;
  char name[20];
  uint8_t data_type;
  uint16_t offset;
  uint16_t size;
  uint8_t decimals;
  uint16_t flags;
} DdfFieldRecord;

/* INDEX.DDF record, 10 bytes. */
typedef struct DdfIndexRecord {
  uint16_t file_id;
  uint16_t field_id;
  uint16_t number;
  uint16_t part;
  uint16_t flags;
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

#ifdef __cplusplus
}
#endif

#endif /* DICTIO_DICTIO_H */
