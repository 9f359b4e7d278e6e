#include "engine/extended_fill.h"

#include <algorithm>

#include "btrieve/btrapi.h"
#include "engine/extended_access.h"
#include "engine/field_conversion.h"
#include "engine/module.h"
#include "engine/table_access.h"
#include "zplatform/codepage.h"

namespace zelko {

namespace {

// Appends the records of result `from` to result `into` and frees `from`.
void AppendResult(int into, int from) {
  Module &module = Module::Get();
  auto &target = module.ex_results[into].data;
  auto &source = module.ex_results[from].data;
  if (target.size() >= 2 && source.size() >= 2) {
    int count = (target[0] | target[1] << 8) + (source[0] | source[1] << 8);
    count = std::min(count, 0xFFFF);
    target.insert(target.end(), source.begin() + 2, source.end());
    target[0] = static_cast<uint8_t>(count);
    target[1] = static_cast<uint8_t>(count >> 8);
  }
  ExFree(from);
}

}  // namespace

ExtendedFillRequest MakeExtendedFillRequest(int ex_operation, const std::string &condition,
                                            const std::string &fields, int key, int skip_records,
                                            int max_records, int locks, int compare_case,
                                            bool leave_results) {
  ExtendedFillRequest request;
  request.ex_operation = ex_operation;
  request.condition = zplatform::FromUtf8(condition);
  request.fields = zplatform::FromUtf8(fields);
  request.key = key;
  request.skip_records = skip_records;
  request.max_records = max_records;
  request.lock_bias = LockBiasOf(locks);
  request.ignore_case = compare_case == 1;
  request.leave_results = leave_results;
  return request;
}

std::vector<std::string> SplitFieldList(const std::string &list) {
  std::vector<std::string> names;
  size_t start = 0;
  while (start <= list.size()) {
    size_t comma = list.find(',', start);
    std::string name =
        list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    size_t b = name.find_first_not_of(' '), e = name.find_last_not_of(' ');
    if (b != std::string::npos) names.push_back(name.substr(b, e - b + 1));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return names;
}

bool IsLimitStatus(int status) {
  return status == 22 || status == 60 || status == 64 || status == 65;
}

ExtendedFillOutcome RunExtendedFill(
    TableDescriptor &table, const ExtendedFillRequest &request,
    const std::function<void()> &started,
    const std::function<bool(const std::vector<std::string> &, int32_t)> &record) {
  return RunExtendedReads(table, request, FillStart{}, -1, started, record);
}

ExtendedFillOutcome RunExtendedReads(
    TableDescriptor &table, const ExtendedFillRequest &request, const FillStart &start,
    int rows_wanted, const std::function<void()> &started,
    const std::function<bool(const std::vector<std::string> &, int32_t)> &record) {
  static const struct {
    int position, read;
  } kOperations[] = {{B_GET_LAST, B_GET_PREV_EXTENDED},
                     {B_GET_FIRST, B_GET_NEXT_EXTENDED},
                     {B_STEP_LAST, B_STEP_PREVIOUS_EXT},
                     {B_STEP_FIRST, B_STEP_NEXT_EXT}};
  bool valid = request.ex_operation >= 0 && request.ex_operation <= 3;
  const auto &op = kOperations[valid ? request.ex_operation : 1];
  bool physical = valid && request.ex_operation >= 2;
  ExtendedFillOutcome outcome;
  if (start.kind == FillStart::Kind::kTop) {
    ClearRecordBuffer(table);
    outcome.status = EngineAccess(table, op.position, request.key);
  } else {
    // Step reads walk physical order, which a get direct without a key sets.
    outcome.status = EngineGetDirect(table, start.position, physical ? -1 : request.key);
  }
  if (outcome.status != 0) {
    outcome.positioning_failed = true;
    return outcome;
  }
  Module &module = Module::Get();
  std::string saved_mode = module.ex_mode;
  bool begun = false;
  // The first read takes the positioned record itself (or, after a record, the next one);
  // the next ones go on after the last record examined.
  module.ex_mode = start.kind == FillStart::Kind::kAfter ? "UC" : "EG";
  for (bool first = true; rows_wanted < 0 || outcome.records < rows_wanted; first = false) {
    if (!first) module.ex_mode = "UC";
    int ask = rows_wanted < 0 ? request.max_records
                              : std::min(request.max_records, rows_wanted - outcome.records);
    int16_t id = -1, count = 0;
    outcome.status =
        ExAccess(op.read + request.lock_bias, table, request.condition, request.fields, request.key,
                 request.skip_records, ask, request.ignore_case, &id, &count);
    if (id < 0) break;  // refused (with its message) or a failed read: nothing stored
    if (!begun) {
      started();
      begun = true;
    }
    bool stopped = false;
    for (int r = 0; r < count && !stopped; ++r) {
      std::vector<std::string> texts;
      if (!ExGetRecordTexts(id, r, &texts)) break;
      ++outcome.records;
      stopped = !record(texts, ExGetPosition(id, r));
    }
    if (request.leave_results) {
      if (outcome.result_id < 0) {
        outcome.result_id = id;
      } else {
        AppendResult(outcome.result_id, id);
      }
    } else {
      ExFree(id);
    }
    if (stopped) {
      outcome.status = 0;
      break;
    }
    if (outcome.status != 0 || count == 0) break;
  }
  outcome.last_examined = EngineGetPosition(table);
  module.ex_mode = saved_mode;
  return outcome;
}

}  // namespace zelko
