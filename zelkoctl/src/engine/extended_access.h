// Extended access: a search condition and a field list as text become a Btrieve extended
// descriptor; the records read come back as a numbered result set (48 slots).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/table_catalog.h"

namespace zelko {

// One filter term as it goes into the descriptor.
struct ExTerm {
  uint8_t type = 0;
  uint16_t length = 0;
  uint16_t offset = 0;
  uint8_t comparison = 0;  // + 128 case-insensitive, + 64 another field
  uint8_t connector = 0;
  std::vector<uint8_t> value;  // stored form, or the other field's 2-byte offset
  int field = -1;              // the field compared
  std::string text;            // the value as written (empty when another field is compared)
  bool no_value = false;       // nothing, not even quotes, follows the operator
};
struct ExField {
  uint16_t length = 0;
  uint16_t offset = 0;
};

// Parsing (texts in the code page). False after the message that says why.
// `end`, when given, receives where the condition ended: text after it is ignored.
bool ParseSearchCondition(const TableDescriptor &table, const std::string &condition,
                          bool ignore_case, std::vector<ExTerm> *terms, size_t *end = nullptr);
// For callers whose users read the condition as they wrote it (zelko dump, bindings): true
// when it parses (else false after its message, as above), with `problem` empty when it
// means what it says, else the reason in English: a value its field would hold as another
// value (10**12 in a 4-byte Integer), or text after the last term that the parse ignores.
bool ParseSearchConditionExactly(const TableDescriptor &table, const std::string &condition,
                                 bool ignore_case, std::vector<ExTerm> *terms,
                                 std::string *problem);
// `numbers`, when given, receives the field number of each item, in list order.
bool ParseFieldList(const TableDescriptor &table, const std::string &list,
                    std::vector<ExField> *fields, std::vector<int> *numbers = nullptr);
std::vector<uint8_t> BuildDescriptor(const std::string &mode, int reject_count,
                                     const std::vector<ExTerm> &terms, int max_records,
                                     const std::vector<ExField> &fields);

// The extended read. Returns the Btrieve status (0, 9, 22, 60, 64 and 65 with a stored
// result) or -7, -8, -9, -6, -99; `result_id` and `count` are set when a result is stored.
int16_t ExAccess(int operation, TableDescriptor &table, const std::string &condition,
                 const std::string &field_list, int index, int reject_count, int max_records,
                 bool ignore_case, int16_t *result_id, int16_t *count);
// A field of a record of a result: by name (automation) or by field number (exports).
std::string ExGetFieldDataByName(int result_id, const std::string &field_name, int record);
std::string ExGetFieldDataById(int result_id, int field_id, int record);
// The texts of every listed field of a record of a result, in list order, each cut to 4,096
// bytes as a field's text is, or exact when `whole` (FieldToExactText); false when the result
// or the record is not there.
bool ExGetRecordTexts(int result_id, int record, std::vector<std::string> *texts,
                      bool whole = false);
int32_t ExGetPosition(int result_id, int record);
// 0, or -1 when the ID is not in use or out of range.
int ExFree(int result_id);
// Releases every result (module unload, tests).
void ExFreeAll();

}  // namespace zelko
