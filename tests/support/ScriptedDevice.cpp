#include "ScriptedDevice.h"

#include <algorithm>

#include "Crc16.h"

namespace {
using SteadyClock = std::chrono::steady_clock;
// Between frames the device waits for ever; each wait ends at an Interrupt.
constexpr std::chrono::milliseconds kForever = std::chrono::hours(24);
}  // namespace

ScriptedDevice::ScriptedDevice(PtyPair& line, std::chrono::milliseconds frameGap)
    : line_(line), gap_(frameGap) {
  thread_ = std::thread([this] { Run(); });
}

ScriptedDevice::~ScriptedDevice() {
  stop_ = true;
  line_.Interrupt();
  thread_.join();
}

void ScriptedDevice::Push(Reply reply) {
  std::lock_guard lock(mutex_);
  script_.push_back(std::move(reply));
}

void ScriptedDevice::SetResponder(Responder responder) {
  std::lock_guard lock(mutex_);
  responder_ = std::move(responder);
}

std::vector<ScriptedDevice::Request> ScriptedDevice::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

bool ScriptedDevice::WaitForRequests(size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return arrived_.wait_for(lock, timeout, [&] { return requests_.size() >= count; });
}

ScriptedDevice::Bytes ScriptedDevice::WithCrc(Bytes frame) {
  const uint16_t crc = Crc16(static_cast<int32_t>(frame.size()), frame.data());
  frame.push_back(static_cast<uint8_t>(crc & 0xFF));
  frame.push_back(static_cast<uint8_t>(crc >> 8));
  return frame;
}

ScriptedDevice::Bytes ScriptedDevice::WithBadCrc(Bytes frame) {
  frame = WithCrc(std::move(frame));
  frame.back() ^= 0x5A;
  return frame;
}

ScriptedDevice::Reply ScriptedDevice::NextReply(const Bytes& request) {
  std::unique_lock lock(mutex_);
  if (!script_.empty()) {
    Reply reply = std::move(script_.front());
    script_.pop_front();
    return reply;
  }
  Responder responder = responder_;
  lock.unlock();
  return responder ? responder(request) : Reply{};
}

void ScriptedDevice::Run() {
  Bytes frame;
  SteadyClock::time_point first{};
  while (!stop_) {
    // Inside a frame wait only for the gap that ends it; between frames, for ever.
    if (line_.AwaitInput(frame.empty() ? kForever : gap_)) {
      SteadyClock::time_point arrived;
      const Bytes bytes = line_.ReceiveAvailable(&arrived);
      if (!bytes.empty() && frame.empty()) first = arrived;
      frame.insert(frame.end(), bytes.begin(), bytes.end());
      continue;
    }
    // Interrupted, or the gap has passed: the frame is complete.
    if (stop_) return;
    if (frame.empty()) continue;
    {
      std::lock_guard lock(mutex_);
      requests_.push_back({frame, first});
    }
    arrived_.notify_all();
    const Reply reply = NextReply(frame);
    frame.clear();
    if (reply.Delay.count() > 0) {
      const auto end = SteadyClock::now() + reply.Delay;
      // Bytes that come meanwhile wait in the line for the next frame.
      while (!stop_ && SteadyClock::now() < end)
        std::this_thread::sleep_for(std::min<SteadyClock::duration>(end - SteadyClock::now(),
                                                                    std::chrono::milliseconds(5)));
      if (stop_) return;
    }
    line_.Send(reply.Data);
  }
}
