// The poll log's lines, CSV with ';' as the monitor writes it: a title line
// naming the columns and each value, then one line per poll: the time (ISO
// 8601, local, with milliseconds and the offset from UTC), the device, the
// request's function code and data, the result (0: a good answer) and each
// value as text, numbers with a decimal comma; empty where the poll has none.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "PollRecord.h"
#include "TypedValue.h"

// "2024-05-01T12:34:56.789+03:00" for a moment in microseconds since the epoch.
std::string IsoTime(int64_t systemUs);
// Back to microseconds since the epoch (whole milliseconds); nothing for another text.
std::optional<int64_t> ParseIsoTime(const std::string& text);

// "Время;Устройство;Запрос;Данные запроса;Результат" and then the value names.
std::vector<std::string> LogTitles(const std::vector<std::string>& valueNames);
std::vector<std::string> LogFields(const PollRecord& poll, const std::vector<std::string>& valueTexts);
// A value as the log writes it: ValueText with a decimal comma in numbers.
std::string LogValueText(const TypedValue& value);

// One line of a log read back.
struct LoggedPoll {
  int64_t SystemUs = 0;
  int Device = 0;
  int Code = 0;
  std::vector<uint8_t> RequestData;
  int32_t Result = 0;
  std::vector<std::string> Values;
};
// Nothing for a line that is not a whole poll line (the title line, a line cut short).
std::optional<LoggedPoll> ParseLogLine(const std::string& line, size_t valueCount);
