// The Windows read and write time-out rules, for the backends that keep
// time themselves (the POSIX serial device, the network devices): a total
// deadline of multiplier x count + constant taken once at the start; after
// the first byte, also the interval limit between two bytes; the platform's
// MAXDWORD special cases that return what is queued.
#pragma once

#include <chrono>
#include <optional>

#include "ComTypes.h"

class ReadDeadline {
public:
  using Clock = std::chrono::steady_clock;
  ReadDeadline(const TimeoutValues& timeouts, int count, Clock::time_point start);

  // A read that returns as soon as it has any byte (the MAXDWORD cases).
  bool ReturnsQueued() const { return returnQueued_; }
  // When waiting for more must end, with `got` bytes in and the last at
  // `lastByte`; nullopt: never (no time-outs in force).
  std::optional<Clock::time_point> Limit(int got, Clock::time_point lastByte) const;

private:
  bool returnQueued_ = false;
  std::optional<Clock::time_point> total_;
  std::optional<std::chrono::milliseconds> interval_;
};

// The write's total deadline; nullopt when the write time-outs are both 0.
std::optional<std::chrono::steady_clock::time_point> WriteDeadline(
    const TimeoutValues& timeouts, int count, std::chrono::steady_clock::time_point start);

// Milliseconds from now to `limit` for a wait call, rounded up so that a wait
// never ends early; -1 for no limit, capped at a day.
int WaitMilliseconds(std::optional<std::chrono::steady_clock::time_point> limit);
