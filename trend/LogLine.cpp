#include "LogLine.h"

#include <charconv>
#include <cstdio>
#include <ctime>

#include "CsvRecord.h"
#include "HexBytes.h"
#include "LocalTime.h"

namespace {
constexpr int64_t kUsPerSecond = 1'000'000;
constexpr size_t kFixedColumns = 5;

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t year, int month, int day) {
  year -= month <= 2;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t yoe = year - era * 400;
  const int64_t doy = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - (a % b != 0 && (a < 0) != (b < 0)); }

template <typename Number>
bool ReadNumber(const std::string& text, Number& value) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return !text.empty() && ec == std::errc() && end == text.data() + text.size();
}
}  // namespace

std::string IsoTime(int64_t systemUs) {
  const int64_t seconds = FloorDiv(systemUs, kUsPerSecond);
  const int ms = static_cast<int>((systemUs - seconds * kUsPerSecond) / 1000);
  const std::tm local = LocalTime(static_cast<std::time_t>(seconds));
  // The offset from UTC: the local calendar time read as if it were UTC, less the moment.
  const int64_t asUtc = DaysFromCivil(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday) * 86400 +
                        local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
  const int64_t offset = (asUtc - seconds) / 60;
  const int64_t magnitude = offset < 0 ? -offset : offset;
  char text[48];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02d:%02d", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, ms,
                offset < 0 ? '-' : '+', static_cast<int>(magnitude / 60), static_cast<int>(magnitude % 60));
  return text;
}

std::optional<int64_t> ParseIsoTime(const std::string& text) {
  int year, month, day, hour, minute, second, ms, offsetHours, offsetMinutes;
  char sign;
  int used = 0;
  // Every field has its full count of digits: 2024-05-01T12:34:56.789+03:00.
  static constexpr size_t kLength = 29;
  if (text.size() != kLength || text.find_first_not_of("0123456789-T:.+") != std::string::npos) return std::nullopt;
  for (size_t i : {0, 1, 2, 3, 5, 6, 8, 9, 11, 12, 14, 15, 17, 18, 20, 21, 22, 24, 25, 27, 28})
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d.%3d%c%2d:%2d%n", &year, &month, &day, &hour, &minute,
                  &second, &ms, &sign, &offsetHours, &offsetMinutes, &used) != 10 ||
      static_cast<size_t>(used) != text.size() || (sign != '+' && sign != '-'))
    return std::nullopt;
  const int64_t offset = (sign == '-' ? -1 : 1) * (offsetHours * 3600 + offsetMinutes * 60);
  const int64_t seconds = DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second - offset;
  return seconds * kUsPerSecond + ms * 1000;
}

std::vector<std::string> LogTitles(const std::vector<std::string>& valueNames) {
  std::vector<std::string> titles{"Время", "Устройство", "Запрос", "Данные запроса", "Результат"};
  titles.insert(titles.end(), valueNames.begin(), valueNames.end());
  return titles;
}

std::vector<std::string> LogFields(const PollRecord& poll, const std::vector<std::string>& valueTexts) {
  std::vector<std::string> fields{IsoTime(poll.SystemUs), std::to_string(poll.Device), std::to_string(poll.Code),
                                  FormatHexBytes(poll.RequestData.data(), poll.RequestData.size()),
                                  std::to_string(poll.Result)};
  fields.insert(fields.end(), valueTexts.begin(), valueTexts.end());
  return fields;
}

std::string LogValueText(const TypedValue& value) {
  std::string text = ValueText(value);
  if (value.Is == TypedValue::Kind::Real)
    for (char& c : text)
      if (c == '.') c = ',';
  return text;
}

std::optional<LoggedPoll> ParseLogLine(const std::string& line, size_t valueCount) {
  if (line.empty() || (line.back() != '\n')) return std::nullopt;  // cut short: its end never came
  const auto fields = SplitCsvRecord(line);
  if (!fields || fields->size() != kFixedColumns + valueCount) return std::nullopt;
  LoggedPoll poll;
  const auto time = ParseIsoTime((*fields)[0]);
  const auto data = ParseHexBytes((*fields)[3]);
  if (!time || !data || !ReadNumber((*fields)[1], poll.Device) || !ReadNumber((*fields)[2], poll.Code) ||
      !ReadNumber((*fields)[4], poll.Result))
    return std::nullopt;
  poll.SystemUs = *time;
  poll.RequestData = *data;
  poll.Values.assign(fields->begin() + kFixedColumns, fields->end());
  return poll;
}
