// Runs a program with arguments and collects its exit status and output.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

struct ProgramRun {
  int ExitCode = -1;  // -1 when it did not end by itself in time (it is then killed)
  std::string Out;
  std::string Err;
};

// `input`, when given, is the program's standard input (closed after it);
// otherwise the program inherits the caller's.
ProgramRun RunProgram(const std::string& path, const std::vector<std::string>& args,
                      std::chrono::milliseconds timeout = std::chrono::seconds(30),
                      const std::optional<std::string>& input = std::nullopt);
