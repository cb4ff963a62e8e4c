#include "FinderSweep.h"

#include <exception>

#include "ComPort.h"
#include "EComPort.h"
#include "MainPortProperties.h"

TFinderSweep::TFinderSweep(std::string portName, ScanPlan plan)
    : portName_(std::move(portName)), plan_(std::move(plan)) {
  qRegisterMetaType<TFinderSweep::Progress>();
  qRegisterMetaType<ProbeResult>();
}

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
      emit Progressed(Progress{finder.ProbesDone(), finder.ProbesPlanned(), finder.Remaining()});
    };
    Hold(&finder);
    // Cancel reaches the finder only while it exists.
    struct Release {
      TFinderSweep* sweep;
      ~Release() { sweep->Hold(nullptr); }
    } release{this};
    progress();
    while (auto result = finder.Step()) {
      emit Probed(*result);
      progress();
    }
    cancelled = finder.Cancelled();
  } catch (const std::exception& e) {
    error = QString::fromStdString(e.what());
  }
  emit Finished(cancelled || cancelled_, error);
}
