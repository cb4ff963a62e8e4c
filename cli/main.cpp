// modbus-cli: one Modbus RTU transaction (or a series of them) through the
// tool's own link, from a terminal or a script.
#include <CLI/CLI.hpp>
#include <iostream>

#include "CliOptions.h"
#include "CliOutput.h"
#include "CliRun.h"

namespace {
constexpr int kUsageError = 2;
}

int main(int argc, char** argv) {
  CLI::App app{"Runs one Modbus RTU master transaction through the test tool's link.\n"
               "Exit status: 0 result 0, 1 failed exchange, 2 bad usage, 3 port not opened."};
  app.name("modbus-cli");
  CliOptions options;
  AddCliOptions(app, options);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    return code == 0 ? 0 : kUsageError;
  }

  RequestSpec request;
  std::string error;
  if (!RequestFromOptions(options, request, error)) {
    std::cerr << "modbus-cli: " << error << "\n";
    return kUsageError;
  }

  const RunOutcome outcome = RunTransactions(options, request);
  const bool withTimes = options.Count > 1;
  std::cout << (options.Json ? FormatJson(outcome, withTimes) : FormatText(outcome, withTimes));
  return ExitCodeOf(outcome);
}
