// The background thread that waits for line events while a port is open and
// hands each batch to the port's event steps (TCustomComPort::CallEvents):
// on the GUI thread through ThreadSync for smThreadSync and smWindowSync, on
// the thread itself for smNone. It never reads data out of the receive queue.
#pragma once

#include <atomic>
#include <thread>

#include "ComTypes.h"

class TCustomComPort;
class PortDevice;

class TComThread {
public:
  // Sets the device's event mask to the port's Events and starts the thread.
  explicit TComThread(TCustomComPort& port);
  // Stops the thread and returns once it has ended, serving the thread's
  // pending hand-overs to the GUI thread meanwhile so that it cannot dead-lock.
  ~TComThread();
  TComThread(const TComThread&) = delete;
  TComThread& operator=(const TComThread&) = delete;

  // The events of the batch handed over last (empty before the first).
  TComEvents LastEvents() const;

private:
  void Execute();
  void Dispatch(TComEvents events);
  void Finish();

  TCustomComPort& port_;
  PortDevice& device_;
  const TSyncMethod syncMethod_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> ended_{false};
  std::atomic<TComEvents> lastEvents_{TComEvents()};
  std::thread thread_;
};
