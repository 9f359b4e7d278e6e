// One fuzz input run against the reader of form files: any text read as a form, its
// properties read as numbers and texts. Nothing may read outside its input or follow it down
// the stack, and a form read without a problem must write back as a text that reads as the
// same form: the designer saves forms so.
#pragma once

#include <cstddef>
#include <cstdint>

int RunFrmFuzzInput(const uint8_t *data, size_t size);
