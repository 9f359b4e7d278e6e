// Exports beyond the original interface, for bindings of scripting languages: the
// extended-read mode, index lookup by name, a whole record's texts in one call, the check of
// a value against its field, the date style, the code page, and the messages as data instead
// of output.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/extended_access.h"
#include "engine/field_conversion.h"
#include "engine/field_text_check.h"
#include "engine/module.h"
#include "engine/table_access.h"
#include "exports/flat_checks.h"
#include "zelkoctl/zelkoapi.h"
#include "zplatform/bstr.h"
#include "zplatform/codepage.h"
#include "zplatform/messages.h"

namespace zelko {
namespace {

// The presenter that ZelkoShowMessages(0) replaced, put back by ZelkoShowMessages(1).
std::shared_ptr<zplatform::MessagePresenter> &SilencedPresenter() {
  static std::shared_ptr<zplatform::MessagePresenter> presenter;
  return presenter;
}

// One text of a record's texts: as a C string sees it (up to a NUL inside), then a NUL.
void AppendText(std::string *texts, const std::string &text) {
  texts->append(text.c_str());
  texts->push_back('\0');
}

// Copies the texts when they fit: 0, else 22 with nothing written; the length needed always.
int16_t Deliver(const std::string &texts, char *buffer, int32_t size, int32_t *length) {
  if (length != nullptr) *length = static_cast<int32_t>(texts.size());
  if (buffer == nullptr || size < 0 || static_cast<size_t>(size) < texts.size()) return 22;
  std::memcpy(buffer, texts.data(), texts.size());
  return 0;
}

}  // namespace
}  // namespace zelko

using namespace zelko;

extern "C" {

int16_t ZelkoExSetMode(const char *mode, char *previous) {
  return Guarded<int16_t>(DB_NO_MEMORY, [&]() -> int16_t {
    std::string &current = Module::Get().ex_mode;
    std::string wanted = Text(mode);  // first: `previous` may be the same buffer
    if (previous != nullptr) {
      std::memcpy(previous, current.c_str(), std::min<size_t>(current.size(), 2) + 1);
    }
    if (wanted.size() != 2) return DB_FAILED;
    current = wanted;
    return 0;
  });
}

int16_t ZelkoFindIndex(int16_t table_id, const char *name) {
  return OnTable(table_id, Need::kAny, [&](TableDescriptor &t) {
    int position = FindIndexByName(t, Text(name));
    return static_cast<int16_t>(position >= 0 ? position : int{DB_INDEX_NOT_FOUND});
  });
}

int16_t ZelkoGetIndexFields(int16_t table_id, int16_t index, int16_t *fields, int16_t room) {
  return OnTable(table_id, Need::kAny, [&](TableDescriptor &t) -> int16_t {
    // A key starts where the segment before it ends the key before.
    bool starts = index >= 0 && index < t.SegmentCount() &&
                  (index == 0 || (t.segments[index - 1].key_flags & kSegmentFlagFollows) == 0);
    if (!starts) return DB_INDEX_NOT_FOUND;
    int16_t count = 0;
    for (int s = index; s < t.SegmentCount(); ++s) {
      const auto field = std::find_if(t.fields.begin(), t.fields.end(), [&](const auto &f) {
        return f.field_id == t.segments[s].field_id;
      });
      if (field == t.fields.end()) return DB_INDEX_NOT_FOUND;
      if (fields != nullptr && count < room)
        fields[count] = static_cast<int16_t>(field - t.fields.begin());
      ++count;
      if ((t.segments[s].key_flags & kSegmentFlagFollows) == 0) break;
    }
    return count;
  });
}

int16_t ZelkoGetRecordText(int16_t table_id, char *buffer, int32_t size, int32_t *length,
                           int32_t *position) {
  return OnTable(table_id, Need::kOpen, [&](TableDescriptor &t) -> int16_t {
    std::vector<std::string> fields;
    ReadAllFieldsWhole(t, &fields);
    std::string texts;
    for (const std::string &text : fields)
      AppendText(&texts, text);
    if (int16_t s = Deliver(texts, buffer, size, length)) return s;
    if (position != nullptr) *position = EngineGetPosition(t);
    return 0;
  });
}

int16_t ZelkoExGetRecordText(int16_t result_id, int16_t record, char *buffer, int32_t size,
                             int32_t *length, int32_t *position) {
  return Guarded<int16_t>(DB_NO_MEMORY, [&]() -> int16_t {
    std::vector<std::string> fields;
    if (!ExGetRecordTexts(result_id, record, &fields, true)) return DB_FAILED;
    std::string texts;
    for (const std::string &text : fields)
      AppendText(&texts, text);
    if (int16_t s = Deliver(texts, buffer, size, length)) return s;
    if (position != nullptr) *position = ExGetPosition(result_id, record);
    return 0;
  });
}

namespace {

// 0 for no problem; else DB_FAILED with the reason cut into `reason` (when given).
int16_t TellProblem(const std::string &problem, char *reason, int32_t size) {
  if (reason != nullptr && size > 0) {
    size_t kept = std::min(problem.size(), static_cast<size_t>(size) - 1);
    std::memcpy(reason, problem.data(), kept);
    reason[kept] = '\0';
  }
  return problem.empty() ? int16_t{0} : int16_t{DB_FAILED};
}

}  // namespace

int16_t ZelkoCheckFieldData(int16_t table_id, int16_t field_id, const char *text, char *reason,
                            int32_t size) {
  return OnTable(table_id, Need::kAny, [&](TableDescriptor &t) -> int16_t {
    if (field_id < 0 || field_id >= t.FieldCount()) return DB_FIELD_ID_RANGE;
    return TellProblem(FieldTextProblem(t.fields[field_id], Text(text)), reason, size);
  });
}

int16_t ZelkoCheckCondition(int16_t table_id, const char *condition, char *reason, int32_t size) {
  return OnTable(table_id, Need::kAny, [&](TableDescriptor &t) -> int16_t {
    std::vector<ExTerm> terms;
    std::string problem;
    if (!ParseSearchConditionExactly(t, Text(condition), false, &terms, &problem))
      return DB_BAD_CONDITION;
    return TellProblem(problem, reason, size);
  });
}

int32_t ZelkoDateCentury(void) {
  return Guarded<int32_t>(0, []() -> int32_t {
    const ConversionSettings &settings = Module::Get().Settings();
    if (!settings.two_digit_year) return 0;
    return settings.TwoDigitCentury();
  });
}

int32_t ZelkoCodePage(void) {
  return zplatform::ActiveCodePage().Number();
}

char *ZelkoTakeLastMessage(void) {
  return Guarded<char *>(nullptr, []() -> char * {
    return zplatform::StaticReturnString(zplatform::MessageService::Instance().TakeLastText());
  });
}

int16_t ZelkoShowMessages(int16_t show) {
  return Guarded<int16_t>(DB_NO_MEMORY, [&]() -> int16_t {
    auto &service = zplatform::MessageService::Instance();
    auto &silenced = SilencedPresenter();
    int16_t was_showing = silenced == nullptr ? 1 : 0;
    if (show == 0 && silenced == nullptr) {
      silenced = service.SetPresenter(std::make_shared<zplatform::SilentPresenter>());
    } else if (show != 0 && silenced != nullptr) {
      service.SetPresenter(silenced);
      silenced = nullptr;
    }
    return was_showing;
  });
}

}  // extern "C"
