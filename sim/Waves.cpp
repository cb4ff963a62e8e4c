#include "Waves.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <sstream>

#include "DeviceBanks.h"

namespace {
constexpr int kWalkLow = 0, kWalkHigh = 2000, kWalkStep = 10;
}  // namespace

std::optional<Wave> ParseWave(const std::string& text, std::string* error) {
  auto fail = [&](const std::string& reason) -> std::optional<Wave> {
    if (error) *error = reason;
    return std::nullopt;
  };
  std::vector<std::string> parts;
  std::istringstream in(text);
  for (std::string part; std::getline(in, part, ':');) parts.push_back(part);
  if (parts.size() < 2 || parts.size() > 3) return fail("'" + text + "' is not REG:KIND[:PERIOD_S]");
  Wave wave;
  size_t used = 0;
  int reg = -1;
  try {
    reg = std::stoi(parts[0], &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used != parts[0].size() || reg < 0 || reg >= static_cast<int>(DeviceBanks::kHoldingRegisters))
    return fail("'" + parts[0] + "': a holding register 0.." + std::to_string(DeviceBanks::kHoldingRegisters - 1));
  wave.Register = static_cast<uint16_t>(reg);
  if (parts[1] == "ramp") wave.Kind = WaveKind::Ramp;
  else if (parts[1] == "sine") wave.Kind = WaveKind::Sine;
  else if (parts[1] == "counter") wave.Kind = WaveKind::Counter;
  else if (parts[1] == "walk") wave.Kind = WaveKind::Walk;
  else return fail("'" + parts[1] + "': ramp, sine, counter or walk");
  wave.PeriodS = wave.Kind == WaveKind::Ramp || wave.Kind == WaveKind::Sine ? 10 : 1;
  if (parts.size() == 3) {
    double period = 0;
    try {
      period = std::stod(parts[2], &used);
    } catch (const std::exception&) {
      used = 0;
    }
    if (used != parts[2].size() || !(period >= 0.001 && period <= 86400))
      return fail("'" + parts[2] + "': a period from 0.001 to 86400 seconds");
    wave.PeriodS = period;
  }
  return wave;
}

WaveSet::WaveSet(std::vector<Wave> waves, uint32_t seed, Clock::time_point start)
    : waves_(std::move(waves)), walkers_(waves_.size()), random_(seed), start_(start) {}

uint16_t WaveSet::Value(size_t index, double seconds) {
  const Wave& wave = waves_[index];
  const double turns = std::max(seconds, 0.0) / wave.PeriodS;
  switch (wave.Kind) {
    case WaveKind::Ramp: return static_cast<uint16_t>(std::lround(1000 * (turns - std::floor(turns))));
    case WaveKind::Sine: return static_cast<uint16_t>(std::lround(1000 + 1000 * std::sin(2 * std::numbers::pi * turns)));
    case WaveKind::Counter: return static_cast<uint16_t>(static_cast<uint64_t>(turns) % 65536);
    case WaveKind::Walk: {
      Walker& walker = walkers_[index];
      std::uniform_int_distribution<int> step(-kWalkStep, kWalkStep);
      for (const auto due = static_cast<uint64_t>(turns); walker.Steps < due; ++walker.Steps)
        walker.Value = std::clamp(walker.Value + step(random_), kWalkLow, kWalkHigh);
      return static_cast<uint16_t>(walker.Value);
    }
  }
  return 0;
}

void WaveSet::Apply(DeviceBanks& banks, Clock::time_point now) {
  const double seconds = std::chrono::duration<double>(now - start_).count();
  for (size_t i = 0; i < waves_.size(); ++i) banks.holding[waves_[i].Register] = Value(i, seconds);
}
