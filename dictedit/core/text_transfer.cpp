#include "text_transfer.h"

#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <memory>

#include "editor_messages.h"
#include "zplatform/paths.h"

namespace dictedit {

namespace {

constexpr const char *kTableName = "[TableName]\r\n";
constexpr const char *kTableLocation = "[TableLocation]\r\n";
constexpr const char *kFields = "[FieldName,Type,Offset,Size,Decimal]\r\n";
constexpr const char *kSegments = "[IndexNumber,Part,FieldName,Flags]\r\n";
constexpr const char *kNamedIndexes = "[NamedIndex,Type,Offset,Size,Decimal]\r\n";

struct FileCloser {
  void operator()(FILE *f) const {
    if (f) std::fclose(f);
  }
};
using File = std::unique_ptr<FILE, FileCloser>;

// Lines of at most 255 bytes, as a 256-byte buffer reads them.
bool ReadLine(FILE *f, std::string *line) {
  char buffer[256];
  if (std::fgets(buffer, sizeof buffer, f) == nullptr) return false;
  *line = buffer;
  return true;
}

std::string Cleaned(const std::string &line) {
  return line.substr(0, line.find_first_of("\r\n"));
}

std::vector<std::string> SplitCommas(const std::string &s) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (true) {
    size_t comma = s.find(',', start);
    parts.push_back(s.substr(start, comma - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return parts;
}

int Number(const std::string &s) {
  return std::atoi(s.c_str());
}

std::unique_ptr<DdfField> FieldFrom(DdfDictionary &dict, const std::vector<std::string> &v,
                                    int file_id) {
  auto f = dict.NewField();
  f->name = CutToWidth(v[0], kNameWidth);
  f->data_type = static_cast<uint8_t>(Number(v[1]));
  f->offset = Number(v[2]);
  f->size = Number(v[3]);
  f->decimals = static_cast<uint8_t>(Number(v[4]));
  f->flags = 0;
  f->file_id = file_id;
  return f;
}

}  // namespace

bool ExportTableText(DdfDictionary &dict, const DdfTable &table, const std::string &path) {
  // Names are written as printf's %s wrote them: up to a zero byte.
  auto name = [](const std::string &s) { return std::string(s.c_str()); };
  auto numbers = [](std::initializer_list<int> values) {
    std::string text;
    for (int v : values)
      text += "," + std::to_string(v);
    return text + "\r\n";
  };
  std::string text = kTableName + name(table.name) + "\r\n" + kTableLocation +
                     name(table.location) + "\r\n" + kFields;
  for (const auto &fd : table.fields)
    text += name(fd->name) + numbers({fd->data_type, fd->offset, fd->size, fd->decimals});
  text += kSegments;
  for (const auto &s : table.segments) {
    const DdfField *fd = table.FieldById(s->field_id);
    if (fd == nullptr) {
      ShowText(dict.Ui(), false, msg::kVE1034Index);
      return false;
    }
    text += std::to_string(s->key_number) + "," + std::to_string(s->part) + "," + name(fd->name) +
            numbers({s->flags});
  }
  if (!table.named_indexes.empty()) {
    text += kNamedIndexes;
    for (const auto &n : table.named_indexes)
      text += name(n->name) + numbers({n->data_type, n->offset, n->size, n->decimals});
  }
  // Written whole beside the file and then moved over it: a full disk must not leave a cut
  // table text where the former one was.
  if (!zplatform::ReplaceFileContent(zplatform::NativePathOrSelf(path), text).ok) {
    ShowText(dict.Ui(), false, msg::kVE1032);
    return false;
  }
  ShowNotice(dict.Ui(), msg::kVE1033, table.name.c_str());
  return true;
}

DdfTable *ImportTableText(DdfDictionary &dict, const std::string &path) {
  File f(std::fopen(zplatform::NativePathOrSelf(path).c_str(), "rb"));
  if (!f) {
    ShowText(dict.Ui(), false, msg::kVE1034Open);
    return nullptr;
  }
  std::string line;
  if (!ReadLine(f.get(), &line) || line != kTableName || !ReadLine(f.get(), &line)) return nullptr;
  // Cut as the dictionary's records keep them, so a name is compared as it will be saved.
  std::string name = CutToWidth(Cleaned(line), kNameWidth);
  if (dict.FindTableByName(name) != nullptr) {
    ShowText(dict.Ui(), false, msg::kVE1007);
    return nullptr;
  }
  auto table = std::make_unique<DdfTable>();
  table->file_id = dict.FirstFreeFileId();
  table->name = name;
  if (!ReadLine(f.get(), &line) || line != kTableLocation || !ReadLine(f.get(), &line))
    return nullptr;
  table->location = CutToWidth(Cleaned(line), kLocationWidth);
  if (!ReadLine(f.get(), &line) || line != kFields) return nullptr;
  bool more = false;
  while ((more = ReadLine(f.get(), &line)) && line != kSegments) {
    std::vector<std::string> v = SplitCommas(Cleaned(line));
    if (v.size() < 5) break;
    table->fields.push_back(FieldFrom(dict, v, table->file_id));
  }
  // The field section ends at the segment header or at a line of fewer than five values;
  // either way the segment lines follow.
  if (more) {
    while ((more = ReadLine(f.get(), &line)) && line != kNamedIndexes) {
      std::vector<std::string> v = SplitCommas(Cleaned(line));
      if (v.size() < 4) break;
      const DdfField *fd = table->FindField(v[2]);
      if (fd == nullptr) {
        ShowText(dict.Ui(), false, msg::kVE1034Index);
        return nullptr;
      }
      auto s = dict.NewSegment();
      s->file_id = table->file_id;
      s->field_id = fd->field_id;
      s->key_number = Number(v[0]);
      s->part = Number(v[1]);
      s->flags = Number(v[3]);
      table->segments.push_back(std::move(s));
    }
    if (more && line == kNamedIndexes) {
      while (ReadLine(f.get(), &line)) {
        std::vector<std::string> v = SplitCommas(Cleaned(line));
        if (v.size() < 5) break;
        table->named_indexes.push_back(FieldFrom(dict, v, table->file_id));
      }
    }
  }
  DdfTable *added = table.get();
  dict.tables.push_back(std::move(table));
  dict.current_file_id = added->file_id;
  dict.SetModified(1);
  return added;
}

std::string FieldClipboardText(const DdfField &field) {
  char text[128];
  std::snprintf(text, sizeof text, "[Field]\n%s,%d,%d,%d\n", field.name.c_str(), field.data_type,
                field.size, field.decimals);
  return text;
}

DdfField *PasteFieldText(DdfDictionary &dict, DdfTable &table, const std::string &clip,
                         int before) {
  std::string text = clip.substr(0, 256);
  if (text.compare(0, 7, "[Field]") != 0) {
    ShowText(dict.Ui(), false, msg::kVE1050);
    return nullptr;
  }
  size_t lf = text.find('\n');
  std::string body = lf == std::string::npos ? std::string() : text.substr(lf + 1);
  body = body.substr(0, body.find('\n'));
  std::vector<std::string> v = SplitCommas(body);
  if (v.size() < 4 || v[0].size() > 20 || Number(v[2]) == 0) {
    ShowText(dict.Ui(), false, msg::kVE1050);
    return nullptr;
  }
  if (table.FindField(v[0]) != nullptr) {
    ShowText(dict.Ui(), false, msg::kVE1006);
    return nullptr;
  }
  auto f = dict.NewField();
  f->name = v[0];
  f->file_id = table.file_id;
  f->data_type = static_cast<uint8_t>(Number(v[1]));
  f->offset = 0;
  f->size = Number(v[2]);
  f->decimals = static_cast<uint8_t>(Number(v[3]));
  DdfField *added = f.get();
  bool append = before < 0 || before >= table.field_count();
  table.fields.insert(append ? table.fields.end() : table.fields.begin() + before, std::move(f));
  dict.current_file_id = table.file_id;
  dict.SetModified(1);
  return added;
}

}  // namespace dictedit
