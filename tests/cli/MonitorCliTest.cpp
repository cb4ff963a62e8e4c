// modbus-cli --monitor against the modbus-sim program: the frames on standard
// error and in the JSON, their attempts, stages, results and latencies,
// checked against the simulator's own log (--log).
#include <gtest/gtest.h>

#include <algorithm>

#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "RunProgram.h"
#include "SimTestSupport.h"

using nlohmann::json;

namespace {
// One frame line of the simulator's log: "16:29:20.422 RX 01 03 ...  crc ok".
struct LoggedFrame {
  int64_t DayMs = 0;  // the time of day in ms
  std::string Direction;  // RX (the simulator received it) or TX
  std::string Hex;
};

int64_t DayMs(const std::string& time) {  // "HH:MM:SS.mmm"
  return ((std::stoll(time.substr(0, 2)) * 60 + std::stoll(time.substr(3, 2))) * 60 +
          std::stoll(time.substr(6, 2))) * 1000 + std::stoll(time.substr(9, 3));
}

// The real simulator, registered in a private port directory that the
// modbus-cli started by the test inherits.
class Simulator {
public:
  explicit Simulator(const std::string& script = "", std::vector<std::string> args = {}) {
    args.push_back("--log");
    if (!script.empty()) {
      scriptPath_ = runtime_.Path() / "script.txt";
      std::ofstream(scriptPath_) << script;
      args.push_back("--script");
      args.push_back(scriptPath_.string());
    }
    process_ = std::make_unique<SimProcess>(args);
    if (!process_->WaitStarted()) throw std::runtime_error("modbus-sim did not start: " + process_->Output());
  }

  ProgramRun Cli(std::vector<std::string> args,
                 const std::optional<std::string>& input = std::nullopt) const {
    args.insert(args.begin(), {"--port", process_->Name()});
    return RunProgram(MODBUS_CLI_PATH, args, std::chrono::seconds(60), input);
  }

  std::vector<LoggedFrame> Frames() const {
    std::vector<LoggedFrame> frames;
    std::istringstream lines(process_->Output());
    for (std::string line; std::getline(lines, line);) {
      if (line.size() < 16 || line[12] != ' ') continue;
      const std::string direction = line.substr(13, 3);
      if (direction != "RX " && direction != "TX ") continue;
      const std::string rest = line.substr(16);
      frames.push_back({DayMs(line.substr(0, 12)), direction.substr(0, 2), rest.substr(0, rest.find("  crc"))});
    }
    return frames;
  }
  std::string Log() const { return process_->Output(); }
  // Ends the simulator: its terminal goes away under the tool.
  void Stop() const { process_->Stop(SIGTERM); }

private:
  TempRuntimeDir runtime_;
  std::filesystem::path scriptPath_;
  std::unique_ptr<SimProcess> process_;
};

json Parsed(const std::string& text) {
  EXPECT_TRUE(json::accept(text)) << text;
  return json::accept(text) ? json::parse(text) : json::object();
}

std::vector<json> Lines(const std::string& text) {
  std::vector<json> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(Parsed(line));
  return lines;
}

std::vector<std::string> TextLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

size_t LinesWith(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (const std::string& line : TextLines(text)) count += line.find(part) != std::string::npos;
  return count;
}

// The monitor's frames must be what the simulator logged, one for one: what
// the tool sent it received, what it sent the tool read, at the same time of
// day (give or take the scheduling of two processes).
void ExpectSameAsLog(const json& frames, const std::vector<LoggedFrame>& log) {
  ASSERT_EQ(frames.size(), log.size());
  for (size_t i = 0; i < log.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(frames[i]["dir"], log[i].Direction == "RX" ? "tx" : "rx");
    EXPECT_EQ(frames[i]["hex"], log[i].Hex);
    EXPECT_NEAR(static_cast<double>(DayMs(frames[i]["time"])), static_cast<double>(log[i].DayMs), 100);
  }
}

const std::vector<std::string> kReadTwo = {"--request", "3", "--data", "00 00 00 02"};

std::vector<std::string> With(std::vector<std::string> args, std::initializer_list<std::string> more) {
  args.insert(args.end(), more);
  return args;
}

// Without the monitor's own keys: what the same run prints without --monitor.
json WithoutMonitorKeys(json out) {
  for (const char* key : {"latency_ms", "discarded", "frames", "frames_omitted", "poll_latency_ms"})
    out.erase(key);
  if (out.contains("polls"))
    for (json& poll : out["polls"]) poll.erase("latency_ms");
  return out;
}
}  // namespace

TEST(ModbusCliMonitor, ANoAnswerTransactionShowsFiveRequestsAndNoAnswer) {
  Simulator sim;  // serves device 1 only
  const ProgramRun run =
      sim.Cli({"--device", "4", "--request", "3", "--data", "00 00 00 01", "--monitor", "--json"});
  EXPECT_EQ(run.ExitCode, 1) << run.Err;
  const json out = Parsed(run.Out);
  EXPECT_EQ(out["result"], 130);
  EXPECT_TRUE(out["latency_ms"].is_null());
  EXPECT_EQ(out["discarded"], 0);
  const json& frames = out["frames"];
  ASSERT_EQ(frames.size(), 5u) << run.Out;
  for (size_t i = 0; i < frames.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(frames[i]["dir"], "tx");
    EXPECT_EQ(frames[i]["hex"], "04 03 00 00 00 01 84 5F");
    EXPECT_EQ(frames[i]["transaction"], 1);
    EXPECT_EQ(frames[i]["attempt"], i + 1);
    EXPECT_EQ(frames[i]["stage"], 1);
    EXPECT_EQ(frames[i]["result"], 130);
    // Each attempt waits out the head's read (1.3 s with the main window's
    // time-outs) and the 300 ms pause before the next.
    if (i > 0) {
      const int64_t apart = frames[i]["t_us"].get<int64_t>() - frames[i - 1]["t_us"].get<int64_t>();
      EXPECT_GE(apart, 1'600'000);
      EXPECT_LT(apart, 2'600'000);
    }
  }
  ExpectSameAsLog(frames, sim.Frames());
  // Standard error: the five requests as they went out, no answer.
  EXPECT_EQ(TextLines(run.Err).size(), 5u) << run.Err;
  EXPECT_EQ(LinesWith(run.Err, "→  04 03 00 00 00 01 84 5F  верна  3"), 5u) << run.Err;
  EXPECT_EQ(LinesWith(run.Err, "←"), 0u) << run.Err;
  EXPECT_EQ(LinesWith(run.Err, "нет ответа"), 5u) << run.Err;
}

TEST(ModbusCliMonitor, AttemptsStagesAndResultsMatchTheSimulatorsLogByteForByte) {
  Simulator sim("partial:2\nbadcrc\nok\n");
  const ProgramRun run = sim.Cli(With(kReadTwo, {"--monitor", "--json"}));
  EXPECT_EQ(run.ExitCode, 0) << run.Err;
  const json out = Parsed(run.Out);
  EXPECT_EQ(out["result"], 0);
  EXPECT_EQ(out["answer"], "01 03 04 03 E8 03 E9 BB 3D");
  const json& frames = out["frames"];
  ExpectSameAsLog(frames, sim.Frames());
  ASSERT_EQ(frames.size(), 6u);
  EXPECT_EQ(frames[1]["hex"], "01 03");  // partial:2
  struct Expected {
    int attempt, stage, result;
  };
  // Two bytes are no head: stage 1. The bad CRC fails in stage 2.
  const Expected answers[] = {{1, 1, 129}, {2, 2, 131}, {3, 2, 0}};
  for (int k = 0; k < 3; ++k) {
    SCOPED_TRACE(k);
    const json& request = frames[2 * k];
    const json& answer = frames[2 * k + 1];
    EXPECT_EQ(request["attempt"], answers[k].attempt);
    EXPECT_EQ(request["stage"], 1);
    EXPECT_FALSE(request.contains("result")) << "the answer carries the attempt's result";
    EXPECT_EQ(answer["attempt"], answers[k].attempt);
    EXPECT_EQ(answer["stage"], answers[k].stage);
    EXPECT_EQ(answer["result"], answers[k].result);
    EXPECT_GE(answer["t_us"].get<int64_t>(), request["t_us"].get<int64_t>());
    EXPECT_EQ(answer["latency_us"].get<int64_t>(),
              answer["t_us"].get<int64_t>() - request["t_us"].get<int64_t>());
    EXPECT_GE(answer["end_us"].get<int64_t>(), answer["t_us"].get<int64_t>());
  }
  EXPECT_DOUBLE_EQ(out["latency_ms"].get<double>(), frames[5]["latency_us"].get<double>() / 1000);

  // Standard error: the same six frames as lines, the results in words.
  const auto lines = TextLines(run.Err);
  ASSERT_EQ(lines.size(), 6u) << run.Err;
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string arrow = i % 2 == 0 ? "→  " : "←  ";
    EXPECT_NE(lines[i].find(arrow + frames[i]["hex"].get<std::string>() + "  "), std::string::npos)
        << lines[i];
  }
  EXPECT_NE(lines[1].find("ответ неполный"), std::string::npos) << lines[1];
  EXPECT_NE(lines[3].find("ошибка контрольной суммы"), std::string::npos) << lines[3];
  EXPECT_NE(lines[5].find("ответ принят; итог 0"), std::string::npos) << lines[5];
}

TEST(ModbusCliMonitor, ADelayedAnswerShowsItsLatency) {
  constexpr int kRuns = 10;
  std::string script;
  for (int k = 0; k < kRuns; ++k) script += "delay:60\n";
  Simulator sim(script);
  // Short delays: the link's busy wait after the write would hold a core
  // the simulator may need to take the request in on a loaded machine.
  const ProgramRun run = sim.Cli(With(kReadTwo, {"--count", std::to_string(kRuns), "--tx-delay",
                                                 "1", "--rx-delay", "1", "--monitor", "--json"}));
  EXPECT_EQ(run.ExitCode, 0) << run.Err;
  const json out = Parsed(run.Out);
  const json& frames = out["frames"];
  ExpectSameAsLog(frames, sim.Frames());
  ASSERT_EQ(frames.size(), 2u * kRuns);
  EXPECT_EQ(LinesWith(sim.Log(), "delay 60 ms"), size_t{kRuns});
  std::vector<int64_t> latencies;
  for (int k = 0; k < kRuns; ++k) {
    const json& answer = frames[2 * k + 1];
    EXPECT_EQ(answer["transaction"], k + 1);
    EXPECT_EQ(answer["result"], 0);
    latencies.push_back(answer["latency_us"].get<int64_t>());
  }
  // The simulator waited 60 ms after each request. On a loaded machine any
  // one figure may be off by milliseconds either way (the simulator woken
  // late, or the tool stamping its write late), so the median is judged.
  std::nth_element(latencies.begin(), latencies.begin() + kRuns / 2, latencies.end());
  const int64_t median = latencies[kRuns / 2];
  EXPECT_GE(median, 60'000);
  EXPECT_LE(median, 62'000);
  EXPECT_DOUBLE_EQ(out["latency_ms"].get<double>(),
                   frames[2 * kRuns - 1]["latency_us"].get<double>() / 1000);
  EXPECT_GT(out["latency_ms"].get<double>(), 50.0) << "the delayed answer's, not a prompt one's";
}

TEST(ModbusCliMonitor, EntryModePollingAndBatchCarryTheFramesOfEachClick) {
  Simulator sim("", {"--devices", "1,2"});
  const std::vector<std::string> fast = {"--tx-delay", "1", "--rx-delay", "1"};

  // One click of the window's flow.
  ProgramRun run = sim.Cli(With(fast, {"--request", "3", "--dat1", "0", "--dat2", "2", "--monitor", "--json"}));
  EXPECT_EQ(run.ExitCode, 0) << run.Err;
  json out = Parsed(run.Out);
  EXPECT_EQ(out["answer"], "01 03 04 03 E8 03 E9 BB 3D");
  ASSERT_EQ(out["frames"].size(), 2u) << run.Out;
  EXPECT_EQ(out["frames"][1]["result"], 0);
  EXPECT_DOUBLE_EQ(out["latency_ms"].get<double>(), out["frames"][1]["latency_us"].get<double>() / 1000);
  EXPECT_EQ(TextLines(run.Err).size(), 2u) << run.Err;
  size_t logged = 2;
  ExpectSameAsLog(out["frames"], sim.Frames());

  // Polling: each tick's latency, all frames in the one object.
  run = sim.Cli(With(fast, {"--request", "3", "--dat1", "0", "--dat2", "1", "--count", "3",
                            "--interval", "50", "--monitor", "--json"}));
  EXPECT_EQ(run.ExitCode, 0) << run.Err;
  out = Parsed(run.Out);
  ASSERT_EQ(out["polls"].size(), 3u) << run.Out;
  ASSERT_EQ(out["frames"].size(), 6u) << run.Out;
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(out["frames"][2 * k]["transaction"], k + 1);
    EXPECT_DOUBLE_EQ(out["polls"][k]["latency_ms"].get<double>(),
                     out["frames"][2 * k + 1]["latency_us"].get<double>() / 1000);
  }
  auto log = sim.Frames();
  ExpectSameAsLog(out["frames"], {log.begin() + static_cast<long>(logged), log.end()});
  logged = log.size();

  // A batch: each line's object has that line's frames; the transactions and
  // times run on through the batch.
  const std::string batch =
      "--request 3 --dat1 0 --dat2 1\n"
      "# device 3 is not served\n"
      "--request 4 --dat1 5 --dat2 1 --device 3 --repeats1 2\n"
      "--request 4 --dat1 5 --dat2 1 --device 2\n";
  run = sim.Cli(With(fast, {"--batch", "-", "--monitor"}), batch);
  EXPECT_EQ(run.ExitCode, 0) << run.Err;
  const auto lines = Lines(run.Out);
  ASSERT_EQ(lines.size(), 3u) << run.Out;
  EXPECT_EQ(lines[0]["frames"].size(), 2u);
  EXPECT_EQ(lines[1]["result"], 130);
  EXPECT_TRUE(lines[1]["latency_ms"].is_null());
  ASSERT_EQ(lines[1]["frames"].size(), 2u) << lines[1];
  EXPECT_EQ(lines[1]["frames"][1]["attempt"], 2);
  EXPECT_EQ(lines[1]["frames"][1]["dir"], "tx");
  EXPECT_EQ(lines[2]["result"], 0);
  EXPECT_EQ(lines[2]["frames"][0]["hex"], "02 04 00 05 00 01 21 F8");
  json all = json::array();
  for (const json& line : lines)
    for (const json& frame : line["frames"]) all.push_back(frame);
  log = sim.Frames();
  ExpectSameAsLog(all, {log.begin() + static_cast<long>(logged), log.end()});
  for (size_t i = 1; i < all.size(); ++i) EXPECT_GT(all[i]["t_us"], all[i - 1]["t_us"]);
  EXPECT_EQ(lines[0]["frames"][0]["transaction"], 1);
  EXPECT_EQ(lines[2]["frames"][0]["transaction"], 3);
  EXPECT_EQ(TextLines(run.Err).size(), 6u) << run.Err;

  // The monitor watches the whole run: a line cannot ask for it.
  run = sim.Cli(With(fast, {"--batch", "-"}), "--request 3 --monitor\n");
  EXPECT_EQ(run.ExitCode, 2);
  EXPECT_NE(run.Err.find("--monitor is not taken on a batch line"), std::string::npos) << run.Err;
}

TEST(ModbusCliMonitor, WithoutMonitorTheOutputStaysAsItWas) {
  Simulator sim("", {"--devices", "1,2"});
  const std::vector<std::vector<std::string>> runs = {
      With(kReadTwo, {"--json"}),
      With(kReadTwo, {"--device", "3", "--repeats1", "1", "--json"}),  // not served
      {"--request", "3", "--dat1", "0", "--dat2", "2", "--json"},
      {"--request", "4", "--dat1", "0", "--dat2", "1", "--count", "2", "--interval", "20", "--json"},
  };
  for (const auto& args : runs) {
    std::string trace;
    for (const std::string& arg : args) trace += arg + " ";
    SCOPED_TRACE(trace);
    const ProgramRun plain = sim.Cli(args);
    const ProgramRun watched = sim.Cli(With(args, {"--monitor"}));
    EXPECT_EQ(plain.ExitCode, watched.ExitCode);
    EXPECT_EQ(plain.Err, "");
    EXPECT_NE(watched.Err, "");
    const json out = Parsed(plain.Out);
    EXPECT_FALSE(out.contains("frames"));
    EXPECT_FALSE(out.contains("latency_ms"));
    EXPECT_EQ(out, WithoutMonitorKeys(Parsed(watched.Out)));
  }
  // The readable form adds one line, the latency.
  const ProgramRun plain = sim.Cli(kReadTwo);
  const ProgramRun watched = sim.Cli(With(kReadTwo, {"--monitor"}));
  EXPECT_EQ(plain.Err, "");
  const std::string latency = "latency of the answer (ms): ";
  const size_t at = watched.Out.find(latency);
  ASSERT_NE(at, std::string::npos) << watched.Out;
  EXPECT_EQ(watched.Out.substr(0, at) + watched.Out.substr(watched.Out.find('\n', at) + 1), plain.Out);
}

TEST(ModbusCliMonitor, ALongCountListsTheFramesOfItsLastTransactions) {
  Simulator sim;
  const int count = 1003;  // three more than are listed
  const ProgramRun run = sim.Cli(With(kReadTwo, {"--count", std::to_string(count), "--tx-delay", "1",
                                                 "--rx-delay", "1", "--monitor", "--json"}));
  EXPECT_EQ(run.ExitCode, 0) << run.Err;
  const json out = Parsed(run.Out);
  const json& frames = out["frames"];
  ASSERT_EQ(frames.size(), 2000u);
  EXPECT_EQ(out["frames_omitted"], 6);
  EXPECT_EQ(frames[0]["transaction"], 4);
  EXPECT_EQ(frames[0]["dir"], "tx");
  EXPECT_EQ(frames[1999]["transaction"], count);
  // Standard error had every frame as it came.
  EXPECT_EQ(TextLines(run.Err).size(), 2u * count);
}

TEST(ModbusCliMonitor, APortLostDuringATransactionStillShowsItsRequest) {
  // The answer would come after a second; the terminal goes away before.
  for (const bool entryMode : {false, true}) {
    SCOPED_TRACE(entryMode ? "entry mode" : "plain");
    Simulator sim("delay:1000\n");
    std::thread stop([&sim] {
      std::this_thread::sleep_for(std::chrono::milliseconds(400));
      sim.Stop();
    });
    const ProgramRun run =
        entryMode ? sim.Cli({"--request", "3", "--dat1", "0", "--dat2", "1", "--monitor", "--json"})
                  : sim.Cli({"--request", "3", "--data", "00 00 00 01", "--monitor", "--json"});
    stop.join();
    EXPECT_EQ(run.ExitCode, 1) << run.Err;
    const json out = Parsed(run.Out);
    EXPECT_TRUE(out.contains("error")) << run.Out;
    ASSERT_EQ(out["frames"].size(), 1u) << run.Out;
    EXPECT_EQ(out["frames"][0]["hex"], "01 03 00 00 00 01 84 0A");
    EXPECT_FALSE(out["frames"][0].contains("result")) << "the attempt never ended";
    EXPECT_EQ(LinesWith(run.Err, "→  01 03 00 00 00 01 84 0A"), 1u) << run.Err;
  }
}
