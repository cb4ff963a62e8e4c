// modbus-cli --listen on the simulator's tap while another modbus-cli polls
// the simulator with faults: what it hears matches the simulator's log frame
// for frame, and the capture it writes is decoded by Wireshark's tshark as
// Modbus RTU with the right unit, function and CRC status.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "Crc16.h"
#include "RunProgram.h"
#include "SimLog.h"
#include "SimTestSupport.h"

using nlohmann::json;

namespace {
struct TappedSim {
  TempRuntimeDir runtime;
  std::unique_ptr<SimProcess> process;
  std::string tap;

  explicit TappedSim(std::vector<std::string> args) {
    for (const char* a : {"--baud", "19200", "--tap", "--log", "--seed", "5"}) args.push_back(a);
    process = std::make_unique<SimProcess>(args);
    if (!process->WaitStarted()) throw std::runtime_error("modbus-sim did not start: " + process->Output());
    std::istringstream words(process->Output());
    std::string tag, main, device, word;
    words >> tag >> main >> device >> word >> tap;
    if (word != "tap") throw std::runtime_error("no tap on the start line: " + process->Output());
  }
};

std::vector<std::string> HeardHex(const json& out) {
  std::vector<std::string> hex;
  for (const json& frame : out["frames"])
    if (frame["dir"] != "unframed") hex.push_back(frame["hex"]);
  return hex;
}

// Polls the simulator while a listener hears its tap (each poll ends at its
// first failure); returns the listener's JSON.
json ListenWhilePolling(TappedSim& sim, const std::vector<std::string>& extra) {
  std::vector<std::string> args = {"--listen", "--port", sim.tap, "--baud", "19200", "--duration", "6", "--json"};
  args.insert(args.end(), extra.begin(), extra.end());
  auto listener = std::async(std::launch::async, [args] { return RunProgram(MODBUS_CLI_PATH, args); });
  std::this_thread::sleep_for(std::chrono::seconds(2));  // the listener has opened the tap
  for (const char* code : {"3", "4", "1"}) {
    const ProgramRun master = RunProgram(MODBUS_CLI_PATH, {"--port", sim.process->Name(), "--baud", "19200",
                                                           "--request", code, "--data", "00 00 00 06",
                                                           "--count", "8", "--repeats1", "1", "--repeats2", "1"});
    EXPECT_NE(master.ExitCode, -1) << master.Err;
  }
  const ProgramRun heard = listener.get();
  EXPECT_EQ(heard.ExitCode, 0) << heard.Err;
  return json::parse(heard.Out);
}
}  // namespace

TEST(ListenCli, HearsWhatTheSimulatorLogsFrameForFrame) {
  TappedSim sim({"--devices", "1-2", "--fault", "badcrc@0.15", "--fault", "exception:2@0.1", "--fault",
                 "wrongfunc@0.1"});
  const json out = ListenWhilePolling(sim, {});
  std::vector<std::string> logged;
  int requests = 0;
  for (const LoggedFrame& frame : LoggedFrames(sim.process->Output())) {
    logged.push_back(frame.Hex);
    requests += frame.Received;
  }
  ASSERT_GE(requests, 3);  // a poll ends at its first failure
  EXPECT_EQ(HeardHex(out), logged);
  // Each answer paired with its request and classed as the master's link would.
  std::map<int, int> results;
  for (const json& frame : out["frames"]) {
    if (frame["dir"] != "answer") continue;
    ASSERT_TRUE(frame.contains("exchange")) << frame.dump();
    ++results[frame["result"].get<int>()];
  }
  EXPECT_GT(results[0], 0);
  EXPECT_GT(results[2] + results[128] + results[131], 0);
  ASSERT_EQ(out["summary"].size(), 1u);
  EXPECT_EQ(out["summary"][0]["requests"], requests);
  EXPECT_EQ(out["unframed_bytes"], 0);
}

TEST(ListenCli, NoiseOnTheTapIsHeardAsBytesOfNoFrame) {
  TappedSim sim({"--tap-noise", "0.5"});
  const json out = ListenWhilePolling(sim, {});
  std::vector<std::string> logged;
  size_t noise = 0;
  std::istringstream lines(sim.process->Output());
  for (std::string line; std::getline(lines, line);)
    if (line.find("TAP noise") != std::string::npos) noise += (line.size() - line.find("noise") - 5) / 3;
  for (const LoggedFrame& frame : LoggedFrames(sim.process->Output())) logged.push_back(frame.Hex);
  ASSERT_GT(noise, 0u);
  EXPECT_EQ(HeardHex(out), logged);
  EXPECT_EQ(out["unframed_bytes"].get<size_t>(), noise);
}

TEST(ListenCli, TheCaptureIsModbusRtuToTshark) {
  TappedSim sim({"--fault", "badcrc@0.2"});
  const auto capture = sim.runtime.Path() / "heard.pcap";
  const json out = ListenWhilePolling(sim, {"--capture", capture.string()});
  const ProgramRun tshark =
      RunProgram("/usr/bin/tshark", {"-r", capture.string(), "-o", "uat:user_dlts:\"User 0 (DLT=147)\",\"mbrtu\",\"0\",\"\",\"0\",\"\"",
                                     "-o", "mbrtu.crc_verification:TRUE", "-T", "fields", "-e", "mbrtu.unit_id",
                                     "-e", "modbus.func_code", "-e", "mbrtu.crc16.status"});
  ASSERT_EQ(tshark.ExitCode, 0) << tshark.Err;
  std::vector<std::string> decoded, expected;
  std::istringstream lines(tshark.Out);
  for (std::string line; std::getline(lines, line);) decoded.push_back(line);
  for (const json& frame : out["frames"]) {
    const std::string hex = frame["hex"];
    std::vector<uint8_t> bytes;
    std::istringstream in(hex);
    for (std::string pair; in >> pair;) bytes.push_back(static_cast<uint8_t>(std::stoul(pair, nullptr, 16)));
    const bool good = EndsWithItsCrc(static_cast<int32_t>(bytes.size()), bytes.data());
    expected.push_back(std::to_string(bytes[0]) + "\t" + std::to_string(bytes[1] & 0x7F) + "\t" + (good ? "1" : "0"));
  }
  ASSERT_GE(expected.size(), 6u);
  EXPECT_EQ(decoded, expected);
  EXPECT_NE(std::find(expected.begin(), expected.end(), "1\t3\t0"), expected.end()) << "a bad CRC among them";
}

TEST(ListenCli, AReadCaptureIsHeardAgainTheSame) {
  TappedSim sim({"--fault", "exception:2@0.2"});
  const auto capture = sim.runtime.Path() / "heard.pcap";
  const json live = ListenWhilePolling(sim, {"--capture", capture.string()});
  const ProgramRun again = RunProgram(MODBUS_CLI_PATH, {"--listen", "--from-capture", capture.string(), "--baud",
                                                        "19200", "--json"});
  ASSERT_EQ(again.ExitCode, 0) << again.Err;
  const json replay = json::parse(again.Out);
  EXPECT_EQ(HeardHex(replay), HeardHex(live));
  EXPECT_EQ(replay["summary"][0]["results"], live["summary"][0]["results"]);
}
