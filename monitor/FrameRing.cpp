#include "FrameRing.h"

MonitorFrame& FrameRing::Push(MonitorFrame frame) {
  if (frames_.size() == capacity_) {
    frames_.pop_front();
    ++dropped_;
  }
  frame.Seq = next_++;
  frames_.push_back(std::move(frame));
  return frames_.back();
}

MonitorFrame* FrameRing::Find(uint64_t seq) {
  if (frames_.empty() || seq < frames_.front().Seq || seq > frames_.back().Seq) return nullptr;
  // Running numbers are consecutive since the last Clear.
  return &frames_[static_cast<size_t>(seq - frames_.front().Seq)];
}

const MonitorFrame* FrameRing::Find(uint64_t seq) const {
  return const_cast<FrameRing*>(this)->Find(seq);
}
