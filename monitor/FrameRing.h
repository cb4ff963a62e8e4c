// The monitor's memory: the newest frames, at most a fixed number of them
// (100 000 by default), the oldest dropped first. Frames are addressed by
// their running number, so a view can ask for what came since it last looked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>

#include "MonitorFrame.h"

class FrameRing {
public:
  static constexpr size_t kDefaultCapacity = 100'000;

  explicit FrameRing(size_t capacity = kDefaultCapacity) : capacity_(capacity ? capacity : 1) {}

  // Appends a frame, giving it the next running number; returns it.
  MonitorFrame& Push(MonitorFrame frame);
  // The frame with that running number while it is kept, else nullptr.
  MonitorFrame* Find(uint64_t seq);
  const MonitorFrame* Find(uint64_t seq) const;

  void Clear() { frames_.clear(); }
  size_t Size() const { return frames_.size(); }
  size_t Capacity() const { return capacity_; }
  uint64_t Dropped() const { return dropped_; }
  // Running number of the next frame to come (one past the newest).
  uint64_t NextSeq() const { return next_; }
  const std::deque<MonitorFrame>& Frames() const { return frames_; }

private:
  size_t capacity_;
  uint64_t next_ = 1;
  uint64_t dropped_ = 0;
  std::deque<MonitorFrame> frames_;
};
