// The commands of the zelko program. Each takes its words after the command name and
// returns the exit status: 0 success, 1 a failure of the work, 2 a usage error.
#pragma once

#include <string>
#include <vector>

#include "session.h"

namespace zelkocli {

using Args = std::vector<std::string>;

int RunZelko(const Args &args, Streams io);

int CommandTables(const Args &args, Streams io);
int CommandFields(const Args &args, Streams io);
int CommandKeys(const Args &args, Streams io);
int CommandStat(const Args &args, Streams io);
int CommandCreate(const Args &args, Streams io);
int CommandCheck(const Args &args, Streams io);
int CommandDump(const Args &args, Streams io);
int CommandLoad(const Args &args, Streams io);
int CommandImportDictionary(const Args &args, Streams io);

// Options after the positional words: "--name value" or "--flag".
struct ParsedArgs {
  std::vector<std::string> positional;
  std::vector<std::pair<std::string, std::string>> options;
  bool help = false;
  std::string error;  // set when an option is unknown or lacks its value
  const std::string *Get(const std::string &name) const;
  bool Has(const std::string &name) const { return Get(name) != nullptr; }
};
// `valued` lists the options that take a value, `flags` those that do not.
ParsedArgs ParseArgs(const Args &args, const std::vector<std::string> &valued,
                     const std::vector<std::string> &flags);

}  // namespace zelkocli
