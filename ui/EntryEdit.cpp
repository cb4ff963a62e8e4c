#include "EntryEdit.h"

#include <QFocusEvent>
#include <QKeyEvent>

#include "HandlerGuard.h"
#include "VirtualKeys.h"
#include "WindowLook.h"

TEntryEdit::TEntryEdit(QWidget* parent) : QLineEdit(parent) {}

std::string TEntryEdit::Text() const { return text().toStdString(); }

void TEntryEdit::SetText(const std::string& text) { setText(QString::fromStdString(text)); }

void TEntryEdit::SetBackground(uint8_t red, uint8_t green, uint8_t blue) {
  SetBaseColour(this, QColor(red, green, blue));
}

void TEntryEdit::keyPressEvent(QKeyEvent* event) {
  const uint16_t key = VirtualKeyCode(*event);
  if (OnKeyDown && !Guarded([&] { return OnKeyDown(key); }, false)) {
    event->accept();  // consumed: a refused key leaves the "00" of the error routine alone
    return;
  }
  QLineEdit::keyPressEvent(event);
}

void TEntryEdit::focusOutEvent(QFocusEvent* event) {
  QLineEdit::focusOutEvent(event);
  const Qt::FocusReason reason = event->reason();
  if (OnExit && reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) Guarded(OnExit);
}
