// The editor's questions in a fuzz run: every file, choice and text dialog is cancelled.
#pragma once

#include <string>
#include <vector>

#include "editor_ui.h"

namespace dictedit {

class FuzzUi : public EditorUi {
 public:
  bool ChooseFile(bool, const std::string &, const std::string &, std::string *) override {
    return false;
  }
  int ChooseOne(const std::string &, const std::vector<std::string> &) override { return -1; }
  bool ChooseSeveral(const std::string &, const std::vector<std::string> &,
                     std::vector<int> *) override {
    return false;
  }
  bool AskText(const std::string &, std::string *) override { return false; }
  void StatusText(const std::string &) override {}
  void WaitCursor(bool) override {}
};

}  // namespace dictedit
