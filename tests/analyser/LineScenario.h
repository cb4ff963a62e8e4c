// A line to listen to, made from the simulator's log: a master sends a mix
// of requests (every code the tool knows, 16 and 65 that it does not send,
// broadcasts, addresses nobody serves), the simulator's device model answers
// them with faults, and the logged frames are laid on a line with their
// wire times, silences between them and, if asked, noise in the silences.
// What the log says each frame is, and how each exchange ends, is worked
// out here from the bytes alone, for the analyser's answers to be checked.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "RtuTiming.h"
#include "SimLog.h"

struct ScenarioOptions {
  int Exchanges = 200;
  uint32_t Seed = 1;
  LineFormat Format{9600, false, 2};
  std::vector<std::string> Faults;  // as modbus-sim --fault takes them
  double NoiseBetween = 0;          // chance of noise bytes in a silence
  bool SometimesEarly = false;      // some answers begin before 3.5 characters of silence
};

struct ExpectedFrame {
  bool Request = true;
  std::vector<uint8_t> Bytes;
  size_t Exchange = 0;   // which exchange (request) it belongs to
  bool CrcGood = true;
};

struct LineScenario {
  LineFormat Format;
  std::vector<std::string> Log;         // the simulator's lines, RX and TX
  std::vector<LoggedFrame> Logged;
  std::vector<uint8_t> Bytes;           // the line
  std::vector<int64_t> EndUs;           // when each byte ended
  std::vector<size_t> FrameAt;          // where each logged frame starts in Bytes
  std::vector<ExpectedFrame> Expected;  // the logged frames a listener finds
  std::vector<int32_t> Results;         // per exchange: how it ends (link's codes)
  size_t UnframedBytes = 0;             // bytes of no frame: cut answers, garbage, noise
};

LineScenario MakeScenario(const ScenarioOptions& options);

struct Chunk {
  std::vector<uint8_t> Bytes;
  int64_t ArrivedUs = 0;
};
// The line cut before each of `cuts` (sorted byte indices); each chunk
// arrives when its last byte has ended.
std::vector<Chunk> CutAt(const LineScenario& line, const std::vector<size_t>& cuts);
// Cut at random places, about every `mean` bytes, and wherever the line
// was quiet for longer than an adapter's latency timer set to 1 ms.
std::vector<Chunk> CutRandomly(const LineScenario& line, size_t mean, uint32_t seed);
// One chunk per exchange: each request glued to its answer.
std::vector<Chunk> CutByExchange(const LineScenario& line);

// A request frame with its CRC.
std::vector<uint8_t> Framed(std::vector<uint8_t> bytes);
