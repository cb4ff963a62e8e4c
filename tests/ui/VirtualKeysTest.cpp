#include "VirtualKeys.h"

#include <gtest/gtest.h>

// Qt names a Cyrillic letter key by the letter's upper-case code point.
constexpr int kCyrillicEf = 0x0424, kCyrillicEs = 0x0421, kCyrillicShortI = 0x0419, kCyrillicSoft = 0x042C;

TEST(VirtualKeys, QtKeysGiveTheirVirtualKeyCodes) {
  for (int d = 0; d <= 9; ++d) {
    EXPECT_EQ(VirtualKeyCode(Qt::Key_0 + d, {}), 48 + d);
    EXPECT_EQ(VirtualKeyCode(Qt::Key_0 + d, Qt::KeypadModifier), 96 + d);
  }
  for (int l = 0; l < 26; ++l) {
    EXPECT_EQ(VirtualKeyCode(Qt::Key_A + l, {}), 65 + l);
    EXPECT_EQ(VirtualKeyCode(Qt::Key_A + l, Qt::ShiftModifier), 65 + l);
  }
  EXPECT_EQ(VirtualKeyCode(Qt::Key_Backspace, {}), 8);
  EXPECT_EQ(VirtualKeyCode(Qt::Key_Delete, {}), 46);
  EXPECT_EQ(VirtualKeyCode(Qt::Key_Delete, Qt::KeypadModifier), 46);
  EXPECT_EQ(VirtualKeyCode(Qt::Key_Shift, Qt::ShiftModifier), 16);
  EXPECT_EQ(VirtualKeyCode(Qt::Key_Control, Qt::ControlModifier), 17);
  EXPECT_EQ(VirtualKeyCode(Qt::Key_Left, {}), 37);
  EXPECT_EQ(VirtualKeyCode(Qt::Key_Up, {}), 38);
  EXPECT_EQ(VirtualKeyCode(Qt::Key_Right, {}), 39);
  EXPECT_EQ(VirtualKeyCode(Qt::Key_Down, {}), 40);
  EXPECT_EQ(VirtualKeyCode(Qt::Key_Home, Qt::KeypadModifier), 36);  // keypad 7 with Num Lock off
  EXPECT_EQ(VirtualKeyCode(Qt::Key_End, {}), 35);
  EXPECT_EQ(VirtualKeyCode(Qt::Key_NumLock, {}), 144);
  EXPECT_EQ(VirtualKeyCode(Qt::Key_CapsLock, {}), 20);
  EXPECT_EQ(VirtualKeyCode(Qt::Key_Return, {}), 13);
  EXPECT_EQ(VirtualKeyCode(Qt::Key_Enter, Qt::KeypadModifier), 13);
  EXPECT_EQ(VirtualKeyCode(Qt::Key_Escape, {}), 27);
  EXPECT_EQ(VirtualKeyCode(Qt::Key_F1, {}), 112);
  EXPECT_EQ(VirtualKeyCode(Qt::Key_Minus, {}), 189);
  EXPECT_EQ(VirtualKeyCode(Qt::Key_Minus, Qt::KeypadModifier), 109);
  EXPECT_EQ(VirtualKeyCode(Qt::Key_Period, {}), 190);
  EXPECT_EQ(VirtualKeyCode(Qt::Key_Exclam, Qt::ShiftModifier), 0);
  EXPECT_EQ(VirtualKeyCode(kCyrillicEf, {}), 0);
}

TEST(VirtualKeys, KeyNumbersGiveTheKeyWhateverTheLayoutOrShift) {
  // Shift+1 on the digit row is still the key 1; the Russian ф is the key A.
  EXPECT_EQ(VirtualKeyCode(Qt::Key_Exclam, Qt::ShiftModifier, 10), '1');
  EXPECT_EQ(VirtualKeyCode(Qt::Key_ParenRight, Qt::ShiftModifier, 19), '0');
  EXPECT_EQ(VirtualKeyCode(kCyrillicEf, {}, 38), 'A');
  EXPECT_EQ(VirtualKeyCode(kCyrillicEs, {}, 54), 'C');
  EXPECT_EQ(VirtualKeyCode(kCyrillicShortI, {}, 24), 'Q');
  EXPECT_EQ(VirtualKeyCode(kCyrillicSoft, {}, 58), 'M');
  // Keys outside those rows keep the Qt mapping; the keypad wins over the number.
  EXPECT_EQ(VirtualKeyCode(Qt::Key_Left, {}, 113), 37);
  EXPECT_EQ(VirtualKeyCode(Qt::Key_4, Qt::KeypadModifier, 83), 100);
}
