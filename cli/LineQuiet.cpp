#include "LineQuiet.h"

#include <algorithm>
#include <thread>

#include "ComPortClass.h"
#include "RtuTiming.h"

void LineQuiet::AfterTransaction(uint8_t code, Clock::time_point start) {
  if (!GetsNoAnswer(code)) return;
  const LineFormat format = LineFormatOf(link_);
  // The write may return before the frame has left the adapter, so its own
  // time on the wire counts from when it began, after the delay before it.
  const auto writeStart = start + std::chrono::microseconds(100) * std::max(link_.TxDelay, 0);
  const auto sent = std::max(Clock::now(), writeStart + WireTime(format, link_.FrameLen));
  nextFrame_ = sent + InterFrameGap(format);
}

void LineQuiet::WaitForNextFrame() const {
  if (Clock::now() < nextFrame_) std::this_thread::sleep_until(nextFrame_);
}
