#include "legacy_writer.h"

#include <cstdint>

namespace legacytest {

namespace {

void U16(std::string &page, size_t at, int value) {
  page[at] = static_cast<char>(value & 0xFF);
  page[at + 1] = static_cast<char>((value >> 8) & 0xFF);
}

void HiLo32(std::string &page, size_t at, uint32_t value) {
  U16(page, at, static_cast<int>(value >> 16));
  U16(page, at + 2, static_cast<int>(value & 0xFFFF));
}

}  // namespace

std::string WriteOldLayout(int page_size, int record_length,
                           const std::vector<std::vector<OldSegment>> &keys,
                           const std::vector<std::string> &records) {
  // Each key with duplicates owns a pair of record addresses after the record.
  int pairs = 0;
  for (const auto &key : keys)
    pairs += (key.front().flags & 1) != 0 ? 1 : 0;
  int physical = record_length + 8 * pairs;
  int per_page = (page_size - 6) / physical;
  int data_pages = (static_cast<int>(records.size()) + per_page - 1) / per_page;
  std::string fcr(static_cast<size_t>(page_size), '\0');
  U16(fcr, 4, 1);
  U16(fcr, 6, 0x0400);
  U16(fcr, 8, page_size);
  HiLo32(fcr, 0x10, 0xFFFFFFFF);
  U16(fcr, 0x14, static_cast<int>(keys.size()));
  U16(fcr, 0x16, record_length);
  U16(fcr, 0x18, physical);
  HiLo32(fcr, 0x1A, static_cast<uint32_t>(records.size()));
  HiLo32(fcr, 0x26, static_cast<uint32_t>(1 + data_pages));
  size_t at = 0x110;
  int pair = record_length;
  for (const auto &key : keys) {
    int total = 0;
    for (const OldSegment &s : key)
      total += s.length;
    bool duplicates = (key.front().flags & 1) != 0;
    for (size_t i = 0; i < key.size(); ++i) {
      const OldSegment &s = key[i];
      U16(fcr, at + 0x08, s.flags);
      if (i == 0) U16(fcr, at + 0x0A, total);
      if (duplicates) U16(fcr, at + 0x12, pair);
      U16(fcr, at + 0x14, s.position - 1);
      U16(fcr, at + 0x16, s.length);
      fcr[at + 0x1C] = static_cast<char>(s.type);
      at += 30;
    }
    if (duplicates) pair += 8;
  }
  std::string file = fcr;
  for (int p = 0; p < data_pages; ++p) {
    std::string page(static_cast<size_t>(page_size), '\0');
    HiLo32(page, 0, static_cast<uint32_t>(p + 1));
    U16(page, 4, 0x8001);
    for (int j = 0; j < per_page; ++j) {
      size_t index = static_cast<size_t>(p * per_page + j);
      if (index >= records.size()) break;
      size_t slot = 6 + static_cast<size_t>(j * physical);
      page.replace(slot, static_cast<size_t>(record_length), records[index]);
      // No other record shares a key value: no previous, no next.
      for (int k = record_length; k < physical; ++k)
        page[slot + static_cast<size_t>(k)] = '\xFF';
    }
    file += page;
  }
  return file;
}

}  // namespace legacytest
