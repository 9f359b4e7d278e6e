#include <algorithm>

#include "commands.h"
#include "help.h"
#include "zplatform/program.h"
#include "zplatform/servers.h"

namespace zelkocli {

const std::string *ParsedArgs::Get(const std::string &name) const {
  for (const auto &o : options) {
    if (o.first == name) return &o.second;
  }
  return nullptr;
}

ParsedArgs ParseArgs(const Args &args, const std::vector<std::string> &valued,
                     const std::vector<std::string> &flags) {
  ParsedArgs parsed;
  auto contains = [](const std::vector<std::string> &list, const std::string &s) {
    return std::find(list.begin(), list.end(), s) != list.end();
  };
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string &a = args[i];
    if (a == "--help" || a == "-h") {
      parsed.help = true;
    } else if (a.size() > 2 && a.compare(0, 2, "--") == 0) {
      std::string name = a;
      std::string value;
      bool inline_value = false;
      if (size_t eq = a.find('='); eq != std::string::npos) {
        name = a.substr(0, eq);
        value = a.substr(eq + 1);
        inline_value = true;
      }
      if (contains(valued, name)) {
        if (!inline_value) {
          if (i + 1 >= args.size()) {
            parsed.error = "zelko: option " + name + " needs a value";
            return parsed;
          }
          value = args[++i];
        }
        parsed.options.emplace_back(name, value);
      } else if (contains(flags, name) && !inline_value) {
        parsed.options.emplace_back(name, "");
      } else {
        parsed.error = "zelko: unknown option " + a;
        return parsed;
      }
    } else {
      parsed.positional.push_back(a);
    }
  }
  return parsed;
}

int RunZelko(const Args &args, Streams io) {
  if (args.empty()) {
    io.err << HelpText("");
    return 2;
  }
  const std::string &command = args[0];
  if (command == "--help" || command == "-h" || command == "help") {
    io.out << HelpText(args.size() > 1 ? args[1] : "");
    return 0;
  }
  if (command == "--version" || command == "version") {
    io.out << zplatform::VersionLine("zelko");
    return 0;
  }
  // Files of a directory meant for a server would be kept on this disk without a word.
  for (const std::string &entry : zplatform::IgnoredServerEntries())
    io.err << "zelko: " << entry << "\n";
  Args rest(args.begin() + 1, args.end());
  static const struct {
    const char *name;
    int (*run)(const Args &, Streams);
  } kCommands[] = {{"tables", CommandTables},
                   {"fields", CommandFields},
                   {"keys", CommandKeys},
                   {"stat", CommandStat},
                   {"create", CommandCreate},
                   {"check", CommandCheck},
                   {"dump", CommandDump},
                   {"load", CommandLoad},
                   {"import-dictionary", CommandImportDictionary}};
  for (const auto &c : kCommands) {
    if (command == c.name) return c.run(rest, io);
  }
  io.err << "zelko: unknown command \"" << command << "\"\n" << UsageLine("");
  return 2;
}

}  // namespace zelkocli
