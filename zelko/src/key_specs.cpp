#include "key_specs.h"

#include <cstring>

#include "btrieve/btrapi.h"
#include "engine/table_access.h"

namespace zelkocli {

FileSpecSummary ReadFileSpec(const std::vector<uint8_t> &stat) {
  FileSpecSummary spec;
  if (stat.size() < sizeof(BtrFileSpec)) return spec;
  BtrFileSpec file;
  std::memcpy(&file, stat.data(), sizeof file);
  spec.record_length = file.record_length;
  spec.page_size = file.page_size;
  spec.record_count = static_cast<long>(file.record_count);
  spec.variable = (file.file_flags & B_FILE_VARIABLE_LENGTH) != 0;
  size_t at = sizeof file;
  for (int k = 0; k < file.key_count && at + sizeof(BtrKeySpec) <= stat.size(); ++k) {
    std::vector<KeySegmentSpec> segments;
    while (at + sizeof(BtrKeySpec) <= stat.size()) {
      BtrKeySpec key;
      std::memcpy(&key, stat.data() + at, sizeof key);
      at += sizeof key;
      KeySegmentSpec s;
      s.position = key.position;
      s.length = key.length;
      s.flags = key.flags & ~B_KEY_ALT_COLLATING;
      s.type = key.type;
      s.null_value = key.null_value;
      segments.push_back(s);
      if ((key.flags & B_KEY_SEGMENTED) == 0) break;
    }
    spec.keys.push_back(std::move(segments));
  }
  return spec;
}

FileSpecSummary DictionaryFileSpec(const zelko::TableDescriptor &table) {
  // What the engine would create for the table, read as Stat reports a file.
  return ReadFileSpec(zelko::CreateSpecification(table));
}

std::vector<std::string> CompareFileSpecs(const FileSpecSummary &dictionary,
                                          const FileSpecSummary &file) {
  std::vector<std::string> out;
  if (dictionary.record_length != file.record_length) {
    out.push_back("record length " + std::to_string(file.record_length) + ", the dictionary says " +
                  std::to_string(dictionary.record_length));
  }
  if (dictionary.variable != file.variable) {
    out.push_back(file.variable ? "the file has variable-length records, the dictionary does not"
                                : "the dictionary has a variable-length field, the file does not");
  }
  if (dictionary.keys.size() != file.keys.size()) {
    out.push_back(std::to_string(file.keys.size()) + " keys, the dictionary says " +
                  std::to_string(dictionary.keys.size()));
  }
  for (size_t k = 0; k < dictionary.keys.size() && k < file.keys.size(); ++k) {
    const auto &want = dictionary.keys[k];
    const auto &have = file.keys[k];
    if (want.size() != have.size()) {
      out.push_back("key " + std::to_string(k) + ": " + std::to_string(have.size()) +
                    " segments, the dictionary says " + std::to_string(want.size()));
      continue;
    }
    for (size_t s = 0; s < want.size(); ++s) {
      const KeySegmentSpec &a = want[s];
      const KeySegmentSpec &b = have[s];
      // Flag 128 only says the key was added to an existing file.
      if (a.position != b.position || a.length != b.length || a.type != b.type ||
          (a.flags & ~128) != (b.flags & ~128)) {
        out.push_back("key " + std::to_string(k) + " segment " + std::to_string(s) + ": position " +
                      std::to_string(b.position) + " length " + std::to_string(b.length) +
                      " type " + std::to_string(b.type) + " flags " + std::to_string(b.flags) +
                      ", the dictionary says " + std::to_string(a.position) + " " +
                      std::to_string(a.length) + " " + std::to_string(a.type) + " " +
                      std::to_string(a.flags));
      }
    }
  }
  return out;
}

std::string KeyFlagText(int flags) {
  static const struct {
    int bit;
    const char *name;
  } kFlags[] = {{1, "duplicates"},  {2, "modifiable"},       {4, "binary"},
                {8, "null key"},    {16, "segment follows"}, {32, "collating"},
                {64, "descending"}, {128, "supplemental"},   {256, "extended type"},
                {512, "any null"},  {1024, "ignore case"}};
  std::string text;
  for (const auto &f : kFlags) {
    if ((flags & f.bit) == 0) continue;
    if (!text.empty()) text += ", ";
    text += f.name;
  }
  return text.empty() ? "unique" : text;
}

}  // namespace zelkocli
