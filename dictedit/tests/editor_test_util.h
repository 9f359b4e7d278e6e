// A user interface that records every message and answers from a script.
#pragma once

#include <signal.h>
#include <sys/resource.h>

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "editor_ui.h"
#include "zplatform/codepage.h"
#include "zplatform/messages.h"

namespace dictedit {

// In a child process: no file may grow past `bytes`, as on a disk that is nearly full; a
// write beyond fails (EFBIG) instead of ending the process.
inline void LimitFileSizes(uintmax_t bytes) {
  signal(SIGXFSZ, SIG_IGN);
  rlimit limit{static_cast<rlim_t>(bytes), static_cast<rlim_t>(bytes)};
  setrlimit(RLIMIT_FSIZE, &limit);
}

// Messages arrive through the MessageService, whose presenter it is while it lives.
class RecordingUi : public EditorUi {
 public:
  RecordingUi() : presenter_(std::make_shared<Presenter>(this)) {
    previous_ = zplatform::MessageService::Instance().SetPresenter(presenter_);
  }
  ~RecordingUi() override { zplatform::MessageService::Instance().SetPresenter(previous_); }
  RecordingUi(const RecordingUi &) = delete;
  RecordingUi &operator=(const RecordingUi &) = delete;
  bool ChooseFile(bool, const std::string &title, const std::string &filter,
                  std::string *name) override {
    file_requests.push_back(zplatform::ToUtf8(*name + "|" + title + "|" + filter));
    if (file_answer.empty()) return false;  // never a file of the working directory
    *name = file_answer;
    return true;
  }
  int ChooseOne(const std::string &, const std::vector<std::string> &) override { return 0; }
  bool ChooseSeveral(const std::string &, const std::vector<std::string> &entries,
                     std::vector<int> *chosen) override {
    choice_entries = entries;
    for (size_t i = 0; i < entries.size(); ++i)
      chosen->push_back(static_cast<int>(i));
    return true;
  }
  bool AskText(const std::string &, std::string *text) override {
    text_requests.push_back(zplatform::ToUtf8(*text));
    return true;
  }
  void StatusText(const std::string &text) override { status = text; }
  void WaitCursor(bool) override {}

  std::string Last() const { return messages.empty() ? std::string() : messages.back(); }
  std::vector<std::string> messages;
  std::deque<bool> answers;
  std::vector<std::string> choice_entries;
  std::string status;
  std::string file_answer;
  std::vector<std::string> file_requests;  // proposed name|title|filter
  std::vector<std::string> text_requests;

 private:
  class Presenter : public zplatform::MessagePresenter {
   public:
    explicit Presenter(RecordingUi *ui) : ui_(ui) {}
    zplatform::MessageAnswer Present(const zplatform::MessageRequest &r) override {
      ui_->messages.push_back(zplatform::ToUtf8(r.text));
      bool question = r.buttons != zplatform::MessageButtons::kOk;
      if (!question || ui_->answers.empty()) return zplatform::MessageAnswer::kOk;
      bool ok = ui_->answers.front();
      ui_->answers.pop_front();
      return ok ? zplatform::MessageAnswer::kOk : zplatform::MessageAnswer::kCancel;
    }

   private:
    RecordingUi *ui_;
  };
  std::shared_ptr<Presenter> presenter_;
  std::shared_ptr<zplatform::MessagePresenter> previous_;
};

}  // namespace dictedit
