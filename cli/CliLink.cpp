#include "CliLink.h"

#include <algorithm>

#include "MainPortProperties.h"
#include "PortTable.h"

CliLink::CliLink(const CliOptions& options) : DeviceIndex(options.Device - 1) {
  LoadMainPortProperties(Port);
  Link.PortName = options.Port;
  Link.BaudText = options.Baud;
  Link.ParityText = options.Parity;
  Link.StopBitsText = options.Stop;
  Link.SetRepeats1(options.Repeats1);
  Link.SetRepeats2(options.Repeats2);
  Link.SetTxDelay(options.TxDelay);
  Link.SetRxDelay(options.RxDelay);
}

bool CliLink::Open(RunOutcome& outcome) {
  try {
    const int32_t opened = Link.OpenPort();
    TakePortMessages(Form, outcome);
    if (Form.CloseRequested) {
      outcome.State = RunOutcome::Status::PortFailed;
      return false;
    }
    if (opened != 0) {
      outcome.State = RunOutcome::Status::PortRefused;
      outcome.Result = ResultPortNotOpened;
      Link.ReportResult(DeviceIndex, ResultPortNotOpened);
      outcome.Report = RunOutcome::Message{Form.Boxes.back().Text, Form.Boxes.back().Caption};
      Form.Boxes.clear();
      return false;
    }
  } catch (const EComPort& e) {
    TakePortMessages(Form, outcome);
    outcome.State = RunOutcome::Status::PortFailed;
    outcome.Error = e.what();
    if (const auto user = FindPortUser(Link.PortName))
      outcome.Error += ": " + DescribePortUser(Link.PortName, *user);
    return false;
  }
  return true;
}

std::string DescribePortUser(const std::string& port, const PortUser& user) {
  if (user.SystemConsole) return port + " is the system console (kernel messages), not a free line";
  std::string text = port + " is in use by another program";
  if (!user.Program.empty()) text += ": " + user.Program;
  if (user.Pid > 0) text += (user.Program.empty() ? ": pid " : " (pid ") + std::to_string(user.Pid) +
                            (user.Program.empty() ? "" : ")");
  return text;
}

// None for the codes without answer, the 3-byte head of an exception answer
// (its CRC stays unread) or of a foreign one (its rest is discarded), else the
// expected length of a normal answer once a good head gave it.
size_t StoredAnswerLength(uint8_t code, int32_t result, const TComPortClass& link,
                          const uint8_t* answer, size_t answerSize) {
  if (code == 69 || code == 70 || answerSize < 3) return 0;
  if (result >= 1 && result <= 255 && answer[1] == (code | 0x80) && answer[2] == result) return 3;
  // A foreign head, or one whose byte count was not the one asked for: its
  // rest was never read.
  if (result == ResultReceiveError && link.AnswerLen <= static_cast<int32_t>(answerSize)) return 3;
  return static_cast<size_t>(
      std::clamp<int32_t>(link.AnswerLen, 0, static_cast<int32_t>(answerSize)));
}

void TakePortMessages(CapturingOperator& form, RunOutcome& outcome) {
  for (const auto& box : form.Boxes) outcome.OtherBoxes.push_back({box.Text, box.Caption});
  form.Boxes.clear();
}
