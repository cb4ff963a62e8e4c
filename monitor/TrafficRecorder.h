// The traffic monitor's recorder: linked to the serial port for the bytes and
// their times, and following the link's transactions for attempts, stages
// and results, it keeps one frame per request and per answer in a FrameRing
// and counts per device in LinkStatistics. Everything runs on the thread that
// runs the transactions; a view reads the frames between them.
#pragma once

#include <optional>

#include "ComLink.h"
#include "FrameRing.h"
#include "FrameSource.h"
#include "LinkStatistics.h"
#include "RtuTiming.h"
#include "TransactionObserver.h"

class TComPortClass;

class TrafficRecorder : public TComLink, public TransactionObserver, public FrameSource {
public:
  explicit TrafficRecorder(size_t capacity = FrameRing::kDefaultCapacity);
  ~TrafficRecorder() override;
  TrafficRecorder(const TrafficRecorder&) = delete;
  TrafficRecorder& operator=(const TrafficRecorder&) = delete;

  // Follows `link` and its port until Detach (or destruction).
  void Attach(TComPortClass& link);
  void Detach();
  bool Attached() const { return link_ != nullptr; }

  const FrameRing& Frames() const override { return ring_; }
  // Frames with a running number below this one will not change any more.
  uint64_t CompleteBefore() const override { return completeBefore_; }
  const LinkStatistics& Statistics() const { return statistics_; }
  void ResetStatistics() { statistics_.Reset(); }
  // Forgets the frames (their running numbers go on).
  void ClearFrames();
  // A request sent on a port of somebody else's (the device finder's sweep),
  // completed at `sent`, and what came back from `firstByte` on: frames of
  // their own, marked with `note`, outside the link's transactions and statistics.
  void RecordForeign(const std::vector<uint8_t>& request, TimePoint sent, const std::vector<uint8_t>& answer,
                     std::optional<TimePoint> firstByte, const std::string& note);

  // TComLink
  void TxBuf(const uint8_t* data, int count, TimePoint done, int waitingBefore) override;
  void RxBuf(const uint8_t* data, int count, TimePoint arrived, bool waiting) override;
  void RxEnded(int wanted, int got, TimePoint ended) override;
  void Purged(int discarded) override;

  // TransactionObserver
  void TransactionStarted(const uint8_t* frame, int32_t length) override;
  void AttemptStarted(int attempt, int stage1Try, int stage2Try) override;
  void RestStarted() override;
  void AttemptFailed(int32_t result) override;
  void TransactionEnded(int32_t result) override;

private:
  MonitorFrame NewFrame(FrameDirection direction, int64_t us) const;
  void EndAttempt(std::optional<int32_t> result);
  void EndTransaction(std::optional<int32_t> result);
  void MarkComplete();

  TComPortClass* link_ = nullptr;
  FrameRing ring_;
  LinkStatistics statistics_;
  uint64_t completeBefore_ = 1;

  // The transaction on its way, if any.
  uint64_t transactions_ = 0;  // how many were seen: the running number of the last
  bool inTransaction_ = false;
  uint8_t address_ = 0, code_ = 0;
  LineFormat format_;
  FrameTransport Transport() const;
  int attempts_ = 0;
  int attempt_ = 0, stage_ = 1, stage1Try_ = 1, stage2Try_ = 1;
  std::optional<uint64_t> txSeq_, rxSeq_;  // the attempt's frames
  int waitingBefore_ = 0;                  // bytes queued as the attempt's request went out
  bool attemptFailed_ = false;             // the link said the attempt under way failed
  std::optional<uint64_t> lastSeq_;        // the transaction's newest frame
};

// Monotonic microseconds of a time point, the clock of the frames.
int64_t MonotonicUs(TComLink::TimePoint when);
