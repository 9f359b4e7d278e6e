#include "frame/ime_service.h"

#include <QWidget>
#include <cstdio>

namespace zelko {

ImeService &ImeService::Get() {
  static ImeService service;
  return service;
}

void ImeService::Open(QWidget *window, bool open) {
  Send(open ? "open 1" : "open 0");
  if (window != nullptr && !open)
    window->setInputMethodHints(window->inputMethodHints() | Qt::ImhPreferLatin);
}

void ImeService::Conversion(QWidget *window, int code) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "conversion 0x%02X", code);
  Send(buf);
  conversion_[window] = code;
  if (window != nullptr) {
    bool latin = (code & 0x01) != 0;  // alphanumeric
    Qt::InputMethodHints hints =
        window->inputMethodHints() & ~(Qt::ImhPreferLatin | Qt::ImhLatinOnly);
    if (latin) hints |= Qt::ImhPreferLatin;
    window->setInputMethodHints(hints);
  }
  Send("window 8 2");
}

void ImeService::SetMode(QWidget *window, int mode) {
  auto enable = [&] {
    Send("enable");
    if (window != nullptr) window->setAttribute(Qt::WA_InputMethodEnabled, true);
    Open(window, true);
  };
  switch (mode) {
    case 1:
      enable();
      break;
    case 2:
      Open(window, false);
      break;
    case 3:
      Open(window, false);
      Send("disable");
      if (window != nullptr) window->setAttribute(Qt::WA_InputMethodEnabled, false);
      break;
    case 4:
      enable();
      Conversion(window, 0x14);
      break;
    case 5:
      enable();
      Conversion(window, 0x12);
      break;
    case 6:
      enable();
      Conversion(window, 0x0A);
      break;
    case 7:
      enable();
      Conversion(window, 0x11);
      break;
    case 8:
      Open(window, false);
      Conversion(window, 0x09);
      break;
    default:
      break;
  }
}

int ImeService::CurrentMode(QWidget *window) {
  Send("get conversion");
  auto it = conversion_.find(window);
  if (it == conversion_.end()) return 0;
  int code = it->second, mode = 0;
  // Later tests override earlier ones, as the mode is read.
  // Bits: 0x01 alphanumeric, 0x02 katakana, 0x04 hiragana, 0x10 full width.
  if (code & 0x04) mode = 4;
  if (code & 0x02) mode = (code & 0x10) ? 5 : 6;
  if (code & 0x01) mode = (code & 0x10) ? 7 : 8;
  return mode;
}

}  // namespace zelko
