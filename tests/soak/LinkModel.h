// What the link must make of a device's replies, worked out on its own from
// the rules of a master transaction: a 3-byte head, the rest by the answer's
// length, the two repeat counters, the purge at the start of a transaction
// and after a foreign head. The soak compares the real link against it.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

// One request as the device saw it and what it sent back (empty: silence).
struct DeviceExchange {
  std::vector<uint8_t> Request;
  std::vector<uint8_t> Reply;
};

struct ModelOutcome {
  int32_t Result = 0;
  std::vector<uint8_t> Answer;  // the answer the link keeps: a whole good answer, or an exception head
  int Attempts = 0;
};

class LinkModel {
public:
  LinkModel(int repeats1, int repeats2) : repeats1_(repeats1), repeats2_(repeats2) {}

  // One transaction of `frame`. `next` hands out the device's exchanges in
  // order, one per attempt; nullopt when the device saw no more requests.
  // nullopt when the exchanges ran out before the transaction could end.
  std::optional<ModelOutcome> Transaction(
      const std::vector<uint8_t>& frame,
      const std::function<std::optional<DeviceExchange>()>& next);

private:
  std::vector<uint8_t> Take(size_t count);

  int repeats1_, repeats2_;
  std::deque<uint8_t> queue_;  // the receive queue of the port
};
