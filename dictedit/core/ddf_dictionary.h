// The dictionary the editor holds: tables in order, each with its fields, key segments and
// named indexes, loaded from and saved to FILE.DDF, FIELD.DDF and INDEX.DDF. Texts are
// code-page bytes.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "btrieve/btrapi.h"
#include "dictio/dictio.h"
#include "editor_options.h"
#include "editor_ui.h"

namespace dictedit {

constexpr int kNamedIndexType = DDF_NAMED_INDEX;
constexpr int kFlagSegmented = B_KEY_SEGMENTED;
constexpr int kMaxFields = 511;
constexpr int kMaxSegments = 119;
// Widths of the dictionary's record fields: names, locations, and the 16-bit sizes and
// offsets (a record longer than the widest offset can have no data file either).
constexpr size_t kNameWidth = 20;
constexpr size_t kLocationWidth = 64;
constexpr int kMaxFieldSize = 65535;
constexpr int kMaxRecordLength = 65535;

// Fields and segments are made by their dictionary (NewField, NewSegment), which numbers them.
struct DdfField {
  int field_id = 0;
  int new_field_id = 0;
  int file_id = 0;
  std::string name;
  uint8_t data_type = 0;
  int offset = 0;  // for a named index: its key number
  int size = 0;
  uint8_t decimals = 0;
  int flags = 0;
};

struct DdfIndexSegment {
  int serial = 0;  // a running number of the dictionary, never written
  int file_id = 0;
  int field_id = 0;
  int key_number = 0;
  int part = 0;
  int flags = 0;
  int new_field_id = 0;
};

struct DdfTable {
  DdfTable();
  ~DdfTable();
  DdfTable(const DdfTable &) = delete;
  DdfTable &operator=(const DdfTable &) = delete;

  std::string name;
  std::string location;
  int field_count() const { return static_cast<int>(fields.size()); }
  int segment_count() const { return static_cast<int>(segments.size()); }
  int named_index_count() const { return static_cast<int>(named_indexes.size()); }
  std::vector<std::unique_ptr<DdfField>> fields;
  std::vector<std::unique_ptr<DdfIndexSegment>> segments;
  std::vector<std::unique_ptr<DdfField>> named_indexes;
  int file_id = 0;
  int new_file_id = 0;
  int modified = 0;

  // Sum of the field sizes without Note, LVar and named indexes.
  int RecordLength() const;
  DdfField *FindField(const std::string &name) const;
  DdfField *FieldById(int field_id) const;
  // The named index of key `key` (its offset holds the key number), or null.
  DdfField *NameOfKey(int key) const;
  bool HasVariableField() const;
};

// The dictionary I/O calls, replaceable so tests can make a write fail.
struct DdfIo {
  int (*open)(const char *, int);
  int (*close)();
  int (*read_file)(::DdfFileRecord *);
  int (*read_field)(::DdfFieldRecord *);
  int (*read_index)(::DdfIndexRecord *);
  int (*write_file)(::DdfFileRecord *);
  int (*write_field)(::DdfFieldRecord *);
  int (*write_index)(::DdfIndexRecord *);
};
DdfIo DictioCalls();

class DdfDictionary {
 public:
  explicit DdfDictionary(EditorUi &ui);
  ~DdfDictionary();

  EditorUi &Ui() { return ui_; }
  EditorOptions options;
  std::string ddf_directory;
  std::vector<std::unique_ptr<DdfTable>> tables;
  int current_file_id = -1;  // the table the active view shows, -1 none
  // Data files converted, or given or stripped of a key, by edits not yet saved: the
  // dictionary on disk no longer describes them until it is saved.
  bool data_files_changed = false;
  DdfIo io;

  int LoadDictionary();
  int SaveDictionary();
  int NormaliseDictionary();
  int CheckBtrieveFiles();
  // Normalise, save, check files, clear the modified flag; 0 or -1.
  int FullSave();
  // Before Exit, the main window's close or Close All: when modified, asks VE1045; OK saves.
  // False when closing must not go on: Cancel on Close All, or a save that failed (the
  // edits would be lost).
  bool OfferSave(bool close_all);
  int IsModified() const { return modified_; }
  void SetModified(int value);
  void ClearDictionary();

  DdfTable *FindTableById(int file_id) const;
  DdfTable *FindTableByName(const std::string &name) const;
  DdfTable *CurrentTable() const { return FindTableById(current_file_id); }
  // The first free file id for a new table (counting from 4 along the list); asked by a
  // table already made.
  int FirstFreeFileId() const;
  // A new field with the next field id (the first made gets 19), a new segment with the next
  // serial number.
  std::unique_ptr<DdfField> NewField();
  std::unique_ptr<DdfIndexSegment> NewSegment();
  // The paths a table's data file may have: the location itself when it holds ":" or
  // starts with "/", else the dictionary directory, "/" and the location; for a location
  // without a dot also that path with ".btr", the file the data engine reads and makes.
  std::vector<std::string> DataFilePathChoices(const DdfTable &table) const;
  // The table's data file among them: the data engine's own where it exists or where no
  // file is at the location as written (a dictionary of an older editor may have put one
  // there), else the location as written.
  std::string DataFilePath(const DdfTable &table) const;

 private:
  // The records the dictionary's files hold now, as bytes; nullopt when they cannot be read.
  std::optional<std::string> ImageOnDisk() const;

  EditorUi &ui_;
  // The records the last load read or the last save wrote: what the files should still hold.
  std::optional<std::string> loaded_image_;
  int modified_ = 0;
  int next_field_id_ = 18;
  int next_serial_ = 0;
};

// Type names and codes.
const char *TypeNameOfCode(int code);         // "" for an unknown code
int TypeCodeOfName(const std::string &name);  // -1 for an unknown name
bool IsVariableType(int code);

// Names: single-byte blanks to "^" (double-byte characters left alone), and back.
std::string BlanksToCarets(const std::string &name);
std::string CaretsToBlanks(const std::string &name);
// Upper-cases single-byte letters, leaving double-byte characters alone.
std::string UpperCodePage(const std::string &text);
// The longest start of `text` that fits `width` bytes without splitting a double-byte
// character: what a record field of that width keeps.
std::string CutToWidth(const std::string &text, size_t width);

}  // namespace dictedit
