#include "legacy_file.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <set>

namespace btr::legacy {

namespace {

constexpr uint32_t kNone = 0xFFFFFFFF;
constexpr int kSegmentSize = 30;

// Reads the source's bytes at checked offsets. A file is read in chunks kept in a small cache;
// a read that fails gives zeros and is remembered, and the parse then ends with its reason.
class Reader {
 public:
  Reader(const LegacySource &source, std::string *why)
      : src_(source), memory_(source.Memory()), why_(why) {}
  size_t Size() const { return src_.Size(); }
  bool Has(size_t at, size_t n) const { return at <= Size() && n <= Size() - at; }
  uint8_t U8(size_t at) const {
    return static_cast<uint8_t>(memory_ != nullptr ? memory_[at] : *Chunked(at));
  }
  uint16_t U16(size_t at) const { return static_cast<uint16_t>(U8(at) | U8(at + 1) << 8); }
  uint32_t U32(size_t at) const { return U16(at) | static_cast<uint32_t>(U16(at + 2)) << 16; }
  // High word first, each word little-endian.
  uint32_t HiLo32(size_t at) const { return static_cast<uint32_t>(U16(at)) << 16 | U16(at + 2); }
  // One byte of bits 16-23, then a word of bits 0-15.
  uint32_t Page24(size_t at) const { return static_cast<uint32_t>(U8(at)) << 16 | U16(at + 1); }
  std::string Bytes(size_t at, size_t n) const {
    if (memory_ != nullptr) return std::string(memory_ + at, n);
    std::string out;
    out.reserve(n);
    while (n > 0) {
      size_t piece = std::min(n, kChunk - at % kChunk);
      out.append(Chunked(at), piece);
      at += piece;
      n -= piece;
    }
    return out;
  }
  bool Fail(const std::string &reason) {
    *why_ = reason;
    return false;
  }
  template <typename... Args>
  bool Failf(const char *format, Args... args) {
    char text[256];
    std::snprintf(text, sizeof text, format, args...);
    return Fail(text);
  }
  // A read of the file failed: what the parse then concluded stands on zeros.
  bool ReadFailed() const { return read_error_ != 0; }
  bool FailRead() {
    if (read_error_ == LegacySource::kEndedEarly)
      return Failf(
          "the file ends before offset 0x%zX, though it was longer when it was opened: "
          "it changed while it was read",
          failed_at_);
    return Failf("cannot be read at offset 0x%zX: %s", failed_at_, std::strerror(read_error_));
  }

 private:
  static constexpr size_t kChunk = 65536;
  struct Chunk {
    size_t index = SIZE_MAX;
    uint64_t used = 0;
    std::vector<char> bytes;
  };

  // The byte at `at` (within Size()) and the rest of its chunk.
  const char *Chunked(size_t at) const {
    size_t index = at / kChunk;
    if (last_ == nullptr || last_->index != index) {
      Chunk *oldest = &chunks_[0];
      last_ = nullptr;
      for (Chunk &c : chunks_) {
        if (c.index == index) last_ = &c;
        if (c.used < oldest->used) oldest = &c;
      }
      if (last_ == nullptr) {
        last_ = oldest;
        size_t start = index * kChunk, n = std::min(kChunk, Size() - start);
        last_->bytes.assign(n, '\0');
        int error = src_.Read(start, n, last_->bytes.data());
        if (error != 0) {
          if (read_error_ == 0) read_error_ = error, failed_at_ = start;
          std::fill(last_->bytes.begin(), last_->bytes.end(), '\0');
        }
        last_->index = index;
      }
      last_->used = ++clock_;
    }
    return last_->bytes.data() + at % kChunk;
  }

  const LegacySource &src_;
  const char *memory_;
  std::string *why_;
  mutable std::array<Chunk, 16> chunks_;
  mutable Chunk *last_ = nullptr;
  mutable uint64_t clock_ = 0;
  mutable int read_error_ = 0;
  mutable size_t failed_at_ = 0;
};

struct Parse {
  Reader &r;
  LegacyFile &f;
  size_t fcr = 0;                                    // offset of the current control record
  std::map<uint32_t, std::pair<uint32_t, int>> pat;  // 6.x: logical page -> physical, type
  std::map<uint32_t, int> collating_page;            // logical (or physical) page -> table
  // Given each record instead of LegacyFile::records; a false answer stops the walk.
  const RecordVisitor *visit = nullptr;

  size_t PageOffset(uint32_t physical) const { return static_cast<size_t>(physical) * f.page_size; }

  bool Header() {
    if (!r.Has(0, 0x110)) return r.Fail("shorter than a file control record");
    f.page_table = r.U8(0) == 'F' && r.U8(1) == 'C';
    if (!f.page_table && r.U32(0) != 0)
      return r.Fail("not a Btrieve file (the first bytes are neither 00000000 nor \"FC\")");
    f.page_size = r.U16(8);
    if (f.page_size < 512 || f.page_size > 4096 || f.page_size % 512 != 0)
      return r.Failf("page size %d at offset 0x8 is not a Btrieve page size", f.page_size);
    if (r.Size() < static_cast<size_t>(f.page_size)) return r.Fail("shorter than its first page");
    if (f.page_table) {
      // Two control records; the one used more recently is current.
      if (!r.Has(f.page_size, f.page_size)) return r.Fail("the second control record is missing");
      bool second = r.U8(f.page_size) == 'F' && r.U8(f.page_size + 1) == 'C' &&
                    r.U32(f.page_size + 4) > r.U32(4);
      fcr = second ? f.page_size : 0;
      f.version = r.U16(fcr + 0x4A);
      if (f.version != 0x600 && f.version != 0x610)
        return r.Failf(
            "version 0x%04X (page %d, offset 0x4A) is not supported; only 6.0 and "
            "6.1 files are read",
            f.version, second ? 1 : 0);
    } else {
      f.version = std::abs(static_cast<int16_t>(r.U16(6))) >> 8;
      if (r.U16(0x22) == 0xFFFF)
        return r.Fail("the file is marked as needing recovery (page 0, offset 0x22)");
    }
    int file_flags = r.U16(fcr + 0x106);
    if ((file_flags & 0x0008) != 0) return r.Fail("compressed files are not supported");
    if ((file_flags & 0x0800) != 0)
      return r.Fail("variable tails kept in VAT pages are not supported");
    f.record_length = r.U16(fcr + 0x16);
    f.physical_length = r.U16(fcr + 0x18);
    f.fcr_records = r.HiLo32(fcr + 0x1A);
    int variable = r.U8(fcr + 0x38);
    if (variable == 0xFD) return r.Fail("variable records with blank truncation are not supported");
    if (variable != 0 && variable != 0xFF)
      return r.Failf("variable-length flag 0x%02X at offset 0x38 is not known", variable);
    f.variable = variable == 0xFF;
    int prefix = f.page_table ? 2 : 0;
    int least = prefix + f.record_length + (f.variable ? 4 : 0);
    if (f.record_length == 0 || f.physical_length < least || f.physical_length > f.page_size - 6)
      return r.Failf(
          "record length %d and slot length %d (offsets 0x16, 0x18) do not fit "
          "pages of %d bytes",
          f.record_length, f.physical_length, f.page_size);
    return true;
  }

  bool Pat() {
    uint32_t logical_pages = r.HiLo32(fcr + 0x26);
    uint32_t per_pat = static_cast<uint32_t>(f.page_size / 4 - 2);
    uint32_t total = static_cast<uint32_t>(r.Size() / f.page_size);
    if (logical_pages > total * 2 + per_pat)
      return r.Failf("%u logical pages (offset 0x26) cannot be in a file of %u pages",
                     logical_pages, total);
    for (uint32_t first = 1; first < logical_pages; first += per_pat) {
      uint32_t k = (first - 1) / per_pat;
      uint32_t a = 2 + k * (f.page_size / 4), b = a + 1;
      if (!r.Has(PageOffset(b), f.page_size))
        return r.Failf("the page allocation table at pages %u and %u is missing", a, b);
      auto valid = [&](uint32_t p) {
        return r.U8(PageOffset(p)) == 'P' && r.U8(PageOffset(p) + 1) == 'P';
      };
      if (!valid(a) && !valid(b))
        return r.Failf("pages %u and %u are not a page allocation table (no \"PP\")", a, b);
      uint32_t current =
          !valid(a) || (valid(b) && r.U32(PageOffset(b) + 4) > r.U32(PageOffset(a) + 4)) ? b : a;
      for (uint32_t local = 1; local <= per_pat && first + local - 1 < logical_pages; ++local) {
        size_t at = PageOffset(current) + 4 + 4 * local;
        // Bits 16-23 of the physical page, the page's type, then bits 0-15.
        uint32_t physical = static_cast<uint32_t>(r.U8(at)) << 16 | r.U16(at + 2);
        int type = r.U8(at + 1);
        if (physical == 0xFFFFFF) continue;
        if (physical >= total)
          return r.Failf(
              "page allocation table page %u, offset 0x%zX: logical page %u maps to "
              "page %u beyond the file",
              current, at - PageOffset(current), first + local - 1, physical);
        pat[first + local - 1] = {physical, type};
      }
    }
    return true;
  }

  // The physical page of a logical page of `type` (6.x), or of a physical number (old).
  bool Page(uint32_t number, int type, size_t *offset) {
    if (!f.page_table) {
      if (!r.Has(PageOffset(number), f.page_size) || number == 0)
        return r.Failf("page %u is outside the file", number);
      *offset = PageOffset(number);
      return true;
    }
    auto found = pat.find(number);
    if (found == pat.end()) return r.Failf("logical page %u is not mapped", number);
    *offset = PageOffset(found->second.first);
    // The page's own header must agree with the table.
    uint32_t own = static_cast<uint32_t>(r.U8(*offset)) << 16 | r.U16(*offset + 2);
    if (found->second.second != type || r.U8(*offset + 1) != type || own != number)
      return r.Failf("page %u (logical %u) does not hold what the allocation table says",
                     found->second.first, number);
    return true;
  }

  bool Collating() {
    auto take = [&](size_t at, uint32_t page) {
      LegacyCollating c;
      std::string name = r.Bytes(at + 1, 8);
      while (!name.empty() && (name.back() == ' ' || name.back() == '\0'))
        name.pop_back();
      c.name = name;
      for (int i = 0; i < 256; ++i)
        c.map[static_cast<size_t>(i)] = r.U8(at + 9 + static_cast<size_t>(i));
      collating_page[page] = static_cast<int>(f.collating.size());
      f.collating.push_back(std::move(c));
    };
    if (f.page_table) {
      for (const auto &[logical, entry] : pat) {
        if (entry.second != 'A') continue;
        size_t at = 0;
        if (!Page(logical, 'A', &at)) return false;
        if (r.U8(at + 6) != 0xAC)
          return r.Failf("page %u is an alternate collating page without its 0xAC mark",
                         entry.first);
        take(at + 6, logical);
      }
    } else if (r.Has(PageOffset(1), f.page_size) && r.HiLo32(PageOffset(1)) == 1 &&
               r.U16(PageOffset(1) + 4) == 0 && r.U8(PageOffset(1) + 6) == 0xAC) {
      take(PageOffset(1) + 6, 1);
    }
    return true;
  }

  bool Keys() {
    int count = r.U16(fcr + 0x14);
    if (count > 119) return r.Failf("%d keys (offset 0x14) are more than a file holds", count);
    size_t kat = f.page_table ? r.U16(fcr + 0x78) : 0;
    size_t at = fcr + 0x110;
    for (int k = 0; k < count; ++k) {
      if (f.page_table) {
        if (kat + 2 * static_cast<size_t>(k) + 2 > static_cast<size_t>(f.page_size))
          return r.Failf("the key table at offset 0x%zX runs off the control record", kat);
        at = fcr + r.U16(fcr + kat + 2 * static_cast<size_t>(k));
      }
      LegacyKey key;
      for (int segment = 0;; ++segment) {
        if (at + kSegmentSize > fcr + static_cast<size_t>(f.page_size) || segment > 119)
          return r.Failf("key %d runs off the control record (offset 0x%zX)", k, at - fcr);
        LegacySegment s;
        s.flags = r.U16(at + 0x08);
        int stored = r.U16(at + 0x14);
        s.position = f.page_table ? stored - 1 : stored + 1;
        s.length = r.U16(at + 0x16);
        s.type = (s.flags & 0x100) != 0 ? r.U8(at + 0x1C) : (s.flags & 4) != 0 ? 14 : 0;
        s.null_value = r.U8(at + 0x1D);
        if (s.position < 1 || s.length < 1 || s.position + s.length - 1 > f.record_length)
          return r.Failf(
              "key %d: a segment at offset 0x%zX lies outside the record (position "
              "%d, length %d)",
              k, at - fcr, s.position, s.length);
        if ((s.flags & 0x20) != 0) {
          // Its own table (6.1) or the file's.
          uint32_t page = (s.flags & 0x400) != 0 ? r.Page24(at + 0x19) : 0;
          if ((s.flags & 0x400) != 0) {
            auto found = collating_page.find(page);
            if (found == collating_page.end())
              return r.Failf("key %d names a collating sequence at page %u the file lacks", k,
                             page);
            s.collating = found->second;
          } else if (f.collating.empty()) {
            return r.Failf("key %d uses the file's collating sequence, which the file lacks", k);
          } else {
            s.collating = 0;
          }
        }
        key.segments.push_back(s);
        at += kSegmentSize;
        if ((s.flags & 0x10) == 0) break;
      }
      f.keys.push_back(std::move(key));
    }
    return true;
  }

  // Appends the variable tail starting at `pointer` (page and fragment) to `record`.
  bool Tail(uint32_t pointer_at_bytes_offset, std::string *record) {
    std::set<std::pair<uint32_t, int>> seen;
    size_t at = pointer_at_bytes_offset;
    for (;;) {
      uint32_t raw = r.U32(at);
      if (raw == kNone) return true;
      uint32_t page = r.Page24(at);
      int fragment = r.U8(at + 3);
      if (!seen.insert({page, fragment}).second)
        return r.Failf("the tail chain loops at page %u fragment %d", page, fragment);
      size_t base = 0;
      if (!Page(page, 'V', &base)) return false;
      if (!f.page_table && (r.U16(base + 4) & 0x8000) != 0)
        return r.Failf("a tail points into data page %u", page);
      size_t directory =
          base + static_cast<size_t>(f.page_size) - 2 - 2 * static_cast<size_t>(fragment);
      if (directory < base + 12)
        return r.Failf("fragment %d of page %u is beyond its directory", fragment, page);
      uint16_t entry = r.U16(directory);
      size_t start = entry & 0x7FFF, end = 0;
      for (size_t next = directory - 2; next >= base + 12; next -= 2) {
        if (r.U16(next) == 0xFFFF) continue;
        end = r.U16(next) & 0x7FFF;
        break;
      }
      if (entry == 0xFFFF || start < 12 || end < start || end > directory - base)
        return r.Failf("fragment %d of page %u has bounds 0x%zX to 0x%zX outside its page",
                       fragment, page, start, end);
      bool chained = f.page_table || (entry & 0x8000) != 0;
      if (chained && end - start < 4)
        return r.Failf("fragment %d of page %u is too short for its pointer", fragment, page);
      size_t data = base + start + (chained ? 4 : 0);
      record->append(r.Bytes(data, base + end - data));
      if (!chained) return true;
      at = base + start;
    }
  }

  bool Records() {
    int prefix = f.page_table ? 2 : 0;
    int slots = (f.page_size - 6) / f.physical_length;
    auto slot_record = [&](size_t slot) -> bool {
      std::string record = r.Bytes(slot + static_cast<size_t>(prefix), f.record_length);
      if (f.variable && !Tail(slot + static_cast<size_t>(prefix + f.record_length), &record))
        return false;
      if (r.ReadFailed()) return false;  // the record may stand on zeros
      if (visit == nullptr) {
        f.records.push_back(std::move(record));
      } else if (!(*visit)(record)) {
        return false;
      }
      return true;
    };
    if (f.page_table) {
      for (const auto &[logical, entry] : pat) {
        if (entry.second != 'D') continue;
        size_t base = 0;
        if (!Page(logical, 'D', &base)) return false;
        for (int j = 0; j < slots; ++j) {
          size_t slot = base + 6 + static_cast<size_t>(j) * f.physical_length;
          if (r.U16(slot) != 0 && !slot_record(slot)) return false;
        }
      }
      return true;
    }
    // Old layout: deleted slots are chained from the control record.
    std::set<size_t> deleted;
    for (uint32_t at = r.HiLo32(0x10); at != kNone;) {
      if (!r.Has(at, 4) || deleted.size() > r.Size() / 4)
        return r.Failf("the deleted-record chain leads to offset 0x%X outside the file", at);
      if (!deleted.insert(at).second) return r.Failf("the deleted-record chain loops at 0x%X", at);
      at = r.HiLo32(at);
    }
    uint32_t pages = static_cast<uint32_t>(r.Size() / f.page_size);
    for (uint32_t n = 1; n < pages; ++n) {
      size_t base = PageOffset(n);
      if ((r.U16(base + 4) & 0x8000) == 0) continue;
      if (r.HiLo32(base) != n)
        return r.Failf("data page %u at offset 0x%zX says it is page %u", n, base, r.HiLo32(base));
      for (int j = 0; j < slots; ++j) {
        size_t slot = base + 6 + static_cast<size_t>(j) * f.physical_length;
        if (deleted.count(slot) != 0) continue;
        std::string bytes = r.Bytes(slot, f.physical_length);
        if (bytes.find_first_not_of('\0') == std::string::npos) continue;
        if (!slot_record(slot)) return false;
      }
    }
    return true;
  }
};

// The parse's steps up to the records (those too when `records` is given), with a failed read
// told as the reason whatever the step concluded from it.
bool Run(Reader &r, Parse &p, bool records) {
  bool read = p.Header() && (!p.f.page_table || p.Pat()) && p.Collating() && p.Keys() &&
              (!records || p.Records());
  if (r.ReadFailed()) return r.FailRead();
  return read;
}

}  // namespace

bool ReadLegacyFile(const LegacySource &source, LegacyFile *out, std::string *why,
                    bool records_too) {
  *out = LegacyFile{};
  Reader r(source, why);
  Parse p{r, *out, 0, {}, {}, nullptr};
  return Run(r, p, records_too);
}

bool ForEachLegacyRecord(const LegacySource &source, const RecordVisitor &visit, std::string *why) {
  LegacyFile header;
  Reader r(source, why);
  Parse p{r, header, 0, {}, {}, &visit};
  return Run(r, p, true);
}

bool CountLegacyRecords(const LegacySource &source, uint32_t *count, std::string *why) {
  *count = 0;
  return ForEachLegacyRecord(
      source,
      [count](const std::string &) {
        ++*count;
        return true;
      },
      why);
}

bool LooksLikeLegacyFile(const std::string &native_path) {
  // The control records lie in the first two pages, of 4,096 bytes at most.
  std::string bytes(2 * 4096, '\0');
  std::FILE *file = std::fopen(native_path.c_str(), "rb");
  if (file == nullptr) return false;
  bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file));
  std::fclose(file);
  LegacyFile f;
  std::string why;
  LegacySource source(bytes);
  Reader r(source, &why);
  Parse p{r, f, 0, {}, {}, nullptr};
  return p.Header();
}

}  // namespace btr::legacy
