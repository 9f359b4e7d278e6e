#include "editor_input.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "dbmagic_import.h"
#include "ddf_dictionary.h"
#include "editing.h"
#include "fuzz_dictionary.h"
#include "fuzz_reader.h"
#include "fuzz_ui.h"
#include "generators.h"
#include "listing.h"
#include "text_transfer.h"
#include "view_grids.h"

namespace {

using namespace dictedit;

using fuzzing::FuzzReader;

// Mostly a few names that collide, blanks, lower case and a double-byte name included;
// sometimes any bytes.
std::string Name(FuzzReader &in) {
  static const char *const kNames[] = {"A",       "b",           "ID",
                                       "NAME",    "TWO WORDS",   "\x83\x65\x83\x58\x83\x67",
                                       "A^B",     "CUSTOMER_NO", "ABCDEFGHIJKLMNOPQRSTUVWXYZ",
                                       " TRAIL ", "X.DAT"};
  uint8_t b = in.Byte();
  return b < 230 ? kNames[b % 11] : in.Text();
}

// Sizes at and around the limits, small negatives, any 16-bit value.
int Number(FuzzReader &in) {
  static const int kSizes[] = {0, 1, 2, 4, 5, 8, 10, 20, 255, 256, 32000, 65535, 65536, 100000};
  uint8_t b = in.Byte();
  if (b < 200) return kSizes[b % 14];
  return b < 230 ? static_cast<int8_t>(in.Byte()) : in.U16();
}

const std::string &ScratchDirectory() {
  static const std::string dir = fuzzing::FuzzScratchDirectory("zelko-editor-fuzz");
  return dir;
}

// Everything a save writes of a table and a load reads back (`ids`), or what a table text
// carries: everything but the ids, segments naming their fields.
std::string Described(const DdfTable &t, bool ids) {
  std::string out = "T " + t.name + "|" + t.location + "\n";
  char line[160];
  for (const auto &f : t.fields) {
    std::snprintf(line, sizeof line, " F %d %d %d %d %d ", ids ? f->field_id : 0, f->data_type,
                  f->offset, f->size, f->decimals);
    out += line + f->name + "\n";
  }
  for (const auto &n : t.named_indexes) {
    std::snprintf(line, sizeof line, " N %d %d ", ids ? n->field_id : 0, n->offset);
    out += line + n->name + "\n";
  }
  for (const auto &s : t.segments) {
    const DdfField *f = t.FieldById(s->field_id);
    std::snprintf(line, sizeof line, " S %d %d %d %d ", ids ? s->field_id : 0, s->key_number,
                  s->part, s->flags);
    out += line + (ids || f == nullptr ? std::string() : f->name) + "\n";
  }
  return out;
}

// Accepted edits that let the dictionary be saved: every table with a field and a key whose
// last segment ends it.
void MakeSaveable(DdfDictionary &dict) {
  for (const auto &t : dict.tables) {
    if (t->fields.empty()) AddField(dict, *t, "PAD", B_TYPE_STRING, 1, 0);
    if (t->fields.empty()) continue;
    if (t->segments.empty()) AddIndex(dict, *t, {{t->fields[0]->name, 0}});
    if (!t->segments.empty() && (t->segments.back()->flags & kFlagSegmented)) {
      const DdfField *f = t->FieldById(t->segments.back()->field_id);
      if (f != nullptr)
        ChangeSegment(dict, *t, t->segment_count() - 1, f->name,
                      t->segments.back()->flags & ~kFlagSegmented);
    }
  }
}

// A type code: every one of the dictionary's, none chosen (-1), the named index.
int Type(FuzzReader &in) {
  int t = in.Small(18) - 1;
  return t == 16 ? kNamedIndexType : t;
}

DdfTable &Pick(DdfDictionary &dict, FuzzReader &in) {
  return *dict.tables[in.Small(static_cast<int>(dict.tables.size()))];
}

// Tables that took values the editor takes unchecked (pasted fields, imported tables) go into
// `unchecked`.
void OneEdit(DdfDictionary &dict, FuzzReader &in, const std::string &text_file,
             std::set<const DdfTable *> *unchecked) {
  int op = in.Small(15);
  if (op == 0 || dict.tables.empty()) {
    AddTable(dict, Name(in), Name(in));
    return;
  }
  DdfTable &t = Pick(dict, in);
  int fields = t.field_count(), segments = t.segment_count();
  auto any_field = [&]() { return fields > 0 ? t.fields[in.Small(fields)]->name : Name(in); };
  switch (op) {
    case 1:
      AddField(dict, t, Name(in), Type(in), Number(in), Number(in), in.Small(fields + 2) - 1);
      break;
    case 2:
      ChangeField(dict, t, in.Small(fields + 1), Name(in), Type(in), Number(in), Number(in));
      break;
    case 3:
      DeleteField(dict, t, any_field());
      break;
    case 4: {
      std::vector<SegmentSpec> specs(1 + in.Small(3));
      for (auto &s : specs) {
        s.field = any_field();
        s.flags = in.Byte();
      }
      AddIndex(dict, t, specs);
      break;
    }
    case 5:
      DeleteIndex(dict, t, in.Small(4));
      break;
    case 6:
      AddSegment(dict, t, any_field(), in.Byte() | 0x100, in.Small(segments + 2) - 1, nullptr);
      break;
    case 7:
      ChangeSegment(dict, t, in.Small(segments + 1), any_field(), in.Byte() | 0x100);
      break;
    case 8:
      DeleteSegment(dict, t, in.Small(segments + 1));
      break;
    case 9:
      SetIndexName(dict, t, in.Small(segments + 1), Name(in));
      break;
    case 10:
      DeleteIndexName(dict, t, in.Small(segments + 1));
      break;
    case 11:
      SetTableInfo(dict, t, Name(in), Name(in));
      break;
    case 12:
      if (PasteFieldText(dict, t, "[Field]\n" + in.Text(), in.Small(fields + 2) - 1))
        unchecked->insert(&t);
      break;
    default: {
      // A table text, or a dbMagic information file: imported as they stand.
      FILE *f = std::fopen(text_file.c_str(), "wb");
      if (f == nullptr) return;
      std::string body = in.Text();
      std::fwrite(body.data(), 1, body.size(), f);
      std::fclose(f);
      size_t before = dict.tables.size();
      if (op == 13) {
        ImportTableText(dict, text_file);
      } else {
        ImportDbMagic(dict, text_file);
      }
      for (size_t i = before; i < dict.tables.size(); ++i)
        unchecked->insert(dict.tables[i].get());
      break;
    }
  }
}

}  // namespace

int RunEditorFuzzInput(const uint8_t *data, size_t size) {
  const std::string &root = ScratchDirectory();
  const std::string dir = root + "/ddf", text_file = root + "/table.txt";
  mkdir(dir.c_str(), 0700);
  for (const char *n : {"/FILE.DDF", "/FIELD.DDF", "/INDEX.DDF"})
    unlink((dir + n).c_str());
  FuzzReader in(data, size);
  FuzzUi ui;
  DdfDictionary dict(ui);
  dict.ddf_directory = dir;
  dict.options.data_conv_mode = false;
  uint8_t mode = in.Byte();
  dict.options.upper_field = mode & 1;
  std::set<const DdfTable *> unchecked;
  if (mode & 2) {
    // A dictionary of any records, as another program may have left it.
    fuzzing::WriteAnyDictionary(dir, in);
    dict.LoadDictionary();
    for (const auto &t : dict.tables)
      unchecked.insert(t.get());
  }
  for (int edits = 0; in.More() && edits < 64; ++edits)
    OneEdit(dict, in, text_file, &unchecked);
  MakeSaveable(dict);

  std::tm today{};
  for (const auto &t : dict.tables) {
    FieldGridCells(*t, mode & 4);
    IndexGridCells(*t, mode & 4);
    TableViewTitle(*t);
    for (int i = 0; i < t->segment_count(); ++i)
      KeySegments(*t, i);
    for (int page = 1; page <= ListingPageCount(*t, dict.options); ++page)
      ListingPage(*t, dict.options, page, today);
    std::vector<std::string> chosen;
    for (const auto &f : t->fields)
      chosen.push_back(f->name);
    FormText(dict, *t, chosen, "Form1", 5);
    ExportTableText(dict, *t, text_file);
  }
  ConstantsModuleText(dict, 1);

  if (dict.NormaliseDictionary() != 0 || dict.SaveDictionary() != 0) return 0;
  DdfDictionary loaded(ui);
  loaded.ddf_directory = dir;
  // A saved dictionary always loads, with every table in its place.
  if (loaded.LoadDictionary() != 0 || loaded.tables.size() != dict.tables.size()) __builtin_trap();
  for (size_t i = 0; i < dict.tables.size(); ++i) {
    if (unchecked.count(dict.tables[i].get())) continue;
    std::string saved = Described(*dict.tables[i], true), back = Described(*loaded.tables[i], true);
    if (saved != back) {
      std::fprintf(stderr, "saved:\n%s\nloaded:\n%s\n", saved.c_str(), back.c_str());
      __builtin_trap();
    }
    // Exported as text, the table imports as the same table.
    DdfDictionary other(ui);
    const DdfTable *imported = nullptr;
    if (ExportTableText(dict, *dict.tables[i], text_file))
      imported = ImportTableText(other, text_file);
    std::string exported = Described(*dict.tables[i], false);
    std::string reimported =
        imported != nullptr ? Described(*imported, false) : std::string("(refused)");
    if (reimported != exported) {
      std::fprintf(stderr, "exported:\n%s\nimported:\n%s\n", exported.c_str(), reimported.c_str());
      __builtin_trap();
    }
  }
  return 0;
}
