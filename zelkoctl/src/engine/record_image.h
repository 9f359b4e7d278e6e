// Whole records through automation arrays: field texts, the raw record buffer and the
// position block. Statuses: -17/-18/-19 for text arrays, -23/-24/-22 for byte arrays.
#pragma once

#include "engine/table_catalog.h"
#include "zplatform/variant.h"

namespace zelko {

int16_t GetRecordTexts(const TableDescriptor &table, zplatform::Variant &array);
int16_t SetRecordTexts(TableDescriptor &table, zplatform::Variant &array);
int16_t GetRecordImage(const TableDescriptor &table, zplatform::Variant &array);
int16_t SetRecordImage(TableDescriptor &table, zplatform::Variant &array);
int16_t GetPositionBlock(const TableDescriptor &table, zplatform::Variant &array);

}  // namespace zelko
