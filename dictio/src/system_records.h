// What every new dictionary holds: the creation buffers of the three files (file and key
// specifications and the "UPPER" collating table) and their system records.
#pragma once

#include <cstdint>
#include <vector>

#include "dictio/dictio.h"

namespace dictio {

std::vector<uint8_t> FileDdfCreationBuffer();   // 313 bytes
std::vector<uint8_t> FieldDdfCreationBuffer();  // 409 bytes
std::vector<uint8_t> IndexDdfCreationBuffer();  // 361 bytes

std::vector<DdfFileRecord> SystemTableRecords();   // 3
std::vector<DdfFieldRecord> SystemFieldRecords();  // 18
std::vector<DdfIndexRecord> SystemIndexRecords();  // 15

}  // namespace dictio
