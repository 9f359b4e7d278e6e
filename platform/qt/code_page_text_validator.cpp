#include "code_page_text_validator.h"

#include <utility>

#include "zplatform/codepage.h"

namespace zplatform {

CodePageTextValidator::CodePageTextValidator(std::function<int()> limit,
                                             std::function<std::string()> before, QObject *parent)
    : QValidator(parent), limit_(std::move(limit)), before_(std::move(before)) {}

CodePageTextValidator::CodePageTextValidator(std::function<int()> limit, QLineEdit *edit)
    : QValidator(edit), limit_(std::move(limit)), shown_(edit->text().toStdString()) {
  before_ = [this] { return shown_; };
  connect(edit, &QLineEdit::textChanged, this,
          [this](const QString &text) { shown_ = text.toStdString(); });
}

QValidator::State CodePageTextValidator::validate(QString &input, int &) const {
  const CodePage &code_page = ActiveCodePage();
  std::string bytes, before_bytes;
  const bool whole = code_page.FromUtf8Holds(input.toStdString(), &bytes);
  const bool before_whole = !before_ || code_page.FromUtf8Holds(before_(), &before_bytes);
  // A text shown with characters the code page lacks (bytes that were no characters of it)
  // may still be edited.
  if (!whole && before_whole) return Invalid;
  const int limit = limit_();
  if (limit <= 0) return Acceptable;
  return bytes.size() > static_cast<size_t>(limit) && bytes.size() > before_bytes.size()
             ? Invalid
             : Acceptable;
}

}  // namespace zplatform
