#include "dbmagic_import.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <fstream>

#include "editor_messages.h"
#include "zplatform/codepage.h"
#include "zplatform/paths.h"

namespace dictedit {

namespace {

bool StartsWith(const std::string &line, const char *prefix) {
  return line.rfind(prefix, 0) == 0;
}

// KEY="value": up to the next quote or control character, double-byte characters whole.
bool TextItem(const std::string &line, const char *key, std::string *value) {
  std::string marker = std::string(key) + "=\"";
  size_t at = line.find(marker);
  if (at == std::string::npos) return false;
  value->clear();
  for (size_t i = at + marker.size(); i < line.size();) {
    unsigned char c = static_cast<unsigned char>(line[i]);
    if (zplatform::IsLeadByte(c) && i + 1 < line.size()) {
      value->append(line, i, 2);
      i += 2;
      continue;
    }
    if (c == '"' || c < 0x20) break;
    value->push_back(line[i++]);
  }
  return true;
}

bool LetterItem(const std::string &line, const char *key, char *value) {
  std::string marker = std::string(key) + "=";
  size_t at = line.find(marker);
  if (at == std::string::npos || at + marker.size() >= line.size()) return false;
  *value = line[at + marker.size()];
  return true;
}

bool NumberItem(const std::string &line, const char *key, int *value) {
  std::string marker = std::string(key) + "=";
  size_t at = line.find(marker);
  if (at == std::string::npos) return false;
  // A run of digits too long for a number stays at the largest one (and then fits nothing).
  long long v = 0;
  for (size_t i = at + marker.size(); i < line.size() && line[i] >= '0' && line[i] <= '9'; ++i)
    v = std::min<long long>(v * 10 + (line[i] - '0'), INT_MAX);
  *value = static_cast<int>(v);
  return true;
}

class Reader {
 public:
  explicit Reader(std::ifstream &in) : in_(in) {}
  bool Next(std::string *line) {
    if (!std::getline(in_, *line)) return false;
    while (!line->empty() && (line->back() == '\r' || line->back() == '\n'))
      line->pop_back();
    return true;
  }

 private:
  std::ifstream &in_;
};

// One block from its FILE line; `line` ends as the line after it. -1 on failure.
int ImportBlock(DdfDictionary &dict, Reader &reader, std::string &line, bool *at_end) {
  EditorUi &ui = dict.Ui();
  std::string name, location;
  if (!TextItem(line, "DESC", &name)) return ShowText(ui, false, msg::kVE1061), -1;
  if (!TextItem(line, "NAME", &location)) return ShowText(ui, false, msg::kVE1062), -1;
  // Cut as the dictionary's records keep them, so a name is compared as it will be saved.
  name = CutToWidth(name, kNameWidth);
  location = CutToWidth(location, kLocationWidth);
  if (dict.FindTableByName(name) != nullptr) return ShowText(ui, false, msg::kVE1007), -1;
  auto table = std::make_unique<DdfTable>();
  table->file_id = dict.FirstFreeFileId();
  table->name = name;
  table->location = location;
  std::vector<DdfField *> numbered;
  int offset = 0;
  if (!reader.Next(&line)) return -1;
  while (StartsWith(line, "FLD")) {
    std::string field_name;
    char kind = 0;
    if (!TextItem(line, "DESC", &field_name)) return -1;
    if (field_name.size() > 20) return ShowText(ui, false, msg::kVE1080), -1;
    if (!LetterItem(line, "ATTR", &kind)) return -1;
    int size = 0, decimals = 0, type = 0;
    NumberItem(line, "SIZ", &size);
    switch (kind) {
      case 'A':
      case 'M':
        type = 0;
        break;
      case 'B':
        type = 7, size = 1;
        break;
      case 'D':
        type = 1, size = 4;
        break;
      case 'T':
        type = 4, size = 4;
        break;
      case 'N':
        NumberItem(line, "DECI", &decimals);
        if (decimals != 0 || size == 8) {
          type = 2;
        } else if (size == 2 || size == 4) {
          type = 1;
        } else {
          return ShowText(ui, false, msg::kVE1060), -1;
        }
        break;
      default:
        type = 0;
        break;  // other kinds are kept as text of their size
    }
    auto f = dict.NewField();
    f->name = field_name;
    f->file_id = table->file_id;
    f->data_type = static_cast<uint8_t>(type);
    f->size = size;
    f->decimals = static_cast<uint8_t>(decimals);
    f->offset = offset;
    offset += size;
    numbered.push_back(f.get());
    table->fields.push_back(std::move(f));
    if (!reader.Next(&line)) return -1;  // the file may not end among the fields
  }
  bool more = true;
  int key = 0;
  char mod = 0;
  while (more && StartsWith(line, "KEY") && LetterItem(line, "MOD", &mod)) {
    int part = 0;
    while ((more = reader.Next(&line)) && StartsWith(line, "SEG")) {
      char dir = 0;
      int number = 0;
      if (!LetterItem(line, "DIR", &dir) || !NumberItem(line, "FLD", &number)) return -1;
      if (number < 1 || number > static_cast<int>(numbered.size())) {
        return ShowText(ui, false, msg::kVE1034Index), -1;
      }
      auto s = dict.NewSegment();
      s->file_id = table->file_id;
      s->field_id = numbered[number - 1]->field_id;
      s->key_number = key;
      s->part = part++;
      s->flags = 0x102 | (mod == 'N' ? 1 : 0) | (dir == 'D' ? 0x40 : 0) |
                 (line.find("}}") == std::string::npos ? kFlagSegmented : 0);
      bool closes = (s->flags & kFlagSegmented) == 0;
      table->segments.push_back(std::move(s));
      if (closes) {
        more = reader.Next(&line);
        break;
      }
    }
    ++key;
  }
  DdfTable *added = table.get();
  dict.tables.push_back(std::move(table));
  dict.current_file_id = added->file_id;
  dict.SetModified(1);
  if (more && StartsWith(line, "FILE")) return 0;
  if (more && reader.Next(&line) && StartsWith(line, "FILE")) return 0;
  *at_end = true;
  return 0;
}

int Import(DdfDictionary &dict, const std::string &path) {
  std::ifstream in(zplatform::NativePathOrSelf(path), std::ios::binary);
  if (!in) return ShowText(dict.Ui(), false, msg::kVE1058), -1;
  Reader reader(in);
  std::string line;
  bool found = false;
  for (int i = 0; i < 4 && !found; ++i) {
    if (!reader.Next(&line)) return -1;
    found = StartsWith(line, "FILE");
  }
  if (!found) return ShowText(dict.Ui(), false, msg::kVE1079), -1;
  bool at_end = false;
  while (!at_end) {
    if (ImportBlock(dict, reader, line, &at_end) != 0) return -1;
  }
  return 0;
}

}  // namespace

int ImportDbMagic(DdfDictionary &dict, const std::string &path) {
  if (Import(dict, path) == 0) return 0;
  ShowText(dict.Ui(), false, msg::kVE1059);
  return -1;
}

}  // namespace dictedit
