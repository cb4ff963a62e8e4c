// Serves the bus on the line: frames requests by their computed length or
// by silence, answers them at the line's character pace, logs each frame.
#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

#include "LineTiming.h"
#include "RequestAssembler.h"
#include "SimBus.h"

class LineServer {
public:
  LineServer(int lineFd, SimBus& bus, LineTiming timing, SimLog log = {});

  // Serves until `stopFd` becomes readable. Idle means blocked in ppoll.
  void Run(int stopFd);

private:
  // Processes the pending requests whose length is known.
  bool DrainComplete(RequestAssembler& requests);  // false when told to stop
  bool Process(const std::vector<uint8_t>& frame);  // false when told to stop
  bool Send(const std::vector<uint8_t>& bytes);
  bool WaitFor(std::chrono::nanoseconds time, short lineEvents);  // false when told to stop
  void Log(const std::string& text) const;

  int line_;
  int stop_ = -1;
  SimBus& bus_;
  LineTiming timing_;
  SimLog log_;
};
