// Random requests for the soak: every code the link sends, mostly within
// the simulated devices' banks, sometimes outside them (exception answers)
// or to an address nobody serves (no answer).
#pragma once

#include <cstdint>
#include <random>
#include <vector>

struct SoakRequest {
  int32_t DeviceIndex = 0;  // address - 1
  uint8_t Code = 3;
  std::vector<uint8_t> Data;
};

SoakRequest RandomRequest(std::mt19937& random);
