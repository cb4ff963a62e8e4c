#include "SimLogReader.h"

#include "SimLog.h"

std::vector<DeviceExchange> ReadSimLog(const std::string& log) {
  // Each request the device received, and what it sent back after it.
  std::vector<DeviceExchange> exchanges;
  for (const LoggedFrame& frame : LoggedFrames(log)) {
    if (frame.Received)
      exchanges.push_back({frame.Bytes, {}});
    else if (!exchanges.empty())
      exchanges.back().Reply.insert(exchanges.back().Reply.end(), frame.Bytes.begin(), frame.Bytes.end());
  }
  return exchanges;
}
