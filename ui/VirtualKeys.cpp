#include "VirtualKeys.h"

#include <QGuiApplication>

namespace {

// XKB keycodes (evdev + 8) of the US-position digit row and letter keys.
uint16_t FromXkbKeycode(quint32 keycode) {
  if (keycode >= 10 && keycode <= 18) return static_cast<uint16_t>('1' + (keycode - 10));
  if (keycode == 19) return '0';
  static constexpr char kRows[][11] = {
      {'Q', 'W', 'E', 'R', 'T', 'Y', 'U', 'I', 'O', 'P', 0},  // 24..33
      {'A', 'S', 'D', 'F', 'G', 'H', 'J', 'K', 'L', 0, 0},    // 38..46
      {'Z', 'X', 'C', 'V', 'B', 'N', 'M', 0, 0, 0, 0},        // 52..58
  };
  if (keycode >= 24 && keycode <= 33) return static_cast<uint16_t>(kRows[0][keycode - 24]);
  if (keycode >= 38 && keycode <= 46) return static_cast<uint16_t>(kRows[1][keycode - 38]);
  if (keycode >= 52 && keycode <= 58) return static_cast<uint16_t>(kRows[2][keycode - 52]);
  return 0;
}

uint16_t KeypadCode(int qtKey) {
  if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) return static_cast<uint16_t>(96 + (qtKey - Qt::Key_0));
  switch (qtKey) {
    case Qt::Key_Asterisk: return 106;
    case Qt::Key_Plus: return 107;
    case Qt::Key_Minus: return 109;
    case Qt::Key_Period:
    case Qt::Key_Comma: return 110;
    case Qt::Key_Slash: return 111;
    default: return 0;
  }
}

}  // namespace

uint16_t VirtualKeyCode(int qtKey, Qt::KeyboardModifiers modifiers, quint32 xkbKeycode) {
  if (modifiers & Qt::KeypadModifier) {
    if (const uint16_t code = KeypadCode(qtKey)) return code;
  } else if (xkbKeycode != 0) {
    if (const uint16_t code = FromXkbKeycode(xkbKeycode)) return code;
  }
  if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) return static_cast<uint16_t>(qtKey);
  if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) return static_cast<uint16_t>(qtKey);
  if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24) return static_cast<uint16_t>(112 + (qtKey - Qt::Key_F1));
  switch (qtKey) {
    case Qt::Key_Backspace: return 8;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return 9;
    case Qt::Key_Clear: return 12;
    case Qt::Key_Return:
    case Qt::Key_Enter: return 13;
    case Qt::Key_Shift: return 16;
    case Qt::Key_Control: return 17;
    case Qt::Key_Alt:
    case Qt::Key_AltGr: return 18;
    case Qt::Key_Pause: return 19;
    case Qt::Key_CapsLock: return 20;
    case Qt::Key_Escape: return 27;
    case Qt::Key_Space: return 32;
    case Qt::Key_PageUp: return 33;
    case Qt::Key_PageDown: return 34;
    case Qt::Key_End: return 35;
    case Qt::Key_Home: return 36;
    case Qt::Key_Left: return 37;
    case Qt::Key_Up: return 38;
    case Qt::Key_Right: return 39;
    case Qt::Key_Down: return 40;
    case Qt::Key_Print: return 44;
    case Qt::Key_Insert: return 45;
    case Qt::Key_Delete: return 46;
    case Qt::Key_Meta: return 91;
    case Qt::Key_Menu: return 93;
    case Qt::Key_NumLock: return 144;
    case Qt::Key_ScrollLock: return 145;
    case Qt::Key_Semicolon: return 186;
    case Qt::Key_Equal: return 187;
    case Qt::Key_Comma: return 188;
    case Qt::Key_Minus: return 189;
    case Qt::Key_Period: return 190;
    case Qt::Key_Slash: return 191;
    case Qt::Key_QuoteLeft: return 192;
    case Qt::Key_BracketLeft: return 219;
    case Qt::Key_Backslash: return 220;
    case Qt::Key_BracketRight: return 221;
    case Qt::Key_Apostrophe: return 222;
    default: return 0;
  }
}

uint16_t VirtualKeyCode(const QKeyEvent& event) {
  // Only the X11 and Wayland back ends number their keys the XKB way.
  const QString platform = QGuiApplication::platformName();
  const bool xkb = platform == QLatin1String("xcb") || platform.startsWith(QLatin1String("wayland"));
  return VirtualKeyCode(event.key(), event.modifiers(), xkb ? event.nativeScanCode() : 0);
}
