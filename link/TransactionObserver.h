// Someone who follows the link's transactions: which request is on its way,
// which attempt and stage each byte belongs to, how each attempt and the
// whole transaction ended. Together with a link on the serial port
// (ComLink.h), which carries the bytes and their times, it makes the traffic
// monitor. The link calls it only when one is attached.
#pragma once

#include <cstdint>

class TransactionObserver {
public:
  virtual ~TransactionObserver() = default;
  // A transaction of `frame` (the whole request frame) begins, before the purge.
  virtual void TransactionStarted(const uint8_t* frame, int32_t length) = 0;
  // Attempt `attempt` (1, 2, ...) begins, before its write; `stage1Try` and
  // `stage2Try` count the failures of each stage so far, plus one.
  virtual void AttemptStarted(int attempt, int stage1Try, int stage2Try) = 0;
  // The head was good: the rest of the answer is read now.
  virtual void RestStarted() = 0;
  // The attempt failed with `result` (the pause and the repeat follow, or the end).
  virtual void AttemptFailed(int32_t result) = 0;
  // The transaction returns `result`.
  virtual void TransactionEnded(int32_t result) = 0;
};
