#include "CliRun.h"

#include <chrono>
#include <iostream>
#include <memory>

#include "CliLink.h"
#include "StopSignals.h"

RunOutcome RunTransactions(const CliOptions& options, const RequestSpec& request, CliPollLog* log) {
  RunOutcome outcome;
  CliLink cli(options);
  // The log lets go of the link before the link goes.
  struct LinkLeft {
    CliPollLog* log;
    ~LinkLeft() {
      if (log) log->StopFollowing();
    }
  } linkLeft{log};
  const auto takeLog = [&] {
    if (log) outcome.Log = log->Summary();
  };
  std::unique_ptr<CliMonitor> monitor;
  if (options.Monitor) {
    monitor = std::make_unique<CliMonitor>(std::cerr, options.Json);
    outcome.Monitor.emplace();  // nothing went over the line until the port is open
  }
  if (!cli.Open(outcome)) return outcome;
  TComPortClass& link = cli.Link;
  if (monitor) monitor->Start(link);
  if (log) log->Follow(link);
  // The frames of a transaction an exception cut short are complete once it stops.
  auto takeMonitor = [&] {
    if (!monitor) return;
    monitor->EndCutShort();
    monitor->TakeCompleted();
    outcome.Monitor = monitor->TakeSpan();
  };

  // Room for the echo of the longest request (codes 5 and 14).
  std::vector<uint8_t> answer(kFrameBufferSize);
  const auto size = static_cast<int32_t>(request.Data.size());
  int32_t result = ResultOk;
  try {
    for (int i = 0; i < options.Count; ++i) {
      if (StopSignals::Requested()) {
        outcome.Interrupted = true;
        break;
      }
      std::fill(answer.begin(), answer.end(), 0);
      link.AnswerLen = 0;  // so that a run without a good head shows no answer
      cli.Quiet.WaitForNextFrame();
      const auto start = std::chrono::steady_clock::now();
      result = link.Transact(cli.DeviceIndex, request.Code, size,
                             request.Data.empty() ? nullptr : request.Data.data(), answer.data(),
                             static_cast<int32_t>(answer.size()));
      cli.Quiet.AfterTransaction(request.Code, start);
      outcome.TimesMs.Add(
          std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
              .count());
      // Printed after the time is taken, so that the lines do not count in it.
      if (monitor) monitor->TakeCompleted();
      if (log && !log->Healthy()) break;
      if ((result != ResultOk && !log) || cli.Form.CloseRequested) break;
    }
  } catch (const EComPort& e) {
    TakePortMessages(cli.Form, outcome);
    outcome.State = RunOutcome::Status::ExchangeError;
    outcome.Error = e.what();
    takeMonitor();
    takeLog();
    return outcome;
  }
  TakePortMessages(cli.Form, outcome);
  takeMonitor();
  takeLog();
  if (outcome.TimesMs.Empty()) return outcome;  // stopped before the first transaction

  outcome.Result = result;
  const size_t stored =
      StoredAnswerLength(request.Code, result, link.AnswerLen, answer.data(), answer.size());
  outcome.Answer.assign(answer.begin(), answer.begin() + static_cast<std::ptrdiff_t>(stored));
  if (result != ResultOk) {
    link.ReportResult(cli.DeviceIndex, result);
    if (!cli.Form.Boxes.empty())
      outcome.Report = RunOutcome::Message{cli.Form.Boxes.back().Text, cli.Form.Boxes.back().Caption};
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
