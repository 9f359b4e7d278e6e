#include "frame/key_codes.h"

#include <QKeyEvent>

namespace zelko {
namespace {

struct KeyPair {
  int qt;
  int16_t vk;
};

// Keys whose code differs from the Latin character they type (punctuation as on a US layout).
constexpr KeyPair kKeys[] = {
    {Qt::Key_Backspace, 8},
    {Qt::Key_Tab, 9},
    {Qt::Key_Backtab, 9},
    {Qt::Key_Clear, 12},
    {Qt::Key_Return, 13},
    {Qt::Key_Enter, 13},
    {Qt::Key_Shift, 16},
    {Qt::Key_Control, 17},
    {Qt::Key_Alt, 18},
    {Qt::Key_Pause, 19},
    {Qt::Key_CapsLock, 20},
    {Qt::Key_Kanji, 25},
    {Qt::Key_Escape, 27},
    {Qt::Key_Henkan, 28},
    {Qt::Key_Muhenkan, 29},
    {Qt::Key_Space, 32},
    {Qt::Key_PageUp, 33},
    {Qt::Key_PageDown, 34},
    {Qt::Key_End, 35},
    {Qt::Key_Home, 36},
    {Qt::Key_Left, 37},
    {Qt::Key_Up, 38},
    {Qt::Key_Right, 39},
    {Qt::Key_Down, 40},
    {Qt::Key_Select, 41},
    {Qt::Key_Print, 44},
    {Qt::Key_Insert, 45},
    {Qt::Key_Delete, 46},
    {Qt::Key_Help, 47},
    {Qt::Key_Meta, 91},
    {Qt::Key_Menu, 93},
    {Qt::Key_NumLock, 144},
    {Qt::Key_ScrollLock, 145},
    {Qt::Key_Semicolon, 186},
    {Qt::Key_Colon, 186},
    {Qt::Key_Equal, 187},
    {Qt::Key_Plus, 187},
    {Qt::Key_Comma, 188},
    {Qt::Key_Less, 188},
    {Qt::Key_Minus, 189},
    {Qt::Key_Underscore, 189},
    {Qt::Key_Period, 190},
    {Qt::Key_Greater, 190},
    {Qt::Key_Slash, 191},
    {Qt::Key_Question, 191},
    {Qt::Key_QuoteLeft, 192},
    {Qt::Key_AsciiTilde, 192},
    {Qt::Key_BracketLeft, 219},
    {Qt::Key_BraceLeft, 219},
    {Qt::Key_Backslash, 220},
    {Qt::Key_Bar, 220},
    {Qt::Key_yen, 220},
    {Qt::Key_BracketRight, 221},
    {Qt::Key_BraceRight, 221},
    {Qt::Key_Apostrophe, 222},
    {Qt::Key_QuoteDbl, 222},
    {Qt::Key_Zenkaku_Hankaku, 243},
    {Qt::Key_Hiragana_Katakana, 242},
};

// The keypad keys with the code of their own.
int16_t KeypadCode(int key) {
  if (key >= Qt::Key_0 && key <= Qt::Key_9) return static_cast<int16_t>(96 + key - Qt::Key_0);
  switch (key) {
    case Qt::Key_Asterisk:
      return 106;
    case Qt::Key_Plus:
      return 107;
    case Qt::Key_Minus:
      return 109;
    case Qt::Key_Period:
      return 110;
    case Qt::Key_Slash:
      return 111;
    default:
      return 0;
  }
}

}  // namespace

int16_t VirtualKeyCode(const QKeyEvent &event) {
  int key = event.key();
  if (event.modifiers() & Qt::KeypadModifier) {
    if (int16_t code = KeypadCode(key)) return code;
  }
  if ((key >= Qt::Key_0 && key <= Qt::Key_9) || (key >= Qt::Key_A && key <= Qt::Key_Z))
    return static_cast<int16_t>(key);  // the same numbers as the virtual keys
  if (key >= Qt::Key_F1 && key <= Qt::Key_F24) return static_cast<int16_t>(112 + key - Qt::Key_F1);
  for (const KeyPair &k : kKeys) {
    if (k.qt == key) return k.vk;
  }
  // A key event without a key (text only): the code of the Latin letter or digit typed.
  QString text = event.text();
  if (key == 0 && text.size() == 1) {
    QChar ch = text[0].toUpper();
    if ((ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9')) return ch.unicode();
  }
  return 0;
}

int16_t ShiftMask(const QKeyEvent &event) {
  Qt::KeyboardModifiers m = event.modifiers();
  return static_cast<int16_t>(((m & Qt::ShiftModifier) ? 1 : 0) |
                              ((m & Qt::ControlModifier) ? 2 : 0) |
                              ((m & Qt::AltModifier) ? 4 : 0));
}

}  // namespace zelko
