// The frames in the simulator's log, as the tests read it: "RX 01 03 00 00
// 00 0A C5 CD  crc ok" for a request the device received, "TX …" for what it
// sent; the program's log puts the time of day before each.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct LoggedFrame {
  bool Received = true;        // RX: a request the device received; TX: what it sent
  std::vector<uint8_t> Bytes;
  std::string Hex;             // "01 03 00 00 00 0A C5 CD"
};

// The RX and TX frames of `lines` (one log line each), in order; other
// lines (faults, device events, the start line) are passed over.
std::vector<LoggedFrame> LoggedFrames(const std::vector<std::string>& lines);
// The same for a whole log text.
std::vector<LoggedFrame> LoggedFrames(const std::string& text);
// The requests the device received, as hex.
std::vector<std::string> ReceivedHex(const std::vector<std::string>& lines);
