// What the trend window keeps, without widgets: its series with their
// points, filled from every poll the link completes, and the poll log it
// writes while asked to; the series exported as CSV.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "PollLogWriter.h"
#include "PollRecord.h"
#include "SeriesStore.h"
#include "TrendSeries.h"

class TrendRecorder {
public:
  struct Series {
    SeriesDef Def;
    SeriesStore Store;
  };

  void AddSeries(const SeriesDef& def);
  void RemoveSeries(size_t index);
  // Forgets every point and gap (the series stay).
  void ClearPoints();
  const std::deque<Series>& All() const { return series_; }

  // One completed poll: a point or a gap for each series it feeds, a log line.
  void Take(const PollRecord& poll);

  uint64_t Polls() const { return polls_; }
  uint64_t FailedPolls() const { return failed_; }
  // Microseconds since the epoch of a monotonic time, by the clocks of the last poll.
  int64_t SystemUs(int64_t us) const { return us + systemOffsetUs_; }

  // The log: one line per poll, a column per series. Changing the series
  // while it runs starts its next file, with their new names.
  bool StartLog(const std::string& path, uint64_t maxBytes, std::string& error);
  void StopLog();
  bool Logging() const { return log_.IsOpen(); }
  const PollLogWriter& Log() const { return log_; }
  // Why the log stopped, if a line could not be written.
  const std::string& LogError() const { return logError_; }

  // Every point and gap: "Время" and a column per series, a line per moment
  // (ISO time), values with a decimal comma; empty where a series has no
  // point then. With the UTF-8 byte-order mark.
  std::string ExportCsv() const;

private:
  std::vector<std::string> Titles() const;
  void RestartLog();

  std::deque<Series> series_;
  uint64_t polls_ = 0, failed_ = 0;
  int64_t systemOffsetUs_ = 0;
  PollLogWriter log_;
  std::string logPath_, logError_;
  uint64_t logMaxBytes_ = 0;
};
