#include "ListenStatisticsText.h"

#include "FrameText.h"

const ListenLine& ListenColumnTitles() {
  static const ListenLine titles = {"Адрес",
                                    "Запросов",
                                    "Успешно",
                                    "Результаты",
                                    "Ответ мин / медиана / макс, мс",
                                    "Период опроса мин / медиана / макс, мс",
                                    "Ответов раньше 3,5 символа",
                                    "Ответов без запроса"};
  return titles;
}

std::string SpreadMs(const SampleSummary& summary) {
  if (summary.Empty()) return "—";
  auto ms = [](double us) { return MsText(static_cast<int64_t>(us + 0.5)); };
  return ms(summary.Min()) + " / " + ms(summary.Median()) + " / " + ms(summary.Max());
}

ListenLine DescribeListenDevice(uint8_t address, const ListenDevice& device) {
  ListenLine line;
  line[ListenAddress] = std::to_string(address);
  line[ListenRequests] = std::to_string(device.Requests);
  line[ListenGood] = std::to_string(device.Good);
  for (const auto& [result, count] : device.Results) {
    if (!line[ListenResults].empty()) line[ListenResults] += "; ";
    line[ListenResults] += std::to_string(result) + ": " + std::to_string(count);
  }
  line[ListenLatency] = SpreadMs(device.LatencyUs);
  line[ListenPeriod] = SpreadMs(device.PollPeriodUs);
  line[ListenTooSoon] = std::to_string(device.TooSoon);
  line[ListenStray] = std::to_string(device.AnswersWithoutRequest);
  return line;
}
