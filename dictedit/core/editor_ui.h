// Everything the editor shows or asks, so the same core serves the windows and the command
// line. Texts are code-page bytes.
#pragma once

#include <string>
#include <vector>

namespace dictedit {

class EditorUi {
 public:
  virtual ~EditorUi() = default;
  // A message; with `ok_cancel` the answer is true for OK. Without it the answer is true.
  virtual bool Message(const std::string &text, bool ok_cancel) = 0;
  // A file to write or read, proposed `name`, `filter` as "Text (*.txt)|*.txt", `title`.
  // False when the user cancels.
  virtual bool ChooseFile(bool save, const std::string &title, const std::string &filter,
                          std::string *name) = 0;
  // Index of a choice (fields of a table, say); -1 when cancelled.
  virtual int ChooseOne(const std::string &title, const std::vector<std::string> &entries) = 0;
  // Several entries (tables); false when cancelled.
  virtual bool ChooseSeveral(const std::string &title, const std::vector<std::string> &entries,
                             std::vector<int> *chosen) = 0;
  // A name typed by the user (form name); false when cancelled.
  virtual bool AskText(const std::string &title, std::string *text) = 0;
  virtual void StatusText(const std::string &text) = 0;
  virtual void WaitCursor(bool on) = 0;
};

// Shows a message formatted printf-style (UTF-8 format, code-page arguments) through `ui`.
bool ShowMessage(EditorUi &ui, bool ok_cancel, const char *format_utf8, ...)
    __attribute__((format(printf, 3, 4)));

// Shows a fixed text (UTF-8) as it stands.
bool ShowText(EditorUi &ui, bool ok_cancel, const char *text_utf8);

}  // namespace dictedit
