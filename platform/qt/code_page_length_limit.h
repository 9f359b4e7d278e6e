// A line edit's limit counted in code-page bytes, as the edit boxes of the platform the
// system comes from counted it: a double-byte character takes two.
#pragma once

#include <QValidator>
#include <functional>
#include <string>

namespace zplatform {

class CodePageLengthLimit : public QValidator {
 public:
  // `limit`: the bytes the box takes, none when 0 or less. `before`: the text a change
  // replaces (UTF-8); with it, a text the program set past the limit stays and may shrink,
  // and only growing past the limit is refused. Without it every text past the limit is.
  CodePageLengthLimit(std::function<int()> limit, std::function<std::string()> before,
                      QObject *parent);
  State validate(QString &input, int &) const override;

 private:
  std::function<int()> limit_;
  std::function<std::string()> before_;
};

}  // namespace zplatform
