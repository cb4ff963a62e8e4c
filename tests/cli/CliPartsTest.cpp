// The pieces of modbus-cli's entry mode that stand on their own: the grid
// file form, the splitting of batch lines, the headless window.
#include <gtest/gtest.h>

#include "GridFile.h"
#include "HeadlessWindow.h"
#include "ShellWords.h"

namespace {
std::vector<std::string> Words(const std::string& line) {
  std::string error;
  const auto words = SplitShellWords(line, error);
  EXPECT_TRUE(words) << line << ": " << error;
  return words ? *words : std::vector<std::string>{};
}
bool Splits(const std::string& line) {
  std::string error;
  return SplitShellWords(line, error).has_value();
}
}  // namespace

TEST(ShellWords, QuotesEscapesAndComments) {
  using W = std::vector<std::string>;
  EXPECT_EQ(Words("  --request 68\t--dat1 3  "), (W{"--request", "68", "--dat1", "3"}));
  EXPECT_EQ(Words("--grid 'my grid.tsv'"), (W{"--grid", "my grid.tsv"}));
  EXPECT_EQ(Words(R"(--grid "a \"b\" \\c\n")"), (W{"--grid", R"(a "b" \c\n)"}));
  EXPECT_EQ(Words(R"(--grid a\ b 'x'"y"z)"), (W{"--grid", "a b", "xyz"}));
  EXPECT_EQ(Words("--dat1 '' --dat2 \"\""), (W{"--dat1", "", "--dat2", ""}));
  EXPECT_EQ(Words("--request 3 # then 4"), (W{"--request", "3"}));
  EXPECT_EQ(Words("--dat1 a#b"), (W{"--dat1", "a#b"})) << "# inside a word is no comment";
  EXPECT_EQ(Words("# only a comment"), W{});
  EXPECT_EQ(Words("--dat1 0\r"), (W{"--dat1", "0"}));
  EXPECT_FALSE(Splits("--grid 'open"));
  EXPECT_FALSE(Splits("--grid \"open"));
  EXPECT_FALSE(Splits("--grid \"open\\\""));
  EXPECT_FALSE(Splits("--grid x\\"));
}

TEST(GridFile, LinesCellsAndLimits) {
  std::string error;
  auto grid = ParseGridText("", error);
  ASSERT_TRUE(grid);
  for (const auto& row : *grid)
    for (const auto& cell : row) EXPECT_EQ(cell, "");

  grid = ParseGridText("1\t\t3\n\nA\r\n" + std::string(15, '\t') + "Z", error);
  ASSERT_TRUE(grid) << error;
  EXPECT_EQ((*grid)[0][0], "1");
  EXPECT_EQ((*grid)[0][1], "");
  EXPECT_EQ((*grid)[0][2], "3");
  EXPECT_EQ((*grid)[0][3], "");
  EXPECT_EQ((*grid)[1][0], "");
  EXPECT_EQ((*grid)[2][0], "A") << "a carriage return before the line feed is dropped";
  EXPECT_EQ((*grid)[3][15], "Z");
  EXPECT_EQ((*grid)[4][0], "");
  // Formatting and parsing again gives the same grid.
  const std::string text = FormatGridText(*grid);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 16);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\t'), 16 * 15);
  EXPECT_EQ(ParseGridText(text, error), grid);

  // 16 full lines are fine; a 17th line or a 17th cell is refused.
  EXPECT_TRUE(ParseGridText(std::string(16, '\n'), error));
  EXPECT_FALSE(ParseGridText(std::string(16, '\n') + "x", error));
  EXPECT_NE(error.find("more than 16 lines"), std::string::npos);
  EXPECT_TRUE(ParseGridText(std::string(15, '\t'), error));
  EXPECT_FALSE(ParseGridText("\n\n" + std::string(16, '\t'), error));
  EXPECT_NE(error.find("line 3"), std::string::npos) << error;
}

TEST(HeadlessWindow, StartsAsTheWindowAndTogglesPollingTogether) {
  HeadlessWindow window;
  EXPECT_EQ(window.RequestEntry().Text(), "0");
  EXPECT_EQ(window.Data1Entry().Text(), "0");
  EXPECT_EQ(window.Data2Entry().Text(), "0");
  for (const auto& field : window.Fields) EXPECT_EQ(field, "0");
  EXPECT_EQ(window.Cell(0, 1), "");
  window.SetCell(15, 16, "FF");
  EXPECT_EQ(window.Grid[15][15], "FF");
  EXPECT_EQ(window.Cell(16, 1), "") << "a column past the last reads as empty";
  window.SetCell(16, 1, "x");
  window.SetCell(0, 0, "x");  // the header is not the data area
  EXPECT_EQ(window.Cell(0, 1), "");

  EXPECT_FALSE(window.PollTimerEnabled());
  window.IntervalMs = 500;
  window.TogglePollTimer();
  EXPECT_TRUE(window.PollTimerEnabled());
  EXPECT_TRUE(window.PollingLabelShown());
  EXPECT_EQ(window.TimerIntervalMs(), 500);
  window.DisablePollTimer();  // the link's stop: the label stays as it was
  EXPECT_FALSE(window.PollTimerEnabled());
  EXPECT_TRUE(window.PollingLabelShown());
}
