#include "table_catalog.h"

#include <cstring>
#include <new>
#include <unordered_map>

#include "dictio/dictio.h"
#include "messages.h"
#include "module.h"
#include "zplatform/codepage.h"
#include "zplatform/paths.h"

namespace zelko {
namespace {

constexpr int kEndOfFile = 9;

std::string TrimmedName(const char *field, size_t width) {
  size_t n = width;
  while (n > 0 && (field[n - 1] == ' ' || field[n - 1] == '\0'))
    --n;
  return std::string(field, n);
}

// A field record whose name has "$" as its third character is one of the dictionary's own.
bool IsSystemField(const DdfFieldRecord &r) {
  return r.name[2] == '$';
}

FieldDescriptor FromRecord(const DdfFieldRecord &r) {
  FieldDescriptor f;
  f.name = TrimmedName(r.name, sizeof r.name);
  f.data_type = r.data_type;
  f.size = r.size;
  f.offset = r.offset;
  f.table_id = r.file_id;
  f.field_id = r.id;
  f.decimals = r.decimals;
  return f;
}

SegmentDescriptor SegmentFor(const TableDescriptor &table, const DdfIndexRecord &r) {
  SegmentDescriptor s;
  for (const FieldDescriptor &f : table.fields) {
    if (f.field_id == r.field_id) {
      s.offset = f.offset;
      s.length = f.size;
      s.data_type = f.data_type;
      break;
    }
  }
  s.key_flags = r.flags & ~kSegmentFlagCollating;
  s.table_id = r.file_id;
  s.field_id = r.field_id;
  s.part = r.part;
  return s;
}

void ComputeRecordLength(TableDescriptor &t) {
  int32_t n = 0;
  for (const FieldDescriptor &f : t.fields)
    n += f.size;
  t.record_length = n;
}

// Shows VE812 when the dictionary does not close cleanly.
bool CloseDictionary() {
  int status = DDFClose();
  if (status != 0) {
    ShowMessage(msg::kVE812, status);
    return false;
  }
  return true;
}

int ReadTables(TableCatalog &catalog) {
  DdfFileRecord r;
  int status;
  while ((status = DDFReadFile(&r)) == 0) {
    if (r.flags == 16) continue;  // one of the dictionary's own tables
    TableDescriptor t;
    t.name = TrimmedName(r.name, sizeof r.name);
    t.location = TrimmedName(r.location, sizeof r.location);
    t.table_id = r.id;
    catalog.tables.push_back(std::move(t));
  }
  if (status != kEndOfFile) {
    ShowMessage(msg::kVE029, status);
    return -1;
  }
  return 0;
}

int ReadAllFields(TableCatalog &catalog, const std::unordered_map<int, size_t> &by_id) {
  DdfFieldRecord r;
  int status;
  while ((status = DDFReadField(&r)) == 0) {
    if (IsSystemField(r)) continue;
    auto it = by_id.find(r.file_id);
    if (it == by_id.end()) continue;  // a field of no table is dropped
    TableDescriptor &t = catalog.tables[it->second];
    (r.data_type == kNamedIndexType ? t.named_indexes : t.fields).push_back(FromRecord(r));
  }
  if (status != kEndOfFile) {
    ShowMessage(msg::kVE030);
    return -1;
  }
  return 0;
}

int ReadAllSegments(TableCatalog &catalog, const std::unordered_map<int, size_t> &by_id) {
  DdfIndexRecord r;
  int status;
  while ((status = DDFReadIndex(&r)) == 0) {
    if (r.file_id <= 3) continue;
    auto it = by_id.find(r.file_id);
    if (it == by_id.end()) continue;
    TableDescriptor &t = catalog.tables[it->second];
    t.segments.push_back(SegmentFor(t, r));
  }
  if (status != kEndOfFile) {
    ShowMessage(msg::kVE031, status);
    return -1;
  }
  return 0;
}

}  // namespace

int LoadCatalog(const std::string &directory, std::unique_ptr<TableCatalog> *out) {
  return LoadCatalog(directory, Module::Get().Settings().delayed_resolve != 0, out);
}

int LoadCatalog(const std::string &directory, bool lazy, std::unique_ptr<TableCatalog> *out) {
  int status = DDFOpen(directory.c_str(), 0);
  if (status != 0) {
    ShowMessage(msg::kVE028, status);
    return -1;
  }
  try {
    auto catalog = std::make_unique<TableCatalog>();
    catalog->directory = directory;
    catalog->lazy = lazy;
    if (ReadTables(*catalog) != 0) {
      DDFClose();
      return -1;
    }
    if (!lazy) {
      std::unordered_map<int, size_t> by_id;
      for (size_t i = 0; i < catalog->tables.size(); ++i)
        by_id.emplace(catalog->tables[i].table_id, i);
      if (ReadAllFields(*catalog, by_id) != 0 || ReadAllSegments(*catalog, by_id) != 0) {
        DDFClose();
        return -1;
      }
    }
    if (!CloseDictionary()) return -1;
    for (TableDescriptor &t : catalog->tables)
      ComputeRecordLength(t);
    *out = std::move(catalog);
    return 0;
  } catch (const std::bad_alloc &) {
    ShowMessage(msg::kVE001, module_name::kZlkutil, __LINE__);
    DDFClose();
    return -1;
  }
}

int ResolveTable(const TableCatalog &catalog, TableDescriptor &table) {
  if (!table.fields.empty()) return 0;
  // Each catalog resolves from its own directory, so two lazily loaded dictionaries in one
  // process never read each other's files.
  int status = DDFOpen(catalog.directory.c_str(), 0);
  if (status != 0) {
    ShowMessage(msg::kVE028, status);
    return -1;
  }
  try {
    std::vector<FieldDescriptor> fields;
    DdfFieldRecord fr;
    bool stopped = false;
    while ((status = DDFReadField(&fr)) == 0) {
      if (IsSystemField(fr) || fr.file_id < table.table_id) continue;
      if (fr.file_id > table.table_id) {
        stopped = true;
        break;
      }
      if (fr.data_type != kNamedIndexType) fields.push_back(FromRecord(fr));
    }
    if (!stopped && status != kEndOfFile) {
      ShowMessage(msg::kVE030);
      DDFClose();
      return -1;
    }
    table.fields = std::move(fields);
    std::vector<SegmentDescriptor> segments;
    DdfIndexRecord ir;
    stopped = false;
    while ((status = DDFReadIndex(&ir)) == 0) {
      if (ir.file_id <= 3 || ir.file_id < table.table_id) continue;
      if (ir.file_id > table.table_id) {
        stopped = true;
        break;
      }
      segments.push_back(SegmentFor(table, ir));
    }
    if (!stopped && status != kEndOfFile) {
      ShowMessage(msg::kVE031, status);
      table.fields.clear();
      DDFClose();
      return -1;
    }
    table.segments = std::move(segments);
  } catch (const std::bad_alloc &) {
    ShowMessage(msg::kVE001, module_name::kZlkutil, __LINE__);
    DDFClose();
    return -1;
  }
  if (!CloseDictionary()) return -1;
  ComputeRecordLength(table);
  return 0;
}

std::unique_ptr<TableCatalog> CopyCatalog(const TableCatalog &catalog) {
  try {
    auto copy = std::make_unique<TableCatalog>(catalog);
    for (TableDescriptor &t : copy->tables) {
      t.open = false;
      t.position_block.fill(0);
      t.record_buffer.clear();
      t.record_buffer.shrink_to_fit();
    }
    return copy;
  } catch (const std::bad_alloc &) {
    ShowMessage(msg::kVE001, module_name::kZlkutil, __LINE__);
    return nullptr;
  }
}

int FindTableByName(const TableCatalog &catalog, const std::string &name) {
  for (size_t i = 0; i < catalog.tables.size(); ++i) {
    if (catalog.tables[i].name == name) return static_cast<int>(i);
  }
  return -1;
}

int FindFieldByName(const TableDescriptor &table, const std::string &name) {
  for (size_t i = 0; i < table.fields.size(); ++i) {
    if (table.fields[i].name == name) return static_cast<int>(i);
  }
  return -1;
}

int KeyNumberOfPosition(const TableDescriptor &table, int position) {
  int keys = 0;
  for (int p = 0; p < position && p < table.SegmentCount(); ++p) {
    if ((table.segments[p].key_flags & kSegmentFlagFollows) == 0) ++keys;
  }
  return keys;
}

int PositionOfKeyNumber(const TableDescriptor &table, int key_number) {
  int keys = 0;
  for (int p = 0; p < table.SegmentCount(); ++p) {
    if (keys == key_number) return p;
    if ((table.segments[p].key_flags & kSegmentFlagFollows) == 0) ++keys;
  }
  return 0;
}

int KeyOfDbIndex(const TableDescriptor &table, const std::string &db_index) {
  int position = FindIndexByName(table, zplatform::FromUtf8(db_index));
  return position < 0 ? 0 : position;
}

int FindIndexByName(const TableDescriptor &table, const std::string &name) {
  if (name.empty()) return -1;
  for (const FieldDescriptor &n : table.named_indexes) {
    if (n.name == name) return PositionOfKeyNumber(table, n.offset);
  }
  bool starts_key = true;
  for (int p = 0; p < table.SegmentCount(); ++p) {
    const SegmentDescriptor &s = table.segments[p];
    if (starts_key) {
      for (const FieldDescriptor &f : table.fields) {
        if (f.field_id == s.field_id) {
          if (f.name == name) return p;
          break;
        }
      }
    }
    starts_key = (s.key_flags & kSegmentFlagFollows) == 0;
  }
  return -1;
}

bool BuildKeyValue(const TableDescriptor &table, int position, KeyValue *key) {
  if (position == -1) {
    key->bytes.assign(1, 0);
    key->length = 0;
    key->key_number = -1;
    return true;
  }
  if (position < -1 || position >= table.SegmentCount()) {
    ShowMessage(msg::kVE804);
    return false;
  }
  key->bytes.clear();
  const std::vector<uint8_t> &record = table.record_buffer;
  for (int p = position; p < table.SegmentCount(); ++p) {
    const SegmentDescriptor &s = table.segments[p];
    for (int i = 0; i < s.length; ++i) {
      size_t at = static_cast<size_t>(s.offset) + i;
      key->bytes.push_back(s.offset >= 0 && at < record.size() ? record[at] : 0);
    }
    if ((s.key_flags & kSegmentFlagFollows) == 0) break;
  }
  size_t length = key->bytes.size();
  key->length = static_cast<uint8_t>(length > 255 ? 255 : length);
  key->bytes.push_back(0);
  key->key_number = static_cast<int8_t>(KeyNumberOfPosition(table, position));
  return true;
}

std::string ResolveDataFilePath(const TableDescriptor &table, const std::string &directory) {
  const std::string &loc = table.location;
  bool has_drive = loc.size() >= 2 && loc[1] == ':';
  bool has_network_prefix = loc.size() >= 2 && loc[0] == '\\' && loc[1] == '\\';
  if (has_drive || has_network_prefix || (!loc.empty() && loc[0] == '/')) return loc;
  std::string dir = zplatform::ShortPathName(directory).value_or(directory);
  std::string path = dir + "/" + loc;
  if (loc.find('.') == std::string::npos) path += ".btr";
  return path;
}

}  // namespace zelko
