// link-soak: thousands of transactions of the tool's own link against the
// modbus-sim program with random faults, each result predicted from the
// simulator's log by LinkModel. Prints the transactions, the mismatches and
// the memory of both sides at the start and the end; exits 1 on a mismatch.
//
//   link-soak [--transactions N] [--seed S] [--fault-probability P]
#include <signal.h>

#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <random>
#include <sstream>
#include <thread>

#include "ComPort.h"
#include "ComPortClass.h"
#include "LinkModel.h"
#include "MainPortProperties.h"
#include "RecordingOperator.h"
#include "RequestMix.h"
#include "SimCrc.h"
#include "SimLogReader.h"
#include "SimTestSupport.h"

namespace {
// Every kind of fault the simulator knows, each drawn on its own.
const char* const kFaults[] = {"silence", "partial:1", "partial:2", "partial:3", "partial:5",
                               "badcrc",  "wrongfunc", "wrongaddr", "exception:4", "exception:6",
                               "garbage", "garbage:2", "garbage:9", "delay:20"};

// Resident memory of a process in KiB (VmRSS), 0 when unknown.
long ResidentKiB(const std::string& pid) {
  std::ifstream in("/proc/" + pid + "/status");
  for (std::string line; std::getline(in, line);)
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  return 0;
}

// The link's pauses on a clock ten times as fast: 30 ms instead of 300.
LocalDateTime FastClock() {
  using namespace std::chrono;
  static const auto start = steady_clock::now();
  const long long ms = duration_cast<milliseconds>(steady_clock::now() - start).count() * 10;
  LocalDateTime t;
  t.Hour = static_cast<int>(ms / 3'600'000 % 24);
  t.Minute = static_cast<int>(ms / 60'000 % 60);
  t.Second = static_cast<int>(ms / 1000 % 60);
  t.Millisecond = static_cast<int>(ms % 1000);
  return t;
}

std::vector<uint8_t> FrameOf(const SoakRequest& request) {
  std::vector<uint8_t> frame{static_cast<uint8_t>(request.Code == 70 ? 0 : request.DeviceIndex + 1),
                             request.Code};
  frame.insert(frame.end(), request.Data.begin(), request.Data.end());
  const uint16_t crc = SimCrc16(frame.data(), frame.size());
  frame.push_back(static_cast<uint8_t>(crc & 0xFF));
  frame.push_back(static_cast<uint8_t>(crc >> 8));
  return frame;
}

// The clock frame carries the time the link read: only its head and length are known.
bool SameRequest(const std::vector<uint8_t>& sent, const std::vector<uint8_t>& seen) {
  if (sent.size() != seen.size()) return false;
  if (sent[1] == 70) return sent[0] == seen[0] && seen[1] == 70;
  return sent == seen;
}

// Waits until the simulator's log has not grown for 500 ms (at most 5 s).
void WaitUntilQuiet(const SimProcess& sim) {
  using namespace std::chrono;
  const auto end = steady_clock::now() + 5s;
  size_t size = sim.Output().size();
  auto stillSince = steady_clock::now();
  while (steady_clock::now() < end && steady_clock::now() - stillSince < 500ms) {
    std::this_thread::sleep_for(20ms);
    const size_t now = sim.Output().size();
    if (now != size) {
      size = now;
      stillSince = steady_clock::now();
    }
  }
}

struct Done {
  std::vector<uint8_t> Frame;
  int32_t Result = 0;
  std::vector<uint8_t> Answer;  // what the caller's buffer holds of the answer
};
}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Soak test of the link against modbus-sim with random faults."};
  int transactions = 1000;
  uint32_t seed = std::random_device{}();
  double probability = 0.01;
  app.add_option("--transactions", transactions, "how many")->check(CLI::Range(1, 10'000'000));
  app.add_option("--seed", seed, "seed of the requests and of the simulator's faults");
  app.add_option("--fault-probability", probability, "chance of each kind of fault per answer")
      ->check(CLI::Range(0.0, 1.0));
  CLI11_PARSE(app, argc, argv);

  TempRuntimeDir runtime;
  std::vector<std::string> args = {"--devices", "1-3", "--busy-polls", "2", "--log",
                                   "--seed", std::to_string(seed)};
  for (const char* fault : kFaults) {
    args.push_back("--fault");
    args.push_back(std::string(fault) + "@" + std::to_string(probability));
  }
  SimProcess sim(args);
  if (!sim.WaitStarted()) {
    std::cerr << "link-soak: modbus-sim did not start: " << sim.Output() << "\n";
    return 2;
  }

  TComPort port;
  LoadMainPortProperties(port);
  // Shorter waits than the main window's, so that thousands fit in minutes.
  // The simulator answers at once, but a loaded machine can hold it up for
  // tens of milliseconds: an answer late past these waits is read by the next
  // attempt, as on a real line, and no model of the log can foresee that.
  port.Timeouts().SetReadInterval(150);
  port.Timeouts().SetReadTotalMultiplier(0);
  port.Timeouts().SetReadTotalConstant(400);
  RecordingOperator boxes;
  TComPortClass link(port, boxes);
  link.PortName = sim.Name();
  link.SetTxDelay(1);
  link.SetRxDelay(1);
  link.Clock = FastClock;
  if (link.OpenPort() != 0) {
    std::cerr << "link-soak: cannot open " << sim.Name() << "\n";
    return 2;
  }

  std::mt19937 random(seed);
  std::vector<Done> done;
  done.reserve(static_cast<size_t>(transactions));
  const long toolStart = ResidentKiB("self"), simStart = ResidentKiB(std::to_string(sim.Pid()));
  const auto started = std::chrono::steady_clock::now();
  std::vector<uint8_t> answer(kMaxCountedAnswer + 40);
  for (int i = 0; i < transactions; ++i) {
    const SoakRequest request = RandomRequest(random);
    std::fill(answer.begin(), answer.end(), 0);
    const int32_t result =
        link.Transact(request.DeviceIndex, request.Code, static_cast<int32_t>(request.Data.size()),
                      request.Data.data(), answer.data(), static_cast<int32_t>(answer.size()));
    done.push_back({FrameOf(request), result, answer});
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  const long toolEnd = ResidentKiB("self"), simEnd = ResidentKiB(std::to_string(sim.Pid()));
  link.ClosePort();
  // A frame without answer (codes 69, 70) is done for the link once the line
  // has taken it; the simulator reads and logs it a little later. Stop it only
  // when its log has stood still for a while.
  WaitUntilQuiet(sim);
  sim.Stop(SIGTERM);

  // Replay the simulator's log through the model, transaction by transaction.
  const std::vector<DeviceExchange> exchanges = ReadSimLog(sim.Output());
  size_t next = 0;
  LinkModel model(link.Repeats1, link.Repeats2);
  std::map<int32_t, int> results;
  int mismatches = 0;
  auto report = [&mismatches](int i, const std::string& what) {
    if (++mismatches <= 10) std::cerr << "link-soak: transaction " << i << ": " << what << "\n";
  };
  for (const Done& d : done) ++results[d.Result];
  for (size_t i = 0; i < done.size(); ++i) {
    const Done& d = done[i];
    std::optional<std::vector<uint8_t>> wrongRequest;
    const auto predicted = model.Transaction(d.Frame, [&]() -> std::optional<DeviceExchange> {
      if (next >= exchanges.size()) return std::nullopt;
      if (!SameRequest(d.Frame, exchanges[next].Request)) wrongRequest = exchanges[next].Request;
      return exchanges[next++];
    });
    if (!predicted) {
      report(static_cast<int>(i), "the simulator's log ends before it");
      break;
    }
    if (wrongRequest) {
      report(static_cast<int>(i), "the simulator saw " + Hex(*wrongRequest) + " instead of " + Hex(d.Frame));
      break;  // out of step: nothing after this can be compared
    }
    if (predicted->Result != d.Result) {
      report(static_cast<int>(i), "result " + std::to_string(d.Result) + ", predicted " +
                                      std::to_string(predicted->Result) + " for " + Hex(d.Frame));
      continue;
    }
    const auto& expected = predicted->Answer;
    if (!expected.empty() && !std::equal(expected.begin(), expected.end(), d.Answer.begin()))
      report(static_cast<int>(i), "answer differs from " + Hex(expected));
  }
  if (next != exchanges.size() && mismatches == 0)
    report(static_cast<int>(done.size()), std::to_string(exchanges.size() - next) +
                                              " requests more in the simulator's log than sent");

  std::printf("link-soak: seed %u, %zu transactions, %zu attempts in %.1f s, %d mismatches\n", seed,
              done.size(), exchanges.size(), seconds, mismatches);
  std::printf("results:");
  for (const auto& [result, count] : results) std::printf(" %d x%d", result, count);
  std::printf("\nmemory (VmRSS, KiB): link %ld at the start, %ld at the end; simulator %ld, %ld\n",
              toolStart, toolEnd, simStart, simEnd);
  return mismatches == 0 ? 0 : 1;
}
