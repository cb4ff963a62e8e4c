// modbus-cli in entry mode, as a program against the simulated device on
// COM7: the main window's request flow without a window, one click, polling,
// and batches of clicks that keep the window's state.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "ComPort.h"
#include "ComPortClass.h"
#include "EntryField.h"
#include "GridFile.h"
#include "GridTexts.h"
#include "MainPortProperties.h"
#include "MainWindowState.h"
#include "RecordingOperator.h"
#include "RegisteredSim.h"
#include "ReplyScript.h"
#include "RequestDispatcher.h"
#include "RunProgram.h"
#include "ServClass.h"
#include "SimLog.h"

using nlohmann::json;
using Clock = std::chrono::steady_clock;

namespace {
const std::vector<std::string> kFast = {"--port", "COM7", "--tx-delay", "1", "--rx-delay", "1"};

ProgramRun Cli(std::initializer_list<std::string> args,
               const std::optional<std::string>& input = std::nullopt) {
  std::vector<std::string> all = kFast;
  all.insert(all.end(), args);
  return RunProgram(MODBUS_CLI_PATH, all, std::chrono::seconds(30), input);
}

json Parsed(const std::string& text) {
  EXPECT_TRUE(json::accept(text)) << text;
  return json::accept(text) ? json::parse(text) : json::object();
}

// One JSON object per line of a batch's output.
std::vector<json> Lines(const ProgramRun& run) {
  std::vector<json> lines;
  std::istringstream in(run.Out);
  for (std::string line; std::getline(in, line);) lines.push_back(Parsed(line));
  return lines;
}

std::vector<uint8_t> BytesOf(const std::string& hex) {
  std::vector<uint8_t> bytes;
  std::istringstream in(hex);
  for (std::string pair; in >> pair;) bytes.push_back(static_cast<uint8_t>(std::stoul(pair, nullptr, 16)));
  return bytes;
}

SimOptions WithScript(const std::string& script, int busyPolls = 3) {
  SimOptions options;
  std::istringstream in(script);
  options.script = *ParseScript(in);
  options.busy.polls = busyPolls;
  return options;
}

class TempDir {
public:
  TempDir() {
    char pattern[] = "/tmp/modbus-cli-entry-XXXXXX";
    if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp");
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  std::string File(const std::string& name, const std::optional<std::string>& content = {}) const {
    const std::string path = (path_ / name).string();
    if (content) std::ofstream(path, std::ios::binary) << *content;
    return path;
  }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
  }

private:
  std::filesystem::path path_;
};

std::string Row(std::initializer_list<std::string> cells) {
  std::string line;
  bool first = true;
  for (const auto& cell : cells) {
    if (!first) line += '\t';
    line += cell;
    first = false;
  }
  return line + "\n";
}

GridTexts GridOf(const std::string& text) {
  std::string error;
  const auto grid = ParseGridText(text, error);
  EXPECT_TRUE(grid) << error;
  return grid ? *grid : GridTexts{};
}
std::string EmptyRow() { return std::string(15, '\t') + "\n"; }

// The main window's side of the comparison: the dispatcher on a window of
// plain fields, in this process, against a simulator of its own.
class WindowRig {
public:
  struct Entry : EntryField {
    std::string text = "0";
    std::string Text() const override { return text; }
    void SetText(const std::string& t) override { text = t; }
    void SetBackground(uint8_t, uint8_t, uint8_t) override {}
  };
  struct Window : MainWindowState {
    Entry zapr, dat1, dat2;
    GridTexts grid{};
    std::array<std::string, 20> fields;
    bool polling = false;
    Window() { fields.fill("0"); }
    EntryField& RequestEntry() override { return zapr; }
    EntryField& Data1Entry() override { return dat1; }
    EntryField& Data2Entry() override { return dat2; }
    std::string Cell(int c, int r) const override {
      return c < 16 ? grid[static_cast<size_t>(r - 1)][static_cast<size_t>(c)] : "";
    }
    void SetCell(int c, int r, const std::string& t) override {
      grid[static_cast<size_t>(r - 1)][static_cast<size_t>(c)] = t;
    }
    void SetField(int n, const std::string& t) override { fields[static_cast<size_t>(n - 1)] = t; }
    void ResetGridFontColour() override {}
    bool PollTimerEnabled() const override { return polling; }
    void TogglePollTimer() override { polling = !polling; }
  };

  WindowRig() {
    LoadMainPortProperties(port);
    port.SetPort(sim.SlavePath());
    port.Open();
    link.SetTxDelay(1);
    link.SetRxDelay(1);
  }
  void Click(const std::string& zapr, const std::string& d1, const std::string& d2) {
    window.zapr.text = zapr;
    window.dat1.text = d1;
    window.dat2.text = d2;
    dispatcher.Button1Click();
  }

  RunningSim sim;
  TComPort port;
  RecordingOperator boxes;
  TComPortClass link{port, boxes};
  TServClass store{boxes, [] {}};
  Window window;
  TRequestDispatcher dispatcher{link, store, window, boxes};
};

std::vector<std::string> Received(const RunningSim& sim) { return ReceivedHex(sim.Log()); }
}  // namespace

TEST(EntryMode, ReadHoldingRegistersShowsFieldsAndGridAsTheWindow) {
  RegisteredSim device;
  const ProgramRun run = Cli({"--request", "3", "--dat1", "0", "--dat2", "10", "--json"});
  EXPECT_EQ(run.ExitCode, 0) << run.Err;
  EXPECT_EQ(device.Received(), std::vector<std::string>{"01 03 00 00 00 0A C5 CD"});
  const json out = Parsed(run.Out);
  EXPECT_EQ(out["result"], 0);
  const std::vector<uint8_t> answer = BytesOf(out["answer"]);
  ASSERT_EQ(answer.size(), 25u);
  EXPECT_EQ(answer[3], 0x03);  // register 0 of device 1 holds 1000
  EXPECT_EQ(answer[4], 0xE8);

  const json& fields = out["fields"];
  ASSERT_EQ(fields.size(), 20u);
  EXPECT_EQ(fields[0], "1");
  EXPECT_EQ(fields[1], "3");
  EXPECT_EQ(fields[2], "20");
  for (size_t n = 3; n < 20; ++n) EXPECT_EQ(fields[n], Hex2(answer[n])) << n;

  // Rows 1 and 2: the 20 data bytes and the CRC; "00" to the end of row 13; 14..16 empty.
  const json& grid = out["grid"];
  ASSERT_EQ(grid.size(), 16u);
  for (size_t r = 0; r < 16; ++r) {
    ASSERT_EQ(grid[r].size(), 16u);
    for (size_t c = 0; c < 16; ++c) {
      const size_t i = r * 16 + c;
      const std::string expected = r >= 13 ? "" : i < 22 ? Hex2(answer[3 + i]) : "00";
      EXPECT_EQ(grid[r][c], expected) << "row " << r + 1 << " column " << c;
    }
  }
  EXPECT_TRUE(out["boxes"].empty());
  EXPECT_TRUE(out["message"].is_null());
  EXPECT_EQ(out["entries"]["EditDat2"], "10");
  EXPECT_FALSE(out.contains("polls"));

  // The readable form: the fields on one line, the rows tab-separated.
  const ProgramRun text = Cli({"--request", "3", "--dat2", "10"});
  EXPECT_EQ(text.ExitCode, 0);
  EXPECT_NE(text.Out.find("fields: 1 3 20 03 E8 03 E9 "), std::string::npos) << text.Out;
  EXPECT_NE(text.Out.find("\n03\tE8\t03\tE9\t03\tEA\t03\tEB\t03\tEC\t03\tED\t03\tEE\t03\tEF\n"),
            std::string::npos)
      << text.Out;
  EXPECT_NE(text.Out.find("\n" + std::string(15, '\t') + "\n"), std::string::npos);
}

TEST(EntryMode, SendsAndShowsWhatTheWindowsFlowDoes) {
  // The same clicks through the window's dispatcher in this process and
  // through a modbus-cli batch, each against a simulator of its own.
  const std::string table = Row({"A5", "01", "7"}) + Row({"16", "", "255"});
  const GridTexts grid = GridOf(table);
  const std::vector<std::array<std::string, 3>> clicks = {
      {"3", "0", "10"}, {"5", "1A", "1"}, {"5", "1A", "2"},  {"1", "26", "1"},  {"261", "1B", "1"},
      {"2", "3", "10"}, {"15", "0", "9"}, {"67", "5", "0"},  {"71", "1", "2"},  {"68", "3", "0"},
      {"4", "65538", "3"}, {"16", "0", "0"}};

  WindowRig window;
  window.window.grid = grid;
  std::vector<json> windowStates;
  for (const auto& [zapr, d1, d2] : clicks) {
    window.Click(zapr, d1, d2);
    windowStates.push_back({{"fields", window.window.fields}, {"grid", window.window.grid}});
  }

  RegisteredSim device;
  TempDir dir;
  std::string batch = "--grid " + dir.File("table.tsv", table) + " --request 3 --dat1 0 --dat2 10\n";
  for (size_t i = 1; i < clicks.size(); ++i)
    batch += "--request " + clicks[i][0] + " --dat1 " + clicks[i][1] + " --dat2 " + clicks[i][2] + "\n";
  const ProgramRun run = Cli({"--batch", "-"}, batch);
  const std::vector<json> lines = Lines(run);
  ASSERT_EQ(lines.size(), clicks.size()) << run.Out << run.Err;

  EXPECT_EQ(device.Received(), Received(window.sim));
  EXPECT_EQ(device.Received().size(), clicks.size() - 1) << "code 16 is refused by the link";
  for (size_t i = 0; i < clicks.size(); ++i) {
    EXPECT_EQ(lines[i]["fields"], windowStates[i]["fields"]) << "click " << i;
    EXPECT_EQ(lines[i]["grid"], windowStates[i]["grid"]) << "click " << i;
  }
  EXPECT_EQ(device.Received()[0], "01 03 00 00 00 0A C5 CD");
  EXPECT_EQ(lines.back()["message"], "устройство 1 COM7 ошибка обмена 01");
  EXPECT_EQ(run.ExitCode, 1) << "the last click was refused";
}

TEST(EntryMode, ChecksEndTheClickWithTheirBoxAndSendNothing) {
  RegisteredSim device;
  ProgramRun run = Cli({"--request", "15", "--dat2", "9", "--json"});
  EXPECT_EQ(run.ExitCode, 1);
  json out = Parsed(run.Out);
  EXPECT_TRUE(out["result"].is_null());
  ASSERT_EQ(out["boxes"].size(), 1u);
  EXPECT_EQ(out["boxes"][0],
            json({{"text", "Занесите данные в таблицу"}, {"caption", "Предупреждение"},
                  {"icon", "warning"}, {"buttons", "ok"}, {"answer", "ok"}}));
  EXPECT_TRUE(out["message"].is_null()) << "a warning is no outcome report";

  // A grid with data, but an empty first cell, is still empty for the request.
  TempDir dir;
  run = Cli({"--request", "15", "--dat2", "9", "--grid", dir.File("g", Row({"", "01", "02"})),
             "--json"});
  EXPECT_EQ(run.ExitCode, 1);
  EXPECT_EQ(Parsed(run.Out)["boxes"][0]["text"], "Занесите данные в таблицу");

  // Quantity 0: the input error on EditDat2, which then holds "00".
  run = Cli({"--request", "15", "--dat2", "0", "--json"});
  out = Parsed(run.Out);
  EXPECT_EQ(out["boxes"][0]["text"], " Ошибка ввода ");
  EXPECT_EQ(out["boxes"][0]["caption"], "Ошибка");
  EXPECT_EQ(out["boxes"][0]["icon"], "error");
  EXPECT_EQ(out["entries"]["EditDat2"], "00");

  run = Cli({"--request", "69", "--dat1", "3", "--json"});
  EXPECT_EQ(Parsed(run.Out)["boxes"][0]["text"], "не та база - запросите 68");

  // An entry that is no number: the conversion error, nothing sent.
  run = Cli({"--request", "3", "--dat1", "zz", "--json"});
  EXPECT_EQ(run.ExitCode, 1);
  out = Parsed(run.Out);
  EXPECT_TRUE(out["result"].is_null());
  EXPECT_EQ(out["error"], "'zz' is not a valid integer value");
  run = Cli({"--request", "3x", "--dat1", "0"});
  EXPECT_EQ(run.ExitCode, 1);
  EXPECT_NE(run.Out.find("error: '3x' is not a valid integer value"), std::string::npos) << run.Out;
  EXPECT_TRUE(device.Received().empty());

  // The port stays the port: one that cannot be opened is exit 3 here too.
  run = RunProgram(MODBUS_CLI_PATH, {"--port", "COM58", "--request", "3", "--dat1", "0", "--json"});
  EXPECT_EQ(run.ExitCode, 3);
}

TEST(EntryMode, BatchReadsEditsAndWritesAModuleDatabase) {
  RegisteredSim device(WithScript("", 0));  // the device is not busy after a write
  TempDir dir;
  const std::string read = dir.File("read.tsv");
  ProgramRun run = Cli({"--batch", dir.File("b1", "--request 68 --dat1 3 --grid-out '" + read + "'\n")});
  ASSERT_EQ(run.ExitCode, 0) << run.Out << run.Err;
  GridTexts database = GridOf(TempDir::Read(read));
  ASSERT_EQ(database[0][0], "03");
  const GridTexts original = database;
  database[0][5] = "AB";
  database[3][7] = "c4";  // the last byte of module 3's 56: typed in lower case
  std::string edited = FormatGridText(database);

  run = Cli({"--batch", "-"}, "--request 68 --dat1 3\n"
                              "--request 69 --dat1 5 --yes --grid " + dir.File("edited.tsv", edited) + "\n"
                              "# read it back from module 5\n"
                              "\n"
                              "--request 68 --dat1 5\n");
  const std::vector<json> lines = Lines(run);
  ASSERT_EQ(lines.size(), 3u) << run.Out << run.Err;
  EXPECT_EQ(run.ExitCode, 0);
  EXPECT_EQ(lines[0]["line"], 1);
  EXPECT_EQ(lines[1]["line"], 2);
  EXPECT_EQ(lines[2]["line"], 5);
  ASSERT_EQ(lines[1]["boxes"].size(), 1u);
  EXPECT_EQ(lines[1]["boxes"][0],
            json({{"text", "В памяти база модуля 3\nзаписать ее в заданный модуль?"},
                  {"caption", "Подтвердите запись базы данных"}, {"icon", "question"},
                  {"buttons", "yes-no"}, {"answer", "yes"}}));
  EXPECT_EQ(lines[1]["result"], 0) << "the completion poll after the write";

  const auto frames = device.Received();
  ASSERT_EQ(frames.size(), 5u);  // 68 (first batch); 68, 69, one 14, 68
  EXPECT_EQ(frames[2].substr(0, 8), "01 45 05");
  EXPECT_EQ(BytesOf(frames[2]).size(), 2 + 56 + 2u);
  EXPECT_EQ(frames[3], "01 0E 81 E4");

  const json& back = lines[2]["grid"];
  EXPECT_EQ(back[0][0], "05") << "the database carries the target module's number";
  EXPECT_EQ(back[0][5], "AB");
  EXPECT_EQ(back[3][7], "C4");
  for (size_t i = 1; i < 56; ++i) {
    if (i == 5 || i == 55) continue;
    EXPECT_EQ(back[i / 16][i % 16], original[i / 16][i % 16]) << i;
  }
  EXPECT_EQ(lines[2]["fields"][2], "56");
}

TEST(EntryMode, NoSendsNothingAndShowsTheConfirmation) {
  RegisteredSim device(WithScript("", 0));
  for (const std::string answer : {"", " --no"}) {
    const ProgramRun run =
        Cli({"--batch", "-"}, "--request 68 --dat1 3\n--request 69 --dat1 5" + answer + "\n");
    const std::vector<json> lines = Lines(run);
    ASSERT_EQ(lines.size(), 2u) << run.Out << run.Err;
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_TRUE(lines[1]["result"].is_null());
    ASSERT_EQ(lines[1]["boxes"].size(), 1u);
    EXPECT_EQ(lines[1]["boxes"][0]["text"], "В памяти база модуля 3\nзаписать ее в заданный модуль?");
    EXPECT_EQ(lines[1]["boxes"][0]["answer"], "no");
    EXPECT_EQ(lines[1]["grid"], lines[0]["grid"]);
  }
  EXPECT_EQ(device.Received().size(), 2u) << "only the two reads";
}

TEST(EntryMode, BatchKeepsEntriesDeviceAndSettingsBetweenLines) {
  RegisteredSim device;
  const ProgramRun run = Cli({"--batch", "-"},
                             "--request 5 --dat1 1A --dat2 1\n"
                             "--dat2 0   # request and coil address stay\n"
                             "--request '3' --dat1 \"0\" --dat2 2 --device 2 --repeats1 1\n"
                             "--request 3\n"
                             "--device 1\n"
                             "--port COM8\n"
                             "--request 3\n");
  const std::vector<json> lines = Lines(run);
  ASSERT_EQ(lines.size(), 6u) << run.Out << run.Err;
  EXPECT_EQ(run.ExitCode, 2) << "a line with a port option ends the batch";
  const auto frames = device.Received();
  ASSERT_EQ(frames.size(), 5u);
  EXPECT_EQ(frames[0].substr(0, 17), "01 05 00 1A FF 00");
  EXPECT_EQ(frames[1].substr(0, 17), "01 05 00 1A 00 00");
  EXPECT_EQ(frames[2].substr(0, 17), "02 03 00 00 00 02");
  EXPECT_EQ(frames[3].substr(0, 17), "02 03 00 00 00 02") << "device and entries kept";
  EXPECT_EQ(frames[4].substr(0, 17), "01 03 00 00 00 02");
  EXPECT_EQ(lines[2]["result"], 130);
  EXPECT_EQ(lines[2]["message"], "устройство 2 COM7 не отвечает на запрос");
  EXPECT_EQ(lines[4]["result"], 0);
  EXPECT_EQ(lines[5]["line"], 6);
  EXPECT_EQ(lines[5]["usage"], true);
  EXPECT_NE(run.Err.find("--port"), std::string::npos);

  // A line that cannot be split or parsed ends the batch the same way.
  for (const std::string bad : {"--request '3\n", "--nonsense\n", "--data 00\n", "--grid -\n",
                                "--grid-out -\n", "--count 0\n"}) {
    const ProgramRun refused = Cli({"--batch", "-"}, bad + "--request 3\n");
    EXPECT_EQ(refused.ExitCode, 2) << bad;
    ASSERT_EQ(Lines(refused).size(), 1u) << bad << refused.Out;
    EXPECT_EQ(Lines(refused)[0]["usage"], true) << bad;
  }
  EXPECT_EQ(device.Received().size(), 5u);
}

TEST(EntryMode, EveryBroadcastOfABatchReachesTheDeviceBeforeTheNextRequest) {
  RegisteredSim device;
  std::string batch;
  constexpr size_t kPairs = 100;
  for (size_t i = 0; i < kPairs; ++i) batch += "--request 70\n--request 3 --dat2 1\n";
  const ProgramRun run = RunProgram(MODBUS_CLI_PATH,
                                    {"--port", "COM7", "--tx-delay", "1", "--rx-delay", "1",
                                     "--batch", "-"},
                                    std::chrono::seconds(30), batch);
  EXPECT_EQ(run.ExitCode, 0) << run.Err;
  const std::vector<json> lines = Lines(run);
  ASSERT_EQ(lines.size(), 2 * kPairs);
  for (const json& line : lines) EXPECT_EQ(line["result"], 0) << line.dump();
  const auto frames = device.Received();
  ASSERT_EQ(frames.size(), 2 * kPairs);
  for (size_t i = 0; i < frames.size(); i += 2) {
    EXPECT_EQ(frames[i].substr(0, 5), "00 46") << i;
    EXPECT_EQ(BytesOf(frames[i]).size(), 11u) << frames[i];
    EXPECT_EQ(frames[i + 1], "01 03 00 00 00 01 84 0A") << i + 1;
  }
}

TEST(EntryMode, PollingStopsAtTheFirstFailureWithoutItsReport) {
  RegisteredSim device(WithScript("ok\nok\nok\nsilence\n"));
  auto start = Clock::now();
  ProgramRun run = Cli({"--request", "3", "--dat2", "2", "--count", "10", "--interval", "100",
                        "--repeats1", "1", "--json"});
  auto elapsed = Clock::now() - start;
  EXPECT_EQ(run.ExitCode, 1);
  json out = Parsed(run.Out);
  EXPECT_EQ(out["polls"], json::parse(R"([{"result":0},{"result":0},{"result":0},{"result":130}])"));
  EXPECT_EQ(out["result"], 130);
  EXPECT_TRUE(out["boxes"].empty()) << out["boxes"];
  EXPECT_TRUE(out["message"].is_null());
  EXPECT_EQ(device.Received().size(), 4u);
  EXPECT_GE(elapsed, std::chrono::milliseconds(4 * 100));
  EXPECT_EQ(out["fields"][0], "0") << "the silent answer is shown";

  // All good: N clicks, the first one interval after the start.
  start = Clock::now();
  run = Cli({"--request", "3", "--dat2", "2", "--count", "1", "--interval", "400", "--json"});
  elapsed = Clock::now() - start;
  EXPECT_EQ(run.ExitCode, 0);
  EXPECT_EQ(Parsed(run.Out)["polls"], json::parse(R"([{"result":0}])"));
  EXPECT_GE(elapsed, std::chrono::milliseconds(400));
  run = Cli({"--request", "3", "--dat2", "2", "--count", "3", "--interval", "50"});
  EXPECT_EQ(run.ExitCode, 0);
  EXPECT_NE(run.Out.find("polls: 0 0 0\n"), std::string::npos) << run.Out;
  EXPECT_EQ(device.Received().size(), 8u);

  // A check that ends the click also ends polling; its box is shown.
  run = Cli({"--request", "15", "--dat2", "9", "--count", "3", "--interval", "20", "--json"});
  out = Parsed(run.Out);
  EXPECT_EQ(out["polls"], json::parse(R"([{"result":null}])"));
  EXPECT_EQ(out["boxes"].size(), 1u);
}

TEST(EntryMode, ACode14FailureThatEndsPollingIsReported) {
  RegisteredSim device(WithScript("ok\nexception:3\n"));
  const ProgramRun run = Cli({"--request", "14", "--count", "5", "--interval", "30", "--json"});
  EXPECT_EQ(run.ExitCode, 1);
  const json out = Parsed(run.Out);
  EXPECT_EQ(out["polls"], json::parse(R"([{"result":0},{"result":3}])"));
  EXPECT_EQ(out["message"], "устройство 1 COM7 ошибка обмена 03");
  EXPECT_EQ(out["answer"], "01 8E 03");
}

TEST(EntryMode, GridAndBatchInputsAreBoundedAndChecked) {
  RegisteredSim device;
  TempDir dir;
  const std::string folder = dir.File("folder");
  std::filesystem::create_directory(folder);
  // Endless inputs end with a refusal instead of filling the memory.
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"--request", "15", "--dat2", "1", "--grid", "/dev/zero"},
           {"--request", "15", "--dat2", "1", "--grid", folder},
           {"--batch", "/dev/zero"},
           {"--batch", folder}}) {
    std::vector<std::string> all = kFast;
    all.insert(all.end(), args.begin(), args.end());
    const ProgramRun refused = RunProgram(MODBUS_CLI_PATH, all, std::chrono::seconds(20));
    EXPECT_EQ(refused.ExitCode, 2) << args.back() << refused.Out << refused.Err;
    EXPECT_FALSE(refused.Err.empty()) << args.back();
  }
  ProgramRun run = Cli({"--request", "15", "--dat2", "1", "--grid", folder});
  EXPECT_NE(run.Err.find("is a directory"), std::string::npos) << run.Err;
  run = Cli({"--request", "15", "--dat2", "1", "--grid", "-"}, std::string(100000, 'A'));
  EXPECT_EQ(run.ExitCode, 2);
  EXPECT_NE(run.Err.find("standard input: longer than 65536 bytes"), std::string::npos) << run.Err;

  // A NUL byte on a batch line is refused whole, not cut short in the texts.
  run = Cli({"--batch", "-"}, std::string("--request 3\0xyz --dat2 1\n--request 3\n", 37));
  EXPECT_EQ(run.ExitCode, 2);
  ASSERT_EQ(Lines(run).size(), 1u) << run.Out;
  EXPECT_EQ(Lines(run)[0]["error"], "a NUL byte is not taken on a batch line");
  EXPECT_TRUE(device.Received().empty());
}

TEST(EntryMode, GridFilesRoundTrip) {
  RegisteredSim device;
  TempDir dir;
  // Five lines, short rows, an empty line, CRLF, blanks kept inside cells.
  const std::string given = Row({"A5", "", "01"}) + "\n" + Row({" 7", "x y"}) + "1\t2\r\n" +
                            std::string(15, '\t') + "F";
  const std::string in = dir.File("in.tsv", given), out = dir.File("out.tsv");
  ProgramRun run = Cli({"--request", "1", "--dat2", "1", "--grid", in, "--grid-out", out});
  EXPECT_EQ(run.ExitCode, 0) << run.Err;
  const std::string written = TempDir::Read(out);
  std::string expected = std::string("A5\t\t01") + std::string(13, '\t') + "\n" +
                         EmptyRow() + " 7\tx y" + std::string(14, '\t') + "\n" +
                         "1\t2" + std::string(14, '\t') + "\n" + std::string(15, '\t') + "F\n";
  for (int r = 5; r < 16; ++r) expected += EmptyRow();
  EXPECT_EQ(written, expected) << "code 1 leaves the grid as it was given";

  // Through the standard streams: the grid alone on standard output.
  run = Cli({"--request", "1", "--dat2", "1", "--grid", "-", "--grid-out", "-"}, written);
  EXPECT_EQ(run.ExitCode, 0);
  EXPECT_EQ(run.Out, written);
  EXPECT_NE(run.Err.find("result: 0"), std::string::npos) << run.Err;

  // A read replaces the grid, and --grid-out takes what the display left.
  run = Cli({"--request", "3", "--dat2", "1", "--grid", in, "--grid-out", "-"});
  EXPECT_EQ(run.Out.substr(0, 6), "03\tE8\t");
  EXPECT_EQ(run.Out.substr(run.Out.size() - 3 * 16), EmptyRow() + EmptyRow() + EmptyRow());

  const std::string seventeen = dir.File("17.tsv", std::string(17, '\n'));
  const std::string wide = dir.File("wide.tsv", std::string(16, '\t') + "\n");
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"--request", "1", "--grid", seventeen},
           {"--request", "1", "--grid", wide},
           {"--request", "1", "--grid", dir.File("missing.tsv")},
           {"--request", "1", "--grid-out", "-", "--json"},
           {"--request", "3", "--dat1", "0", "--data", "00"},
           {"--request", "69", "--yes", "--no"},
           {"--batch", "-", "--request", "3"},
           {"--dat1", "0"},
           {"--request", "3", "--interval", "0"}}) {
    std::vector<std::string> all = kFast;
    all.insert(all.end(), args.begin(), args.end());
    const ProgramRun refused = RunProgram(MODBUS_CLI_PATH, all);
    EXPECT_EQ(refused.ExitCode, 2) << args.back();
    EXPECT_TRUE(refused.Out.empty()) << args.back();
    EXPECT_FALSE(refused.Err.empty()) << args.back();
  }
  EXPECT_EQ(device.Received().size(), 3u);
}

// The copy of a module's database in a batch, with a read that fails between:
// nothing of the failed read, and nothing read before it, is written.
TEST(EntryMode, AFailedReadInABatchIsNeverWrittenBack) {
  // Two repeats: the second read is cut short twice, then all is well again.
  RegisteredSim device(WithScript("ok\npartial:10\npartial:10\n", 0));
  const ProgramRun run = Cli({"--repeats2", "2", "--batch", "-"},
                             "--request 68 --dat1 5\n"
                             "--request 68 --dat1 5\n"
                             "--request 69 --dat1 5 --yes\n"
                             "--request 69 --dat1 0\n"
                             "--request 68 --dat1 5\n");
  const std::vector<json> lines = Lines(run);
  ASSERT_EQ(lines.size(), 5u) << run.Out << run.Err;
  EXPECT_EQ(lines[1]["result"], 129);
  for (size_t i : {2u, 3u}) {
    EXPECT_TRUE(lines[i]["result"].is_null()) << "nothing sent on line " << i + 1;
    ASSERT_EQ(lines[i]["boxes"].size(), 1u);
    EXPECT_EQ(lines[i]["boxes"][0]["text"], "не та база - запросите 68");
  }
  EXPECT_EQ(lines[4]["result"], 0);
  EXPECT_EQ(lines[4]["grid"], lines[0]["grid"]) << "module 5 kept its database";
  for (const std::string& frame : device.Received()) EXPECT_NE(frame.substr(0, 5), "01 45") << frame;
}

// Only a click's options go on a batch line; the finder's, the output's and
// the run's own options end the batch before anything more is sent.
TEST(EntryMode, BatchLinesTakeOnlyClickOptions) {
  RegisteredSim device(WithScript("", 0));
  size_t sent = 0;
  for (const std::string foreign : {"--scan", "--first", "--first-setting", "--margin-ms 10",
                                    "--probe '03 00 00 00 01'", "--addresses 1", "--bauds 9600",
                                    "--frames N2", "--json", "--monitor", "--baud 9600"}) {
    const ProgramRun run = Cli({"--batch", "-"}, "--request 68 --dat1 5\n" + foreign +
                                                     "\n--request 69 --dat1 5 --yes\n");
    const std::vector<json> lines = Lines(run);
    EXPECT_EQ(run.ExitCode, 2) << foreign;
    ASSERT_EQ(lines.size(), 2u) << foreign << run.Out;
    EXPECT_EQ(lines[1]["usage"], true) << foreign;
    EXPECT_NE(run.Err.find(foreign.substr(0, foreign.find(' '))), std::string::npos) << run.Err;
    sent += 1;
    EXPECT_EQ(device.Received().size(), sent) << foreign << ": only the first line's read";
  }
  // The settings a window keeps between clicks are taken.
  const ProgramRun run = Cli({"--batch", "-"}, "--request 3 --dat2 1 --device 1 --repeats1 1 "
                                               "--repeats2 1 --tx-delay 2 --rx-delay 2\n");
  EXPECT_EQ(run.ExitCode, 0) << run.Out << run.Err;
}

// --grid-out replaces its file only after a click that ended well, and never
// leaves a part-written file.
TEST(EntryMode, GridOutKeepsTheFileWhenTheClickFails) {
  RegisteredSim device(WithScript("", 0));
  TempDir dir;
  const std::string backup = dir.File("db5.tsv", "the backup of module 5\n");
  ProgramRun run = Cli({"--device", "7", "--repeats1", "1", "--request", "68", "--dat1", "5",
                        "--grid-out", backup});
  EXPECT_EQ(run.ExitCode, 1);
  EXPECT_EQ(TempDir::Read(backup), "the backup of module 5\n");
  EXPECT_NE(run.Out.find("grid not written to " + backup), std::string::npos) << run.Out;

  run = Cli({"--device", "7", "--repeats1", "1", "--request", "68", "--dat1", "5", "--grid-out", "-"});
  EXPECT_EQ(run.ExitCode, 1);
  EXPECT_TRUE(run.Out.empty()) << "no grid on standard output after a failed read";

  // In a batch: a later failed read does not leave the earlier read's grid
  // (module 3's) in the file meant for module 5.
  const std::string three = dir.File("db3.tsv");
  run = Cli({"--batch", "-"}, "--request 68 --dat1 3 --grid-out " + three + "\n"
                              "--device 7 --repeats1 1 --request 68 --dat1 5 --grid-out " + backup + "\n");
  const std::vector<json> lines = Lines(run);
  ASSERT_EQ(lines.size(), 2u) << run.Out;
  EXPECT_EQ(GridOf(TempDir::Read(three))[0][0], "03");
  EXPECT_EQ(TempDir::Read(backup), "the backup of module 5\n");
  EXPECT_EQ(lines[1]["grid_not_written"], backup);

  run = Cli({"--request", "68", "--dat1", "5", "--grid-out", backup});
  EXPECT_EQ(run.ExitCode, 0) << run.Out << run.Err;
  EXPECT_EQ(GridOf(TempDir::Read(backup))[0][0], "05");
  size_t files = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.File(".")))
    ++files;
  EXPECT_EQ(files, 2u) << "db3.tsv and db5.tsv, no temporary file left";
}
