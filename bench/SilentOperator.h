// The benchmarks' operator: no box is ever expected, so one is only printed.
#pragma once

#include <cstdio>
#include <string>

#include "OperatorInterface.h"

class SilentOperator : public OperatorInterface {
public:
  MsgResult ShowMessage(const std::string& text, const std::string&, MsgIcon, MsgButtons) override {
    std::fprintf(stderr, "box: %s\n", text.c_str());
    return MsgResult::Ok;
  }
  void DisablePollTimer() override {}
  void CloseMainWindow() override {}
};
