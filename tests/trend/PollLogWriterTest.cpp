// The poll log: its lines read back as written, files numbered in order with
// no line lost at a rotation, nothing overwritten, times in ISO 8601.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "LogLine.h"
#include "PollLogWriter.h"

namespace fs = std::filesystem;

namespace {
class ScratchFolder {
public:
  ScratchFolder() : path_(fs::temp_directory_path() / ("poll-log-" + std::to_string(getpid()))) {
    fs::remove_all(path_);
    fs::create_directories(path_);
  }
  ~ScratchFolder() { fs::remove_all(path_); }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }
  size_t Files() const { return static_cast<size_t>(std::distance(fs::directory_iterator(path_), fs::directory_iterator())); }

private:
  fs::path path_;
};

std::vector<std::string> Lines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line + "\n");
  return lines;
}

PollRecord Poll(int n) {
  PollRecord poll;
  poll.SystemUs = 1'700'000'000'000'000 + n * 1000;
  poll.Device = static_cast<uint8_t>(1 + n % 3);
  poll.Code = 3;
  poll.RequestData = {0x00, 0x00, 0x00, 0x02};
  poll.Result = n % 5 == 4 ? 130 : 0;
  return poll;
}
}  // namespace

TEST(PollLogWriter, IsoTimesReadBack) {
  for (int64_t us : {int64_t{0}, int64_t{1'700'000'000'123'000}, int64_t{1'709'251'199'999'000}}) {
    const std::string text = IsoTime(us);
    ASSERT_EQ(text.size(), 29u) << text;
    EXPECT_EQ(text[10], 'T');
    EXPECT_EQ(ParseIsoTime(text), us) << text;
  }
  EXPECT_EQ(ParseIsoTime("2024-03-01T00:00:00.000+00:00"), int64_t{1'709'251'200'000'000});
  EXPECT_EQ(ParseIsoTime("2024-03-01T03:00:00.250+03:00"), int64_t{1'709'251'200'250'000});
  EXPECT_FALSE(ParseIsoTime("2024-03-01T03:00:00.250+03:0"));
  EXPECT_FALSE(ParseIsoTime("12:00:00.000"));
}

TEST(PollLogWriter, LinesReadBackAsWritten) {
  ScratchFolder folder;
  PollLogWriter log;
  std::string error;
  ASSERT_TRUE(log.Open(folder / "run.csv", {"T; \"в\" цехе", "f32"}, 0, error)) << error;
  PollRecord poll = Poll(1);
  TypedValue real;
  real.Is = TypedValue::Kind::Real;
  real.R = -12.5;
  ASSERT_TRUE(log.Write(poll, {"21", LogValueText(real)}, error)) << error;
  poll.Result = 131;
  ASSERT_TRUE(log.Write(poll, {"", ""}, error)) << error;
  log.Close();

  const auto lines = Lines(folder / "run.csv");
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "\xEF\xBB\xBF" "Время;Устройство;Запрос;Данные запроса;Результат;\"T; \"\"в\"\" цехе\";f32\r\n");
  const auto first = ParseLogLine(lines[1], 2);
  ASSERT_TRUE(first) << lines[1];
  EXPECT_EQ(first->SystemUs, poll.SystemUs);
  EXPECT_EQ(first->Device, 2);
  EXPECT_EQ(first->Code, 3);
  EXPECT_EQ(first->RequestData, (std::vector<uint8_t>{0, 0, 0, 2}));
  EXPECT_EQ(first->Result, 0);
  EXPECT_EQ(first->Values, (std::vector<std::string>{"21", "-12,5"})) << "a decimal comma";
  const auto second = ParseLogLine(lines[2], 2);
  ASSERT_TRUE(second);
  EXPECT_EQ(second->Result, 131);
  EXPECT_EQ(second->Values, (std::vector<std::string>{"", ""}));
  EXPECT_FALSE(ParseLogLine(lines[0], 2)) << "the title line";
  EXPECT_FALSE(ParseLogLine(lines[1].substr(0, lines[1].size() - 5), 2)) << "a line cut short";
  EXPECT_FALSE(ParseLogLine(lines[1], 3)) << "another count of values";
}

TEST(PollLogWriter, RotationNumbersTheFilesInOrderAndLosesNoLine) {
  ScratchFolder folder;
  PollLogWriter log;
  std::string error;
  constexpr uint64_t kMax = 1000;
  ASSERT_TRUE(log.Open(folder / "run.csv", {"v"}, kMax, error)) << error;
  constexpr int kPolls = 100;
  for (int n = 0; n < kPolls; ++n) ASSERT_TRUE(log.Write(Poll(n), {std::to_string(n)}, error)) << error;
  EXPECT_EQ(log.Lines(), static_cast<uint64_t>(kPolls));
  log.Close();

  // run.csv, run.2.csv, …: each within the size, each with its title line,
  // the polls in order across them.
  int expected = 0;
  int files = 0;
  for (int number = 1;; ++number) {
    const std::string path = PollLogWriter::NumberedPath(folder / "run.csv", number);
    if (!fs::exists(path)) break;
    ++files;
    EXPECT_LE(fs::file_size(path), kMax) << path;
    const auto lines = Lines(path);
    ASSERT_GE(lines.size(), 2u) << path;
    EXPECT_EQ(lines[0].substr(3, 10), "Время") << path;
    for (size_t i = 1; i < lines.size(); ++i) {
      const auto poll = ParseLogLine(lines[i], 1);
      ASSERT_TRUE(poll) << path << ":" << i;
      EXPECT_EQ(poll->Values[0], std::to_string(expected)) << path << ":" << i;
      EXPECT_EQ(poll->SystemUs, Poll(expected).SystemUs);
      ++expected;
    }
  }
  EXPECT_EQ(expected, kPolls);
  EXPECT_GT(files, 5);
  EXPECT_EQ(folder.Files(), static_cast<size_t>(files)) << "no file beside the numbered ones";
  EXPECT_EQ(PollLogWriter::NumberedPath("/a.b/run", 3), "/a.b/run.3");
  EXPECT_EQ(PollLogWriter::NumberedPath("d/run.csv", 12), "d/run.12.csv");
}

TEST(PollLogWriter, AnExistingFileIsNeverOverwritten) {
  ScratchFolder folder;
  { std::ofstream(folder / "run.csv") << "what an earlier run left\n"; }
  { std::ofstream(folder / "run.2.csv") << "and its next file\n"; }
  PollLogWriter log;
  std::string error;
  ASSERT_TRUE(log.Open(folder / "run.csv", {}, 0, error)) << error;
  EXPECT_EQ(log.FilePath(), folder / "run.3.csv");
  EXPECT_EQ(log.FileNumber(), 3);
  ASSERT_TRUE(log.Write(Poll(0), {}, error));
  log.Close();
  EXPECT_EQ(Lines(folder / "run.csv"), (std::vector<std::string>{"what an earlier run left\n"}));
  EXPECT_EQ(Lines(folder / "run.3.csv").size(), 2u);

  EXPECT_FALSE(log.Open(folder / "no-such-folder/run.csv", {}, 0, error));
  EXPECT_NE(error.find("no-such-folder"), std::string::npos) << error;
  EXPECT_FALSE(log.Write(Poll(0), {}, error));
}
