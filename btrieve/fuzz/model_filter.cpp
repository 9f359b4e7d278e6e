#include "model_filter.h"

#include "btrieve/btrapi.h"

namespace btrmodel {

const SegModel kTermFields[6] = {
    {0, 4, SegType::kInteger, false, false},  {4, 3, SegType::kString, false, false},
    {7, 2, SegType::kUnsigned, false, false}, {9, 2, SegType::kInteger, false, false},
    {11, 4, SegType::kZString, false, false}, {15, 2, SegType::kDecimal, false, false},
};

int FirstSegmentField(int key) {
  constexpr int kFields = sizeof kTermFields / sizeof kTermFields[0];
  for (int f = 0; f < kFields; ++f) {
    if (kTermFields[f].offset == Keys()[key].segs[0].offset) return f;
  }
  return kFields - 1;
}

uint8_t TypeCode(SegType t) {
  switch (t) {
    case SegType::kInteger:
      return B_TYPE_INTEGER;
    case SegType::kString:
      return B_TYPE_STRING;
    case SegType::kUnsigned:
      return B_TYPE_UNSIGNED_BINARY;
    case SegType::kZString:
      return B_TYPE_ZSTRING;
    case SegType::kAutoIncrement:
      return B_TYPE_AUTOINCREMENT;
    default:
      return B_TYPE_DECIMAL;
  }
}

namespace {

// The record's field against the term's value, as the field's type orders them.
int CompareToValue(const Term &t, const std::string &record) {
  return CompareSegment(t.field, reinterpret_cast<const uint8_t *>(record.data()) + t.field.offset,
                        reinterpret_cast<const uint8_t *>(t.value.data()));
}

bool TermHolds(const Term &t, const std::string &record) {
  int c = CompareToValue(t, record);
  switch (t.comparison) {
    case 1:
      return c == 0;
    case 2:
      return c > 0;
    case 3:
      return c < 0;
    case 4:
      return c != 0;
    case 5:
      return c >= 0;
    default:
      return c <= 0;
  }
}

}  // namespace

bool FilterHolds(const std::vector<Term> &terms, const std::string &record) {
  bool holds = true;
  for (size_t i = 0; i < terms.size(); ++i) {
    bool t = TermHolds(terms[i], record);
    holds = i == 0 ? t : terms[i - 1].connector == 1 ? holds && t : holds || t;
  }
  return holds;
}

bool EarlyEndPossible(int key, const std::vector<Term> &terms) {
  if (terms.empty()) return false;
  for (size_t i = 0; i + 1 < terms.size(); ++i) {
    if (terms[i].connector != 1) return false;
  }
  const SegModel &seg = Keys()[key].segs[0];
  const SegModel &f = terms[0].field;
  return f.offset == seg.offset && f.length == seg.length && f.type == seg.type &&
         f.no_case == seg.no_case;
}

bool PastFirstTerm(const Term &t, const std::string &record, bool upward) {
  int c = CompareToValue(t, record);
  if (upward) return t.comparison == 3 ? c >= 0 : (t.comparison == 1 || t.comparison == 6) && c > 0;
  return t.comparison == 2 ? c <= 0 : (t.comparison == 1 || t.comparison == 5) && c < 0;
}

}  // namespace btrmodel
