#include "TapLine.h"

#include <unistd.h>

#include <cstdio>

TapLine::TapLine(LineTiming timing, double noise, uint32_t seed, SimLog log)
    : timing_(timing), noise_(noise), random_(seed), log_(std::move(log)), writer_([this] { Write(); }) {}

TapLine::~TapLine() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  writer_.join();
}

TapLine::Clock::time_point TapLine::LineFreeAt() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return last_;
}

void TapLine::Mirror(const std::vector<uint8_t>& frame, Clock::time_point start) {
  const auto character = timing_.CharTime();
  std::vector<uint8_t> noise;
  if (noise_ > 0 && std::uniform_real_distribution<double>(0, 1)(random_) < noise_) {
    noise.resize(std::uniform_int_distribution<size_t>(1, 3)(random_));
    for (uint8_t& b : noise) b = static_cast<uint8_t>(std::uniform_int_distribution<int>(0, 255)(random_));
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    Clock::time_point at = std::max(start, last_);
    for (uint8_t b : frame) {
      at += character;
      queue_.push_back({at, b});
    }
    // In the middle of the silence after the frame, with silence after it too.
    at += timing_.Silence();
    for (uint8_t b : noise) {
      at += character;
      queue_.push_back({at, b});
    }
    if (!noise.empty()) at += timing_.Silence();
    last_ = at;
  }
  wake_.notify_all();
  if (!noise.empty() && log_) {
    std::string text = "TAP noise";
    char hex[4];
    for (uint8_t b : noise) {
      std::snprintf(hex, sizeof hex, " %02X", b);
      text += hex;
    }
    log_(text);
  }
}

void TapLine::Write() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stop_ || !queue_.empty(); });
    if (stop_) return;
    const Timed next = queue_.front();
    if (wake_.wait_until(lock, next.at, [this] { return stop_; })) return;
    queue_.pop_front();
    lock.unlock();
    // A full tap nobody reads drops the byte rather than stall the line.
    [[maybe_unused]] const ssize_t n = ::write(pty_.MasterFd(), &next.byte, 1);
    lock.lock();
  }
}
