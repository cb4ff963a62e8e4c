// Times on an RTU line: characters, frames and the silence that separates
// frames, from the link's line settings.
#pragma once

#include <chrono>

class TComPortClass;

struct LineFormat {
  int Baud = 9600;
  bool Parity = false;
  int StopBits = 2;
  // Start bit, 8 data bits, parity bit if any, stop bits.
  int BitsPerCharacter() const { return 1 + 8 + (Parity ? 1 : 0) + StopBits; }
};

// The format the link's setting texts describe (9600 where the rate is no number).
LineFormat LineFormatOf(const TComPortClass& link);

std::chrono::nanoseconds CharacterTime(const LineFormat& format);
std::chrono::nanoseconds WireTime(const LineFormat& format, int bytes);
// The silence that ends a frame: 3.5 character times, a fixed 1.75 ms above
// 19200 baud, as RTU framing has it.
std::chrono::nanoseconds InterFrameGap(const LineFormat& format);
