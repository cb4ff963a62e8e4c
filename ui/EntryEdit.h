// An edit box of the main window that the entry checks can work on, with the
// key-down and exit events of its window: key-down sees the virtual-key code
// before the box does and may consume the key; exit runs when the focus
// moves to another control of the window (not when the window itself is
// deactivated, for example by a message box).
#pragma once

#include <QLineEdit>
#include <cstdint>
#include <functional>

#include "EntryField.h"

class TEntryEdit : public QLineEdit, public EntryField {
  Q_OBJECT
public:
  explicit TEntryEdit(QWidget* parent);

  std::string Text() const override;
  void SetText(const std::string& text) override;
  void SetBackground(uint8_t red, uint8_t green, uint8_t blue) override;

  // Returns whether the key goes on to the box; unset, every key does.
  std::function<bool(uint16_t key)> OnKeyDown;
  std::function<void()> OnExit;

protected:
  void keyPressEvent(QKeyEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
};
