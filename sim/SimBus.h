// The simulated bus: the devices at their addresses, the faults and the
// script. Turns each received frame into what goes back on the line.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "Faults.h"
#include "ReplyScript.h"
#include "SimDevice.h"
#include "Waves.h"

struct SimOptions {
  std::vector<uint8_t> devices{1};
  BusyPolicy busy;
  std::vector<Fault> faults;
  std::vector<ScriptStep> script;
  std::vector<Wave> waves;  // holding registers that move in time, on every device
  uint32_t seed = 1;
};

class SimBus {
public:
  explicit SimBus(const SimOptions& options, SimLog log = {});

  // A received frame, CRC not yet checked. Frames with a bad CRC, broadcasts
  // and frames for other addresses get no answer (empty bytes).
  // `framing` rewrites each answer for its transport (Faults.h).
  Reply Handle(const std::vector<uint8_t>& frame, AnswerFraming framing = nullptr, const void* context = nullptr);

  SimDevice* Device(uint8_t address);

private:
  std::map<uint8_t, std::unique_ptr<SimDevice>> devices_;
  std::vector<Fault> faults_;
  std::vector<ScriptStep> script_;
  size_t scriptNext_ = 0;
  std::mt19937 random_;
  WaveSet waves_;
  SimLog log_;
};

// "RX 01 03 00 00 00 0A C5 CD  crc ok" – one log line for a frame.
std::string DescribeFrame(const char* direction, const std::vector<uint8_t>& bytes);

// "1,5-7" → {1, 5, 6, 7}; addresses 1..247. False with a reason on error.
bool ParseDeviceList(const std::string& text, std::vector<uint8_t>& devices, std::string* error = nullptr);
