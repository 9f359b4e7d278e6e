// Table access: opening, creating and closing a table's data file and every Btrieve
// operation on its record buffer, with keys cut from that buffer. Results are 0, a Btrieve
// status, or a negative code of the module (-1 memory or key, -6 key not built, -10 lock
// bias, -16 directory not found).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "table_catalog.h"

namespace zelko {

// Open modes (_enumOpenMode) and the key number Btrieve's Open receives.
int OpenModeKeyNumber(int open_mode);
// Lock values (_enumLocks) and the bias they add.
int LockBiasOf(int locks);

// The button operations (_enumDbOperation): the Btrieve operation and how it takes a key.
struct ButtonOperation {
  int btrieve_op = -1;  // -1: not an operation
  enum KeyUse { kKeyNumber, kNoKey, kNoCurrencyChange } key_use = kKeyNumber;
};
ButtonOperation ButtonOperationFor(int db_operation);

int16_t EngineOpen(const TableCatalog &catalog, TableDescriptor &table,
                   const std::string &directory, const std::string &owner, int open_mode);
int16_t EngineClose(TableDescriptor &table);
// The Create buffer of a table's data file: file specification and one entry per segment.
std::vector<uint8_t> CreateSpecification(const TableDescriptor &table);
int16_t EngineCreate(const TableCatalog &catalog, TableDescriptor &table, const std::string &path,
                     bool replace = true);
// The table's data file when there is none yet: a file already there (made meanwhile by
// another process too) is kept and 0 answered.
inline int16_t EngineCreateMissing(const TableCatalog &catalog, TableDescriptor &table,
                                   const std::string &path) {
  return EngineCreate(catalog, table, path, false);
}

// The general call: operation (LockBias added) with the key of index position `index`.
int16_t EngineAccess(TableDescriptor &table, int operation, int index);
int16_t EngineGetDirect(TableDescriptor &table, int32_t position, int index);
// The current record's position, or -1.
int32_t EngineGetPosition(TableDescriptor &table);
int16_t EngineUnlock(TableDescriptor &table, int type);
int16_t EngineGetByPercentage(TableDescriptor &table, int index, int16_t percentage);
int16_t EngineFindPercentage(TableDescriptor &table, int index, int32_t position,
                             int16_t *percentage);
int16_t EngineRecordCount(TableDescriptor &table, int32_t *count);
int16_t EngineReset();
int16_t EngineVersion(uint8_t version[5]);

int16_t EngineBeginTransaction(int bias);
int16_t EngineBeginConcurrentTransaction(int bias);
int16_t EngineEndTransaction();
int16_t EngineAbortTransaction();
int16_t DbSetLockBias(int bias);

// Puts a table back on the record it stood on (or its record buffer back as it was) when it
// goes out of scope: filling a list or a grid never moves the table's current record.
class KeptPosition {
 public:
  KeptPosition(TableDescriptor &table, int index);
  ~KeptPosition();
  KeptPosition(const KeptPosition &) = delete;
  KeptPosition &operator=(const KeptPosition &) = delete;

 private:
  TableDescriptor &table_;
  int index_;
  int32_t position_;
  std::vector<uint8_t> record_;
};

// Closes every open table of the catalog, showing VE813 for each close that fails.
void CloseAllTables(TableCatalog &catalog);

}  // namespace zelko
