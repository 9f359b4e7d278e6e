#include "legacy_import.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string_view>
#include <vector>

#include "btrieve/btrapi.h"

namespace btr::legacy {

namespace {

template <typename T>
void Append(std::string &out, const T &block) {
  out.append(reinterpret_cast<const char *>(&block), sizeof block);
}

int16_t Call(int op, uint8_t *block, void *data, uint32_t length, const std::string &key,
             int key_number) {
  std::string k = key;
  return BTRCALL(static_cast<uint16_t>(op), block, data, &length, k.data(),
                 static_cast<uint8_t>(std::min<size_t>(k.size(), 255)),
                 static_cast<int8_t>(key_number));
}

// Removes a file of ours with the journal files beside it.
void RemoveAll(const std::string &path) {
  BTRDELETEFILE(path.c_str());  // a server's file too
  for (const char *suffix : {"", "-wal", "-shm", "-journal"})
    ::unlink((path + suffix).c_str());
}

// A file at `path`, here or on the server that keeps its directory.
bool DestinationTaken(const std::string &path) {
  return ::access(path.c_str(), F_OK) == 0 || btrieve::FileIsThere(path.c_str());
}

}  // namespace

std::string CreateBufferFor(const LegacyFile &file, std::string *why) {
  std::string out;
  BtrFileSpec spec{};
  spec.record_length = static_cast<uint16_t>(file.record_length);
  spec.page_size = static_cast<uint16_t>(file.page_size);
  spec.key_count = static_cast<uint16_t>(file.keys.size());
  spec.file_flags = file.variable ? B_FILE_VARIABLE_LENGTH : 0;
  Append(out, spec);
  for (size_t k = 0; k < file.keys.size(); ++k) {
    for (const LegacySegment &s : file.keys[k].segments) {
      if ((s.flags & 0x100) != 0 && (s.type > 15 || s.type == 12 || s.type == 13)) {
        *why = "key " + std::to_string(k) + " has type " + std::to_string(s.type) +
               ", which the record manager does not take as a key";
        return std::string();
      }
      BtrKeySpec key{};
      key.position = static_cast<uint16_t>(s.position);
      key.length = static_cast<uint16_t>(s.length);
      // Linked or repeating duplicates are one thing here; a per-key collating sequence is
      // the segment's table number.
      int flags = s.flags & ~0x80;
      if ((flags & 0x20) != 0) flags &= ~0x400;
      key.flags = static_cast<uint16_t>(flags);
      key.type = static_cast<uint8_t>((s.flags & 0x100) != 0 ? s.type : 0);
      key.null_value = static_cast<uint8_t>(s.null_value);
      key.acs_number = static_cast<uint8_t>(s.collating >= 0 ? s.collating : 0);
      Append(out, key);
    }
  }
  for (const LegacyCollating &c : file.collating) {
    BtrCollatingTable table{};
    table.signature = 0xAC;
    std::memcpy(table.name, c.name.data(), std::min<size_t>(c.name.size(), sizeof table.name));
    std::memcpy(table.map, c.map.data(), sizeof table.map);
    Append(out, table);
  }
  return out;
}

namespace {

// Walks the source's records in physical order, as ForEachLegacyRecord does.
using RecordWalk = std::function<bool(const RecordVisitor &visit, std::string *why)>;

// Written in passes over the source, so no more than one of its records is held: the count,
// the records, and each record again against what the new file reads back.
int ImportWalked(const LegacyFile &file, const RecordWalk &walk, const std::string &destination,
                 const std::function<void(uint32_t, uint32_t)> &progress, ImportReport *report,
                 std::string *why, const std::function<bool()> &interrupted) {
  *report = ImportReport{};
  uint32_t found = 0;
  auto counting = [&found](const std::string &) {
    ++found;
    return true;
  };
  // A reason of the walk's own is the source's, said so beside the destination's name.
  auto source_failed = [why]() { return "reading the genuine file: " + *why; };
  if (!walk(counting, why)) {
    *why = source_failed();
    return 1;
  }
  report->records_read = found;
  if (found != file.fcr_records) {
    *why = "found " + std::to_string(found) + " records where the file says " +
           std::to_string(file.fcr_records);
    return 1;
  }
  if (DestinationTaken(destination)) {
    *why = destination + " exists already";
    return 1;
  }
  std::string create = CreateBufferFor(file, why);
  if (create.empty()) return 1;
  std::string temporary = destination + ".importing." + std::to_string(::getpid());
  RemoveAll(temporary);
  uint8_t block[128] = {};
  int16_t status = Call(B_CREATE, block, create.data(), static_cast<uint32_t>(create.size()),
                        temporary + '\0', -1);
  if (status != 0) {
    *why = "cannot create " + temporary + " (status " + std::to_string(status) + ")";
    RemoveAll(temporary);
    return 1;
  }
  auto fail = [&](const std::string &reason) {
    Call(B_ABORT_TRAN, block, nullptr, 0, std::string(), 0);
    Call(B_CLOSE, block, nullptr, 0, std::string(), 0);
    RemoveAll(temporary);
    *why = reason;
    return 1;
  };
  status = Call(B_OPEN, block, nullptr, 0, temporary + '\0', 0);
  if (status != 0)
    return fail("cannot open " + temporary + " (status " + std::to_string(status) + ")");
  // Written in transactions of some thousands of records.
  constexpr uint32_t kBatch = 50000;
  size_t longest = 0;
  uint32_t i = 0;
  std::string refusal;  // why a visit stopped a walk
  auto insert = [&](const std::string &source) {
    if (i % kBatch == 0) {
      if (i > 0 && (status = Call(B_END_TRAN, block, nullptr, 0, std::string(), 0)) != 0) {
        refusal = "the write ended with status " + std::to_string(status);
        return false;
      }
      Call(B_BEGIN_TRAN, block, nullptr, 0, std::string(), 0);
      if (progress) progress(i, report->records_read);
    }
    if (interrupted && i % 1024 == 0 && interrupted()) {
      refusal = "interrupted";
      return false;
    }
    std::string record = source;
    longest = std::max(longest, record.size());
    std::string key(255, '\0');
    status = Call(B_INSERT, block, record.data(), static_cast<uint32_t>(record.size()), key,
                  file.keys.empty() ? -1 : 0);
    if (status != 0) {
      refusal =
          "record " + std::to_string(i + 1) + " was refused with status " + std::to_string(status);
      return false;
    }
    ++report->records_written;
    ++i;
    return true;
  };
  if (!walk(insert, why)) return fail(refusal.empty() ? source_failed() : refusal);
  if (i > 0 && (status = Call(B_END_TRAN, block, nullptr, 0, std::string(), 0)) != 0)
    return fail("the write ended with status " + std::to_string(status));
  if (progress) progress(report->records_read, report->records_read);
  // Verified: the count, every record read back in the same order, the file's own check.
  std::vector<uint8_t> stat(65536);
  if (Call(B_STAT, block, stat.data(), static_cast<uint32_t>(stat.size()), std::string(64, '\0'),
           0) != 0)
    return fail("the new file's statistics cannot be read");
  uint32_t count = 0;
  std::memcpy(&count, stat.data() + 6, 4);
  if (count != file.fcr_records)
    return fail("the new file holds " + std::to_string(count) + " records, not " +
                std::to_string(file.fcr_records));
  std::vector<char> buffer(std::max<size_t>(longest, 1) + 1);
  i = 0;
  uint32_t length = 0;
  auto step = [&]() {
    length = static_cast<uint32_t>(buffer.size());
    char key[1] = {};
    return BTRCALL(static_cast<uint16_t>(i == 0 ? B_STEP_FIRST : B_STEP_NEXT), block, buffer.data(),
                   &length, key, 0, 0);
  };
  auto read_back = [&](const std::string &source) {
    status = step();
    if (status == B_END_OF_FILE) {
      refusal = "only " + std::to_string(i) + " records read back";
      return false;
    }
    if (status != 0) {
      refusal = "reading back ended with status " + std::to_string(status);
      return false;
    }
    if (std::string_view(buffer.data(), length) != source) {
      refusal = "record " + std::to_string(i + 1) + " does not read back as it was written";
      return false;
    }
    ++i;
    return true;
  };
  if (!walk(read_back, why)) return fail(refusal.empty() ? source_failed() : refusal);
  // Nothing beyond the source's records.
  if ((status = step()) != B_END_OF_FILE)
    return fail(status == 0 ? "the new file holds more records than were written"
                            : "reading back ended with status " + std::to_string(status));
  Call(B_CLOSE, block, nullptr, 0, std::string(), 0);
  // Every handle of this process let go, so the file is whole on its own when renamed.
  Call(B_RESET, block, nullptr, 0, std::string(), 0);
  std::string problems;
  auto collect = [](const char *problem, void *context) {
    *static_cast<std::string *>(context) += std::string(problem) + "; ";
  };
  if (BTRCHECKFILE(temporary.c_str(), collect, &problems) != 0) {
    RemoveAll(temporary);
    *why = "the new file does not check clean: " + problems;
    return 1;
  }
  if (interrupted && interrupted()) {
    RemoveAll(temporary);
    *why = "interrupted";
    return 1;
  }
  // Another program may have made the file while this one was written: it stays.
  if (DestinationTaken(destination)) {
    RemoveAll(temporary);
    *why = destination + " was made by another program meanwhile";
    return 1;
  }
  // Renamed by the record manager: on a server the name is the server's, not a file here.
  if (BTRRENAMEFILE(temporary.c_str(), destination.c_str()) != 0) {
    RemoveAll(temporary);
    *why = "cannot rename the new file to " + destination;
    return 1;
  }
  RemoveAll(temporary);  // journal files left empty under the temporary name
  return 0;
}

}  // namespace

int ImportLegacyFile(const LegacyFile &file, const std::string &destination,
                     const std::function<void(uint32_t, uint32_t)> &progress, ImportReport *report,
                     std::string *why, const std::function<bool()> &interrupted) {
  auto walk = [&file](const RecordVisitor &visit, std::string *) {
    for (const std::string &record : file.records) {
      if (!visit(record)) return false;
    }
    return true;
  };
  return ImportWalked(file, walk, destination, progress, report, why, interrupted);
}

int ImportLegacyFile(const LegacyFile &header, const LegacySource &source,
                     const std::string &destination,
                     const std::function<void(uint32_t, uint32_t)> &progress, ImportReport *report,
                     std::string *why, const std::function<bool()> &interrupted) {
  auto walk = [&source](const RecordVisitor &visit, std::string *reason) {
    return ForEachLegacyRecord(source, visit, reason);
  };
  return ImportWalked(header, walk, destination, progress, report, why, interrupted);
}

}  // namespace btr::legacy
