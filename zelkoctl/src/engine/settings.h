// The module's settings from zelko.ini section "zelko300" (and win.ini [intl] sShortDate),
// read once when the module loads.
#pragma once

#include <string>

namespace zelko {

struct ConversionSettings {
  bool fill_space = true;       // pad String fields with spaces
  bool two_digit_year = false;  // sShortDate "YY/MM/DD"
  int float_size = 10;          // significant digits of Float and BFloat texts
  int year_2000 = 0;            // two-digit style: non-zero means 20yy
  int sign_nibble = 15;         // sign nibble of non-negative Decimal and Money
  int fix_str_addr = 0;         // string return mode of the flat exports
  int file_flag = 130;          // file flags of created data files
  int null_key = 0;             // null value byte of created key segments
  int form_mode = 3;            // operation button form mode
  int delayed_resolve = 0;      // lazy catalog loading

  // The first year of the century two-digit years stand in: 2000 or 1900.
  int TwoDigitCentury() const { return year_2000 != 0 ? 2000 : 1900; }

  // Reads zelko.ini; shows VE823 for a sign nibble other than 15 or 12.
  static ConversionSettings Load();
};

// The grid's limits, [zelko300] grid_max_col (64) and grid_max_row (250), read when a grid
// is created.
struct GridLimits {
  int max_cols = 64, max_rows = 250;
  // The most records one read of a grid asks for; a grid that may hold more rows reads them
  // this many at a time as they are shown (0: every row at once).
  int page_rows = 1000;
  static GridLimits Load();
};

}  // namespace zelko
