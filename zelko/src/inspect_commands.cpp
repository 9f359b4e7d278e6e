// tables, fields, keys, stat: what the dictionary says and what the data files hold.
#include <cstdio>
#include <set>

#include "commands.h"
#include "engine/field_conversion.h"
#include "engine/field_text_check.h"
#include "engine/table_access.h"
#include "help.h"
#include "key_specs.h"
#include "zplatform/codepage.h"

namespace zelkocli {

namespace {

// Parses `args` for a command of DIR [TABLE]; returns a status when the command must end.
int Prepare(const Args &args, const char *command, size_t positional, Streams io,
            ParsedArgs *parsed, const std::vector<std::string> &valued = {},
            const std::vector<std::string> &flags = {}) {
  *parsed = ParseArgs(args, valued, flags);
  if (parsed->help) {
    io.out << HelpText(command);
    return 0;
  }
  if (!parsed->error.empty() || parsed->positional.size() != positional) {
    io.err << (parsed->error.empty()
                   ? std::string("zelko ") + command + ": wrong number of arguments"
                   : parsed->error)
           << "\n"
           << UsageLine(command);
    return 2;
  }
  return -1;
}

// A name of the code page padded to `width` columns: its bytes are its columns (a
// double-byte character is a wide one), which its UTF-8 length is not.
std::string Padded(const std::string &code_page_name, size_t width) {
  size_t columns = code_page_name.size();
  return Utf8(code_page_name) + std::string(columns >= width ? 1 : width - columns, ' ');
}

}  // namespace

int CommandTables(const Args &args, Streams io) {
  ParsedArgs parsed;
  if (int rc = Prepare(args, "tables", 1, io, &parsed); rc >= 0) return rc;
  auto catalog = OpenDictionary(parsed.positional[0], io.err);
  if (!catalog) return 1;
  for (const zelko::TableDescriptor &t : catalog->tables) {
    io.out << t.table_id << '\t' << Utf8(t.name) << '\t' << Utf8(t.location) << '\n';
  }
  return 0;
}

int CommandFields(const Args &args, Streams io) {
  ParsedArgs parsed;
  if (int rc = Prepare(args, "fields", 2, io, &parsed); rc >= 0) return rc;
  auto catalog = OpenDictionary(parsed.positional[0], io.err);
  if (!catalog) return 1;
  zelko::TableDescriptor *table = FindTable(*catalog, parsed.positional[1], io.err);
  if (table == nullptr) return 1;
  io.out << "name\ttype\tsize\tdecimals\toffset\n";
  for (const zelko::FieldDescriptor &f : table->fields) {
    io.out << Utf8(f.name) << '\t' << zelko::DataTypeShortName(f.data_type) << '\t' << f.size
           << '\t' << f.decimals << '\t' << f.offset << '\n';
  }
  return 0;
}

int CommandKeys(const Args &args, Streams io) {
  ParsedArgs parsed;
  if (int rc = Prepare(args, "keys", 2, io, &parsed); rc >= 0) return rc;
  auto catalog = OpenDictionary(parsed.positional[0], io.err);
  if (!catalog) return 1;
  zelko::TableDescriptor *table = FindTable(*catalog, parsed.positional[1], io.err);
  if (table == nullptr) return 1;
  for (int position = 0; position < table->SegmentCount(); ++position) {
    if (position > 0 && (table->segments[position - 1].key_flags & zelko::kSegmentFlagFollows))
      continue;
    int key_number = zelko::KeyNumberOfPosition(*table, position);
    io.out << "key " << key_number << " (index position " << position << ")";
    for (const zelko::FieldDescriptor &named : table->named_indexes) {
      if (named.offset == key_number) io.out << " named " << Utf8(named.name);
    }
    io.out << '\n';
    for (int s = position; s < table->SegmentCount(); ++s) {
      const zelko::SegmentDescriptor &seg = table->segments[s];
      std::string field = "?";
      for (const zelko::FieldDescriptor &f : table->fields) {
        if (f.field_id == seg.field_id) field = f.name;
      }
      io.out << "  " << Padded(field, 20) << zelko::DataTypeShortName(seg.data_type) << " offset "
             << seg.offset << " length " << seg.length << " flags " << seg.key_flags << " ("
             << KeyFlagText(seg.key_flags) << ")\n";
      if ((seg.key_flags & zelko::kSegmentFlagFollows) == 0) break;
    }
  }
  return 0;
}

int CommandStat(const Args &args, Streams io) {
  ParsedArgs parsed;
  if (int rc = Prepare(args, "stat", 2, io, &parsed, {"--owner"}); rc >= 0) return rc;
  auto catalog = OpenDictionary(parsed.positional[0], io.err);
  if (!catalog) return 1;
  zelko::TableDescriptor *table = FindTable(*catalog, parsed.positional[1], io.err);
  if (table == nullptr) return 1;
  std::string path = DataFilePath(*catalog, *table);
  std::vector<uint8_t> stat;
  const std::string *owner = parsed.Get("--owner");
  int16_t status = StatDataFile(path, owner ? zplatform::FromUtf8(*owner) : std::string(), &stat);
  if (status != 0) {
    io.err << "zelko: " << Utf8(path) << ": " << StatusPhrase(status) << "\n";
    return 1;
  }
  FileSpecSummary file = ReadFileSpec(stat);
  FileSpecSummary expected = DictionaryFileSpec(*table);
  io.out << "file          " << Utf8(path) << '\n';
  io.out << "record length " << file.record_length << (file.variable ? " (variable)" : "") << '\n';
  io.out << "records       " << file.record_count << '\n';
  io.out << "page size     " << file.page_size << '\n';
  for (size_t k = 0; k < file.keys.size(); ++k) {
    io.out << "key " << k << '\n';
    for (const KeySegmentSpec &s : file.keys[k]) {
      io.out << "  position " << s.position << " length " << s.length << " type "
             << zelko::DataTypeShortName(s.type) << " flags " << s.flags << " ("
             << KeyFlagText(s.flags) << ")\n";
    }
  }
  std::vector<std::string> differences = CompareFileSpecs(expected, file);
  if (differences.empty()) {
    io.out << "matches the dictionary\n";
    return 0;
  }
  io.out << "does not match the dictionary:\n";
  for (const std::string &d : differences)
    io.out << "  " << d << '\n';
  return 1;
}

}  // namespace zelkocli
