// The line settings the link can set: its rates, and the character frames
// (parity and stop bits) the tool accepts, with the reason for each frame it
// refuses as data, so that every front end words it in its own language.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "ComTypes.h"

// Parity 'N', 'E' or 'O' and 1 or 2 stop bits ("N2"); 8 data bits always.
struct LineFrame {
  char Parity = 'N';
  int StopBits = 2;
  std::string Name() const { return std::string(1, Parity) + std::to_string(StopBits); }
  bool operator==(const LineFrame&) const = default;
};

// The rates OpenPort sets; 128000 and 256000 are not among them.
inline constexpr std::array<int32_t, 13> LinkRates = {110,   300,   600,   1200,  2400,  4800,  9600,
                                                      14400, 19200, 38400, 56000, 57600, 115200};
bool IsLinkRate(int32_t baud);
// The serial component's rate for one of LinkRates; brCustom for any other.
TBaudRate BaudRateOf(int32_t baud);
// "110, 300, …, 115200"
std::string LinkRatesText();

enum class FrameRefusal {
  None,
  UnknownParity,          // not N, E or O
  UnknownStopBits,        // not 1 or 2
  EvenParityTwoStopBits,  // E2: the port settings dialog does not offer it
};
FrameRefusal CheckLineFrame(const LineFrame& frame);

// The frames offered where frames are chosen (the finder), in the order
// engineers meet them; E2 is not among them.
inline constexpr std::array<LineFrame, 5> OfferedFrames = {
    LineFrame{'N', 2}, LineFrame{'N', 1}, LineFrame{'E', 1}, LineFrame{'O', 1}, LineFrame{'O', 2}};
