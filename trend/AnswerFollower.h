// Follows the link's transactions for the trend: linked to the port for the
// bytes and their times, and an observer of the transactions for where each
// begins and how it ends, it hands every completed transaction on as a
// PollRecord: the main window's polls and anyone else's on the same link.
#pragma once

#include <functional>

#include "ComLink.h"
#include "PollRecord.h"
#include "TransactionObserver.h"

class TComPortClass;

class AnswerFollower : public TComLink, public TransactionObserver {
public:
  using Handler = std::function<void(const PollRecord&)>;
  explicit AnswerFollower(Handler handler);
  ~AnswerFollower() override;
  AnswerFollower(const AnswerFollower&) = delete;
  AnswerFollower& operator=(const AnswerFollower&) = delete;

  void Attach(TComPortClass& link);
  void Detach();
  bool Attached() const { return link_ != nullptr; }
  // A transaction of the link is under way (its request is out or going out).
  bool InTransaction() const { return inTransaction_; }

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
  Handler handler_;
  TComPortClass* link_ = nullptr;
  bool inTransaction_ = false;
  PollRecord poll_;
  std::vector<uint8_t> answer_;  // the attempt's bytes so far
  TimePoint lastByte_{};
};
