#include "editing.h"

#include <algorithm>

#include "btrieve/btrapi.h"
#include "btrieve_files.h"
#include "editor_messages.h"

namespace dictedit {

namespace {

bool Refuse(DdfDictionary &dict, const char *text_utf8) {
  ShowText(dict.Ui(), false, text_utf8);
  return false;
}

void MarkModified(DdfDictionary &dict, DdfTable &table) {
  dict.current_file_id = table.file_id;
  dict.SetModified(1);
}

bool CoveredBySegment(const DdfTable &table, int field_id) {
  for (const auto &s : table.segments) {
    if (s->field_id == field_id) return true;
  }
  return false;
}

// Table texts and the clipboard carry a field or index name between commas on one line.
bool FitsFieldLine(const std::string &name) {
  return std::none_of(name.begin(), name.end(),
                      [](char c) { return c == ',' || static_cast<unsigned char>(c) < ' '; });
}

bool NameTaken(const DdfTable &table, const std::string &name, const DdfField *except) {
  for (const auto &f : table.fields) {
    if (f.get() != except && f->name == name) return true;
  }
  for (const auto &n : table.named_indexes) {
    if (n.get() != except && n->name == name) return true;
  }
  return false;
}

// Type chosen, size and decimals fitting, name given, not taken. The name comes back as stored.
bool CheckFieldInput(DdfDictionary &dict, const DdfTable &table, std::string *name, int type,
                     int size, int decimals, const DdfField *changing) {
  if (name->empty() || !FitsFieldLine(*name)) return Refuse(dict, msg::kVE1002);
  // A field of the named-index type would be read back as an index name.
  if (type < 0 || type > 15) return Refuse(dict, msg::kVE1023);
  if (!SizeFitsType(type, size, decimals)) return Refuse(dict, msg::kVE1003);
  if (dict.options.upper_field) *name = UpperCodePage(*name);
  *name = CutToWidth(BlanksToCarets(*name), kNameWidth);
  bool renamed = changing == nullptr || changing->name != *name;
  if (renamed && NameTaken(table, *name, changing)) return Refuse(dict, msg::kVE1006);
  return true;
}

}  // namespace

bool FitsTableRecord(const std::string &text) {
  // No byte below 0x21 is part of a double-byte character.
  return std::none_of(text.begin(), text.end(),
                      [](char c) { return static_cast<unsigned char>(c) <= ' '; });
}

bool SizeFitsType(int type, int s, int d) {
  // Beyond these the dictionary's record would keep another value than the one shown.
  if (s > kMaxFieldSize || d < 0 || d > 255) return false;
  switch (type) {
    case B_TYPE_STRING:
      return s >= 1 && s <= 255;
    case B_TYPE_INTEGER:
      return s == 1 || s == 2 || s == 4;
    case B_TYPE_FLOAT:
    case B_TYPE_BFLOAT:
      return s == 4 || s == 8;
    case B_TYPE_DATE:
    case B_TYPE_TIME:
      return s == 4;
    case B_TYPE_DECIMAL:
    case B_TYPE_MONEY:
      return s >= 1 && d <= 2 * s - 1;
    case B_TYPE_NUMERIC:
      return s >= 1 && d <= s;
    case B_TYPE_LOGICAL:
      return s == 1 || s == 2;
    case B_TYPE_LSTRING:
    case B_TYPE_ZSTRING:
      return s >= 2 && s <= 255;
    case B_TYPE_NOTE:
      return s >= 1 && s <= 32000;
    case B_TYPE_LVAR:
      return s >= 5;
    case B_TYPE_UNSIGNED_BINARY:
    case B_TYPE_AUTOINCREMENT:
      return s == 2 || s == 4;
    default:
      return true;
  }
}

DdfTable *AddTable(DdfDictionary &dict, const std::string &name_in, const std::string &file_in) {
  if (name_in.empty() || file_in.empty()) {
    ShowText(dict.Ui(), false, msg::kVE1001);
    return nullptr;
  }
  std::string name = CutToWidth(UpperCodePage(name_in), kNameWidth);
  std::string location = UpperCodePage(file_in);
  if (location.find('.') == std::string::npos && location.size() < 61) location += ".BTR";
  location = CutToWidth(location, kLocationWidth);
  // The table would come back with another name, or bound to another data file.
  if (!FitsTableRecord(name) || !FitsTableRecord(location)) {
    ShowText(dict.Ui(), false, msg::kVE1001);
    return nullptr;
  }
  if (dict.FindTableByName(name) != nullptr) {
    ShowText(dict.Ui(), false, msg::kVE1007);
    return nullptr;
  }
  auto table = std::make_unique<DdfTable>();
  table->file_id = dict.FirstFreeFileId();
  table->name = name;
  table->location = location;
  DdfTable *t = table.get();
  dict.tables.push_back(std::move(table));
  MarkModified(dict, *t);
  return t;
}

bool SetTableInfo(DdfDictionary &dict, DdfTable &table, const std::string &name_in,
                  const std::string &file_in) {
  if (name_in.empty() || file_in.empty()) return Refuse(dict, msg::kVE1001);
  std::string name = CutToWidth(UpperCodePage(name_in), kNameWidth);
  std::string location = CutToWidth(UpperCodePage(file_in), kLocationWidth);
  if (!FitsTableRecord(name) || !FitsTableRecord(location)) return Refuse(dict, msg::kVE1001);
  const DdfTable *same = dict.FindTableByName(name);
  if (same != nullptr && same != &table) return Refuse(dict, msg::kVE1007);
  table.name = name;
  table.location = location;
  MarkModified(dict, table);
  return true;
}

bool DeleteTable(DdfDictionary &dict, DdfTable &table) {
  auto it = std::find_if(dict.tables.begin(), dict.tables.end(),
                         [&](const auto &t) { return t.get() == &table; });
  if (it == dict.tables.end()) return false;
  if (dict.current_file_id == table.file_id) dict.current_file_id = -1;
  dict.tables.erase(it);
  dict.SetModified(1);
  return true;
}

bool AddField(DdfDictionary &dict, DdfTable &table, const std::string &name_in, int type, int size,
              int decimals, int before) {
  if (table.field_count() >= kMaxFields) return Refuse(dict, msg::kVE1004);
  std::string name = name_in;
  if (!CheckFieldInput(dict, table, &name, type, size, decimals, nullptr)) return false;
  bool appending = before < 0 || before >= table.field_count();
  if (appending && !table.fields.empty() && IsVariableType(table.fields.back()->data_type)) {
    return Refuse(dict, msg::kVE1053);
  }
  if (!appending && IsVariableType(type)) return Refuse(dict, msg::kVE1052);
  if (!IsVariableType(type) && table.RecordLength() + size > kMaxRecordLength)
    return Refuse(dict, msg::kVE1003);
  auto field = dict.NewField();
  field->file_id = table.file_id;
  field->name = name;
  field->data_type = static_cast<uint8_t>(type);
  field->size = size;
  field->decimals = static_cast<uint8_t>(decimals);
  int at = appending ? table.field_count() : before;
  int offset = 0;
  for (int i = 0; i < at; ++i)
    offset += table.fields[i]->size;
  field->offset = offset;
  int old_length = table.RecordLength();
  DdfField *added = field.get();
  table.fields.insert(table.fields.begin() + at, std::move(field));
  if (DataConversionApplies(dict, table)) {
    int status = ConvertDataFile(dict, table, *added, offset, old_length, kFieldAdded);
    if (status != 0 && status != 9) {
      table.fields.erase(table.fields.begin() + at);
      return false;
    }
  }
  MarkModified(dict, table);
  return true;
}

bool ChangeField(DdfDictionary &dict, DdfTable &table, int index, const std::string &name_in,
                 int type, int size, int decimals) {
  if (index < 0 || index >= table.field_count()) return Refuse(dict, msg::kVE1008);
  if (DataConversionApplies(dict, table)) return Refuse(dict, msg::kVE1074);
  DdfField &f = *table.fields[index];
  std::string name = name_in;
  if (!CheckFieldInput(dict, table, &name, type, size, decimals, &f)) return false;
  if (IsVariableType(type) && index + 1 != table.field_count()) {
    return Refuse(dict, msg::kVE1054);
  }
  int length = table.RecordLength() - (IsVariableType(f.data_type) ? 0 : f.size) +
               (IsVariableType(type) ? 0 : size);
  if (length > kMaxRecordLength) return Refuse(dict, msg::kVE1003);
  f.name = name;
  f.data_type = static_cast<uint8_t>(type);
  f.size = size;
  f.decimals = static_cast<uint8_t>(decimals);
  MarkModified(dict, table);
  return true;
}

bool DeleteField(DdfDictionary &dict, DdfTable &table, const std::string &name) {
  auto it = std::find_if(table.fields.begin(), table.fields.end(),
                         [&](const auto &f) { return f->name == name; });
  if (it == table.fields.end()) {
    bool named = std::any_of(table.named_indexes.begin(), table.named_indexes.end(),
                             [&](const auto &n) { return n->name == name; });
    return Refuse(dict, named ? msg::kVE1055 : msg::kVE1008);
  }
  if (CoveredBySegment(table, (*it)->field_id)) return Refuse(dict, msg::kVE1024);
  if (!ShowMessage(dict.Ui(), true, msg::kVE1010, name.c_str())) return false;
  int at = static_cast<int>(it - table.fields.begin());
  int offset = 0;
  for (int i = 0; i < at; ++i)
    offset += table.fields[i]->size;
  int old_length = table.RecordLength();
  std::unique_ptr<DdfField> removed = std::move(*it);
  table.fields.erase(it);
  if (DataConversionApplies(dict, table)) {
    int status = ConvertDataFile(dict, table, *removed, offset, old_length, kFieldDeleted);
    if (status != 0 && status != 9) {
      table.fields.insert(table.fields.begin() + at, std::move(removed));
      return false;
    }
  }
  MarkModified(dict, table);
  return true;
}

bool AddIndex(DdfDictionary &dict, DdfTable &table, const std::vector<SegmentSpec> &specs) {
  if (specs.empty()) return Refuse(dict, msg::kVE1008);
  if (table.segment_count() + static_cast<int>(specs.size()) > kMaxSegments) {
    return Refuse(dict, msg::kVE1012);
  }
  std::vector<std::unique_ptr<DdfIndexSegment>> made;
  for (size_t i = 0; i < specs.size(); ++i) {
    DdfField *f = table.FindField(specs[i].field);
    if (f == nullptr) return Refuse(dict, msg::kVE1008);
    auto s = dict.NewSegment();
    s->file_id = table.file_id;
    s->field_id = f->field_id;
    s->key_number = table.segment_count() + static_cast<int>(i);
    s->flags =
        (specs[i].flags & ~kFlagSegmented) | 0x100 | (i + 1 < specs.size() ? kFlagSegmented : 0);
    // Duplicates, modifiable and null are the key's: every segment carries the first one's,
    // as the record manager refuses a key whose segments differ in them (45).
    constexpr int kKeyWideFlags =
        B_KEY_DUPLICATES | B_KEY_MODIFIABLE | B_KEY_NULL_ALL | B_KEY_NULL_ANY;
    s->flags = (s->flags & ~kKeyWideFlags) | (specs[0].flags & kKeyWideFlags);
    made.push_back(std::move(s));
  }
  int first = table.segment_count();
  for (auto &s : made)
    table.segments.push_back(std::move(s));
  if (DataConversionApplies(dict, table) && AddKeyToDataFile(dict, table, first) != 0) {
    table.segments.resize(first);
    return false;
  }
  MarkModified(dict, table);
  return true;
}

bool DeleteIndex(DdfDictionary &dict, DdfTable &table, int key_number) {
  int first = FirstSegmentOfKey(table, key_number);
  if (first < 0) return Refuse(dict, msg::kVE1008);
  if (DataConversionApplies(dict, table) && DropKeyFromDataFile(dict, table, first) != 0)
    return false;
  int last = first;
  while (last < table.segment_count() && (table.segments[last]->flags & kFlagSegmented))
    ++last;
  table.segments.erase(table.segments.begin() + first,
                       table.segments.begin() + std::min(last + 1, table.segment_count()));
  // A name goes with its key; later keys move down by one.
  auto &names = table.named_indexes;
  names.erase(std::remove_if(names.begin(), names.end(),
                             [&](const auto &n) { return n->offset == key_number; }),
              names.end());
  for (auto &n : names) {
    if (n->offset > key_number) --n->offset;
  }
  MarkModified(dict, table);
  return true;
}

bool SetIndexName(DdfDictionary &dict, DdfTable &table, int segment, const std::string &name_in) {
  if (segment < 0 || segment >= table.segment_count()) return Refuse(dict, msg::kVE1008);
  if (segment > 0 && (table.segments[segment - 1]->flags & kFlagSegmented)) {
    return Refuse(dict, msg::kVE1064);
  }
  int key = KeyNumberOfSegment(table, segment);
  if (table.NameOfKey(key) != nullptr) return Refuse(dict, msg::kVE1064);
  std::string name = dict.options.upper_field ? UpperCodePage(name_in) : name_in;
  // Stored with its blanks, padded with blanks: trailing ones would not come back.
  name = CutToWidth(name, kNameWidth);
  name.erase(name.find_last_not_of(' ') + 1);
  name = BlanksToCarets(name);
  if (name.empty() || !FitsFieldLine(name)) return Refuse(dict, msg::kVE1002);
  if (NameTaken(table, name, nullptr)) return Refuse(dict, msg::kVE1006);
  auto n = dict.NewField();
  n->file_id = table.file_id;
  n->name = name;
  n->data_type = kNamedIndexType;
  n->offset = key;
  table.named_indexes.push_back(std::move(n));
  MarkModified(dict, table);
  return true;
}

namespace {

// Removes the name of key `key`; with `shift` the names of later keys move down by one (their
// key went one place down).
void DropKeyName(DdfTable &table, int key, bool shift) {
  auto &names = table.named_indexes;
  names.erase(
      std::remove_if(names.begin(), names.end(), [&](const auto &n) { return n->offset == key; }),
      names.end());
  if (!shift) return;
  for (auto &n : names) {
    if (n->offset > key) --n->offset;
  }
}

}  // namespace

bool AddSegment(DdfDictionary &dict, DdfTable &table, const std::string &field, int flags,
                int before, std::vector<SegmentSpec> *pending) {
  if (field.empty()) return Refuse(dict, msg::kVE1013);
  const DdfField *covered = table.FindField(field);
  if (covered == nullptr) return Refuse(dict, msg::kVE1008);
  bool appending = before < 0 || before >= table.segment_count();
  if (appending && pending != nullptr && DataConversionApplies(dict, table)) {
    if (table.segment_count() + static_cast<int>(pending->size()) + 1 > kMaxSegments)
      return Refuse(dict, msg::kVE1012);
    pending->push_back(SegmentSpec{field, flags & ~0x100});
    if ((flags & kFlagSegmented) != 0) return true;  // the key goes on
    std::vector<SegmentSpec> key = std::move(*pending);
    pending->clear();
    return AddIndex(dict, table, key);
  }
  if (table.segment_count() >= kMaxSegments) return Refuse(dict, msg::kVE1012);
  auto segment = dict.NewSegment();
  segment->file_id = table.file_id;
  segment->field_id = covered->field_id;
  segment->flags = flags | 0x100;
  int at = appending ? table.segment_count() : before;
  segment->key_number = at;
  table.segments.insert(table.segments.begin() + at, std::move(segment));
  MarkModified(dict, table);
  return true;
}

bool ChangeSegment(DdfDictionary &dict, DdfTable &table, int segment, const std::string &field,
                   int flags) {
  if (segment < 0 || segment >= table.segment_count()) return Refuse(dict, msg::kVE1014);
  if (field.empty()) return Refuse(dict, msg::kVE1013);
  const DdfField *covered = table.FindField(field);
  if (covered == nullptr) return Refuse(dict, msg::kVE1008);
  DdfIndexSegment &changed = *table.segments[static_cast<size_t>(segment)];
  changed.field_id = covered->field_id;
  changed.flags = flags | 0x100;
  MarkModified(dict, table);
  return true;
}

bool DeleteSegment(DdfDictionary &dict, DdfTable &table, int segment) {
  if (segment < 0 || segment >= table.segment_count()) return Refuse(dict, msg::kVE1016);
  const DdfIndexSegment &chosen = *table.segments[static_cast<size_t>(segment)];
  const DdfField *covered = table.FieldById(chosen.field_id);
  if (!ShowMessage(dict.Ui(), true, msg::kVE1015, covered != nullptr ? covered->name.c_str() : ""))
    return false;
  int key = KeyNumberOfSegment(table, segment);
  // The data file's key goes whole, so the dictionary's does too.
  if (DataConversionApplies(dict, table)) return DeleteIndex(dict, table, key);
  bool ends_key = (chosen.flags & kFlagSegmented) == 0;
  bool whole_key =
      ends_key && (segment == 0 ||
                   (table.segments[static_cast<size_t>(segment - 1)]->flags & kFlagSegmented) == 0);
  // A key's last segment going: the one before it ends the key now, or the key would run on
  // into the next one.
  if (ends_key && !whole_key)
    table.segments[static_cast<size_t>(segment - 1)]->flags &= ~kFlagSegmented;
  table.segments.erase(table.segments.begin() + segment);
  DropKeyName(table, key, whole_key);
  MarkModified(dict, table);
  return true;
}

bool DeleteIndexName(DdfDictionary &dict, DdfTable &table, int segment) {
  if (segment < 0 || segment >= table.segment_count()) return Refuse(dict, msg::kVE1064);
  int key = KeyNumberOfSegment(table, segment);
  auto named = std::find_if(table.named_indexes.begin(), table.named_indexes.end(),
                            [&](const auto &n) { return n->offset == key; });
  if (named == table.named_indexes.end()) return Refuse(dict, msg::kVE1064);
  if (!ShowMessage(dict.Ui(), true, msg::kVE1063, (*named)->name.c_str())) return false;
  table.named_indexes.erase(named);
  MarkModified(dict, table);
  return true;
}

}  // namespace dictedit
