// modbus-sim: a simulated Modbus RTU field device on a pseudo-terminal,
// registered as COM<n> in the per-user port directory.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <random>

#include "LineServer.h"
#include "PortDirectory.h"
#include "PtyLine.h"
#include "SimBus.h"
#include "TcpServer.h"
#include "TapLine.h"

namespace {
constexpr int kUsageError = 2;  // bad options; 1 when the line cannot be set up
int stopPipe[2] = {-1, -1};

extern "C" void OnStopSignal(int) {
  const int saved = errno;
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = write(stopPipe[1], &byte, 1);
  errno = saved;
}

bool InstallStopSignals() {
  if (pipe2(stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGINT, SIGTERM, SIGHUP})
    if (sigaction(signal, &action, nullptr) != 0) return false;
  // A log read through a pipe that closes must not kill the simulator before
  // it has removed its port entry.
  return ::signal(SIGPIPE, SIG_IGN) != SIG_ERR;
}

void PrintLogLine(const std::string& text) {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm local{};
  localtime_r(&seconds, &local);
  std::printf("%02d:%02d:%02d.%03d %s\n", local.tm_hour, local.tm_min, local.tm_sec, static_cast<int>(ms),
              text.c_str());
  std::fflush(stdout);
}

// The line's registration: COM<wanted>, or the first number from 9 up that
// is free or dead; nothing, with a reason, when none can be had.
std::optional<PortRegistration> Register(int wanted, const std::string& device, std::string& error) {
  if (!EnsureUserPortDirectory(&error)) return std::nullopt;
  if (wanted > 0) return RegisterVirtualPort(wanted, device, &error);
  for (int number = 9; number <= 255; ++number)
    if (auto registration = RegisterVirtualPort(number, device, &error)) return registration;
  return std::nullopt;
}
}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Simulated Modbus RTU field device on a pseudo-terminal, registered as COM<n>."};
  int com = 0;
  std::string deviceList = "1";
  SimOptions options;
  LineTiming timing;
  std::string parity = "N";
  std::vector<std::string> faults;
  std::optional<uint32_t> seed;
  std::string scriptFile;
  bool log = false;
  bool tap = false;
  double tapNoise = 0;
  app.add_option("--com", com, "COM number to register (default: the first free one from 9 up)")->check(CLI::Range(1, 255));
  app.add_option("--devices", deviceList, "device addresses served, e.g. 1,5-7")->capture_default_str();
  app.add_option("--busy-polls", options.busy.polls, "code-14 polls answered busy after a database write")
      ->capture_default_str()->check(CLI::Range(0, 1000000));
  app.add_option("--busy-ms", options.busy.ms, "busy time after a database write instead of --busy-polls")
      ->check(CLI::Range(0, 3600000));
  std::string mismatch = "silence";
  app.add_option("--baud", timing.baud,
                 "the device's line rate: answers are paced at it, and a request on a line set otherwise "
                 "is not understood (default: any line, answers at once)")
      ->check(CLI::Range(50, 4000000));
  app.add_option("--parity", parity, "the device's parity (with --baud)")->check(CLI::IsMember({"N", "E", "O"}))->capture_default_str();
  app.add_option("--stop", timing.stopBits, "the device's stop bits (with --baud)")->check(CLI::IsMember({1, 2}))->capture_default_str();
  app.add_option("--mismatch", mismatch, "what a request on a line set otherwise gets: silence or noise (with --baud)")
      ->check(CLI::IsMember({"silence", "noise"}))
      ->capture_default_str();
  app.add_option("--fault", faults, "KIND[:ARG][@PROBABILITY]: silence, partial:N, badcrc, wrongfunc, wrongaddr, "
                                    "exception:CODE, delay:MS, garbage[:N]; repeatable");
  app.add_option("--seed", seed, "seed for random faults");
  std::vector<std::string> waves;
  app.add_option("--wave", waves, "REG:KIND[:PERIOD_S]: holding register REG follows a ramp (0..1000), a sine "
                                  "(1000 ± 1000), a counter or a random walk in time; repeatable");
  app.add_option("--script", scriptFile, "behaviour for each successive request (see README.md)")->check(CLI::ExistingFile);
  app.add_flag("--log", log, "print each frame received and sent");
  app.add_flag("--tap", tap, "register a second port that mirrors every byte of the line at its pace (needs --baud)");
  app.add_option("--tap-noise", tapNoise, "chance (0..1) of 1-3 noise bytes on the tap in the silence after a frame")
      ->check(CLI::Range(0.0, 1.0));
  app.set_version_flag("--version", "modbus-sim " MODBUS_TESTER_VERSION);
  std::string tcp;
  std::string tcpFraming = "rtu";
  auto* tcpOption = app.add_option("--tcp", tcp,
                                   "serve over TCP at HOST:PORT instead of a pseudo-terminal (port 0: any free one), "
                                   "one connection after another");
  app.add_option("--tcp-framing", tcpFraming,
                 "rtu: RTU frames with CRC, as a serial device server passes them; mbap: Modbus TCP")
      ->check(CLI::IsMember({"rtu", "mbap"}))
      ->capture_default_str()
      ->needs(tcpOption);
  tcpOption->excludes("--com")->excludes("--baud")->excludes("--tap");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    // One exit status for every bad option, whatever the parser calls it.
    return app.exit(e) == 0 ? 0 : kUsageError;
  }

  std::string error;
  if (!ParseDeviceList(deviceList, options.devices, &error)) {
    std::cerr << "modbus-sim: --devices: " << error << '\n';
    return kUsageError;
  }
  for (const std::string& text : faults) {
    auto fault = ParseFault(text, &error);
    if (!fault) {
      std::cerr << "modbus-sim: --fault: " << error << '\n';
      return kUsageError;
    }
    options.faults.push_back(*fault);
  }
  for (const std::string& text : waves) {
    auto wave = ParseWave(text, &error);
    if (!wave) {
      std::cerr << "modbus-sim: --wave: " << error << '\n';
      return kUsageError;
    }
    options.waves.push_back(*wave);
  }
  if (!scriptFile.empty()) {
    std::ifstream in(scriptFile);
    auto script = ParseScript(in, &error);
    if (!script) {
      std::cerr << "modbus-sim: " << scriptFile << ": " << error << '\n';
      return kUsageError;
    }
    options.script = std::move(*script);
  }
  options.seed = seed ? *seed : std::random_device{}();
  if ((tap || tapNoise > 0) && timing.baud <= 0) {
    std::cerr << "modbus-sim: --tap needs --baud: the tap carries the line at its pace\n";
    return kUsageError;
  }
  timing.parity = parity[0];

  if (!InstallStopSignals()) {
    std::perror("modbus-sim: signals");
    return 1;
  }
  if (!tcp.empty()) {
    try {
      SimLog sink = log ? SimLog(PrintLogLine) : SimLog();
      SimBus bus(options, sink);
      TcpServer server(bus, tcpFraming == "mbap" ? TcpServer::Framing::Mbap : TcpServer::Framing::Rtu, sink);
      server.Listen(tcp);
      std::printf("modbus-sim: tcp %s %s\n", server.Address().c_str(), tcpFraming.c_str());
      std::fflush(stdout);
      server.Run(stopPipe[0]);
    } catch (const std::exception& e) {
      std::cerr << "modbus-sim: " << e.what() << '\n';
      return 1;
    }
    return 0;
  }
  try {
    PtyLine line;
    // Alive for as long as the simulator serves the line; the entry goes when
    // it ends, and one left by a SIGKILL is dead and replaced by the next.
    const auto registration = Register(com, line.SlavePath(), error);
    if (!registration) {
      std::cerr << "modbus-sim: cannot register the port: " << error << '\n';
      return 1;
    }
    SimLog sink = log ? SimLog(PrintLogLine) : SimLog();
    std::unique_ptr<TapLine> tapLine;
    std::optional<PortRegistration> tapRegistration;
    if (tap || tapNoise > 0) {
      tapLine = std::make_unique<TapLine>(timing, tapNoise, options.seed, sink);
      tapRegistration = Register(0, tapLine->SlavePath(), error);
      if (!tapRegistration) {
        std::cerr << "modbus-sim: cannot register the tap: " << error << '\n';
        return 1;
      }
      std::printf("modbus-sim: COM%d %s tap COM%d %s\n", registration->Number(), line.SlavePath().c_str(),
                  tapRegistration->Number(), tapLine->SlavePath().c_str());
    } else {
      std::printf("modbus-sim: COM%d %s\n", registration->Number(), line.SlavePath().c_str());
    }
    std::fflush(stdout);
    SimBus bus(options, sink);
    LineServer server(line.MasterFd(), bus, timing, sink);
    server.SetTap(tapLine.get());
    if (timing.baud > 0) server.CheckLineSettings(line.SlaveFd(), mismatch == "noise");
    server.Run(stopPipe[0]);
  } catch (const std::exception& e) {
    std::cerr << "modbus-sim: " << e.what() << '\n';
    return 1;
  }
  return 0;
}
