// The hand-over of calls from a worker thread to the GUI thread.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "SynchronizeWakeupGuard.h"
#include "ThreadSync.h"

using namespace std::chrono;
using namespace std::chrono_literals;

TEST(ThreadSync, CallRunsOnTheServingThreadAndTheWorkerWaitsForIt) {
  std::atomic<int> wakeups{0};
  SynchronizeWakeupGuard wakeup([&] { ++wakeups; });
  std::thread::id ranOn;
  std::atomic<bool> workerDone{false};
  int value = 0;
  std::thread worker([&] {
    ThreadSync::Synchronize([&] {
      ranOn = std::this_thread::get_id();
      value = 42;
    });
    workerDone = true;
  });
  std::this_thread::sleep_for(50ms);
  EXPECT_FALSE(workerDone);  // blocked until someone serves it
  EXPECT_EQ(wakeups, 1);
  EXPECT_TRUE(ThreadSync::CheckSynchronize(1000));
  worker.join();
  EXPECT_TRUE(workerDone);
  EXPECT_EQ(ranOn, std::this_thread::get_id());
  EXPECT_EQ(value, 42);
  EXPECT_FALSE(ThreadSync::CheckSynchronize());
}

TEST(ThreadSync, FailingCallReleasesItsWorkerAndReachesTheServer) {
  std::thread worker([] { ThreadSync::Synchronize([] { throw std::runtime_error("step failed"); }); });
  std::thread second([] {
    std::this_thread::sleep_for(30ms);
    ThreadSync::Synchronize([] {});
  });
  std::this_thread::sleep_for(80ms);
  try {
    ThreadSync::CheckSynchronize(1000);
    ADD_FAILURE() << "the call's exception must leave CheckSynchronize";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "step failed");
  }
  worker.join();  // released despite the failure
  // The call queued behind the failing one is still served.
  EXPECT_TRUE(ThreadSync::CheckSynchronize(1000));
  second.join();
}

TEST(ThreadSync, WaitEndsAtAHandOverOrAWake) {
  auto start = steady_clock::now();
  EXPECT_FALSE(ThreadSync::CheckSynchronize(60));
  EXPECT_GE(steady_clock::now() - start, 55ms);

  std::thread waker([] {
    std::this_thread::sleep_for(30ms);
    ThreadSync::Wake();
  });
  start = steady_clock::now();
  EXPECT_FALSE(ThreadSync::CheckSynchronize(5000));
  EXPECT_LT(steady_clock::now() - start, 2s);
  waker.join();

  // A Wake that came first is not lost.
  ThreadSync::Wake();
  start = steady_clock::now();
  ThreadSync::CheckSynchronize(5000);
  EXPECT_LT(steady_clock::now() - start, 2s);

  std::thread worker([] {
    std::this_thread::sleep_for(30ms);
    ThreadSync::Synchronize([] {});
  });
  start = steady_clock::now();
  EXPECT_TRUE(ThreadSync::CheckSynchronize(5000));
  EXPECT_LT(steady_clock::now() - start, 2s);
  worker.join();
}
