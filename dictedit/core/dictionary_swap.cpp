#include "dictionary_swap.h"

#include <unistd.h>

#include <cerrno>
#include <vector>

#include "btrieve/btrapi.h"
#include "data_file.h"
#include "zplatform/codepage.h"

namespace dictedit {
namespace {

constexpr const char *kNames[3] = {"FILE.DDF", "FIELD.DDF", "INDEX.DDF"};

class Mover {
 public:
  explicit Mover(bool on_server) : on_server_(on_server) {}

  // Renames, replacing `to`; 0 or the error.
  int Move(const std::string &from, const std::string &to) const {
    if (on_server_)
      return BTRRENAMEFILE(zplatform::FromUtf8(from).c_str(), zplatform::FromUtf8(to).c_str());
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
  }
  // Keeps the old file at `existing` also under `aside`. Locally a second name does it, and
  // the old dictionary stays readable all the while; where that cannot be (a server, a file
  // system without links) the file moves aside.
  int SetAside(const std::string &existing, const std::string &aside, bool *still_named) const {
    *still_named = !on_server_ && ::link(existing.c_str(), aside.c_str()) == 0;
    return *still_named ? 0 : Move(existing, aside);
  }
  void Remove(const std::string &path) const {
    if (on_server_) {
      BTRDELETEFILE(zplatform::FromUtf8(path).c_str());
    } else {
      ::unlink(path.c_str());  // a second name of the old file: readers may still have it open
    }
  }

 private:
  bool on_server_;
};

struct Placed {
  std::string existing, aside;  // aside empty: there was no old file
};

}  // namespace

int SwapDictionaryFiles(const std::string &scratch, const std::string (&existing_names)[3],
                        bool on_server) {
  Mover mover(on_server);
  std::vector<Placed> placed;
  // Every file put in place so far gives way to its old one again.
  auto undo = [&]() {
    for (auto it = placed.rbegin(); it != placed.rend(); ++it) {
      if (it->aside.empty()) {
        mover.Remove(it->existing);
      } else {
        mover.Move(it->aside, it->existing);
      }
    }
  };
  for (int i = 0; i < 3; ++i) {
    const std::string from = scratch + "/" + kNames[i];
    if (!DataFileExists(from)) continue;
    const std::string &existing = existing_names[i];
    Placed entry{existing, std::string()};
    bool still_named = true;
    if (DataFileExists(existing)) {
      entry.aside = scratch + "/old-" + kNames[i];
      if (int error = mover.SetAside(existing, entry.aside, &still_named); error != 0) {
        undo();
        return error;
      }
    }
    if (int error = mover.Move(from, existing); error != 0) {
      if (!still_named) mover.Move(entry.aside, existing);
      if (still_named && !entry.aside.empty()) mover.Remove(entry.aside);
      undo();
      return error;
    }
    placed.push_back(entry);
  }
  for (const Placed &p : placed) {
    if (!p.aside.empty()) mover.Remove(p.aside);
  }
  return 0;
}

}  // namespace dictedit
