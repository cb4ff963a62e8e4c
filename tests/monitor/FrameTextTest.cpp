// The monitor's lines: what each column says, and CSV that reads back.
#include <gtest/gtest.h>

#include <algorithm>

#include "FrameText.h"

namespace {
MonitorFrame Answer(std::vector<uint8_t> bytes) {
  MonitorFrame frame;
  frame.Direction = FrameDirection::Rx;
  frame.Bytes = std::move(bytes);
  frame.Transaction = 1;
  frame.Attempt = 2;
  frame.Stage = 2;
  frame.Code = 3;
  frame.Us = 1'000'000;
  frame.Chunks = {{1'000'000, 3, false}, {1'004'500, 4, false}};
  frame.LatencyUs = 12'345;
  frame.LargestGapUs = 4'500;
  frame.GapTooLong = true;
  frame.AttemptResult = 0;
  frame.TransactionResult = 0;
  return frame;
}
}  // namespace

TEST(FrameText, ColumnsSayWhatTheFrameIs) {
  const ClockAnchor anchor{0, 0};
  MonitorFrame request;
  request.Direction = FrameDirection::Tx;
  request.Bytes = {0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A};
  request.Us = 987'000;
  const FrameLine answer = DescribeFrame(Answer({0x01, 0x03, 0x02, 0x00, 0x07, 0xF9, 0x86}), &request, anchor);
  EXPECT_EQ(answer[ColDelta], "13,000");
  EXPECT_EQ(answer[ColDirection], "←");
  EXPECT_EQ(answer[ColBytes], "01 03 02 00 07 F9 86");
  EXPECT_EQ(answer[ColCrc], "верна");
  EXPECT_EQ(answer[ColFunction], "3");
  EXPECT_EQ(answer[ColLatency], "12,345");
  EXPECT_EQ(answer[ColGap], "4,500");
  EXPECT_EQ(answer[ColAttempt], "2");
  EXPECT_EQ(answer[ColStage], "2");
  EXPECT_EQ(answer[ColResult], "ответ принят; итог 0");
  EXPECT_NE(answer[ColNotes].find("пауза внутри ответа"), std::string::npos);
  EXPECT_EQ(answer[ColTime].size(), 12u);  // HH:MM:SS.mmm

  // A broken CRC, an exception head, a request with no answer, a purge.
  EXPECT_EQ(DescribeFrame(Answer({0x01, 0x03, 0x02, 0x00, 0x07, 0xF9, 0x87}), nullptr, anchor)[ColCrc], "неверна");
  MonitorFrame exception = Answer({0x01, 0x83, 0x02});
  exception.AttemptResult = 2;
  const FrameLine refused = DescribeFrame(exception, nullptr, anchor);
  EXPECT_EQ(refused[ColCrc], "—");
  EXPECT_EQ(refused[ColFunction], "3, исключение 2");
  EXPECT_EQ(refused[ColResult], "исключение 2; итог 0");
  request.AttemptResult = 130;
  request.Transaction = 1;
  request.Attempt = 5;
  request.TransactionResult = 130;
  EXPECT_EQ(DescribeFrame(request, nullptr, anchor)[ColResult], "нет ответа; итог 130");
  EXPECT_EQ(DescribeFrame(request, nullptr, anchor)[ColDelta], "");
  MonitorFrame purge;
  purge.Direction = FrameDirection::Discarded;
  purge.DiscardedCount = 7;
  EXPECT_EQ(DescribeFrame(purge, nullptr, anchor)[ColNotes], "сброшено непрочитанных байт: 7");
  EXPECT_EQ(DescribeFrame(purge, nullptr, anchor)[ColDirection], "×");

  // A latency whose first bytes were queued before anyone looked is a bound.
  MonitorFrame queued = Answer({0x01, 0x03, 0x02, 0x00, 0x07, 0xF9, 0x86});
  queued.LatencyAtMost = true;
  EXPECT_EQ(DescribeFrame(queued, nullptr, anchor)[ColLatency], "≤ 12,345");
  // An incomplete answer has no CRC to judge, whatever its last bytes happen to be.
  MonitorFrame cut = Answer({0x01, 0x03, 0x04, 0x00, 0x07});
  cut.AttemptResult = 129;
  EXPECT_EQ(DescribeFrame(cut, nullptr, anchor)[ColCrc], "—");
}

TEST(FrameText, TimeOfDayFollowsTheAnchor) {
  // 12:15:30.250 local time, a second after the anchor's moment.
  std::tm local{};
  local.tm_year = 126;
  local.tm_mon = 11;
  local.tm_mday = 7;
  local.tm_hour = 12;
  local.tm_min = 15;
  local.tm_sec = 29;
  local.tm_isdst = -1;
  const int64_t at = static_cast<int64_t>(std::mktime(&local)) * 1'000'000 + 250'000;
  const ClockAnchor anchor{5'000'000, at};
  EXPECT_EQ(anchor.TimeOfDay(6'000'000), "12:15:30.250");
  EXPECT_EQ(anchor.TimeOfDay(5'000'999), "12:15:29.250");
  EXPECT_EQ(anchor.DateAndTime(6'000'000), "2026-12-07 12:15:30.250");
}

TEST(FrameText, CsvReadsBackWhatItWrote) {
  FrameLine tricky = FrameColumnTitles();
  tricky[ColNotes] = "a; b \"quoted\"\nsecond line";
  tricky[ColBytes] = "";
  tricky[ColResult] = "\"";
  const std::string csv = CsvLine(FrameColumnTitles()) + CsvLine(tricky) + CsvLine(FrameLine{});
  std::vector<FrameLine> lines;
  ASSERT_TRUE(ParseCsv(csv, lines));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], FrameColumnTitles());
  EXPECT_EQ(lines[1], tricky);
  EXPECT_EQ(lines[2], FrameLine{});
  EXPECT_FALSE(ParseCsv("a;b\r\n", lines)) << "too few columns";
  EXPECT_FALSE(ParseCsv(CsvLine(tricky).substr(0, 40), lines)) << "cut short";
}

TEST(FrameText, DocumentsForTheSpreadsheetAndForReading) {
  const ClockAnchor anchor{0, 0};
  MonitorFrame request;
  request.Bytes = {0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A};
  const std::vector<FrameLine> lines = {DescribeFrame(request, nullptr, anchor),
                                        DescribeFrame(Answer({0x01, 0x03, 0x02, 0x00, 0x07, 0xF9, 0x86}),
                                                      &request, anchor)};
  const std::string csv = CsvDocument(lines);
  EXPECT_EQ(csv.substr(0, 3), "\xEF\xBB\xBF") << "UTF-8 said so to the spreadsheet";
  std::vector<FrameLine> read;
  ASSERT_TRUE(ParseCsv(csv, read));
  ASSERT_EQ(read.size(), 3u);
  EXPECT_EQ(read[0], FrameColumnTitles());
  EXPECT_EQ(read[1], lines[0]);
  EXPECT_EQ(read[2], lines[1]);

  // Tabs between the columns, empty ones kept, under a title line.
  const std::string text = TextDocument(lines);
  const size_t titleEnd = text.find('\n');
  EXPECT_EQ(text.substr(0, titleEnd), "Время\tΔt, мс\t\tБайты\tCRC\tФункция\tОтвет через, мс\t"
                                      "Пауза в ответе, мс\tПопытка\tЭтап\tРезультат\tПримечание");
  const std::string first = text.substr(titleEnd + 1, text.find('\n', titleEnd + 1) - titleEnd - 1);
  EXPECT_EQ(std::count(first.begin(), first.end(), '\t'), kFrameColumns - 1);
  EXPECT_EQ(first.substr(0, first.find('\t')), lines[0][ColTime]);
  EXPECT_NE(first.find("\t\t→\t01 03 00 00 00 01 84 0A\t"), std::string::npos) << "no Δt: an empty column";
  const std::string none = TextDocument({});
  EXPECT_EQ(std::count(none.begin(), none.end(), '\n'), 1) << "the titles alone";
}

TEST(FrameText, FailedAndFlaggedFrames) {
  MonitorFrame frame = Answer({0x01, 0x03, 0x02, 0x00, 0x07, 0xF9, 0x86});
  EXPECT_FALSE(FrameFailed(frame));
  EXPECT_TRUE(FrameFlagged(frame)) << "its gap is too long";
  frame.GapTooLong = false;
  EXPECT_FALSE(FrameFlagged(frame));
  frame.BeforeRequest = true;
  EXPECT_TRUE(FrameFlagged(frame));

  frame.AttemptResult = 131;
  EXPECT_TRUE(FrameFailed(frame));
  frame.AttemptResult.reset();
  frame.TransactionResult = 130;
  EXPECT_TRUE(FrameFailed(frame));
  frame.TransactionResult = 0;
  EXPECT_FALSE(FrameFailed(frame));

  EXPECT_EQ(MsText(12'345), "12,345");
  EXPECT_EQ(MsText(-500), "-0,500");
  EXPECT_EQ(MsText(-1'500), "-1,500");
  EXPECT_EQ(MsText(7), "0,007");
}
