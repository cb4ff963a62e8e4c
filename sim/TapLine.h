// The tap: a second pseudo-terminal on which the simulator mirrors every
// byte its line carries (the master's requests and its own answers, faults
// included) in order and at the line's pace, so that a listener has a line
// to hear. Noise bytes may be added in the silences after frames. A writer
// thread puts each byte on the tap at its time; nobody reading the tap
// never holds up the line (bytes the tap cannot take are dropped).
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "LineTiming.h"
#include "PtyLine.h"
#include "SimDevice.h"

class TapLine {
public:
  using Clock = std::chrono::steady_clock;

  // `noise`: the chance (0..1) of 1 to 3 noise bytes in the silence after a frame.
  TapLine(LineTiming timing, double noise, uint32_t seed, SimLog log);
  ~TapLine();
  TapLine(const TapLine&) = delete;
  TapLine& operator=(const TapLine&) = delete;

  const std::string& SlavePath() const { return pty_.SlavePath(); }

  // A frame whose first byte went on the line at `start`: its bytes follow
  // one character apart, never before the bytes mirrored earlier.
  void Mirror(const std::vector<uint8_t>& frame, Clock::time_point start);
  // When the last byte mirrored so far leaves the tap.
  Clock::time_point LineFreeAt() const;

private:
  struct Timed {
    Clock::time_point at;
    uint8_t byte;
  };
  void Write();

  LineTiming timing_;
  double noise_;
  std::mt19937 random_;
  SimLog log_;
  PtyLine pty_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Timed> queue_;
  Clock::time_point last_{};
  bool stop_ = false;
  std::thread writer_;
};
