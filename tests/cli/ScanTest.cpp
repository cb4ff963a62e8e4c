// modbus-cli --scan against the modbus-sim program.
#include <gtest/gtest.h>
#include <signal.h>

#include <nlohmann/json.hpp>

#include "RunProgram.h"
#include "SimTestSupport.h"

using nlohmann::json;

namespace {
ProgramRun Scan(const std::string& port, std::vector<std::string> args) {
  args.insert(args.begin(), {"--port", port, "--scan", "--margin-ms", "20"});
  return RunProgram(MODBUS_CLI_PATH, args, std::chrono::seconds(60));
}
}  // namespace

TEST(ModbusCliScan, FindsTheDevicesWithTheirSettings) {
  TempRuntimeDir runtime;
  SimProcess sim({"--devices", "2,6", "--baud", "38400", "--stop", "1"});
  ASSERT_TRUE(sim.WaitStarted()) << sim.Output();

  ProgramRun run = Scan(sim.Name(), {"--addresses", "1-8", "--bauds", "9600,38400", "--frames", "N2,N1,O1", "--json"});
  EXPECT_EQ(run.ExitCode, 0) << run.Err;
  ASSERT_TRUE(json::accept(run.Out)) << run.Out;
  json out = json::parse(run.Out);
  ASSERT_EQ(out["devices"].size(), 2u) << run.Out;
  EXPECT_EQ(out["devices"][0]["address"], 2);
  EXPECT_EQ(out["devices"][0]["baud"], 38400);
  EXPECT_EQ(out["devices"][0]["parity"], "N");
  EXPECT_EQ(out["devices"][0]["stop"], 1);
  EXPECT_EQ(out["devices"][0]["kind"], "answer");
  EXPECT_TRUE(out["devices"][0]["latency_ms"].is_number());
  EXPECT_EQ(out["devices"][1]["address"], 6);
  EXPECT_TRUE(out["noise"].empty());
  EXPECT_EQ(out["probes"], 8 * 2 * 3);
  EXPECT_EQ(out["cancelled"], false);

  // Text, stopping at the first device.
  run = Scan(sim.Name(), {"--addresses", "1-8", "--bauds", "9600,38400", "--frames", "N2,N1", "--first"});
  EXPECT_EQ(run.ExitCode, 0) << run.Err;
  EXPECT_NE(run.Out.find("device 2 at 38400 N1: answer"), std::string::npos) << run.Out;
  EXPECT_EQ(run.Out.find("device 6"), std::string::npos) << run.Out;
  EXPECT_NE(run.Out.find("probes in"), std::string::npos) << run.Out;

  // Nobody at those settings: exit 1.
  run = Scan(sim.Name(), {"--addresses", "1-3", "--bauds", "9600", "--frames", "N2", "--json"});
  EXPECT_EQ(run.ExitCode, 1);
  EXPECT_TRUE(json::parse(run.Out)["devices"].empty());
  EXPECT_EQ(sim.Stop(SIGTERM), 0);
}

TEST(ModbusCliScan, BadListsAreUsageErrors) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"--frames", "E2"},
           {"--bauds", "128000"},
           {"--addresses", "0-3"},
           {"--probe", "46"},
           {"--probe", "03 00 00 00 01", "--request", "3"},
           {"--first", "--first-setting"},
           {"--margin-ms", "-1"}}) {
    std::vector<std::string> all = {"--port", "COM99", "--scan"};
    all.insert(all.end(), args.begin(), args.end());
    const ProgramRun run = RunProgram(MODBUS_CLI_PATH, all);
    EXPECT_EQ(run.ExitCode, 2) << args[0];
    EXPECT_TRUE(run.Out.empty()) << args[0];
  }
  // The finder's options without --scan are a mistake too.
  EXPECT_EQ(RunProgram(MODBUS_CLI_PATH, {"--request", "3", "--bauds", "9600"}).ExitCode, 2);
}

// A sweep sends its probe to every address at every setting: a probe that
// writes is refused before the port is touched.
TEST(ModbusCliScan, AProbeThatWritesIsRefused) {
  TempRuntimeDir runtime;
  SimProcess sim({"--devices", "1", "--log"});
  ASSERT_TRUE(sim.WaitStarted()) << sim.Output();
  for (const char* probe : {"06 00 00 00 01", "05 00 00 FF 00", "0F 00 00 00 01 01 01", "45 01",
                            "46 00 00 00 00 00 00 00", "64 00 01 00"}) {
    const ProgramRun run = Scan(sim.Name(), {"--addresses", "1", "--bauds", "9600", "--probe", probe});
    EXPECT_EQ(run.ExitCode, 2) << probe;
    EXPECT_NE(run.Err.find("a sweep never sends a write"), std::string::npos) << run.Err;
    EXPECT_NE(run.Err.find("01, 02, 03, 04, 0E, 11, 42, 43, 44, 47"), std::string::npos) << run.Err;
  }
  EXPECT_EQ(sim.Stop(SIGTERM), 0);
  EXPECT_EQ(sim.Output().find("RX "), std::string::npos) << sim.Output();
}

TEST(ModbusCliScan, CtrlCEndsTheSweepWithWhatWasFound) {
  TempRuntimeDir runtime;
  SimProcess sim({"--devices", "1", "--log"});
  ASSERT_TRUE(sim.WaitStarted()) << sim.Output();
  // 247 addresses at 1200 baud take half a minute; SIGINT comes once device 1 has answered.
  const ProgramRun run = RunProgram(
      MODBUS_CLI_PATH,
      {"--port", sim.Name(), "--scan", "--addresses", "1-247", "--bauds", "1200", "--frames", "N2",
       "--margin-ms", "20", "--json"},
      std::chrono::seconds(60), std::nullopt,
      SignalWhen{SIGINT, [&sim] { return sim.Output().find("TX 01 03") != std::string::npos; }});
  EXPECT_EQ(run.ExitCode, 0) << run.Err;  // device 1 answered before the interrupt
  ASSERT_TRUE(json::accept(run.Out)) << run.Out << run.Err;
  const json out = json::parse(run.Out);
  EXPECT_EQ(out["cancelled"], true);
  EXPECT_LT(out["probes"].get<int>(), 247);
  ASSERT_EQ(out["devices"].size(), 1u);
  EXPECT_EQ(out["devices"][0]["address"], 1);
  EXPECT_EQ(sim.Stop(SIGTERM), 0);
}
