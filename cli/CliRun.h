// One run of modbus-cli: open the port through the link, run the transaction
// the asked number of times, and collect what the operator would be told.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "CliMonitor.h"
#include "CliPollLog.h"
#include "CliOptions.h"
#include "SampleSummary.h"

struct RunOutcome {
  enum class Status {
    Exchanged,     // the transactions ran; Result says how the last one ended
    PortRefused,   // OpenPort refused the settings (code 132)
    PortFailed,    // the port failed while being opened
    ExchangeError  // the port failed during a transaction
  };
  struct Message {
    std::string Text;
    std::string Caption;
  };

  Status State = Status::Exchanged;
  std::optional<int32_t> Result;
  std::vector<uint8_t> Answer;      // the stored answer bytes, up to the expected length
  std::optional<Message> Report;    // what ReportResult shows for Result
  std::vector<Message> OtherBoxes;  // boxes of a failing port
  std::string Error;                // the serial component's failure text
  SampleSummary TimesMs;            // of the transactions run
  bool Interrupted = false;         // a stop signal ended the series early
  std::optional<MonitorSpan> Monitor;  // with --monitor: what the line carried
  std::vector<ValueDef> Values;        // --value: read from Answer for the report
  std::optional<LogSummary> Log;       // with --log: what it wrote
};

// With `log`, every transaction is logged as it completes and the series
// goes on past a failed one.
RunOutcome RunTransactions(const CliOptions& options, const RequestSpec& request,
                           CliPollLog* log = nullptr);

// 0 for result 0, 1 for a failed exchange, 3 when the port cannot be opened.
int ExitCodeOf(const RunOutcome& outcome);
