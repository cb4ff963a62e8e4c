// The command line of modbus-cli: the link's settings and one request.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace CLI {
class App;
}

struct CliOptions {
  // Written into the link's setting texts as typed; OpenPort judges them.
  std::string Port = "COM1";
  std::string Baud = "9600";
  std::string Parity = "N";
  std::string Stop = "2";
  int Device = 1;  // 1..31
  int64_t RequestNumber = 0;  // as typed; its low byte is the function code
  std::string DataText;  // --data: hexadecimal request data
  int Repeats1 = 5;
  int Repeats2 = 10;
  int TxDelay = 25;
  int RxDelay = 20;
  int Count = 1;
  bool Json = false;
};

// What one run sends: the function code and the request data that follows it.
struct RequestSpec {
  uint8_t Code = 0;
  std::vector<uint8_t> Data;
};

// Registers the options on `app`. Later request sources (entry-style options)
// add their own options to the same app.
void AddCliOptions(CLI::App& app, CliOptions& options);

// The request from --request and --data; false with a reason on bad data.
bool RequestFromOptions(const CliOptions& options, RequestSpec& request, std::string& error);
