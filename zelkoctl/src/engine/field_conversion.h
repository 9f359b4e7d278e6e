// Field values in and out of a record: every field crosses the engine boundary as a text in
// the ANSI code page, converted by the field's data type, size and decimals.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "btrieve/btrapi.h"
#include "settings.h"
#include "table_catalog.h"

namespace zelko {

// The data type codes, under the engine's short names (the record manager's codes).
enum FieldType {
  kString = B_TYPE_STRING,
  kInteger = B_TYPE_INTEGER,
  kFloat = B_TYPE_FLOAT,
  kDate = B_TYPE_DATE,
  kTime = B_TYPE_TIME,
  kDecimal = B_TYPE_DECIMAL,
  kMoney = B_TYPE_MONEY,
  kLogical = B_TYPE_LOGICAL,
  kNumeric = B_TYPE_NUMERIC,
  kBFloat = B_TYPE_BFLOAT,
  kLString = B_TYPE_LSTRING,
  kZString = B_TYPE_ZSTRING,
  kNote = B_TYPE_NOTE,
  kLVar = B_TYPE_LVAR,
  kUBin = B_TYPE_UNSIGNED_BINARY,
  kAutoInc = B_TYPE_AUTOINCREMENT,
};

constexpr size_t kTextResultLength = 4096;

// Bytes the field occupies in the record image: the declared size, 4 for Date and Time, 1
// for Logical, the text's length + 1 for Note and LVar. VE011 and 0 for an unsupported code.
int FieldStorageSize(int type, int declared_size, const std::string &text);

// The text of a field's bytes (`size` bytes at `bytes`, the field's declared size).
std::string FieldToText(const ConversionSettings &settings, const FieldDescriptor &field,
                        const uint8_t *bytes);

// FieldToText, but a text TextToField turns back into the same bytes: never cut (a Note or
// LVar past 4,096 bytes), and a Float whose value needs more than the rule's digits gets the
// fewest that bring it back, in fixed notation (0.30000000000000004).
std::string FieldToExactText(const ConversionSettings &settings, const FieldDescriptor &field,
                             const uint8_t *bytes);

// Writes the text into the field's bytes (`capacity` bytes available at `bytes`; nothing is
// written past them).
void TextToField(const ConversionSettings &settings, const FieldDescriptor &field,
                 const std::string &text, uint8_t *bytes, size_t capacity);

// The float text rule with `digits` significant digits.
std::string FloatText(double value, int digits);

// Reads a field of the table's record buffer by name or by 0-based number (the position is
// the walk of storage sizes over the fields before it). The text is cut to 4,096 bytes; an
// unknown field gives the empty text.
std::string ReadFieldByName(const TableDescriptor &table, const std::string &name);
std::string ReadFieldByNumber(const TableDescriptor &table, int number);
// Every field as ReadFieldByNumber gives it, in field order (the positions walked once).
void ReadAllFields(const TableDescriptor &table, std::vector<std::string> *texts);
// The same with every text as FieldToExactText gives it: for tools that move records out
// and back (zelko dump, bindings), where a cut or rounded text would be written back so.
void ReadAllFieldsWhole(const TableDescriptor &table, std::vector<std::string> *texts);

// Writes a field; 0, or -5 for an unknown field (nothing changes).
int WriteFieldByName(TableDescriptor &table, const std::string &name, const std::string &text);
int WriteFieldByNumber(TableDescriptor &table, int number, const std::string &text);
// WriteFieldByNumber with the field's position (FieldPosition) given, for a caller that
// writes the same fields into many records.
int WriteFieldAt(TableDescriptor &table, int number, size_t at, const std::string &text);

// Byte position of field `number` in the record image.
int FieldPosition(const TableDescriptor &table, int number);

// Sets the record buffer to zero, then every field at its dictionary offset to the empty
// value of its type.
void ClearRecordBuffer(TableDescriptor &table);

// The data length of a record whose last field is Note or LVar: the storage sizes of all
// fields, the last one counted as its text's length + 1. -1 when the last field is of
// neither type.
int VariableRecordLength(const TableDescriptor &table);

// Rewrite a date or time typed into a window into the canonical text (at most 15
// characters are read; an empty text stays empty). Out-of-range parts beep and are replaced.
std::string NormalizeDateText(const ConversionSettings &settings, const std::string &text);
std::string NormalizeTimeText(const std::string &text);

}  // namespace zelko
