#include "engine/extended_access.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>

#include "btrieve/btrapi.h"
#include "engine/field_conversion.h"
#include "engine/field_text_check.h"
#include "engine/messages.h"
#include "engine/module.h"
#include "zelkoctl/zelkoapi.h"
#include "zplatform/bytes.h"
#include "zplatform/codepage.h"

namespace zelko {
namespace {

constexpr size_t kMaxToken = 256;
constexpr size_t kMaxListItem = 20;

bool IsControl(char c) {
  return static_cast<unsigned char>(c) < 0x20;
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

void SkipSpaces(const std::string &s, size_t *at) {
  while (*at < s.size() && s[*at] == ' ')
    ++*at;
}

// A field reference after "@" or in a field list: a run of digits is a number, anything
// else a name up to a space, a control character or "," (double-byte characters whole).
// Returns the field number, or -1 after VE818 / VE025.
int ReadFieldReference(const TableDescriptor &table, const std::string &s, size_t *at,
                       size_t limit) {
  std::string token;
  bool number = *at < s.size() && IsDigit(s[*at]);
  while (*at < s.size() && token.size() < limit) {
    char c = s[*at];
    if (number) {
      if (!IsDigit(c)) break;
      token.push_back(c);
      ++*at;
      continue;
    }
    if (c == ' ' || c == ',' || IsControl(c)) break;
    if (zplatform::IsLeadByte(static_cast<unsigned char>(c)) && *at + 1 < s.size()) {
      token.append(s, *at, 2);
      *at += 2;
      continue;
    }
    token.push_back(c);
    ++*at;
  }
  if (number) {
    int n = std::atoi(token.c_str());
    if (n >= table.FieldCount()) {
      ShowMessage(msg::kVE025);
      return -1;
    }
    return n;
  }
  int f = FindFieldByName(table, token);
  if (f < 0) ShowMessage(msg::kVE818, token.c_str());
  return f;
}

std::vector<uint8_t> StoredValue(const FieldDescriptor &f, const std::string &text) {
  std::vector<uint8_t> value(std::max(f.size, 8) + 1, 0);
  TextToField(Module::Get().Settings(), f, text, value.data(), value.size());
  value.resize(f.size);
  return value;
}

bool AllowedOperation(int op) {
  int base = op % 100, bias = op / 100;
  return base >= B_GET_NEXT_EXTENDED && base <= B_STEP_PREVIOUS_EXT && bias >= 0 && bias <= 4;
}

const Module::ExResultSet *UsedSlot(int result_id) {
  if (result_id < 0 || result_id >= Module::kExResultSlots) return nullptr;
  const Module::ExResultSet &slot = Module::Get().ex_results[result_id];
  return slot.used ? &slot : nullptr;
}

// Start of record `record` in a result's data, or -1.
long RecordStart(const Module::ExResultSet &slot, int record) {
  const std::vector<uint8_t> &d = slot.data;
  if (d.size() < 2) return -1;
  int count = d[0] | d[1] << 8;
  if (record < 0 || record >= count) return -1;
  if (slot.starts_found_for != d.size()) {
    // Each record: its 2-byte length, the 4-byte position, its bytes. A record cut short by
    // the end of the buffer ends the walk, and those after it are not there either.
    slot.record_starts.clear();
    size_t at = 2;
    for (int i = 0; i < count && at + 6 <= d.size(); ++i) {
      slot.record_starts.push_back(at);
      at += 6 + (d[at] | d[at + 1] << 8);
    }
    slot.starts_found_for = d.size();
  }
  return static_cast<size_t>(record) < slot.record_starts.size()
             ? static_cast<long>(slot.record_starts[static_cast<size_t>(record)])
             : -1;
}

}  // namespace

bool ParseSearchCondition(const TableDescriptor &table, const std::string &c, bool ignore_case,
                          std::vector<ExTerm> *terms, size_t *end) {
  terms->clear();
  size_t at = 0;
  SkipSpaces(c, &at);
  if (end != nullptr) *end = at;
  if (at >= c.size()) return true;  // an empty condition: no terms
  for (;;) {
    SkipSpaces(c, &at);
    if (at >= c.size() || c[at] != '@') {
      ShowMessage(msg::kVE041);
      return false;
    }
    ++at;
    int f = ReadFieldReference(table, c, &at, kMaxToken);
    if (f < 0) return false;
    const FieldDescriptor &field = table.fields[f];
    if (field.data_type == kNote || field.data_type == kLVar) {
      ShowMessage(msg::kVE043);
      return false;
    }
    ExTerm term;
    term.field = f;
    term.type = static_cast<uint8_t>(field.data_type);
    term.length = static_cast<uint16_t>(field.size);
    term.offset = static_cast<uint16_t>(field.offset);
    SkipSpaces(c, &at);
    static const std::pair<const char *, uint8_t> kOperators[] = {{"<>", 4}, {">=", 5}, {"<=", 6},
                                                                  {"=", 1},  {">", 2},  {"<", 3}};
    bool found = false;
    for (const auto &[text, code] : kOperators) {
      size_t n = std::strlen(text);
      if (c.compare(at, n, text) == 0) {
        term.comparison = code;
        at += n;
        found = true;
        break;
      }
    }
    if (!found) {
      ShowMessage(msg::kVE042);
      return false;
    }
    bool text_type =
        field.data_type == kString || field.data_type == kLString || field.data_type == kZString;
    if (ignore_case && text_type) term.comparison += 128;
    SkipSpaces(c, &at);
    if (at < c.size() && c[at] == '@') {
      ++at;
      int other = ReadFieldReference(table, c, &at, kMaxToken);
      if (other < 0) return false;
      term.comparison += 64;
      int offset = table.fields[other].offset;
      term.value = {static_cast<uint8_t>(offset), static_cast<uint8_t>(offset >> 8)};
    } else {
      std::string token;
      char quote = at < c.size() ? c[at] : '\0';
      if (quote == '"' || quote == '\'' || quote == '/') {
        ++at;
        while (at < c.size() && c[at] != quote && !IsControl(c[at]) && token.size() < kMaxToken)
          token.push_back(c[at++]);
        if (at < c.size() && c[at] == quote) ++at;
      } else {
        if (quote == '&' || quote == '|') {
          ShowMessage(msg::kVE046, c.c_str());
          return false;
        }
        while (at < c.size() && c[at] != ' ' && !IsControl(c[at]) && token.size() < kMaxToken)
          token.push_back(c[at++]);
      }
      term.no_value = token.empty() && quote != '"' && quote != '\'' && quote != '/';
      term.value = StoredValue(field, token);
      term.text = std::move(token);
    }
    SkipSpaces(c, &at);
    if (at < c.size() && (c[at] == '&' || c[at] == '|')) {
      term.connector = c[at] == '&' ? 1 : 2;
      while (at < c.size() && c[at] != ' ')
        ++at;
      terms->push_back(std::move(term));
      continue;
    }
    term.connector = 0;  // the rest of the text is ignored
    terms->push_back(std::move(term));
    if (end != nullptr) *end = at;
    return true;
  }
}

bool ParseSearchConditionExactly(const TableDescriptor &table, const std::string &condition,
                                 bool ignore_case, std::vector<ExTerm> *terms,
                                 std::string *problem) {
  problem->clear();
  size_t end = 0;
  if (!ParseSearchCondition(table, condition, ignore_case, terms, &end)) return false;
  for (const ExTerm &term : *terms) {
    if (term.comparison & 64) continue;  // another field
    const FieldDescriptor &field = table.fields[term.field];
    // Read as the field's empty value; most likely a value left out.
    if (term.no_value) {
      *problem = table.name + "." + field.name +
                 ": no value follows the comparison (write \"\" for the empty value)";
      return true;
    }
    std::string why = FieldTextProblem(field, term.text);
    if (!why.empty()) {
      *problem = table.name + "." + field.name + ": " + why;
      return true;
    }
  }
  if (end < condition.size()) {
    *problem = "\"" + condition.substr(end) +
               "\" follows the last term and would be ignored (join terms with & or |)";
  }
  return true;
}

bool ParseFieldList(const TableDescriptor &table, const std::string &list,
                    std::vector<ExField> *fields, std::vector<int> *numbers) {
  fields->clear();
  if (numbers != nullptr) numbers->clear();
  if (list.empty()) {
    ShowMessage(msg::kVE040);
    return false;
  }
  size_t at = 0;
  for (;;) {
    int f = ReadFieldReference(table, list, &at, kMaxListItem);
    if (f < 0) return false;
    fields->push_back({static_cast<uint16_t>(table.fields[f].size),
                       static_cast<uint16_t>(table.fields[f].offset)});
    if (numbers != nullptr) numbers->push_back(f);
    if (at < list.size() && list[at] == ',') {
      ++at;
      continue;
    }
    return true;
  }
}

std::vector<uint8_t> BuildDescriptor(const std::string &mode, int reject_count,
                                     const std::vector<ExTerm> &terms, int max_records,
                                     const std::vector<ExField> &fields) {
  std::vector<uint8_t> d;
  zplatform::AppendU16(d, static_cast<uint16_t>(0));
  d.push_back(static_cast<uint8_t>(mode.size() > 0 ? mode[0] : 'U'));
  d.push_back(static_cast<uint8_t>(mode.size() > 1 ? mode[1] : 'C'));
  zplatform::AppendU16(d, static_cast<uint16_t>(reject_count));
  zplatform::AppendU16(d, static_cast<uint16_t>(static_cast<int>(terms.size())));
  for (const ExTerm &t : terms) {
    d.push_back(t.type);
    zplatform::AppendU16(d, static_cast<uint16_t>(t.length));
    zplatform::AppendU16(d, static_cast<uint16_t>(t.offset));
    d.push_back(t.comparison);
    d.push_back(t.connector);
    d.insert(d.end(), t.value.begin(), t.value.end());
  }
  zplatform::AppendU16(d, static_cast<uint16_t>(max_records));
  zplatform::AppendU16(d, static_cast<uint16_t>(static_cast<int>(fields.size())));
  for (const ExField &f : fields) {
    zplatform::AppendU16(d, static_cast<uint16_t>(f.length));
    zplatform::AppendU16(d, static_cast<uint16_t>(f.offset));
  }
  d[0] = static_cast<uint8_t>(d.size());
  d[1] = static_cast<uint8_t>(d.size() >> 8);
  return d;
}

int16_t ExAccess(int operation, TableDescriptor &table, const std::string &condition,
                 const std::string &field_list, int index, int reject_count, int max_records,
                 bool ignore_case, int16_t *result_id, int16_t *count) {
  if (!AllowedOperation(operation)) {
    ShowMessage(msg::kVE044, operation);
    return DB_EX_OPERATION_NOT_ALLOWED;
  }
  std::vector<ExTerm> terms;
  if (!ParseSearchCondition(table, condition, ignore_case, &terms)) return DB_BAD_CONDITION;
  std::vector<ExField> fields;
  if (!ParseFieldList(table, field_list, &fields)) return DB_BAD_FIELD_LIST;
  Module &module = Module::Get();
  // The descriptor carries the number asked for in 16 bits and callers get the count as a
  // signed 16-bit value: a larger request asks for the most that can be counted.
  max_records = std::clamp(max_records, 0, static_cast<int>(INT16_MAX));
  try {
    std::vector<uint8_t> descriptor =
        BuildDescriptor(module.ex_mode, reject_count, terms, max_records, fields);
    size_t extracted = 0;
    for (const ExField &f : fields)
      extracted += f.length;
    size_t length = std::max(descriptor.size(), (extracted + 6) * std::max(max_records, 0) + 2);
    std::vector<uint8_t> buffer(length, 0);
    std::copy(descriptor.begin(), descriptor.end(), buffer.begin());
    KeyValue key;
    if (!BuildKeyValue(table, index, &key)) return DB_INDEX_NOT_FOUND;
    uint32_t data_length = static_cast<uint32_t>(std::min<size_t>(buffer.size(), 0xFFFFFFFFu));
    int16_t status =
        BTRCALL(static_cast<uint16_t>(operation), table.position_block.data(), buffer.data(),
                &data_length, key.bytes.data(), key.length, key.key_number);
    static const int16_t kKept[] = {0, 9, 22, 60, 64, 65};
    if (std::find(std::begin(kKept), std::end(kKept), status) == std::end(kKept)) return status;
    for (int slot = 0; slot < Module::kExResultSlots; ++slot) {
      Module::ExResultSet &r = module.ex_results[slot];
      if (r.used) continue;
      buffer.resize(std::min<size_t>(buffer.size(), data_length));
      r.used = true;
      r.field_list = field_list;
      r.data = std::move(buffer);
      r.fields.name = table.name;
      r.fields.fields = table.fields;
      *result_id = static_cast<int16_t>(slot);
      *count = r.data.size() >= 2 ? static_cast<int16_t>(r.data[0] | r.data[1] << 8) : 0;
      return status;
    }
    return status;  // every slot in use: the result is not kept
  } catch (const std::bad_alloc &) {
    ShowMessage(msg::kVE001, module_name::kZlkDbEx, __LINE__);
    return DB_NO_MEMORY;
  }
}

namespace {

// Walks a result's field list through the data of one of its records: `visit(field, data)`
// with the field's number and the offset of its bytes, until it answers true or the list
// ends. False when the result or the record is not there or an item names no field.
template <typename Visit>
bool WalkListedFields(const Module::ExResultSet &slot, int record, Visit visit) {
  long at = RecordStart(slot, record);
  if (at < 0) return false;
  const TableDescriptor &table = slot.fields;
  size_t data = static_cast<size_t>(at) + 6;
  size_t pos = 0;
  const std::string &list = slot.field_list;
  while (true) {
    size_t start = pos;
    std::string item;
    while (pos < list.size() && list[pos] != ',' && list[pos] != ' ' && !IsControl(list[pos]) &&
           pos - start < kMaxListItem) {
      item.push_back(list[pos++]);
    }
    int f =
        !item.empty() && IsDigit(item[0]) ? std::atoi(item.c_str()) : FindFieldByName(table, item);
    if (f < 0 || f >= table.FieldCount()) return false;
    if (visit(f, data)) return true;
    data += table.fields[f].size;
    if (pos >= list.size() || list[pos] != ',') return true;
    ++pos;
  }
}

std::string ListedFieldText(const Module::ExResultSet &slot, int field_id, size_t data,
                            bool whole = false) {
  const FieldDescriptor &field = slot.fields.fields[field_id];
  std::vector<uint8_t> bytes(std::max(field.size, 8) + 1, 0);
  for (int i = 0; i < field.size && data + i < slot.data.size(); ++i)
    bytes[i] = slot.data[data + i];
  if (whole) return FieldToExactText(Module::Get().Settings(), field, bytes.data());
  std::string text = FieldToText(Module::Get().Settings(), field, bytes.data());
  if (text.size() > kTextResultLength) text.resize(kTextResultLength);
  return text;
}

}  // namespace

std::string ExGetFieldDataById(int result_id, int field_id, int record) {
  const Module::ExResultSet *slot = UsedSlot(result_id);
  if (slot == nullptr || field_id < 0 || field_id >= slot->fields.FieldCount()) return {};
  std::string text;
  WalkListedFields(*slot, record, [&](int f, size_t data) {
    if (f != field_id) return false;
    text = ListedFieldText(*slot, f, data);
    return true;
  });
  return text;
}

bool ExGetRecordTexts(int result_id, int record, std::vector<std::string> *texts, bool whole) {
  const Module::ExResultSet *slot = UsedSlot(result_id);
  if (slot == nullptr) return false;
  texts->clear();
  return WalkListedFields(*slot, record, [&](int f, size_t data) {
    texts->push_back(ListedFieldText(*slot, f, data, whole));
    return false;
  });
}

std::string ExGetFieldDataByName(int result_id, const std::string &field_name, int record) {
  const Module::ExResultSet *slot = UsedSlot(result_id);
  if (slot == nullptr) return std::string();
  int f = FindFieldByName(slot->fields, field_name);
  return f < 0 ? std::string() : ExGetFieldDataById(result_id, f, record);
}

int32_t ExGetPosition(int result_id, int record) {
  const Module::ExResultSet *slot = UsedSlot(result_id);
  if (slot == nullptr) return -1;
  long at = RecordStart(*slot, record);
  if (at < 0) return -1;
  int32_t pos;
  std::memcpy(&pos, slot->data.data() + at + 2, 4);
  return pos;
}

int ExFree(int result_id) {
  if (UsedSlot(result_id) == nullptr) return -1;
  Module::Get().ex_results[result_id] = Module::ExResultSet();
  return 0;
}

void ExFreeAll() {
  for (auto &slot : Module::Get().ex_results)
    slot = Module::ExResultSet();
}

}  // namespace zelko
