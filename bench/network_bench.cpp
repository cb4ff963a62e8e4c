// Transactions per second over loopback TCP: the link on tcp:// against
// libmodbus's own Modbus TCP client, both reading 10 holding registers from
// the same modbus-sim --tcp --tcp-framing mbap in the same run, in
// alternating blocks so that a loaded machine treats them alike (the
// simulator serves one connection after another: each block connects, and
// only its transactions are timed); and the link on rtuovertcp:// against
// modbus-sim --tcp-framing rtu beside them.
// The link's two spin delays are set to 0: they turn a line around and mean
// nothing over TCP. Target: link / libmodbus at most 1.0.
//
// Where the time goes, per transaction of the link: the write (handing the
// request to the kernel), the wait for the answer's first byte (the
// simulator and the loopback), and the rest (reading, checking, framing).
#include <modbus.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "ComLink.h"
#include "ComPort.h"
#include "ComPortClass.h"
#include "MainPortProperties.h"
#include "PeerProgram.h"
#include "SilentOperator.h"

namespace {
using Clock = std::chrono::steady_clock;
constexpr int kTransactions = 3000;
constexpr int kBlock = 250;
constexpr int kWarmUp = 10;  // after each connection

double Us(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::nth_element(v.begin(), v.begin() + static_cast<long>(v.size() / 2), v.end());
  return v[v.size() / 2];
}

// The write's end and the first answer byte of the transaction under way.
struct Stamps : TComLink {
  Clock::time_point written{}, firstByte{};
  bool any = false;
  void TxBuf(const uint8_t*, int, TimePoint done, int) override {
    written = done;
    any = false;
  }
  void RxBuf(const uint8_t*, int, TimePoint arrived, bool) override {
    if (!any) firstByte = arrived;
    any = true;
  }
  void RxEnded(int, int, TimePoint) override {}
  void Purged(int) override {}
};

struct LinkClient {
  TComPort port;
  SilentOperator form;
  TComPortClass link{port, form};
  Stamps stamps;
  uint8_t answer[300] = {};
  std::vector<double> total, write, wait, rest;

  // `stamped`: a linked component notes the times of each transaction's
  // write and first answer byte (which costs the link a query or two).
  LinkClient(const std::string& endpoint, bool stamped) {
    LoadMainPortProperties(port);
    link.PortName = endpoint;
    link.SetTxDelay(0);
    link.SetRxDelay(0);
    if (stamped) port.RegisterLink(&stamps);
  }
  void Connect() {
    if (link.OpenPort() != 0) throw std::runtime_error("cannot open " + link.PortName);
  }
  void Disconnect() { link.ClosePort(); }
  ~LinkClient() { port.UnRegisterLink(&stamps); }
  void Once(bool record) {
    static const uint8_t request[] = {0x00, 0x00, 0x00, 0x0A};
    const auto start = Clock::now();
    if (link.Transact(0, 3, 4, request, answer, sizeof answer) != 0) throw std::runtime_error("link failed");
    const auto end = Clock::now();
    if (!record) return;
    total.push_back(Us(end - start));
    if (!stamps.any) return;
    write.push_back(Us(stamps.written - start));
    wait.push_back(Us(stamps.firstByte - stamps.written));
    rest.push_back(Us(end - stamps.firstByte));
  }
};

struct LibmodbusClient {
  modbus_t* ctx;
  std::vector<double> total;
  explicit LibmodbusClient(const std::string& address) {
    const auto colon = address.rfind(':');
    ctx = modbus_new_tcp(address.substr(0, colon).c_str(), std::stoi(address.substr(colon + 1)));
    if (!ctx) throw std::runtime_error("libmodbus cannot make its context");
    modbus_set_slave(ctx, 1);
  }
  ~LibmodbusClient() { modbus_free(ctx); }
  void Connect() {
    if (modbus_connect(ctx) != 0) throw std::runtime_error("libmodbus cannot connect");
  }
  void Disconnect() { modbus_close(ctx); }
  void Once(bool record) {
    uint16_t registers[10];
    const auto start = Clock::now();
    if (modbus_read_registers(ctx, 0, 10, registers) != 10) throw std::runtime_error("libmodbus failed");
    if (record) total.push_back(Us(Clock::now() - start));
  }
};

void Report(const char* name, const std::vector<double>& times) {
  std::vector<double> sorted = times;
  std::sort(sorted.begin(), sorted.end());
  const double median = Median(times);
  std::printf("%-28s median %7.1f us  p99 %7.1f us  %8.0f transactions/s\n", name, median,
              sorted[sorted.size() * 99 / 100], 1e6 / median);
}
}  // namespace

int main() {
  try {
    PeerProgram mbap({MODBUS_SIM_PATH, "--tcp", "127.0.0.1:0", "--tcp-framing", "mbap"});
    PeerProgram rtu({MODBUS_SIM_PATH, "--tcp", "127.0.0.1:0", "--tcp-framing", "rtu"});
    const std::string mbapAddress = WordOf(mbap.FirstLine(), 2);
    LinkClient ours("tcp://" + mbapAddress, false);
    LinkClient oursStamped("tcp://" + mbapAddress, true);
    LinkClient oursRtu("rtuovertcp://" + WordOf(rtu.FirstLine(), 2), true);
    LibmodbusClient theirs(mbapAddress);
    oursRtu.Connect();
    auto block = [](auto& client) {
      client.Connect();
      for (int i = 0; i < kWarmUp; ++i) client.Once(false);
      for (int i = 0; i < kBlock; ++i) client.Once(true);
      client.Disconnect();
    };
    for (int done = 0, round = 0; done < kTransactions; done += kBlock, ++round) {
      // Each goes first every other round.
      if (round % 2 == 0) {
        block(ours);
        block(theirs);
      } else {
        block(theirs);
        block(ours);
      }
      for (int i = 0; i < kBlock; ++i) oursRtu.Once(true);
    }
    oursStamped.Connect();
    for (int i = 0; i < kWarmUp; ++i) oursStamped.Once(false);
    for (int i = 0; i < kTransactions / 3; ++i) oursStamped.Once(true);
    std::printf("%d reads of 10 holding registers each, loopback TCP, modbus-sim as the server\n", kTransactions);
    Report("link, tcp://", ours.total);
    Report("libmodbus, Modbus TCP", theirs.total);
    Report("link, rtuovertcp://", oursRtu.total);
    std::printf("ratio link / libmodbus (medians): %.3f (target at most 1.0)\n",
                Median(ours.total) / Median(theirs.total));
    std::printf("link, tcp://, with times noted (%.1f us), medians: write %.1f us (purge and send: the "
                "loopback delivers within it), answer's first byte %.1f us after it, rest %.1f us\n",
                Median(oursStamped.total), Median(oursStamped.write), Median(oursStamped.wait),
                Median(oursStamped.rest));
    std::printf("link, rtuovertcp://, medians: write %.1f us, first byte %.1f us, rest %.1f us\n",
                Median(oursRtu.write), Median(oursRtu.wait), Median(oursRtu.rest));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "network_bench: %s\n", e.what());
    return 1;
  }
  return 0;
}
