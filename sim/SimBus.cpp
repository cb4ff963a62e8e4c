#include "SimBus.h"

#include <algorithm>
#include <sstream>

#include "SimCrc.h"

SimBus::SimBus(const SimOptions& options, SimLog log)
    : faults_(options.faults),
      script_(options.script),
      random_(options.seed),
      waves_(options.waves, options.seed),
      log_(std::move(log)) {
  for (uint8_t address : options.devices)
    devices_.emplace(address, std::make_unique<SimDevice>(address, options.busy, log_));
}

SimDevice* SimBus::Device(uint8_t address) {
  const auto it = devices_.find(address);
  return it == devices_.end() ? nullptr : it->second.get();
}

Reply SimBus::Handle(const std::vector<uint8_t>& frame, AnswerFraming framing, const void* context) {
  if (frame.size() < 4 || !FrameCrcGood(frame)) return {};
  if (frame[0] == 0) {
    for (auto& [address, device] : devices_) device->Handle(frame);
    return {};
  }
  SimDevice* device = Device(frame[0]);
  if (!device) return {};
  if (!waves_.Empty()) waves_.Apply(device->Banks(), WaveSet::Clock::now());
  const ScriptStep* step = scriptNext_ < script_.size() ? &script_[scriptNext_++] : nullptr;
  const auto answer = device->Handle(frame);
  if (step && step->raw) return {*step->raw, {}, {}, false, false};
  if (!answer) return {};
  const auto faults = step ? DrawFaults(step->faults, random_) : DrawFaults(faults_, random_);
  if (!faults.empty() && log_) {
    std::string names;
    for (const Fault& f : faults) names += " " + FaultName(f);
    log_("fault:" + names);
  }
  return ApplyFaults(*answer, faults, random_, framing, context);
}

std::string DescribeFrame(const char* direction, const std::vector<uint8_t>& bytes) {
  return std::string(direction) + " " + HexBytes(bytes) + (FrameCrcGood(bytes) ? "  crc ok" : "  crc bad");
}

bool ParseDeviceList(const std::string& text, std::vector<uint8_t>& devices, std::string* error) {
  devices.clear();
  std::istringstream in(text);
  std::string item;
  auto fail = [&](const std::string& reason) {
    if (error) *error = reason;
    return false;
  };
  while (std::getline(in, item, ',')) {
    int first = 0, last = 0;
    char dash = 0, extra = 0;
    std::istringstream range(item);
    if (!(range >> first)) return fail("'" + item + "' is not an address");
    last = first;
    if (range >> dash && (dash != '-' || !(range >> last))) return fail("'" + item + "' is not a range");
    if (range >> extra) return fail("'" + item + "' is not a range");
    if (first < 1 || last > 247 || first > last) return fail("'" + item + "': addresses are 1..247");
    for (int a = first; a <= last; ++a) devices.push_back(static_cast<uint8_t>(a));
  }
  std::sort(devices.begin(), devices.end());
  devices.erase(std::unique(devices.begin(), devices.end()), devices.end());
  if (devices.empty()) return fail("no device address given");
  return true;
}
