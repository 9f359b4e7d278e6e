// Verification of a data file: the storage engine's own integrity check, the stored
// specification, every record present in every key it belongs to and nothing else, and the
// order of every key.
#pragma once

#include <string>
#include <vector>

namespace btr {

// Appends a line per problem found; true when the file is sound.
bool CheckFile(const std::string &native_path, std::vector<std::string> *problems);

}  // namespace btr
