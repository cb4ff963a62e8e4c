// The computer's local date and time, injectable so that tests can set it.
#pragma once

#include <functional>

struct LocalDateTime {
  int Year = 2000;
  int Month = 1;   // 1..12
  int Day = 1;     // 1..31
  int Hour = 0;    // 0..23
  int Minute = 0;  // 0..59
  int Second = 0;  // 0..59
  int Millisecond = 0;

  int MsSinceMidnight() const { return ((Hour * 60 + Minute) * 60 + Second) * 1000 + Millisecond; }
};

using LocalClock = std::function<LocalDateTime()>;

LocalDateTime SystemLocalTime();
