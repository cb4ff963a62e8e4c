// The silence between frames that RTU framing needs. A frame that gets an
// answer is followed by the device's answer, which keeps the frames apart;
// after one that gets none (a broadcast clock frame, a database write) a
// series of requests must leave the line quiet for the inter-frame gap, or
// the devices take the two frames for one.
#pragma once

#include <chrono>
#include <cstdint>

class TComPortClass;

class LineQuiet {
public:
  using Clock = std::chrono::steady_clock;

  explicit LineQuiet(const TComPortClass& link) : link_(link) {}

  // Notes a transaction that began at `start`; when its code gets no answer,
  // the next frame waits until this one has gone out and the line was quiet.
  void AfterTransaction(uint8_t code, Clock::time_point start);
  // Sleeps until the next frame may go out.
  void WaitForNextFrame() const;
  Clock::time_point NextFrameAllowed() const { return nextFrame_; }

private:
  const TComPortClass& link_;
  Clock::time_point nextFrame_{};
};
