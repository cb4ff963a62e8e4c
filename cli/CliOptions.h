// The command line of modbus-cli: the link's settings and one request, given
// either as raw request data (--data) or as the main window's entries
// (--dat1, --dat2, --grid: entry mode), or a batch of such clicks.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace CLI {
class App;
}

struct CliOptions {
  // Written into the link's setting texts as typed; OpenPort judges them.
  std::string Port;  // required
  std::string Baud = "9600";
  std::string Parity = "N";
  std::string Stop = "2";
  int Device = 1;  // 1..31
  std::string RequestText;  // as typed; its number's low byte is the function code
  std::string DataText;     // --data: hexadecimal request data
  int Repeats1 = 5;
  int Repeats2 = 10;
  int TxDelay = 25;
  int RxDelay = 20;
  int Count = 1;
  bool Json = false;
  bool Monitor = false;  // the traffic on standard error, the frames in the JSON
  // Values of the answers (OFFSET:TYPE[:ORDER][:SCALE]) for the JSON and the
  // log; the poll log's file and the size its files may grow to.
  std::vector<std::string> ValueOptions;
  std::string LogFile;
  double LogMaxMb = 0;

  // Entry mode: the texts of EditDat1 and EditDat2, the grid file, and what
  // the click is asked to do besides.
  std::string Dat1 = "0";
  std::string Dat2 = "0";
  std::string GridFile;
  std::string GridOut;
  bool Yes = false;
  bool No = false;
  int IntervalMs = 3000;  // Interval_T's default
  std::string BatchFile;

  // The device and line-settings finder (--scan): the sweep's lists as typed.
  bool Scan = false;
  std::string ScanAddresses = "1-31";
  std::string ScanBauds = "9600,19200,38400,57600,115200,4800,2400,1200";
  std::string ScanFrames = "N2,N1,E1,O1,O2";
  std::string ScanProbe = "03 00 00 00 01";
  int MarginMs = 50;
  bool First = false;
  bool FirstSetting = false;

  // Listening (--listen): the line is only heard, never written.
  bool Listen = false;
  std::string FromCapture;  // a pcap file or the monitor's CSV instead of a port
  std::string CaptureFile;  // what was heard, as pcap
  double DurationS = 0;     // 0: until stopped

  // The long names ("--dat1") of the options that were given.
  std::set<std::string> Given;
  bool Has(const std::string& name) const { return Given.count(name) > 0; }
  // Whether the request is built from entries by the main window's flow.
  bool EntryMode() const;
  // Whether an entry-mode click runs as cyclic polling (--count, --interval).
  bool Polling() const { return Has("--count") || Has("--interval"); }
};

// What one run sends: the function code and the request data that follows it.
struct RequestSpec {
  uint8_t Code = 0;
  std::vector<uint8_t> Data;
};

// Registers the options on `app`.
void AddCliOptions(CLI::App& app, CliOptions& options);
// After a parse: records in options.Given which options were given.
void RecordGivenOptions(const CLI::App& app, CliOptions& options);

// The combinations the parser does not judge; false with a reason.
bool CheckCommandLine(const CliOptions& options, std::string& error);
// The same for one line of a batch; `batchFromStdin` forbids `--grid -`.
bool CheckBatchLine(const CliOptions& line, bool batchFromStdin, std::string& error);

// The request from --request and --data; false with a reason on bad data.
bool RequestFromOptions(const CliOptions& options, RequestSpec& request, std::string& error);
