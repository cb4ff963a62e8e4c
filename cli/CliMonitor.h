// modbus-cli --monitor: the traffic monitor's recorder on the run's link. Each
// frame, once complete, goes to a stream (standard error) as one line of
// text, and for --json it is kept for the result object it belongs to.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <ostream>
#include <vector>

#include "FrameText.h"
#include "TrafficRecorder.h"

// What the monitor saw over a stretch of the run (one run, click or batch line).
struct MonitorSpan {
  std::vector<MonitorFrame> Frames;  // requests and answers, oldest first
  uint64_t OmittedFrames = 0;        // of earlier transactions, left out to bound the output
  int64_t DiscardedBytes = 0;        // thrown away by purges
  std::optional<int64_t> GoodLatencyUs;  // of the last transaction's good answer
  int64_t OriginUs = 0;              // monotonic µs of t_us 0: the port was opened
  ClockAnchor Anchor;
};

class CliMonitor : public TrafficRecorder {
public:
  // The frames of at most this many transactions are kept for one span:
  // a long --count lists its last ones.
  static constexpr size_t kKeptTransactions = 1000;

  // `lines`: where each frame's line goes; `keepFrames`: keep them for TakeSpan.
  CliMonitor(std::ostream& lines, bool keepFrames);

  // Follows the opened link from now on; times count from here.
  void Start(TComPortClass& link);
  // Ends a transaction that an exception cut short (it never ended), so
  // that its frames complete; the monitor goes on following the link.
  void EndCutShort();
  // Prints (and keeps) the frames completed since the last call, and frees
  // the ring: call it between transactions.
  void TakeCompleted();
  // Whether TakeCompleted runs as each transaction ends, inside it, so that a
  // flow of several transactions shows each at once.
  bool TakeAtTransactionEnd = false;

  // The frames kept since the last call, and what they tell.
  MonitorSpan TakeSpan();
  // Transactions seen to end so far, and the latency of the good answer of
  // the last of them (none when it had none, or it came before the request).
  uint64_t TransactionsEnded() const { return transactionsEnded_; }
  std::optional<int64_t> LastGoodLatencyUs() const { return lastGoodLatencyUs_; }

  void TransactionEnded(int32_t result) override;

private:
  void Keep(const MonitorFrame& frame);

  std::ostream& lines_;
  bool keepFrames_;
  TComPortClass* followed_ = nullptr;
  ClockAnchor anchor_;
  int64_t originUs_ = 0;
  uint64_t nextSeq_ = 1;  // the first frame not yet taken
  std::optional<int64_t> previousUs_;  // of the frame printed last, for Δt

  std::deque<MonitorFrame> kept_;
  std::deque<std::pair<uint64_t, size_t>> keptTransactions_;  // number, frames kept of it
  uint64_t omitted_ = 0;
  int64_t discarded_ = 0;
  std::optional<int64_t> spanLatencyUs_;
  uint64_t transactionsEnded_ = 0;
  std::optional<int64_t> lastGoodLatencyUs_;
};

// Microseconds as milliseconds, for "latency_ms" and the readable form.
double UsToMs(int64_t us);
