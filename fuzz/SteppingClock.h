// A time of day for the link that moves on one second with every reading,
// so that WaitMs returns after two readings instead of waiting; it counts
// the readings, which tells how many pauses a transaction made.
#pragma once

#include "LocalClock.h"

struct SteppingClock {
  static constexpr int kStartMs = 12 * 3'600'000;  // noon, far from the midnight wrap
  int* readings;

  static LocalDateTime At(int reading) {
    const int ms = kStartMs + reading * 1000;
    return {2026, 12, 7, ms / 3'600'000, ms / 60'000 % 60, ms / 1000 % 60, ms % 1000};
  }
  LocalDateTime operator()() const { return At((*readings)++); }
};
