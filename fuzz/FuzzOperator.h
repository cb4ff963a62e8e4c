// The operator side for the harnesses: counts boxes and the port-lost calls;
// a Yes/No box is answered by the next input byte (odd: Yes).
#pragma once

#include <string>
#include <vector>

#include "FuzzInput.h"
#include "OperatorInterface.h"

class FuzzOperator : public OperatorInterface {
public:
  explicit FuzzOperator(FuzzInput& input) : input_(input) {}
  MsgResult ShowMessage(const std::string& text, const std::string&, MsgIcon, MsgButtons buttons) override {
    Texts.push_back(text);
    if (buttons == MsgButtons::YesNo) return input_.Byte() & 1 ? MsgResult::Yes : MsgResult::No;
    return buttons == MsgButtons::RetryCancel ? MsgResult::Cancel : MsgResult::Ok;
  }
  void DisablePollTimer() override { ++PollTimerDisabled; }
  void CloseMainWindow() override { ++MainWindowClosed; }
  void Clear() {
    Texts.clear();
    PollTimerDisabled = MainWindowClosed = 0;
  }

  std::vector<std::string> Texts;
  int PollTimerDisabled = 0;
  int MainWindowClosed = 0;

private:
  FuzzInput& input_;
};
