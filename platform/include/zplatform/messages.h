// User messages. Every message the system shows goes through the one MessageService: it
// formats the text in the ANSI code page and hands it to the installed presenter, which
// shows it task-modally and returns the user's answer.
#pragma once

#include <cstdarg>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace zplatform {

enum class MessageButtons { kOk, kOkCancel, kYesNo, kYesNoCancel, kRetryCancel };
enum class MessageIcon { kNone, kInformation, kWarning, kError, kQuestion };
enum class MessageAnswer { kOk, kCancel, kYes, kNo, kRetry, kIgnore, kAbort };

struct MessageRequest {
  std::string text;     // code page bytes
  std::string caption;  // code page bytes; empty: the program's default caption
  MessageButtons buttons = MessageButtons::kOk;
  MessageIcon icon = MessageIcon::kNone;
  void *owner = nullptr;  // window (QWidget*) or null for none
};

// Shows messages. Implementations: console (stderr), recorder (tests), the Qt dialog of the
// GUI programs.
class MessagePresenter {
 public:
  virtual ~MessagePresenter() = default;
  virtual MessageAnswer Present(const MessageRequest &request) = 0;
  virtual void Beep() {}
};

// Writes to stderr in UTF-8 and answers with the first button (OK or Yes).
class ConsolePresenter : public MessagePresenter {
 public:
  MessageAnswer Present(const MessageRequest &request) override;
  void Beep() override;
};

// Shows nothing and answers with the first button (programs that report failures their own
// way, such as a scripting binding that raises the last message with its status).
class SilentPresenter : public MessagePresenter {
 public:
  MessageAnswer Present(const MessageRequest &request) override;
};

// Keeps every message (as UTF-8) and every beep, and answers from a script; an empty
// script answers with the first button.
class RecordingPresenter : public MessagePresenter {
 public:
  struct Entry {
    std::string text;     // UTF-8
    std::string caption;  // UTF-8
    MessageButtons buttons;
    MessageIcon icon;
  };
  MessageAnswer Present(const MessageRequest &request) override;
  void Beep() override;

  void QueueAnswer(MessageAnswer answer);
  std::vector<Entry> Messages() const;
  std::vector<std::string> Texts() const;  // UTF-8 texts in order
  int BeepCount() const;
  void Clear();

 private:
  mutable std::mutex mutex_;
  std::vector<Entry> messages_;
  std::deque<MessageAnswer> answers_;
  int beeps_ = 0;
};

class MessageService {
 public:
  static MessageService &Instance();

  // Installs a presenter (the previous one is returned). Null restores the console.
  std::shared_ptr<MessagePresenter> SetPresenter(std::shared_ptr<MessagePresenter> presenter);
  std::shared_ptr<MessagePresenter> Presenter() const;

  MessageAnswer Show(const MessageRequest &request);
  // Formats `format_utf8` (converted to the code page first) with printf-style arguments
  // whose strings are code-page bytes, and shows it with an OK button.
  MessageAnswer ShowFormatted(MessageButtons buttons, MessageIcon icon, const char *format_utf8,
                              ...) __attribute__((format(printf, 4, 5)));
  void Beep();
  // The text (code page) of the last message shown since the previous call; then forgets it.
  std::string TakeLastText();

 private:
  MessageService();
  mutable std::mutex mutex_;
  std::shared_ptr<MessagePresenter> presenter_;
  std::string last_text_;
};

// printf-style formatting of a UTF-8 format whose result is code-page bytes (the format is
// converted to the code page, string arguments are code-page bytes already).
std::string FormatCodePage(const char *format_utf8, ...) __attribute__((format(printf, 1, 2)));
std::string FormatCodePageV(const char *format_utf8, va_list args);

// True when the locale (LC_ALL, LC_MESSAGES, LANG, then LANGUAGE) asks for English; a C or
// POSIX locale shows the system's own texts.
bool EnglishMessagesWanted();
// The format to show for one of the system's message formats: its English translation when
// the locale asks for English and one exists, else the format itself.
const char *LocalizedFormat(const char *format_utf8);
// Every message format with its translation (for tests).
std::vector<std::pair<std::string, std::string>> MessageTranslations();
// The printf conversions of a format, in order ("d;s;"), for checking translations.
std::string ConversionsOf(const char *format);

// The system's exclamation sound.
void Beep();

// Shows `text_code_page` to the presenter and on stderr, then ends the process with a
// non-zero status (kFatalExitStatus).
[[noreturn]] void FatalAppExit(const std::string &text_code_page);
constexpr int kFatalExitStatus = 3;

}  // namespace zplatform
