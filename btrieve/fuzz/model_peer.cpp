#include "model_peer.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "btrieve/btrapi.h"
#include "model_call.h"

namespace btrmodel {
namespace {

bool WriteAll(int fd, const void *data, size_t n) {
  const char *p = static_cast<const char *>(data);
  while (n > 0) {
    ssize_t k = write(fd, p, n);
    if (k < 0 && errno == EINTR) continue;
    if (k <= 0) return false;
    p += k;
    n -= static_cast<size_t>(k);
  }
  return true;
}

bool ReadAll(int fd, void *data, size_t n) {
  char *p = static_cast<char *>(data);
  while (n > 0) {
    ssize_t k = read(fd, p, n);
    if (k < 0 && errno == EINTR) continue;
    if (k <= 0) return false;
    p += k;
    n -= static_cast<size_t>(k);
  }
  return true;
}

// A request to the peer process: what to do, a position and a record.
struct PeerRequest {
  char kind;  // 'w' walk the first key, 'u' update, 'd' delete, 'i' insert, 'l' lock
  uint32_t pos;
  uint16_t length;
  char record[kMaxRecord];
};

int16_t PeerWrite(const std::string &path, const PeerRequest &q, uint32_t *pos) {
  uint8_t pb[128] = {};
  uint32_t zero = 0;
  std::string p = path;
  int16_t status = BTRCALL(B_OPEN, pb, nullptr, &zero, p.data(), 0, 0);
  std::string record(q.record, std::min<size_t>(q.length, kMaxRecord));
  if (status == 0 && q.kind == 'l') {
    std::string where(reinterpret_cast<const char *>(&q.pos), 4);
    status = Call(B_GET_DIRECT + int{B_SINGLE_NOWAIT_LOCK}, pb, where, kRoom, "", -1).status;
  } else if (status == 0 && q.kind != 'i') {
    std::string where(reinterpret_cast<const char *>(&q.pos), 4);
    status = Call(B_GET_DIRECT, pb, where, kRoom, "", -1).status;
    if (status == 0)
      status = Call(q.kind == 'u' ? B_UPDATE : B_DELETE, pb, record, 0, "", -1).status;
  } else if (status == 0) {
    status = Call(B_INSERT, pb, record, 0, "", 0).status;
    Reply r = Call(B_GET_POSITION, pb, "", kRoom, "", 0);
    if (status == 0 && r.status == 0 && r.data.size() == 4) std::memcpy(pos, r.data.data(), 4);
  }
  BTRCALL(B_CLOSE, pb, nullptr, &zero, nullptr, 0, 0);
  return status;
}

// The peer process's loop: it opens the file for each request. A walk sends the records,
// then the status that ended it; a write sends its status and the record's position.
[[noreturn]] void ServePeer(std::string path, int requests, int answers) {
  PeerRequest q;
  while (ReadAll(requests, &q, sizeof q)) {
    if (q.kind != 'w') {
      uint32_t pos = 0;
      int16_t status = PeerWrite(path, q, &pos);
      if (!WriteAll(answers, &status, sizeof status) || !WriteAll(answers, &pos, sizeof pos)) break;
      continue;
    }
    uint8_t pb[128] = {};
    uint32_t zero = 0;
    std::vector<std::string> records;
    int16_t status = BTRCALL(B_OPEN, pb, nullptr, &zero, path.data(), 0, 0);
    for (int op = B_GET_FIRST; status == 0; op = B_GET_NEXT) {
      Reply r = Call(op, pb, "", kRoom, "", 0);
      status = r.status;
      if (status == 0) records.push_back(r.data);
    }
    BTRCALL(B_CLOSE, pb, nullptr, &zero, nullptr, 0, 0);
    uint32_t n = static_cast<uint32_t>(records.size());
    bool sent = WriteAll(answers, &n, sizeof n);
    for (const std::string &rec : records) {
      uint16_t length = static_cast<uint16_t>(rec.size());
      sent = sent && WriteAll(answers, &length, sizeof length) &&
             WriteAll(answers, rec.data(), rec.size());
    }
    if (!sent || !WriteAll(answers, &status, sizeof status)) break;
  }
  _exit(0);
}

}  // namespace

Peer::Peer(const std::string &path) {
  int requests[2], answers[2];
  if (pipe(requests) != 0) return;
  if (pipe(answers) != 0) {
    close(requests[0]);
    close(requests[1]);
    return;
  }
  fflush(stderr);
  pid_ = fork();
  if (pid_ == 0) {
    close(requests[1]);
    close(answers[0]);
    ServePeer(path, requests[0], answers[1]);
  }
  close(requests[0]);
  close(answers[1]);
  requests_ = requests[1];
  answers_ = answers[0];
  if (pid_ < 0) Stop();
}

Peer::~Peer() {
  Stop();
}

bool Peer::Walk(std::vector<std::string> *records, int16_t *ended) {
  records->clear();
  uint32_t n = 0;
  PeerRequest q{};
  q.kind = 'w';
  if (!WriteAll(requests_, &q, sizeof q) || !ReadAll(answers_, &n, sizeof n) || n > 100000)
    return false;
  for (uint32_t i = 0; i < n; ++i) {
    uint16_t length = 0;
    if (!ReadAll(answers_, &length, sizeof length) || length > kRoom) return false;
    std::string rec(length, '\0');
    if (!ReadAll(answers_, rec.data(), rec.size())) return false;
    records->push_back(rec);
  }
  return ReadAll(answers_, ended, sizeof *ended);
}

bool Peer::Write(char kind, uint32_t pos, const std::string &record, int16_t *status,
                 uint32_t *inserted_at) {
  PeerRequest q{};
  q.kind = kind;
  q.pos = pos;
  q.length = static_cast<uint16_t>(std::min(record.size(), sizeof q.record));
  std::memcpy(q.record, record.data(), q.length);
  return WriteAll(requests_, &q, sizeof q) && ReadAll(answers_, status, sizeof *status) &&
         ReadAll(answers_, inserted_at, sizeof *inserted_at);
}

void Peer::Stop() {
  if (requests_ >= 0) close(requests_);  // the peer sees the end of its requests
  if (answers_ >= 0) close(answers_);
  requests_ = answers_ = -1;
  if (pid_ > 0) waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

}  // namespace btrmodel
