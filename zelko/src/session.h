// What every command shares: the dictionary of DIR loaded into a catalog, tables found by
// their names as typed on the terminal (UTF-8), data files opened through the engine, and
// the names of data types and record manager statuses.
#pragma once

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "engine/table_catalog.h"

namespace zelkocli {

struct Streams {
  std::ostream &out;
  std::ostream &err;
};

// Loads the catalog of `directory_utf8` (a path as typed, full load). The catalog keeps the
// directory in the code page, as the engine holds every path. Null after saying why on `err`.
std::unique_ptr<zelko::TableCatalog> OpenDictionary(const std::string &directory_utf8,
                                                    std::ostream &err);

// True when the data file lies in the dictionary's directory or below it.
bool InsideDictionary(const zelko::TableCatalog &catalog, const std::string &data_file_path);

// The table named `name_utf8`, or null after saying so.
zelko::TableDescriptor *FindTable(zelko::TableCatalog &catalog, const std::string &name_utf8,
                                  std::ostream &err);

// The index position of a key given by its named index or its key number; -1 after saying
// that the table has no such key.
int FindKey(const zelko::TableDescriptor &table, const std::string &name_utf8, std::ostream &err);

// Opens the table's data file (open mode of the engine, 0 normal, 2 read-only). False
// after saying why.
bool OpenTable(const zelko::TableCatalog &catalog, zelko::TableDescriptor &table,
               const std::string &owner, int open_mode, std::ostream &err);

// "; what to do" when the file at the code-page `path` is a genuine Btrieve file, else "".
std::string LegacyFileHint(const std::string &path);
// Why `path` (code page) names no file on this machine when it starts with a drive letter or
// network prefix no [path_map] entry maps (the record manager says 12, file not found); else "".
std::string UnmappedPathReason(const std::string &path);

// The full path of the table's data file (the dictionary directory made absolute).
std::string DataFilePath(const zelko::TableCatalog &catalog, const zelko::TableDescriptor &table);

// The Stat buffer of a data file, opened read-only by its own position block.
int16_t StatDataFile(const std::string &path, const std::string &owner, std::vector<uint8_t> *stat);

// A short English description of a record manager status.
std::string StatusText(int status);
// "status 9, end of file": a status as the command-line messages give it.
std::string StatusPhrase(int status);

// Code page <-> terminal.
std::string Utf8(const std::string &code_page);
// The code-page form of a UTF-8 text; false when a character has no place in the code page.
bool ToCodePage(const std::string &utf8, std::string *out);
// The same for a path, which must read back as itself to name its file.
bool PathToCodePage(const std::string &utf8, std::string *out);
// Whether `text` is well-formed UTF-8.
bool IsUtf8(const std::string &text);
// Said of text that is not UTF-8: files saved in the code page are the usual cause.
extern const char kNotUtf8[];

}  // namespace zelkocli
