#include "ScanMode.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <nlohmann/json.hpp>
#include <optional>

#include "CliLink.h"
#include "CliOutput.h"
#include "StopSignals.h"
#include "DeviceFinder.h"
#include "FrameText.h"

namespace {
std::atomic<DeviceFinder*> running{nullptr};

void CancelScan() {
  if (DeviceFinder* finder = running.load()) finder->Cancel();
}

const char* KindName(ProbeKind kind) {
  switch (kind) {
    case ProbeKind::Answer: return "answer";
    case ProbeKind::Exception: return "exception";
    case ProbeKind::Noise: return "noise";
    case ProbeKind::Nothing: return "nothing";
  }
  return "?";
}

std::string SettingText(const LineSetting& s) { return std::to_string(s.Baud) + " " + s.Frame.Name(); }

nlohmann::ordered_json AsJson(const ProbeResult& r) {
  nlohmann::ordered_json out;
  out["address"] = r.Address;
  out["baud"] = r.Setting.Baud;
  out["parity"] = std::string(1, r.Setting.Frame.Parity);
  out["stop"] = r.Setting.Frame.StopBits;
  out["kind"] = KindName(r.Kind);
  if (r.Kind == ProbeKind::Exception) out["exception"] = r.ExceptionCode;
  out["latency_ms"] = r.LatencyMs ? nlohmann::ordered_json(*r.LatencyMs) : nlohmann::ordered_json();
  out["answer"] = HexText(r.Answer);
  return out;
}

// `addressesOnly`: a network endpoint, where the line setting means nothing.
std::string Describe(const ProbeResult& r, bool addressesOnly) {
  char latency[32] = "";
  if (r.LatencyMs) std::snprintf(latency, sizeof latency, ", latency %.1f ms", *r.LatencyMs);
  const std::string at = addressesOnly ? "" : " at " + SettingText(r.Setting);
  if (r.DevicePresent())
    return "device " + std::to_string(r.Address) + at + ": " +
           (r.Kind == ProbeKind::Answer ? "answer" : "exception " + std::to_string(r.ExceptionCode)) + latency +
           " (" + HexText(r.Answer) + ")";
  return "noise" + at + " probing address " + std::to_string(r.Address) + ": " +
         HexText(r.Answer);
}

// "probe 37/1240  9600 E1  address 6  devices 1  about 82 s left", over itself.
void ShowProgress(const DeviceFinder& finder, const ProbeResult& last) {
  char line[160];
  std::snprintf(line, sizeof line, "\rprobe %zu/%zu  %s  address %d  devices %zu  about %lld s left   ",
                finder.ProbesDone(), finder.ProbesPlanned(), SettingText(last.Setting).c_str(), last.Address,
                finder.Devices().size(),
                static_cast<long long>((finder.Remaining().count() + 999) / 1000));
  std::fputs(line, stderr);
  std::fflush(stderr);
}
}  // namespace

bool ScanPlanFrom(const CliOptions& o, ScanPlan& plan, std::string& error) {
  plan = DefaultScanPlan();
  if (!ParseAddressList(o.ScanAddresses, plan.Addresses, error)) return error = "--addresses: " + error, false;
  if (!ParseBaudList(o.ScanBauds, plan.Bauds, error)) return error = "--bauds: " + error, false;
  if (!ParseFrameList(o.ScanFrames, plan.Frames, error)) return error = "--frames: " + error, false;
  if (!ParseProbe(o.ScanProbe, plan.Probe, error)) return error = "--probe: " + error, false;
  plan.MarginMs = o.MarginMs;
  plan.Stop = o.First ? StopRule::FirstDevice : o.FirstSetting ? StopRule::FirstSetting : StopRule::SweepAll;
  return true;
}

int RunScan(const CliOptions& options) {
  ScanPlan plan;
  std::string error;
  if (!ScanPlanFrom(options, plan, error)) {
    std::cerr << "modbus-cli: " << error << "\n";
    return 2;
  }
  CliLink cli(options);
  RunOutcome failure;
  if (!cli.Open(failure)) {
    std::cout << (options.Json ? FormatJson(failure, false) : FormatText(failure, false)) << std::flush;
    return ExitCodeOf(failure);
  }

  DeviceFinder finder(cli.Port, plan);
  if (finder.AddressesOnly())
    std::cerr << "modbus-cli: " << options.Port
              << " is a network endpoint: line settings do not apply there, so --scan sweeps the addresses only\n";
  running = &finder;
  StopSignals::OnRequest(CancelScan);
  if (StopSignals::Requested()) CancelScan();  // asked before the sweep began
  const bool progress = StandardErrorIsTerminal();
  const auto start = std::chrono::steady_clock::now();
  std::vector<ProbeResult> noise;
  try {
    while (auto result = finder.Step()) {
      if (result->Kind == ProbeKind::Noise) noise.push_back(*result);
      if (!options.Json && result->Kind != ProbeKind::Nothing) {
        if (progress) std::fputs("\r\033[K", stderr);
        std::cout << Describe(*result, finder.AddressesOnly()) << "\n" << std::flush;
      }
      if (progress) ShowProgress(finder, *result);
    }
  } catch (const EComPort& e) {
    error = e.what();
  }
  StopSignals::OnRequest(nullptr);
  running = nullptr;
  if (progress) std::fputs("\r\033[K", stderr);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  if (options.Json) {
    nlohmann::ordered_json out;
    out["devices"] = nlohmann::ordered_json::array();
    for (const ProbeResult& r : finder.Devices()) out["devices"].push_back(AsJson(r));
    out["noise"] = nlohmann::ordered_json::array();
    for (const ProbeResult& r : noise) out["noise"].push_back(AsJson(r));
    out["probes"] = finder.ProbesDone();
    out["addresses_only"] = finder.AddressesOnly();
    out["elapsed_s"] = seconds;
    out["cancelled"] = finder.Cancelled();
    if (!error.empty()) out["error"] = error;
    std::cout << out.dump() << "\n";
  } else {
    char summary[120];
    std::snprintf(summary, sizeof summary, "%zu probes in %.1f s: %zu device(s)%s", finder.ProbesDone(), seconds,
                  finder.Devices().size(), finder.Cancelled() ? ", cancelled" : "");
    std::cout << summary << "\n";
    if (!error.empty()) std::cout << "port error: " << error << "\n";
  }
  if (!error.empty()) return 3;
  return finder.Devices().empty() ? 1 : 0;
}
