#include "dictionary_builder.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "dictio/dictio.h"

namespace dictio {
namespace {

void SetName(char *field, size_t width, const std::string &text) {
  std::memset(field, ' ', width);
  std::memcpy(field, text.data(), std::min(width, text.size()));
}

int WriteTable(const TableSpec &t, int *field_id) {
  DdfFileRecord fr;
  std::memset(&fr, 0, sizeof fr);
  fr.id = static_cast<uint16_t>(t.id);
  SetName(fr.name, sizeof fr.name, t.name);
  SetName(fr.location, sizeof fr.location, t.location);
  if (int rc = DDFWriteFile(&fr)) return rc;
  std::vector<std::pair<std::string, int>> ids;
  int offset = 0;
  for (const FieldSpec &f : t.fields) {
    DdfFieldRecord r;
    std::memset(&r, 0, sizeof r);
    r.id = static_cast<uint16_t>(*field_id);
    r.file_id = static_cast<uint16_t>(t.id);
    SetName(r.name, sizeof r.name, f.name);
    r.data_type = static_cast<uint8_t>(f.type);
    r.offset = static_cast<uint16_t>(offset);
    r.size = static_cast<uint16_t>(f.size);
    r.decimals = static_cast<uint8_t>(f.decimals);
    ids.emplace_back(f.name, (*field_id)++);
    offset += f.size;
    if (int rc = DDFWriteField(&r)) return rc;
  }
  for (const NamedIndexSpec &n : t.named_indexes) {
    DdfFieldRecord r;
    std::memset(&r, 0, sizeof r);
    r.id = static_cast<uint16_t>((*field_id)++);
    r.file_id = static_cast<uint16_t>(t.id);
    SetName(r.name, sizeof r.name, n.name);
    r.data_type = 255;
    r.offset = static_cast<uint16_t>(n.key_number);
    if (int rc = DDFWriteField(&r)) return rc;
  }
  for (const SegmentSpec &s : t.segments) {
    int id = 0;
    for (const auto &[name, fid] : ids) {
      if (name == s.field) id = fid;
    }
    DdfIndexRecord r{static_cast<uint16_t>(t.id), static_cast<uint16_t>(id),
                     static_cast<uint16_t>(s.key_number), static_cast<uint16_t>(s.part),
                     static_cast<uint16_t>(s.flags)};
    if (int rc = DDFWriteIndex(&r)) return rc;
  }
  return 0;
}

}  // namespace

int BuildDictionary(const std::string &directory, const std::vector<TableSpec> &tables,
                    int first_field_id) {
  int status = DDFOpen(directory.c_str(), 1);
  if (status != 0) return status;
  int field_id = first_field_id;
  for (const TableSpec &t : tables) {
    status = WriteTable(t, &field_id);
    if (status != 0) break;
  }
  int close = DDFClose();
  return status != 0 ? status : close;
}

}  // namespace dictio
