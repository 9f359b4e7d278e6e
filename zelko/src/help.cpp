#include "help.h"

namespace zelkocli {

namespace {
struct CommandHelp {
  const char *name;
  const char *usage;
  const char *text;
};

const CommandHelp kCommands[] = {
    {"tables", "zelko tables DIR",
     "Lists the tables of the dictionary in DIR: file ID, name, data file location.\n"},
    {"fields", "zelko fields DIR TABLE",
     "Lists the fields of TABLE: name, type, size, decimals and offset in the record.\n"},
    {"keys", "zelko keys DIR TABLE",
     "Lists the keys of TABLE as the dictionary defines them: key number, index position,\n"
     "named indexes, and each segment with its field, type, offset, length and flags.\n"},
    {"stat", "zelko stat DIR TABLE [--owner NAME]",
     "Shows the data file of TABLE as the record manager reports it: record length, record\n"
     "count, page size and keys, and whether they match the dictionary (exit 1 when not).\n"},
    {"create", "zelko create DIR TABLE|--all [--replace] [--allow-outside]",
     "Creates the data file of TABLE (or of every table) from the dictionary. An existing\n"
     "file is kept unless --replace is given; replacing it discards its records. A data file\n"
     "whose location lies outside DIR (\"..\", an absolute path) is created only with\n"
     "--allow-outside.\n"},
    {"import-dictionary", "zelko import-dictionary SRC_DIR DEST_DIR",
     "Imports a genuine Btrieve dictionary (FILE.DDF, FIELD.DDF, INDEX.DDF of SRC_DIR) into a\n"
     "new dictionary in DEST_DIR, then every data file it names, into files of the record\n"
     "manager at the same locations under DEST_DIR (each verified as btrimport does), and\n"
     "ends with zelko check DEST_DIR. A report line per table: records read and written, or\n"
     "why the table was refused. SRC_DIR is never written. Exit 1 when anything is refused.\n"},
    {"check", "zelko check DIR [TABLE]",
     "Checks the dictionary's own rules and every data file (or TABLE's): the record\n"
     "manager's integrity check and the file's specification against the dictionary.\n"
     "Exit 1 when anything is wrong. A table without a data file is reported, not failed.\n"},
    {"dump",
     "zelko dump DIR TABLE [--key NAME] [--where CONDITION] [--format csv|tsv|jsonl] [--typed] "
     "[--iso-dates] [--owner NAME]",
     "Writes the records of TABLE to standard output, in physical order or in the order of\n"
     "the key NAME (a named index or a key number). The first line names the fields.\n"
     "A null key has no place for records holding its null value: along one, dump says\n"
     "how many records it left out.\n"
     "  --format csv    RFC 4180 (the default); tsv: tab separated with \\t \\n \\r \\\\ escapes;\n"
     "                 jsonl: one JSON object per record, keyed by field name\n"
     "  --typed         with jsonl: numbers as JSON numbers, Logical 0 and 1 as false and\n"
     "                 true, the empty date as null (every other value stays a string)\n"
     "  --iso-dates     dates as YYYY-MM-DD\n"
     "  --where         a search condition: @FIELD OP VALUE joined by & (and) or | (or),\n"
     "                 OP one of = <> < > <= >=, VALUE quoted with \" ' or / when it holds\n"
     "                 blanks, @FIELD on the right to compare two fields; a VALUE its\n"
     "                 field cannot hold as written, or none at all, is refused (\"\" is\n"
     "                 the empty value); dates YYYY/MM/DD or YYYY-MM-DD;\n"
     "                 example: --where \"@NAME = '山田太郎' | @CREDIT >= 1000\"\n"},
    {"load",
     "zelko load DIR TABLE FILE [--format csv|tsv|jsonl] [--update-by KEY] [--stop-on-error] "
     "[--batch N] [--owner NAME]",
     "Loads FILE (UTF-8, a header row naming fields of TABLE in any order, any subset) into\n"
     "TABLE. FILE is read as dump writes it: CSV, TSV, or JSON Lines (the first object's\n"
     "keys are the header; every object names the same keys; numbers, true, false and null\n"
     "are read as dump --typed writes them); the format follows the name (.tsv, .jsonl) or\n"
     "--format. Dates are read as YYYY/MM/DD or YYYY-MM-DD, numbers with an exponent\n"
     "(1.5e3) as the same numbers without one.\n"
     "Each row is inserted; with --update-by KEY (a unique key) a row whose key value exists\n"
     "updates that record instead (fields not in the file keep their values); a row\n"
     "holding a null key's null value is rejected, as the key finds no record by it.\n"
     "Every value is checked against its field before anything is written: a row that does\n"
     "not fit or that the record manager refuses is reported with its line number and left\n"
     "out. Rows are written in transactions of 100,000 rows, each ended after two seconds\n"
     "at the latest so other writers never wait long; --batch N makes them N rows (0: no\n"
     "transactions). --stop-on-error ends the load at the first rejected row (the rows\n"
     "before it stay). A row refused for want of room, an I/O error or a lost server ends\n"
     "the load there, as no later row could be written. FILE - reads standard input.\n"
     "Standard input or a pipe is kept in a temporary file in TMPDIR (/tmp by default)\n"
     "while it is read. The run ends with the counts of inserted, updated and rejected\n"
     "rows; exit 1 when any was rejected. Interrupted (Ctrl+C, SIGTERM, SIGHUP), the load\n"
     "ends its transaction after the row it is writing, says at which line it stopped and\n"
     "gives the counts, with exit 128 + the signal's number.\n"},
};
}  // namespace

std::string UsageLine(const std::string &command) {
  for (const CommandHelp &c : kCommands) {
    if (command == c.name) return std::string("usage: ") + c.usage + "\n";
  }
  return "usage: zelko COMMAND ARGS... (zelko --help lists the commands)\n";
}

std::string HelpText(const std::string &command) {
  for (const CommandHelp &c : kCommands) {
    if (command == c.name) return UsageLine(command) + "\n" + c.text;
  }
  std::string text =
      "usage: zelko COMMAND ARGS...\n\n"
      "Looks into and moves the records of the data files a Btrieve dictionary (FILE.DDF,\n"
      "FIELD.DDF, INDEX.DDF in DIR) describes. Texts are UTF-8 on the terminal and code page\n"
      "932 (zelko.ini [zelko300] code_page) in the files.\n\nCommands:\n";
  for (const CommandHelp &c : kCommands)
    text += std::string("  ") + c.usage + "\n";
  text += "  zelko version\n";
  text += "\nzelko COMMAND --help shows the help of a command; zelko --version the version.\n";
  return text;
}

}  // namespace zelkocli
