#include "SimLogReader.h"

#include <sstream>

namespace {
// "01 03 00 0A  crc ok" → the bytes.
std::vector<uint8_t> HexUpToCrc(const std::string& text) {
  std::vector<uint8_t> bytes;
  std::istringstream in(text.substr(0, text.find("  crc")));
  for (std::string pair; in >> pair;) bytes.push_back(static_cast<uint8_t>(std::stoul(pair, nullptr, 16)));
  return bytes;
}
}  // namespace

std::vector<DeviceExchange> ReadSimLog(const std::string& log) {
  std::vector<DeviceExchange> exchanges;
  std::istringstream lines(log);
  for (std::string line; std::getline(lines, line);) {
    // "HH:MM:SS.mmm RX ..." after the start line; device events and faults in between.
    const size_t space = line.find(' ');
    if (space == std::string::npos) continue;
    const std::string rest = line.substr(space + 1);
    if (rest.rfind("RX ", 0) == 0) {
      exchanges.push_back({HexUpToCrc(rest.substr(3)), {}});
    } else if (rest.rfind("TX ", 0) == 0 && !exchanges.empty()) {
      const auto bytes = HexUpToCrc(rest.substr(3));
      exchanges.back().Reply.insert(exchanges.back().Reply.end(), bytes.begin(), bytes.end());
    }
  }
  return exchanges;
}
