#include "EntrySession.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <iostream>
#include <thread>

#include "StopSignals.h"
#include "StrToInt.h"

namespace {
// Sleeps until `due`, or less when a stop is asked for; false then.
bool SleepUntilOrStop(std::chrono::steady_clock::time_point due) {
  using namespace std::chrono;
  while (steady_clock::now() < due) {
    if (StopSignals::Requested()) return false;
    std::this_thread::sleep_until(std::min(due, steady_clock::now() + milliseconds(20)));
  }
  return !StopSignals::Requested();
}
}  // namespace

void PollLog::Add(const Poll& poll) {
  ++Count;
  if (poll.LatencyUs) LatencyUs.Add(static_cast<double>(*poll.LatencyUs));
  Last.push_back(poll);
  if (Last.size() > kListed) Last.pop_front();
}

EntrySession::EntrySession(const CliOptions& options)
    : cli_(options),
      store_(cli_.Form, [] {}),  // no speaker: the box in the output says enough
      dispatcher_(cli_.Link, store_, window_, cli_.Form) {
  store_.DeviceIndex = cli_.DeviceIndex;
  cli_.Form.OnDisablePollTimer = [this] { window_.DisablePollTimer(); };
  if (options.Monitor) {
    // Batch lines are always JSON.
    monitor_ = std::make_unique<CliMonitor>(std::cerr, options.Json || options.Has("--batch"));
    // A click may run several transactions (a write and its completion polls):
    // each shows as it ends.
    monitor_->TakeAtTransactionEnd = true;
  }
}

bool EntrySession::Open(RunOutcome& failure) {
  if (!cli_.Open(failure)) {
    if (monitor_) failure.Monitor.emplace();
    return false;
  }
  if (monitor_) monitor_->Start(cli_.Link);
  return true;
}

void EntrySession::ApplySettings(const CliOptions& line) {
  if (line.Has("--device")) store_.DeviceIndex = line.Device - 1;
  if (line.Has("--repeats1")) cli_.Link.SetRepeats1(line.Repeats1);
  if (line.Has("--repeats2")) cli_.Link.SetRepeats2(line.Repeats2);
  if (line.Has("--tx-delay")) cli_.Link.SetTxDelay(line.TxDelay);
  if (line.Has("--rx-delay")) cli_.Link.SetRxDelay(line.RxDelay);
}

bool EntrySession::RunClick(std::string& error) {
  // The window's error display would show these; the click ends, the window goes on.
  try {
    cli_.Quiet.WaitForNextFrame();
    const auto start = LineQuiet::Clock::now();
    dispatcher_.Button1Click();
    if (dispatcher_.LastPassSent()) cli_.Quiet.AfterTransaction(dispatcher_.RequestCode, start);
    return true;
  } catch (const EConvertError& e) {
    error = e.what();
  } catch (const EComPort& e) {
    error = e.what();
  } catch (const std::exception& e) {
    error = e.what();
  }
  return false;
}

std::optional<int32_t> EntrySession::ClickResult() const {
  if (!dispatcher_.LastPassSent()) return std::nullopt;
  return dispatcher_.LastResult();
}

void EntrySession::RunPolling(const ClickRequest::Polling& polling, ClickOutcome& outcome) {
  using Clock = std::chrono::steady_clock;
  window_.IntervalMs = polling.IntervalMs;
  dispatcher_.Button3Click();  // "Цикл": nothing is sent until the first tick
  const auto interval = std::chrono::milliseconds(window_.TimerIntervalMs());
  auto due = Clock::now() + interval;
  outcome.Polls.emplace();
  for (int tick = 0; tick < polling.Count; ++tick) {
    if (!SleepUntilOrStop(due)) {
      outcome.Interrupted = true;
      break;
    }
    const uint64_t ended = monitor_ ? monitor_->TransactionsEnded() : 0;
    const bool clicked = RunClick(outcome.Error);
    PollLog::Poll poll{clicked ? ClickResult() : std::nullopt, std::nullopt};
    if (monitor_ && monitor_->TransactionsEnded() > ended) poll.LatencyUs = monitor_->LastGoodLatencyUs();
    outcome.Polls->Add(poll);
    // The flow ends polling itself on a failure or before a box of its own.
    if (!clicked || !window_.PollTimerEnabled() || cli_.Form.CloseRequested) break;
    // A tick that fell due during the request is served at once; missed ones are not made up.
    due = std::max(due + interval, Clock::now());
  }
  if (window_.PollTimerEnabled()) dispatcher_.Button3Click();  // "Цикл" again
}

ClickOutcome EntrySession::Click(const ClickRequest& request) {
  if (request.Request) window_.Zapr.SetText(*request.Request);
  if (request.Dat1) window_.Dat1.SetText(*request.Dat1);
  if (request.Dat2) window_.Dat2.SetText(*request.Dat2);
  if (request.Grid) window_.Grid = *request.Grid;
  cli_.Form.ConfirmAnswer = request.Confirm;
  cli_.Form.Boxes.clear();
  cli_.Link.AnswerLen = 0;  // so that a click without a good head shows no answer

  ClickOutcome outcome;
  bool clicked = true;
  if (request.Poll)
    RunPolling(*request.Poll, outcome);
  else
    clicked = RunClick(outcome.Error);

  if (clicked && outcome.Error.empty()) outcome.Result = ClickResult();
  if (outcome.Result) {
    const auto& answer = dispatcher_.LastAnswer();
    const size_t stored = StoredAnswerLength(dispatcher_.RequestCode, *outcome.Result, cli_.Link.AnswerLen,
                                             answer.data(), answer.size());
    outcome.Answer.assign(answer.begin(), answer.begin() + static_cast<std::ptrdiff_t>(stored));
  }
  outcome.Boxes = std::move(cli_.Form.Boxes);
  cli_.Form.Boxes.clear();
  for (const auto& box : outcome.Boxes)
    if (box.FromLink && box.Text != kPortLostText) outcome.Report = box;
  outcome.Entries = {window_.Zapr.Text(), window_.Dat1.Text(), window_.Dat2.Text()};
  outcome.Fields = window_.Fields;
  outcome.Grid = window_.Grid;
  outcome.PortLost = cli_.Form.CloseRequested;
  if (monitor_) {
    if (!outcome.Error.empty()) {
      monitor_->EndCutShort();
      monitor_->TakeCompleted();
    }
    outcome.Monitor = monitor_->TakeSpan();
  }
  return outcome;
}

int ExitCodeOf(const ClickOutcome& outcome) {
  if (!outcome.Error.empty() || outcome.PortLost || !outcome.Result) return 1;
  return *outcome.Result == 0 ? 0 : 1;
}
