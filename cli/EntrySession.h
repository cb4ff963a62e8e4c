// The headless main window: one port, link, store, window state and request
// dispatcher for the whole run, so that successive clicks see what the
// previous ones left, as in the window.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "CliLink.h"
#include "CliMonitor.h"
#include "HeadlessWindow.h"
#include "RequestDispatcher.h"
#include "SampleSummary.h"
#include "ServClass.h"

// The polls of a "Цикл" run: the last ones in full, the rest counted, so that
// a week of polling keeps its memory flat.
struct PollLog {
  static constexpr size_t kListed = 1000;
  struct Poll {
    std::optional<int32_t> Result;     // none when the click sent nothing
    std::optional<int64_t> LatencyUs;  // with --monitor: of its good answer
  };
  std::deque<Poll> Last;     // the last kListed polls
  uint64_t Count = 0;        // every poll
  SampleSummary LatencyUs;   // with --monitor: of every poll's good answer

  void Add(const Poll& poll);
  uint64_t Omitted() const { return Count - Last.size(); }
};

// What a click changes before it runs, and how it runs.
struct ClickRequest {
  std::optional<std::string> Request, Dat1, Dat2;  // entry texts; absent ones keep theirs
  std::optional<GridTexts> Grid;                   // replaces the grid's data rows
  MsgResult Confirm = MsgResult::No;               // the answer to a Yes/No box
  struct Polling {
    int Count = 1;
    int IntervalMs = 3000;
  };
  std::optional<Polling> Poll;  // run as "Цикл" would instead of one click
};

struct ClickOutcome {
  std::optional<int32_t> Result;  // of the click's last pass; none when nothing was sent
  std::vector<uint8_t> Answer;    // what the engine stored of that pass's answer
  std::optional<CapturingOperator::Box> Report;  // the outcome report, if the flow showed it
  std::vector<CapturingOperator::Box> Boxes;     // every box of the click, in order
  std::array<std::string, 3> Entries;            // EditZapr, EditDat1, EditDat2 afterwards
  std::array<std::string, 20> Fields;            // Edit1..Edit20
  GridTexts Grid;
  std::optional<PollLog> Polls;        // when the click ran as "Цикл"
  bool Interrupted = false;            // a stop signal ended the polling early
  std::optional<MonitorSpan> Monitor;  // with --monitor: the click's frames
  std::string Error;         // an exception that ended a click (e.g. an entry that is no number)
  std::string GridNotWritten;  // --grid-out's target, left as it was because the click failed
  bool PortLost = false;     // the link closed the main window
};

class EntrySession {
public:
  explicit EntrySession(const CliOptions& options);

  // Opens the port as the port settings dialog would; false as CliLink::Open.
  bool Open(RunOutcome& failure);
  // Settings that a batch line may change: the device (CBoxUstr) and the
  // exchange settings; the ones not given keep their values.
  void ApplySettings(const CliOptions& line);
  ClickOutcome Click(const ClickRequest& request);

private:
  // One Button1Click; false (with the reason) when it raised an exception.
  bool RunClick(std::string& error);
  void RunPolling(const ClickRequest::Polling& polling, ClickOutcome& outcome);
  std::optional<int32_t> ClickResult() const;

  CliLink cli_;
  std::unique_ptr<CliMonitor> monitor_;  // with --monitor
  HeadlessWindow window_;
  TServClass store_;
  TRequestDispatcher dispatcher_;
};

// 0 when the click's result is 0 and nothing went wrong, else 1.
int ExitCodeOf(const ClickOutcome& outcome);
