#include "storage.h"

#include "pg_store.h"
#include "sqlite_store.h"
#include "zplatform/profile.h"
#include "zplatform/servers.h"

namespace btr {

void RowBatch::Clear() {
  bytes_.clear();
  spans_.clear();
}

void RowBatch::Truncate(size_t n) {
  if (n >= spans_.size()) return;
  bytes_.resize(spans_[n].k_off);
  spans_.resize(n);
}

bool RowCursor::Next(Row *row) {
  if (next_ == rows_.Size()) {
    if (ended_) return false;
    status_ = key_ < 0 ? f_.ReadPhysical(after_pos_, 1, kBatch, &rows_)
                       : f_.Seek(static_cast<size_t>(key_), first_ ? Seek::kFirst : Seek::kAfter,
                                 after_k_, after_seq_, kBatch, &rows_);
    first_ = false;
    next_ = 0;
    ended_ = status_ != 0 || rows_.Size() < kBatch;
    if (status_ != 0 || rows_.Empty()) return false;
    Row last = rows_.At(rows_.Size() - 1);
    after_k_.assign(last.k);
    after_seq_ = last.seq;
    after_pos_ = last.pos;
  }
  *row = rows_.At(next_++);
  return true;
}

bool Descending(Seek how) {
  return how == Seek::kLess || how == Seek::kLessOrEqual || how == Seek::kLast ||
         how == Seek::kBefore;
}

Store &StoreFor(const std::string &native_path) {
  std::string conninfo = zplatform::ServerFor(native_path);
  return conninfo.empty() ? SqliteStore() : ServerStore(conninfo);
}

int LockWaitMilliseconds() {
  uint32_t seconds =
      zplatform::GetPrivateProfileInt("wbtrv32", "lock_wait_seconds", 10, "zelko.ini");
  return static_cast<int>(seconds > 3600 ? 3600 : seconds) * 1000;
}

std::string PackSeqs(const std::vector<int64_t> &seqs) {
  std::string out(seqs.size() * 8, '\0');
  for (size_t i = 0; i < seqs.size(); ++i) {
    for (int b = 0; b < 8; ++b)
      out[i * 8 + b] = static_cast<char>(static_cast<uint64_t>(seqs[i]) >> (8 * b));
  }
  return out;
}

int64_t EntrySeq(const KeyDef &key, size_t k, std::string_view blob, int64_t pos) {
  if ((k + 1) * 8 > blob.size()) return key.Duplicates() ? pos : 0;
  uint64_t v = 0;
  for (int b = 0; b < 8; ++b)
    v |= static_cast<uint64_t>(static_cast<uint8_t>(blob[k * 8 + b])) << (8 * b);
  return static_cast<int64_t>(v);
}

}  // namespace btr
