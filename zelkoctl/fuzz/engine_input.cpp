#include "engine_input.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "controls/edit_rules.h"
#include "engine/field_conversion.h"
#include "engine/module.h"
#include "engine/table_catalog.h"
#include "fuzz_dictionary.h"
#include "fuzz_reader.h"
#include "zplatform/codepage.h"
#include "zplatform/vb_format.h"

namespace {

using namespace zelko;

using fuzzing::FuzzReader;

const std::string &ScratchDirectory() {
  static const std::string dir = fuzzing::FuzzScratchDirectory("zelko-engine-fuzz");
  return dir;
}

ConversionSettings SettingsFrom(FuzzReader &in) {
  ConversionSettings s;
  uint8_t flags = in.Byte();
  s.fill_space = flags & 1;
  s.two_digit_year = flags & 2;
  s.year_2000 = flags & 4 ? 1 : 0;
  s.sign_nibble = flags & 8 ? 12 : 15;
  s.float_size = static_cast<int8_t>(in.Byte());
  return s;
}

// A buffer of exactly `n` bytes on the heap, so a sanitizer sees a byte read or written past it.
std::unique_ptr<uint8_t[]> Exact(size_t n) {
  return std::unique_ptr<uint8_t[]>(new uint8_t[std::max<size_t>(n, 1)]);
}

void Conversion(FuzzReader &in) {
  ConversionSettings s = SettingsFrom(in);
  FieldDescriptor f;
  f.data_type = in.Byte() % 18;  // 16 and 17 are no type
  f.size = in.U16() % 300;
  f.decimals = in.Byte() % 40;
  // Readers hand over at least 8 bytes: the widest fixed field.
  size_t room = std::max<size_t>(static_cast<size_t>(f.size), 8);
  auto bytes = Exact(room);
  in.Fill(bytes.get(), room);
  std::string text = FieldToText(s, f, bytes.get());
  std::string typed = in.Text();
  size_t capacity = in.Byte() % (room + 4);
  auto out = Exact(capacity);
  std::memset(out.get(), 0xA5, capacity);
  TextToField(s, f, text, out.get(), capacity);
  TextToField(s, f, typed, out.get(), capacity);
  FieldToText(s, f, capacity >= room ? out.get() : bytes.get());
  FieldStorageSize(f.data_type, f.size, typed);
}

// A value as a record holds it, read as a text and written back from that text, must come
// back byte for byte: a form that shows a record and saves it stores every field it showed.
void RoundTrip(FuzzReader &in) {
  ConversionSettings s = SettingsFrom(in);
  s.two_digit_year = false;  // two digits cannot carry every year
  FieldDescriptor f;
  std::vector<uint8_t> bytes;
  auto fill = [&](int size) {
    f.size = size;
    bytes.resize(static_cast<size_t>(size));
    in.Fill(bytes.data(), bytes.size());
  };
  static const int kWidths[] = {1, 2, 4};
  switch (in.Small(8)) {
    case 0:
      f.data_type = kInteger;
      fill(kWidths[in.Small(3)]);
      break;
    case 1:
      f.data_type = kUBin;
      fill(kWidths[in.Small(3)]);
      break;
    case 2:
      f.data_type = kAutoInc;
      fill(in.Byte() & 1 ? 4 : 2);
      break;
    case 3:
    case 4: {
      f.data_type = in.Byte() & 1 ? kDecimal : kMoney;
      fill(1 + in.Small(10));
      f.decimals = in.Small(2 * f.size);
      for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<uint8_t>((bytes[i] >> 4) % 10 << 4 | (bytes[i] & 0x0F) % 10);
      uint8_t sign = in.Byte() & 1 ? 0x0D : static_cast<uint8_t>(s.sign_nibble & 0x0F);
      bytes.back() = static_cast<uint8_t>((bytes.back() & 0xF0) | sign);
      break;
    }
    case 5: {
      f.data_type = kNumeric;
      fill(1 + in.Small(15));
      f.decimals = in.Small(f.size + 1);
      for (auto &b : bytes)
        b = static_cast<uint8_t>('0' + b % 10);
      int d = bytes.back() - '0';
      bool negative = in.Byte() & 1;
      bytes.back() = static_cast<uint8_t>(negative ? (d == 0 ? '}' : 'J' + d - 1)
                                                   : (d == 0 ? '{' : 'A' + d - 1));
      break;
    }
    case 6:
      f.data_type = kDate;
      fill(4);
      bytes[0] %= 100;
      bytes[1] %= 100;
      bytes[3] = static_cast<uint8_t>(bytes[3] % 40);  // years 0 to 9999 show four digits
      if ((bytes[2] | bytes[3] << 8) > 9999) bytes[3] = 0;
      break;
    default:
      f.data_type = kTime;
      fill(4);
      bytes[0] = 0;  // hundredths are not shown
      for (int i = 1; i < 4; ++i)
        bytes[i] %= 100;
      break;
  }
  std::string text = FieldToText(s, f, bytes.data());
  std::vector<uint8_t> back(bytes.size(), 0);
  TextToField(s, f, text, back.data(), back.size());
  if (back != bytes) {
    std::fprintf(stderr, "type %d size %d decimals %d: \"%s\" wrote back other bytes\n",
                 f.data_type, f.size, f.decimals, text.c_str());
    __builtin_trap();
  }
}

void Masks(FuzzReader &in) {
  EditRules rules;
  rules.format_option = in.Byte() % 4;
  rules.max_length = in.Byte() % 40;
  rules.numeric_mask = in.Byte() & 1;
  rules.format_text = zplatform::VbFormat;
  rules.format = in.Text();
  std::string text = in.Text();
  std::string typed = in.Text();
  zplatform::VbFormat(text, rules.format);
  rules.ShownText(text);
  rules.PutText(text);
  rules.RightAlign(text);
  rules.AfterKeystroke(text, typed, typed.empty());
  for (unsigned char c : typed)
    rules.Passes(c, static_cast<int>(c % 6) - 1);
}

void DatesAndCodePage(FuzzReader &in) {
  ConversionSettings s = SettingsFrom(in);
  std::string text = in.Text();
  NormalizeDateText(s, text);
  NormalizeTimeText(text);
  std::string utf8 = zplatform::ToUtf8(text);
  zplatform::FromUtf8(utf8);
  zplatform::FromUtf8(text);
}

// Arbitrary dictionary records, loaded as the data sources load them; then a record of
// arbitrary bytes read and written field by field.
void Dictionary(FuzzReader &in) {
  const std::string dir = ScratchDirectory() + "/dict";
  mkdir(dir.c_str(), 0700);  // there after the first run
  fuzzing::WriteAnyDictionary(dir, in);
  std::unique_ptr<TableCatalog> catalog;
  if (LoadCatalog(dir, in.Byte() & 1, &catalog) != 0) return;
  for (TableDescriptor &t : catalog->tables) {
    if (ResolveTable(*catalog, t) != 0) continue;
    // Opening gives the buffer record length + 1 bytes; a garbled length stays bounded here.
    size_t length = static_cast<size_t>(std::clamp(t.record_length, 0, 4096)) + 1;
    t.record_buffer.assign(length, 0);
    in.Fill(t.record_buffer.data(), length);
    std::vector<std::string> texts;
    ReadAllFields(t, &texts);
    for (int i = 0; i < t.FieldCount(); ++i) {
      ReadFieldByNumber(t, i);
      WriteFieldByNumber(t, i, texts[i]);
      WriteFieldByName(t, t.fields[i].name, in.Text());
      KeyOfDbIndex(t, t.fields[i].name);
    }
    VariableRecordLength(t);
    for (int p = -1; p <= t.SegmentCount(); ++p) {
      KeyValue key;
      BuildKeyValue(t, p, &key);
      KeyNumberOfPosition(t, p);
    }
    ClearRecordBuffer(t);
    ResolveDataFilePath(t, dir);
  }
  CopyCatalog(*catalog);
}

}  // namespace

int RunEngineFuzzInput(const uint8_t *data, size_t size) {
  FuzzReader in(data, size);
  switch (in.Byte() % 5) {
    case 0:
      Conversion(in);
      break;
    case 1:
      Masks(in);
      break;
    case 2:
      DatesAndCodePage(in);
      break;
    case 3:
      Dictionary(in);
      break;
    default:
      RoundTrip(in);
      break;
  }
  return 0;
}
