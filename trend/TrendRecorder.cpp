#include "TrendRecorder.h"

#include <algorithm>

#include "CsvRecord.h"
#include "LogLine.h"

void TrendRecorder::AddSeries(const SeriesDef& def) {
  series_.push_back({def, SeriesStore()});
  RestartLog();
}

void TrendRecorder::RemoveSeries(size_t index) {
  if (index >= series_.size()) return;
  series_.erase(series_.begin() + static_cast<std::ptrdiff_t>(index));
  RestartLog();
}

void TrendRecorder::ClearPoints() {
  for (Series& series : series_) series.Store.Clear();
}

void TrendRecorder::Take(const PollRecord& poll) {
  ++polls_;
  if (poll.Result != 0) ++failed_;
  systemOffsetUs_ = poll.SystemUs - poll.Us;
  std::vector<std::string> texts;
  for (Series& series : series_) {
    const bool feeds = series.Def.Source.Matches(poll);
    texts.push_back(feeds && poll.Result == 0 ? LogValueText(ShownValue(poll.Data, series.Def.Value)) : "");
    if (!feeds) continue;
    const SeriesPoint point = PointOf(series.Def, poll);
    if (point.Gap)
      series.Store.AddGap(poll.Us);
    else
      series.Store.Add(poll.Us, point.Value);
  }
  if (!log_.IsOpen()) return;
  std::string error;
  if (!log_.Write(poll, texts, error)) {
    logError_ = log_.FilePath() + ": " + error;
    log_.Close();
  }
}

std::vector<std::string> TrendRecorder::Titles() const {
  std::vector<std::string> titles;
  for (const Series& series : series_) titles.push_back(series.Def.Title());
  return titles;
}

bool TrendRecorder::StartLog(const std::string& path, uint64_t maxBytes, std::string& error) {
  logPath_ = path;
  logMaxBytes_ = maxBytes;
  logError_.clear();
  return log_.Open(path, Titles(), maxBytes, error);
}

void TrendRecorder::StopLog() { log_.Close(); }

void TrendRecorder::RestartLog() {
  if (!log_.IsOpen()) return;
  std::string error;
  if (!log_.Open(logPath_, Titles(), logMaxBytes_, error)) logError_ = error;
}

std::string TrendRecorder::ExportCsv() const {
  struct Entry {
    int64_t Us;
    size_t Series;
    double Value;
    bool Gap;
  };
  std::vector<Entry> entries;
  for (size_t s = 0; s < series_.size(); ++s) {
    const SeriesStore& store = series_[s].Store;
    for (size_t i = 0; i < store.Size(); ++i) entries.push_back({store.Time(i), s, store.Value(i), false});
    for (int64_t gap : store.Gaps()) entries.push_back({gap, s, 0, true});
  }
  std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.Us < b.Us; });
  std::vector<std::string> titles{"Время"};
  const auto names = Titles();
  titles.insert(titles.end(), names.begin(), names.end());
  std::string text = "\xEF\xBB\xBF" + CsvRecord(titles);
  for (size_t i = 0; i < entries.size();) {
    std::vector<std::string> fields(series_.size() + 1);
    fields[0] = IsoTime(SystemUs(entries[i].Us));
    const int64_t at = entries[i].Us;
    for (; i < entries.size() && entries[i].Us == at; ++i) {
      if (entries[i].Gap) continue;
      TypedValue value;
      value.Is = TypedValue::Kind::Real;
      value.R = entries[i].Value;
      fields[entries[i].Series + 1] = LogValueText(value);
    }
    text += CsvRecord(fields);
  }
  return text;
}
