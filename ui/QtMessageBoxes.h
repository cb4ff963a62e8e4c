// The program's message boxes: QMessageBox without owner window, modal to
// the whole application. Only ShowMessage is of this service; the polling
// timer and the main window belong to TForm1.
#pragma once

#include "OperatorInterface.h"

class QtMessageBoxes : public OperatorInterface {
public:
  MsgResult ShowMessage(const std::string& text, const std::string& caption, MsgIcon icon,
                        MsgButtons buttons) override;
  void DisablePollTimer() override {}
  void CloseMainWindow() override {}
};
