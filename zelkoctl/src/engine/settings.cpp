#include "settings.h"

#include <algorithm>

#include "messages.h"
#include "zplatform/ascii.h"
#include "zplatform/profile.h"

namespace zelko {
namespace {

constexpr const char *kIni = "zelko.ini";
constexpr const char *kSection = "zelko300";

int Int(const char *key, int def) {
  return static_cast<int>(zplatform::GetPrivateProfileInt(kSection, key, def, kIni));
}

}  // namespace

ConversionSettings ConversionSettings::Load() {
  ConversionSettings s;
  std::string fill = zplatform::ProfileString(kSection, "fill_space", "yes", kIni);
  for (char &c : fill) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  s.fill_space = fill != "no";
  std::string date = zplatform::ProfileString(kSection, "sShortDate", "", kIni);
  if (date.empty()) date = zplatform::ProfileString("intl", "sShortDate", "", "win.ini");
  s.two_digit_year = zplatform::UpperAscii(date) == "YY/MM/DD";
  s.float_size = Int("float_size", 10);
  s.year_2000 = Int("year_2000", 0);
  s.sign_nibble = Int("sign_nibble", 15);
  if (s.sign_nibble != 15 && s.sign_nibble != 12) ShowMessage(msg::kVE823);
  s.fix_str_addr = Int("fix_str_addr", 0);
  s.file_flag = Int("file_flag", 130);
  s.null_key = Int("null_key", 0);
  s.form_mode = Int("form_mode", 3);
  s.delayed_resolve = Int("delayed_resolve", 0);
  return s;
}

GridLimits GridLimits::Load() {
  GridLimits limits;
  limits.max_cols = std::max(1, Int("grid_max_col", 64));
  limits.max_rows = std::max(1, Int("grid_max_row", 250));
  limits.page_rows = std::max(0, Int("grid_page_rows", 1000));
  return limits;
}

}  // namespace zelko
