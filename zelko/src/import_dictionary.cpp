// zelko import-dictionary SRC_DIR DEST_DIR: a genuine Btrieve dictionary and the data files it
// names, into a dictionary of ours and files of our record manager. SRC_DIR is only read.
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>

#include "btrieve/btrapi.h"
#include "commands.h"
#include "dictio/dictio.h"
#include "dictionary_swap.h"
#include "engine/table_catalog.h"
#include "help.h"
#include "legacy_file.h"
#include "legacy_import.h"
#include "zplatform/ascii.h"
#include "zplatform/codepage.h"
#include "zplatform/interruption.h"
#include "zplatform/paths.h"
#include "zplatform/servers.h"

namespace zelkocli {

namespace {

namespace fs = std::filesystem;

// The file of that name in the directory, whatever the case of its letters.
std::string FindInDirectory(const fs::path &directory, const std::string &name) {
  std::error_code ec;
  for (const auto &entry : fs::directory_iterator(directory, ec)) {
    std::string found = entry.path().filename().string();
    if (found.size() == name.size() &&
        std::equal(found.begin(), found.end(), name.begin(), [](char a, char b) {
          return zplatform::ToUpperAscii(a) == zplatform::ToUpperAscii(b);
        }))
      return entry.path().string();
  }
  return std::string();
}

// A genuine file, its records counted against what it says. They are kept only with
// `records_too` (the dictionary's own files, which are small); a data file's are walked again
// as they are imported.
bool ReadGenuine(const btr::legacy::LegacySource &source, btr::legacy::LegacyFile *file,
                 std::string *why, bool records_too) {
  if (!source.ok()) {
    *why = "cannot be read";
    return false;
  }
  if (!btr::legacy::ReadLegacyFile(source, file, why, records_too)) return false;
  uint32_t found = static_cast<uint32_t>(file->records.size());
  if (!records_too && !btr::legacy::CountLegacyRecords(source, &found, why)) return false;
  if (found != file->fcr_records) {
    *why = "holds " + std::to_string(found) + " records where it says " +
           std::to_string(file->fcr_records);
    return false;
  }
  return true;
}

template <typename Record>
std::vector<Record> RecordsOf(const btr::legacy::LegacyFile &file) {
  std::vector<Record> records;
  for (const std::string &bytes : file.records) {
    Record r{};
    std::memcpy(&r, bytes.data(), std::min(bytes.size(), sizeof r));
    records.push_back(r);
  }
  return records;
}

}  // namespace

int CommandImportDictionary(const Args &args, Streams io) {
  ParsedArgs parsed = ParseArgs(args, {}, {});
  if (parsed.help) {
    io.out << HelpText("import-dictionary");
    return 0;
  }
  if (!parsed.error.empty() || parsed.positional.size() != 2) {
    io.err << (parsed.error.empty() ? "zelko import-dictionary: wrong number of arguments"
                                    : parsed.error)
           << "\n"
           << UsageLine("import-dictionary");
    return 2;
  }
  fs::path source = parsed.positional[0], destination = parsed.positional[1];
  // The new dictionary names both directories in the code page: one it cannot hold would be
  // written, and its files looked for, with "?" in its place.
  std::string dest_cp, source_cp;
  for (const fs::path *path : {&source, &destination}) {
    if (!PathToCodePage(path->string(), path == &source ? &source_cp : &dest_cp)) {
      io.err << "zelko import-dictionary: " << path->string()
             << ": the path has characters outside the code page\n";
      return 1;
    }
  }
  std::map<std::string, btr::legacy::LegacyFile> ddf;
  for (const char *name : {"FILE.DDF", "FIELD.DDF", "INDEX.DDF"}) {
    std::string path = FindInDirectory(source, name);
    std::string why = "is missing";
    if (path.empty() ||
        !ReadGenuine(btr::legacy::LegacySource::OpenFile(path), &ddf[name], &why, true)) {
      io.err << "zelko import-dictionary: " << (source / name).string() << ": " << why << "\n";
      return 1;
    }
  }
  zplatform::MakeDirectoryHere(destination.string());
  // Readers and editors of the new dictionary wait until it is whole.
  btrieve::DirectoryLock writing(dest_cp.c_str(), true);
  // A save that ended part-way may have its FILE.DDF aside: it is finished first.
  dictio::FinishInterruptedSaves(zplatform::NativePathOrSelf(dest_cp));
  if (!FindInDirectory(destination, "FILE.DDF").empty() ||
      btrieve::FileIsThere((dest_cp + "/FILE.DDF").c_str())) {
    io.err << "zelko import-dictionary: " << destination.string()
           << " holds a dictionary already; it is never replaced\n";
    return 1;
  }
  auto files = RecordsOf<DdfFileRecord>(ddf["FILE.DDF"]);
  auto fields = RecordsOf<DdfFieldRecord>(ddf["FIELD.DDF"]);
  auto indexes = RecordsOf<DdfIndexRecord>(ddf["INDEX.DDF"]);
  std::vector<DdfFileRecord> tables;
  bool opened = false;
  // Written aside and put in place whole: an import that fails or is cut short leaves no
  // part of a dictionary behind (one that would refuse the next import).
  int status = dictio::PlaceNewDictionary(dest_cp, [&](const std::string &scratch) {
    int written = DDFOpen(scratch.c_str(), 1);
    if (written != 0) return written;
    opened = true;
    std::optional<dictio::ScratchTransaction> records(std::in_place);
    // Each table, its fields and named indexes, then its segments, as readers expect.
    for (DdfFileRecord table : files) {
      if ((table.flags & 16) != 0) continue;  // the dictionary's own tables: DDFOpen made them
      tables.push_back(table);
      written = written != 0 ? written : DDFWriteFile(&table);
      for (DdfFieldRecord field : fields) {
        if (field.file_id == table.id && written == 0) written = DDFWriteField(&field);
      }
      std::vector<DdfIndexRecord> segments;
      for (const DdfIndexRecord &segment : indexes) {
        if (segment.file_id == table.id) segments.push_back(segment);
      }
      std::stable_sort(segments.begin(), segments.end(), [](const auto &a, const auto &b) {
        return a.number != b.number ? a.number < b.number : a.part < b.part;
      });
      for (DdfIndexRecord segment : segments) {
        if (written == 0) written = DDFWriteIndex(&segment);
      }
    }
    if (written == 0) written = records->Commit();
    records.reset();  // aborted when a write failed
    int closed = DDFClose();
    return written != 0 ? written : closed;
  });
  if (status != 0) {
    io.err << "zelko import-dictionary: "
           << (opened ? std::string("writing the dictionary failed")
                      : "cannot create a dictionary in " + destination.string())
           << " (status " << status << ")\n";
    return 1;
  }
  io.out << "dictionary: " << tables.size() << " tables, " << fields.size() << " fields\n";
  int refused = 0;
  // Interrupted, the import ends with the data files it made whole; the one it was writing
  // is not made.
  auto interruption = std::make_optional<zplatform::InterruptionGuard>();
  bool cut_short = false;  // a table was left out or its import stopped
  for (const DdfFileRecord &record : tables) {
    if ((cut_short = zplatform::InterruptionGuard::Interrupted())) break;
    zelko::TableDescriptor table;
    table.name = std::string(record.name, strnlen(record.name, sizeof record.name));
    table.location = std::string(record.location, strnlen(record.location, sizeof record.location));
    while (!table.name.empty() && table.name.back() == ' ')
      table.name.pop_back();
    while (!table.location.empty() && table.location.back() == ' ')
      table.location.pop_back();
    std::string who = zplatform::ToUtf8(table.name);
    auto refuse = [&](const std::string &why) {
      io.out << who << ": refused: " << why << "\n";
      ++refused;
    };
    bool absolute = table.location.find(':') != std::string::npos ||
                    table.location.find('\\') == 0 || table.location.find('/') == 0;
    std::string from = zelko::ResolveDataFilePath(table, source_cp);
    std::string native_from = zplatform::NativePathOrSelf(from);
    if (!fs::exists(native_from)) {
      // The name as the dictionary spells it may differ in case from the file's.
      fs::path spelled = native_from;
      std::string found = FindInDirectory(spelled.parent_path(), spelled.filename().string());
      if (!found.empty()) native_from = found;
    }
    if (!fs::exists(native_from)) {
      io.out << who << ": no data file (" << zplatform::ToUtf8(from) << "), dictionary only\n";
      continue;
    }
    if (absolute) {
      refuse("its location " + zplatform::ToUtf8(table.location) +
             " lies outside the dictionary; import that file with btrimport");
      continue;
    }
    btr::legacy::LegacyFile data;
    std::string why;
    btr::legacy::LegacySource genuine = btr::legacy::LegacySource::OpenFile(native_from);
    if (!ReadGenuine(genuine, &data, &why, false)) {
      refuse(why);
      continue;
    }
    std::string to = zelko::ResolveDataFilePath(table, dest_cp);
    zplatform::MakeDirectoryHere(fs::path(zplatform::NativePathOrSelf(to)).parent_path().string());
    btr::legacy::ImportReport report;
    if (btr::legacy::ImportLegacyFile(data, genuine, to, nullptr, &report, &why,
                                      zplatform::InterruptionGuard::Interrupted) != 0) {
      cut_short = cut_short || zplatform::InterruptionGuard::Interrupted();
      io.out << who << ": " << report.records_read << " records read, refused: " << why << "\n";
      ++refused;
      continue;
    }
    io.out << who << ": " << report.records_read << " records read, " << report.records_written
           << " written\n";
  }
  if (cut_short) {
    io.err << "zelko import-dictionary: interrupted; the data files not said to be written were "
              "not imported\n";
    return zplatform::InterruptionGuard::ExitStatus();
  }
  interruption.reset();  // the check only reads: Ctrl+C ends it at once
  int check = CommandCheck({destination.string()}, io);
  return refused == 0 && check == 0 ? 0 : 1;
}

}  // namespace zelkocli
