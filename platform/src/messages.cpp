#include "zplatform/messages.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "zplatform/codepage.h"

namespace zplatform {
namespace {

MessageAnswer FirstButton(MessageButtons buttons) {
  switch (buttons) {
    case MessageButtons::kYesNo:
    case MessageButtons::kYesNoCancel:
      return MessageAnswer::kYes;
    case MessageButtons::kRetryCancel:
      return MessageAnswer::kRetry;
    default:
      return MessageAnswer::kOk;
  }
}

}  // namespace

MessageAnswer ConsolePresenter::Present(const MessageRequest &request) {
  std::string text = ToUtf8(request.text);
  if (!request.caption.empty()) {
    std::fprintf(stderr, "%s: %s\n", ToUtf8(request.caption).c_str(), text.c_str());
  } else {
    std::fprintf(stderr, "%s\n", text.c_str());
  }
  std::fflush(stderr);
  return FirstButton(request.buttons);
}

void ConsolePresenter::Beep() {
  std::fputc('\a', stderr);
  std::fflush(stderr);
}

MessageAnswer SilentPresenter::Present(const MessageRequest &request) {
  return FirstButton(request.buttons);
}

MessageAnswer RecordingPresenter::Present(const MessageRequest &request) {
  std::lock_guard<std::mutex> lock(mutex_);
  messages_.push_back(
      {ToUtf8(request.text), ToUtf8(request.caption), request.buttons, request.icon});
  if (answers_.empty()) return FirstButton(request.buttons);
  MessageAnswer a = answers_.front();
  answers_.pop_front();
  return a;
}

void RecordingPresenter::Beep() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++beeps_;
}

void RecordingPresenter::QueueAnswer(MessageAnswer answer) {
  std::lock_guard<std::mutex> lock(mutex_);
  answers_.push_back(answer);
}

std::vector<RecordingPresenter::Entry> RecordingPresenter::Messages() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return messages_;
}

std::vector<std::string> RecordingPresenter::Texts() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::string> texts;
  for (const Entry &e : messages_)
    texts.push_back(e.text);
  return texts;
}

int RecordingPresenter::BeepCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return beeps_;
}

void RecordingPresenter::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  messages_.clear();
  answers_.clear();
  beeps_ = 0;
}

MessageService::MessageService() : presenter_(std::make_shared<ConsolePresenter>()) {}

MessageService &MessageService::Instance() {
  static MessageService *service = new MessageService();  // never destroyed: used at exit
  return *service;
}

std::shared_ptr<MessagePresenter> MessageService::SetPresenter(
    std::shared_ptr<MessagePresenter> presenter) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto old = presenter_;
  presenter_ = presenter ? std::move(presenter) : std::make_shared<ConsolePresenter>();
  return old;
}

std::shared_ptr<MessagePresenter> MessageService::Presenter() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return presenter_;
}

MessageAnswer MessageService::Show(const MessageRequest &request) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    last_text_ = request.text;
  }
  // The presenter is called without the lock: a dialog may run a nested event loop.
  return Presenter()->Present(request);
}

MessageAnswer MessageService::ShowFormatted(MessageButtons buttons, MessageIcon icon,
                                            const char *format_utf8, ...) {
  va_list args;
  va_start(args, format_utf8);
  MessageRequest request;
  request.text = FormatCodePageV(format_utf8, args);
  va_end(args);
  request.buttons = buttons;
  request.icon = icon;
  return Show(request);
}

std::string MessageService::TakeLastText() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::string text;
  text.swap(last_text_);
  return text;
}

void MessageService::Beep() {
  Presenter()->Beep();
}

std::string FormatCodePageV(const char *format_utf8, va_list args) {
  format_utf8 = LocalizedFormat(format_utf8);
  std::string format = FromUtf8(format_utf8 != nullptr ? format_utf8 : "");
  va_list copy;
  va_copy(copy, args);
  int n = std::vsnprintf(nullptr, 0, format.c_str(), copy);
  va_end(copy);
  if (n <= 0) return std::string();
  std::vector<char> buf(static_cast<size_t>(n) + 1);
  std::vsnprintf(buf.data(), buf.size(), format.c_str(), args);
  return std::string(buf.data(), static_cast<size_t>(n));
}

std::string FormatCodePage(const char *format_utf8, ...) {
  va_list args;
  va_start(args, format_utf8);
  std::string s = FormatCodePageV(format_utf8, args);
  va_end(args);
  return s;
}

void Beep() {
  MessageService::Instance().Beep();
}

void FatalAppExit(const std::string &text_code_page) {
  MessageRequest request;
  request.text = text_code_page;
  request.icon = MessageIcon::kError;
  auto presenter = MessageService::Instance().Presenter();
  // The console presenter already writes to stderr.
  if (dynamic_cast<ConsolePresenter *>(presenter.get()) == nullptr) {
    std::fprintf(stderr, "%s\n", ToUtf8(text_code_page).c_str());
    std::fflush(stderr);
  }
  presenter->Present(request);
  std::fflush(nullptr);
  std::_Exit(kFatalExitStatus);
}

}  // namespace zplatform
