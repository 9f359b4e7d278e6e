// The other process of the model-checked fuzz target: it reads, writes and locks records
// of the model's file on request, each time through a file it opens itself.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace btrmodel {

// Made before the run opens anything: a child made while files are open may not use them.
class Peer {
 public:
  explicit Peer(const std::string &path);
  ~Peer();
  Peer(const Peer &) = delete;
  Peer &operator=(const Peer &) = delete;

  bool Running() const { return pid_ > 0; }
  // The records along the first key as the peer reads them, and the status that ended the
  // walk; false when it did not answer.
  bool Walk(std::vector<std::string> *records, int16_t *ended);
  // 'u' update or 'd' delete the record at `pos` (read without a lock first), 'i' insert
  // `record` (its position comes back), 'l' read `pos` with a no-wait single lock. False when
  // the peer did not answer.
  bool Write(char kind, uint32_t pos, const std::string &record, int16_t *status,
             uint32_t *inserted_at);

 private:
  void Stop();
  pid_t pid_ = -1;
  int requests_ = -1;
  int answers_ = -1;
};

}  // namespace btrmodel
