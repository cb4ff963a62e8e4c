#include "StatisticsText.h"

#include "FrameText.h"

const StatisticsLine& StatisticsColumnTitles() {
  static const StatisticsLine titles = {"Адрес",      "Запросов",
                                        "Успешно",    "Результаты",
                                        "Ответ мин / медиана / макс, мс", "Повторов"};
  return titles;
}

StatisticsLine DescribeDevice(uint8_t address, const DeviceStatistics& device) {
  StatisticsLine line;
  line[StatAddress] = std::to_string(address);
  line[StatRequests] = std::to_string(device.Requests);
  line[StatGood] = std::to_string(device.Good);
  for (const auto& [code, count] : device.Results) {
    if (!line[StatResults].empty()) line[StatResults] += "; ";
    line[StatResults] += std::to_string(code) + ": " + std::to_string(count);
  }
  line[StatLatency] = device.LatencyCount == 0
                          ? "—"
                          : MsText(device.MinLatencyUs) + " / " + MsText(device.MedianLatencyUs()) +
                                " / " + MsText(device.MaxLatencyUs);
  line[StatRepeats] = std::to_string(device.Repeats());
  return line;
}
