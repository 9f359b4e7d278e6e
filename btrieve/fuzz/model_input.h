// One fuzz input run against the record manager with a model beside it: the input is a run
// of inserts, updates, deletes, reads along every key and in physical order, transactions,
// reopens and reads by another process, on a file whose keys have duplicates, null values,
// descending and case-insensitive segments. Every status, record, key value and position
// must be the one the model predicts; any difference aborts with a description.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

int RunBtrieveModelInput(const uint8_t *data, size_t size);
// The same with the file in `directory` (which may be mapped to a server).
void RunBtrieveModelInputIn(const std::string &directory, const uint8_t *data, size_t size);
