// Serves the bus on the line: frames requests by their computed length or
// by silence, answers them at the line's character pace, logs each frame.
#pragma once

#include <chrono>
#include <cstdint>
#include <random>
#include <vector>

#include "LineTiming.h"
#include "RequestAssembler.h"
#include "SimBus.h"

class TapLine;

class LineServer {
public:
  LineServer(int lineFd, SimBus& bus, LineTiming timing, SimLog log = {});

  // Serves until `stopFd` becomes readable. Idle means blocked in ppoll.
  void Run(int stopFd);

  // From now on each request is first checked against the line settings read
  // through `slaveFd` (LineSettingsSeen.h); on a line that is not the
  // device's own timing it is not understood, and is answered with silence,
  // or with noise when `noise` is set, as a real device on a mismatched line.
  void CheckLineSettings(int slaveFd, bool noise);

  // Mirrors every frame on `tap`, at the line's pace; an answer then goes
  // out only once its request has left the tap and 3.5 characters of
  // silence have passed, as on a real line.
  void SetTap(TapLine* tap) { tap_ = tap; }

private:
  // Processes the pending requests whose length is known.
  bool DrainComplete(RequestAssembler& requests);  // false when told to stop
  bool Process(const std::vector<uint8_t>& frame);  // false when told to stop
  bool Send(const std::vector<uint8_t>& bytes);
  bool WaitFor(std::chrono::nanoseconds time, short lineEvents);  // false when told to stop
  void Log(const std::string& text) const;

  bool LineMismatched();  // logs the mismatch

  int line_;
  int stop_ = -1;
  int checkFd_ = -1;
  bool noise_ = false;
  std::mt19937 random_{1};
  SimBus& bus_;
  LineTiming timing_;
  SimLog log_;
  TapLine* tap_ = nullptr;
};
