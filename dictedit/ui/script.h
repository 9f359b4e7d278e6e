// What a macro has said the next dialogs, questions and file choices answer. While a macro
// runs, nothing waits for a person: each dialog takes its queued values and closes with the
// queued button, each question takes the queued answer (OK when none is queued).
#pragma once

#include <deque>
#include <map>
#include <string>

namespace dictedit {

struct Script {
  bool active = false;
  std::deque<std::string> answers;            // "OK", "Cancel", "Yes", "No"
  std::map<std::string, std::string> fields;  // dialog field label → value (UTF-8)
  std::string button;                         // the next dialog's button; empty: its OK
  std::deque<std::string> files, texts;       // file dialogs, text questions (UTF-8)
  std::deque<std::string> choices;            // entries chosen (UTF-8)
  std::string last_message;                   // UTF-8
};

Script &TheScript();

}  // namespace dictedit
