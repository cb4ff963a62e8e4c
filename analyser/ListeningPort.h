// A serial port opened to hear a line and nothing else: this type has no
// way to write, so listening cannot put a byte on a line another master
// drives. It reads whatever comes, chunk by chunk, with the time each
// chunk was taken from the driver.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "LineSettings.h"
#include "RtuTiming.h"

class TCustomComPort;

class ListeningPort {
public:
  ListeningPort();
  ~ListeningPort();
  ListeningPort(const ListeningPort&) = delete;
  ListeningPort& operator=(const ListeningPort&) = delete;

  // Opens `name` (COM9, a device path) with the line's rate and character
  // frame; raises EComPort as the serial component does. What was queued
  // before is thrown away: listening starts now.
  void Open(const std::string& name, int32_t baud, const LineFrame& frame);
  void Close();
  bool IsOpen() const;

  // Waits up to `waitMs` for bytes and returns those queued (empty after
  // the wait), with the monotonic time in microseconds they were taken.
  std::vector<uint8_t> Read(int waitMs, int64_t& takenUs);

private:
  std::unique_ptr<TCustomComPort> port_;
};

// Monotonic microseconds now, the clock of the chunks.
int64_t NowUs();

// The character timing of a line with that rate and frame.
LineFormat FormatOf(int32_t baud, const LineFrame& frame);
