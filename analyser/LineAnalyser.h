// Listening to a line: the frames the splitter finds become the monitor's
// frames (requests →, answers ←, bytes of no frame ?), each answer paired
// with the request before it by order, address and function, and classed
// as the link would class it (good, exception, foreign, CRC); a request
// without answer is decided when the next request comes, or after a
// silence of AnswerWaitUs. Counts per address go to ListenStatistics.
// Single-threaded: feed it from one thread and read it from the same.
#pragma once

#include <functional>
#include <optional>

#include "FrameRing.h"
#include "FrameSource.h"
#include "FrameSplitter.h"
#include "ListenStatistics.h"
#include "RtuTiming.h"

class LineAnalyser : public FrameSource {
public:
  // Longer than the link's own wait for an answer's head (1.3 s).
  static constexpr int64_t kAnswerWaitUs = 1'500'000;

  explicit LineAnalyser(const LineFormat& format, size_t capacity = FrameRing::kDefaultCapacity);

  void Feed(const uint8_t* data, size_t count, int64_t arrivedUs);
  void Idle(int64_t nowUs);
  void Finish();

  const FrameRing& Frames() const override { return ring_; }
  // Frames with a running number below this one will not change any more.
  uint64_t CompleteBefore() const override { return completeBefore_; }
  const ListenStatistics& Statistics() const { return statistics_; }
  void ResetStatistics() { statistics_.Reset(); }
  void ClearFrames() { ring_.Clear(); }
  const SplitterTiming& Timing() const { return splitter_.Timing(); }
  int64_t AnswerWaitUs = kAnswerWaitUs;

  // Told of each frame once it is complete, in line order.
  std::function<void(const MonitorFrame&)> OnComplete;

private:
  void TakeFound();
  void AddRequest(const SplitFrame& found);
  void AddAnswer(const SplitFrame& found);
  void AddUnframed(const SplitFrame& found);
  MonitorFrame NewFrame(FrameDirection direction, const SplitFrame& found) const;
  // The waiting request got no answer (129 when bytes of its answer's head came).
  void CloseUnanswered();
  void Advance();

  FrameSplitter splitter_;
  FrameRing ring_;
  ListenStatistics statistics_;
  int64_t gapTooLongUs_;
  uint64_t exchanges_ = 0;
  uint64_t completeBefore_ = 1;
  std::optional<uint64_t> waiting_;  // the request that waits for its answer
  int64_t waitingEndUs_ = 0;
  bool headAfterWaiting_ = false;    // bytes of no frame began like its answer
  bool noiseAfterWaiting_ = false;
};
