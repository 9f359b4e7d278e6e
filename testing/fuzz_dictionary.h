// A dictionary of any records for the fuzz inputs, written through the dictionary library as
// another program might have left it. Header-only, like fuzz_reader.h.
#pragma once

#include <string>

#include "dictio/dictio.h"
#include "fuzz_reader.h"

namespace fuzzing {

// Replaces the dictionary in `dir` by 1 to 3 tables, up to 15 fields and up to 7 segments,
// each record's bytes taken from the input.
inline void WriteAnyDictionary(const std::string &dir, FuzzReader &in) {
  if (DDFOpen(dir.c_str(), 1) != 0) return;
  int tables = 1 + in.Small(3), fields = in.Small(16), segments = in.Small(8);
  for (int i = 0; i < tables; ++i) {
    DdfFileRecord r;
    in.Fill(&r, sizeof r);
    DDFWriteFile(&r);
  }
  for (int i = 0; i < fields; ++i) {
    DdfFieldRecord r;
    in.Fill(&r, sizeof r);
    DDFWriteField(&r);
  }
  for (int i = 0; i < segments; ++i) {
    DdfIndexRecord r;
    in.Fill(&r, sizeof r);
    DDFWriteIndex(&r);
  }
  DDFClose();
}

}  // namespace fuzzing
