#include "SimLog.h"

#include <sstream>

namespace {
// "RX 01 03 00 0A  crc ok", perhaps after the time of day "HH:MM:SS.mmm ".
bool ParseLine(const std::string& line, LoggedFrame& frame) {
  size_t at = 0;
  const size_t space = line.find(' ');
  if (space != std::string::npos && line.find(':') < space) at = space + 1;  // the time
  const bool rx = line.compare(at, 3, "RX ") == 0;
  if (!rx && line.compare(at, 3, "TX ") != 0) return false;
  frame.Received = rx;
  const size_t end = line.find("  crc", at);
  frame.Hex = line.substr(at + 3, end == std::string::npos ? std::string::npos : end - at - 3);
  frame.Bytes.clear();
  std::istringstream in(frame.Hex);
  for (std::string pair; in >> pair;) frame.Bytes.push_back(static_cast<uint8_t>(std::stoul(pair, nullptr, 16)));
  return true;
}
}  // namespace

std::vector<LoggedFrame> LoggedFrames(const std::vector<std::string>& lines) {
  std::vector<LoggedFrame> frames;
  LoggedFrame frame;
  for (const std::string& line : lines)
    if (ParseLine(line, frame)) frames.push_back(frame);
  return frames;
}

std::vector<LoggedFrame> LoggedFrames(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return LoggedFrames(lines);
}

std::vector<std::string> ReceivedHex(const std::vector<std::string>& lines) {
  std::vector<std::string> hex;
  for (const LoggedFrame& frame : LoggedFrames(lines))
    if (frame.Received) hex.push_back(frame.Hex);
  return hex;
}
