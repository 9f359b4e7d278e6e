#include "code_page_length_limit.h"

#include <utility>

#include "zplatform/codepage.h"

namespace zplatform {

CodePageLengthLimit::CodePageLengthLimit(std::function<int()> limit,
                                         std::function<std::string()> before, QObject *parent)
    : QValidator(parent), limit_(std::move(limit)), before_(std::move(before)) {}

QValidator::State CodePageLengthLimit::validate(QString &input, int &) const {
  const int limit = limit_();
  if (limit <= 0) return Acceptable;
  const size_t bytes = FromUtf8(input.toStdString()).size();
  const size_t before = before_ ? FromUtf8(before_()).size() : 0;
  return bytes > static_cast<size_t>(limit) && bytes > before ? Invalid : Acceptable;
}

}  // namespace zplatform
