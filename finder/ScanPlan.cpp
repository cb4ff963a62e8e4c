#include "ScanPlan.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <sstream>

#include "FunctionCodes.h"

namespace {
std::vector<std::string> Items(const std::string& text) {
  std::vector<std::string> items;
  std::istringstream in(text);
  for (std::string item; std::getline(in, item, ',');) {
    item.erase(std::remove_if(item.begin(), item.end(), [](unsigned char c) { return std::isspace(c); }),
               item.end());
    items.push_back(item);
  }
  return items;
}

bool WholeNumber(const std::string& text, int& value) {
  if (text.empty() || text.size() > 9 || !std::all_of(text.begin(), text.end(), ::isdigit)) return false;
  value = std::stoi(text);
  return true;
}
}  // namespace

ScanPlan DefaultScanPlan() {
  ScanPlan plan;
  for (int a = 1; a <= 31; ++a) plan.Addresses.push_back(a);
  plan.Bauds = {9600, 19200, 38400, 57600, 115200, 4800, 2400, 1200};
  plan.Frames = {{'N', 2}, {'N', 1}, {'E', 1}, {'O', 1}, {'O', 2}};
  return plan;
}

bool ParseAddressList(const std::string& text, std::vector<int>& addresses, std::string& error) {
  addresses.clear();
  for (const std::string& item : Items(text)) {
    const size_t dash = item.find('-');
    int first = 0, last = 0;
    const bool ok = dash == std::string::npos
                        ? WholeNumber(item, first) && (last = first, true)
                        : WholeNumber(item.substr(0, dash), first) && WholeNumber(item.substr(dash + 1), last);
    if (!ok || first < 1 || last > 247 || first > last) {
      error = "'" + item + "': addresses are 1..247, as 5 or 1-31";
      return false;
    }
    for (int a = first; a <= last; ++a)
      if (std::find(addresses.begin(), addresses.end(), a) == addresses.end()) addresses.push_back(a);
  }
  if (addresses.empty()) error = "no address";
  return !addresses.empty();
}

bool ParseBaudList(const std::string& text, std::vector<int>& bauds, std::string& error) {
  bauds.clear();
  for (const std::string& item : Items(text)) {
    int baud = 0;
    if (!WholeNumber(item, baud) || !IsLinkRate(baud)) {
      error = "'" + item + "': not a rate the link can set (" + LinkRatesText() + ")";
      return false;
    }
    if (std::find(bauds.begin(), bauds.end(), baud) == bauds.end()) bauds.push_back(baud);
  }
  if (bauds.empty()) error = "no rate";
  return !bauds.empty();
}

bool ParseFrameList(const std::string& text, std::vector<LineFrame>& frames, std::string& error) {
  frames.clear();
  for (const std::string& item : Items(text)) {
    const LineFrame frame{item.size() == 2 ? static_cast<char>(std::toupper(item[0])) : '?',
                          item.size() == 2 ? item[1] - '0' : 0};
    switch (CheckLineFrame(frame)) {
      case FrameRefusal::None:
        break;
      case FrameRefusal::UnknownParity:
      case FrameRefusal::UnknownStopBits:
        error = "'" + item + "': a frame is N, E or O and 1 or 2 stop bits, as N2 or E1";
        return false;
      case FrameRefusal::EvenParityTwoStopBits:
        error = "E2: even parity with two stop bits is refused, as in the port settings dialog";
        return false;
    }
    if (std::find(frames.begin(), frames.end(), frame) == frames.end()) frames.push_back(frame);
  }
  if (frames.empty()) error = "no frame";
  return !frames.empty();
}

ProbeRefusal ReadProbe(const std::string& text, ProbeRequest& probe) {
  std::string digits;
  for (char c : text)
    if (!std::isspace(static_cast<unsigned char>(c))) digits += c;
  if (digits.empty() || digits.size() % 2 != 0 || !std::all_of(digits.begin(), digits.end(), ::isxdigit))
    return ProbeRefusal::NotHex;
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < digits.size(); i += 2)
    bytes.push_back(static_cast<uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
  const uint8_t code = bytes[0];
  if (!IsAllowedCode(code)) return ProbeRefusal::NotSent;
  // A sweep sends its probe to every address at every setting: never a write.
  if (ChangesDevice(code)) return ProbeRefusal::ChangesDevice;
  if (bytes.size() - 1 > kMaxProbeData) return ProbeRefusal::TooLong;
  probe.Code = code;
  probe.Data.assign(bytes.begin() + 1, bytes.end());
  return ProbeRefusal::None;
}

std::string ProbeCodesHex() {
  std::string list;
  for (uint8_t code : AllowedCodes) {
    if (ChangesDevice(code)) continue;
    char hex[4];
    std::snprintf(hex, sizeof hex, "%02X", code);
    list += (list.empty() ? "" : ", ") + std::string(hex);
  }
  return list;
}

bool ParseProbe(const std::string& text, ProbeRequest& probe, std::string& error) {
  switch (ReadProbe(text, probe)) {
    case ProbeRefusal::None:
      return true;
    case ProbeRefusal::NotHex:
      error = "the probe is hexadecimal bytes, the function code first: \"03 00 00 00 01\"";
      break;
    case ProbeRefusal::NotSent:
    case ProbeRefusal::ChangesDevice:
      error = "the probe's function code (the first byte, hexadecimal) must be one that only reads: " +
              ProbeCodesHex() + "; a sweep never sends a write";
      break;
    case ProbeRefusal::TooLong:
      error = "the probe's data is longer than a frame can carry (" + std::to_string(kMaxProbeData) +
              " bytes after the function code)";
      break;
  }
  return false;
}

std::vector<LineSetting> SweepOrder(const ScanPlan& plan) {
  std::vector<LineSetting> order;
  const size_t usualBauds = std::min<size_t>(2, plan.Bauds.size());
  const size_t usualFrames = std::min<size_t>(3, plan.Frames.size());
  for (size_t b = 0; b < usualBauds; ++b)
    for (size_t f = 0; f < usualFrames; ++f) order.push_back({plan.Bauds[b], plan.Frames[f]});
  for (size_t b = 0; b < plan.Bauds.size(); ++b)
    for (size_t f = 0; f < plan.Frames.size(); ++f)
      if (b >= usualBauds || f >= usualFrames) order.push_back({plan.Bauds[b], plan.Frames[f]});
  return order;
}
