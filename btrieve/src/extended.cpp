#include "extended.h"

#include <cstring>

#include "btrieve/btrapi.h"
#include "file_spec.h"
#include "key_encoder.h"
#include "zplatform/bytes.h"

namespace btr {

using zplatform::GetU16;
namespace {

// A filter field follows the key rules, except that strings and packed numbers may be
// longer than a key can be.
bool TypeFitsLength(uint8_t type, uint16_t len) {
  switch (type) {
    case B_TYPE_STRING:
    case B_TYPE_ZSTRING:
    case B_TYPE_DECIMAL:
    case B_TYPE_MONEY:
    case B_TYPE_NUMERIC:
    case B_TYPE_LSTRING:
      if (len > 255) return true;
      break;
  }
  return LengthFitsType(type, len);
}

}  // namespace

uint32_t ExtendedDescriptor::ExtractedLength() const {
  uint32_t n = 0;
  for (const ExtractField &f : fields)
    n += f.length;
  return n;
}

int ParseExtendedDescriptor(const uint8_t *data, uint32_t length, uint32_t record_length,
                            ExtendedDescriptor *out) {
  if (data == nullptr || length < 8) return B_INCORRECT_DESCRIPTOR;
  uint32_t total = GetU16(data);
  if (total < 12 || total > length) return B_INCORRECT_DESCRIPTOR;
  out->mode[0] = static_cast<char>(data[2]);
  out->mode[1] = static_cast<char>(data[3]);
  bool uc = out->mode[0] == 'U' && out->mode[1] == 'C';
  if (!uc && !out->ExtendedMode()) return B_INCORRECT_DESCRIPTOR;
  out->reject_count = GetU16(data + 4);
  uint16_t nterms = GetU16(data + 6);
  uint32_t at = 8;
  bool outside = false;
  out->terms.clear();
  for (uint16_t i = 0; i < nterms; ++i) {
    if (at + 7 > total) return B_INCORRECT_DESCRIPTOR;
    FilterTerm t;
    t.type = data[at];
    t.length = GetU16(data + at + 1);
    t.offset = GetU16(data + at + 3);
    uint8_t comp = data[at + 5];
    t.connector = data[at + 6];
    at += 7;
    t.collating = (comp & 32) != 0;
    t.other_field = (comp & 64) != 0;
    t.case_insensitive = (comp & 128) != 0;
    t.comparison = comp & 0x1F;
    if (t.comparison < 1 || t.comparison > 6) return B_INCORRECT_DESCRIPTOR;
    if (!TypeFitsLength(t.type, t.length)) return B_INCORRECT_DESCRIPTOR;
    bool last = i + 1 == nterms;
    if (last ? t.connector != 0 : (t.connector != 1 && t.connector != 2)) {
      return B_INCORRECT_DESCRIPTOR;
    }
    uint32_t value_length = t.other_field ? 2 : t.length;
    if (at + value_length > total) return B_INCORRECT_DESCRIPTOR;
    if (t.other_field) {
      t.other_offset = GetU16(data + at);
      if (static_cast<uint32_t>(t.other_offset) + t.length > record_length) outside = true;
    } else {
      t.value.assign(reinterpret_cast<const char *>(data + at), t.length);
    }
    at += value_length;
    if (static_cast<uint32_t>(t.offset) + t.length > record_length) outside = true;
    out->terms.push_back(std::move(t));
  }
  if (at + 4 > total) return B_INCORRECT_DESCRIPTOR;
  out->max_records = GetU16(data + at);
  uint16_t nfields = GetU16(data + at + 2);
  at += 4;
  if (at + 4u * nfields != total) return B_INCORRECT_DESCRIPTOR;
  out->fields.clear();
  for (uint16_t i = 0; i < nfields; ++i) {
    ExtractField f{GetU16(data + at), GetU16(data + at + 2)};
    at += 4;
    if (f.length == 0) return B_INCORRECT_DESCRIPTOR;
    if (static_cast<uint32_t>(f.offset) + f.length > record_length) outside = true;
    out->fields.push_back(f);
  }
  if (nfields == 0) return B_INCORRECT_DESCRIPTOR;
  return outside ? B_INCORRECT_FIELD_OFFSET : 0;
}

ExtendedFilter::ExtendedFilter(const FileSpec &spec, const ExtendedDescriptor &d)
    : terms_(d.terms) {
  for (const FilterTerm &t : terms_) {
    Compiled c;
    c.segment.position = 1;
    c.segment.length = t.length;
    c.segment.type = t.type;
    c.segment.flags = B_KEY_EXTENDED_TYPE;
    bool text = t.type == B_TYPE_STRING || t.type == B_TYPE_LSTRING || t.type == B_TYPE_ZSTRING;
    if (text && t.case_insensitive) c.segment.flags |= B_KEY_CASE_INSENSITIVE;
    if (text && t.collating && !spec.collating_tables.empty()) {
      c.segment.flags |= B_KEY_ALT_COLLATING;
    }
    c.table = spec.TableFor(c.segment);
    if (!t.other_field) {
      EncodeSegment(c.segment, reinterpret_cast<const uint8_t *>(t.value.data()), c.table,
                    c.encoded_value);
    }
    compiled_.push_back(std::move(c));
  }
}

int ExtendedFilter::CompareFirst(const uint8_t *record) const {
  const Compiled &c = compiled_[0];
  std::string field;
  EncodeSegment(c.segment, record + terms_[0].offset, c.table, field);
  int r = std::memcmp(field.data(), c.encoded_value.data(), field.size());
  return r < 0 ? -1 : r > 0 ? 1 : 0;
}

bool ExtendedFilter::Test(size_t i, const uint8_t *record) const {
  const FilterTerm &t = terms_[i];
  const Compiled &c = compiled_[i];
  std::string field;
  EncodeSegment(c.segment, record + t.offset, c.table, field);
  int r;
  if (t.other_field) {
    std::string other;
    EncodeSegment(c.segment, record + t.other_offset, c.table, other);
    r = std::memcmp(field.data(), other.data(), field.size());
  } else {
    r = std::memcmp(field.data(), c.encoded_value.data(), field.size());
  }
  switch (t.comparison) {
    case 1:
      return r == 0;
    case 2:
      return r > 0;
    case 3:
      return r < 0;
    case 4:
      return r != 0;
    case 5:
      return r >= 0;
    default:
      return r <= 0;
  }
}

bool ExtendedFilter::Matches(const uint8_t *record) const {
  if (terms_.empty()) return true;
  bool result = Test(0, record);
  // Strictly left to right: ((t0 c0 t1) c1 t2) ...
  for (size_t i = 1; i < terms_.size(); ++i) {
    bool next = Test(i, record);
    result = terms_[i - 1].connector == 1 ? (result && next) : (result || next);
  }
  return result;
}

}  // namespace btr
