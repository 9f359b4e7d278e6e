// The key codes and shift state that the stock KeyDown and KeyUp events carry: Windows
// virtual-key codes (13 Return, 9 Tab, 65 for A ...) and the shift mask 1 Shift, 2 Ctrl, 4 Alt.
#pragma once

#include <cstdint>

class QKeyEvent;

namespace zelko {

// The virtual-key code of a key event; 0 for a key without one.
int16_t VirtualKeyCode(const QKeyEvent &key);
// The shift mask of a key event's modifiers.
int16_t ShiftMask(const QKeyEvent &key);

}  // namespace zelko
