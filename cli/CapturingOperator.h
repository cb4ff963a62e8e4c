// The operator interface of the command line: boxes are kept for the output
// instead of being shown.
#pragma once

#include <string>
#include <vector>

#include "OperatorInterface.h"

class CapturingOperator : public OperatorInterface {
public:
  struct Box {
    std::string Text;
    std::string Caption;
  };

  MsgResult ShowMessage(const std::string& text, const std::string& caption, MsgIcon,
                        MsgButtons) override {
    Boxes.push_back({text, caption});
    return MsgResult::Ok;
  }
  void DisablePollTimer() override {}
  // The program has no window; it ends after the current transaction.
  void CloseMainWindow() override { CloseRequested = true; }

  std::vector<Box> Boxes;
  bool CloseRequested = false;
};
