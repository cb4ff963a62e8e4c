// One transaction of the link as the trend and its log see it: which device
// was asked what, how it ended, the answer's data and when it arrived.
#pragma once

#include <cstdint>
#include <vector>

struct PollRecord {
  int64_t Us = 0;        // monotonic µs: the answer's last byte taken in, or the end of a failed poll
  int64_t SystemUs = 0;  // the same moment in microseconds since the epoch
  uint8_t Device = 0;    // the address sent
  uint8_t Code = 0;      // the function code
  std::vector<uint8_t> RequestData;  // after the code, before the CRC
  int32_t Result = 0;    // the transaction's result (ResultCodes.h)
  std::vector<uint8_t> Data;  // a good answer's data bytes (after its byte count)
};
