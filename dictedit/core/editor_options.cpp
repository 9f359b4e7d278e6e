#include "editor_options.h"

#include <strings.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>

#include "editor_messages.h"
#include "zplatform/profile.h"

namespace dictedit {

namespace {

constexpr const char *kSection = "dicteditp";
constexpr const char *kIni = "zelko.ini";

bool ReadYesNo(const char *key, const char *default_value) {
  char buffer[12] = {};
  zplatform::GetPrivateProfileString(kSection, key, default_value, buffer, sizeof buffer, kIni);
  return strcasecmp(buffer, "yes") == 0;
}

int ReadNumberText(const char *key, const char *default_value) {
  char buffer[12] = {};
  zplatform::GetPrivateProfileString(kSection, key, default_value, buffer, sizeof buffer, kIni);
  return std::atoi(buffer);
}

struct Key {
  const char *name;
  bool EditorOptions::*flag;
  int EditorOptions::*number;
};
// The order in which the keys are written.
const Key kKeys[] = {{"upper_field", &EditorOptions::upper_field, nullptr},
                     {"ime_on_at_field", &EditorOptions::ime_on_at_field, nullptr},
                     {"openwin_at_read", &EditorOptions::openwin_at_read, nullptr},
                     {"renumber_ddf_at_read", &EditorOptions::renumber_ddf_at_read, nullptr},
                     {"zero_offset", &EditorOptions::zero_offset, nullptr},
                     {"fields_per_page", nullptr, &EditorOptions::fields_per_page},
                     {"form_version", nullptr, &EditorOptions::form_version},
                     {"data_conv_mode", &EditorOptions::data_conv_mode, nullptr},
                     {"id_format", nullptr, &EditorOptions::id_format},
                     {"maxmize_at_open", nullptr, &EditorOptions::maxmize_at_open}};

}  // namespace

EditorOptions LoadOptions() {
  EditorOptions o;
  o.upper_field = ReadYesNo("upper_field", "Yes");
  o.ime_on_at_field = ReadYesNo("ime_on_at_field", "Yes");
  o.renumber_ddf_at_read = ReadYesNo("renumber_ddf_at_read", "No");
  o.openwin_at_read = ReadYesNo("openwin_at_read", "Yes");
  o.zero_offset = ReadYesNo("zero_offset", "No");
  o.fields_per_page = ReadNumberText("fields_per_page", "40");
  if (o.fields_per_page == 0) o.fields_per_page = 40;
  o.form_version = ReadNumberText("form_version", "5");
  o.data_conv_mode = ReadYesNo("data_conv_mode", "Yes");
  o.id_format = static_cast<int>(zplatform::GetPrivateProfileInt(kSection, "id_format", 0, kIni));
  o.maxmize_at_open =
      static_cast<int>(zplatform::GetPrivateProfileInt(kSection, "maxmize_at_open", 1, kIni));
  o.null_key = static_cast<int>(zplatform::GetPrivateProfileInt("zelko", "null_key", 0, kIni));
  return o;
}

bool SaveOptions(const EditorOptions &o, EditorUi &ui) {
  bool all = true;
  for (const Key &k : kKeys) {
    std::string value = k.flag ? (o.*k.flag ? "Yes" : "No") : std::to_string(o.*k.number);
    if (!zplatform::WritePrivateProfileString(kSection, k.name, value.c_str(), kIni)) {
      ShowText(ui, false, msg::kVE1031);
      all = false;
    }
  }
  return all;
}

bool IsOptionKey(const std::string &key) {
  return std::any_of(std::begin(kKeys), std::end(kKeys),
                     [&](const Key &k) { return key == k.name; });
}

bool SetOption(EditorOptions &o, const std::string &key, const std::string &value, EditorUi &ui) {
  for (const Key &k : kKeys) {
    if (key != k.name) continue;
    if (k.flag) {
      if (strcasecmp(value.c_str(), "yes") != 0 && strcasecmp(value.c_str(), "no") != 0)
        return false;
      o.*k.flag = strcasecmp(value.c_str(), "yes") == 0;
      return true;
    }
    char *end = nullptr;
    errno = 0;
    long v = std::strtol(value.c_str(), &end, 10);
    // Past an int's range the value would be kept as what is left of it.
    if (value.empty() || *end != '\0' || errno != 0 || v < INT_MIN || v > INT_MAX) return false;
    if (key == "fields_per_page" && v < 1) {
      ShowText(ui, false, msg::kVE1051);
      return false;
    }
    if (key == "form_version" && v != 5 && v != 4 && v != 2) return false;
    o.*k.number = static_cast<int>(v);
    return true;
  }
  return false;
}

std::string OptionsText(const EditorOptions &o) {
  std::string text;
  for (const Key &k : kKeys) {
    text += std::string(k.name) + "=" +
            (k.flag ? (o.*k.flag ? "Yes" : "No") : std::to_string(o.*k.number)) + "\n";
  }
  text += "null_key=" + std::to_string(o.null_key) + "\n";
  return text;
}

}  // namespace dictedit
