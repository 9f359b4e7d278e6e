// Everything the editor asks, so the same core serves the windows and the command line. Its
// messages go through the platform's MessageService, as every message of the system does.
// Texts are code-page bytes.
#pragma once

#include <string>
#include <vector>

namespace dictedit {

class EditorUi {
 public:
  virtual ~EditorUi() = default;
  // The window messages belong to (a QWidget*), or null.
  virtual void *MessageOwner() { return nullptr; }
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

// Shows a message formatted printf-style (UTF-8 format, code-page arguments) over `ui`'s
// window: a question with OK and Cancel (true for OK) when `ok_cancel`, else a warning with OK
// (true).
bool ShowMessage(EditorUi &ui, bool ok_cancel, const char *format_utf8, ...)
    __attribute__((format(printf, 3, 4)));
// Shows a fixed text (UTF-8) as it stands, as ShowMessage does.
bool ShowText(EditorUi &ui, bool ok_cancel, const char *text_utf8);
// A message that reports work done (an information, not a warning).
void ShowNotice(EditorUi &ui, const char *format_utf8, ...) __attribute__((format(printf, 2, 3)));

}  // namespace dictedit
