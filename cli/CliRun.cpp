#include "CliRun.h"

#include <algorithm>
#include <chrono>

#include "CapturingOperator.h"
#include "ComPort.h"
#include "ComPortClass.h"
#include "MainPortProperties.h"

namespace {
// The answer bytes the engine stored: none for the codes without answer, the
// 3-byte head of an exception answer (its CRC stays unread), else the
// expected length of a normal answer once a good head gave it.
size_t StoredLength(uint8_t code, int32_t result, const TComPortClass& link,
                    const std::vector<uint8_t>& answer) {
  if (code == 69 || code == 70) return 0;
  if (result >= 1 && result <= 255 && answer[1] == (code | 0x80) && answer[2] == result) return 3;
  return static_cast<size_t>(std::clamp<int32_t>(link.AnswerLen, 0,
                                                 static_cast<int32_t>(answer.size())));
}

void TakeBoxes(CapturingOperator& form, RunOutcome& outcome) {
  for (const auto& box : form.Boxes) outcome.OtherBoxes.push_back({box.Text, box.Caption});
  form.Boxes.clear();
}
}  // namespace

RunOutcome RunTransactions(const CliOptions& options, const RequestSpec& request) {
  RunOutcome outcome;
  TComPort port;
  LoadMainPortProperties(port);
  CapturingOperator form;
  TComPortClass link(port, form);
  link.PortName = options.Port;
  link.BaudText = options.Baud;
  link.ParityText = options.Parity;
  link.StopBitsText = options.Stop;
  link.SetRepeats1(options.Repeats1);
  link.SetRepeats2(options.Repeats2);
  link.SetTxDelay(options.TxDelay);
  link.SetRxDelay(options.RxDelay);
  const int32_t deviceIndex = options.Device - 1;

  try {
    const int32_t opened = link.OpenPort();
    TakeBoxes(form, outcome);
    if (form.CloseRequested) {
      outcome.State = RunOutcome::Status::PortFailed;
      return outcome;
    }
    if (opened != 0) {
      outcome.State = RunOutcome::Status::PortRefused;
      outcome.Result = ResultPortNotOpened;
      link.ReportResult(deviceIndex, ResultPortNotOpened);
      outcome.Report = RunOutcome::Message{form.Boxes.back().Text, form.Boxes.back().Caption};
      return outcome;
    }
  } catch (const EComPort& e) {
    TakeBoxes(form, outcome);
    outcome.State = RunOutcome::Status::PortFailed;
    outcome.Error = e.what();
    return outcome;
  }

  // Room for the echo of the longest request (codes 5 and 14).
  std::vector<uint8_t> answer(kFrameBufferSize);
  const auto size = static_cast<int32_t>(request.Data.size());
  int32_t result = ResultOk;
  try {
    for (int i = 0; i < options.Count; ++i) {
      std::fill(answer.begin(), answer.end(), 0);
      link.AnswerLen = 0;  // so that a run without a good head shows no answer
      const auto start = std::chrono::steady_clock::now();
      result = link.Transact(deviceIndex, request.Code, size,
                             request.Data.empty() ? nullptr : request.Data.data(), answer.data(),
                             static_cast<int32_t>(answer.size()));
      outcome.TimesMs.push_back(
          std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
              .count());
      if (result != ResultOk || form.CloseRequested) break;
    }
  } catch (const EComPort& e) {
    TakeBoxes(form, outcome);
    outcome.State = RunOutcome::Status::ExchangeError;
    outcome.Error = e.what();
    return outcome;
  }
  TakeBoxes(form, outcome);

  outcome.Result = result;
  const size_t stored = StoredLength(request.Code, result, link, answer);
  outcome.Answer.assign(answer.begin(), answer.begin() + static_cast<std::ptrdiff_t>(stored));
  if (result != ResultOk) {
    link.ReportResult(deviceIndex, result);
    if (!form.Boxes.empty())
      outcome.Report = RunOutcome::Message{form.Boxes.back().Text, form.Boxes.back().Caption};
  }
  return outcome;
}

int ExitCodeOf(const RunOutcome& outcome) {
  switch (outcome.State) {
    case RunOutcome::Status::PortRefused:
    case RunOutcome::Status::PortFailed: return 3;
    case RunOutcome::Status::ExchangeError: return 1;
    case RunOutcome::Status::Exchanged: break;
  }
  return outcome.Result == ResultOk ? 0 : 1;
}
