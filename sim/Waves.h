// Holding registers that move in time, for demonstrations and tests of the
// trend (--wave REG:KIND[:PERIOD_S]): a ramp from 0 to 1000 over the period,
// a sine 1000 ± 1000, a counter up by one each period, a random walk of
// steps from −10 to +10 each period within 0..2000. The time counts from the
// simulator's start; each register is set when a request is handled, so an
// answer carries the wave's value at that moment.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

struct DeviceBanks;

enum class WaveKind { Ramp, Sine, Counter, Walk };

struct Wave {
  uint16_t Register = 0;
  WaveKind Kind = WaveKind::Sine;
  double PeriodS = 10;
};

// "0:sine", "5:ramp:60", "2:counter:0.5", "3:walk"; the period's default is
// 10 s for ramp and sine, 1 s for counter and walk.
std::optional<Wave> ParseWave(const std::string& text, std::string* error = nullptr);

class WaveSet {
public:
  using Clock = std::chrono::steady_clock;
  WaveSet(std::vector<Wave> waves, uint32_t seed, Clock::time_point start = Clock::now());

  // Each wave's register set to its value at `now`.
  void Apply(DeviceBanks& banks, Clock::time_point now);
  bool Empty() const { return waves_.empty(); }
  // The value of wave `index` `seconds` after the start (a walk takes its steps up to then).
  uint16_t Value(size_t index, double seconds);

private:
  struct Walker {
    int Value = 1000;
    uint64_t Steps = 0;
  };
  std::vector<Wave> waves_;
  std::vector<Walker> walkers_;
  std::mt19937 random_;
  Clock::time_point start_;
};
