// dictedit --batch DIR COMMAND ARGS...: the editor's commands without windows.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include <memory>

#include "editor_ui.h"
#include "zplatform/messages.h"

namespace dictedit {

// Messages on a stream (UTF-8), through a presenter installed for its lifetime; questions
// answered OK, or Cancel when `cancel`. A question whose OK throws a data file's records
// away (replace it, delete it) is answered OK only when `discard_data`: nobody is there to
// weigh it.
class ConsoleUi : public EditorUi {
 public:
  ConsoleUi(std::ostream &messages, bool cancel, bool discard_data);
  ~ConsoleUi() override;
  bool ChooseFile(bool save, const std::string &title, const std::string &filter,
                  std::string *name) override;
  int ChooseOne(const std::string &title, const std::vector<std::string> &entries) override;
  bool ChooseSeveral(const std::string &title, const std::vector<std::string> &entries,
                     std::vector<int> *chosen) override;
  bool AskText(const std::string &title, std::string *text) override;
  void StatusText(const std::string &) override {}
  // Answers of the next file dialog, name dialog and choice (by entry text; none: all).
  std::string file_answer;
  std::string text_answer;
  std::vector<std::string> choice_answer;
  void WaitCursor(bool) override {}
  // True once a message that reports a failure was shown (questions and notices of work
  // done are not failures).
  bool ShowedFailure() const;

 private:
  class Presenter;
  bool cancel_;
  std::shared_ptr<Presenter> presenter_;
  std::shared_ptr<zplatform::MessagePresenter> previous_;
};

struct DdfTable;
class DdfDictionary;
// Writes a table's listing as a PDF file (0, or 1 after a message); the windows' part of the
// program provides it, the core has no drawing.
using ListingPdfWriter = int (*)(DdfDictionary &dict, const DdfTable &table,
                                 const std::string &path);
void SetListingPdfWriter(ListingPdfWriter writer);

// The usage, every command and the chaining, with an example.
std::string BatchHelp();

// `args` are the words after "--batch". The exit status: 0 done, 1 refused or failed, 2 usage.
int RunBatch(const std::vector<std::string> &args, std::ostream &out, std::ostream &err);

}  // namespace dictedit
