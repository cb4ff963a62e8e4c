// The line settings the tool has put on the pseudo-terminal, as the
// simulator reads them from its own slave descriptor, and whether they are
// those of the simulated device. A pseudo-terminal cannot carry everything:
// Linux clears the parity-enable flag and the character size on it, so none
// and even parity look alike; the rate, the stop bits and odd parity (its
// own flag survives) can be compared.
#pragma once

#include <optional>
#include <string>

#include "LineTiming.h"

struct LineSettingsSeen {
  int Baud = 0;
  bool Odd = false;
  int StopBits = 1;
  std::string Text() const;  // "19200 O2"
};

std::optional<LineSettingsSeen> ReadLineSettings(int fd);

// Whether a device set up as `own` hears `seen`: same rate and stop bits, and
// odd parity on both sides or on neither.
bool SameLine(const LineTiming& own, const LineSettingsSeen& seen);
