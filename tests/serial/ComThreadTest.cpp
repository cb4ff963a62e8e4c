// The serial event thread over pseudo-terminal pairs: received data stays
// queued for Read, hand-overs to the GUI thread, stopping, restarting, and no
// processor time spent while the port is idle.
#include <gtest/gtest.h>
#include <time.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "ComPort.h"
#include "PtyPair.h"
#include "SynchronizeWakeupGuard.h"
#include "ThreadSync.h"

using namespace std::chrono;
using namespace std::chrono_literals;

namespace {
void ShortTimeouts(TComPort& port) {
  port.Timeouts().SetReadInterval(20);
  port.Timeouts().SetReadTotalMultiplier(0);
  port.Timeouts().SetReadTotalConstant(200);
}

// A port with all ten events on the slave side of a pty. The pair keeps its
// own slave descriptor, so the terminal (and its queues) outlive a Close.
struct EventPort {
  PtyPair pty;
  TComPort port;
  explicit EventPort(TSyncMethod sync = smThreadSync) {
    ShortTimeouts(port);
    port.SetSyncMethod(sync);
    port.SetPort(pty.SlavePath());
  }
};

// The GUI thread's part: serve hand-overs until `done` holds or time runs out.
bool ServeUntil(const std::function<bool()>& done, milliseconds limit = 2s) {
  const auto end = steady_clock::now() + limit;
  while (!done()) {
    if (steady_clock::now() >= end) return false;
    ThreadSync::CheckSynchronize(10);
  }
  return true;
}

double MsSince(steady_clock::time_point start) {
  return duration<double, std::milli>(steady_clock::now() - start).count();
}

double ProcessCpuMs() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

// Processor time the whole process spends while the calling thread sleeps.
double CpuMsWhileSleeping(milliseconds span) {
  const double before = ProcessCpuMs();
  std::this_thread::sleep_for(span);
  return ProcessCpuMs() - before;
}

// Ends the test program when a step hangs, instead of leaving CTest waiting.
class Watchdog {
public:
  explicit Watchdog(seconds limit)
      : thread_([this, limit] {
          std::unique_lock lock(mutex_);
          if (!cv_.wait_for(lock, limit, [this] { return disarmed_; })) {
            std::fprintf(stderr, "dead-lock: step did not finish\n");
            std::_Exit(3);
          }
        }) {}
  ~Watchdog() {
    {
      std::lock_guard lock(mutex_);
      disarmed_ = true;
    }
    cv_.notify_all();
    thread_.join();
  }

private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool disarmed_ = false;
  std::thread thread_;
};

// Records every hand-over of a received-character event.
struct RxRecorder {
  std::atomic<int> calls{0};
  std::atomic<int> lastCount{0};
  std::thread::id lastThread;  // written and read on the thread that ran the handler
  void Attach(TCustomComPort& port) {
    port.OnRxChar = [this](int count) {
      lastThread = std::this_thread::get_id();
      lastCount = count;
      ++calls;
    };
  }
};
}  // namespace

TEST(ComThread, ReceivedBytesStayQueuedForRead) {
  for (TSyncMethod sync : {smThreadSync, smNone}) {
    SCOPED_TRACE(sync == smNone ? "smNone" : "smThreadSync");
    EventPort p(sync);
    RxRecorder rx;
    rx.Attach(p.port);
    p.port.Open();
    ASSERT_TRUE(p.port.EventThreadStarted());
    const auto first = Bytes({1, 2, 3, 4, 5, 6});
    const auto second = Bytes({7, 8, 9, 10});
    p.pty.Send(first);
    ASSERT_TRUE(ServeUntil([&] { return rx.calls >= 1; }));
    p.pty.Send(second);
    // Each arrival is reported; the thread takes nothing out of the queue.
    ASSERT_TRUE(ServeUntil([&] { return rx.calls >= 2 && rx.lastCount == 10; }));
    EXPECT_EQ(p.port.InputCount(), 10);
    std::vector<uint8_t> got(16, 0);
    ASSERT_EQ(p.port.Read(got.data(), 16), 10);
    got.resize(10);
    EXPECT_EQ(Hex(got), "01 02 03 04 05 06 07 08 09 0A");
    // Reading produces no event of its own.
    const int calls = rx.calls;
    ServeUntil([] { return false; }, 150ms);
    EXPECT_EQ(rx.calls, calls);
  }
}

TEST(ComThread, BytesNobodyHandlesStayQueued) {
  // The main window's port: all events, no handler, nobody serving hand-overs.
  EventPort p;
  p.port.Open();
  p.pty.Send(Bytes({0x11, 0x03, 0x00, 0x6B}));
  std::this_thread::sleep_for(100ms);
  p.pty.Send(Bytes({0x00, 0x03}));
  std::this_thread::sleep_for(100ms);
  uint8_t got[8] = {};
  ASSERT_EQ(p.port.Read(got, 8), 6);
  EXPECT_EQ(Hex({got, got + 6}), "11 03 00 6B 00 03");
}

TEST(ComThread, HandlerRunsOnTheThreadThatServesHandOvers) {
  // Without a notification window, smWindowSync hands over like smThreadSync.
  for (TSyncMethod sync : {smThreadSync, smWindowSync}) {
    SCOPED_TRACE(sync == smWindowSync ? "smWindowSync" : "smThreadSync");
    EventPort p(sync);
    RxRecorder rx;
    rx.Attach(p.port);
    std::atomic<int> txEmpty{0};
    p.port.OnTxEmpty = [&] { ++txEmpty; };
    p.port.Open();
    p.pty.Send(Bytes({1, 2, 3, 4, 5, 6, 7}));
    // Until the GUI thread serves it, the hand-over waits.
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(rx.calls, 0);
    ASSERT_TRUE(ServeUntil([&] { return rx.calls >= 1; }));
    EXPECT_EQ(rx.lastThread, std::this_thread::get_id());
    EXPECT_EQ(rx.lastCount, 7);

    // A finished write is reported as an empty transmit queue.
    const auto frame = Bytes({0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A});
    EXPECT_EQ(p.port.Write(frame.data(), 8), 8);
    EXPECT_TRUE(ServeUntil([&] { return txEmpty >= 1; }));
    EXPECT_EQ(Hex(p.pty.Receive(8, 500ms)), "01 03 00 00 00 01 84 0A");
  }
}

TEST(ComThread, FailingEventStepReachesTheGuiThreadAndTheThreadGoesOn) {
  EventPort p;
  int calls = 0;
  p.port.OnRxChar = [&](int) {
    if (++calls == 1) throw EComPort(CError_ClearComFailed, 5);
  };
  p.port.Open();
  p.pty.Send(Bytes({1}));
  bool raised = false;
  try {
    ServeUntil([&] { return calls >= 1; });
  } catch (const EComPort& e) {
    raised = true;
    EXPECT_EQ(e.FailureCode, CError_ClearComFailed);
  }
  EXPECT_TRUE(raised);
  p.pty.Send(Bytes({2}));
  EXPECT_TRUE(ServeUntil([&] { return calls >= 2; }));
}

TEST(ComThread, WithoutSynchronisationTheHandlerRunsOnTheEventThread) {
  EventPort p(smNone);
  RxRecorder rx;
  std::atomic<bool> onOtherThread{false};
  const auto gui = std::this_thread::get_id();
  p.port.OnRxChar = [&](int count) {
    onOtherThread = std::this_thread::get_id() != gui;
    rx.lastCount = count;
    ++rx.calls;
  };
  p.port.Open();
  p.pty.Send(Bytes({9, 9, 9}));
  // Nobody serves hand-overs here: the handler must run anyway.
  const auto end = steady_clock::now() + 2s;
  while (rx.calls == 0 && steady_clock::now() < end) std::this_thread::sleep_for(5ms);
  ASSERT_EQ(rx.calls, 1);
  EXPECT_TRUE(onOtherThread);
  EXPECT_EQ(rx.lastCount, 3);
}

TEST(ComThread, ClosePromptlyEndsTheThreadAndEmptiesTheQueues) {
  EventPort p;
  RxRecorder rx;
  rx.Attach(p.port);
  p.port.Open();
  p.pty.Send(Bytes({1, 2, 3, 4, 5}));
  ASSERT_TRUE(ServeUntil([&] { return rx.calls >= 1; }));
  std::this_thread::sleep_for(50ms);  // the thread is back in its wait, data still queued
  ASSERT_EQ(p.port.InputCount(), 5);

  const auto start = steady_clock::now();
  p.port.Close();
  EXPECT_LT(MsSince(start), 100.0);
  EXPECT_FALSE(p.port.EventThreadStarted());
  EXPECT_FALSE(p.port.Connected());

  // The terminal lives on (the pair holds it): the ending purge left nothing.
  p.port.SetEvents(TComEvents());
  p.port.Open();
  EXPECT_EQ(p.port.InputCount(), 0);
  uint8_t got[8];
  EXPECT_EQ(p.port.Read(got, 8), 0);
  EXPECT_EQ(rx.calls, 1);
}

TEST(ComThread, CloseWhileAHandOverWaitsDoesNotDeadLock) {
  EventPort p;
  RxRecorder rx;
  rx.Attach(p.port);
  std::mutex mutex;
  std::condition_variable cv;
  bool queued = false;
  SynchronizeWakeupGuard wakeup([&] {
    std::lock_guard lock(mutex);
    queued = true;
    cv.notify_all();
  });
  p.port.Open();
  p.pty.Send(Bytes({1, 2, 3}));
  {
    std::unique_lock lock(mutex);
    ASSERT_TRUE(cv.wait_for(lock, 2s, [&] { return queued; }));
  }
  EXPECT_EQ(rx.calls, 0);  // nobody has served it yet
  {
    Watchdog watchdog(10s);
    const auto start = steady_clock::now();
    p.port.Close();
    EXPECT_LT(MsSince(start), 100.0);
  }
  // Close served the waiting hand-over on this thread before the thread ended.
  EXPECT_EQ(rx.calls, 1);
  EXPECT_EQ(rx.lastThread, std::this_thread::get_id());
  EXPECT_EQ(rx.lastCount, 3);
  EXPECT_FALSE(p.port.EventThreadStarted());
  EXPECT_FALSE(ThreadSync::CheckSynchronize());
}

TEST(ComThread, EmptyEventsStartNoThread) {
  EventPort p;
  RxRecorder rx;
  rx.Attach(p.port);
  p.port.SetEvents(TComEvents());
  p.port.Open();
  EXPECT_FALSE(p.port.EventThreadStarted());
  p.pty.Send(Bytes({1, 2}));
  EXPECT_FALSE(ServeUntil([&] { return rx.calls > 0; }, 150ms));
  EXPECT_EQ(p.port.InputCount(), 2);
  p.port.Close();

  p.port.SetEvents(TComEvents().Include(evRxChar));
  p.port.Open();
  EXPECT_TRUE(p.port.EventThreadStarted());
  p.pty.Send(Bytes({3}));
  EXPECT_TRUE(ServeUntil([&] { return rx.calls > 0; }));
}

TEST(ComThread, NewPortNameRestartsTheThread) {
  EventPort p;
  PtyPair other;
  RxRecorder rx;
  rx.Attach(p.port);
  p.port.Open();
  p.pty.Send(Bytes({1}));
  ASSERT_TRUE(ServeUntil([&] { return rx.calls == 1; }));

  p.port.SetPort(other.SlavePath());
  ASSERT_TRUE(p.port.Connected());
  EXPECT_TRUE(p.port.EventThreadStarted());
  // The old line is no longer watched; the new one is.
  p.pty.Send(Bytes({2, 2}));
  EXPECT_FALSE(ServeUntil([&] { return rx.calls > 1; }, 150ms));
  other.Send(Bytes({3, 3, 3}));
  ASSERT_TRUE(ServeUntil([&] { return rx.calls == 2; }));
  EXPECT_EQ(rx.lastCount, 3);
  p.port.Close();
  EXPECT_FALSE(p.port.EventThreadStarted());
}

TEST(ComThread, IdlePortSpendsNoProcessorTime) {
  for (TSyncMethod sync : {smThreadSync, smNone}) {
    SCOPED_TRACE(sync == smNone ? "smNone" : "smThreadSync");
    EventPort p(sync);
    RxRecorder rx;
    rx.Attach(p.port);
    p.port.Open();
    EXPECT_LT(CpuMsWhileSleeping(500ms), 50.0) << "nothing queued";

    p.pty.Send(Bytes({1, 2, 3, 4}));
    ASSERT_TRUE(ServeUntil([&] { return rx.calls >= 1; }));
    // Served: the thread waits again while the bytes sit unread in the queue.
    EXPECT_LT(CpuMsWhileSleeping(500ms), 50.0) << "data queued";
    EXPECT_EQ(p.port.InputCount(), 4);
  }
  // The main window's port with a hand-over nobody serves.
  EventPort p;
  p.port.Open();
  p.pty.Send(Bytes({5, 6}));
  EXPECT_LT(CpuMsWhileSleeping(500ms), 50.0) << "hand-over pending";
}

TEST(ComThread, HungUpLineCostsNothingAndClosesPromptly) {
  PtyPair pty;
  TComPort port;
  ShortTimeouts(port);
  port.SetSyncMethod(smNone);
  port.SetPort(pty.SlavePath());
  port.Open();
  pty.ReleaseSlave();
  pty.CloseMaster();  // the device is gone: the port's side hangs up
  std::this_thread::sleep_for(20ms);
  EXPECT_LT(CpuMsWhileSleeping(500ms), 50.0);
  const auto start = steady_clock::now();
  port.Close();
  EXPECT_LT(MsSince(start), 100.0);
}
