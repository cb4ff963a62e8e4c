#include "CliOutput.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "HexBytes.h"
#include "MonitorJson.h"
#include "ResultCodes.h"
#include "ValueView.h"

namespace {
// The values of the last answer: its data after the byte count.
nlohmann::ordered_json ValuesJson(const RunOutcome& outcome) {
  auto values = nlohmann::ordered_json::array();
  const auto data = outcome.Result == ResultOk ? AnswerData(outcome.Answer) : std::span<const uint8_t>{};
  for (const ValueDef& def : outcome.Values) {
    const TypedValue value = ShownValue(data, def);
    nlohmann::ordered_json number = nullptr;
    switch (value.Is) {
      case TypedValue::Kind::Unsigned: number = value.U; break;
      case TypedValue::Kind::Signed: number = value.S; break;
      case TypedValue::Kind::Real:
        if (std::isfinite(value.R)) number = value.R;
        break;
      case TypedValue::Kind::Text: number = value.T; break;
      case TypedValue::Kind::Missing: break;
    }
    values.push_back({{"name", def.Name}, {"offset", def.Offset}, {"type", TypeName(def)},
                      {"order", ByteOrderName(def.Order)}, {"scale", def.Scale}, {"value", number},
                      {"text", ValueText(value)}});
  }
  return values;
}
}  // namespace

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
  const SampleSummary& t = outcome.TimesMs;
  if (withTimes && t.Empty()) {
    out["times_ms"] = nullptr;  // nothing was sent
  } else if (withTimes) {
    out["times_ms"] = {{"min", t.Min()}, {"median", t.Median()}, {"max", t.Max()}};
    out["transactions"] = t.Count();
  }
  if (outcome.Interrupted) out["interrupted"] = true;
  if (!outcome.Error.empty()) out["error"] = outcome.Error;
  if (!outcome.OtherBoxes.empty()) {
    auto& boxes = out["port_messages"] = nlohmann::ordered_json::array();
    for (const auto& box : outcome.OtherBoxes)
      boxes.push_back({{"message", box.Text}, {"caption", box.Caption}});
  }
  if (outcome.Monitor) AddMonitorJson(out, *outcome.Monitor);
  if (!outcome.Values.empty()) out["values"] = ValuesJson(outcome);
  if (outcome.Log) {
    out["log"] = {{"first_file", outcome.Log->FirstFile}, {"last_file", outcome.Log->LastFile},
                  {"files", outcome.Log->Files}, {"lines", outcome.Log->Lines}};
    if (!outcome.Log->Error.empty()) out["log"]["error"] = outcome.Log->Error;
  }
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
  const SampleSummary& t = outcome.TimesMs;
  if (withTimes && !t.Empty()) {
    char line[160];
    std::snprintf(line, sizeof line,
                  "time per transaction (ms) over %llu: min %.3f, median %.3f, max %.3f\n",
                  static_cast<unsigned long long>(t.Count()), t.Min(), t.Median(), t.Max());
    text += line;
  }
  const auto data = outcome.Result == ResultOk ? AnswerData(outcome.Answer) : std::span<const uint8_t>{};
  for (const ValueDef& def : outcome.Values) text += "value " + def.Name + ": " + ValueText(ShownValue(data, def)) + "\n";
  if (outcome.Log) {
    text += "log: " + std::to_string(outcome.Log->Lines) + " line(s) in " + outcome.Log->FirstFile;
    if (outcome.Log->Files > 1) text += " to " + outcome.Log->LastFile;
    text += "\n";
    if (!outcome.Log->Error.empty()) text += outcome.Log->Error + "\n";
  }
  if (outcome.Interrupted)
    text += "stopped by a signal after " + std::to_string(t.Count()) + " transaction(s)\n";
  return text;
}
