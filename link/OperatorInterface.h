// What the link needs of the operator interface: message boxes, the polling
// timer and the main window. The main window implements it; tests and the
// command-line front end put their own in its place.
#pragma once

#include <string>

enum class MsgIcon { Warning, Error, Question, Information };
// With YesNo the default button is No: a confirmation is never given by Enter alone.
enum class MsgButtons { Ok, RetryCancel, YesNo };
enum class MsgResult { Ok, Cancel, Retry, Yes, No };

class OperatorInterface {
public:
  virtual ~OperatorInterface() = default;
  // A task-modal box without owner window; returns the button pressed.
  virtual MsgResult ShowMessage(const std::string& text, const std::string& caption, MsgIcon icon,
                                MsgButtons buttons) = 0;
  // Timer1.Enabled = false, without running the polling toggle.
  virtual void DisablePollTimer() = 0;
  // Closes the main window, which ends the program once control returns to the message loop.
  virtual void CloseMainWindow() = 0;
};
