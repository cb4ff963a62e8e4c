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

void TakePortMessages(CapturingOperator& form, RunOutcome& outcome) {
  for (const auto& box : form.Boxes) outcome.OtherBoxes.push_back({box.Text, box.Caption});
  form.Boxes.clear();
}
