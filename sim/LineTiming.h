// Character timing of the simulated line: 1 start bit, 8 data bits, an
// optional parity bit and the stop bits per byte.
#pragma once

#include <chrono>

struct LineTiming {
  int baud = 0;  // 0: no pacing, bytes go out at once
  char parity = 'N';  // N, E or O
  int stopBits = 2;  // the tool's own default line: 9600 baud, no parity, 2 stop bits

  // Time of one character on the wire; zero when not pacing.
  std::chrono::nanoseconds CharTime() const;
  // The gap that ends a frame: 3.5 character times, never less than 2 ms,
  // because a pseudo-terminal delivers bytes in bursts with scheduling jitter.
  std::chrono::nanoseconds Silence() const;
};
