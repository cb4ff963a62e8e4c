#include "LinkModel.h"

#include <algorithm>

#include "SimCrc.h"

namespace {
bool GetsNoAnswer(uint8_t code) { return code == 69 || code == 70; }
}  // namespace

std::vector<uint8_t> LinkModel::Take(size_t count) {
  const size_t n = std::min(count, queue_.size());
  std::vector<uint8_t> bytes(queue_.begin(), queue_.begin() + static_cast<long>(n));
  queue_.erase(queue_.begin(), queue_.begin() + static_cast<long>(n));
  return bytes;
}

std::optional<ModelOutcome> LinkModel::Transaction(
    const std::vector<uint8_t>& frame, const std::function<std::optional<DeviceExchange>()>& next) {
  const uint8_t code = frame[1];
  const int frameLen = static_cast<int>(frame.size());
  int stage1 = std::max(repeats1_, 1), stage2 = std::max(repeats2_, 1);
  ModelOutcome outcome;
  queue_.clear();  // the purge that starts every transaction
  for (;;) {
    const auto exchange = next();
    if (!exchange) return std::nullopt;
    ++outcome.Attempts;
    queue_.insert(queue_.end(), exchange->Reply.begin(), exchange->Reply.end());
    if (GetsNoAnswer(code)) return outcome;

    bool stageTwo = false;
    const std::vector<uint8_t> head = Take(3);
    if (head.size() < 3) {
      outcome.Result = head.empty() ? 130 : 129;
    } else if (head[1] == (code | 0x80) && head[2] != 0) {
      outcome.Result = head[2];
      outcome.Answer = head;
      return outcome;
    } else if (head[1] != code && head[1] != (code | 0x80)) {
      outcome.Result = 128;
      queue_.clear();  // the rest of a foreign answer is discarded after the pause
    } else {
      stageTwo = true;
      stage1 = std::max(repeats1_, 1);
      const int length = code == 5 || code == 14 ? frameLen : code == 15 ? 8 : head[2] + 5;
      const size_t rest = static_cast<size_t>(length - 3);
      const std::vector<uint8_t> tail = Take(rest);
      std::vector<uint8_t> answer = head;
      answer.insert(answer.end(), tail.begin(), tail.end());
      if (tail.empty() && rest > 0) {
        outcome.Result = 130;
      } else if (tail.size() < rest) {
        outcome.Result = 129;
      } else if (SimCrc16(answer.data(), answer.size() - 2) ==
                 (answer[answer.size() - 2] | answer.back() << 8)) {
        outcome.Result = 0;
        outcome.Answer = answer;
        return outcome;
      } else {
        outcome.Result = 131;
      }
    }
    int& countdown = stageTwo ? stage2 : stage1;
    if (--countdown == 0) return outcome;
  }
}
