#include "btrieve_files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "btrieve/btrapi.h"
#include "data_file.h"
#include "editor_messages.h"
#include "zplatform/codepage.h"
#include "zplatform/paths.h"
#include "zplatform/servers.h"

namespace dictedit {

namespace {

int FieldPosition(const DdfTable &table, int field_id) {
  int position = 1;
  for (const auto &f : table.fields) {
    if (f->field_id == field_id) return position;
    position += f->size;
  }
  return position;
}

BtrKeySpec SegmentSpec(const DdfTable &table, const DdfIndexSegment &s, int null_key) {
  const DdfField *f = table.FieldById(s.field_id);
  BtrKeySpec k{};
  k.position = static_cast<uint16_t>(FieldPosition(table, s.field_id));
  k.length = static_cast<uint16_t>(f ? f->size : 0);
  k.flags = static_cast<uint16_t>(s.flags);
  k.type = f ? f->data_type : 0;
  k.null_value = static_cast<uint8_t>(null_key);
  return k;
}

}  // namespace

std::vector<uint8_t> BuildFileSpecification(const DdfTable &table, int null_key) {
  BtrFileSpec file{};
  file.record_length = static_cast<uint16_t>(table.RecordLength());
  file.page_size = 4096;
  file.file_flags = table.HasVariableField() ? B_FILE_VARIABLE_LENGTH : 0;
  std::vector<BtrKeySpec> segments;
  for (const auto &s : table.segments)
    segments.push_back(SegmentSpec(table, *s, null_key));
  return btrieve::CreateBuffer(file, segments);
}

std::vector<uint8_t> BuildKeySegments(const DdfTable &table, int first) {
  std::vector<uint8_t> b;
  for (int i = first; i < table.segment_count() && i - first < 120; ++i) {
    BtrKeySpec k = SegmentSpec(table, *table.segments[i], 0);
    const uint8_t *bytes = reinterpret_cast<const uint8_t *>(&k);
    b.insert(b.end(), bytes, bytes + sizeof k);
    if ((table.segments[i]->flags & kFlagSegmented) == 0) break;
  }
  return b;
}

int KeyNumberOfSegment(const DdfTable &table, int segment) {
  int keys = 0;
  for (int i = 0; i < segment && i < table.segment_count(); ++i) {
    if ((table.segments[i]->flags & kFlagSegmented) == 0) ++keys;
  }
  return keys;
}

int FirstSegmentOfKey(const DdfTable &table, int key) {
  for (int i = 0, k = 0; i < table.segment_count(); ++i) {
    if (k == key) return i;
    if ((table.segments[i]->flags & kFlagSegmented) == 0) ++k;
  }
  return -1;
}

int16_t CreateDataFile(DdfDictionary &dict, DdfTable &table, const std::string &code_page_path) {
  std::vector<uint8_t> spec = BuildFileSpecification(table, dict.options.null_key);
  uint8_t block[128] = {};
  uint32_t length = static_cast<uint32_t>(spec.size());
  std::string key = code_page_path;
  return BTRCALL(B_CREATE, block, spec.data(), &length, key.data(), 0, 0);
}

int CreateBtrieveFiles(DdfDictionary &dict, const std::vector<std::string> *names) {
  if (dict.NormaliseDictionary() != 0) return -1;
  std::vector<int> chosen;
  if (names != nullptr) {
    for (size_t i = 0; i < dict.tables.size(); ++i) {
      for (const std::string &n : *names) {
        if (dict.tables[i]->name == n) chosen.push_back(static_cast<int>(i));
      }
    }
  } else {
    std::vector<std::string> entries;
    for (const auto &t : dict.tables) {
      char line[200];
      std::snprintf(line, sizeof line, "%s %-13.13s %s", t->modified ? "*" : " ", t->name.c_str(),
                    t->location.c_str());
      entries.push_back(line);
    }
    if (!dict.Ui().ChooseSeveral("生成するBtrieveファイルの選択", entries, &chosen) ||
        chosen.empty())
      return -1;
  }
  for (int i : chosen)
    dict.tables[i]->modified = 0;
  int result = 0;
  for (int i : chosen) {
    DdfTable &t = *dict.tables[i];
    std::string path = dict.DataFilePath(t);
    if (DataFileExists(zplatform::NativePathOrSelf(path)) &&
        !ShowMessage(dict.Ui(), true, msg::kVE1041, path.c_str())) {
      BTRRELEASE();
      continue;
    }
    int16_t status = CreateDataFile(dict, t, path);
    if (status != 0) {
      ShowMessage(dict.Ui(), false, msg::kVE1040, status);
      result = -1;
      break;
    }
    t.modified = 0;
  }
  BTRRELEASE();
  return result;
}

namespace {

// The converted records go into a file of their own, which takes the data file's name only
// when every record is in it: a conversion cut short (the editor killed, the power lost)
// never leaves part of the records where programs look for them.
std::string FillingName(const std::string &native_path) {
  return native_path + ".converting";
}

// Puts the backup's copy in the data file's place (the backup stays); when no copy can be
// made, the backup itself takes the name back. Shows VE1070 when neither can be done; true
// when the data is in place.
bool CopyBackupBack(EditorUi &ui, const std::string &backup, const std::string &path) {
  if (!zplatform::ServerFor(path).empty()) {
    // A server's backup is no file here to copy: it takes the file's name back.
    int16_t back =
        BTRRENAMEFILE(zplatform::FromUtf8(backup).c_str(), zplatform::FromUtf8(path).c_str());
    if (back != 0) ShowMessage(ui, false, msg::kVE1070, back);
    return back == 0;
  }
  // The copy goes into place only whole. One that fails (the disk that stopped the
  // conversion is full) would leave programs without their data file: the backup moves back,
  // which needs no room, and there is no backup this time.
  zplatform::FileResult copied =
      zplatform::CopyFile(zplatform::FromUtf8(backup), zplatform::FromUtf8(path), false);
  if (copied.ok ||
      BTRRENAMEFILE(zplatform::FromUtf8(backup).c_str(), zplatform::FromUtf8(path).c_str()) == 0)
    return true;
  ShowMessage(ui, false, msg::kVE1070, copied.os_error);
  return false;
}

std::string BackupName(const std::string &path) {
  size_t dot = path.rfind('.');
  size_t slash = path.rfind('/');
  return (dot != std::string::npos && (slash == std::string::npos || dot > slash)
              ? path.substr(0, dot)
              : path) +
         ".@@@";
}

}  // namespace

void FinishInterruptedConversions(DdfDictionary &dict) {
  for (const auto &t : dict.tables) {
    // The file moved aside is no longer there to tell which name it had: each is looked at.
    for (const std::string &choice : dict.DataFilePathChoices(*t)) {
      const std::string path = zplatform::NativePathOrSelf(choice);
      if (!zplatform::ServerFor(path).empty()) continue;
      // Plain looks: the record manager's would try to open each table's missing file at
      // every load.
      struct stat st {};
      const std::string filling = FillingName(path);
      const std::string backup = BackupName(path);
      if (::stat(filling.c_str(), &st) != 0) continue;
      if (::stat(path.c_str(), &st) == 0) {
        // Cut short before the data file moved: only the unfinished file is left to go (one
        // that another editor is filling is open, and stays).
        BTRDELETEFILE(zplatform::FromUtf8(filling).c_str());
        continue;
      }
      if (::stat(backup.c_str(), &st) != 0) continue;
      // The backup holds every record as the dictionary on disk describes them. A conversion
      // under way in another editor keeps it open, and the copy then waits for its end.
      if (BTRDELETEFILE(zplatform::FromUtf8(filling).c_str()) == 0)
        CopyBackupBack(dict.Ui(), backup, path);
    }
  }
}

bool DataConversionApplies(DdfDictionary &dict, const DdfTable &table) {
  return dict.options.data_conv_mode &&
         DataFileExists(zplatform::NativePathOrSelf(dict.DataFilePath(table)));
}

int ConvertDataFile(DdfDictionary &dict, DdfTable &table, const DdfField &field, int offset,
                    int old_length, ConversionMode mode) {
  EditorUi &ui = dict.Ui();
  std::string path = zplatform::NativePathOrSelf(dict.DataFilePath(table));
  std::string backup = BackupName(path);
  std::string filling = FillingName(path);
  // A file this user may only read opens with a shared lock, which keeps no writer away
  // while its records move; and its layout is not this user's to change.
  if (::access(path.c_str(), F_OK) == 0 && ::access(path.c_str(), W_OK) != 0) {
    ShowMessage(ui, false, msg::kVE1073, static_cast<int>(B_ACCESS_TO_FILE_DENIED));
    return B_ACCESS_TO_FILE_DENIED;
  }
  if (DataFileExists(backup)) {
    // Messages take code-page texts; the path is the file system's.
    if (!ShowMessage(ui, true, msg::kVE1072, zplatform::FromUtf8(backup).c_str())) return -2;
    BTRDELETEFILE(zplatform::FromUtf8(backup).c_str());
  }
  // What a conversion cut short left goes first. The records are read from the data file
  // where it stands, opened exclusively: no other program opens it, or finds its name free and
  // makes an empty file there, while they move. It goes aside only when the new file is full.
  // The record manager takes code-page paths.
  BTRDELETEFILE(zplatform::FromUtf8(filling).c_str());
  int16_t status = CreateDataFile(dict, table, zplatform::FromUtf8(filling));
  if (status != 0) {
    ShowMessage(ui, false, msg::kVE1040, status);
    return status;
  }
  // The converted file takes the data file's place: the users who wrote that one write it.
  zplatform::KeepAccessOf(path, filling);
  int new_length = table.RecordLength();
  int final_status = 0;
  {
    OpenDataFile old_file, new_file;
    if ((status = old_file.Open(path, kExclusiveOpen)) != 0 ||
        (status = new_file.Open(filling)) != 0) {
      ShowMessage(ui, false, msg::kVE1073, status);
      old_file.Close();
      new_file.Close();
      BTRDELETEFILE(zplatform::FromUtf8(filling).c_str());
      return status;  // nothing moved
    }
    std::vector<uint8_t> stat;
    old_file.Stat(&stat);
    uint32_t length = 0;
    long records = static_cast<long>(stat[6] | stat[7] << 8 | stat[8] << 16 |
                                     static_cast<uint32_t>(stat[9]) << 24);
    if (records > 0) {
      ui.WaitCursor(true);
      // Variable parts travel after the fixed part; the buffers hold the largest record.
      std::vector<uint8_t> in(static_cast<size_t>(old_length) + 65536),
          out(static_cast<size_t>(new_length) + 65536);
      char key[255];
      long done = 0;
      int op = B_STEP_FIRST;
      while (true) {
        length = static_cast<uint32_t>(in.size());
        status = BTRCALL(op, old_file.Block(), in.data(), &length, key, sizeof key, 0);
        if (status != 0) break;
        op = B_STEP_NEXT;
        std::fill(out.begin(), out.end(), 0);
        size_t size = static_cast<size_t>(field.size);
        size_t at = static_cast<size_t>(offset);
        size_t out_length;
        if (mode == kFieldAdded) {
          std::memcpy(out.data(), in.data(), std::min<size_t>(at, length));
          if (length > at) std::memcpy(out.data() + at + size, in.data() + at, length - at);
          out_length = length + size;
        } else {
          // A variable field runs to the record's end, whatever size it was declared with.
          size_t removed = IsVariableType(field.data_type) ? (length > at ? length - at : 0) : size;
          std::memcpy(out.data(), in.data(), std::min<size_t>(at, length));
          if (length > at + removed)
            std::memcpy(out.data() + at, in.data() + at + removed, length - at - removed);
          out_length = length > removed ? length - removed : 0;
        }
        uint32_t write_length = static_cast<uint32_t>(out_length);
        status =
            BTRCALL(B_INSERT, new_file.Block(), out.data(), &write_length, key, sizeof key, -1);
        if (status != 0) break;
        ++done;
        char progress[64];
        std::snprintf(progress, sizeof progress, "%ld/%ld", done, records);
        ui.StatusText(progress);
      }
      ui.WaitCursor(false);
      if (status == 9) {
        ui.StatusText(std::to_string(done));
      } else {
        ShowMessage(ui, false, msg::kVE1071, status);
      }
      final_status = status;
    }
  }
  // The files are closed; each name change takes the file's journal with it.
  const std::string code_page_path = zplatform::FromUtf8(path);
  const std::string code_page_backup = zplatform::FromUtf8(backup);
  const std::string code_page_filling = zplatform::FromUtf8(filling);
  if (final_status != 0 && final_status != 9) {
    // The data never moved. It is kept as the backup too, as after any conversion.
    BTRDELETEFILE(code_page_filling.c_str());
    if (BTRRENAMEFILE(code_page_path.c_str(), code_page_backup.c_str()) == 0)
      CopyBackupBack(ui, backup, path);
    return final_status;
  }
  // A program that opened the data file since it was closed keeps it where it is.
  if (int16_t moved = BTRRENAMEFILE(code_page_path.c_str(), code_page_backup.c_str()); moved != 0) {
    ShowMessage(ui, false, msg::kVE1070, moved);
    BTRDELETEFILE(code_page_filling.c_str());
    return -1;
  }
  int16_t placed = BTRRENAMEFILE(code_page_filling.c_str(), code_page_path.c_str());
  if (placed == 0) {
    dict.data_files_changed = true;
    // The fields stand where the converted records hold them (a failure keeps the old ones
    // for the caller, who takes the edit back).
    int sum = 0;
    for (auto &f : table.fields) {
      f->offset = sum;
      sum += f->size;
    }
    return final_status;
  }
  ShowMessage(ui, false, msg::kVE1070, placed);
  BTRDELETEFILE(code_page_filling.c_str());
  CopyBackupBack(ui, backup, path);
  return placed;
}

int AddKeyToDataFile(DdfDictionary &dict, DdfTable &table, int first_segment) {
  OpenDataFile file;
  int16_t status = file.Open(zplatform::NativePathOrSelf(dict.DataFilePath(table)));
  if (status != 0) {
    ShowMessage(dict.Ui(), false, msg::kVE1073, status);
    return status;
  }
  std::vector<uint8_t> segments = BuildKeySegments(table, first_segment);
  uint32_t length = static_cast<uint32_t>(segments.size());
  char key[1] = {};
  status = BTRCALL(B_CREATE_INDEX, file.Block(), segments.data(), &length, key, 0,
                   static_cast<int8_t>(KeyNumberOfSegment(table, first_segment)));
  if (status != 0) ShowMessage(dict.Ui(), false, msg::kVE1076, status);
  if (status == 0) dict.data_files_changed = true;
  return status;
}

int DropKeyFromDataFile(DdfDictionary &dict, DdfTable &table, int segment) {
  OpenDataFile file;
  int16_t status = file.Open(zplatform::NativePathOrSelf(dict.DataFilePath(table)));
  if (status != 0) {
    ShowMessage(dict.Ui(), false, msg::kVE1073, status);
    return status;
  }
  uint32_t length = 0;
  char key[1] = {};
  status = BTRCALL(B_DROP_INDEX, file.Block(), nullptr, &length, key, 0,
                   static_cast<int8_t>(KeyNumberOfSegment(table, segment)));
  if (status != 0) ShowMessage(dict.Ui(), false, msg::kVE1075, status);
  if (status == 0) dict.data_files_changed = true;
  return status;
}

}  // namespace dictedit
