#include "engine/record_image.h"

#include <algorithm>

#include "engine/field_conversion.h"
#include "zelkoctl/zelkoapi.h"
#include "zplatform/codepage.h"

namespace zelko {
namespace {

using zplatform::SafeArray;

// The string array of the variant, or the status that refuses it.
int16_t TextArray(zplatform::Variant &v, const TableDescriptor &table, SafeArray **out) {
  SafeArray *a = v.ArrayOrNull();
  if (a == nullptr || a->StringElements() == nullptr) return DB_NOT_STRING_ARRAY;
  if (a->Dimensions() != 1) return DB_ARRAY_NOT_ONE_DIMENSIONAL;
  if (a->LowerBound() > table.FieldCount()) return DB_LOWER_BOUND_BEYOND_FIELDS;
  *out = a;
  return 0;
}

int16_t ByteArray(zplatform::Variant &v, SafeArray **out) {
  SafeArray *a = v.ArrayOrNull();
  if (a == nullptr || a->ByteElements() == nullptr) return DB_NOT_BYTE_ARRAY;
  if (a->Dimensions() != 1) return DB_BYTE_ARRAY_NOT_ONE_DIMENSIONAL;
  if (!a->AccessData()) return DB_ARRAY_NOT_ACCESSIBLE;
  *out = a;
  return 0;
}

}  // namespace

int16_t GetRecordTexts(const TableDescriptor &table, zplatform::Variant &array) {
  SafeArray *a = nullptr;
  if (int16_t s = TextArray(array, table, &a)) return s;
  auto &elements = *a->StringElements();
  for (int f = std::max(0, a->LowerBound()); f <= a->UpperBound() && f < table.FieldCount(); ++f) {
    elements[f - a->LowerBound()] = zplatform::ToUtf8(ReadFieldByNumber(table, f));
  }
  return 0;
}

int16_t SetRecordTexts(TableDescriptor &table, zplatform::Variant &array) {
  SafeArray *a = nullptr;
  if (int16_t s = TextArray(array, table, &a)) return s;
  auto &elements = *a->StringElements();
  for (int f = std::max(0, a->LowerBound()); f <= a->UpperBound() && f < table.FieldCount(); ++f) {
    const auto &e = elements[f - a->LowerBound()];
    WriteFieldByNumber(table, f, zplatform::FromUtf8(e.value_or(std::string())));  // null: empty
  }
  return 0;
}

int16_t GetRecordImage(const TableDescriptor &table, zplatform::Variant &array) {
  SafeArray *a = nullptr;
  if (int16_t s = ByteArray(array, &a)) return s;
  auto &bytes = *a->ByteElements();
  size_t n = std::min({bytes.size(), static_cast<size_t>(std::max(table.record_length, 0))});
  for (size_t i = 0; i < n; ++i)
    bytes[i] = i < table.record_buffer.size() ? table.record_buffer[i] : 0;
  a->UnaccessData();
  return 0;
}

int16_t SetRecordImage(TableDescriptor &table, zplatform::Variant &array) {
  SafeArray *a = nullptr;
  if (int16_t s = ByteArray(array, &a)) return s;
  const auto &bytes = *a->ByteElements();
  size_t n = std::min({bytes.size(), static_cast<size_t>(std::max(table.record_length, 0)),
                       table.record_buffer.size()});
  std::copy(bytes.begin(), bytes.begin() + n, table.record_buffer.begin());
  a->UnaccessData();
  return 0;
}

int16_t GetPositionBlock(const TableDescriptor &table, zplatform::Variant &array) {
  SafeArray *a = nullptr;
  if (int16_t s = ByteArray(array, &a)) return s;
  auto &bytes = *a->ByteElements();
  size_t n = std::min(bytes.size(), table.position_block.size());
  std::copy(table.position_block.begin(), table.position_block.begin() + n, bytes.begin());
  a->UnaccessData();
  return 0;
}

}  // namespace zelko
