#include "CliOutput.h"

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "HexBytes.h"
#include "MonitorJson.h"

TimeSummary SummarizeTimes(std::vector<double> times) {
  if (times.empty()) return {};
  std::sort(times.begin(), times.end());
  const size_t n = times.size();
  const double median = n % 2 ? times[n / 2] : (times[n / 2 - 1] + times[n / 2]) / 2;
  return {times.front(), median, times.back()};
}

std::string LatencyText(const std::optional<int64_t>& us) {
  if (!us) return "latency of the answer: none\n";
  char line[80];
  std::snprintf(line, sizeof line, "latency of the answer (ms): %.3f\n", UsToMs(*us));
  return line;
}

std::string FormatJson(const RunOutcome& outcome, bool withTimes) {
  nlohmann::ordered_json out;
  out["result"] = outcome.Result ? nlohmann::ordered_json(*outcome.Result) : nullptr;
  out["answer"] = FormatHexBytes(outcome.Answer.data(), outcome.Answer.size());
  out["message"] = outcome.Report ? nlohmann::ordered_json(outcome.Report->Text) : nullptr;
  out["caption"] = outcome.Report ? nlohmann::ordered_json(outcome.Report->Caption) : nullptr;
  if (withTimes && outcome.TimesMs.empty()) {
    out["times_ms"] = nullptr;  // nothing was sent: the port did not open
  } else if (withTimes) {
    const TimeSummary t = SummarizeTimes(outcome.TimesMs);
    out["times_ms"] = {{"min", t.Min}, {"median", t.Median}, {"max", t.Max}};
  }
  if (!outcome.Error.empty()) out["error"] = outcome.Error;
  if (!outcome.OtherBoxes.empty()) {
    auto& boxes = out["port_messages"] = nlohmann::ordered_json::array();
    for (const auto& box : outcome.OtherBoxes)
      boxes.push_back({{"message", box.Text}, {"caption", box.Caption}});
  }
  if (outcome.Monitor) AddMonitorJson(out, *outcome.Monitor);
  return out.dump() + "\n";
}

std::string FormatText(const RunOutcome& outcome, bool withTimes) {
  std::string text;
  for (const auto& box : outcome.OtherBoxes) text += box.Caption + ": " + box.Text + "\n";
  if (!outcome.Error.empty()) text += "port error: " + outcome.Error + "\n";
  if (outcome.Result) {
    text += "result: " + std::to_string(*outcome.Result) + "\n";
    if (outcome.State == RunOutcome::Status::Exchanged)
      text += "answer: " + FormatHexBytes(outcome.Answer.data(), outcome.Answer.size()) + "\n";
  }
  if (outcome.Report) text += outcome.Report->Caption + ": " + outcome.Report->Text + "\n";
  if (outcome.Monitor && outcome.Result) text += LatencyText(outcome.Monitor->GoodLatencyUs);
  if (withTimes && !outcome.TimesMs.empty()) {
    const TimeSummary t = SummarizeTimes(outcome.TimesMs);
    char line[160];
    std::snprintf(line, sizeof line,
                  "time per transaction (ms) over %zu: min %.3f, median %.3f, max %.3f\n",
                  outcome.TimesMs.size(), t.Min, t.Median, t.Max);
    text += line;
  }
  return text;
}
