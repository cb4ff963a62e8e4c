// A fault-injecting device on the master side of a pseudo-terminal: it reads
// each request frame (bytes up to a short silence) and answers it by a script.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "PtyPair.h"

class ScriptedDevice {
public:
  using Bytes = std::vector<uint8_t>;
  struct Reply {
    Bytes Data;  // sent as they are; empty means silence
    std::chrono::milliseconds Delay{0};  // before sending
  };
  struct Request {
    Bytes Frame;
    std::chrono::steady_clock::time_point Arrived;  // first byte
  };
  using Responder = std::function<Reply(const Bytes& request)>;

  // `line` must outlive the device.
  explicit ScriptedDevice(PtyPair& line,
                          std::chrono::milliseconds frameGap = std::chrono::milliseconds(5));
  ~ScriptedDevice();
  ScriptedDevice(const ScriptedDevice&) = delete;
  ScriptedDevice& operator=(const ScriptedDevice&) = delete;

  // Replies to the next requests, in order.
  void Push(Reply reply);
  void Push(Bytes data) { Push(Reply{std::move(data), {}}); }
  // What answers once the pushed replies are used up (default: silence).
  void SetResponder(Responder responder);

  std::vector<Request> Requests() const;
  // Waits until `count` requests have come; false on time-out.
  bool WaitForRequests(size_t count, std::chrono::milliseconds timeout) const;

  // Frame helpers: append the Modbus CRC (right or deliberately wrong).
  static Bytes WithCrc(Bytes frame);
  static Bytes WithBadCrc(Bytes frame);

private:
  void Run();
  Reply NextReply(const Bytes& request);

  PtyPair& line_;
  std::atomic<bool> stop_{false};
  std::chrono::milliseconds gap_;
  mutable std::mutex mutex_;
  mutable std::condition_variable arrived_;
  std::deque<Reply> script_;
  Responder responder_;
  std::vector<Request> requests_;
  std::thread thread_;
};
