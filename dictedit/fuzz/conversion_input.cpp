#include "conversion_input.h"

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "btrieve/btrapi.h"
#include "btrieve_files.h"
#include "data_file.h"
#include "ddf_dictionary.h"
#include "editing.h"
#include "fuzz_reader.h"
#include "fuzz_ui.h"
#include "zplatform/codepage.h"
#include "zplatform/paths.h"

namespace {

using namespace dictedit;
using fuzzing::FuzzReader;

// Each record as the bytes of each field by name; the variable field holds the tail.
using Record = std::map<std::string, std::string>;

struct FieldChoice {
  int type, size, decimals;
};

FieldChoice AnyFixedField(FuzzReader &in) {
  switch (in.Small(6)) {
    case 0:
      return {B_TYPE_STRING, 1 + in.Small(30), 0};
    case 1:
      return {B_TYPE_INTEGER, in.Byte() & 1 ? 4 : 2, 0};
    case 2:
      return {B_TYPE_DATE, 4, 0};
    case 3:
      return {B_TYPE_DECIMAL, 1 + in.Small(6), 0};
    case 4:
      return {B_TYPE_LOGICAL, 1, 0};
    default:
      return {B_TYPE_FLOAT, in.Byte() & 1 ? 8 : 4, 0};
  }
}

std::string Bytes(FuzzReader &in, size_t n) {
  std::string s(n, '\0');
  in.Fill(s.data(), n);
  return s;
}

std::string Expected(const DdfTable &t, const Record &r) {
  std::string out;
  for (const auto &f : t.fields)
    out += r.at(f->name);
  return out;
}

// Every record of the file, sorted; false when the file cannot be read whole.
bool RecordsInFile(const std::string &path, std::vector<std::string> *records) {
  OpenDataFile file;
  if (file.Open(path) != 0) return false;
  std::vector<uint8_t> data(70000);
  char key[255];
  int status;
  for (int op = B_STEP_FIRST;; op = B_STEP_NEXT) {
    uint32_t length = static_cast<uint32_t>(data.size());
    status = BTRCALL(op, file.Block(), data.data(), &length, key, sizeof key, 0);
    if (status != 0) break;
    records->emplace_back(reinterpret_cast<const char *>(data.data()), length);
  }
  std::sort(records->begin(), records->end());
  return status == B_END_OF_FILE;
}

void Check(const DdfTable &t, const std::vector<Record> &model, const std::string &path) {
  std::vector<std::string> expected, found;
  for (const Record &r : model)
    expected.push_back(Expected(t, r));
  std::sort(expected.begin(), expected.end());
  if (!RecordsInFile(path, &found) || found != expected) {
    std::fprintf(stderr, "expected %zu records, found %zu\n", expected.size(), found.size());
    for (size_t i = 0; i < std::min(expected.size(), found.size()); ++i) {
      if (expected[i] != found[i])
        std::fprintf(stderr, "first difference at record %zu: %zu bytes against %zu\n", i,
                     expected[i].size(), found[i].size());
    }
    __builtin_trap();
  }
}

const std::string &Directory() {
  static const std::string dir = fuzzing::FuzzScratchDirectory("zelko-conversion-fuzz");
  return dir;
}

}  // namespace

int RunConversionFuzzInput(const uint8_t *data, size_t size) {
  const std::string &dir = Directory();
  for (const char *n : {"/FILE.DDF", "/FIELD.DDF", "/INDEX.DDF", "/T.BTR", "/T.@@@"})
    BTRDELETEFILE(zplatform::FromUtf8(dir + n).c_str());
  FuzzReader in(data, size);
  FuzzUi ui;
  DdfDictionary dict(ui);
  dict.ddf_directory = dir;
  dict.options.data_conv_mode = false;
  DdfTable &t = *AddTable(dict, "T", "T.BTR");
  int fields = 1 + in.Small(5), made = 0;
  for (int i = 0; i < fields; ++i) {
    FieldChoice c = AnyFixedField(in);
    AddField(dict, t, "F" + std::to_string(made++), c.type, c.size, c.decimals);
  }
  const bool variable = in.Byte() & 1;
  if (variable) AddField(dict, t, "MEMO", B_TYPE_NOTE, 1 + in.Small(200), 0);
  AddIndex(dict, t, {{"F0", 1}});
  if (dict.NormaliseDictionary() != 0) __builtin_trap();
  const std::string path = zplatform::NativePathOrSelf(dict.DataFilePath(t));
  if (CreateDataFile(dict, t, zplatform::FromUtf8(path)) != 0) __builtin_trap();

  std::vector<Record> model(in.Small(12));
  {
    OpenDataFile file;
    if (file.Open(path) != 0) __builtin_trap();
    for (Record &r : model) {
      for (const auto &f : t.fields) {
        size_t n = IsVariableType(f->data_type) ? static_cast<size_t>(in.Small(300))
                                                : static_cast<size_t>(f->size);
        r[f->name] = Bytes(in, n);
      }
      std::string bytes = Expected(t, r);
      uint32_t length = static_cast<uint32_t>(bytes.size());
      char key[255];
      if (BTRCALL(B_INSERT, file.Block(), bytes.data(), &length, key, sizeof key, 0) != 0)
        __builtin_trap();
    }
  }
  Check(t, model, path);

  dict.options.data_conv_mode = true;
  std::vector<SegmentSpec> pending;
  for (int edits = 0; in.More() && edits < 12; ++edits) {
    int count = t.field_count();
    std::string some_field = t.fields[in.Small(count)]->name;
    switch (in.Small(5)) {
      case 0: {
        FieldChoice c = AnyFixedField(in);
        std::string name = "F" + std::to_string(made++);
        int before = in.Small(count + 2) - 1;
        if (AddField(dict, t, name, c.type, c.size, c.decimals, before)) {
          for (Record &r : model)
            r[name] = std::string(static_cast<size_t>(c.size), '\0');
        }
        break;
      }
      case 1: {
        bool covered = false;
        for (const auto &seg : t.segments) {
          const DdfField *f = t.FieldById(seg->field_id);
          covered = covered || (f != nullptr && f->name == some_field);
        }
        const DdfField *gone = t.FindField(some_field);
        int left = t.RecordLength() - (IsVariableType(gone->data_type) ? 0 : gone->size);
        bool deleted = count > 1 && DeleteField(dict, t, some_field);
        // Deleting a field no key covers only rebuilds the file, which must succeed while a
        // fixed part is left.
        if (count > 1 && !covered && left > 0 && !deleted) __builtin_trap();
        if (deleted) {
          for (Record &r : model)
            r.erase(some_field);
        }
        break;
      }
      case 2:
        AddIndex(dict, t, {{some_field, in.Byte() & 0x43}});
        break;
      case 3:
        if (t.segment_count() > 0) DeleteSegment(dict, t, in.Small(t.segment_count()));
        break;
      default:
        AddSegment(dict, t, some_field, 0x100 | (in.Byte() & 0x53), -1, &pending);
        break;
    }
    Check(t, model, path);
  }
  BTRRELEASE();
  return 0;
}
