// Time per transaction of the link against libmodbus's own RTU client: both
// read 10 holding registers from libmodbus's RTU server over a pseudo-terminal,
// in small alternating blocks so that a loaded machine treats them alike. The link's
// two spin delays (1 unit = 0.1 ms each) are taken off its time.
// Target: ratio (link / libmodbus) of at most 1.0.
#include <modbus.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <stdexcept>
#include <vector>

#include "ComPort.h"
#include "ComPortClass.h"
#include "LibmodbusServer.h"
#include "MainPortProperties.h"
#include "OperatorInterface.h"
#include "PtyPair.h"

namespace {
using Clock = std::chrono::steady_clock;
constexpr int kTransactions = 1000;
constexpr int kBlock = 10;
constexpr int kWarmUp = 20;
constexpr int kDelayUnits = 1;
constexpr double kConfiguredDelaysMs = 2 * kDelayUnits * 0.1;

class SilentOperator : public OperatorInterface {
public:
  MsgResult ShowMessage(const std::string& text, const std::string&, MsgIcon, MsgButtons) override {
    std::fprintf(stderr, "box: %s\n", text.c_str());
    return MsgResult::Ok;
  }
  void DisablePollTimer() override {}
  void CloseMainWindow() override {}
};

struct LinkClient {
  PtyPair pty;
  LibmodbusServer server{pty};
  TComPort port;
  SilentOperator form;
  TComPortClass link{port, form};
  uint8_t answer[300] = {};

  LinkClient() {
    LoadMainPortProperties(port);
    port.SetPort(pty.SlavePath());
    pty.ReleaseSlave();
    port.Open();
    link.SetTxDelay(kDelayUnits);
    link.SetRxDelay(kDelayUnits);
  }
  void ReadTen() {
    static const uint8_t data[4] = {0x00, 0x00, 0x00, 0x0A};
    const int32_t result = link.Transact(0, 3, 4, data, answer, sizeof answer);
    if (result != 0) throw std::runtime_error("link transaction failed: " + std::to_string(result));
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
    std::vector<double> warmUp, oursTimes, theirsTimes;
    Run(ours, kWarmUp, warmUp);
    Run(theirs, kWarmUp, warmUp);
    // Small alternating blocks: a burst of load elsewhere hits both alike.
    for (int block = 0; block < kTransactions / kBlock; ++block) {
      Run(ours, kBlock, oursTimes);
      Run(theirs, kBlock, theirsTimes);
    }
    const Summary o = Summarize(oursTimes, kConfiguredDelaysMs);
    const Summary t = Summarize(theirsTimes, 0);
    std::printf("10-register reads over a pseudo-terminal, %d transactions each\n", kTransactions);
    std::printf("ms per transaction                 median    mean      99th percentile\n");
    std::printf("link, less %.1f ms of spin delays  %.4f    %.4f    %.4f\n", kConfiguredDelaysMs,
                o.median, o.mean, o.p99);
    std::printf("libmodbus RTU client               %.4f    %.4f    %.4f\n", t.median, t.mean, t.p99);
    std::printf("ratio link / libmodbus             %.3f     %.3f   (target <= 1.0)\n",
                o.median / t.median, o.mean / t.mean);
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "transaction_bench: %s\n", e.what());
    return 1;
  }
}
