// The fill of the extended list controls and the grid: the table positioned by the extended
// operation's kind, then extended reads repeated until the end of the file, a limit status
// or the caller's stop; each record handed over with its field texts and physical position.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zelko {

struct TableDescriptor;

struct ExtendedFillRequest {
  int ex_operation = 1;           // OpGetPrevEx 0, OpGetNextEx 1, OpStepPrevEx 2, OpStepNextEx 3
  std::string condition, fields;  // code page
  int key = 0, skip_records = 100, max_records = 300, lock_bias = 0;
  bool ignore_case = false, leave_results = false;
};

// The request from a control's properties (texts UTF-8, as the automation surface keeps them;
// `locks` the _enumLocks value, `compare_case` 1 to ignore case).
ExtendedFillRequest MakeExtendedFillRequest(int ex_operation, const std::string &condition,
                                            const std::string &fields, int key, int skip_records,
                                            int max_records, int locks, int compare_case,
                                            bool leave_results);

struct ExtendedFillOutcome {
  // What ended the fill: 0 (the caller stopped it, or the rows wanted were read), 9 (the end
  // of the file), a limit status (22, 60, 64, 65), another read status, or a negative status
  // after the message that refused the condition or the field list.
  int16_t status = 0;
  bool positioning_failed = false;  // `status` is that of positioning the table
  int16_t result_id = -1;           // the stored result, with leave_results
  int records = 0;                  // handed over
  int32_t last_examined = -1;       // the table's position after the last read
};

// Where a stretch of extended reads begins: positioned as the operation's kind asks (the
// first read includes that record), at a record (included), or after one.
struct FillStart {
  enum class Kind { kTop, kAt, kAfter } kind = Kind::kTop;
  int32_t position = 0;
};

// `started` runs before the first record is handed over (the list empties itself);
// `record` gets the texts (code page) and the position and answers false to stop.
ExtendedFillOutcome RunExtendedFill(
    TableDescriptor &table, const ExtendedFillRequest &request,
    const std::function<void()> &started,
    const std::function<bool(const std::vector<std::string> &, int32_t)> &record);

// The same reads from `start`, ending once `rows_wanted` records were handed over (-1: no
// such end); no read asks for more records than are still wanted.
ExtendedFillOutcome RunExtendedReads(
    TableDescriptor &table, const ExtendedFillRequest &request, const FillStart &start,
    int rows_wanted, const std::function<void()> &started,
    const std::function<bool(const std::vector<std::string> &, int32_t)> &record);

bool IsLimitStatus(int status);

// The names of a comma-separated field list, blanks around each removed, empty items left out.
std::vector<std::string> SplitFieldList(const std::string &list);

}  // namespace zelko
