#include "TrendSeries.h"

#include <cmath>

#include "FunctionCodes.h"

bool SeriesSource::Matches(const PollRecord& poll) const {
  if (poll.Device != Device || poll.Code != Code) return false;
  if (!Start) return true;
  // A read of bits or registers names its first one in its first two bytes.
  const auto& data = poll.RequestData;
  return (ReadsBits(Code) || ReadsRegisters(Code)) && data.size() >= 2 && (data[0] << 8 | data[1]) == *Start;
}

std::string SeriesDef::Title() const {
  std::string title = Value.Name;
  if (title.empty()) {
    title = std::to_string(Source.Device) + "/" + std::to_string(Source.Code);
    if (Source.Start) title += " @" + std::to_string(*Source.Start);
    title += " " + DefaultValueName(Value);
  }
  if (!Value.Unit.empty()) title += ", " + Value.Unit;
  return title;
}

SeriesPoint PointOf(const SeriesDef& series, const PollRecord& poll) {
  SeriesPoint point;
  if (poll.Result != 0) return point;
  const double value = ShownValue(poll.Data, series.Value).Number();
  if (!std::isfinite(value)) return point;
  point.Value = value;
  point.Gap = false;
  return point;
}
