#include "table_access.h"

#include <cstring>
#include <new>
#include <optional>
#include <vector>

#include "btrieve/btrapi.h"
#include "field_conversion.h"
#include "messages.h"
#include "module.h"
#include "zelkoctl/zelkoapi.h"
#include "zplatform/paths.h"

namespace zelko {
namespace {

constexpr size_t kStatBufferLength = 4096;

int16_t Call(int op, TableDescriptor &table, void *data, uint32_t length, void *key,
             uint8_t key_length, int key_number) {
  return BTRCALL(static_cast<uint16_t>(op), table.position_block.data(), data, &length, key,
                 key_length, static_cast<int8_t>(key_number));
}

// Stat into a buffer; the record length, file flags and count come from it.
int16_t Stat(TableDescriptor &table, std::vector<uint8_t> *buffer) {
  buffer->assign(kStatBufferLength, 0);
  uint8_t key[255];
  uint32_t len = kStatBufferLength;
  return BTRCALL(B_STAT, table.position_block.data(), buffer->data(), &len, key, sizeof key, 0);
}

bool ValidBias(int bias, int highest) {
  return bias >= 0 && bias <= highest && bias % 100 == 0;
}

int16_t Transaction(int op) {
  uint32_t len = 0;
  return BTRCALL(static_cast<uint16_t>(op), nullptr, nullptr, &len, nullptr, 0, 0);
}

int DataLengthForWrite(const TableDescriptor &table) {
  int variable = VariableRecordLength(table);
  return variable >= 0 ? variable : table.record_length + 1;
}

}  // namespace

int OpenModeKeyNumber(int open_mode) {
  static const int kKeys[] = {0, -1, -2, -3, -4, -32, -64};
  return open_mode >= 0 && open_mode <= 6 ? kKeys[open_mode] : 0;
}

int LockBiasOf(int locks) {
  return locks >= 0 && locks <= 4 ? locks * 100 : 0;
}

ButtonOperation ButtonOperationFor(int v) {
  static const int kOps[] = {
      B_INSERT,     B_UPDATE,       B_DELETE,      B_GET_EQUAL,     B_GET_FIRST, B_GET_LAST,
      B_GET_NEXT,   B_GET_PREVIOUS, B_GET_GREATER, B_GET_LESS,      B_GET_GE,    B_GET_LE,
      B_STEP_FIRST, B_STEP_LAST,    B_STEP_NEXT,   B_STEP_PREVIOUS, B_INSERT,    B_UPDATE};
  ButtonOperation op;
  if (v < 0 || v > 17) return op;
  op.btrieve_op = kOps[v];
  if (v == 2 || (v >= 12 && v <= 15)) op.key_use = ButtonOperation::kNoKey;
  if (v == 16 || v == 17) op.key_use = ButtonOperation::kNoCurrencyChange;
  return op;
}

int16_t EngineOpen(const TableCatalog &catalog, TableDescriptor &table,
                   const std::string &directory, const std::string &owner, int open_mode) {
  if (table.fields.empty() && ResolveTable(catalog, table) != 0) return DB_FAILED;
  std::optional<std::string> short_dir = zplatform::ShortPathName(directory);
  if (!short_dir) return DB_DIRECTORY_NOT_FOUND;
  std::string path = ResolveDataFilePath(table, *short_dir);
  try {
    table.record_buffer.assign(static_cast<size_t>(table.record_length) + 1, 0);
  } catch (const std::bad_alloc &) {
    ShowMessage(msg::kVE001, module_name::kZlkdb, __LINE__);
    return DB_FAILED;
  }
  std::string owner_buffer = owner;
  uint32_t owner_length = owner.empty() ? 0 : static_cast<uint32_t>(owner.size() + 1);
  int16_t status = Call(B_OPEN, table, owner_buffer.data(), owner_length, path.data(),
                        static_cast<uint8_t>(path.size() > 255 ? 255 : path.size()),
                        OpenModeKeyNumber(open_mode));
  if (status != 0) {
    table.record_buffer.clear();
    return status;
  }
  std::vector<uint8_t> stat;
  status = Stat(table, &stat);
  int file_length = stat[0] | stat[1] << 8;
  bool variable = (stat[10] & 1) != 0;
  if (status == 0 && !variable && file_length != table.record_length) {
    ShowMessage(msg::kVE806, file_length, table.record_length);
  }
  if (status != 0 || (!variable && file_length != table.record_length)) {
    // The table stays closed, and so does the file: no handle is left behind.
    Call(B_CLOSE, table, nullptr, 0, nullptr, 0, 0);
    table.record_buffer.clear();
    return status;
  }
  table.open = true;
  return 0;
}

int16_t EngineClose(TableDescriptor &table) {
  int16_t status = Call(B_CLOSE, table, nullptr, 0, nullptr, 0, 0);
  if (status == 0) {
    table.open = false;
    table.record_buffer.clear();
    table.record_buffer.shrink_to_fit();
  }
  return status;
}

std::vector<uint8_t> CreateSpecification(const TableDescriptor &table) {
  const ConversionSettings &settings = Module::Get().Settings();
  int record_length = table.record_length;
  int file_flags = settings.file_flag;
  int before = 0;
  for (const FieldDescriptor &f : table.fields) {
    if (f.data_type == kNote || f.data_type == kLVar) {
      file_flags += 1;
      record_length = before;
      break;
    }
    before += f.size;
  }
  BtrFileSpec file{};
  file.record_length = static_cast<uint16_t>(record_length);
  file.page_size = 4096;
  file.file_flags = static_cast<uint16_t>(file_flags);
  std::vector<BtrKeySpec> segments;
  for (const SegmentDescriptor &s : table.segments) {
    BtrKeySpec k{};
    k.position = static_cast<uint16_t>(s.offset + 1);
    k.length = static_cast<uint16_t>(s.length);
    k.flags = static_cast<uint16_t>(s.key_flags);
    k.type = static_cast<uint8_t>(s.data_type);
    k.null_value = static_cast<uint8_t>(settings.null_key);
    segments.push_back(k);
  }
  return btrieve::CreateBuffer(file, segments);
}

int16_t EngineCreate(const TableCatalog &catalog, TableDescriptor &table, const std::string &path,
                     bool replace) {
  if (table.fields.empty() && ResolveTable(catalog, table) != 0) return DB_FAILED;
  std::vector<uint8_t> buffer;
  try {
    buffer = CreateSpecification(table);
  } catch (const std::bad_alloc &) {
    ShowMessage(msg::kVE001, module_name::kZlkdb, __LINE__);
    return DB_FAILED;
  }
  std::string p = path;
  uint8_t pb[128] = {};
  uint32_t len = static_cast<uint32_t>(buffer.size());
  int16_t status = BTRCALL(B_CREATE, pb, buffer.data(), &len, p.data(), 0, replace ? 0 : -1);
  if (!replace && status == B_FILE_ALREADY_EXISTS) return 0;
  if (status != 0) ShowMessage(msg::kVE007, status);
  return status;
}

int16_t EngineAccess(TableDescriptor &table, int operation, int index) {
  KeyValue key;
  if (!BuildKeyValue(table, index, &key)) return DB_INDEX_NOT_FOUND;
  uint32_t length = static_cast<uint32_t>(table.record_length) + 1;
  if (operation == B_INSERT || operation == B_UPDATE)
    length = static_cast<uint32_t>(DataLengthForWrite(table));
  int op = operation + Module::Get().lock_bias;
  return Call(op, table, table.record_buffer.data(), length, key.bytes.data(), key.length,
              key.key_number);
}

int16_t EngineGetDirect(TableDescriptor &table, int32_t position, int index) {
  std::fill(table.record_buffer.begin(), table.record_buffer.end(), 0);
  if (table.record_buffer.size() < 4) table.record_buffer.resize(4, 0);
  std::memcpy(table.record_buffer.data(), &position, 4);
  uint32_t length = static_cast<uint32_t>(table.record_length) + 1;
  if (index == -1) {
    uint8_t key = 0;
    return Call(B_GET_DIRECT, table, table.record_buffer.data(), length, &key, 0, -1);
  }
  KeyValue key;
  if (!BuildKeyValue(table, index, &key)) return DB_INDEX_NOT_FOUND;
  return Call(B_GET_DIRECT + Module::Get().lock_bias, table, table.record_buffer.data(), length,
              key.bytes.data(), key.length, key.key_number);
}

int32_t EngineGetPosition(TableDescriptor &table) {
  uint8_t position[4] = {};
  uint8_t key[1] = {};
  if (Call(B_GET_POSITION, table, position, 4, key, 0, 0) != 0) return -1;
  int32_t value;
  std::memcpy(&value, position, 4);
  return value;
}

int16_t EngineUnlock(TableDescriptor &table, int type) {
  if (type == -1) {
    int32_t position = EngineGetPosition(table);
    return Call(B_UNLOCK, table, &position, 4, nullptr, 0, -1);
  }
  return Call(B_UNLOCK, table, nullptr, 0, nullptr, 0, type);
}

int16_t EngineGetByPercentage(TableDescriptor &table, int index, int16_t percentage) {
  KeyValue key;
  if (!BuildKeyValue(table, index, &key)) return DB_INDEX_NOT_FOUND;
  if (table.record_buffer.size() < 2) table.record_buffer.resize(2, 0);
  std::memcpy(table.record_buffer.data(), &percentage, 2);
  return Call(B_GET_BY_PERCENTAGE, table, table.record_buffer.data(),
              static_cast<uint32_t>(table.record_length) + 1, key.bytes.data(), key.length,
              key.key_number);
}

int16_t EngineFindPercentage(TableDescriptor &table, int index, int32_t position,
                             int16_t *percentage) {
  uint8_t data[4] = {};
  int16_t status;
  if (index == -1) {
    std::memcpy(data, &position, 4);
    status = Call(B_FIND_PERCENTAGE, table, data, 4, nullptr, 0, -1);
  } else {
    KeyValue key;
    if (!BuildKeyValue(table, index, &key)) return DB_INDEX_NOT_FOUND;
    status = Call(B_FIND_PERCENTAGE, table, data, 4, key.bytes.data(), key.length, key.key_number);
  }
  if (status == 0 && percentage != nullptr) std::memcpy(percentage, data, 2);
  return status;
}

KeptPosition::KeptPosition(TableDescriptor &table, int index)
    : table_(table),
      index_(index),
      position_(EngineGetPosition(table)),
      record_(table.record_buffer) {}

KeptPosition::~KeptPosition() {
  if (position_ < 0 || EngineGetDirect(table_, position_, index_) != 0)
    table_.record_buffer = record_;
}

int16_t EngineRecordCount(TableDescriptor &table, int32_t *count) {
  std::vector<uint8_t> stat;
  int16_t status = Stat(table, &stat);
  if (status == 0 && count != nullptr) std::memcpy(count, stat.data() + 6, 4);
  return status;
}

int16_t EngineReset() {
  uint32_t len = 0;
  return BTRCALL(B_RESET, nullptr, nullptr, &len, nullptr, 0, 0);
}

int16_t EngineVersion(uint8_t version[5]) {
  uint32_t len = 5;
  uint8_t pb[128] = {};
  return BTRCALL(B_VERSION, pb, version, &len, nullptr, 0, 0);
}

int16_t EngineBeginTransaction(int bias) {
  if (!ValidBias(bias, 400)) return DB_BAD_LOCK_BIAS;
  return Transaction(B_BEGIN_TRAN + bias);
}

int16_t EngineBeginConcurrentTransaction(int bias) {
  if (!ValidBias(bias, 500)) return DB_BAD_LOCK_BIAS;
  return Transaction(B_BEGIN_CONCURRENT_TRAN + bias);
}

int16_t EngineEndTransaction() {
  return Transaction(B_END_TRAN);
}
int16_t EngineAbortTransaction() {
  return Transaction(B_ABORT_TRAN);
}

int16_t DbSetLockBias(int bias) {
  if (!ValidBias(bias, 400)) return DB_BAD_LOCK_BIAS;
  Module::Get().lock_bias = static_cast<int16_t>(bias);
  return 0;
}

void CloseAllTables(TableCatalog &catalog) {
  for (TableDescriptor &t : catalog.tables) {
    if (!t.open) continue;
    int16_t status = EngineClose(t);
    if (status != 0) ShowMessage(msg::kVE813, t.name.c_str(), status);
  }
}

}  // namespace zelko
