#include "EntryOutput.h"

#include <nlohmann/json.hpp>

#include "CliOutput.h"
#include "HexBytes.h"
#include "MonitorJson.h"

using nlohmann::ordered_json;

const char* IconName(MsgIcon icon) {
  switch (icon) {
    case MsgIcon::Warning: return "warning";
    case MsgIcon::Error: return "error";
    case MsgIcon::Question: return "question";
    case MsgIcon::Information: return "information";
  }
  return "?";
}

const char* ButtonsName(MsgButtons buttons) {
  switch (buttons) {
    case MsgButtons::Ok: return "ok";
    case MsgButtons::RetryCancel: return "retry-cancel";
    case MsgButtons::YesNo: return "yes-no";
  }
  return "?";
}

const char* AnswerName(MsgResult answer) {
  switch (answer) {
    case MsgResult::Ok: return "ok";
    case MsgResult::Cancel: return "cancel";
    case MsgResult::Retry: return "retry";
    case MsgResult::Yes: return "yes";
    case MsgResult::No: return "no";
  }
  return "?";
}

namespace {
ordered_json ResultJson(const std::optional<int32_t>& result) {
  return result ? ordered_json(*result) : ordered_json(nullptr);
}

std::string OneLine(std::string text) {
  for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 2))
    text.replace(at, 1, "\\n");
  return text;
}
}  // namespace

std::string FormatEntryJson(const ClickOutcome& outcome, std::optional<int> line) {
  ordered_json out;
  if (line) out["line"] = *line;
  out["result"] = ResultJson(outcome.Result);
  out["answer"] = FormatHexBytes(outcome.Answer.data(), outcome.Answer.size());
  out["message"] = outcome.Report ? ordered_json(outcome.Report->Text) : ordered_json(nullptr);
  out["caption"] = outcome.Report ? ordered_json(outcome.Report->Caption) : ordered_json(nullptr);
  out["entries"] = {{"EditZapr", outcome.Entries[0]},
                    {"EditDat1", outcome.Entries[1]},
                    {"EditDat2", outcome.Entries[2]}};
  out["fields"] = outcome.Fields;
  auto& grid = out["grid"] = ordered_json::array();
  for (const auto& row : outcome.Grid) grid.push_back(row);
  auto& boxes = out["boxes"] = ordered_json::array();
  for (const auto& box : outcome.Boxes)
    boxes.push_back({{"text", box.Text},
                     {"caption", box.Caption},
                     {"icon", IconName(box.Icon)},
                     {"buttons", ButtonsName(box.Buttons)},
                     {"answer", AnswerName(box.Answer)}});
  if (outcome.Polls) {
    auto& polls = out["polls"] = ordered_json::array();
    for (const PollLog::Poll& p : outcome.Polls->Last) {
      ordered_json poll = {{"result", ResultJson(p.Result)}};
      if (outcome.Monitor) poll["latency_ms"] = LatencyJson(p.LatencyUs);
      polls.push_back(poll);
    }
    if (outcome.Polls->Omitted() > 0) out["polls_omitted"] = outcome.Polls->Omitted();
    const SampleSummary& latency = outcome.Polls->LatencyUs;
    if (outcome.Monitor && !latency.Empty())
      out["poll_latency_ms"] = {{"min", latency.Min() / 1000},
                                {"median", latency.Median() / 1000},
                                {"max", latency.Max() / 1000}};
  }
  if (outcome.Interrupted) out["interrupted"] = true;
  if (!outcome.Error.empty()) out["error"] = outcome.Error;
  if (!outcome.GridNotWritten.empty()) out["grid_not_written"] = outcome.GridNotWritten;
  if (outcome.PortLost) out["port_lost"] = true;
  if (outcome.Monitor) AddMonitorJson(out, *outcome.Monitor);
  return out.dump() + "\n";
}

std::string FormatEntryText(const ClickOutcome& outcome) {
  std::string text;
  if (!outcome.Error.empty()) text += "error: " + outcome.Error + "\n";
  text += "result: " + (outcome.Result ? std::to_string(*outcome.Result) : "none (nothing sent)") +
          "\n";
  if (outcome.Result)
    text += "answer: " + FormatHexBytes(outcome.Answer.data(), outcome.Answer.size()) + "\n";
  if (outcome.Monitor && outcome.Result) text += LatencyText(outcome.Monitor->GoodLatencyUs);
  if (outcome.Polls) {
    text += "polls:";
    if (outcome.Polls->Omitted() > 0)
      text += " (" + std::to_string(outcome.Polls->Omitted()) + " earlier not listed)";
    for (const PollLog::Poll& poll : outcome.Polls->Last)
      text += " " + (poll.Result ? std::to_string(*poll.Result) : std::string("none"));
    text += "\n";
  }
  if (outcome.Interrupted) text += "polling stopped by a signal\n";
  text += "entries: request " + outcome.Entries[0] + ", data " + outcome.Entries[1] + " / " +
          outcome.Entries[2] + "\n";
  text += "fields:";
  for (const auto& field : outcome.Fields) text += " " + field;
  text += "\ngrid:\n";
  for (const auto& row : outcome.Grid) {
    for (size_t c = 0; c < row.size(); ++c) text += (c ? "\t" : "") + row[c];
    text += "\n";
  }
  for (const auto& box : outcome.Boxes)
    text += std::string("box [") + IconName(box.Icon) + ", " + ButtonsName(box.Buttons) + " -> " +
            AnswerName(box.Answer) + "] " + box.Caption + ": " + OneLine(box.Text) + "\n";
  if (!outcome.GridNotWritten.empty())
    text += "grid not written to " +
            (outcome.GridNotWritten == "-" ? std::string("standard output") : outcome.GridNotWritten) +
            ": the click failed\n";
  if (outcome.PortLost) text += "the port was lost; the window would close\n";
  return text;
}
