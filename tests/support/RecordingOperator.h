// An OperatorInterface for tests: records every message box and every call,
// and answers the boxes from a script.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "OperatorInterface.h"

struct RecordedBox {
  std::string Text;
  std::string Caption;
  MsgIcon Icon;
  MsgButtons Buttons;
};

class RecordingOperator : public OperatorInterface {
public:
  MsgResult ShowMessage(const std::string& text, const std::string& caption, MsgIcon icon,
                        MsgButtons buttons) override;
  void DisablePollTimer() override;
  void CloseMainWindow() override;

  // The buttons the operator presses, one per box in order; once the script
  // is used up, each box is answered with its first button (OK, Retry, Yes).
  std::deque<MsgResult> Answers;
  // Called with each box before it is answered, e.g. to look at the port then.
  std::function<void(const RecordedBox&)> OnShow;

  std::vector<RecordedBox> Boxes;
  // Every call in order: "ShowMessage", "DisablePollTimer", "CloseMainWindow".
  std::vector<std::string> Calls;
  int PollTimerDisabled = 0;
  int MainWindowClosed = 0;

  void Clear();
};
