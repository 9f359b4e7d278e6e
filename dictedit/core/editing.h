// The edits of the dictionary with their rules. Each returns true when the edit was made
// (and marks the dictionary modified); otherwise it has shown why and changed nothing.
#pragma once

#include <string>
#include <vector>

#include "ddf_dictionary.h"

namespace dictedit {

// Size and decimals allowed for a type (VE1003 otherwise).
bool SizeFitsType(int type, int size, int decimals);

// Reading the dictionary ends a table name or location at its first blank, and a table text
// ends each at a line end: neither may hold a blank or a control character (VE1001).
bool FitsTableRecord(const std::string &text);

DdfTable *AddTable(DdfDictionary &dict, const std::string &name, const std::string &file_name);
bool DeleteTable(DdfDictionary &dict, DdfTable &table);
// The Btrieve file info dialog's OK: both upper-cased, with the table rules of AddTable.
bool SetTableInfo(DdfDictionary &dict, DdfTable &table, const std::string &name,
                  const std::string &file);

// Inserts before `before` (or appends with -1).
bool AddField(DdfDictionary &dict, DdfTable &table, const std::string &name, int type, int size,
              int decimals, int before = -1);
bool ChangeField(DdfDictionary &dict, DdfTable &table, int index, const std::string &name, int type,
                 int size, int decimals);
// Asks VE1010 first unless `confirmed`.
bool DeleteField(DdfDictionary &dict, DdfTable &table, const std::string &name);

struct SegmentSpec {
  std::string field;
  int flags = 0;  // duplicates 1, modifiable 2, null 8, descending 0x40; 0x100 and 0x10 are added
};
// Appends one key made of these segments.
bool AddIndex(DdfDictionary &dict, DdfTable &table, const std::vector<SegmentSpec> &segments);
// Deletes every segment of the key `key_number` (and its name).
bool DeleteIndex(DdfDictionary &dict, DdfTable &table, int key_number);
// One segment as the index dialog gives it: `flags` 0x100, 0x40 descending and the checked
// bits (1, 2, 8, 0x10 "more segments follow"). Appended, or put before `before`. While data
// conversion applies, segments that more follow wait in `pending` until the one that ends the
// key, which then adds the whole key to the data file.
bool AddSegment(DdfDictionary &dict, DdfTable &table, const std::string &field, int flags,
                int before, std::vector<SegmentSpec> *pending);
bool ChangeSegment(DdfDictionary &dict, DdfTable &table, int segment, const std::string &field,
                   int flags);
// Asks VE1015 first. Without data conversion only that segment goes (a key's last one hands
// the key's end to the one before it); with it, the key is dropped from the data file and all
// its segments go.
bool DeleteSegment(DdfDictionary &dict, DdfTable &table, int segment);
// Asks VE1063 first; removes the name of the key that starts at `segment`.
bool DeleteIndexName(DdfDictionary &dict, DdfTable &table, int segment);
// Names the key whose first segment is `segment`.
bool SetIndexName(DdfDictionary &dict, DdfTable &table, int segment, const std::string &name);

}  // namespace dictedit
