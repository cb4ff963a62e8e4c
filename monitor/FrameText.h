// The monitor's frames as text: one line per frame with the time of day,
// the time since the frame before, direction, bytes, CRC, function code,
// latency, largest gap, attempt and stage, result and notes; as columns for
// a table, as plain text and as CSV (which reads back).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "MonitorFrame.h"

// Ties the frames' monotonic clock to the time of day.
struct ClockAnchor {
  int64_t MonotonicUs = 0;
  int64_t SystemUs = 0;  // microseconds since the epoch at the same moment
  static ClockAnchor Now();
  // "HH:MM:SS.mmm", local time.
  std::string TimeOfDay(int64_t monotonicUs) const;
  // "YYYY-MM-DD HH:MM:SS.mmm", local time: for a file that outlives the day.
  std::string DateAndTime(int64_t monotonicUs) const;
};

enum FrameColumn {
  ColTime, ColDelta, ColDirection, ColBytes, ColCrc, ColFunction, ColLatency, ColGap,
  ColAttempt, ColStage, ColResult, ColNotes, kFrameColumns
};
using FrameLine = std::array<std::string, kFrameColumns>;

// The note on answers that came over a network: what their times mean.
extern const char* const kNetworkTimesNote;

// Column titles, in Russian like the rest of the tool.
const FrameLine& FrameColumnTitles();

// `previous`: the frame before it (for Δt), or nullptr.
FrameLine DescribeFrame(const MonitorFrame& frame, const MonitorFrame* previous,
                        const ClockAnchor& anchor);

// How an attempt or a transaction ended, in words ("нет ответа", ...).
std::string ResultWords(FrameDirection direction, uint8_t code, int32_t result);

// "01 03 00 0A" (upper-case, blank between bytes).
std::string HexText(const std::vector<uint8_t>& bytes);

// Milliseconds with three decimals and a decimal comma: "12,345".
std::string MsText(int64_t us);

// An attempt or a transaction that failed ends with this frame.
bool FrameFailed(const MonitorFrame& frame);
// Its timing is suspect: a gap inside the answer above 1.5 character times,
// an answer that was already coming before the request went out, or (heard
// on a line) one that began before 3.5 characters of silence.
bool FrameFlagged(const MonitorFrame& frame);

// Plain text: the columns separated by two blanks, empty ones left out.
std::string TextLine(const FrameLine& line);
// CSV (RFC 4180, ';' as separator, as spreadsheets with a decimal comma
// expect): a title line, then one line per frame.
std::string CsvLine(const FrameLine& line);
// Reads what CsvLine wrote back, title line included; false on a malformed
// text. A leading UTF-8 byte-order mark is skipped.
bool ParseCsv(const std::string& text, std::vector<FrameLine>& lines);

// A whole CSV file: the UTF-8 byte-order mark (without it spreadsheets take
// the Russian texts for another code page), the title line, the lines.
std::string CsvDocument(const std::vector<FrameLine>& lines);
// Plain text for reading and pasting: the title line, then one line per
// frame, the columns separated by tabs, empty ones kept so that every
// column stays under its title; each line ended by a line feed.
std::string TextDocument(const std::vector<FrameLine>& lines);
