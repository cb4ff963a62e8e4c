#include "ComThread.h"

#include "ComPort.h"
#include "EComPort.h"
#include "PortDevice.h"
#include "ThreadSync.h"

namespace {
// How long the stopping GUI thread sleeps between checks when nothing wakes it;
// the ending thread wakes it at once, so this only bounds a lost wake-up.
constexpr int kStopPollMs = 50;
}  // namespace

TComThread::TComThread(TCustomComPort& port)
    : port_(port), device_(port.Device()), syncMethod_(port.SyncMethod()) {
  // The thread priority (EventThreadPriority) is left to the system: tpNormal
  // is the only value this program uses, and std::thread has no portable setter.
  try {
    device_.SetEventMask(port.Events().ToMask());
  } catch (const EComPort&) {
    // Ignored as on Windows: the thread then waits for whatever the device reports.
  }
  thread_ = std::thread([this] { Execute(); });
}

TComThread::~TComThread() {
  stop_.store(true);
  device_.CancelWait();
  std::this_thread::yield();
  // The thread may be blocked in a hand-over to this (the GUI) thread: serve
  // hand-overs until it has ended.
  while (!ended_.load()) {
    try {
      ThreadSync::CheckSynchronize(kStopPollMs);
    } catch (...) {
      // An event step failed while the port closes; a destructor cannot report it.
    }
  }
  thread_.join();
}

TComEvents TComThread::LastEvents() const { return lastEvents_.load(); }

void TComThread::Execute() {
  while (!stop_.load()) {
    uint32_t mask = 0;
    try {
      mask = device_.WaitEvent();
    } catch (const EComPort&) {
      break;  // the wait itself failed: the thread ends
    }
    // 0: cancelled, or the wait failed for good. NoEventBatch: nothing to
    // report this time (e.g. a failed completion query); wait again.
    if (mask == 0 || stop_.load()) break;
    if (mask != PortDevice::NoEventBatch) Dispatch(TComEvents::FromMask(mask));
  }
  Finish();
}

void TComThread::Dispatch(TComEvents events) {
  lastEvents_.store(events);
  if (syncMethod_ == smNone) {
    try {
      port_.CallEvents(events);
    } catch (const EComPort&) {
      // No one on this thread to report to; the next batch tries again.
    }
    return;
  }
  // smThreadSync, and smWindowSync too: this toolkit has no notification
  // window, so both hand the batch to the GUI thread and wait until it has
  // run. A failing step raises its EComPort on the GUI thread.
  ThreadSync::Synchronize([this, events] { port_.CallEvents(events); });
}

// The ending steps: clear the event mask and discard both queues. A thread
// whose wait could not be set up or failed for good ends early, while the port
// stays open: it must not purge the queues from under a running transaction.
void TComThread::Finish() {
  try {
    device_.SetEventMask(0);
  } catch (const EComPort&) {
  }
  if (stop_.load()) {
    try {
      device_.Purge(PurgeTxClear | PurgeRxClear);
    } catch (const EComPort&) {
    }
  }
  ended_.store(true);
  ThreadSync::Wake();
}
