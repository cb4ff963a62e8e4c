// The device finder: one probe per address and line setting, in the plan's
// sweep order, on an open serial port whose line settings it changes as it
// goes. It is driven one probe at a time (Step), so a window can run it on a
// thread of its own and a command line in a loop; Cancel from any thread
// ends the sweep at once: the probe under way stops waiting for its answer
// and is not reported.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "ModbusTcpFraming.h"
#include "ProbeAnswer.h"
#include "ScanPlan.h"

class TCustomComPort;

struct ProbeResult {
  int Address = 0;
  LineSetting Setting;
  ProbeKind Kind = ProbeKind::Nothing;
  int ExceptionCode = 0;
  std::vector<uint8_t> Request;
  std::vector<uint8_t> Answer;                 // what came back, as it came
  std::optional<double> LatencyMs;             // first answer byte after the request was sent
  std::optional<std::chrono::steady_clock::time_point> Sent;  // when the request's write completed
  bool DevicePresent() const { return Kind == ProbeKind::Answer || Kind == ProbeKind::Exception; }
};

class DeviceFinder {
public:
  using Clock = std::chrono::steady_clock;

  // `port` is open; its line settings and read time-outs are the finder's
  // until the sweep ends (the caller restores or reopens it). On a network
  // endpoint line settings do not apply: the finder sweeps the addresses
  // once, timed as at the plan's first setting, and a tcp:// endpoint gets
  // its probes in Modbus TCP framing.
  DeviceFinder(TCustomComPort& port, ScanPlan plan);
  ~DeviceFinder();
  DeviceFinder(const DeviceFinder&) = delete;
  DeviceFinder& operator=(const DeviceFinder&) = delete;

  bool Done() const;
  // Sends the next probe and says what came back; nothing when done.
  std::optional<ProbeResult> Step();
  void Cancel();
  bool Cancelled() const { return cancelled_; }

  size_t ProbesDone() const { return done_; }
  size_t ProbesPlanned() const { return planned_; }
  // What the probes still to come take if nothing answers them.
  std::chrono::milliseconds Remaining() const;
  // The probes that found a device, in the order found.
  const std::vector<ProbeResult>& Devices() const { return devices_; }
  const ScanPlan& Plan() const { return plan_; }
  const std::vector<LineSetting>& Settings() const { return settings_; }
  // Whether the port is a network endpoint: addresses only.
  bool AddressesOnly() const { return addressesOnly_; }

private:
  void Apply(const LineSetting& setting);
  void SetReadTimeout(std::chrono::milliseconds total);
  // What a probe at `setting` costs when nothing answers.
  std::chrono::milliseconds TimeoutAt(const LineSetting& setting) const;

  // The probe out and its answer in, in the port's framing.
  void SendProbe(const std::vector<uint8_t>& frame);
  int ReadAnswer(uint8_t* place, int count);

  TCustomComPort& port_;
  ScanPlan plan_;
  bool addressesOnly_ = false;
  bool modbusTcp_ = false;
  ModbusTcpFraming tcpFraming_;
  std::vector<LineSetting> settings_;
  size_t setting_ = 0, address_ = 0;  // the next probe
  size_t done_ = 0, planned_ = 0;
  std::optional<LineSetting> applied_;
  std::optional<LineSetting> stayAt_;  // the first device's setting, for StopRule::FirstSetting
  std::vector<ProbeResult> devices_;
  std::atomic<bool> cancelled_{false};
  class ArrivalWatch;
  std::unique_ptr<ArrivalWatch> watch_;  // complete where the finder is made and ended
};
