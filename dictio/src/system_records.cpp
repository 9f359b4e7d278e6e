#include "system_records.h"

#include <cstring>

#include "btrieve/btrapi.h"
#include "zplatform/ascii.h"

namespace dictio {
namespace {

struct SegmentDef {
  uint16_t position;  // from 1
  uint16_t length;
  uint16_t flags;
  uint8_t extended_type;
};

// File specification, one key specification per segment, then the "UPPER" collating table.
std::vector<uint8_t> CreationBuffer(uint16_t record_length, uint16_t page_size,
                                    const std::vector<SegmentDef> &segments) {
  BtrFileSpec file{};
  file.record_length = record_length;
  file.page_size = page_size;
  std::vector<BtrKeySpec> keys;
  for (const SegmentDef &s : segments) {
    BtrKeySpec k{};
    k.position = s.position;
    k.length = s.length;
    k.flags = s.flags;
    k.type = s.extended_type;
    keys.push_back(k);
  }
  BtrCollatingTable upper{};
  upper.signature = 0xAC;
  std::memcpy(upper.name, "UPPER", 5);
  for (int c = 0; c < 256; ++c)
    upper.map[c] = static_cast<uint8_t>(zplatform::ToUpperAscii(static_cast<char>(c)));
  return btrieve::CreateBuffer(file, keys, {upper});
}

void SetName(char *field, size_t width, const char *name) {
  std::memset(field, ' ', width);
  std::memcpy(field, name, std::strlen(name));
}

}  // namespace

std::vector<uint8_t> FileDdfCreationBuffer() {
  return CreationBuffer(97, 512, {{1, 2, 0x0104, 14}, {3, 20, 0x0502, 0}});
}

std::vector<uint8_t> FieldDdfCreationBuffer() {
  return CreationBuffer(32, 1024,
                        {{1, 2, 0x0104, 14},
                         {3, 2, 0x0105, 14},
                         {5, 20, 0x0503, 0},
                         {3, 2, 0x0116, 14},
                         {5, 20, 0x0502, 0},
                         {3, 2, 0x0117, 14},
                         {26, 2, 0x0117, 14},
                         {30, 1, 0x0107, 0}});
}

std::vector<uint8_t> IndexDdfCreationBuffer() {
  return CreationBuffer(10, 512,
                        {{1, 2, 0x0105, 14},
                         {3, 2, 0x0105, 14},
                         {1, 2, 0x0116, 14},
                         {5, 2, 0x0116, 14},
                         {7, 2, 0x0106, 14}});
}

std::vector<DdfFileRecord> SystemTableRecords() {
  struct {
    uint16_t id;
    const char *name, *location;
  } const rows[] = {
      {1, "X$File", "file.ddf"}, {2, "X$Field", "field.ddf"}, {3, "X$Index", "index.ddf"}};
  std::vector<DdfFileRecord> out;
  for (const auto &r : rows) {
    DdfFileRecord rec;
    std::memset(&rec, 0, sizeof rec);
    rec.id = r.id;
    SetName(rec.name, sizeof rec.name, r.name);
    SetName(rec.location, sizeof rec.location, r.location);
    rec.flags = 16;
    out.push_back(rec);
  }
  return out;
}

std::vector<DdfFieldRecord> SystemFieldRecords() {
  struct {
    uint16_t id, file;
    const char *name;
    uint8_t type;
    uint16_t offset, size;
  } const rows[] = {
      {1, 1, "Xf$Id", 14, 0, 2},        {2, 1, "Xf$Name", 0, 2, 20},
      {3, 1, "Xf$Loc", 0, 22, 64},      {4, 1, "Xf$Flags", 14, 86, 1},
      {5, 1, "Xf$Reserved", 0, 87, 10}, {6, 2, "Xe$Id", 14, 0, 2},
      {7, 2, "Xe$File", 14, 2, 2},      {8, 2, "Xe$Name", 0, 4, 20},
      {9, 2, "Xe$DataType", 14, 24, 1}, {10, 2, "Xe$Offset", 14, 25, 2},
      {11, 2, "Xe$Size", 14, 27, 2},    {12, 2, "Xe$Dec", 14, 29, 1},
      {13, 2, "Xe$Flags", 14, 30, 2},   {14, 3, "Xi$File", 14, 0, 2},
      {15, 3, "Xi$Field", 14, 2, 2},    {16, 3, "Xi$Number", 14, 4, 2},
      {17, 3, "Xi$Part", 14, 6, 2},     {18, 3, "Xi$Flags", 14, 8, 2},
  };
  std::vector<DdfFieldRecord> out;
  for (const auto &r : rows) {
    DdfFieldRecord rec;
    std::memset(&rec, 0, sizeof rec);
    rec.id = r.id;
    rec.file_id = r.file;
    SetName(rec.name, sizeof rec.name, r.name);
    rec.data_type = r.type;
    rec.offset = r.offset;
    rec.size = r.size;
    rec.decimals = 0;
    // The three name fields carry flag 1.
    rec.flags = (r.id == 2 || r.id == 8 || r.id == 3) ? 1 : 0;
    out.push_back(rec);
  }
  return out;
}

std::vector<DdfIndexRecord> SystemIndexRecords() {
  const uint16_t rows[][5] = {
      {1, 1, 0, 0, 0x100},  {1, 2, 1, 0, 0x122},  {2, 6, 0, 0, 0x100},  {2, 7, 1, 0, 0x101},
      {2, 8, 2, 0, 0x123},  {2, 7, 3, 0, 0x112},  {2, 8, 3, 1, 0x122},  {2, 7, 4, 0, 0x113},
      {2, 10, 4, 1, 0x113}, {2, 12, 4, 2, 0x103}, {3, 14, 0, 0, 0x101}, {3, 15, 1, 0, 0x101},
      {3, 14, 2, 0, 0x112}, {3, 16, 2, 1, 0x112}, {3, 17, 2, 2, 0x102},
  };
  std::vector<DdfIndexRecord> out;
  for (const auto &r : rows)
    out.push_back(DdfIndexRecord{r[0], r[1], r[2], r[3], r[4]});
  return out;
}

}  // namespace dictio
