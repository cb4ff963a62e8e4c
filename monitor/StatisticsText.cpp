#include "StatisticsText.h"

#include "FrameText.h"

const StatisticsLine& StatisticsColumnTitles() {
  static const StatisticsLine titles = {"Адрес",      "Запросов",
                                        "Успешно",    "Результаты",
                                        "Неудачные попытки", "Ответ мин / медиана / макс, мс",
                                        "Повторов"};
  return titles;
}

StatisticsLine DescribeDevice(uint8_t address, const DeviceStatistics& device) {
  StatisticsLine line;
  line[StatAddress] = std::to_string(address);
  line[StatRequests] = std::to_string(device.Requests);
  line[StatGood] = std::to_string(device.Good);
  const auto counts = [](const std::map<int32_t, int>& byCode) {
    std::string text;
    for (const auto& [code, count] : byCode) {
      if (!text.empty()) text += "; ";
      text += std::to_string(code) + ": " + std::to_string(count);
    }
    return text;
  };
  line[StatResults] = counts(device.Results);
  line[StatFailedAttempts] = device.FailedAttempts.empty() ? "—" : counts(device.FailedAttempts);
  const SampleSummary& latency = device.LatencyUs;
  auto ms = [](double us) { return MsText(static_cast<int64_t>(us + 0.5)); };
  line[StatLatency] = latency.Empty() ? "—"
                                      : ms(latency.Min()) + " / " + ms(latency.Median()) + " / " +
                                            ms(latency.Max());
  line[StatRepeats] = std::to_string(device.Repeats());
  return line;
}
