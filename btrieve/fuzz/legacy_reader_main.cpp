// libFuzzer target: the reader of genuine Btrieve files on any bytes. It must refuse what it
// cannot read with a reason and never read outside the input.
#include <cstddef>
#include <cstdint>
#include <string>

#include "legacy_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  btr::legacy::LegacyFile file;
  std::string why;
  if (!btr::legacy::ReadLegacyFile(std::string(reinterpret_cast<const char *>(data), size), &file,
                                   &why) &&
      why.empty())
    __builtin_trap();  // a refusal always says why
  return 0;
}
