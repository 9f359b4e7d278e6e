// The in-memory catalog of one dictionary: its tables with their fields, key segments and
// named indexes, and for each table the state of its data file (position block, open flag,
// record buffer). Texts are code-page bytes.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "btrieve/btrapi.h"
#include "dictio/dictio.h"

namespace zelko {

constexpr int kNamedIndexType = DDF_NAMED_INDEX;
constexpr int kSegmentFlagFollows = B_KEY_SEGMENTED;
constexpr int kSegmentFlagCollating = B_KEY_ALT_COLLATING;

struct FieldDescriptor {
  std::string name;  // trailing spaces removed
  int32_t data_type = 0;
  int32_t size = 0;
  int32_t offset = 0;  // for a named index: the key number
  int32_t table_id = 0;
  int32_t field_id = 0;
  int32_t decimals = 0;
};

struct SegmentDescriptor {
  int32_t offset = 0;  // offset, length and type of the field it is made of
  int32_t length = 0;
  int32_t data_type = 0;
  int32_t key_flags = 0;  // flag 32 cleared
  int32_t table_id = 0;
  int32_t field_id = 0;
  int32_t part = 0;
};

struct TableDescriptor {
  std::string name;
  std::string location;
  std::array<uint8_t, 128> position_block{};
  bool open = false;
  std::vector<FieldDescriptor> fields;
  std::vector<SegmentDescriptor> segments;
  std::vector<FieldDescriptor> named_indexes;
  int32_t record_length = 0;
  int32_t table_id = 0;                // Xf$Id
  std::vector<uint8_t> record_buffer;  // record length + 1 bytes while open

  int FieldCount() const { return static_cast<int>(fields.size()); }
  int SegmentCount() const { return static_cast<int>(segments.size()); }
};

struct TableCatalog {
  std::string directory;
  bool lazy = false;  // loaded without fields and segments; tables resolve on first use
  std::vector<TableDescriptor> tables;

  int TableCount() const { return static_cast<int>(tables.size()); }
};

// Loads the catalog of `directory`, fully or lazily as delayed_resolve says. Returns 0, or -1
// after showing VE028, VE029, VE030, VE031, VE812 or VE001.
int LoadCatalog(const std::string &directory, std::unique_ptr<TableCatalog> *out);
int LoadCatalog(const std::string &directory, bool lazy, std::unique_ptr<TableCatalog> *out);

// Reads a lazily loaded table's fields and segments (no named indexes) when its field list
// is still empty. 0, or -1 after its message.
int ResolveTable(const TableCatalog &catalog, TableDescriptor &table);

// A copy for another data source of the same dictionary: own lists, every table closed.
std::unique_ptr<TableCatalog> CopyCatalog(const TableCatalog &catalog);

// Lookups; -1 when there is none. Names compare exactly, with case; the first match wins.
int FindTableByName(const TableCatalog &catalog, const std::string &name);
int FindFieldByName(const TableDescriptor &table, const std::string &name);

// Index designation: the position of a key's first segment in the segment list; -1 none.
int FindIndexByName(const TableDescriptor &table, const std::string &name);
// A control's DbIndex (UTF-8: a named index, or the field that starts a key) as the position
// of its key; the first key when it names none.
int KeyOfDbIndex(const TableDescriptor &table, const std::string &db_index);
int KeyNumberOfPosition(const TableDescriptor &table, int position);
int PositionOfKeyNumber(const TableDescriptor &table, int key_number);

// The key value cut from the record buffer for the index at `position`.
struct KeyValue {
  std::vector<uint8_t> bytes;  // key length + 1 bytes, the last one 0
  uint8_t length = 0;
  int8_t key_number = -1;
};
// For -1 a one-byte empty key with key number 255 (-1). For a position at or beyond the
// segment count VE804 and false.
bool BuildKeyValue(const TableDescriptor &table, int position, KeyValue *key);

// The full path of the table's data file for the dictionary directory.
std::string ResolveDataFilePath(const TableDescriptor &table, const std::string &directory);

}  // namespace zelko
