#include "AnswerFollower.h"

#include <chrono>

#include "ComPort.h"
#include "ComPortClass.h"
#include "ValueView.h"

namespace {
int64_t Microseconds(std::chrono::steady_clock::time_point when) {
  return std::chrono::duration_cast<std::chrono::microseconds>(when.time_since_epoch()).count();
}
int64_t SystemNowUs() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}
}  // namespace

AnswerFollower::AnswerFollower(Handler handler) : handler_(std::move(handler)) {}

AnswerFollower::~AnswerFollower() { Detach(); }

void AnswerFollower::Attach(TComPortClass& link) {
  Detach();
  link_ = &link;
  link.AddObserver(this);
  link.ComPort().RegisterLink(this);
}

void AnswerFollower::Detach() {
  if (!link_) return;
  link_->RemoveObserver(this);
  link_->ComPort().UnRegisterLink(this);
  link_ = nullptr;
  inTransaction_ = false;
}

void AnswerFollower::TxBuf(const uint8_t*, int, TimePoint, int) {}

void AnswerFollower::RxBuf(const uint8_t* data, int count, TimePoint arrived, bool) {
  if (!inTransaction_) return;
  answer_.insert(answer_.end(), data, data + count);
  lastByte_ = arrived;
}

void AnswerFollower::RxEnded(int, int, TimePoint) {}

void AnswerFollower::Purged(int) {}

void AnswerFollower::TransactionStarted(const uint8_t* frame, int32_t length) {
  inTransaction_ = true;
  poll_ = PollRecord{};
  poll_.Device = length > 0 ? frame[0] : 0;
  poll_.Code = length > 1 ? frame[1] : 0;
  if (length > 4) poll_.RequestData.assign(frame + 2, frame + length - 2);
  answer_.clear();
}

void AnswerFollower::AttemptStarted(int, int, int) { answer_.clear(); }

void AnswerFollower::RestStarted() {}

void AnswerFollower::AttemptFailed(int32_t) {}

void AnswerFollower::TransactionEnded(int32_t result) {
  if (!inTransaction_) return;
  inTransaction_ = false;
  const auto now = std::chrono::steady_clock::now();
  // A good answer is stamped when its last byte came; anything else when it ended.
  const bool answered = result == 0 && !answer_.empty();
  const auto when = answered ? lastByte_ : now;
  poll_.Us = Microseconds(when);
  poll_.SystemUs = SystemNowUs() - std::chrono::duration_cast<std::chrono::microseconds>(now - when).count();
  poll_.Result = result;
  if (result == 0) {
    const auto data = AnswerData(answer_);
    poll_.Data.assign(data.begin(), data.end());
  }
  if (handler_) handler_(poll_);
}
