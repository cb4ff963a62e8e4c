// The simulated bus served on its own pseudo-terminal by a thread, until
// destruction. Under Wine the line host serves it on the Linux side and
// links its terminal as a COM port (RunningSimWine.cpp).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "LineTiming.h"
#include "SimBus.h"

class RunningSim {
public:
  explicit RunningSim(const SimOptions& options = {}, LineTiming timing = {});
  ~RunningSim();
  RunningSim(const RunningSim&) = delete;
  RunningSim& operator=(const RunningSim&) = delete;

  // The name the port under test opens.
  const std::string& SlavePath() const;
  // The frames the device received and sent, one line each.
  std::vector<std::string> Log() const;

private:
  struct Impl;
  std::unique_ptr<Impl> d_;
};
