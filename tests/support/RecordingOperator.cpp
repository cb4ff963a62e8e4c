#include "RecordingOperator.h"

namespace {
MsgResult FirstButton(MsgButtons buttons) {
  switch (buttons) {
    case MsgButtons::RetryCancel: return MsgResult::Retry;
    case MsgButtons::YesNo: return MsgResult::Yes;
    case MsgButtons::Ok: break;
  }
  return MsgResult::Ok;
}
}  // namespace

MsgResult RecordingOperator::ShowMessage(const std::string& text, const std::string& caption,
                                         MsgIcon icon, MsgButtons buttons) {
  Boxes.push_back({text, caption, icon, buttons});
  Calls.push_back("ShowMessage");
  if (OnShow) OnShow(Boxes.back());
  if (Answers.empty()) return FirstButton(buttons);
  const MsgResult answer = Answers.front();
  Answers.pop_front();
  return answer;
}

void RecordingOperator::DisablePollTimer() {
  ++PollTimerDisabled;
  Calls.push_back("DisablePollTimer");
}

void RecordingOperator::CloseMainWindow() {
  ++MainWindowClosed;
  Calls.push_back("CloseMainWindow");
}

void RecordingOperator::Clear() {
  Boxes.clear();
  Calls.clear();
  PollTimerDisabled = 0;
  MainWindowClosed = 0;
}
