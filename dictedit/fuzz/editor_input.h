// One fuzz input run against the dictionary editor's core: a dictionary of any records or a
// new one, a run of edits on it (tables, fields, keys, index names, pasted fields, imported
// table texts and dbMagic files), its views, listing and generated texts, then a save and a
// load of what was saved, and each table exported and imported again. Nothing may read or
// write outside its buffers, and a table made only by edits that the editor accepted must
// load back, and import back, exactly as the editor held it: a save that writes something
// else than the editor showed loses the user's work.
#pragma once

#include <cstddef>
#include <cstdint>

int RunEditorFuzzInput(const uint8_t *data, size_t size);
