// Runs a program with arguments and collects its exit status and output.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

struct ProgramRun {
  int ExitCode = -1;  // -1 when it did not end by itself in time (it is then killed)
  std::string Out;
  std::string Err;
};

// A signal sent to the program once `Ready` says so (asked every 10 ms), so
// that a test interrupts a run that has really begun, however slowly the
// program starts on a loaded machine.
struct SignalWhen {
  int Signal = 0;
  std::function<bool()> Ready;
};

// `input`, when given, is the program's standard input (closed after it);
// otherwise the program inherits the caller's.
ProgramRun RunProgram(const std::string& path, const std::vector<std::string>& args,
                      std::chrono::milliseconds timeout = std::chrono::seconds(30),
                      const std::optional<std::string>& input = std::nullopt,
                      const std::optional<SignalWhen>& stop = std::nullopt);
