// A line edit that takes what a text of the code page can hold, as the ANSI edit boxes of the
// platform the system comes from did: only characters the code page has (any other would be
// stored as "?"), and a limit counted in code-page bytes (a double-byte character takes two).
#pragma once

#include <QLineEdit>
#include <QValidator>
#include <functional>
#include <string>

namespace zplatform {

class CodePageTextValidator : public QValidator {
 public:
  // `limit`: the bytes the box takes, none when 0 or less. `before`: the text a change
  // replaces (UTF-8); with it, a text the program set stays as it is and may shrink: only
  // growing past the limit, or a character the code page lacks in a text that had none, is
  // refused. Without it every such text is.
  CodePageTextValidator(std::function<int()> limit, std::function<std::string()> before,
                        QObject *parent);
  // For `edit`, with the text it last showed as `before`: while a change is checked, the
  // edit's own text() is already the changed one.
  CodePageTextValidator(std::function<int()> limit, QLineEdit *edit);
  // A text the program is about to set (QLineEdit checks it before it says it changed).
  void Showing(const std::string &text) { shown_ = text; }
  State validate(QString &input, int &) const override;

 private:
  std::function<int()> limit_;
  std::function<std::string()> before_;
  std::string shown_;
};

}  // namespace zplatform
