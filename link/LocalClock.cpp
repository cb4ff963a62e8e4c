#include "LocalClock.h"

#include <chrono>
#include <ctime>

LocalDateTime SystemLocalTime() {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const std::time_t t = system_clock::to_time_t(now);
  // Only the GUI thread reads the clock, so the shared result of localtime is safe.
  const std::tm* local = std::localtime(&t);
  if (!local) return {};  // no local time to be had: an all-zero date rather than a crash
  const std::tm tm = *local;
  const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
          static_cast<int>(ms)};
}
