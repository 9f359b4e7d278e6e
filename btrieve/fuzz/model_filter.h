// Extended operations' filters as the model evaluates them: terms on the key fields of the
// model's file, combined strictly left to right.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model_file.h"

namespace btrmodel {

// The fields a filter term may compare: each key field, as its key orders it.
extern const SegModel kTermFields[6];

// The term field over the key's first segment; the last field when no field is.
int FirstSegmentField(int key);

uint8_t TypeCode(SegType t);

struct Term {
  SegModel field;  // no_case from the comparison's +128 (text types only)
  uint8_t comparison;
  uint8_t connector;
  std::string value;
};

bool FilterHolds(const std::vector<Term> &terms, const std::string &record);
// An early end is possible when the first term compares the key's first segment as the key
// orders it and every connector is "and": once the walk is past the term's value, no later
// record can match.
bool EarlyEndPossible(int key, const std::vector<Term> &terms);
// Whether a walk upward (or downward) along the key has passed every value the first term
// accepts.
bool PastFirstTerm(const Term &t, const std::string &record, bool upward);

}  // namespace btrmodel
