// A series of the trend: which polls it takes its points from (a device, a
// request, and for the reading requests 1-4 perhaps the first register or
// bit asked for) and which value of their answers; which axis it is drawn
// against. A good answer adds a point, a failed poll a gap.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "PollRecord.h"
#include "TypedValue.h"

struct SeriesSource {
  uint8_t Device = 1;
  uint8_t Code = 3;
  std::optional<uint16_t> Start;  // the first register or bit the request asks for; any when not given

  bool Matches(const PollRecord& poll) const;
  bool operator==(const SeriesSource&) const = default;
};

enum class SeriesAxis { Left, Right };

struct SeriesDef {
  SeriesSource Source;
  ValueDef Value;
  SeriesAxis Axis = SeriesAxis::Left;

  // The value's name with its unit: "Температура, °C"; or, without a name,
  // where it comes from: "1/3 @0 0:u16".
  std::string Title() const;
};

// What a poll gives a series: a value, or a gap (a failed poll, or an answer
// too short for the value or whose value is no finite number).
struct SeriesPoint {
  double Value = 0;
  bool Gap = true;
};
SeriesPoint PointOf(const SeriesDef& series, const PollRecord& poll);
