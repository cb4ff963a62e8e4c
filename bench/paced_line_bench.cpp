// Transactions on a paced line: the link reads 10 holding registers from the
// modbus-sim program, which sends its answers at the character time of the
// baud rate (--baud), with the link's default delays (TxDelay 25, RxDelay 20:
// 2.5 ms before and 2 ms after each write). Per baud rate it prints the median
// transaction time beside the physical wire time (request and answer at the
// line's bits per character, plus the two delays), and splits the time with
// the traffic monitor's frames:
//   simulator  request written → first answer byte in (latency), first → last
//              answer byte in (the answer's pacing);
//   tool       last answer byte taken from the driver → Transact returned
//              (its reaction time; target: under 1 ms at the median).
// A pseudo-terminal does not pace the request: it reaches the simulator at
// once, so the run is shorter than the wire time by about the request's share.
//
//   paced_line_bench [--transactions N] [--bauds 9600,19200,115200] [--samples]
#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <vector>

#include "ComPort.h"
#include "ComPortClass.h"
#include "MainPortProperties.h"
#include "RtuTiming.h"
#include "SilentOperator.h"
#include "SimTestSupport.h"
#include "TrafficRecorder.h"

namespace {
using Clock = std::chrono::steady_clock;
constexpr int kWarmUp = 5;
constexpr int kRequestBytes = 8;   // 01 03 00 00 00 0A + CRC
constexpr int kAnswerBytes = 25;   // 01 03 14 + 20 data bytes + CRC

// One transaction's times, in microseconds.
struct Sample {
  int64_t TotalUs = 0;     // Transact called → returned
  int64_t BeforeWriteUs = 0;  // Transact called → request written (TxDelay and the write)
  int64_t LatencyUs = 0;   // request written → first answer byte taken
  int64_t AnswerUs = 0;    // first → last answer byte taken
  int64_t ReactionUs = 0;  // last answer byte taken → Transact returned
  bool Queued = false;     // the first bytes were waiting when the head's read began
  int Attempts = 1;
};

struct Figures {
  double Median, P99;
};
Figures Of(std::vector<int64_t> values) {
  std::sort(values.begin(), values.end());
  return {static_cast<double>(values[values.size() / 2]) / 1000,
          static_cast<double>(values[values.size() * 99 / 100]) / 1000};
}

std::vector<Sample> Measure(int baud, int transactions) {
  TempRuntimeDir runtime;
  SimProcess sim({"--baud", std::to_string(baud)});
  if (!sim.WaitStarted()) throw std::runtime_error("modbus-sim did not start: " + sim.Output());

  TComPort port;
  LoadMainPortProperties(port);
  SilentOperator form;
  TComPortClass link(port, form);  // TxDelay 25, RxDelay 20 from the start
  link.PortName = sim.Name();
  link.BaudText = std::to_string(baud);
  if (link.OpenPort() != 0) throw std::runtime_error("cannot open " + sim.Name());
  TrafficRecorder recorder;
  recorder.Attach(link);

  static const uint8_t data[4] = {0x00, 0x00, 0x00, 0x0A};
  uint8_t answer[300];
  std::vector<Sample> samples;
  for (int i = 0; i < kWarmUp + transactions; ++i) {
    recorder.ClearFrames();
    const auto start = Clock::now();
    const int32_t result = link.Transact(0, 3, 4, data, answer, sizeof answer);
    const auto returned = Clock::now();
    if (result != 0) throw std::runtime_error("transaction failed: " + std::to_string(result));
    if (i < kWarmUp) continue;

    const auto& frames = recorder.Frames().Frames();
    const MonitorFrame* tx = nullptr;  // the last attempt's, the one answered
    const MonitorFrame* rx = nullptr;
    int attempts = 0;
    for (const MonitorFrame& frame : frames) {
      if (frame.Direction == FrameDirection::Tx) {
        tx = &frame;
        ++attempts;
      }
      if (frame.Direction == FrameDirection::Rx) rx = &frame;
    }
    if (!tx || !rx || rx->Chunks.empty() || rx->Bytes.size() != kAnswerBytes)
      throw std::runtime_error("the monitor did not see one request and its answer");
    const int64_t startUs = MonotonicUs(start), returnedUs = MonotonicUs(returned);
    samples.push_back({returnedUs - startUs, tx->Us - startUs, rx->Chunks.front().Us - tx->Us,
                       rx->Chunks.back().Us - rx->Chunks.front().Us,
                       returnedUs - rx->Chunks.back().Us, rx->Chunks.front().Waiting, attempts});
  }
  return samples;
}

double Ms(std::chrono::nanoseconds time) { return static_cast<double>(time.count()) / 1e6; }

void PrintSamples(const std::vector<Sample>& samples) {
  std::printf("  µs: total, to the write, latency, answer, reaction, queued, attempts\n");
  for (const Sample& s : samples)
    std::printf("  %lld %lld %lld %lld %lld %d %d\n", static_cast<long long>(s.TotalUs),
                static_cast<long long>(s.BeforeWriteUs), static_cast<long long>(s.LatencyUs),
                static_cast<long long>(s.AnswerUs), static_cast<long long>(s.ReactionUs), s.Queued,
                s.Attempts);
}

void Report(int baud, const std::vector<Sample>& samples) {
  LineFormat format;  // no parity, 2 stop bits: the tool's own line
  format.Baud = baud;
  const double delays = 2.5 + 2.0;
  const double request = Ms(WireTime(format, kRequestBytes));
  const double answerWire = Ms(WireTime(format, kAnswerBytes));
  auto column = [&](int64_t Sample::*field) {
    std::vector<int64_t> values;
    for (const Sample& s : samples) values.push_back(s.*field);
    return Of(values);
  };
  const Figures total = column(&Sample::TotalUs), before = column(&Sample::BeforeWriteUs),
                latency = column(&Sample::LatencyUs), answer = column(&Sample::AnswerUs),
                reaction = column(&Sample::ReactionUs);
  const auto queued = std::count_if(samples.begin(), samples.end(), [](const Sample& s) { return s.Queued; });
  const auto repeated =
      std::count_if(samples.begin(), samples.end(), [](const Sample& s) { return s.Attempts > 1; });

  std::printf("\n%d baud, %d bits per character, %zu transactions (ms)\n", baud,
              format.BitsPerCharacter(), samples.size());
  std::printf("  transaction, median                   %8.3f   (99th percentile %.3f; %ld repeated)\n",
              total.Median, total.P99, static_cast<long>(repeated));
  std::printf("  physical wire time                    %8.3f   = request %.3f + answer %.3f + delays %.1f\n",
              request + answerWire + delays, request, answerWire, delays);
  std::printf("  on this line (request not paced)      %8.3f   = answer + delays\n", answerWire + delays);
  std::printf("  tool: called → request written        %8.3f   (TxDelay 2.5 and the write)\n", before.Median);
  std::printf("  simulator: written → first byte in    %8.3f   (99th %.3f; %ld of %zu read as already queued)\n",
              latency.Median, latency.P99, static_cast<long>(queued), samples.size());
  std::printf("  simulator: first → last byte in       %8.3f   (99th %.3f; wire time of 24 characters %.3f)\n",
              answer.Median, answer.P99, Ms(WireTime(format, kAnswerBytes - 1)));
  std::printf("  tool: last byte in → returned         %8.3f   (99th %.3f; target: median under 1 ms)\n",
              reaction.Median, reaction.P99);
}
}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Transactions against modbus-sim --baud B: time against the wire."};
  int transactions = 200;
  std::vector<int> bauds = {9600, 19200, 115200};
  app.add_option("--transactions", transactions, "per baud rate")->check(CLI::Range(1, 100000));
  app.add_option("--bauds", bauds, "baud rates")->delimiter(',');
  bool each = false;
  app.add_flag("--samples", each, "print every transaction's times too");
  CLI11_PARSE(app, argc, argv);
  try {
    std::printf("10-register reads against modbus-sim --baud B, the link at B, TxDelay 25, RxDelay 20\n");
    for (int baud : bauds) {
      const std::vector<Sample> samples = Measure(baud, transactions);
      Report(baud, samples);
      if (each) PrintSamples(samples);
    }
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "paced_line_bench: %s\n", e.what());
    return 1;
  }
}
