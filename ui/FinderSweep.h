// One sweep of the device finder on a thread of its own, over a serial port
// of its own with no line events (so nothing of it runs on the GUI thread).
// What the sweep brings reaches the thread this object lives on as queued
// calls, so a window follows it from its event loop and never waits on the
// line; the calls still queued when the object goes are dropped with it.
#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "DeviceFinder.h"

class TFinderSweep : public QObject {
public:
  struct Progress {
    size_t Done = 0, Planned = 0;
    std::chrono::milliseconds Remaining{0};
  };

  // Before the first probe and after each one.
  std::function<void(const Progress&)> OnProgress;
  // Each probe that heard something: a device, or noise.
  std::function<void(const ProbeResult&)> OnHeard;
  // Last: whether it was cancelled, and why the port failed (empty when it did not).
  std::function<void(bool cancelled, const QString& error)> OnFinished;

  TFinderSweep(std::string portName, ScanPlan plan);
  ~TFinderSweep() override;  // cancels and waits for the thread
  TFinderSweep(const TFinderSweep&) = delete;
  TFinderSweep& operator=(const TFinderSweep&) = delete;

  void Start();
  // The sweep ends after the probe under way; from any thread.
  void Cancel();
  // Returns once the thread has ended (its port closed).
  void Wait();

private:
  void Run();
  void Post(std::function<void()> call);
  void Hold(DeviceFinder* finder);

  const std::string portName_;
  const ScanPlan plan_;
  std::atomic<bool> cancelled_{false};
  std::mutex mutex_;
  DeviceFinder* finder_ = nullptr;  // while the sweep runs; under mutex_
  std::thread thread_;
};
