// The operator interface of the command line: boxes are kept for the output
// instead of being shown, and answered as the options say.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "OperatorInterface.h"

class CapturingOperator : public OperatorInterface {
public:
  CapturingOperator() = default;
  CapturingOperator(const CapturingOperator&) = delete;
  CapturingOperator& operator=(const CapturingOperator&) = delete;

  struct Box {
    std::string Text;
    std::string Caption;
    MsgIcon Icon = MsgIcon::Information;
    MsgButtons Buttons = MsgButtons::Ok;
    MsgResult Answer = MsgResult::Ok;
    bool FromLink = false;  // shown by the link (the outcome report, a failing port)
  };

  MsgResult ShowMessage(const std::string& text, const std::string& caption, MsgIcon icon,
                        MsgButtons buttons) override {
    return Record(text, caption, icon, buttons, false);
  }
  void DisablePollTimer() override {
    if (OnDisablePollTimer) OnDisablePollTimer();
  }
  // The program has no window; it ends after the current transaction.
  void CloseMainWindow() override { CloseRequested = true; }

  // The same operator as the link sees it: its boxes are marked FromLink.
  OperatorInterface& LinkSide() { return linkSide_; }

  // The button pressed on a Yes/No confirmation. A box with OK answers OK; a
  // Retry/Cancel box (none is shown today) is cancelled.
  MsgResult ConfirmAnswer = MsgResult::No;
  std::function<void()> OnDisablePollTimer;

  std::vector<Box> Boxes;
  bool CloseRequested = false;

private:
  MsgResult Record(const std::string& text, const std::string& caption, MsgIcon icon,
                   MsgButtons buttons, bool fromLink) {
    const MsgResult answer = buttons == MsgButtons::YesNo         ? ConfirmAnswer
                             : buttons == MsgButtons::RetryCancel ? MsgResult::Cancel
                                                                  : MsgResult::Ok;
    Boxes.push_back({text, caption, icon, buttons, answer, fromLink});
    return answer;
  }

  class LinkView : public OperatorInterface {
  public:
    explicit LinkView(CapturingOperator& to) : to_(to) {}
    MsgResult ShowMessage(const std::string& text, const std::string& caption, MsgIcon icon,
                          MsgButtons buttons) override {
      return to_.Record(text, caption, icon, buttons, true);
    }
    void DisablePollTimer() override { to_.DisablePollTimer(); }
    void CloseMainWindow() override { to_.CloseMainWindow(); }

  private:
    CapturingOperator& to_;
  };
  LinkView linkSide_{*this};
};
