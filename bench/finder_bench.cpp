// How long the device finder takes against the modbus-sim program, and the
// same search done the naive way, with the main window's defaults
// (5 attempts of 1.3 s and a 300 ms pause for each absent address).
//   31 addresses at one setting, nobody answering: 9600 (goal 2.5 s), 115200 (1.8 s)
//   a device at address 31 at the sweep's last setting (goal 120 s)
//   a device at address 31 at 9600 or 19200 with N2, N1 or E1 (goal 15 s)
#include <signal.h>

#include <chrono>
#include <cstdio>

#include "ComPort.h"
#include "ComPortClass.h"
#include "DeviceFinder.h"
#include "MainPortProperties.h"
#include "OperatorInterface.h"
#include "SimTestSupport.h"

namespace {
using Clock = std::chrono::steady_clock;

// The naive way's absent addresses each bring the failure box: expected
// here, so answered without a word (SilentOperator.h prints every box).
class ExpectedBoxes : public OperatorInterface {
public:
  MsgResult ShowMessage(const std::string&, const std::string&, MsgIcon, MsgButtons) override { return MsgResult::Ok; }
  void DisablePollTimer() override {}
  void CloseMainWindow() override {}
};

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

// One sweep against a simulator started with `simArgs`; returns the seconds it took.
double Sweep(const std::vector<std::string>& simArgs, ScanPlan plan, size_t* devices = nullptr) {
  SimProcess sim(simArgs);
  if (!sim.WaitStarted()) {
    std::fprintf(stderr, "modbus-sim did not start: %s\n", sim.Output().c_str());
    return -1;
  }
  TComPort port;
  LoadMainPortProperties(port);
  port.SetPort(sim.Name());
  port.Open();
  DeviceFinder finder(port, std::move(plan));
  const auto start = Clock::now();
  while (finder.Step()) {
  }
  const double seconds = Seconds(start);
  if (devices) *devices = finder.Devices().size();
  port.Close();
  sim.Stop(SIGTERM);
  return seconds;
}

ScanPlan OneSetting(int baud) {
  ScanPlan plan = DefaultScanPlan();
  plan.Bauds = {baud};
  plan.Frames = {{'N', 2}};
  return plan;
}

std::vector<std::string> DeviceAt(int address, int baud, char parity, int stop) {
  return {"--devices", std::to_string(address), "--baud", std::to_string(baud), "--parity", std::string(1, parity),
          "--stop", std::to_string(stop)};
}
}  // namespace

int main() {
  TempRuntimeDir runtime;
  std::printf("device finder against modbus-sim (defaults: 31 addresses, 8 rates, 5 frames, 50 ms margin)\n\n");

  for (int baud : {9600, 115200}) {
    const double s = Sweep(DeviceAt(100, baud, 'N', 2), OneSetting(baud));
    std::printf("31 absent addresses at %6d N2: %5.2f s  (goal %s)\n", baud, s, baud == 9600 ? "2.5 s" : "1.8 s");
  }

  ScanPlan first = DefaultScanPlan();
  first.Stop = StopRule::FirstDevice;
  size_t found = 0;
  double s = Sweep(DeviceAt(31, 1200, 'O', 2), first, &found);
  std::printf("device 31 at 1200 O2 (the last setting tried): %5.1f s, found %zu  (goal 120 s)\n", s, found);

  double worstCommon = 0;
  for (int baud : {9600, 19200})
    for (const LineFrame frame : {LineFrame{'N', 2}, LineFrame{'N', 1}, LineFrame{'E', 1}}) {
      s = Sweep(DeviceAt(31, baud, frame.Parity, frame.StopBits), first, &found);
      std::printf("device 31 at %5d %s: %5.1f s, found %zu\n", baud, frame.Name().c_str(), s, found);
      worstCommon = std::max(worstCommon, s);
    }
  std::printf("worst of the usual settings: %.1f s  (goal 15 s)\n", worstCommon);

  // The naive way: the main window's defaults for one absent address.
  {
    SimProcess sim(DeviceAt(100, 9600, 'N', 2));
    if (!sim.WaitStarted()) return 1;
    TComPort port;
    ExpectedBoxes form;
    TComPortClass link(port, form);
    LoadMainPortProperties(port);
    link.PortName = sim.Name();
    link.OpenPort();
    const uint8_t data[4] = {0, 0, 0, 1};
    uint8_t answer[300];
    const auto start = Clock::now();
    const int32_t result = link.Transact(0, 3, 4, data, answer, sizeof answer);
    const double perAddress = Seconds(start);
    link.ClosePort();
    sim.Stop(SIGTERM);
    std::printf("\nthe naive way, one absent address with the main window's defaults: %.2f s (result %d)\n",
                perAddress, result);
    std::printf("  31 addresses at one setting: %.0f s; all 40 settings: %.0f s (%.1f h)\n", 31 * perAddress,
                40 * 31 * perAddress, 40 * 31 * perAddress / 3600);
  }
  return 0;
}
