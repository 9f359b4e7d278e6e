// libFuzzer target: the reader of genuine Btrieve files on any bytes. It must refuse what it
// cannot read with a reason and never read outside the input; the walk of the records must
// give what the whole read gives.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "legacy_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  // Exactly the input's bytes, so a read past them is caught.
  std::string_view bytes(reinterpret_cast<const char *>(data), size);
  btr::legacy::LegacyFile file;
  std::string why;
  bool read = btr::legacy::ReadLegacyFile(bytes, &file, &why);
  if (!read && why.empty()) __builtin_trap();  // a refusal always says why
  std::vector<std::string> walked;
  std::string walk_why;
  bool walk = btr::legacy::ForEachLegacyRecord(
      bytes,
      [&walked](const std::string &record) {
        walked.push_back(record);
        return true;
      },
      &walk_why);
  if (walk != read || walk_why != (read ? std::string() : why)) __builtin_trap();
  if (read && walked != file.records) __builtin_trap();
  return 0;
}
