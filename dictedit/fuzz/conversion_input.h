// One fuzz input run against the editor's data conversion: a table with a data file of
// records (a variable tail included), then a run of field and key edits that convert the
// file. After every edit each record must hold exactly the bytes of the fields it kept, in
// the table's order, with zeros for a field added; an edit that fails must leave every
// record as it was.
#pragma once

#include <cstddef>
#include <cstdint>

int RunConversionFuzzInput(const uint8_t *data, size_t size);
