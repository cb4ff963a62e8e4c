#include "FinderSweep.h"

#include <exception>

#include "ComPort.h"
#include "EComPort.h"
#include "MainPortProperties.h"

TFinderSweep::TFinderSweep(std::string portName, ScanPlan plan)
    : portName_(std::move(portName)), plan_(std::move(plan)) {}

TFinderSweep::~TFinderSweep() {
  Cancel();
  Wait();
}

void TFinderSweep::Start() { thread_ = std::thread([this] { Run(); }); }

void TFinderSweep::Cancel() {
  cancelled_ = true;
  std::lock_guard lock(mutex_);
  if (finder_) finder_->Cancel();
}

void TFinderSweep::Hold(DeviceFinder* finder) {
  std::lock_guard lock(mutex_);
  finder_ = finder;
  if (finder && cancelled_) finder->Cancel();
}

void TFinderSweep::Wait() {
  if (thread_.joinable()) thread_.join();
}

void TFinderSweep::Post(std::function<void()> call) {
  QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
}

void TFinderSweep::Run() {
  bool cancelled = false;
  QString error;
  try {
    TComPort port;
    LoadMainPortProperties(port);
    port.SetEvents(TComEvents());  // no event thread: nothing to hand to the GUI thread
    port.SetPort(portName_);
    port.Open();
    DeviceFinder finder(port, plan_);
    const auto progress = [this, &finder] {
      Post([this, p = Progress{finder.ProbesDone(), finder.ProbesPlanned(), finder.Remaining()}] {
        if (OnProgress) OnProgress(p);
      });
    };
    Hold(&finder);
    // Cancel reaches the finder only while it exists.
    struct Release {
      TFinderSweep* sweep;
      ~Release() { sweep->Hold(nullptr); }
    } release{this};
    progress();
    while (auto result = finder.Step()) {
      if (result->Kind != ProbeKind::Nothing)
        Post([this, r = *result] {
          if (OnHeard) OnHeard(r);
        });
      progress();
    }
    cancelled = finder.Cancelled();
  } catch (const std::exception& e) {
    error = QString::fromStdString(e.what());
  }
  Post([this, cancelled, error] {
    if (OnFinished) OnFinished(cancelled, error);
  });
}
