// One sweep of the device finder on a thread of its own, over a serial port
// of its own with no line events (so nothing of it runs on the GUI thread).
// It reports through its signals, emitted on the sweep's thread: connected
// queued with this object as the receiving context, they reach the thread
// it lives on, so a window follows the sweep from its event loop and never
// waits on the line; reports still queued when the object goes are dropped
// with it. Cancel cuts the probe under way short: the thread ends within a
// few milliseconds, whatever the probe's margin.
#pragma once

#include <QMetaType>
#include <QObject>
#include <QString>
#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>

#include "DeviceFinder.h"

class TFinderSweep : public QObject {
  Q_OBJECT
public:
  struct Progress {
    size_t Done = 0, Planned = 0;
    std::chrono::milliseconds Remaining{0};
  };

  TFinderSweep(std::string portName, ScanPlan plan);
  ~TFinderSweep() override;  // cancels and waits for the thread
  TFinderSweep(const TFinderSweep&) = delete;
  TFinderSweep& operator=(const TFinderSweep&) = delete;

  void Start();
  // Ends the sweep at once; from any thread.
  void Cancel();
  // Returns once the thread has ended (its port closed).
  void Wait();

signals:
  // Before the first probe and after each one.
  void Progressed(const TFinderSweep::Progress& progress);
  // Every probe, whatever came back.
  void Probed(const ProbeResult& result);
  // Last: whether it was cancelled, and why the port failed (empty when it did not).
  void Finished(bool cancelled, const QString& error);

private:
  void Run();
  void Hold(DeviceFinder* finder);

  const std::string portName_;
  const ScanPlan plan_;
  std::atomic<bool> cancelled_{false};
  std::mutex mutex_;
  DeviceFinder* finder_ = nullptr;  // while the sweep runs; under mutex_
  std::thread thread_;
};

Q_DECLARE_METATYPE(TFinderSweep::Progress)
Q_DECLARE_METATYPE(ProbeResult)
