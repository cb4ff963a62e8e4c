// A minimal operator for the link's settings tests: records boxes and calls.
#pragma once

#include <string>
#include <vector>

#include "OperatorInterface.h"

struct FakeOperator : OperatorInterface {
  struct Box {
    std::string text, caption;
    MsgIcon icon;
    MsgButtons buttons;
  };
  std::vector<Box> boxes;
  int mainWindowClosed = 0;
  int pollTimerDisabled = 0;
  MsgResult ShowMessage(const std::string& text, const std::string& caption, MsgIcon icon,
                        MsgButtons buttons) override {
    boxes.push_back({text, caption, icon, buttons});
    return MsgResult::Ok;
  }
  void DisablePollTimer() override { ++pollTimerDisabled; }
  void CloseMainWindow() override { ++mainWindowClosed; }
};
