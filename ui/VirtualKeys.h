// Qt key events as the 16-bit virtual-key codes the entry checks work on:
// the code of the key pressed, whatever character it produces.
#pragma once

#include <QKeyEvent>
#include <cstdint>

// `xkbKeycode` is the platform's key number (X11/Wayland keycode) or 0; with
// it, the digit row and the letter keys give their codes under any keyboard
// layout and shift state. 0 for keys without a code.
uint16_t VirtualKeyCode(int qtKey, Qt::KeyboardModifiers modifiers, quint32 xkbKeycode = 0);

uint16_t VirtualKeyCode(const QKeyEvent& event);
