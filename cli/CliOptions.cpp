#include "CliOptions.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <charconv>
#include <iterator>

#include "HexBytes.h"

namespace {
// Options that change the click's entries, grid or run; none of them may
// stand beside --batch, whose lines carry them.
const char* const kClickOptions[] = {"--request", "--data", "--dat1", "--dat2", "--grid",
                                     "--grid-out", "--yes", "--no", "--count", "--interval"};
const char* const kEntryOnlyOptions[] = {"--dat1", "--dat2", "--grid", "--grid-out",
                                         "--yes",  "--no",   "--interval"};
// Options that name or set up the port: the one port of a batch is opened
// with those of the command line.
const char* const kPortOptions[] = {"--port", "--baud", "--parity", "--stop", "--batch"};
// What a batch line may hold: a click's entries and run, and the settings a
// window keeps between clicks (the device and the exchange settings).
const char* const kBatchLineOptions[] = {"--request",  "--dat1",     "--dat2",     "--grid",
                                         "--grid-out", "--yes",      "--no",       "--count",
                                         "--interval", "--device",   "--repeats1", "--repeats2",
                                         "--tx-delay", "--rx-delay"};

constexpr int kMaxRepeats = 100;
constexpr int kMinDelay = 1, kMaxDelay = 100;

// A count of 1 or more, said plainly (CLI11's own check names a range up to 1.8e308).
CLI::Validator CountCheck() {
  return CLI::Validator(
      [](std::string& text) -> std::string {
        int value = 0;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (ec != std::errc() || end != text.data() + text.size() || value < 1)
          return "must be a whole number from 1 to 2147483647, not " + text;
        return {};
      },
      "COUNT");
}
}  // namespace

bool CliOptions::EntryMode() const {
  if (Has("--batch")) return true;
  for (const char* name : kEntryOnlyOptions)
    if (Has(name)) return true;
  return false;
}

void AddCliOptions(CLI::App& app, CliOptions& o) {
  app.add_option("--port", o.Port,
                 "the port (required): COM3, a device path (/dev/ttyUSB0), rtuovertcp://HOST:PORT (RTU over "
                 "TCP, a serial device server) or tcp://HOST[:PORT] (Modbus TCP, port 502 by default); "
                 "--baud, --parity and --stop do not apply to the network ones");
  app.add_option("--baud", o.Baud, "baud rate")->capture_default_str();
  app.add_option("--parity", o.Parity, "parity: N, O or E")->capture_default_str();
  app.add_option("--stop", o.Stop, "stop bits: 1 or 2")->capture_default_str();
  app.add_option("--device", o.Device, "device number")
      ->check(CLI::Range(1, 31))
      ->capture_default_str();
  app.add_option("--request", o.RequestText,
                 "request number; its low byte is the function code (in entry mode: the text "
                 "of the entry beside \"Запрос\")");
  app.add_option("--data", o.DataText,
                 "request data after the function code, as hexadecimal bytes (\"00 00 00 0A\")");
  // Bounded so that no typing slip can make a run wait for days: the delays
  // as the exchange settings dialog's spinners allow them.
  app.add_option("--repeats1", o.Repeats1, "stage-1 repeats (1..100)")
      ->check(CLI::Range(1, kMaxRepeats))
      ->capture_default_str();
  app.add_option("--repeats2", o.Repeats2, "stage-2 repeats (1..100)")
      ->check(CLI::Range(1, kMaxRepeats))
      ->capture_default_str();
  app.add_option("--tx-delay", o.TxDelay, "delay before each write, in units of 0.1 ms (1..100)")
      ->check(CLI::Range(kMinDelay, kMaxDelay))
      ->capture_default_str();
  app.add_option("--rx-delay", o.RxDelay, "delay after each write, in units of 0.1 ms (1..100)")
      ->check(CLI::Range(kMinDelay, kMaxDelay))
      ->capture_default_str();
  app.add_option("--count", o.Count,
                 "with --data: run the transaction N times in a row (ending at the first "
                 "failure) and report the time per transaction; in entry mode: poll N times "
                 "as \"Цикл\" does, one click per --interval")
      ->check(CountCheck())
      ->capture_default_str();
  app.add_flag("--json", o.Json, "print one JSON object");
  app.add_flag("--monitor", o.Monitor,
               "show each frame on standard error as it completes; with --json each result "
               "also carries its \"frames\" and \"latency_ms\"");
  app.add_option("--value", o.ValueOptions,
                 "with --data: a value of the answer's data for the JSON and the log, "
                 "OFFSET:TYPE[:ORDER][:SCALE]: OFFSET in bytes of the data, TYPE one of u16 s16 "
                 "u32 s32 u64 s64 f32 f64 str<N>, ORDER one of ABCD CDAB BADC DCBA (ABCD unless "
                 "given); repeatable, e.g. --value 0:u16 --value 2:f32:CDAB:0.1");
  app.add_option("--log", o.LogFile,
                 "with --data: write one line per transaction to this CSV file as it happens "
                 "(time, device, request, data, result, each --value), each line on the disk "
                 "before the next; the series then goes on past failed transactions");
  app.add_option("--log-max-mb", o.LogMaxMb,
                 "with --log: a file that would grow past this many megabytes is closed and the "
                 "log goes on in FILE.2.csv, FILE.3.csv, ...")
      ->check(CLI::PositiveNumber);

  const std::string entry = "Entry mode (the main window's own request flow)";
  app.add_option("--dat1", o.Dat1, "text of the upper entry under \"Данные\"")->group(entry)->capture_default_str();
  app.add_option("--dat2", o.Dat2, "text of the lower entry under \"Данные\"")->group(entry)->capture_default_str();
  app.add_option("--grid", o.GridFile,
                 "the grid's 16 data rows: one line per row, cells separated by tabs "
                 "(- for standard input)")
      ->group(entry);
  app.add_option("--grid-out", o.GridOut,
                 "write the grid in the same form after the click (- for standard output; the "
                 "readable report then goes to standard error)")
      ->group(entry);
  auto* yes = app.add_flag("--yes", o.Yes, "answer Yes to the confirmation box")->group(entry);
  app.add_flag("--no", o.No, "answer No to the confirmation box (its default)")
      ->group(entry)
      ->excludes(yes);
  app.add_option("--interval", o.IntervalMs,
                 "polling interval in ms, as \"Настройка обмена\" sets it for \"Цикл\" (with --count)")
      ->group(entry)
      ->check(CLI::Range(1, 3600000))
      ->capture_default_str();
  const std::string scan = "Finder (--scan: which devices answer, at which line settings)";
  const char* listen = "Listening";
  app.add_flag("--listen", o.Listen, "hear the line another master drives; nothing is ever sent")->group(listen);
  app.add_option("--from-capture", o.FromCapture, "with --listen: read a pcap file or the monitor's CSV instead of a port")
      ->group(listen)->check(CLI::ExistingFile);
  app.add_option("--capture", o.CaptureFile, "with --listen: write the frames heard to this pcap file")->group(listen);
  app.add_option("--duration", o.DurationS, "with --listen: stop after this many seconds")
      ->group(listen)->check(CLI::PositiveNumber);
  app.add_flag("--scan", o.Scan, "sweep addresses, rates and frames with one probe each")->group(scan);
  app.add_option("--addresses", o.ScanAddresses, "addresses to probe, e.g. 1-31 or 1,5,10-12 (1..247)")
      ->group(scan)
      ->capture_default_str();
  app.add_option("--bauds", o.ScanBauds, "rates, tried in this order")->group(scan)->capture_default_str();
  app.add_option("--frames", o.ScanFrames, "parity and stop bits, tried in this order (E2 is refused)")
      ->group(scan)
      ->capture_default_str();
  app.add_option("--probe", o.ScanProbe, "the probe request: function code and data in hexadecimal")
      ->group(scan)
      ->capture_default_str();
  app.add_option("--margin-ms", o.MarginMs, "time a device gets beyond the probe's own time on the line")
      ->group(scan)
      ->check(CLI::Range(0, 10000))
      ->capture_default_str();
  auto* first = app.add_flag("--first", o.First, "stop at the first device found")->group(scan);
  app.add_flag("--first-setting", o.FirstSetting,
               "after the first device, probe the other addresses at its setting, then stop")
      ->group(scan)
      ->excludes(first);
  app.add_option("--batch", o.BatchFile,
                 "run one click per line of FILE (- for standard input), keeping the state "
                 "between lines; prints one JSON object per line")
      ->group(entry);
}

void RecordGivenOptions(const CLI::App& app, CliOptions& options) {
  for (const CLI::Option* option : app.get_options())
    if (option->count() > 0) options.Given.insert(option->get_name());
}

bool CheckCommandLine(const CliOptions& o, std::string& error) {
  static const char* const kListenOptions[] = {"--from-capture", "--capture", "--duration"};
  if (o.Has("--listen")) {
    for (const char* name : kClickOptions)
      if (o.Has(name)) {
        error = std::string(name) + " does not go with --listen, which never sends";
        return false;
      }
    if (o.Has("--scan") || o.Has("--batch") || o.Has("--monitor") || o.Has("--device")) {
      error = "--listen runs on its own: no --scan, --batch, --monitor or --device";
      return false;
    }
    if (o.Has("--port") == o.Has("--from-capture")) {
      error = "--listen hears either a port (--port) or a capture (--from-capture)";
      return false;
    }
    return true;
  }
  for (const char* name : kListenOptions)
    if (o.Has(name)) {
      error = std::string(name) + " belongs to --listen";
      return false;
    }
  // No default: the first port of a machine is often its console.
  if (!o.Has("--port")) {
    error = "--port is required (e.g. --port COM9)";
    return false;
  }
  static const char* const kScanOptions[] = {"--addresses", "--bauds",  "--frames",       "--probe",
                                             "--margin-ms", "--first", "--first-setting"};
  if (o.Has("--scan")) {
    for (const char* name : kClickOptions)
      if (o.Has(name)) {
        error = std::string(name) + " does not go with --scan, which sends its own probes";
        return false;
      }
    if (o.Has("--batch") || o.Has("--device") || o.Has("--count") || o.Has("--value") || o.Has("--log")) {
      error = "--scan runs on its own: no --batch, --device, --count, --value or --log";
      return false;
    }
    return true;
  }
  for (const char* name : kScanOptions)
    if (o.Has(name)) {
      error = std::string(name) + " belongs to --scan";
      return false;
    }
  if (o.Has("--batch")) {
    if (o.Has("--value") || o.Has("--log")) {
      error = "--value and --log go with --data, not with --batch";
      return false;
    }
    for (const char* name : kClickOptions)
      if (o.Has(name)) {
        error = std::string(name) + " belongs on the lines of the batch, not beside --batch";
        return false;
      }
    return true;
  }
  if (!o.Has("--request")) {
    error = "--request is required";
    return false;
  }
  static const char* const kPlainOptions[] = {"--value", "--log", "--log-max-mb"};
  for (const char* name : kPlainOptions)
    if (o.Has(name) && o.EntryMode()) {
      error = std::string(name) + " goes with --data (the raw request), not with the entry options";
      return false;
    }
  if (o.Has("--log-max-mb") && !o.Has("--log")) {
    error = "--log-max-mb goes with --log";
    return false;
  }
  if (o.EntryMode()) {
    if (o.Has("--data")) {
      error = "--data cannot be combined with the entry options (--dat1, --dat2, --grid, ...)";
      return false;
    }
    if (o.Json && o.GridOut == "-") {
      error = "--grid-out - cannot share standard output with --json";
      return false;
    }
  }
  return true;
}

bool CheckBatchLine(const CliOptions& line, bool batchFromStdin, std::string& error) {
  for (const char* name : kPortOptions)
    if (line.Has(name)) {
      error = std::string(name) + " is not taken on a batch line: the batch runs on the port "
              "of the command line";
      return false;
    }
  if (line.Has("--monitor")) {
    error = "--monitor is not taken on a batch line: it watches the whole run, give it on the "
            "command line";
    return false;
  }
  if (line.Has("--data")) {
    error = "--data is not taken on a batch line: each line is a click of the window";
    return false;
  }
  for (const std::string& name : line.Given)
    if (std::find(std::begin(kBatchLineOptions), std::end(kBatchLineOptions), name) ==
        std::end(kBatchLineOptions)) {
      error = name + " is not taken on a batch line: a line holds one click (--request, --dat1, "
              "--dat2, --grid, --grid-out, --yes, --no, --count, --interval) and the settings "
              "it runs with (--device, --repeats1, --repeats2, --tx-delay, --rx-delay)";
      return false;
    }
  if (line.GridOut == "-") {
    error = "--grid-out - is not taken on a batch line: standard output carries the JSON lines";
    return false;
  }
  if (batchFromStdin && line.GridFile == "-") {
    error = "--grid - is not taken when the batch itself comes from standard input";
    return false;
  }
  return true;
}

bool RequestFromOptions(const CliOptions& options, RequestSpec& request, std::string& error) {
  const std::string& text = options.RequestText;
  int64_t number = -1;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() || number < 0) {
    error = "--request: not a non-negative number: " + text;
    return false;
  }
  const auto data = ParseHexBytes(options.DataText);
  if (!data) {
    error = "--data: not a list of hexadecimal bytes: " + options.DataText;
    return false;
  }
  request.Code = static_cast<uint8_t>(number & 0xFF);
  request.Data = *data;
  return true;
}
