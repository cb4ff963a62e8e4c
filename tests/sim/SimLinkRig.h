// The link on a port opened on a simulated device served in this process,
// with short read time-outs and 0.1 ms line delays, so that failing attempts
// stay cheap; the device's log at hand.
#pragma once

#include <string>
#include <vector>

#include "LinkRig.h"
#include "RunningSim.h"
#include "SimLog.h"

struct SimLinkRig {
  explicit SimLinkRig(const SimOptions& options = {}, LineTiming timing = {}) : sim(options, timing) {
    OpenWithShortTimeouts(port, sim.SlavePath());
    link.SetTxDelay(1);
    link.SetRxDelay(1);
  }
  // The requests the device received, as hex.
  std::vector<std::string> Received() const { return ReceivedHex(sim.Log()); }

  RunningSim sim;
  TComPort port;
  RecordingOperator form;
  TComPortClass link{port, form};
};
