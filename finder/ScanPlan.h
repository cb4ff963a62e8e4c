// What the device finder sweeps: addresses, line rates and character frames
// (parity and stop bits), the probe request it sends, the margin it gives a
// device to turn the line around, and when it stops.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "LineSettings.h"


struct LineSetting {
  int Baud = 9600;
  LineFrame Frame;
  bool operator==(const LineSetting&) const = default;
};

struct ProbeRequest {
  uint8_t Code = 3;
  std::vector<uint8_t> Data{0, 0, 0, 1};  // register 0, quantity 1
};

enum class StopRule {
  SweepAll,      // every address at every setting
  FirstDevice,   // stop at the first device that answers
  FirstSetting,  // after the first device, the other addresses at its setting, then stop
};

struct ScanPlan {
  std::vector<int> Addresses;
  std::vector<int> Bauds;
  std::vector<LineFrame> Frames;
  ProbeRequest Probe;
  int MarginMs = 50;
  StopRule Stop = StopRule::SweepAll;
};

// Addresses 1-31; 9600, 19200, 38400, 57600, 115200, 4800, 2400, 1200 (the
// order engineers meet them in); N2, N1, E1, O1, O2; code 3, register 0,
// quantity 1; 50 ms margin; every address at every setting.
ScanPlan DefaultScanPlan();

// "1-31", "1,5,10-12": addresses 1..247.
bool ParseAddressList(const std::string& text, std::vector<int>& addresses, std::string& error);
// "9600,19200": the rates the link can set (110 to 115200, as its settings table has them).
bool ParseBaudList(const std::string& text, std::vector<int>& bauds, std::string& error);
// "N2,E1,O1": parity N, E or O and 1 or 2 stop bits; E2 is refused, as the
// port settings dialog refuses even parity with two stop bits.
bool ParseFrameList(const std::string& text, std::vector<LineFrame>& frames, std::string& error);
// Why a probe text is not taken.
enum class ProbeRefusal {
  None,
  NotHex,         // not whole hexadecimal bytes
  NotSent,        // a function code the link does not send
  ChangesDevice,  // a write (5, 6, 15, 69, 70, 100): the finder only reads
  TooLong,        // more data than a frame carries
};
inline constexpr size_t kMaxProbeData = 252;

// "03 00 00 00 01": the function code, then the request data, in
// hexadecimal. Only codes that read and get an answer.
ProbeRefusal ReadProbe(const std::string& text, ProbeRequest& probe);
// The same, with the reason in words for the command line.
bool ParseProbe(const std::string& text, ProbeRequest& probe, std::string& error);
// The codes a probe may carry, in hexadecimal: "01, 02, 03, 04, 0E, 11, 42, 43, 44, 47".
std::string ProbeCodesHex();

// The settings in the order they are tried: the usual ones first (the first
// two rates with the first three frames), then the rest, rate by rate.
std::vector<LineSetting> SweepOrder(const ScanPlan& plan);
