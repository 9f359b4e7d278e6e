// The one QApplication of a GUI test program, made on first use (tests run offscreen).
#pragma once

#include <QApplication>

namespace zelko_testing {

inline QApplication &App() {
  static int argc = 1;
  static char name[] = "zelko_gui_tests";
  static char *argv[] = {name, nullptr};
  static QApplication *app = new QApplication(argc, argv);
  return *app;
}

}  // namespace zelko_testing
