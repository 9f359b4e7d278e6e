#include "progress.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace zelkocli {

bool Progress::Shown() {
  return ::isatty(STDERR_FILENO) == 1;
}

Progress::Progress(std::string label, int64_t total)
    : label_(std::move(label)), total_(total), enabled_(Shown()) {
  start_ = last_ = std::chrono::steady_clock::now();
}

Progress::~Progress() {
  if (drawn_) std::fputs("\n", stderr);
}

void Progress::Finish(int64_t done) {
  if (drawn_) Draw(done, true);
}

void Progress::Draw(int64_t done, bool force) {
  auto now = std::chrono::steady_clock::now();
  if (!force &&
      (now - start_ < std::chrono::seconds(1) || now - last_ < std::chrono::milliseconds(100)))
    return;
  last_ = now;
  drawn_ = true;
  constexpr int kWidth = 30;
  int filled = total_ > 0 ? static_cast<int>(std::min<int64_t>(done, total_) * kWidth / total_) : 0;
  std::string bar(filled, '#');
  bar.append(kWidth - filled, ' ');
  if (total_ > 0) {
    std::fprintf(stderr, "\r%s [%s] %3d%% %lld/%lld", label_.c_str(), bar.c_str(),
                 static_cast<int>(std::min<int64_t>(done, total_) * 100 / total_),
                 static_cast<long long>(done), static_cast<long long>(total_));
  } else {
    std::fprintf(stderr, "\r%s %lld", label_.c_str(), static_cast<long long>(done));
  }
  std::fflush(stderr);
}

}  // namespace zelkocli
