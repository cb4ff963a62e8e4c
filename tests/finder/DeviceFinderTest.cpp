// The finder against the modbus-sim program, whose devices hear only the
// line settings they were started with.
#include <gtest/gtest.h>
#include <signal.h>

#include <thread>

#include "ComPort.h"
#include "DeviceFinder.h"
#include "MainPortProperties.h"
#include "SimTestSupport.h"

namespace {
// A simulator program and the tool's port opened on it by its COM name.
class FinderAgainstSim : public ::testing::Test {
protected:
  void Start(const std::vector<std::string>& args) {
    sim_ = std::make_unique<SimProcess>(args);
    ASSERT_TRUE(sim_->WaitStarted()) << sim_->Output();
    LoadMainPortProperties(port_);
    port_.SetPort(sim_->Name());
    port_.Open();
  }
  void TearDown() override {
    port_.Close();
    if (sim_) {
      EXPECT_EQ(sim_->Stop(SIGTERM), 0);
    }
  }
  static ScanPlan Plan(const std::string& addresses, const std::string& bauds, const std::string& frames) {
    ScanPlan plan = DefaultScanPlan();
    std::string error;
    EXPECT_TRUE(ParseAddressList(addresses, plan.Addresses, error)) << error;
    EXPECT_TRUE(ParseBaudList(bauds, plan.Bauds, error)) << error;
    EXPECT_TRUE(ParseFrameList(frames, plan.Frames, error)) << error;
    plan.MarginMs = 20;
    return plan;
  }
  static std::vector<ProbeResult> Sweep(DeviceFinder& finder) {
    std::vector<ProbeResult> all;
    while (auto result = finder.Step()) all.push_back(*result);
    return all;
  }
  static std::string Where(const ProbeResult& r) {
    return std::to_string(r.Address) + "@" + std::to_string(r.Setting.Baud) + r.Setting.Frame.Name();
  }

  TempRuntimeDir runtime_;
  std::unique_ptr<SimProcess> sim_;
  TComPort port_;
};
}  // namespace

TEST_F(FinderAgainstSim, EveryDeviceIsFoundWithItsSettingsAndNothingElse) {
  Start({"--devices", "3,12", "--baud", "19200", "--parity", "O", "--stop", "1"});
  DeviceFinder finder(port_, Plan("1-15", "9600,19200,38400", "N2,N1,O1,O2"));
  EXPECT_EQ(finder.ProbesPlanned(), 15u * 3 * 4);
  const auto all = Sweep(finder);
  EXPECT_EQ(all.size(), 15u * 3 * 4);
  EXPECT_EQ(finder.ProbesDone(), all.size());
  ASSERT_EQ(finder.Devices().size(), 2u);
  EXPECT_EQ(Where(finder.Devices()[0]), "3@19200O1");
  EXPECT_EQ(Where(finder.Devices()[1]), "12@19200O1");
  EXPECT_EQ(finder.Devices()[0].Kind, ProbeKind::Answer);
  EXPECT_EQ(Hex(finder.Devices()[1].Answer).substr(0, 8), "0C 03 02") << "register 0 of device 12";
  ASSERT_TRUE(finder.Devices()[0].LatencyMs);
  for (const ProbeResult& r : all)
    if (!r.DevicePresent()) {
      EXPECT_EQ(r.Kind, ProbeKind::Nothing) << Where(r);
    }
  EXPECT_EQ(finder.Remaining().count(), 0);
}

TEST_F(FinderAgainstSim, GarbageAndAnswersFromOtherAddressesAreNoise) {
  Start({"--devices", "2", "--fault", "garbage", "--fault", "wrongaddr@0.5", "--seed", "5"});
  DeviceFinder finder(port_, Plan("1-3", "9600", "N2,N1,E1,O1"));
  const auto all = Sweep(finder);
  EXPECT_TRUE(finder.Devices().empty());
  int noise = 0;
  for (const ProbeResult& r : all) {
    EXPECT_EQ(r.Kind, r.Address == 2 ? ProbeKind::Noise : ProbeKind::Nothing) << Where(r) << " " << Hex(r.Answer);
    noise += r.Kind == ProbeKind::Noise;
  }
  EXPECT_EQ(noise, 4);
}

TEST_F(FinderAgainstSim, ADeviceOnAMismatchedLineMakesNoiseWhenAsked) {
  Start({"--devices", "1", "--baud", "19200", "--stop", "1", "--mismatch", "noise"});
  DeviceFinder finder(port_, Plan("1", "9600,19200", "N1"));
  const auto all = Sweep(finder);
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[0].Kind, ProbeKind::Noise) << "9600: the device hears rubbish and says some";
  EXPECT_EQ(all[1].Kind, ProbeKind::Answer);
}

TEST_F(FinderAgainstSim, AnExceptionAnswerCountsAsPresent) {
  Start({"--devices", "7"});
  ScanPlan plan = Plan("6-8", "9600", "N2");
  std::string error;
  ASSERT_TRUE(ParseProbe("03 FF 00 00 01", plan.Probe, error)) << error;  // outside the register bank
  DeviceFinder finder(port_, plan);
  Sweep(finder);
  ASSERT_EQ(finder.Devices().size(), 1u);
  EXPECT_EQ(finder.Devices()[0].Address, 7);
  EXPECT_EQ(finder.Devices()[0].Kind, ProbeKind::Exception);
  EXPECT_EQ(finder.Devices()[0].ExceptionCode, 2);
}

TEST_F(FinderAgainstSim, StopRulesEndTheSweepEarly) {
  Start({"--devices", "4,9", "--baud", "19200", "--stop", "1"});
  ScanPlan plan = Plan("1-10", "9600,19200", "N2,N1");
  plan.Stop = StopRule::FirstDevice;
  {
    DeviceFinder finder(port_, plan);
    const auto all = Sweep(finder);
    ASSERT_EQ(finder.Devices().size(), 1u);
    EXPECT_EQ(Where(all.back()), "4@19200N1") << "nothing after the first device";
    EXPECT_EQ(finder.ProbesPlanned(), finder.ProbesDone());
  }
  plan.Stop = StopRule::FirstSetting;
  DeviceFinder finder(port_, plan);
  const auto all = Sweep(finder);
  ASSERT_EQ(finder.Devices().size(), 2u);
  EXPECT_EQ(Where(finder.Devices()[1]), "9@19200N1");
  EXPECT_EQ(Where(all.back()), "10@19200N1") << "the setting's addresses to the end, then no more";
}

namespace {
// The sweep, cancelled from another thread after 300 ms: what it found, how
// many probes were done as it was cancelled, and how long it took to end after.
struct CancelledSweep {
  std::vector<ProbeResult> found;
  size_t doneAtCancel = 0;
  double endedAfterMs = 0;
};
CancelledSweep SweepCancelledAfter300Ms(DeviceFinder& finder) {
  CancelledSweep sweep;
  std::chrono::steady_clock::time_point cancelled;
  std::thread canceller([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    sweep.doneAtCancel = finder.ProbesDone();
    cancelled = std::chrono::steady_clock::now();
    finder.Cancel();
  });
  while (auto result = finder.Step()) sweep.found.push_back(*result);
  const auto ended = std::chrono::steady_clock::now();
  canceller.join();
  sweep.endedAfterMs = std::chrono::duration<double, std::milli>(ended - cancelled).count();
  return sweep;
}
}  // namespace

TEST_F(FinderAgainstSim, CancelEndsTheSweepAtOnceWhateverTheMargin) {
  Start({"--devices", "1", "--baud", "1200"});
  {
    DeviceFinder finder(port_, Plan("2-31", "9600,4800", "N2,N1,E1,O1,O2"));  // nothing will answer
    const CancelledSweep sweep = SweepCancelledAfter300Ms(finder);
    EXPECT_TRUE(finder.Cancelled());
    EXPECT_LE(sweep.found.size(), sweep.doneAtCancel) << "the probe under way is not reported";
    EXPECT_GT(sweep.found.size(), 0u);
    EXPECT_LT(sweep.endedAfterMs, 100);
    EXPECT_FALSE(finder.Step());
  }
  // A probe that waits five seconds for its answer stops waiting at once.
  ScanPlan plan = Plan("2-31", "9600", "N2");
  plan.MarginMs = 5000;
  DeviceFinder finder(port_, plan);
  const CancelledSweep sweep = SweepCancelledAfter300Ms(finder);
  EXPECT_TRUE(finder.Cancelled());
  EXPECT_TRUE(sweep.found.empty()) << "the first probe was still waiting";
  EXPECT_EQ(finder.ProbesDone(), 0u);
  EXPECT_LT(sweep.endedAfterMs, 100);
}
