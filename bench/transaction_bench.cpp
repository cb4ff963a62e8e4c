// Time per transaction of the link against libmodbus's own RTU client: both
// read 10 holding registers from libmodbus's RTU server over a pseudo-terminal,
// in small alternating blocks so that a loaded machine treats them alike. The link's
// two spin delays (1 unit = 0.1 ms each) are taken off its time.
// Target: ratio (link / libmodbus) of at most 1.0.
//
// The link's blocks alternate with blocks of the same link watched by the
// traffic monitor: its recorder alone, and modbus-cli --monitor --json's whole
// part (the recorder, a text line per frame written to /dev/null, the frames
// kept for the JSON). Target: each within 5 % of the link without it.
#include <modbus.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <numeric>
#include <stdexcept>
#include <vector>

#include "CliMonitor.h"
#include "ComPort.h"
#include "ComPortClass.h"
#include "LibmodbusServer.h"
#include "MainPortProperties.h"
#include "PtyPair.h"
#include "SilentOperator.h"
#include "TrafficRecorder.h"

namespace {
using Clock = std::chrono::steady_clock;
constexpr int kTransactions = 3000;
constexpr int kBlock = 10;
constexpr int kWarmUp = 20;
constexpr int kDelayUnits = 1;
constexpr double kConfiguredDelaysMs = 2 * kDelayUnits * 0.1;

enum class Watch { None, Recorder, CliMonitor };

struct LinkClient {
  PtyPair pty;
  LibmodbusServer server{pty};
  TComPort port;
  SilentOperator form;
  TComPortClass link{port, form};
  uint8_t answer[300] = {};
  std::ofstream nowhere{"/dev/null"};
  TrafficRecorder recorder;
  CliMonitor monitor{nowhere, true};
  Watch watch = Watch::None;

  LinkClient() {
    LoadMainPortProperties(port);
    port.SetPort(pty.SlavePath());
    pty.ReleaseSlave();
    port.Open();
    link.SetTxDelay(kDelayUnits);
    link.SetRxDelay(kDelayUnits);
  }
  // The same link, port and server with and without the monitor, so that
  // nothing but the monitor tells the runs apart.
  void SetWatch(Watch to) {
    recorder.Detach();
    monitor.Detach();
    if (to == Watch::Recorder) recorder.Attach(link);
    if (to == Watch::CliMonitor) monitor.Start(link);
    watch = to;
  }
  void ReadTen() {
    static const uint8_t data[4] = {0x00, 0x00, 0x00, 0x0A};
    const int32_t result = link.Transact(0, 3, 4, data, answer, sizeof answer);
    if (result != 0) throw std::runtime_error("link transaction failed: " + std::to_string(result));
    if (watch == Watch::CliMonitor) monitor.TakeCompleted();
  }
};

struct LibmodbusClient {
  PtyPair pty;
  LibmodbusServer server{pty};
  modbus_t* ctx = nullptr;
  uint16_t registers[10] = {};

  LibmodbusClient() {
    ctx = modbus_new_rtu(pty.SlavePath().c_str(), 9600, 'N', 8, 2);
    if (ctx == nullptr || modbus_set_slave(ctx, 1) != 0 || modbus_connect(ctx) != 0)
      throw std::runtime_error(std::string("libmodbus client: ") + modbus_strerror(errno));
    pty.ReleaseSlave();
  }
  ~LibmodbusClient() {
    modbus_close(ctx);
    modbus_free(ctx);
  }
  void ReadTen() {
    if (modbus_read_registers(ctx, 0, 10, registers) != 10)
      throw std::runtime_error(std::string("libmodbus read failed: ") + modbus_strerror(errno));
  }
};

// Times each transaction, in milliseconds.
template <typename Client>
void Run(Client& client, int count, std::vector<double>& times) {
  for (int i = 0; i < count; ++i) {
    const auto start = Clock::now();
    client.ReadTen();
    times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
}

struct Summary {
  double mean, median, p99;
};
Summary Summarize(std::vector<double> times, double less) {
  std::sort(times.begin(), times.end());
  const double sum = std::accumulate(times.begin(), times.end(), 0.0);
  return {sum / static_cast<double>(times.size()) - less, times[times.size() / 2] - less,
          times[times.size() * 99 / 100] - less};
}
}  // namespace

int main() {
  try {
    LinkClient ours;
    LibmodbusClient theirs;
    std::vector<double> warmUp, oursTimes, recordedTimes, monitoredTimes, theirsTimes;
    Run(ours, kWarmUp, warmUp);
    Run(theirs, kWarmUp, warmUp);
    // Small alternating blocks: a burst of load elsewhere hits all alike.
    for (int block = 0; block < kTransactions / kBlock; ++block) {
      ours.SetWatch(Watch::None);
      Run(ours, kBlock, oursTimes);
      ours.SetWatch(Watch::Recorder);
      Run(ours, kBlock, recordedTimes);
      ours.SetWatch(Watch::CliMonitor);
      Run(ours, kBlock, monitoredTimes);
      Run(theirs, kBlock, theirsTimes);
    }
    if (ours.recorder.Frames().Size() != 2 * kTransactions) throw std::runtime_error("the recorder missed frames");
    const Summary o = Summarize(oursTimes, kConfiguredDelaysMs);
    const Summary r = Summarize(recordedTimes, kConfiguredDelaysMs);
    const Summary m = Summarize(monitoredTimes, kConfiguredDelaysMs);
    const Summary t = Summarize(theirsTimes, 0);
    std::printf("10-register reads over a pseudo-terminal, %d transactions each\n", kTransactions);
    std::printf("ms per transaction                 median    mean      99th percentile\n");
    std::printf("link, less %.1f ms of spin delays  %.4f    %.4f    %.4f\n", kConfiguredDelaysMs,
                o.median, o.mean, o.p99);
    std::printf("  with the monitor's recorder      %.4f    %.4f    %.4f\n", r.median, r.mean, r.p99);
    std::printf("  with modbus-cli --monitor --json %.4f    %.4f    %.4f\n", m.median, m.mean, m.p99);
    std::printf("libmodbus RTU client               %.4f    %.4f    %.4f\n", t.median, t.mean, t.p99);
    std::printf("ratio link / libmodbus             %.3f     %.3f   (target <= 1.0)\n",
                o.median / t.median, o.mean / t.mean);
    std::printf("ratio recorder / link              %.3f     %.3f   (target <= 1.05)\n",
                r.median / o.median, r.mean / o.mean);
    std::printf("ratio --monitor --json / link      %.3f     %.3f   (target <= 1.05)\n",
                m.median / o.median, m.mean / o.mean);
    std::printf("the recorder's cost, median        %.1f us per transaction\n", 1000 * (r.median - o.median));
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "transaction_bench: %s\n", e.what());
    return 1;
  }
}
