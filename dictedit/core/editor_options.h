// The editor's options: section "dicteditp" of zelko.ini, and null_key of section "zelko".
#pragma once

#include "editor_ui.h"

namespace dictedit {

struct EditorOptions {
  bool upper_field = true;
  bool ime_on_at_field = true;
  bool renumber_ddf_at_read = false;
  bool openwin_at_read = true;
  bool zero_offset = false;
  int fields_per_page = 40;
  int form_version = 5;
  bool data_conv_mode = true;
  int id_format = 0;
  int maxmize_at_open = 1;
  int null_key = 0;
};

EditorOptions LoadOptions();
// Writes the ten keys of "dicteditp"; VE1031 for each key that cannot be written (the
// others are still written). False when any failed.
bool SaveOptions(const EditorOptions &options, EditorUi &ui);
// Whether `key` names one of the options.
bool IsOptionKey(const std::string &key);
// Sets one option by its key name from text ("Yes"/"No" or a number); false for an unknown
// key or a value the options dialog refuses (VE1051 for fields_per_page below 1).
bool SetOption(EditorOptions &options, const std::string &key, const std::string &value,
               EditorUi &ui);
// "key=value" lines in the order the file keeps them.
std::string OptionsText(const EditorOptions &options);

}  // namespace dictedit
