// What a capture holds, as the chunks a listener would have heard: each
// record of a pcap file (ours, or another's of the same link type) or each
// line of the traffic monitor's CSV, arriving when its last byte ended.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "RtuTiming.h"

struct CapturedChunk {
  int64_t ArrivedUs = 0;  // microseconds since the epoch (pcap) or since midnight (CSV)
  std::vector<uint8_t> Bytes;
};

// By its first bytes: pcap, else the monitor's CSV. False with a reason.
bool ReadCapture(const std::string& path, const LineFormat& format, std::vector<CapturedChunk>& chunks,
                 std::string& error);
