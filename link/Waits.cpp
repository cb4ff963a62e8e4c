// The link's two busy waits. Neither sleeps, yields or processes window
// messages: a transaction blocks the GUI thread by design.
#include <chrono>

#include "ComPort.h"
#include "ComPortClass.h"

namespace {
constexpr int32_t kMsPerDay = 86'400'000;
// One SpinDelay unit. The delays were once counted empty loops whose length
// depended on the processor; a fixed time on the monotonic clock keeps the
// operator's settings meaningful on every machine and cannot be optimised away.
constexpr auto kSpinUnit = std::chrono::microseconds(100);
}  // namespace

void TComPortClass::SpinDelay(int32_t units, TCustomComPort* watched) {
  if (units <= 0) return;
  using Clock = std::chrono::steady_clock;
  const auto end = Clock::now() + units * kSpinUnit;
  if (!watched) {
    while (Clock::now() < end) {
    }
    return;
  }
  // Looking at the receive queue while spinning costs the wait nothing, and
  // the bytes of an answer that comes meanwhile keep their arrival time
  // instead of taking the time of the read after the wait (see ComPort.h).
  watched->BeginArrivalWatch();
  while (Clock::now() < end) watched->NoteArrivals();
  watched->NoteArrivals();  // what came with the last turn of the loop
}

void TComPortClass::WaitMs(int32_t ms) {
  const int32_t start = Clock().MsSinceMidnight();
  for (;;) {
    const int32_t now = Clock().MsSinceMidnight();
    // Past midnight the time of day starts again at 0.
    const int32_t elapsed = now >= start ? now - start : kMsPerDay - start + now;
    if (elapsed >= ms) return;
  }
}
