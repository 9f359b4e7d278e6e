// Input-method modes per window: the request sequence each mode sends is recorded (tests
// read it), and on this platform the modes become Qt input-method settings: the input
// method enabled or disabled, Latin or Japanese input hints.
#pragma once

#include <map>
#include <string>
#include <vector>

class QWidget;

namespace zelko {

class ImeService {
 public:
  static ImeService &Get();

  // Sets one of the modes 1 to 8 for the window; 0 does nothing.
  void SetMode(QWidget *window, int mode);
  // The window's current mode (4 to 8), or 0 when none can be told.
  int CurrentMode(QWidget *window);

  const std::vector<std::string> &Requests() const { return requests_; }
  void ClearRequests() { requests_.clear(); }

 private:
  void Send(const std::string &request) { requests_.push_back(request); }
  void Open(QWidget *window, bool open);
  void Conversion(QWidget *window, int code);
  std::map<const QWidget *, int> conversion_;
  std::vector<std::string> requests_;
};

}  // namespace zelko
