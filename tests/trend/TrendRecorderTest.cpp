// The trend's record: each poll feeds the series of its device, request and
// first register, failures are gaps, the log has a column per series, and
// the export reads back.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "CsvRecord.h"
#include "LogLine.h"
#include "TrendRecorder.h"

namespace fs = std::filesystem;

namespace {
PollRecord Poll(int64_t us, uint8_t device, uint16_t start, int32_t result, std::vector<uint8_t> data) {
  PollRecord poll;
  poll.Us = us;
  poll.SystemUs = 1'700'000'000'000'000 + us;
  poll.Device = device;
  poll.Code = 3;
  poll.RequestData = {static_cast<uint8_t>(start >> 8), static_cast<uint8_t>(start), 0x00, 0x02};
  poll.Result = result;
  poll.Data = std::move(data);
  return poll;
}

SeriesDef Series(uint8_t device, std::optional<uint16_t> start, size_t offset, const char* name) {
  SeriesDef def;
  def.Source = {device, 3, start};
  def.Value = ValueAt(offset, ValueType::S16);
  def.Value.Name = name;
  def.Value.Unit = "°C";
  return def;
}
}  // namespace

TEST(TrendRecorder, PollsFeedTheirSeriesAndFailuresAreGaps) {
  TrendRecorder trend;
  trend.AddSeries(Series(1, 0, 0, "a"));
  trend.AddSeries(Series(1, 0, 2, "b"));
  trend.AddSeries(Series(2, std::nullopt, 0, "c"));
  trend.Take(Poll(100, 1, 0, 0, {0x00, 0x0A, 0xFF, 0xFE}));
  trend.Take(Poll(200, 2, 40, 0, {0x00, 0x07, 0x00, 0x00}));
  trend.Take(Poll(300, 1, 0, 130, {}));
  trend.Take(Poll(400, 1, 20, 0, {0x00, 0x63, 0x00, 0x00})) ;  // another first register: not a's
  trend.Take(Poll(500, 1, 0, 0, {0x00, 0x0B}));                // too short for b
  const auto& all = trend.All();
  ASSERT_EQ(all[0].Store.Size(), 2u);
  EXPECT_EQ(all[0].Store.Value(0), 10);
  EXPECT_EQ(all[0].Store.Value(1), 11);
  EXPECT_TRUE(all[0].Store.GapBefore(1));
  EXPECT_EQ(all[0].Store.Gaps(), (std::vector<int64_t>{300}));
  ASSERT_EQ(all[1].Store.Size(), 1u);
  EXPECT_EQ(all[1].Store.Value(0), -2);
  EXPECT_EQ(all[1].Store.Gaps(), (std::vector<int64_t>{300, 500}));
  ASSERT_EQ(all[2].Store.Size(), 1u) << "any first register";
  EXPECT_EQ(all[2].Store.Time(0), 200);
  EXPECT_EQ(trend.Polls(), 5u);
  EXPECT_EQ(trend.FailedPolls(), 1u);
  EXPECT_EQ(all[0].Def.Title(), "a, °C");

  const std::string csv = trend.ExportCsv();
  std::vector<std::vector<std::string>> rows;
  size_t start = 3;  // after the byte-order mark
  while (start < csv.size()) {
    const size_t end = csv.find('\n', start);
    rows.push_back(*SplitCsvRecord(csv.substr(start, end - start + 1)));
    start = end + 1;
  }
  ASSERT_EQ(rows.size(), 5u) << "the title and the moments 100, 200, 300, 500: " << csv;
  EXPECT_EQ(rows[0], (std::vector<std::string>{"Время", "a, °C", "b, °C", "c, °C"}));
  EXPECT_EQ(rows[1][1], "10");
  EXPECT_EQ(rows[1][2], "-2");
  EXPECT_EQ(ParseIsoTime(rows[1][0]), int64_t{1'700'000'000'000'100} / 1000 * 1000);
  EXPECT_EQ(rows[3], (std::vector<std::string>{rows[3][0], "", "", ""})) << "the failed poll: empty";
}

TEST(TrendRecorder, TheLogHasAColumnPerSeriesAndANewFileWhenTheyChange) {
  const fs::path folder = fs::temp_directory_path() / ("trend-log-" + std::to_string(getpid()));
  fs::remove_all(folder);
  fs::create_directories(folder);
  TrendRecorder trend;
  trend.AddSeries(Series(1, 0, 0, "a"));
  std::string error;
  ASSERT_TRUE(trend.StartLog((folder / "t.csv").string(), 0, error)) << error;
  trend.Take(Poll(100, 1, 0, 0, {0x00, 0x0A}));
  trend.Take(Poll(200, 5, 0, 0, {0x00, 0x01}));
  trend.AddSeries(Series(5, 0, 0, "e"));
  trend.Take(Poll(300, 5, 0, 131, {}));
  trend.StopLog();
  std::ifstream first(folder / "t.csv", std::ios::binary), second(folder / "t.2.csv", std::ios::binary);
  std::vector<std::string> a, b;
  for (std::string line; std::getline(first, line);) a.push_back(line + "\n");
  for (std::string line; std::getline(second, line);) b.push_back(line + "\n");
  ASSERT_EQ(a.size(), 3u);
  EXPECT_EQ(ParseLogLine(a[1], 1)->Values, (std::vector<std::string>{"10"}));
  EXPECT_EQ(ParseLogLine(a[2], 1)->Values, (std::vector<std::string>{""})) << "device 5 feeds no series yet";
  ASSERT_EQ(b.size(), 2u);
  EXPECT_NE(b[0].find("a, °C;e, °C"), std::string::npos) << b[0];
  EXPECT_EQ(ParseLogLine(b[1], 2)->Result, 131);
  fs::remove_all(folder);
}
