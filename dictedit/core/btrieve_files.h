// What the editor does to data files: create them from table definitions and, in data
// conversion mode, keep an existing file in step with field and key edits.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ddf_dictionary.h"

namespace dictedit {

// The Create specification: 16 bytes of file header, 16 per segment.
std::vector<uint8_t> BuildFileSpecification(const DdfTable &table, int null_key);
// The 16-byte segment entries of the key whose first segment is `first_segment`.
std::vector<uint8_t> BuildKeySegments(const DdfTable &table, int first_segment);
// Number of complete keys before segment `segment`.
int KeyNumberOfSegment(const DdfTable &table, int segment);
// The first segment of key `key` (keys counted as the editor's key column counts them); -1
// when the table has no such key.
int FirstSegmentOfKey(const DdfTable &table, int key);

// Normalises, asks which tables (all when `names` is given), creates each data file. 0 or -1.
int CreateBtrieveFiles(DdfDictionary &dict, const std::vector<std::string> *names = nullptr);
// Creates one table's data file (replacing one there). The status.
int16_t CreateDataFile(DdfDictionary &dict, DdfTable &table, const std::string &code_page_path);

bool DataConversionApplies(DdfDictionary &dict, const DdfTable &table);
// A conversion cut short leaves its data file missing, the backup whole and the converted
// records unfinished beside them: the backup's copy takes the data file's place again (the
// dictionary on disk still describes it). Local data files only.
void FinishInterruptedConversions(DdfDictionary &dict);
enum ConversionMode { kFieldAdded = 1, kFieldDeleted = 2 };
// Rebuilds the data file after `field` was added to (mode 1) or removed from (mode 2) the
// table (the table already shows the change; for mode 2 `field` is the removed field, at
// `field_offset`). Returns the final status (0 or 9 on success), -1 or -2 (cancelled).
int ConvertDataFile(DdfDictionary &dict, DdfTable &table, const DdfField &field, int field_offset,
                    int old_record_length, ConversionMode mode);
int AddKeyToDataFile(DdfDictionary &dict, DdfTable &table, int first_segment);
int DropKeyFromDataFile(DdfDictionary &dict, DdfTable &table, int segment);

}  // namespace dictedit
