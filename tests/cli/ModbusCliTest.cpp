// modbus-cli as a program: against libmodbus's RTU server and a scripted
// device on a pseudo-terminal registered as COM7.
#include <gtest/gtest.h>

#include <algorithm>

#include <nlohmann/json.hpp>
#include <thread>

#include <fstream>

#include "ChildProcess.h"
#include "LibmodbusServer.h"
#include "RegisteredPty.h"
#include "RunProgram.h"
#include "ScriptedDevice.h"

using nlohmann::json;
using namespace std::chrono_literals;

namespace {
ProgramRun Cli(std::vector<std::string> args) { return RunProgram(MODBUS_CLI_PATH, args); }

json ParsedJson(const ProgramRun& run) {
  EXPECT_TRUE(json::accept(run.Out)) << run.Out << run.Err;
  return json::accept(run.Out) ? json::parse(run.Out) : json::object();
}

const std::vector<std::string> kRead10 = {"--port", "COM7", "--request", "3",
                                          "--data", "00 00 00 0A"};

std::vector<std::string> With(std::vector<std::string> args,
                              std::initializer_list<std::string> more) {
  args.insert(args.end(), more);
  return args;
}
}  // namespace

TEST(ModbusCli, ReadsAStandardDevice) {
  RegisteredPty line(7);
  LibmodbusServer server(line.pty);

  const ProgramRun run = Cli(With(kRead10, {"--json"}));
  EXPECT_EQ(run.ExitCode, 0) << run.Err;
  const json out = ParsedJson(run);
  EXPECT_EQ(out["result"], 0);
  EXPECT_EQ(out["answer"],
            "01 03 14 10 00 10 01 10 02 10 03 10 04 10 05 10 06 10 07 10 08 10 09 DD ED");
  EXPECT_TRUE(out["message"].is_null());
  EXPECT_TRUE(out["caption"].is_null());
  EXPECT_FALSE(out.contains("times_ms"));

  // The readable form says the same.
  const ProgramRun text = Cli(kRead10);
  EXPECT_EQ(text.ExitCode, 0);
  EXPECT_NE(text.Out.find("result: 0\n"), std::string::npos) << text.Out;
  EXPECT_NE(text.Out.find("answer: 01 03 14 10 00"), std::string::npos) << text.Out;

  // A write with the line settings of the options.
  const ProgramRun write = Cli({"--port", "COM7", "--baud", "19200", "--parity", "E", "--stop",
                                "1", "--request", "5", "--data", "0001FF00", "--json"});
  EXPECT_EQ(write.ExitCode, 0) << write.Err;
  EXPECT_EQ(ParsedJson(write)["answer"], "01 05 00 01 FF 00 DD FA");
  EXPECT_TRUE(server.Coil(1));
}

TEST(ModbusCli, CountReportsTheTimePerTransaction) {
  RegisteredPty line(7);
  LibmodbusServer server(line.pty);
  const ProgramRun run =
      Cli(With(kRead10, {"--count", "20", "--tx-delay", "1", "--rx-delay", "1", "--json"}));
  EXPECT_EQ(run.ExitCode, 0) << run.Err;
  const json out = ParsedJson(run);
  ASSERT_TRUE(out.contains("times_ms")) << run.Out;
  const json& t = out["times_ms"];
  EXPECT_GT(t["min"].get<double>(), 0.0);
  EXPECT_LE(t["min"].get<double>(), t["median"].get<double>());
  EXPECT_LE(t["median"].get<double>(), t["max"].get<double>());
  EXPECT_EQ(server.Served(), 20);

  const ProgramRun once = Cli(With(kRead10, {"--count", "1", "--json"}));
  EXPECT_TRUE(ParsedJson(once).contains("times_ms")) << once.Out;
  EXPECT_FALSE(ParsedJson(Cli(With(kRead10, {"--json"}))).contains("times_ms"));

  const ProgramRun text = Cli(With(kRead10, {"--count", "3"}));
  EXPECT_NE(text.Out.find("time per transaction (ms) over 3: min "), std::string::npos) << text.Out;
}

TEST(ModbusCli, FailedExchangesGiveTheReportTextAndExitOne) {
  RegisteredPty line(7);
  ScriptedDevice device(line.pty);
  device.Push(ScriptedDevice::Bytes({0x01, 0x83, 0x02, 0xC0, 0xF1}));
  ProgramRun run = Cli(With(kRead10, {"--json"}));
  EXPECT_EQ(run.ExitCode, 1);
  json out = ParsedJson(run);
  EXPECT_EQ(out["result"], 2);
  EXPECT_EQ(out["answer"], "01 83 02");
  EXPECT_EQ(out["message"], "устройство 1 COM7 ошибка обмена 02");
  EXPECT_EQ(out["caption"], "Предупреждение");

  // Silence, one attempt: no answer.
  run = Cli(With(kRead10, {"--repeats1", "1", "--device", "4", "--json"}));
  EXPECT_EQ(run.ExitCode, 1);
  out = ParsedJson(run);
  EXPECT_EQ(out["result"], 130);
  EXPECT_EQ(out["answer"], "");
  EXPECT_EQ(out["message"], "устройство 4 COM7 не отвечает на запрос");
  ASSERT_EQ(device.Requests().size(), 2u);
  EXPECT_EQ(device.Requests()[1].Frame[0], 4);  // the device number is the address

  // A foreign function code: a reception error, and only its head is shown.
  device.Push(ScriptedDevice::Bytes({0x01, 0x04, 0x02, 0x12, 0x34, 0x00, 0x00}));
  run = Cli(With(kRead10, {"--repeats1", "1", "--json"}));
  EXPECT_EQ(run.ExitCode, 1);
  out = ParsedJson(run);
  EXPECT_EQ(out["result"], 128);
  EXPECT_EQ(out["answer"], "01 04 02");
  EXPECT_EQ(out["message"], "устройство 1 COM7 ошибка приема данных ");
  ASSERT_EQ(device.Requests().size(), 3u);

  // A code outside the table (300 as typed has the low byte 44): nothing sent.
  run = Cli({"--port", "COM7", "--request", "300", "--json"});
  EXPECT_EQ(run.ExitCode, 1);
  out = ParsedJson(run);
  EXPECT_EQ(out["result"], 1);
  EXPECT_EQ(out["message"], "устройство 1 COM7 ошибка обмена 01");
  EXPECT_EQ(device.Requests().size(), 3u);

  // The clock frame goes to every device and needs no answer.
  run = Cli({"--port", "COM7", "--device", "9", "--request", "70", "--data", "00000000000000",
             "--json"});
  EXPECT_EQ(run.ExitCode, 0);
  EXPECT_EQ(ParsedJson(run)["answer"], "");
  ASSERT_TRUE(device.WaitForRequests(4, 1s));
  EXPECT_EQ(device.Requests()[3].Frame.size(), 11u);
  EXPECT_EQ(device.Requests()[3].Frame[0], 0);
  EXPECT_EQ(device.Requests()[3].Frame[1], 70);
}

TEST(ModbusCli, FramesWithoutAnswerAllArriveAndKeepTheFrameGap) {
  // A series of broadcasts: each frame must reach the line whole, and the
  // next one must wait for the inter-frame gap (3.5 characters: about 2 ms
  // at 19200 baud with 11 bits per character).
  RegisteredPty line(7);
  constexpr size_t kFrames = 100, kFrameLen = 11;
  std::vector<std::pair<std::chrono::steady_clock::time_point, size_t>> chunks;  // arrival, size
  size_t received = 0;
  std::thread device([&] {
    const auto end = std::chrono::steady_clock::now() + 20s;
    while (received < kFrames * kFrameLen && std::chrono::steady_clock::now() < end) {
      const auto bytes = line.pty.Receive(1, 100ms);
      if (bytes.empty()) continue;
      const auto more = line.pty.Receive(line.pty.Pending(), 0ms);
      chunks.emplace_back(std::chrono::steady_clock::now(), bytes.size() + more.size());
      received += bytes.size() + more.size();
    }
  });
  const ProgramRun run =
      Cli({"--port", "COM7", "--baud", "19200", "--request", "70", "--data", "00000000000000",
           "--count", std::to_string(kFrames), "--tx-delay", "1", "--rx-delay", "1"});
  device.join();
  EXPECT_EQ(run.ExitCode, 0) << run.Err;
  EXPECT_EQ(received, kFrames * kFrameLen);

  // The gaps between the arrival of a frame's last byte and the next one's
  // first. A reader that the scheduler holds up now and then sees two frames
  // at once, so the median tells, not the smallest.
  std::vector<std::chrono::steady_clock::time_point> arrival;
  for (const auto& [when, size] : chunks) arrival.insert(arrival.end(), size, when);
  std::vector<double> gapsMs;
  for (size_t k = 1; k < kFrames && k * kFrameLen < arrival.size(); ++k) {
    const auto gap = arrival[k * kFrameLen] - arrival[k * kFrameLen - 1];
    gapsMs.push_back(std::chrono::duration<double, std::milli>(gap).count());
  }
  ASSERT_FALSE(gapsMs.empty());
  std::nth_element(gapsMs.begin(), gapsMs.begin() + gapsMs.size() / 2, gapsMs.end());
  EXPECT_GE(gapsMs[gapsMs.size() / 2], 2.0);
}

TEST(ModbusCli, PortThatCannotBeOpenedExitsThree) {
  RegisteredPty line(7);
  const std::vector<std::pair<std::string, std::string>> refused = {
      {"--port", "tty0"}, {"--port", "Com7"}, {"--baud", "128000"}, {"--parity", "e"},
      {"--stop", "3"}};
  for (const auto& [option, value] : refused) {
    std::vector<std::string> args = {"--request", "3", "--json", option, value};
    if (option != "--port") args.insert(args.end(), {"--port", "COM7"});
    const ProgramRun run = Cli(args);
    EXPECT_EQ(run.ExitCode, 3) << value;
    const json out = ParsedJson(run);
    EXPECT_EQ(out["result"], 132) << value;
    EXPECT_EQ(out["message"], " невозможно открыть последовательный порт ");
    EXPECT_EQ(out["caption"], "Предупреждение");
  }
  // A name that passes the checks but names no port: the port fails as it opens.
  const ProgramRun missing = Cli({"--port", "COM58", "--request", "3", "--json"});
  EXPECT_EQ(missing.ExitCode, 3);
  const json out = ParsedJson(missing);
  EXPECT_TRUE(out["result"].is_null());
  EXPECT_NE(out["error"].get<std::string>().find("Unable to open com port"), std::string::npos);
  EXPECT_EQ(out["port_messages"][0]["message"],
            "COM-порт отключен. Проверьте оборудование, перезапустите программу.");
}

// A port another program holds is refused with the failed open's message,
// and the error says who holds it.
TEST(ModbusCli, ABusyPortSaysWhoHoldsIt) {
  RegisteredPty line(7);
  line.pty.ReleaseSlave();
  ChildProcess holder(KeepOpen(line.pty.SlavePath()));
  ASSERT_EQ(holder.Report(), "open");
  std::ifstream comm("/proc/" + std::to_string(holder.Pid()) + "/comm");
  std::string program;
  std::getline(comm, program);
  const ProgramRun run = Cli(With(kRead10, {"--json"}));
  EXPECT_EQ(run.ExitCode, 3);
  const json out = ParsedJson(run);
  EXPECT_EQ(out["error"], "Unable to open com port (Error: 16): COM7 is in use by another program: " +
                              program + " (pid " + std::to_string(holder.Pid()) + ")");
  EXPECT_EQ(out["port_messages"][0]["message"],
            "COM-порт отключен. Проверьте оборудование, перезапустите программу.");
  const ProgramRun text = Cli(kRead10);
  EXPECT_NE(text.Out.find("COM7 is in use by another program: " + program), std::string::npos)
      << text.Out;
}

TEST(ModbusCli, BadUsageExitsTwo) {
  for (const auto& args : std::vector<std::vector<std::string>>{
           {},  // --request is required
           {"--request", "3", "--device", "0"},
           {"--request", "3", "--device", "32"},
           {"--request", "3", "--data", "0G"},
           {"--request", "3", "--data", "000"},
           {"--request", "-1"},
           {"--request", "3", "--count", "0"},
           {"--request", "3", "--no-such-option"},
           // Settings that would keep a run busy for days.
           {"--request", "3", "--tx-delay", "2147483647"},
           {"--request", "3", "--rx-delay", "101"},
           {"--request", "3", "--tx-delay", "0"},
           {"--request", "3", "--repeats1", "0"},
           {"--request", "3", "--repeats2", "1000000"}}) {
    std::vector<std::string> withPort = args;
    if (!args.empty()) withPort.insert(withPort.end(), {"--port", "COM7"});
    const ProgramRun run = Cli(withPort);
    EXPECT_EQ(run.ExitCode, 2) << (args.empty() ? "" : args.back());
    EXPECT_TRUE(run.Out.empty());
    EXPECT_FALSE(run.Err.empty());
  }
  EXPECT_EQ(Cli({"--help"}).ExitCode, 0);
  // No port by default: on many machines the first one is the console.
  const ProgramRun noPort = Cli({"--request", "3", "--data", "00 00 00 01"});
  EXPECT_EQ(noPort.ExitCode, 2);
  EXPECT_NE(noPort.Err.find("--port is required"), std::string::npos) << noPort.Err;
  // A count out of range is said plainly, without a range up to 1.8e308.
  const ProgramRun zero = Cli({"--request", "3", "--count", "0"});
  EXPECT_NE(zero.Err.find("--count: must be a whole number from 1"), std::string::npos) << zero.Err;
  EXPECT_EQ(zero.Err.find("1797"), std::string::npos) << zero.Err;
}

TEST(ModbusCli, VersionIsTheProjectsAndOpensNoPort) {
  RegisteredPty line(7);
  const ProgramRun run = Cli({"--version", "--port", "COM7", "--request", "3"});
  EXPECT_EQ(run.ExitCode, 0);
  EXPECT_EQ(run.Out, "modbus-cli " MODBUS_TESTER_VERSION "\n");
  EXPECT_TRUE(run.Err.empty()) << run.Err;
}
