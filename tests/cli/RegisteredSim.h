// The simulated device served in-process and registered as COM<n> in a
// private port directory, so that programs started by the test (which inherit
// XDG_RUNTIME_DIR) open it by its COM name.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "PortDirectory.h"
#include "SimLog.h"
#include "SimTestSupport.h"

class RegisteredSim {
public:
  explicit RegisteredSim(const SimOptions& options = {}, int number = 7)
      : sim(options), number_(number) {
    std::string error;
    registration_ = RegisterVirtualPort(number_, sim.SlavePath(), &error);
    if (!registration_) throw std::runtime_error("cannot register the simulator: " + error);
  }

  // The frames the device received, as hex ("01 03 00 00 00 0A C5 CD").
  std::vector<std::string> Received() const { return ReceivedHex(sim.Log()); }

private:
  TempRuntimeDir dir_;  // before the simulator: the registration lives in it

public:
  RunningSim sim;

private:
  int number_;
  std::optional<PortRegistration> registration_;  // goes first, before the simulator's line
};
