// create and check: data files made from the dictionary, and both verified.
#include <sys/stat.h>

#include "btrieve/btrapi.h"
#include "commands.h"
#include "dictionary_rules.h"
#include "engine/table_access.h"
#include "help.h"
#include "key_specs.h"
#include "zplatform/codepage.h"
#include "zplatform/paths.h"
#include "zplatform/servers.h"

namespace zelkocli {

namespace {

bool Exists(const std::string &path) {
  std::string native = zplatform::NativePathOrSelf(path);
  struct stat st {};
  if (::stat(native.c_str(), &st) == 0) return true;
  // A server's file: there unless the record manager says it is not.
  return !zplatform::ServerFor(native).empty() && btrieve::FileIsThere(path.c_str());
}

}  // namespace

int CommandCreate(const Args &args, Streams io) {
  ParsedArgs parsed = ParseArgs(args, {}, {"--all", "--replace", "--allow-outside"});
  if (parsed.help) {
    io.out << HelpText("create");
    return 0;
  }
  bool all = parsed.Has("--all");
  if (!parsed.error.empty() || parsed.positional.size() != (all ? 1u : 2u)) {
    io.err << (parsed.error.empty() ? "zelko create: give DIR and a TABLE or --all" : parsed.error)
           << "\n"
           << UsageLine("create");
    return 2;
  }
  auto catalog = OpenDictionary(parsed.positional[0], io.err);
  if (!catalog) return 1;
  std::vector<zelko::TableDescriptor *> tables;
  if (all) {
    for (zelko::TableDescriptor &t : catalog->tables)
      tables.push_back(&t);
  } else {
    zelko::TableDescriptor *t = FindTable(*catalog, parsed.positional[1], io.err);
    if (t == nullptr) return 1;
    tables.push_back(t);
  }
  int failures = 0;
  for (zelko::TableDescriptor *t : tables) {
    std::string path = DataFilePath(*catalog, *t);
    if (std::string unmapped = UnmappedPathReason(path); !unmapped.empty()) {
      io.err << "zelko: cannot create " << Utf8(path) << ": " << unmapped << "\n";
      ++failures;
      continue;
    }
    // A location with ".." or an absolute path may point anywhere: creating there takes
    // the user's word for it.
    if (!parsed.Has("--allow-outside") && !InsideDictionary(*catalog, path)) {
      io.err << "zelko: " << Utf8(path) << " lies outside the dictionary's directory; "
             << "--allow-outside creates it there\n";
      ++failures;
      continue;
    }
    if (Exists(path) && !parsed.Has("--replace")) {
      io.err << "zelko: " << Utf8(path)
             << " exists; --replace creates it anew, without its records\n";
      ++failures;
      continue;
    }
    int16_t status = zelko::EngineCreate(*catalog, *t, path);
    if (status != 0) {
      io.err << "zelko: cannot create " << Utf8(path) << ": " << StatusPhrase(status) << "\n";
      ++failures;
      continue;
    }
    io.out << "created " << Utf8(path) << '\n';
  }
  return failures == 0 ? 0 : 1;
}

int CommandCheck(const Args &args, Streams io) {
  ParsedArgs parsed = ParseArgs(args, {"--owner"}, {});
  if (parsed.help) {
    io.out << HelpText("check");
    return 0;
  }
  if (!parsed.error.empty() || parsed.positional.empty() || parsed.positional.size() > 2) {
    io.err << (parsed.error.empty() ? "zelko check: wrong number of arguments" : parsed.error)
           << "\n"
           << UsageLine("check");
    return 2;
  }
  auto catalog = OpenDictionary(parsed.positional[0], io.err);
  if (!catalog) return 1;
  std::string owner =
      parsed.Has("--owner") ? zplatform::FromUtf8(*parsed.Get("--owner")) : std::string();
  int problems = 0;
  auto report = [&](const std::string &who, const std::string &what) {
    io.out << who << ": " << what << '\n';
    ++problems;
  };
  std::vector<zelko::TableDescriptor *> tables;
  if (parsed.positional.size() == 2) {
    zelko::TableDescriptor *t = FindTable(*catalog, parsed.positional[1], io.err);
    if (t == nullptr) return 1;
    tables.push_back(t);
  } else {
    for (const std::string &line : CheckCatalogRules(*catalog))
      report("dictionary", line);
    for (zelko::TableDescriptor &t : catalog->tables)
      tables.push_back(&t);
  }
  for (zelko::TableDescriptor *t : tables) {
    std::string name = Utf8(t->name);
    size_t before = problems;
    for (const std::string &line : CheckTableRules(*t))
      report(name, line);
    std::string path = DataFilePath(*catalog, *t);
    if (!Exists(path)) {
      io.out << name << ": no data file " << Utf8(path) << '\n';
      continue;
    }
    std::vector<std::string> file_problems;
    int16_t checked = BTRCHECKFILE(
        path.c_str(),
        [](const char *problem, void *list) {
          static_cast<std::vector<std::string> *>(list)->push_back(problem);
        },
        &file_problems);
    if (checked != 0) {
      if (!file_problems.empty()) file_problems.back() += LegacyFileHint(path);
      for (const std::string &p : file_problems)
        report(name, Utf8(path) + ": " + p);
    } else {
      std::vector<uint8_t> stat;
      int16_t status = StatDataFile(path, owner, &stat);
      if (status != 0) {
        report(name, Utf8(path) + ": " + StatusPhrase(status));
      } else {
        for (const std::string &d : CompareFileSpecs(DictionaryFileSpec(*t), ReadFileSpec(stat))) {
          report(name, Utf8(path) + ": " + d);
        }
      }
    }
    if (static_cast<size_t>(problems) == before) io.out << name << ": ok\n";
  }
  return problems == 0 ? 0 : 1;
}

}  // namespace zelkocli
