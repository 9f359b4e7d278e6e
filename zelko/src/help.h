// The help of the zelko program and of each command.
#pragma once

#include <string>

namespace zelkocli {

// The full help of a command ("" for the program's overview).
std::string HelpText(const std::string &command);
// "usage: zelko ..." line of a command, with its line end.
std::string UsageLine(const std::string &command);

}  // namespace zelkocli
