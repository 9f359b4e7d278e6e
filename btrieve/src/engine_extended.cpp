// Extended operations 36 to 39: many records in one call, filtered and cut down to the
// fields asked for.
#include <cstring>

#include "btrieve/btrapi.h"
#include "engine.h"
#include "extended.h"
#include "key_encoder.h"
#include "zplatform/bytes.h"

namespace btr {

using zplatform::PutU16;
using zplatform::PutU32;
namespace {

// Whether the filter allows an early end along this key: the first term compares the key's
// first segment exactly as the key orders it, and every connector is "and", so once the
// walk has passed the term's value no later record can match.
bool EarlyEndApplies(const FileSpec &spec, const KeyDef &key, const ExtendedFilter &filter) {
  const auto &terms = filter.Terms();
  if (terms.empty() || terms[0].other_field) return false;
  for (size_t i = 0; i + 1 < terms.size(); ++i) {
    if (terms[i].connector != 1) return false;
  }
  const SegmentSpec &seg = key.segments[0];
  const FilterTerm &t = terms[0];
  bool text = t.type == B_TYPE_STRING || t.type == B_TYPE_LSTRING || t.type == B_TYPE_ZSTRING;
  bool term_ci = text && t.case_insensitive;
  bool term_acs = text && t.collating && !spec.collating_tables.empty();
  return seg.position - 1 == t.offset && seg.length == t.length && seg.EffectiveType() == t.type &&
         seg.CaseInsensitive() == term_ci && seg.UsesCollatingTable() == term_acs &&
         (!term_acs || seg.acs_number == 0);
}

// True when a walk towards larger values (or smaller, `upward` false) has passed every
// record that can satisfy the first term.
bool PassedFirstTerm(int compare, uint8_t comparison, bool upward) {
  if (upward) {
    switch (comparison) {
      case 1:  // =
      case 6:  // <=
        return compare > 0;
      case 3:  // <
        return compare >= 0;
      default:
        return false;
    }
  }
  switch (comparison) {
    case 1:  // =
    case 5:  // >=
      return compare < 0;
    case 2:  // >
      return compare <= 0;
    default:
      return false;
  }
}

}  // namespace

int Engine::Extended(const CallArgs &a, Cursor &c, int op) {
  Storage &f = *c.file;
  const FileSpec &spec = f.Spec();
  uint32_t capacity = a.DataLength();
  ExtendedDescriptor d;
  int status = ParseExtendedDescriptor(a.data, capacity, spec.record_length, &d);
  if (status != 0) return status;
  bool physical = op == B_STEP_NEXT_EXT || op == B_STEP_PREVIOUS_EXT;
  struct BulkRead {
    size_t &rows;
    BulkRead(size_t &r, size_t wanted) : rows(r) { rows = wanted > 0 ? wanted : 1; }
    ~BulkRead() { rows = 0; }
  } bulk(bulk_rows_, d.max_records);
  int direction = (op == B_GET_NEXT_EXTENDED || op == B_STEP_NEXT_EXT) ? 1 : -1;
  int key = a.Key();
  if (!physical) {
    if (key < 0 || key >= static_cast<int>(spec.keys.size())) return B_INVALID_KEYNUMBER;
    if (!c.has_logical) return B_POSITIONING_ERROR;
    if (c.key_path != key) return B_DIFFERENT_KEYNUMBER;
  } else if (!c.has_physical) {
    return B_POSITIONING_ERROR;
  }

  ExtendedFilter filter(spec, d);
  bool early = !physical && EarlyEndApplies(spec, spec.keys[key], filter);
  bool upward = (direction > 0) != (!physical && spec.keys[key].segments[0].Descending());
  std::vector<uint8_t> out(2, 0);
  uint16_t count = 0;
  uint32_t rejected = 0;
  int ending = 0;
  // "EG" starts with the current record itself unless an extended operation set it.
  bool take_current = d.ExtendedMode() && !c.extended_position && c.has_current;
  std::string current_data;
  std::string locked_data;
  while (count < d.max_records) {
    Row row;
    if (take_current) {
      take_current = false;
      int found = f.ReadRecord(c.current_pos, &current_data, nullptr);
      if (found == B_INVALID_RECORD_ADDRESS) continue;  // deleted meanwhile
      if (found != 0) return found;
      row.pos = c.current_pos;
      row.data = current_data;
      if (!physical) {
        row.k = c.logical_k;
        row.seq = c.logical_seq;
      }
    } else {
      int rc = physical ? NextPhysical(c, direction, &row) : NextAlongPath(c, key, direction, &row);
      if (rc == B_END_OF_FILE) {
        ending = B_END_OF_FILE;
        break;
      }
      if (rc != 0) return rc;
      // The cursor moves onto every record it examines.
      std::string k(row.k);
      if (physical) {
        c.SetPhysical(row.pos);
      } else {
        c.SetLogical(key, Row{k, row.seq, row.pos, {}});
        row.k = c.logical_k;
      }
    }
    const uint8_t *rec = reinterpret_cast<const uint8_t *>(row.data.data());
    if (early && PassedFirstTerm(filter.CompareFirst(rec), filter.Terms()[0].comparison, upward)) {
      ending = B_FILTER_LIMIT_REACHED;
      break;
    }
    if (!filter.Matches(rec)) {
      if (d.reject_count != 0 && ++rejected >= d.reject_count) {
        ending = B_REJECT_COUNT_REACHED;
        break;
      }
      continue;
    }
    uint32_t need = 6 + d.ExtractedLength();
    if (out.size() + need > capacity) {
      ending = B_DATALENGTH_ERROR;
      break;
    }
    bool acquired = false;
    int locked = LockForRead(c, row.pos, &acquired);
    if (locked != 0) {
      ending = locked;
      break;
    }
    if (acquired) {
      // Read again under the lock: the record returned is the one the lock protects.
      int found = f.ReadRecord(row.pos, &locked_data, nullptr);
      if (found != 0) GiveBackReadLock(c, row.pos);
      if (found == B_INVALID_RECORD_ADDRESS) continue;
      if (found != 0) return found;
      rec = reinterpret_cast<const uint8_t *>(locked_data.data());
      if (!filter.Matches(rec)) {
        GiveBackReadLock(c, row.pos);
        continue;
      }
    }
    size_t at = out.size();
    out.resize(at + need);
    PutU16(&out[at], static_cast<uint16_t>(d.ExtractedLength()));
    PutU32(&out[at + 2], static_cast<uint32_t>(row.pos));
    at += 6;
    for (const ExtractField &field : d.fields) {
      std::memcpy(&out[at], rec + field.offset, field.length);
      at += field.length;
    }
    ++count;
  }
  if (out.size() > capacity) return B_DATALENGTH_ERROR;  // not even the count fits
  PutU16(out.data(), count);
  std::memcpy(a.data, out.data(), out.size());
  a.SetDataLength(static_cast<uint32_t>(out.size()));
  // Update and Delete need a Get or Step first; "EG" continues after the last examined.
  c.has_current = false;
  c.extended_position = true;
  return ending;
}

}  // namespace btr
