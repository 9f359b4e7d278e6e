#include "session.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <optional>

#include <strings.h>

#include "btrieve/btrapi.h"
#include "engine/table_access.h"
#include "legacy_file.h"
#include "zplatform/ascii.h"
#include "zplatform/codepage.h"
#include "zplatform/paths.h"
#include "zplatform/servers.h"

namespace zelkocli {

std::unique_ptr<zelko::TableCatalog> OpenDictionary(const std::string &directory_utf8,
                                                    std::ostream &err) {
  // The one conversion of the path: the engine takes code-page paths and makes them native.
  std::string directory;
  if (!PathToCodePage(directory_utf8, &directory)) {
    err << "zelko: " << directory_utf8 << ": the path has characters outside the code page\n";
    return nullptr;
  }
  std::unique_ptr<zelko::TableCatalog> catalog;
  if (zelko::LoadCatalog(directory, false, &catalog) != 0 || !catalog) {
    // A directory a server keeps (zelko.ini [servers]) need not exist on this machine: the
    // dictionary is looked for first, the local directory only to say what is wrong.
    if (!zplatform::ServerFor(zplatform::NativePathOrSelf(directory)).empty()) {
      err << "zelko: " << directory_utf8
          << ": cannot read a dictionary (FILE.DDF, FIELD.DDF, INDEX.DDF) from the server "
             "zelko.ini [servers] names for it (the status above: 20 when the server cannot "
             "be reached, 12 when it holds no dictionary there)\n";
      return nullptr;
    }
    struct stat st {};
    if (::stat(directory_utf8.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
      err << "zelko: " << directory_utf8 << ": no such directory\n";
      return nullptr;
    }
    err << "zelko: " << directory_utf8
        << ": cannot read a dictionary (FILE.DDF, FIELD.DDF, INDEX.DDF)\n";
    return nullptr;
  }
  return catalog;
}

bool InsideDictionary(const zelko::TableCatalog &catalog, const std::string &data_file_path) {
  std::error_code ec;
  std::filesystem::path dir =
      std::filesystem::weakly_canonical(zplatform::NativePathOrSelf(catalog.directory), ec);
  if (ec) return false;
  std::optional<std::string> native = zplatform::NativePath(data_file_path);
  if (!native) return false;
  std::filesystem::path file = std::filesystem::weakly_canonical(*native, ec);
  if (ec) return false;
  auto d = dir.begin(), f = file.begin();
  for (; d != dir.end(); ++d, ++f) {
    if (d->empty()) continue;  // the trailing separator of a directory
    if (f == file.end() || *d != *f) return false;
  }
  return f != file.end();
}

zelko::TableDescriptor *FindTable(zelko::TableCatalog &catalog, const std::string &name_utf8,
                                  std::ostream &err) {
  std::string name = zplatform::FromUtf8(name_utf8);
  int t = zelko::FindTableByName(catalog, name);
  // Dictionaries keep names in capitals; a shell user need not type them so.
  for (int i = 0; t < 0 && i < catalog.TableCount(); ++i) {
    if (strcasecmp(catalog.tables[i].name.c_str(), name.c_str()) == 0) t = i;
  }
  if (t < 0) {
    err << "zelko: the dictionary has no table \"" << name_utf8 << "\"\n";
    return nullptr;
  }
  return &catalog.tables[t];
}

int FindKey(const zelko::TableDescriptor &table, const std::string &name_utf8, std::ostream &err) {
  std::string name = zplatform::FromUtf8(name_utf8);
  int position = zelko::FindIndexByName(table, name);
  // As with tables, a named index need not be typed in its dictionary's capitals.
  for (size_t i = 0; position < 0 && i < table.named_indexes.size(); ++i) {
    if (zplatform::EqualNoCaseAscii(table.named_indexes[i].name, name))
      position = zelko::FindIndexByName(table, table.named_indexes[i].name);
  }
  if (position < 0 && !name_utf8.empty() &&
      name_utf8.find_first_not_of("0123456789") == std::string::npos && name_utf8.size() < 4) {
    position = zelko::PositionOfKeyNumber(table, std::stoi(name_utf8));
  }
  if (position < 0) {
    err << "zelko: table \"" << Utf8(table.name) << "\" has no key \"" << name_utf8 << "\"\n";
  }
  return position;
}

std::string LegacyFileHint(const std::string &path) {
  std::optional<std::string> native = zplatform::NativePath(path);
  if (!native || !btr::legacy::LooksLikeLegacyFile(*native)) return "";
  return std::string("; ") + btr::legacy::kImportHint;
}

std::string UnmappedPathReason(const std::string &path) {
  if (zplatform::NativePath(path)) return "";
  return "its drive or network prefix is mapped to no directory (zelko.ini [path_map], as "
         "c:=/srv/c)";
}

bool OpenTable(const zelko::TableCatalog &catalog, zelko::TableDescriptor &table,
               const std::string &owner, int open_mode, std::ostream &err) {
  std::string path = zelko::ResolveDataFilePath(table, catalog.directory);
  int16_t status =
      zelko::EngineOpen(catalog, table, catalog.directory, zplatform::FromUtf8(owner), open_mode);
  if (status != 0 || !table.open) {
    // Opened and closed again without a failing status: the file does not fit the table.
    std::string unmapped = status == B_FILE_NOT_FOUND ? UnmappedPathReason(path) : "";
    err << "zelko: cannot open " << Utf8(path) << ": "
        << (status != 0 ? StatusPhrase(status)
                        : "its record length is not the dictionary's (see zelko stat)")
        << (status == B_NOT_A_BTRIEVE_FILE ? LegacyFileHint(path) : "")
        << (unmapped.empty() ? "" : "; " + unmapped) << "\n";
    return false;
  }
  return true;
}

std::string DataFilePath(const zelko::TableCatalog &catalog, const zelko::TableDescriptor &table) {
  std::optional<std::string> directory = zplatform::ShortPathName(catalog.directory);
  return zelko::ResolveDataFilePath(table, directory ? *directory : catalog.directory);
}

int16_t StatDataFile(const std::string &path, const std::string &owner,
                     std::vector<uint8_t> *stat) {
  uint8_t block[128] = {};
  std::string key = path;
  std::string owner_buffer = owner;
  uint32_t length = owner.empty() ? 0 : static_cast<uint32_t>(owner.size() + 1);
  int16_t status = BTRCALL(B_OPEN, block, owner_buffer.data(), &length, key.data(),
                           static_cast<uint8_t>(key.size() > 255 ? 255 : key.size()), -2);
  if (status != 0) return status;
  stat->assign(4096, 0);
  length = static_cast<uint32_t>(stat->size());
  char name[256] = {};
  status = BTRCALL(B_STAT, block, stat->data(), &length, name, sizeof name - 1, 0);
  stat->resize(status == 0 ? length : 0);
  uint32_t zero = 0;
  BTRCALL(B_CLOSE, block, nullptr, &zero, nullptr, 0, 0);
  return status;
}

std::string StatusText(int status) {
  static const struct {
    int status;
    const char *meaning;
  } kMeanings[] = {
      {0, "success"},
      {1, "invalid operation"},
      {2, "I/O error"},
      {3, "file not open"},
      {4, "key value not found"},
      {5, "duplicate key value"},
      {6, "invalid key number"},
      {7, "different key number"},
      {8, "no current record"},
      {9, "end of file"},
      {10, "key field not modifiable"},
      {11, "invalid file name"},
      {12, "file not found"},
      {18, "disk full"},
      {20, "record manager not active"},
      {21, "key buffer too short"},
      {22, "data buffer too short"},
      {23, "position block too short"},
      {24, "invalid page size"},
      {25, "cannot create the file"},
      {26, "invalid number of keys"},
      {27, "invalid key position"},
      {28, "invalid record length"},
      {29, "invalid key length"},
      {30, "not a data file of this record manager"},
      {37, "a transaction is already active"},
      {39, "no transaction to end or abort"},
      {41, "operation not allowed"},
      {43, "invalid record address"},
      {44, "null key path"},
      {45, "inconsistent key flags"},
      {46, "access to the file denied"},
      {48, "invalid alternate collating sequence"},
      {51, "invalid owner name"},
      {59, "file already exists"},
      {60, "reject count reached"},
      {62, "invalid descriptor"},
      {64, "filter limit reached"},
      {65, "invalid field offset"},
      {78, "deadlock detected"},
      {80, "conflict with another process"},
      {81, "lock error"},
      {84, "record locked"},
      {85, "file locked"},
      {86, "too many files open (the process's limit, ulimit -n)"},
      {88, "file opened in an incompatible mode"},
      {95, "session no longer valid (the server connection was lost)"},
      {-1, "engine failure"},
      {-16, "directory not found"},
  };
  for (const auto &m : kMeanings) {
    if (m.status == status) return m.meaning;
  }
  return "record manager status";
}

std::string StatusPhrase(int status) {
  return "status " + std::to_string(status) + ", " + StatusText(status);
}

std::string Utf8(const std::string &code_page) {
  return zplatform::ToUtf8(code_page);
}

namespace {

bool AllAscii(const std::string &text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace

bool ToCodePage(const std::string &utf8, std::string *out) {
  // ASCII values (numbers, dates, codes) are copied as they are by the conversion itself.
  return zplatform::FromUtf8Holds(utf8, out) || AllAscii(utf8);
}

bool PathToCodePage(const std::string &utf8, std::string *out) {
  return zplatform::FromUtf8Exactly(utf8, out) || AllAscii(utf8);
}

bool IsUtf8(const std::string &text) {
  size_t i = 0;
  while (i < text.size()) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    // The count of continuation bytes, and the lead byte's bits of the character.
    size_t more = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : 1;
    uint32_t cp = c & (0x3F >> more);
    if (c < 0xC2 || c > 0xF4) return false;
    if (i + more >= text.size()) return false;  // cut short
    for (size_t k = 1; k <= more; ++k) {
      unsigned char t = static_cast<unsigned char>(text[i + k]);
      if ((t & 0xC0) != 0x80) return false;
      cp = cp << 6 | (t & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF.
    if ((more == 2 && cp < 0x800) || (more == 3 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF))
      return false;
    i += more + 1;
  }
  return true;
}

const char kNotUtf8[] =
    "is not UTF-8 text (a file saved in Shift-JIS? convert it first: iconv -f CP932 -t UTF-8)";

}  // namespace zelkocli
