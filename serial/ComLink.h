// A component linked to a serial port: it is told of the bytes each completed
// write sent and of each chunk a read received, with a monotonic time stamp,
// and of the queue contents a purge discarded. Links are called
// synchronously on whichever thread reads, writes or purges the port (the GUI
// thread for the main window's port, the sweep's thread for the finder's own
// port): they must be quick, and a link shared between threads must guard itself.
// A port with no link attached spends nothing on them.
#pragma once

#include <chrono>
#include <cstdint>

class TComLink {
public:
  using TimePoint = std::chrono::steady_clock::time_point;

  virtual ~TComLink() = default;
  // A write completed at `done` after sending these bytes (a short count when
  // the line stalled); `waitingBefore` bytes were in the receive queue as it
  // began: they came before the request went out.
  virtual void TxBuf(const uint8_t* data, int count, TimePoint done, int waitingBefore) = 0;
  // A read took these bytes from the driver at `arrived`. `waiting`: they were
  // already queued when the read began, so they arrived earlier than that.
  virtual void RxBuf(const uint8_t* data, int count, TimePoint arrived, bool waiting) = 0;
  // A read ended at `ended` with `got` of the `wanted` bytes (fewer: its time-outs ran out).
  virtual void RxEnded(int wanted, int got, TimePoint ended) = 0;
  // A purge of the receive queue threw away `discarded` bytes nobody had read.
  virtual void Purged(int discarded) = 0;
};
