#include "CliPollLog.h"

#include <cmath>

#include "LogLine.h"

bool ValuesFromOptions(const CliOptions& options, std::vector<ValueDef>& values, std::string& error) {
  values.clear();
  for (const std::string& text : options.ValueOptions) {
    std::string reason;
    const auto value = ParseValueOption(text, reason);
    if (!value) {
      error = "--value " + text + ": " + reason;
      return false;
    }
    values.push_back(*value);
  }
  return true;
}

CliPollLog::CliPollLog(std::vector<ValueDef> values)
    : values_(std::move(values)), follower_([this](const PollRecord& poll) { Write(poll); }) {}

bool CliPollLog::Open(const std::string& path, double maxMb, std::string& error) {
  std::vector<std::string> names;
  for (const ValueDef& value : values_) names.push_back(value.Name);
  const auto maxBytes = static_cast<uint64_t>(std::llround(maxMb * 1024 * 1024));
  if (!log_.Open(path, names, maxBytes, error)) return false;
  summary_.FirstFile = summary_.LastFile = log_.FilePath();
  firstNumber_ = log_.FileNumber();
  return true;
}

void CliPollLog::Write(const PollRecord& poll) {
  if (!Healthy() || !log_.IsOpen()) return;
  std::vector<std::string> texts;
  for (const ValueDef& value : values_)
    texts.push_back(poll.Result == 0 ? LogValueText(ShownValue(poll.Data, value)) : "");
  std::string error;
  if (!log_.Write(poll, texts, error)) {
    summary_.Error = "the log " + log_.FilePath() + " could not be written: " + error;
    log_.Close();
    return;
  }
  summary_.LastFile = log_.FilePath();
}

LogSummary CliPollLog::Summary() const {
  LogSummary summary = summary_;
  summary.Files = log_.FileNumber() - firstNumber_ + 1;
  summary.Lines = log_.Lines();
  return summary;
}
