#include "AdapterDelay.h"

#include "PortTable.h"

int LatencyTimerOf(const std::string& port) {
  for (const PortInfo& info : ListSerialPorts())
    if (info.Name == port || info.Device == port) return info.LatencyTimerMs;
  return -1;
}

bool AdapterDelayHidesSilence(int latencyMs, const LineFormat& format) {
  if (latencyMs <= 1) return false;
  return int64_t{latencyMs} * 1'000'000 > InterFrameGap(format).count();
}
