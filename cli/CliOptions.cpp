#include "CliOptions.h"

#include <CLI/CLI.hpp>

#include "HexBytes.h"

void AddCliOptions(CLI::App& app, CliOptions& o) {
  app.add_option("--port", o.Port, "serial port name, e.g. COM3")->capture_default_str();
  app.add_option("--baud", o.Baud, "baud rate")->capture_default_str();
  app.add_option("--parity", o.Parity, "parity: N, O or E")->capture_default_str();
  app.add_option("--stop", o.Stop, "stop bits: 1 or 2")->capture_default_str();
  app.add_option("--device", o.Device, "device number")
      ->check(CLI::Range(1, 31))
      ->capture_default_str();
  app.add_option("--request", o.RequestNumber, "request number; its low byte is the function code")
      ->required()
      ->check(CLI::NonNegativeNumber);
  app.add_option("--data", o.DataText,
                 "request data after the function code, as hexadecimal bytes (\"00 00 00 0A\")");
  app.add_option("--repeats1", o.Repeats1, "stage-1 repeats")->capture_default_str();
  app.add_option("--repeats2", o.Repeats2, "stage-2 repeats")->capture_default_str();
  app.add_option("--tx-delay", o.TxDelay, "delay before each write, in units of 0.1 ms")
      ->capture_default_str();
  app.add_option("--rx-delay", o.RxDelay, "delay after each write, in units of 0.1 ms")
      ->capture_default_str();
  app.add_option("--count", o.Count,
                 "run the transaction N times in a row (ending at the first failure) and "
                 "report the time per transaction")
      ->check(CLI::PositiveNumber)
      ->capture_default_str();
  app.add_flag("--json", o.Json, "print one JSON object");
}

bool RequestFromOptions(const CliOptions& options, RequestSpec& request, std::string& error) {
  const auto data = ParseHexBytes(options.DataText);
  if (!data) {
    error = "--data: not a list of hexadecimal bytes: " + options.DataText;
    return false;
  }
  request.Code = static_cast<uint8_t>(options.RequestNumber & 0xFF);
  request.Data = *data;
  return true;
}
