// The flat exports: the engine by table, field and index number for code that hosts no
// controls. Every function checks in the documented order (data source, table ID, open
// state) and nothing thrown inside leaves it.
#include <cstdarg>
#include <cstring>
#include <string>

#include "binding/data_source.h"
#include "engine/extended_access.h"
#include "engine/field_conversion.h"
#include "engine/messages.h"
#include "engine/module.h"
#include "engine/table_access.h"
#include "engine/table_catalog.h"
#include "exports/flat_checks.h"
#include "exports/hosted_sources.h"
#include "zelkoctl/zelkoapi.h"
#include "zplatform/bstr.h"
#include "zplatform/codepage.h"
#include "zplatform/messages.h"
#include "zplatform/paths.h"

namespace {
constexpr size_t kFormattedTextLength = 1023;  // of a 1,024-byte buffer
}  // namespace

using namespace zelko;

extern "C" {

int16_t DbAttachControl(const char *control_name, const char *form_name) {
  return Guarded<int16_t>(DB_NO_MEMORY, [&]() -> int16_t {
    if (control_name == nullptr || form_name == nullptr) return DB_SOURCE_NOT_FOUND;
    Module &module = Module::Get();
    std::string form = zplatform::ToUtf8(form_name);
    DataSource *found = nullptr;
    int status =
        module.registry.FindForAttachment(zplatform::ToUtf8(control_name), &form, nullptr, &found);
    if (status == DB_SOURCE_NOT_FOUND) return DB_SOURCE_NOT_FOUND;
    module.current_data_source = found;
    if (status != 0) return static_cast<int16_t>(status);
    // The form's window must be reachable (VE808 to VE811 say which step failed).
    int32_t window = 0;
    return found->ParentFormHandle(&window) == 0 ? 0 : DB_FAILED;
  });
}

int16_t DbAttachControlByHwnd(const char *control_name, intptr_t form_window) {
  return Guarded<int16_t>(DB_NO_MEMORY, [&]() -> int16_t {
    if (control_name == nullptr) return DB_SOURCE_NOT_FOUND;
    Module &module = Module::Get();
    DataSource *found = nullptr;
    int status =
        module.registry.FindForAttachment(zplatform::ToUtf8(control_name), nullptr,
                                          reinterpret_cast<FormWindow>(form_window), &found);
    if (status == DB_SOURCE_NOT_FOUND) return DB_SOURCE_NOT_FOUND;
    module.current_data_source = found;
    return static_cast<int16_t>(status);
  });
}

int16_t ZelkoHostDataSource(const char *form_name, const char *control_name, const char *ddf_dir) {
  return Guarded<int16_t>(DB_NO_MEMORY, [&]() -> int16_t {
    return static_cast<int16_t>(HostDataSource(Text(form_name), Text(control_name), Text(ddf_dir)));
  });
}

int16_t ZelkoReleaseDataSource(const char *form_name, const char *control_name) {
  return Guarded<int16_t>(DB_NO_MEMORY, [&]() -> int16_t {
    return static_cast<int16_t>(ReleaseDataSource(Text(form_name), Text(control_name)));
  });
}

int16_t DbOpen(int16_t table_id) {
  return OnTable(table_id, Need::kClosed, [&](TableDescriptor &t) {
    DataSource &source = *Source();
    return EngineOpen(*source.Catalog(), t, source.DdfDirectory(), source.Owner(),
                      source.OpenModeValue());
  });
}

int16_t DbClose(int16_t table_id) {
  return OnTable(table_id, Need::kOpen, [&](TableDescriptor &t) { return EngineClose(t); });
}

int16_t DbCreate(int16_t table_id) {
  return OnTable(table_id, Need::kClosed, [&](TableDescriptor &t) {
    DataSource &source = *Source();
    std::string dir = source.DdfDirectory();
    std::string path = ResolveDataFilePath(t, zplatform::ShortPathName(dir).value_or(dir));
    return EngineCreate(*source.Catalog(), t, path);
  });
}

int16_t DbGetNumOfTable(void) {
  return Guarded<int16_t>(DB_NO_MEMORY, []() -> int16_t {
    DataSource *source = Source();
    if (source == nullptr) return DB_NOT_ATTACHED;
    if (source->Catalog() == nullptr) return DB_NO_DICTIONARY;
    return static_cast<int16_t>(source->Catalog()->TableCount());
  });
}

int16_t DbGetNumOfField(int16_t table_id) {
  return OnTable(table_id, Need::kAny,
                 [&](TableDescriptor &t) { return static_cast<int16_t>(t.FieldCount()); });
}

char *DbGetTableName(int16_t table_id) {
  return Guarded<char *>(nullptr, [&]() -> char * {
    DataSource *source = Source();
    if (source == nullptr || source->Catalog() == nullptr) return EmptyText();
    TableCatalog &catalog = *source->Catalog();
    if (table_id < 0 || table_id >= catalog.TableCount()) return nullptr;
    return zplatform::StaticReturnString(catalog.tables[table_id].name);
  });
}

char *DbGetFieldName(int16_t table_id, int16_t field_id) {
  return Guarded<char *>(nullptr, [&]() -> char * {
    TableDescriptor *t = nullptr;
    int16_t s = Check(table_id, Need::kOpen, &t);
    if (s == DB_TABLE_NOT_OPEN) return EmptyText();
    if (s != 0) return nullptr;
    if (field_id < 0 || field_id >= t->FieldCount()) return EmptyText();
    return zplatform::StaticReturnString(t->fields[field_id].name);
  });
}

int16_t DbGetDataType(int16_t table_id, int16_t field_id) {
  return OnTable(table_id, Need::kOpen, [&](TableDescriptor &t) -> int16_t {
    if (field_id < 0 || field_id >= t.FieldCount()) return DB_FIELD_ID_RANGE;
    return static_cast<int16_t>(t.fields[field_id].data_type);
  });
}

int16_t DbGetDataSize(int16_t table_id, int16_t field_id) {
  return OnTable(table_id, Need::kOpen, [&](TableDescriptor &t) -> int16_t {
    if (field_id < 0 || field_id >= t.FieldCount()) return DB_FIELD_ID_RANGE;
    return static_cast<int16_t>(t.fields[field_id].size);
  });
}

int16_t DbGetNumOfRecords(int16_t table_id, int32_t *count) {
  return OnTable(table_id, Need::kOpen, [&](TableDescriptor &t) {
    int32_t n = 0;
    int16_t status = EngineRecordCount(t, &n);
    if (status == 0 && count != nullptr) *count = n;
    return status;
  });
}

char *DbGetFieldData(int16_t table_id, int16_t field_id) {
  return Guarded<char *>(nullptr, [&]() -> char * {
    TableDescriptor *t = nullptr;
    int16_t s = Check(table_id, Need::kOpen, &t);
    if (s == DB_TABLE_ID_RANGE) return nullptr;
    if (s != 0) return EmptyText();
    return ReturnText(ReadFieldByNumber(*t, field_id));
  });
}

int16_t DbSetFieldData(int16_t table_id, int16_t field_id, const char *text) {
  return OnTable(table_id, Need::kOpen, [&](TableDescriptor &t) {
    return static_cast<int16_t>(WriteFieldByNumber(t, field_id, Text(text)));
  });
}

int16_t DbClearFieldBuffer(int16_t table_id) {
  return OnTable(table_id, Need::kOpen, [&](TableDescriptor &t) -> int16_t {
    ClearRecordBuffer(t);
    return 0;
  });
}

int16_t DbAccess(int16_t operation, int16_t table_id, int16_t index) {
  return OnTable(table_id, Need::kOpen,
                 [&](TableDescriptor &t) { return EngineAccess(t, operation, index); });
}

int16_t DbGetDirect(int16_t table_id, int32_t position, int16_t index) {
  return OnTable(table_id, Need::kOpen,
                 [&](TableDescriptor &t) { return EngineGetDirect(t, position, index); });
}

int32_t DbGetPosition(int16_t table_id) {
  return OnTable<int32_t>(
      table_id, Need::kOpen, [&](TableDescriptor &t) { return EngineGetPosition(t); }, -1);
}

int16_t DbUnlock(int16_t table_id, int16_t unlock_type) {
  return OnTable(table_id, Need::kOpen,
                 [&](TableDescriptor &t) { return EngineUnlock(t, unlock_type); });
}

int16_t DbFindPercentage(int16_t table_id, int16_t index, int32_t position, int16_t *percentage) {
  return OnTable(table_id, Need::kOpen, [&](TableDescriptor &t) {
    return EngineFindPercentage(t, index, position, percentage);
  });
}

int16_t DbGetByPercentage(int16_t table_id, int16_t index, int16_t percentage) {
  return OnTable(table_id, Need::kOpen,
                 [&](TableDescriptor &t) { return EngineGetByPercentage(t, index, percentage); });
}

int16_t DbBeginTransaction(int16_t lock_bias) {
  return Guarded<int16_t>(DB_NO_MEMORY, [&] { return EngineBeginTransaction(lock_bias); });
}

int16_t DbBeginConCurTransaction(int16_t lock_bias) {
  return Guarded<int16_t>(DB_NO_MEMORY,
                          [&] { return EngineBeginConcurrentTransaction(lock_bias); });
}

int16_t DbEndTransaction(void) {
  return Guarded<int16_t>(DB_NO_MEMORY, [] { return EngineEndTransaction(); });
}

int16_t DbAbortTransaction(void) {
  return Guarded<int16_t>(DB_NO_MEMORY, [] { return EngineAbortTransaction(); });
}

int16_t DbSetLockBias(int16_t lock_bias) {
  return Guarded<int16_t>(DB_NO_MEMORY, [&] { return zelko::DbSetLockBias(lock_bias); });
}

int16_t DbTransferToControl(int16_t table_id) {
  return OnTable(table_id, Need::kOpen, [&](TableDescriptor &t) {
    return static_cast<int16_t>(Module::Get().registry.TransferToControls(*Source(), t));
  });
}

int16_t DbTransferFromControl(int16_t table_id) {
  return OnTable(table_id, Need::kOpen, [&](TableDescriptor &t) {
    return static_cast<int16_t>(Module::Get().registry.TransferFromControls(*Source(), t));
  });
}

int16_t DbClearControlData(int16_t table_id) {
  return OnTable(table_id, Need::kOpen, [&](TableDescriptor &t) {
    return static_cast<int16_t>(Module::Get().registry.ClearControls(*Source(), t));
  });
}

int16_t DbExAccess(int16_t operation, int16_t table_id, const char *condition,
                   const char *field_list, int16_t index, int16_t reject_count, int16_t max_records,
                   int16_t ignore_case, int16_t *result_id, int16_t *count) {
  return OnTable(table_id, Need::kOpen, [&](TableDescriptor &t) {
    int16_t id = result_id != nullptr ? *result_id : 0;
    int16_t n = count != nullptr ? *count : 0;
    int16_t status = ExAccess(operation, t, Text(condition), Text(field_list), index, reject_count,
                              max_records, ignore_case != 0, &id, &n);
    if (result_id != nullptr) *result_id = id;
    if (count != nullptr) *count = n;
    return status;
  });
}

int16_t DbExFree(int16_t result_id) {
  return Guarded<int16_t>(DB_NO_MEMORY, [&] { return static_cast<int16_t>(ExFree(result_id)); });
}

int32_t DbExGetPosition(int16_t result_id, int16_t record) {
  return Guarded<int32_t>(-1, [&] { return ExGetPosition(result_id, record); });
}

char *DbExGetFieldData(int16_t result_id, int16_t field_id, int16_t record) {
  return Guarded<char *>(nullptr, [&]() -> char * {
    return ReturnText(ExGetFieldDataById(result_id, field_id, record));
  });
}

int16_t DbSetFormattedString(const char *text) {
  return Guarded<int16_t>(DB_NO_MEMORY, [&]() -> int16_t {
    std::string &buffer = Module::Get().formatted_text;
    buffer = Text(text).substr(0, kFormattedTextLength);
    return 0;
  });
}

int16_t DbExSetFormattedString(const char *text) {
  return DbSetFormattedString(text);
}

int16_t DbGetVersion(uint8_t *buffer) {
  return Guarded<int16_t>(DB_NO_MEMORY, [&]() -> int16_t {
    if (buffer == nullptr) return 22;  // the record manager's "data buffer too short"
    return EngineVersion(buffer);
  });
}

void ZelkoFatalAppExit(int16_t message_number, ...) {
  const char *format = MessageByNumber(message_number);
  std::string text;
  va_list args;
  va_start(args, message_number);
  if (format != nullptr) {
    text = zplatform::FormatCodePageV(format, args);
  } else {
    text = zplatform::FormatCodePage("Zelko: message %d", static_cast<int>(message_number));
  }
  va_end(args);
  zplatform::FatalAppExit(text);
}

}  // extern "C"
