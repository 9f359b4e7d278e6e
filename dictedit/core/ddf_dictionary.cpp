#include "ddf_dictionary.h"

#include <stdlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <unordered_map>

#include "btrieve/btrapi.h"
#include "btrieve_files.h"
#include "data_file.h"
#include "dictio/dictio.h"
#include "dictionary_swap.h"
#include "editor_messages.h"
#include "zplatform/ascii.h"
#include "zplatform/codepage.h"
#include "zplatform/paths.h"

namespace dictedit {

namespace {

std::string FixedText(const char *bytes, size_t width) {
  std::string s(bytes, strnlen(bytes, width));
  size_t end = s.find_last_not_of(' ');
  return end == std::string::npos ? std::string() : s.substr(0, end + 1);
}

std::string CutAtBlank(const std::string &s) {
  return s.substr(0, s.find(' '));
}

void PutFixed(char *out, size_t width, const std::string &text) {
  std::memset(out, ' ', width);
  std::memcpy(out, text.data(), std::min(width, text.size()));
}

// The message for what a table's records would not keep as it is held, or null. A name or
// location is read back up to its first blank; sizes and offsets are 16 bits wide.
const char *UnkeptByRecords(const DdfTable &t) {
  if (t.name.size() > kNameWidth || t.location.size() > kLocationWidth ||
      t.name.find(' ') != std::string::npos || t.location.find(' ') != std::string::npos) {
    return msg::kVE1001;
  }
  auto fits = [](int v) { return v >= 0 && v <= kMaxFieldSize; };
  int offset = 0;
  for (const auto &f : t.fields) {
    if (!fits(f->size) || !fits(offset)) return msg::kVE1003;
    offset += f->size;
  }
  for (const auto &n : t.named_indexes) {
    if (!fits(n->size) || !fits(n->offset)) return msg::kVE1003;
  }
  return nullptr;
}

}  // namespace

DdfTable::DdfTable() = default;
DdfTable::~DdfTable() = default;

std::unique_ptr<DdfField> DdfDictionary::NewField() {
  auto f = std::make_unique<DdfField>();
  f->field_id = ++next_field_id_;
  return f;
}

std::unique_ptr<DdfIndexSegment> DdfDictionary::NewSegment() {
  auto s = std::make_unique<DdfIndexSegment>();
  s->serial = ++next_serial_;
  return s;
}

int DdfTable::RecordLength() const {
  int n = 0;
  for (const auto &f : fields) {
    if (!IsVariableType(f->data_type) && f->data_type != kNamedIndexType) n += f->size;
  }
  return n;
}

DdfField *DdfTable::FindField(const std::string &n) const {
  for (const auto &f : fields) {
    if (f->name == n) return f.get();
  }
  return nullptr;
}

DdfField *DdfTable::NameOfKey(int key) const {
  for (const auto &n : named_indexes) {
    if (n->offset == key) return n.get();
  }
  return nullptr;
}

DdfField *DdfTable::FieldById(int id) const {
  for (const auto &f : fields) {
    if (f->field_id == id) return f.get();
  }
  return nullptr;
}

bool DdfTable::HasVariableField() const {
  for (const auto &f : fields) {
    if (IsVariableType(f->data_type)) return true;
  }
  return false;
}

namespace {
const struct {
  const char *name;
  int code;
} kTypes[] = {{"String", B_TYPE_STRING},
              {"Integer", B_TYPE_INTEGER},
              {"Float", B_TYPE_FLOAT},
              {"Date", B_TYPE_DATE},
              {"Time", B_TYPE_TIME},
              {"Decimal", B_TYPE_DECIMAL},
              {"Money", B_TYPE_MONEY},
              {"Logical", B_TYPE_LOGICAL},
              {"Numeric", B_TYPE_NUMERIC},
              {"Bfloat", B_TYPE_BFLOAT},
              {"Lstring", B_TYPE_LSTRING},
              {"Zstring", B_TYPE_ZSTRING},
              {"Note", B_TYPE_NOTE},
              {"LVar", B_TYPE_LVAR},
              {"Unsigned Binary", B_TYPE_UNSIGNED_BINARY},
              {"Auto Increment", B_TYPE_AUTOINCREMENT},
              {"Named Index", DDF_NAMED_INDEX}};
}  // namespace

const char *TypeNameOfCode(int code) {
  for (const auto &t : kTypes) {
    if (t.code == code) return t.name;
  }
  return "";
}

int TypeCodeOfName(const std::string &name) {
  for (const auto &t : kTypes) {
    if (name == t.name) return t.code;
  }
  return -1;
}

bool IsVariableType(int code) {
  return code == 12 || code == 13;
}

namespace {
// Applies `map` to every single-byte character; double-byte characters stay as they are.
template <typename Map>
std::string MapSingleBytes(const std::string &text, Map map) {
  std::string out = text;
  for (size_t i = 0; i < out.size(); ++i) {
    if (zplatform::IsLeadByte(static_cast<unsigned char>(out[i])) && i + 1 < out.size()) {
      ++i;
    } else {
      out[i] = map(out[i]);
    }
  }
  return out;
}
}  // namespace

std::string BlanksToCarets(const std::string &name) {
  return MapSingleBytes(name, [](char c) { return c == ' ' ? '^' : c; });
}

std::string CaretsToBlanks(const std::string &name) {
  return MapSingleBytes(name, [](char c) { return c == '^' ? ' ' : c; });
}

std::string UpperCodePage(const std::string &text) {
  return MapSingleBytes(text, zplatform::ToUpperAscii);
}

std::string CutToWidth(const std::string &text, size_t width) {
  size_t end = 0;
  while (end < text.size()) {
    bool pair =
        zplatform::IsLeadByte(static_cast<unsigned char>(text[end])) && end + 1 < text.size();
    size_t next = end + (pair ? 2 : 1);
    if (next > width) break;
    end = next;
  }
  return text.substr(0, end);
}

DdfIo DictioCalls() {
  return {DDFOpen,      DDFClose,     DDFReadFile,   DDFReadField,
          DDFReadIndex, DDFWriteFile, DDFWriteField, DDFWriteIndex};
}

DdfDictionary::DdfDictionary(EditorUi &ui) : io(DictioCalls()), ui_(ui) {}
DdfDictionary::~DdfDictionary() = default;

void DdfDictionary::SetModified(int value) {
  modified_ = value;
  if (value != 0) {
    if (DdfTable *t = CurrentTable()) t->modified = value;
  } else {
    for (auto &t : tables)
      t->modified = 0;
  }
}

void DdfDictionary::ClearDictionary() {
  tables.clear();
  loaded_image_.reset();
}

DdfTable *DdfDictionary::FindTableById(int id) const {
  for (const auto &t : tables) {
    if (t->file_id == id) return t.get();
  }
  return nullptr;
}

DdfTable *DdfDictionary::FindTableByName(const std::string &name) const {
  for (const auto &t : tables) {
    if (t->name == name) return t.get();
  }
  return nullptr;
}

int DdfDictionary::FirstFreeFileId() const {
  int counter = 4;
  for (const auto &t : tables) {
    if (t->file_id != counter) return counter;
    ++counter;
  }
  // Every table matches: 3 plus the tables there are, the new one (not yet listed) included.
  return 3 + static_cast<int>(tables.size()) + 1;
}

std::vector<std::string> DdfDictionary::DataFilePathChoices(const DdfTable &table) const {
  const std::string &loc = table.location;
  if (loc.find(':') != std::string::npos || (!loc.empty() && loc[0] == '/')) return {loc};
  std::string path = !ddf_directory.empty() && ddf_directory.back() == '/'
                         ? ddf_directory + loc
                         : ddf_directory + "/" + loc;
  if (loc.find('.') != std::string::npos) return {path};
  return {path + ".btr", path};
}

std::string DdfDictionary::DataFilePath(const DdfTable &table) const {
  // Applications read the table through the data engine: converting or checking another
  // file would leave theirs unlike the dictionary.
  std::vector<std::string> choices = DataFilePathChoices(table);
  if (choices.size() > 1 && !DataFileExists(zplatform::NativePathOrSelf(choices[0])) &&
      DataFileExists(zplatform::NativePathOrSelf(choices[1])))
    return choices[1];
  return choices[0];
}

namespace {

// The tables' records of the three files, in the order a load reads them.
struct DictionaryRecords {
  std::vector<DdfFileRecord> files;
  std::vector<DdfFieldRecord> fields;
  std::vector<DdfIndexRecord> indexes;

  // Their bytes, to tell whether the files still hold what was read.
  std::string Image() const {
    std::string image;
    auto add = [&image](const auto &records) {
      image += std::to_string(records.size()) + ":";
      for (const auto &r : records)
        image.append(reinterpret_cast<const char *>(&r), sizeof r);
    };
    add(files);
    add(fields);
    add(indexes);
    return image;
  }
};

// Reads the records of the dictionary in `directory`. 0, the open's status (with `message`
// null), or a read's status with the message of the file that failed; what was read before
// a failure is kept.
int ReadRecords(const DdfIo &io, const std::string &directory, DictionaryRecords *records,
                const char **message) {
  *message = nullptr;
  int status = io.open(directory.c_str(), 0);
  if (status != 0) return status;
  auto fail = [&](const char *failed_file_message) {
    *message = failed_file_message;
    io.close();
    return status;
  };
  DdfFileRecord file{};
  bool any = false;
  while ((status = io.read_file(&file)) == 0) {
    records->files.push_back(file);
    if (file.flags != 16) any = true;
  }
  if (status != 9) return fail(msg::kVE1026);
  if (!any) {
    io.close();
    return 0;
  }
  DdfFieldRecord field{};
  while ((status = io.read_field(&field)) == 0)
    records->fields.push_back(field);
  if (status != 9) return fail(msg::kVE1027);
  DdfIndexRecord index{};
  while ((status = io.read_index(&index)) == 0)
    records->indexes.push_back(index);
  if (status != 9) return fail(msg::kVE1028);
  io.close();
  return 0;
}

}  // namespace

int DdfDictionary::LoadDictionary() {
  DictionaryRecords records;
  const char *message = nullptr;
  int status = ReadRecords(io, ddf_directory, &records, &message);
  if (status == 12 && message == nullptr) {
    ShowText(ui_, false, msg::kVE1025);
    return -1;
  }
  if (status != 0 && message == nullptr) {
    ShowMessage(ui_, false, msg::kVE1017, status);
    return -1;
  }
  // A failed read keeps the tables read before it.
  for (const DdfFileRecord &file : records.files) {
    if (file.flags == 16) continue;
    auto t = std::make_unique<DdfTable>();
    t->name = CutAtBlank(std::string(file.name, strnlen(file.name, sizeof file.name)));
    t->location =
        CutAtBlank(std::string(file.location, strnlen(file.location, sizeof file.location)));
    t->file_id = file.id;
    tables.push_back(std::move(t));
  }
  // Fields and segments go to every table of their file ID (a damaged dictionary may give
  // two tables one ID), found without a walk of all tables for each record.
  std::unordered_map<int, std::vector<DdfTable *>> tables_of_id;
  for (auto &t : tables)
    tables_of_id[t->file_id].push_back(t.get());
  static const std::vector<DdfTable *> kNone;
  auto tables_of = [&](int id) -> const std::vector<DdfTable *> & {
    auto it = tables_of_id.find(id);
    return it == tables_of_id.end() ? kNone : it->second;
  };
  for (const DdfFieldRecord &field : records.fields) {
    if (field.name[2] == '$') continue;
    for (DdfTable *t : tables_of(field.file_id)) {
      auto f = NewField();
      f->name = BlanksToCarets(FixedText(field.name, sizeof field.name));
      f->field_id = field.id;
      f->file_id = field.file_id;
      f->data_type = field.data_type;
      f->offset = field.offset;
      f->size = field.size;
      f->decimals = field.decimals;
      f->flags = 0;
      (field.data_type == kNamedIndexType ? t->named_indexes : t->fields).push_back(std::move(f));
    }
  }
  for (const DdfIndexRecord &index : records.indexes) {
    if (index.file_id <= 3) continue;
    for (DdfTable *t : tables_of(index.file_id)) {
      auto s = NewSegment();
      s->file_id = index.file_id;
      s->field_id = index.field_id;
      s->key_number = index.number;
      s->part = index.part;
      s->flags = index.flags;
      t->segments.push_back(std::move(s));
    }
  }
  if (status != 0) {
    ShowMessage(ui_, false, message, status);
    return -1;
  }
  loaded_image_ = records.Image();
  if (options.renumber_ddf_at_read) NormaliseDictionary();
  FinishInterruptedConversions(*this);
  return 0;
}

std::optional<std::string> DdfDictionary::ImageOnDisk() const {
  DictionaryRecords now;
  const char *message = nullptr;
  if (ReadRecords(io, ddf_directory, &now, &message) != 0) return std::nullopt;
  return now.Image();
}

int DdfDictionary::NormaliseDictionary() {
  if (tables.empty()) {
    ShowText(ui_, false, msg::kVE1021);
    return -1;
  }
  for (auto &t : tables) {
    if (t->segments.empty()) {
      ShowMessage(ui_, false, msg::kVE1057, t->name.c_str());
      return -1;
    }
  }
  // An imported table may hold what the dictionary's records cannot keep; saved, it would
  // come back as another table. The table is made current to be put right.
  for (auto &t : tables) {
    if (const char *refusal = UnkeptByRecords(*t); refusal != nullptr) {
      current_file_id = t->file_id;
      ShowText(ui_, false, refusal);
      return -1;
    }
  }
  for (auto &t : tables) {
    int sum = 0;
    for (auto &f : t->fields) {
      f->offset = sum;
      sum += f->size;
    }
    int key = 0, part = 0;
    for (auto &s : t->segments) {
      s->part = part;
      s->key_number = key;
      if (s->flags & kFlagSegmented) {
        ++part;
      } else {
        part = 0;
        ++key;
      }
    }
    if (t->segments.back()->flags & kFlagSegmented) {
      ShowText(ui_, false, msg::kVE1022);
      return -1;
    }
  }
  int counter = 4;
  for (auto &t : tables) {
    int old = t->file_id;
    for (auto &f : t->fields) {
      if (f->file_id == old) f->file_id = counter;
    }
    for (auto &s : t->segments) {
      if (s->file_id == old) s->file_id = counter;
    }
    for (auto &n : t->named_indexes) {
      if (n->file_id == old) n->file_id = counter;
    }
    if (current_file_id == old) current_file_id = counter;
    t->file_id = counter++;
  }
  int id = 19;
  for (auto &t : tables) {
    for (auto &s : t->segments)
      s->new_field_id = s->field_id;
    for (auto &f : t->fields) {
      f->new_field_id = id;
      for (auto &s : t->segments) {
        if (s->field_id == f->field_id) s->new_field_id = id;
      }
      ++id;
    }
  }
  for (auto &t : tables) {
    for (auto &n : t->named_indexes)
      n->field_id = id++;
  }
  for (auto &t : tables) {
    for (auto &f : t->fields)
      f->field_id = f->new_field_id;
    for (auto &s : t->segments)
      s->field_id = s->new_field_id;
  }
  return 0;
}

int DdfDictionary::SaveDictionary() {
  if (tables.empty()) {
    ShowText(ui_, false, msg::kVE1021);
    return -1;
  }
  // One save at a time: two saves renaming their files in turn could leave a dictionary
  // made of both. (A batch run holds the lock from its load on.)
  btrieve::DirectoryLock save_lock(ddf_directory.c_str(), true);
  // Another program's save since this dictionary was read would be lost without a word. A
  // new dictionary (nothing read) was begun where there was none: one there now is another's.
  const bool changed = loaded_image_ ? ImageOnDisk() != loaded_image_
                                     : btrieve::FileIsThere((ddf_directory + "/FILE.DDF").c_str());
  if (changed && !ShowText(ui_, true, msg::kVE1081)) return -1;
  // The new dictionary is written into a directory beside the old one; the three files
  // replace the old ones only when every record is written, so a failure leaves the
  // dictionary on disk as it was.
  // File operations take native paths; the dictionary library takes code-page paths.
  // A save that ended part-way is finished (or undone) before this one begins.
  dictio::FinishInterruptedSaves(zplatform::NativePathOrSelf(ddf_directory));
  dictio::SaveScratch scratch(ddf_directory);
  if (scratch.error() != 0) {
    ShowMessage(ui_, false, msg::kVE1017, scratch.error());
    return -1;
  }
  int status = io.open(zplatform::FromUtf8(scratch.path()).c_str(), 1);
  if (status != 0) {
    ShowMessage(ui_, false, msg::kVE1017, status);
    return -1;
  }
  std::optional<dictio::ScratchTransaction> records(std::in_place);
  auto fail = [&]() {
    records.reset();
    io.close();
    return -1;
  };
  for (auto &t : tables) {
    DdfFileRecord file{};
    file.id = static_cast<uint16_t>(t->file_id);
    PutFixed(file.name, sizeof file.name, t->name);
    PutFixed(file.location, sizeof file.location, t->location);
    if ((status = io.write_file(&file)) != 0) {
      ShowMessage(ui_, false, msg::kVE1018, status);
      return fail();
    }
    auto write_field = [&](const DdfField &f, const std::string &name) {
      DdfFieldRecord r{};
      r.id = static_cast<uint16_t>(f.field_id);
      r.file_id = static_cast<uint16_t>(f.file_id);
      PutFixed(r.name, sizeof r.name, name);
      r.data_type = f.data_type;
      r.offset = static_cast<uint16_t>(f.offset);
      r.size = static_cast<uint16_t>(f.size);
      r.decimals = f.decimals;
      r.flags = static_cast<uint16_t>(f.flags);
      int s = io.write_field(&r);
      if (s != 0) ShowMessage(ui_, false, msg::kVE1019, name.c_str(), s);
      return s;
    };
    for (auto &f : t->fields) {
      if (write_field(*f, BlanksToCarets(f->name)) != 0) return fail();
    }
    for (auto &n : t->named_indexes) {
      if (write_field(*n, CaretsToBlanks(n->name)) != 0) return fail();
    }
    for (auto &s : t->segments) {
      DdfIndexRecord r{};
      r.file_id = static_cast<uint16_t>(s->file_id);
      r.field_id = static_cast<uint16_t>(s->field_id);
      r.number = static_cast<uint16_t>(s->key_number);
      r.part = static_cast<uint16_t>(s->part);
      r.flags = static_cast<uint16_t>(s->flags);
      if ((status = io.write_index(&r)) != 0) {
        ShowMessage(ui_, false, msg::kVE1020, status);
        return fail();
      }
    }
  }
  if ((status = records->Commit()) != 0) {
    ShowMessage(ui_, false, msg::kVE1017, status);
    return fail();
  }
  status = io.close();
  if (status != 0) {
    ShowMessage(ui_, false, msg::kVE1017, status);
    return -1;
  }
  if (int error = scratch.PutInPlace(); error != 0) {
    ShowMessage(ui_, false, msg::kVE1017, error);
    return -1;
  }
  loaded_image_ = ImageOnDisk();  // what a later save compares with
  data_files_changed = false;
  return 0;
}

int DdfDictionary::CheckBtrieveFiles() {
  int result = 1;
  for (auto &t : tables) {
    if (!t->modified) continue;
    std::string path = DataFilePath(*t);
    std::string native = zplatform::NativePathOrSelf(path);
    if (!DataFileExists(native)) continue;
    bool consistent = false;
    {
      OpenDataFile file;
      int16_t status = file.Open(native);
      if (status != 0) {
        ShowMessage(ui_, false, msg::kVE1073, status);
      } else {
        std::vector<uint8_t> stat;
        consistent = file.Stat(&stat) == 0 && (stat[0] | stat[1] << 8) == t->RecordLength();
      }
    }  // closed before it may be deleted
    if (consistent) continue;
    if (ShowMessage(ui_, true, msg::kVE1047, t->name.c_str(), path.c_str())) {
      if (BTRDELETEFILE(zplatform::FromUtf8(native).c_str()) != 0)
        ShowText(ui_, false, msg::kVE1048);
    } else {
      result = 0;
    }
  }
  return result;
}

bool DdfDictionary::OfferSave(bool close_all) {
  if (!modified_) return true;
  if (!ShowText(ui_, true, msg::kVE1045)) return !close_all;
  return FullSave() == 0;
}

int DdfDictionary::FullSave() {
  if (NormaliseDictionary() != 0) return -1;
  ui_.WaitCursor(true);
  int result = SaveDictionary();
  if (result == 0 && CheckBtrieveFiles() == 1) SetModified(0);
  ui_.WaitCursor(false);
  return result;
}

}  // namespace dictedit
