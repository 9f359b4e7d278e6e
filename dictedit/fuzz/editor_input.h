// One fuzz input run against the dictionary editor's core: a run of edits (tables, fields,
// keys, index names, pasted fields, imported table texts) on a new dictionary, then a save
// and a load of what was saved. Nothing may read or write outside its buffers, and a
// dictionary made only by edits that the editor accepted must load back exactly as it was
// saved: a save that writes something else than the editor showed loses the user's work.
#pragma once

#include <cstddef>
#include <cstdint>

int RunEditorFuzzInput(const uint8_t *data, size_t size);
