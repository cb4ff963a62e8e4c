// modbus-cli --log and --value against the simulated device: the CSV read
// back equals what the device sent (registers that move, and failed polls as
// lines of their own), files rotate in order without losing a line, and a
// run killed outright leaves every line but the last whole.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "LogLine.h"
#include "PollLogWriter.h"
#include "RegisteredSim.h"
#include "RunProgram.h"
#include "SimLog.h"

using nlohmann::json;
namespace fs = std::filesystem;

namespace {
const std::vector<std::string> kCli = {"--port", "COM7", "--tx-delay", "1", "--rx-delay", "1", "--repeats1", "1",
                                       "--request", "3", "--data", "00 00 00 02"};

class LogFolder {
public:
  LogFolder() : path_(fs::temp_directory_path() / ("cli-log-" + std::to_string(getpid()))) {
    fs::remove_all(path_);
    fs::create_directories(path_);
  }
  ~LogFolder() { fs::remove_all(path_); }
  std::string File(const std::string& name = "run.csv") const { return (path_ / name).string(); }

private:
  fs::path path_;
};

std::vector<std::string> FileLines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find('\n', start);
    lines.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end + 1 - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return lines;
}

std::vector<std::string> Args(std::vector<std::string> more) {
  std::vector<std::string> args = kCli;
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

SimOptions Moving(const std::string& fault = "") {
  SimOptions options;
  options.waves = {*ParseWave("0:counter:0.01"), *ParseWave("1:sine:0.5")};
  if (!fault.empty()) options.faults.push_back(*ParseFault(fault));
  options.seed = 7;
  return options;
}
}  // namespace

TEST(PollLogCli, TheLogReadBackIsWhatTheDeviceSentFailedPollsIncluded) {
  RegisteredSim device(Moving("silence@0.25"));
  LogFolder folder;
  const ProgramRun run = RunProgram(MODBUS_CLI_PATH, Args({"--count", "16", "--log", folder.File(), "--value",
                                                           "0:u16", "--value", "2:s16:ABCD:0.5", "--json"}));
  ASSERT_EQ(run.ExitCode == 0 || run.ExitCode == 1, true) << run.Err;
  const json out = json::parse(run.Out);
  EXPECT_EQ(out["log"]["lines"], 16) << "the series goes on past failed polls";

  const auto lines = FileLines(folder.File());
  ASSERT_EQ(lines.size(), 17u);
  EXPECT_EQ(lines[0], "\xEF\xBB\xBF" "Время;Устройство;Запрос;Данные запроса;Результат;0:u16;2:s16×0.5\r\n");
  // The device's log: each request (RX) and what it sent back (TX), if anything.
  const auto frames = LoggedFrames(device.sim.Log());
  size_t at = 0;
  int good = 0, failed = 0, changes = 0;
  std::string lastCounter;
  int64_t lastTime = 0;
  for (size_t i = 1; i < lines.size(); ++i) {
    const auto poll = ParseLogLine(lines[i], 2);
    ASSERT_TRUE(poll) << lines[i];
    while (at < frames.size() && !frames[at].Received) ++at;
    ASSERT_LT(at, frames.size()) << "a line for a request the device never received";
    ++at;
    const bool answered = at < frames.size() && !frames[at].Received;
    EXPECT_GE(poll->SystemUs, lastTime);
    lastTime = poll->SystemUs;
    EXPECT_EQ(poll->Device, 1);
    EXPECT_EQ(poll->RequestData, (std::vector<uint8_t>{0, 0, 0, 2}));
    if (!answered) {
      EXPECT_EQ(poll->Result, 130) << lines[i];
      EXPECT_EQ(poll->Values, (std::vector<std::string>{"", ""}));
      ++failed;
      continue;
    }
    const std::vector<uint8_t>& answer = frames[at].Bytes;
    ASSERT_EQ(answer.size(), 9u);
    EXPECT_EQ(poll->Result, 0) << lines[i];
    const int counter = answer[3] << 8 | answer[4];
    const int sine = static_cast<int16_t>(answer[5] << 8 | answer[6]);
    EXPECT_EQ(poll->Values[0], std::to_string(counter));
    const std::string half = sine % 2 ? std::to_string(sine / 2) + ",5" : std::to_string(sine / 2);
    EXPECT_EQ(poll->Values[1], half) << "a decimal comma";
    changes += !lastCounter.empty() && lastCounter != poll->Values[0];
    lastCounter = poll->Values[0];
    ++good;
  }
  EXPECT_GT(failed, 0) << "seed 7 silences some answers";
  EXPECT_GT(good, failed);
  EXPECT_GT(changes, 0) << "the registers moved while polled";
  // The last answer's values in the JSON.
  ASSERT_EQ(out["values"].size(), 2u);
  EXPECT_EQ(out["values"][0]["name"], "0:u16");
  EXPECT_EQ(out["values"][1]["scale"], 0.5);
}

TEST(PollLogCli, FilesRotateInOrderWithoutLosingALine) {
  RegisteredSim device(Moving());
  LogFolder folder;
  const ProgramRun run = RunProgram(MODBUS_CLI_PATH, Args({"--count", "60", "--log", folder.File(), "--log-max-mb",
                                                           "0.001", "--value", "0:u16", "--json"}));
  ASSERT_EQ(run.ExitCode, 0) << run.Err;
  const json out = json::parse(run.Out);
  EXPECT_EQ(out["log"]["lines"], 60);
  EXPECT_EQ(out["log"]["first_file"], folder.File());
  const int files = out["log"]["files"];
  EXPECT_GE(files, 3);
  EXPECT_EQ(out["log"]["last_file"], PollLogWriter::NumberedPath(folder.File(), files));

  size_t polls = 0;
  int64_t lastTime = 0;
  long lastCounter = -1;
  for (int number = 1; number <= files; ++number) {
    const std::string path = PollLogWriter::NumberedPath(folder.File(), number);
    EXPECT_LE(fs::file_size(path), 1049u) << path << ": 0.001 MB";
    const auto lines = FileLines(path);
    ASSERT_GE(lines.size(), 2u) << path;
    EXPECT_NE(lines[0].find("0:u16"), std::string::npos) << "each file names its values";
    for (size_t i = 1; i < lines.size(); ++i) {
      const auto poll = ParseLogLine(lines[i], 1);
      ASSERT_TRUE(poll) << path << ": " << lines[i];
      EXPECT_GE(poll->SystemUs, lastTime);
      EXPECT_GE(std::stol(poll->Values[0]), lastCounter) << "the counter never runs back across files";
      lastTime = poll->SystemUs;
      lastCounter = std::stol(poll->Values[0]);
      ++polls;
    }
  }
  EXPECT_EQ(polls, 60u);
  EXPECT_FALSE(fs::exists(PollLogWriter::NumberedPath(folder.File(), files + 1)));
  EXPECT_EQ(device.Received().size(), 60u);
}

TEST(PollLogCli, KilledOutrightEveryLineButTheLastIsWhole) {
  RegisteredSim device;
  LogFolder folder;
  const size_t before = device.Received().size();
  RunProgram(MODBUS_CLI_PATH, Args({"--count", "1000000", "--log", folder.File(), "--value", "0:u16"}),
             std::chrono::seconds(60), std::nullopt,
             SignalWhen{SIGKILL, [&] { return device.Received().size() >= before + 40; }});
  const auto lines = FileLines(folder.File());
  ASSERT_GE(lines.size(), 40u) << "the 39 polls before the 40th request, and the title";
  for (size_t i = 1; i + 1 < lines.size(); ++i) {
    const auto poll = ParseLogLine(lines[i], 1);
    ASSERT_TRUE(poll) << i << ": " << lines[i];
    EXPECT_EQ(poll->Values[0], "1000");
  }
  // The last may have been cut by the kill; if it ends its line, it is whole.
  if (lines.back().back() == '\n') {
    EXPECT_TRUE(ParseLogLine(lines.back(), 1)) << lines.back();
  }
  // The next run goes on in a file of its own.
  const ProgramRun next = RunProgram(MODBUS_CLI_PATH, Args({"--log", folder.File(), "--json"}));
  ASSERT_EQ(next.ExitCode, 0) << next.Err;
  EXPECT_EQ(json::parse(next.Out)["log"]["first_file"], folder.File("run.2.csv"));
}

TEST(PollLogCli, MistakesAreRefusedBeforeAnythingIsSent) {
  RegisteredSim device;
  LogFolder folder;
  struct Refused {
    std::vector<std::string> Args;
    const char* Says;
  };
  const std::vector<Refused> cases = {
      {{"--port", "COM7", "--request", "3", "--dat2", "1", "--log", folder.File()}, "--log goes with --data"},
      {Args({"--log-max-mb", "1"}), "--log-max-mb goes with --log"},
      {Args({"--value", "0:u8"}), "u16 s16"},
      {Args({"--value", "0:f32:ABDC"}), "ABCD CDAB"},
      {Args({"--log", folder.File("missing/run.csv")}), "missing"},
      {Args({"--log", folder.File(), "--log-max-mb", "0"}), "--log-max-mb"}};
  for (const Refused& refused : cases) {
    const ProgramRun run = RunProgram(MODBUS_CLI_PATH, refused.Args);
    EXPECT_EQ(run.ExitCode, 2) << refused.Says;
    EXPECT_NE(run.Err.find(refused.Says), std::string::npos) << run.Err;
  }
  EXPECT_TRUE(device.Received().empty());
  EXPECT_FALSE(fs::exists(folder.File())) << "a refused run leaves no log";
}
