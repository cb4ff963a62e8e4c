// modbus-cli ended from outside in the middle of a long run: Ctrl+C, SIGTERM
// and SIGHUP end it in order, with what it did so far; even SIGKILL leaves
// the port to the next run.
#include <gtest/gtest.h>
#include <signal.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "RegisteredSim.h"
#include "RunProgram.h"

using nlohmann::json;

namespace {
const std::vector<std::string> kFast = {"--port", "COM7", "--tx-delay", "1", "--rx-delay", "1"};

// modbus-cli with `args`, sent `signal` once the device has received
// `requests` requests from it.
ProgramRun CliStoppedBy(int signal, const RegisteredSim& device, size_t requests,
                        std::vector<std::string> args,
                        const std::optional<std::string>& input = std::nullopt) {
  std::vector<std::string> all = kFast;
  all.insert(all.end(), args.begin(), args.end());
  const size_t before = device.Received().size();
  return RunProgram(MODBUS_CLI_PATH, all, std::chrono::seconds(60), input,
                    SignalWhen{signal, [&device, before, requests] {
                                 return device.Received().size() >= before + requests;
                               }});
}

json LastLine(const std::string& out) {
  std::istringstream in(out);
  std::string line, last;
  while (std::getline(in, line))
    if (!line.empty()) last = line;
  EXPECT_TRUE(json::accept(last)) << out;
  return json::accept(last) ? json::parse(last) : json::object();
}

// The port is free for the next program.
void ExpectPortFree() {
  std::vector<std::string> args = kFast;
  args.insert(args.end(), {"--request", "3", "--data", "00 00 00 01", "--json"});
  const ProgramRun next = RunProgram(MODBUS_CLI_PATH, args);
  EXPECT_EQ(next.ExitCode, 0) << next.Out << next.Err;
}
}  // namespace

TEST(StopSignals, ALongSeriesEndsInOrderWithItsSummary) {
  RegisteredSim device;
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    const ProgramRun run = CliStoppedBy(signal, device, 20, {"--request", "3", "--data", "00 00 00 01",
                                                             "--count", "100000", "--json"});
    EXPECT_EQ(run.ExitCode, 0) << signal << run.Err;
    const json out = LastLine(run.Out);
    EXPECT_EQ(out["interrupted"], true) << signal;
    EXPECT_EQ(out["result"], 0) << signal;
    EXPECT_GT(out["transactions"].get<int>(), 0) << signal;
    EXPECT_LT(out["transactions"].get<int>(), 100000) << signal;
    EXPECT_TRUE(out["times_ms"].is_object()) << signal;
    ExpectPortFree();
  }
}

TEST(StopSignals, PollingAndBatchesEndInOrder) {
  RegisteredSim device;
  // Polling as "Цикл": a long interval ends at once, not when it runs out.
  // The signal comes right after the first poll: the run ends at once, not
  // when the 5-second interval runs out.
  const auto start = std::chrono::steady_clock::now();
  ProgramRun run = CliStoppedBy(SIGTERM, device, 1, {"--request", "3", "--dat2", "1", "--count", "100",
                                                     "--interval", "5000", "--json"});
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(9));
  json out = LastLine(run.Out);
  EXPECT_EQ(out["interrupted"], true);
  EXPECT_EQ(out["polls"].size(), 1u);
  ExpectPortFree();

  std::string batch;
  for (int i = 0; i < 100000; ++i) batch += "--request 3 --dat2 1\n";
  run = CliStoppedBy(SIGINT, device, 20, {"--batch", "-"}, batch);
  out = LastLine(run.Out);
  EXPECT_EQ(out["interrupted"], true) << run.Out.substr(0, 300);
  EXPECT_GE(out["lines_read"].get<int>(), 20);
  ExpectPortFree();

  // SIGKILL: nothing of ours runs, and still the next program gets the port.
  run = CliStoppedBy(SIGKILL, device, 20, {"--request", "3", "--data", "00 00 00 01", "--count", "100000"});
  ExpectPortFree();
}

// A week of polling keeps its memory flat: the last polls are listed in
// full, the earlier ones counted.
TEST(StopSignals, LongPollingListsItsLastPollsAndCountsTheRest) {
  RegisteredSim device;
  std::vector<std::string> args = kFast;
  args.insert(args.end(), {"--request", "3", "--dat2", "1", "--count", "1100", "--interval", "1",
                           "--json", "--monitor"});
  const ProgramRun run = RunProgram(MODBUS_CLI_PATH, args, std::chrono::seconds(60));
  ASSERT_EQ(run.ExitCode, 0) << run.Err.substr(0, 500);
  const json out = LastLine(run.Out);
  EXPECT_EQ(out["polls"].size(), 1000u);
  EXPECT_EQ(out["polls_omitted"], 100);
  EXPECT_TRUE(out["poll_latency_ms"]["median"].is_number());
  EXPECT_LE(out["poll_latency_ms"]["min"].get<double>(), out["poll_latency_ms"]["median"].get<double>());
}
