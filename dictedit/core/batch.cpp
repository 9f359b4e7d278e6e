#include "batch.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>

#include "btrieve/btrapi.h"
#include "btrieve_files.h"
#include "ddf_dictionary.h"
#include "dictio/dictio.h"
#include "dictionary_swap.h"
#include "editing.h"
#include "editor_commands.h"
#include "zplatform/ascii.h"
#include "zplatform/codepage.h"
#include "zplatform/paths.h"
#include "zplatform/servers.h"

namespace dictedit {

class ConsoleUi::Presenter : public zplatform::MessagePresenter {
 public:
  Presenter(std::ostream &out, bool cancel, bool discard_data)
      : out_(out), cancel_(cancel), discard_data_(discard_data) {}
  zplatform::MessageAnswer Present(const zplatform::MessageRequest &r) override {
    bool question = r.buttons != zplatform::MessageButtons::kOk;
    bool ok = question && !cancel_ && (discard_data_ || !DiscardsData(r.text));
    out_ << zplatform::ToUtf8(r.text) << (question ? (ok ? " [OK]" : " [Cancel]") : "") << '\n';
    if (question && !ok && !cancel_) {
      // Not done as asked: the run fails, as zelko create does without --replace.
      out_ << "dictedit: the data file and its records are kept; --replace lets the run "
              "discard them\n";
      ++failures;
    }
    if (!question && r.icon != zplatform::MessageIcon::kInformation) ++failures;
    return question && !ok ? zplatform::MessageAnswer::kCancel : zplatform::MessageAnswer::kOk;
  }
  int failures = 0;

 private:
  // Replacing an existing data file (VE1041) or deleting one that no longer fits its table
  // (VE1047).
  static bool DiscardsData(const std::string &text) {
    return text.rfind("VE1041 ", 0) == 0 || text.rfind("VE1047 ", 0) == 0;
  }
  std::ostream &out_;
  bool cancel_;
  bool discard_data_;
};

ConsoleUi::ConsoleUi(std::ostream &messages, bool cancel, bool discard_data)
    : cancel_(cancel), presenter_(std::make_shared<Presenter>(messages, cancel, discard_data)) {
  previous_ = zplatform::MessageService::Instance().SetPresenter(presenter_);
}

ConsoleUi::~ConsoleUi() {
  zplatform::MessageService::Instance().SetPresenter(previous_);
}

bool ConsoleUi::ShowedFailure() const {
  return presenter_->failures > 0;
}
bool ConsoleUi::ChooseFile(bool, const std::string &, const std::string &, std::string *name) {
  if (!file_answer.empty()) *name = file_answer;
  return !cancel_;
}
int ConsoleUi::ChooseOne(const std::string &, const std::vector<std::string> &entries) {
  return cancel_ || entries.empty() ? -1 : 0;
}
bool ConsoleUi::ChooseSeveral(const std::string &, const std::vector<std::string> &entries,
                              std::vector<int> *chosen) {
  if (cancel_) return false;
  // In the order given, as the chosen list is built.
  for (size_t i = 0; choice_answer.empty() && i < entries.size(); ++i)
    chosen->push_back(static_cast<int>(i));
  for (const std::string &wanted : choice_answer) {
    auto at = std::find(entries.begin(), entries.end(), wanted);
    if (at != entries.end()) chosen->push_back(static_cast<int>(at - entries.begin()));
  }
  return true;
}
bool ConsoleUi::AskText(const std::string &, std::string *text) {
  if (!text_answer.empty()) *text = text_answer;
  return !cancel_;
}

namespace {

const char kUsage[] =
    "usage: dictedit --batch DIR COMMAND ARGS... [; COMMAND ARGS...]... [--cancel] [--replace]\n"
    "       (dictedit --batch --help lists the commands)\n";

const char kCommands[] =
    "Commands (DIR holds FILE.DDF, FIELD.DDF and INDEX.DDF):\n"
    "  new                                   a new, empty dictionary in DIR\n"
    "  list                                  tables, fields, keys and names\n"
    "  add-table NAME FILE                   FILE: the data file's location\n"
    "  add-field TABLE NAME TYPE SIZE [DECIMALS] [--before FIELD]\n"
    "                                        FIELD: a field's name or its number from 0\n"
    "  add-index TABLE FIELD[:FLAGS] ...     one key of these segments (flags 1 dup, 2 mod, 8 "
    "null, 64 desc;\n"
    "                                        dup, mod and null are the first segment's)\n"
    "  set-index-name TABLE KEY NAME | delete-index-name TABLE KEY\n"
    "  delete-field TABLE NAME | delete-index TABLE KEY | delete-table TABLE\n"
    "  create-files [TABLE...]               data files from the dictionary (replacing\n"
    "                                        existing ones only with --replace)\n"
    "  export-table TABLE FILE | import-table FILE\n"
    "  field-id-list FILE                    the identifier constants module\n"
    "  create-form TABLE FILE [FORMNAME] [FIELD...]   all fields when none are named\n"
    "  import-dbmagic FILE\n"
    "  options | set-option KEY VALUE\n"
    "  print TABLE --pdf FILE                the table's listing as a PDF\n"
    "\n"
    "TYPE is one of String, Integer, Float, Date, Time, Decimal, Money, Logical, Numeric,\n"
    "Bfloat, Lstring, Zstring, Note, LVar, \"Unsigned Binary\", \"Auto Increment\".\n"
    "\n"
    "Commands separated by \";\" (a word of its own; quote it in the shell) run in turn on\n"
    "one dictionary, which is saved once after the last; a failing command stops the rest\n"
    "and nothing is saved, unless an edit before it converted a data file (data_conv_mode):\n"
    "the edits before it are then saved, as the file follows them.\n"
    "Questions are answered OK; --cancel answers every one with Cancel. Replacing an\n"
    "existing data file (create-files) or deleting one that no longer fits its changed\n"
    "table (a save with data_conv_mode No) throws its records away: those are answered\n"
    "Cancel, keeping the file, unless --replace is given.\n"
    "Exit 0 done, 1 refused or failed, 2 usage.\n"
    "\n"
    "Example: a dictionary, its data file and a form, from nothing:\n"
    "  dictedit --batch shop new \\; add-table ITEM ITEM.btr \\\n"
    "      \\; add-field ITEM CODE Integer 4 \\; add-field ITEM NAME String 30 \\\n"
    "      \\; add-index ITEM CODE \\; set-index-name ITEM 0 BYCODE\n"
    "  dictedit --batch shop create-files ITEM\n"
    "  dictedit --batch shop create-form ITEM shop/Item.frm\n";

int ToInt(const std::string &s, bool *ok) {
  char *end = nullptr;
  errno = 0;
  long v = std::strtol(s.c_str(), &end, 10);
  // A number past an int's range is refused, never taken as what is left of it. *ok stays
  // false once a number of the command was bad.
  bool good = !s.empty() && *end == '\0' && errno == 0 && v >= INT_MIN && v <= INT_MAX;
  *ok = *ok && good;
  return good ? static_cast<int>(v) : 0;
}

// A field type as the help names it, in any letter case; -1 for none.
int TypeCodeOfBatchName(const std::string &name) {
  for (int code = B_TYPE_STRING; code <= B_TYPE_AUTOINCREMENT; ++code) {
    if (zplatform::EqualNoCaseAscii(name, TypeNameOfCode(code))) return code;
  }
  return -1;
}

// The names TypeCodeOfBatchName takes, as a shell would need them written.
std::string BatchTypeNames() {
  std::string names;
  for (int code = B_TYPE_STRING; code <= B_TYPE_AUTOINCREMENT; ++code) {
    const std::string name = TypeNameOfCode(code);
    if (!names.empty()) names += ", ";
    names += name.find(' ') != std::string::npos ? "\"" + name + "\"" : name;
  }
  return names;
}

void List(const DdfDictionary &dict, std::ostream &out) {
  auto u = [](const std::string &s) { return zplatform::ToUtf8(s); };
  for (const auto &t : dict.tables) {
    out << "table " << t->file_id << ' ' << u(t->name) << ' ' << u(t->location) << '\n';
    // Offsets, keys and parts as the save gives them: an edit earlier in this run has not yet.
    int offset = 0;
    for (const auto &f : t->fields) {
      out << "  field " << f->field_id << ' ' << u(f->name) << ' ' << TypeNameOfCode(f->data_type)
          << ' ' << f->size << ' ' << static_cast<int>(f->decimals) << " @" << offset << '\n';
      offset += f->size;
    }
    int key = 0, part = 0;
    for (const auto &s : t->segments) {
      const DdfField *f = t->FieldById(s->field_id);
      out << "  segment key " << key << " part " << part << ' ' << (f ? u(f->name) : "?")
          << " flags " << s->flags << '\n';
      part = (s->flags & kFlagSegmented) ? part + 1 : 0;
      if (part == 0) ++key;
    }
    for (const auto &n : t->named_indexes)
      out << "  name " << u(n->name) << " key " << n->offset << '\n';
  }
}

int RunEdit(DdfDictionary &dict, const std::vector<std::string> &words, const std::string &before,
            std::ostream &out, std::ostream &err);

ListingPdfWriter listing_pdf_writer = nullptr;

// Whether word `word` (from 0, after the command) of `command` names a file.
bool NamesAFile(const std::string &command, size_t word) {
  if (command == "add-table" || command == "export-table" || command == "create-form")
    return word == 1;  // add-table NAME FILE, export-table TABLE FILE, create-form TABLE FILE
  if (command == "import-table" || command == "field-id-list" || command == "import-dbmagic")
    return word == 0;
  return command == "print" && word == 2;  // print TABLE --pdf FILE
}

}  // namespace

void SetListingPdfWriter(ListingPdfWriter writer) {
  listing_pdf_writer = writer;
}

std::string BatchHelp() {
  return std::string(kUsage) + "\n" + kCommands;
}

int RunBatch(const std::vector<std::string> &all_args, std::ostream &out, std::ostream &err) {
  std::vector<std::string> args;
  bool cancel = false, replace = false;
  std::string before;  // a field's name or number; empty: at the end
  // A name, location or path with a character the code page lacks would be stored, or
  // looked for, with "?" in its place: refused before anything is read. Names take the
  // characters the code page writes with another's code ("〜" as "～"), as the editor's
  // dialogs do; a path must read back as given, or it would name another file.
  auto in_code_page = [&](const std::string &given, bool path, std::string *converted) {
    if (path ? zplatform::FromUtf8Exactly(given, converted)
             : zplatform::FromUtf8Holds(given, converted))
      return true;
    err << "dictedit: " << given << " has characters outside the code page\n";
    return false;
  };
  std::string command_here;  // the command whose words come next
  size_t word = 0;           // the next word's number after its command
  for (size_t i = 0; i < all_args.size(); ++i) {
    if (all_args[i] == "--cancel") {
      cancel = true;
    } else if (all_args[i] == "--replace") {
      replace = true;
    } else if (all_args[i] == "--before" && i + 1 < all_args.size()) {
      if (!in_code_page(all_args[++i], false, &before)) return 1;
    } else {
      // The first word is the dictionary's directory; each ";" begins a command.
      const bool path = args.empty() || NamesAFile(command_here, word);
      args.emplace_back();
      if (!in_code_page(all_args[i], path, &args.back())) return 1;
      if (args.size() == 1) continue;
      if (args.back() == ";") {
        command_here.clear();
      } else if (command_here.empty()) {
        command_here = args.back();
        word = 0;
      } else {
        ++word;
      }
    }
  }
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    out << BatchHelp();
    return 0;
  }
  if (args.size() < 2) {
    err << kUsage;
    return 2;
  }
  // A dictionary or data file meant for a server would stay on this disk without a word.
  for (const std::string &entry : zplatform::IgnoredServerEntries())
    err << "dictedit: " << entry << "\n";
  ConsoleUi ui(err, cancel, replace);
  DdfDictionary dict(ui);
  dict.options = LoadOptions();
  std::string directory = zplatform::ShortPathName(args[0]).value_or(args[0]);
  dict.ddf_directory = directory;
  std::string command = args[1];
  std::vector<std::string> a(args.begin() + 2, args.end());
  auto usage = [&]() {
    err << kUsage;
    return 2;
  };
  (void)out;
  // The run owns the dictionary from its load (or creation) to its save: runs of other
  // processes wait, so none of them writes over another's edits.
  std::unique_ptr<btrieve::DirectoryLock> run_lock;
  auto lock_dictionary = [&]() {
    if (!run_lock) run_lock = std::make_unique<btrieve::DirectoryLock>(directory.c_str(), true);
  };
  if (command == "new") {
    zplatform::MakeDirectoryHere(zplatform::NativePathOrSelf(directory));
    // Named in full now that it exists: a form generated later in the run must not keep a
    // name relative to where the run started.
    directory = zplatform::ShortPathName(args[0]).value_or(args[0]);
    dict.ddf_directory = directory;
    lock_dictionary();
    // A save that ended part-way may have its FILE.DDF aside: it is finished first.
    dictio::FinishInterruptedSaves(zplatform::NativePathOrSelf(directory));
    // An existing dictionary, here or on a server, is never replaced by an empty one.
    if (btrieve::FileIsThere((directory + "/FILE.DDF").c_str())) {
      err << "dictedit: " << zplatform::ToUtf8(args[0]) << " already holds a dictionary\n";
      return 1;
    }
    // Made aside and put in place whole: a failure (a full disk) leaves no part of one,
    // which would be unreadable and refuse a second "new".
    int status = dictio::PlaceNewDictionary(directory, [](const std::string &scratch) {
      int opened = DDFOpen(scratch.c_str(), 1);
      return opened != 0 ? opened : DDFClose();
    });
    if (status != 0) {
      err << "dictedit: cannot create a dictionary in " << zplatform::ToUtf8(args[0]) << " ("
          << status << ")\n";
      return 1;
    }
    // "new ; ..." goes on with the new dictionary.
    if (args.size() == 2) return 0;
    if (args.size() < 4 || args[2] != ";") return usage();
    args.erase(args.begin() + 1, args.begin() + 3);
  }
  command = args[1];
  a.assign(args.begin() + 2, args.end());
  if (command == "options") {
    out << OptionsText(dict.options);
    return 0;
  }
  if (command == "set-option") {
    if (a.size() != 2) return usage();
    if (!IsOptionKey(a[0])) {
      err << "dictedit: there is no option " << a[0]
          << " (dictedit --batch DIR options lists them)\n";
      return 1;
    }
    if (!SetOption(dict.options, a[0], a[1], ui)) {
      err << "dictedit: option " << a[0] << " does not take " << a[1] << '\n';
      return 1;
    }
    return SaveOptions(dict.options, ui) ? 0 : 1;
  }

  lock_dictionary();
  if (dict.LoadDictionary() != 0) return 1;
  // As after loading in the editor: the first table's view is the active one.
  if (!dict.tables.empty()) dict.current_file_id = dict.tables[0]->file_id;
  // Edits separated by ";" are made in turn and saved once at the end.
  std::vector<std::vector<std::string>> edits(1);
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i] == ";") {
      edits.emplace_back();
    } else {
      edits.back().push_back(args[i]);
    }
  }
  for (const auto &edit : edits) {
    if (edit.empty()) return usage();
    int status = RunEdit(dict, edit, before, out, err);
    if (status < 0) continue;
    // The data files already follow the edits before the failing one: unsaved, the
    // dictionary would describe them no longer, and no program could open them.
    if (dict.data_files_changed && dict.IsModified()) {
      const bool saved = dict.FullSave() == 0 && dict.IsModified() == 0;
      err << (saved ? "dictedit: the edits before the failing command are saved, as the data "
                      "files already follow them\n"
                    : "dictedit: the data files follow edits the dictionary could not save\n");
    }
    return status;
  }
  // A message that said something failed fails the run, whatever the command answered.
  if (dict.IsModified() && (dict.FullSave() != 0 || dict.IsModified() != 0)) return 1;
  return ui.ShowedFailure() ? 1 : 0;
}

namespace {

// One edit; -1 when it was made and the next may follow, else the exit status.
int RunEdit(DdfDictionary &dict, const std::vector<std::string> &words, const std::string &before,
            std::ostream &out, std::ostream &err) {
  ConsoleUi &ui = static_cast<ConsoleUi &>(dict.Ui());
  const std::string &command = words[0];
  std::vector<std::string> a(words.begin() + 1, words.end());
  bool ok = true;
  auto usage = [&]() {
    err << kUsage;
    return 2;
  };
  auto table_named = [&](const std::string &name) -> DdfTable * {
    DdfTable *t = dict.FindTableByName(UpperCodePage(name));
    if (t == nullptr) err << "dictedit: no table " << zplatform::ToUtf8(name) << '\n';
    if (t != nullptr) dict.current_file_id = t->file_id;
    return t;
  };
  // A field named as the editor stores its name (upper-cased unless upper_field is off).
  auto field_name = [&](const std::string &given) {
    return dict.options.upper_field ? UpperCodePage(given) : given;
  };
  // The dictionary keeps names in 20 bytes and locations in 64. The editor's boxes take no
  // more; a run must not store a cut one (a location cut short names another file).
  auto too_long = [&](const std::string &text, size_t width, const char *what) {
    if (text.size() <= width) return false;
    err << "dictedit: the " << what << " " << zplatform::ToUtf8(text) << " is " << text.size()
        << " bytes; the dictionary keeps " << width << '\n';
    return true;
  };
  // The editor says only VE1001 of a blank inside a table's name or location.
  auto blank_inside = [&](const std::string &text, const char *what) {
    if (FitsTableRecord(text)) return false;
    err << "dictedit: the table " << what << " \"" << zplatform::ToUtf8(text)
        << "\" holds a blank or a control character, which the dictionary cannot keep\n";
    return true;
  };
  auto no_field = [&](const DdfTable &t, const std::string &field) {
    err << "dictedit: table " << zplatform::ToUtf8(t.name) << " has no field "
        << zplatform::ToUtf8(field) << '\n';
    return 1;
  };
  auto no_key = [&](const DdfTable &t, const std::string &key) {
    err << "dictedit: table " << zplatform::ToUtf8(t.name) << " has no key "
        << zplatform::ToUtf8(key) << '\n';
    return 1;
  };
  // TABLE KEY (a key number): the table, the key and its first segment; otherwise the run's
  // status, the reason told.
  struct KeyArgument {
    DdfTable *table = nullptr;
    int key = -1;
    int segment = -1;
  };
  auto key_named = [&](const std::string &table, const std::string &key, KeyArgument *k) {
    k->table = table_named(table);
    if (k->table == nullptr) return 1;
    k->key = ToInt(key, &ok);
    if (!ok) return usage();
    k->segment = FirstSegmentOfKey(*k->table, k->key);
    return k->segment < 0 ? no_key(*k->table, key) : 0;
  };
  bool done = false;
  if (command == "list") {
    List(dict, out);
    return -1;
  } else if (command == "add-table") {
    if (a.size() != 2) return usage();
    if (too_long(a[0], kNameWidth, "name") || too_long(a[1], kLocationWidth, "location") ||
        blank_inside(a[0], "name") || blank_inside(a[1], "location"))
      return 1;
    done = AddTable(dict, a[0], a[1]) != nullptr;
  } else if (command == "add-field") {
    if (a.size() != 4 && a.size() != 5) return usage();
    DdfTable *t = table_named(a[0]);
    if (t == nullptr || too_long(a[1], kNameWidth, "name")) return 1;
    int type = TypeCodeOfBatchName(zplatform::ToUtf8(a[2]));
    if (type < 0) {
      err << "dictedit: no type " << zplatform::ToUtf8(a[2]) << " (" << BatchTypeNames() << ")\n";
      return 1;
    }
    int size = ToInt(a[3], &ok);
    int decimals = a.size() == 5 ? ToInt(a[4], &ok) : 0;
    if (!ok) {
      err << "dictedit: the size and decimals are whole numbers\n";
      return usage();
    }
    int at = -1;
    if (!before.empty()) {
      // A number counts the fields from 0; anything else names one.
      bool number =
          before.size() <= 5 && before.find_first_not_of("0123456789") == std::string::npos;
      const int nth = number ? ToInt(before, &ok) : -1;
      const std::string name = field_name(before);
      for (int i = 0; i < t->field_count() && at < 0; ++i) {
        if (number ? i == nth : t->fields[i]->name == name) at = i;
      }
      if (at < 0) {
        err << "dictedit: --before " << zplatform::ToUtf8(before) << ": table "
            << zplatform::ToUtf8(t->name) << " has no such field\n";
        return 1;
      }
    }
    done = AddField(dict, *t, a[1], type, size, decimals, at);
  } else if (command == "add-index") {
    if (a.size() < 2) return usage();
    DdfTable *t = table_named(a[0]);
    if (t == nullptr) return 1;
    std::vector<SegmentSpec> specs;
    for (size_t i = 1; i < a.size(); ++i) {
      SegmentSpec s;
      size_t colon = a[i].rfind(':');
      s.field = field_name(a[i].substr(0, colon));
      if (colon != std::string::npos) s.flags = ToInt(a[i].substr(colon + 1), &ok);
      if (!ok) {
        err << "dictedit: " << zplatform::ToUtf8(a[i]) << ": the flags are a whole number\n";
        return usage();
      }
      if (t->FindField(s.field) == nullptr) return no_field(*t, s.field);
      specs.push_back(s);
    }
    done = AddIndex(dict, *t, specs);
  } else if (command == "set-index-name") {
    if (a.size() != 3) return usage();
    KeyArgument k;
    if (int status = key_named(a[0], a[1], &k); status != 0) return status;
    if (too_long(a[2], kNameWidth, "name")) return 1;
    // The editor's answer (set it on a key's first segment) points nowhere in a run.
    if (const DdfField *named = k.table->NameOfKey(k.key)) {
      err << "dictedit: key " << k.key << " of table " << zplatform::ToUtf8(k.table->name)
          << " is named " << zplatform::ToUtf8(named->name) << " already; delete-index-name "
          << zplatform::ToUtf8(k.table->name) << ' ' << k.key << " takes the name away\n";
      return 1;
    }
    done = SetIndexName(dict, *k.table, k.segment, a[2]);
  } else if (command == "delete-index-name") {
    if (a.size() != 2) return usage();
    KeyArgument k;
    if (int status = key_named(a[0], a[1], &k); status != 0) return status;
    if (k.table->NameOfKey(k.key) == nullptr) {
      err << "dictedit: key " << k.key << " of table " << zplatform::ToUtf8(k.table->name)
          << " has no name\n";
      return 1;
    }
    done = DeleteIndexName(dict, *k.table, k.segment);
  } else if (command == "delete-field") {
    if (a.size() != 2) return usage();
    DdfTable *t = table_named(a[0]);
    if (t == nullptr) return 1;
    if (t->FindField(field_name(a[1])) == nullptr) return no_field(*t, field_name(a[1]));
    done = DeleteField(dict, *t, field_name(a[1]));
  } else if (command == "delete-index") {
    if (a.size() != 2) return usage();
    KeyArgument k;
    if (int status = key_named(a[0], a[1], &k); status != 0) return status;
    done = DeleteIndex(dict, *k.table, k.key);
  } else if (command == "delete-table") {
    if (a.size() != 1) return usage();
    DdfTable *t = table_named(a[0]);
    if (t == nullptr) return 1;
    done = DeleteTable(dict, *t);
  } else if (command == "export-table") {
    if (a.size() != 2) return usage();
    if (table_named(a[0]) == nullptr) return 1;
    ui.file_answer = a[1];
    return ExportTableCommand(dict) == 0 ? -1 : 1;
  } else if (command == "import-table") {
    if (a.size() != 1) return usage();
    ui.file_answer = a[0];
    done = ImportTableCommand(dict) == 0;
    // The editor refuses a file of other headers without a word; a run must say why.
    if (!done && !ui.ShowedFailure()) {
      err << "dictedit: " << zplatform::ToUtf8(a[0])
          << " is no table text: it begins with the lines [TableName], the name, "
             "[TableLocation], the location and [FieldName,Type,Offset,Size,Decimal], each "
             "ending with CR LF\n";
    }
  } else if (command == "field-id-list") {
    if (a.size() != 1) return usage();
    ui.file_answer = a[0];
    return FieldIdListCommand(dict) == 0 ? -1 : 1;
  } else if (command == "create-form") {
    if (a.size() < 2) return usage();
    DdfTable *t = table_named(a[0]);
    if (t == nullptr) return 1;
    ui.file_answer = a[1];
    ui.text_answer = a.size() >= 3 ? a[2] : std::string();
    ui.choice_answer.clear();
    // Named as add-field names them; one the table lacks must not leave a form without it.
    for (size_t i = 3; i < a.size(); ++i) {
      const std::string name = field_name(a[i]);
      if (t->FindField(name) == nullptr) return no_field(*t, a[i]);
      ui.choice_answer.push_back(name);
    }
    return CreateFormCommand(dict) == 0 ? -1 : 1;
  } else if (command == "import-dbmagic") {
    if (a.size() != 1) return usage();
    ui.file_answer = a[0];
    done = DbMagicImportCommand(dict) == 0;
  } else if (command == "print") {
    if (a.size() != 3 || a[1] != "--pdf") return usage();
    DdfTable *t = table_named(a[0]);
    if (t == nullptr) return 1;
    if (listing_pdf_writer == nullptr) {
      err << "dictedit: this build cannot draw listings\n";
      return 1;
    }
    return listing_pdf_writer(dict, *t, a[2]) == 0 ? -1 : 1;
  } else if (command == "create-files") {
    // A misspelt name must not pass as a file made.
    std::vector<std::string> names;
    for (const std::string &n : a) {
      if (table_named(n) == nullptr) return 1;
      names.push_back(UpperCodePage(n));
    }
    return CreateBtrieveFiles(dict, a.empty() ? nullptr : &names) == 0 ? -1 : 1;
  } else {
    err << "dictedit: unknown command " << zplatform::ToUtf8(command) << '\n' << kUsage;
    return 2;
  }
  return done ? -1 : 1;
}

}  // namespace

}  // namespace dictedit
