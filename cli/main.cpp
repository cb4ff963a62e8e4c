// modbus-cli: one Modbus RTU transaction (or a series of them) through the
// tool's own link, or the main window's request flow without a window, from
// a terminal or a script.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <iostream>
#include <memory>

#include "CliOptions.h"
#include "CliOutput.h"
#include "CliRun.h"
#include "EntryMode.h"
#include "ListenMode.h"
#include "ScanMode.h"
#include "StopSignals.h"

namespace {
constexpr int kUsageError = 2;

constexpr const char* kDescription =
    "Runs one Modbus RTU master transaction through the test tool's link.\n"
    "\n"
    "Plain mode: --request N --data BYTES sends exactly those request bytes.\n"
    "\n"
    "Entry mode (any of --dat1, --dat2, --grid, --grid-out, --yes, --no, --interval):\n"
    "the request is built by the main window's own flow from --request (the entry beside\n"
    "\"Запрос\"), --dat1/--dat2 (the upper and lower entries under \"Данные\", \"0\" unless\n"
    "given) and the grid, with its checks and boxes. It prints the twenty answer fields\n"
    "under \"Принято\" (\"fields\"), the 16 grid rows (\"grid\"), the three entries afterwards\n"
    "(\"entries\": EditZapr, EditDat1, EditDat2 are the request, upper and lower data\n"
    "entries) and every\n"
    "box (\"boxes\"); \"result\" is that of the click's last pass (after a 69: its last\n"
    "completion poll with 14), null when the click sent nothing. The confirmation before\n"
    "writing another module's database is answered No unless --yes; other boxes are\n"
    "answered OK. An entry that is no number ends the click with an \"error\".\n"
    "--count N [--interval MS, 3000 unless given] polls as \"Цикл\" does: the first click\n"
    "one interval after the start, stopping at the first failure without its report\n"
    "(\"polls\": the result of each click).\n"
    "\n"
    "Batch (--batch FILE, - for standard input): one click per line, each line holding\n"
    "the click options of entry mode (e.g. --request 69 --dat1 5 --yes); blank lines and\n"
    "# comments are skipped; words are split as by a shell, with '...' and \"...\" quotes.\n"
    "Entries and grid not given on a line keep what the previous click left, and so do\n"
    "the device data store and the settings. --device and the exchange settings\n"
    "(--repeats1/2, --tx-delay, --rx-delay) may change on a line and stay changed; the\n"
    "port options (--port, --baud, --parity, --stop) belong on the command line only: one\n"
    "port serves the whole batch. A line that gives any option but a click's and those\n"
    "settings (or --grid-out -) is a usage error that ends the batch. One JSON object is\n"
    "printed per line, with its \"line\" number; the exit status is that of the last line.\n"
    "--grid-out writes its file only after a click that ended well (\"grid_not_written\"\n"
    "otherwise); after a failed 68 a 69 is refused as the window refuses it.\n"
    "\n"
    "Monitor (--monitor): every request and answer is shown on standard error as it\n"
    "completes, one line per frame as the traffic monitor shows it (time of day, ms since\n"
    "the frame before, direction, bytes, CRC, function, latency, largest gap, attempt,\n"
    "stage, result, notes); purged bytes show with ×. Standard output carries what it\n"
    "carries without it, and the readable form adds the answer's latency. With --json (and\n"
    "in a batch) each result object adds \"latency_ms\" (of the good answer that ended\n"
    "the last transaction; null when there is none), \"discarded\" (bytes purges threw\n"
    "away) and \"frames\": [{\"t_us\": microseconds since the port was opened, \"time\":\n"
    "\"HH:MM:SS.mmm\", \"dir\": \"tx\"|\"rx\", \"hex\": \"01 03 ...\", \"transaction\": n (in\n"
    "the run), \"attempt\": n, \"stage\": 1|2 (2: the answer's head was good), ...}], an\n"
    "answer adding \"end_us\" (its last byte), \"chunks\", \"latency_us\" (first byte after\n"
    "the request), \"gap_us\" and the flags \"gap_too_long\", \"before_request\", \"queued\"\n"
    "(it was waiting when the read began: its times are late); an attempt's last frame\n"
    "carries the attempt's \"result\". Each poll adds its \"latency_ms\". --count lists the\n"
    "frames of the last 1000 transactions (\"frames_omitted\": how many before them were\n"
    "left out). Without --monitor nothing of this is printed.\n"
    "\n"
    "Finder (--scan): one probe (--probe, default 03 00 00 00 01: register 0; only codes\n"
    "that read, in hexadecimal 01-04, 0E, 11, 42-44, 47) per address (--addresses) and\n"
    "line setting (--bauds x --frames), the usual settings first (the\n"
    "first two rates with the first three frames); each probe waits for the request and\n"
    "the expected answer on the line plus --margin-ms, and is not repeated. An answer with\n"
    "a good CRC from the probed address, or an exception answer, is a device; bytes that\n"
    "fail the CRC or come from another address are noise. Devices and noise are printed\n"
    "as found (a progress line on a terminal), then a summary; with --json one object:\n"
    "{\"devices\": [...], \"noise\": [...], \"probes\", \"elapsed_s\", \"cancelled\"}. Ctrl+C ends\n"
    "the sweep at once, the probe under way too. --port opens the port as usual; its line settings\n"
    "are then the finder's. Exit 0 when a device answered, 1 when none did.\n"
    "\n"
    "Values and log (with --data): --value OFFSET:TYPE[:ORDER][:SCALE] (repeatable) reads a\n"
    "value from the data of the answer (after its byte count): OFFSET in bytes, TYPE u16\n"
    "s16 u32 s32 u64 s64 f32 f64 or str<N> (N characters, two per register), ORDER ABCD\n"
    "(big-endian, the default), CDAB (registers swapped), BADC (bytes in each register\n"
    "swapped) or DCBA, SCALE a factor. The JSON carries \"values\": [{\"name\", \"offset\",\n"
    "\"type\", \"order\", \"scale\", \"value\" (a number, text, or null when the answer has\n"
    "none or it is NaN or infinite), \"text\"}] of the last answer; the readable form a line\n"
    "each. --log FILE.csv writes one line per transaction as it completes: the time (ISO\n"
    "8601, local, with ms and the offset from UTC), device, request, request data,\n"
    "result and each value (a decimal comma), ';'-separated with a title line naming\n"
    "each value; every line is on the disk before the next transaction, so a kill or a\n"
    "power cut loses at most the line being written. With --log the series goes on past\n"
    "failed transactions (each is a line with its result). --log-max-mb N ends a file\n"
    "before it grows past N MB and goes on in FILE.2.csv, FILE.3.csv, ...; an existing\n"
    "file is never overwritten: the log begins at the first free number. The JSON adds\n"
    "\"log\": {\"first_file\", \"last_file\", \"files\", \"lines\"}.\n"
    "\n"
    "Listening (--listen): the port is opened to hear a line another master drives and is\n"
    "never written. Frames are found by the length rules of each request and answer and the\n"
    "CRC (silences of 3.5 characters are hints), paired request to answer, and printed one\n"
    "line each as the traffic monitor shows them (→ request, ← answer, ? bytes of no frame),\n"
    "then a summary per address: requests, good answers, each result (the link's codes:\n"
    "exceptions, 128 foreign answer, 129 incomplete, 130 no answer, 131 CRC), answer latency\n"
    "and polling period (min / median / max, ms), answers that began before 3.5 characters\n"
    "of silence, answers without request. --duration S stops after S seconds, Ctrl+C at\n"
    "once. --capture FILE writes the frames as pcap (Wireshark: see README.md);\n"
    "--from-capture FILE reads such a file, or the monitor's CSV, instead of a port. With\n"
    "--json one object: {\"frames\": [{\"t_us\", \"time\", \"dir\": \"request\"|\"answer\"|\n"
    "\"unframed\", \"hex\", \"crc_ok\", \"address\", \"function\", \"exchange\", \"result\",\n"
    "\"latency_us\", \"too_soon\", \"note\"}], \"summary\": [per address], \"unframed_bytes\",\n"
    "\"duration_s\", \"interrupted\"}.\n"
    "\n"
    "Stopping: Ctrl+C, SIGTERM or SIGHUP end a series, polling, a batch or a sweep after\n"
    "the transaction under way, close the port and print what was done (\"interrupted\":\n"
    "true); a second one ends the program at once. --count keeps the last 1000 polls in\n"
    "\"polls\" (\"polls_omitted\": the earlier ones) and bounded summaries of the times.\n"
    "\n"
    "--port is required. A port in use by another program fails to open; \"error\" then\n"
    "names the program where the system shows it.\n"
    "\n"
    "Exit status: 0 result 0, 1 failed exchange or a click that sent nothing (result\n"
    "null), 2 bad usage, 3 port not opened. --scan: 0 a device answered, 1 none did,\n"
    "2 bad usage, 3 the port did not open or failed during the sweep (then \"error\" in\n"
    "its JSON says why).";
}  // namespace

int main(int argc, char** argv) {
  // First of all: Ctrl+C, SIGTERM and SIGHUP end a run in order from here on.
  StopSignals stop;
  CLI::App app{kDescription};
  app.name("modbus-cli");
  app.set_version_flag("--version", "modbus-cli " MODBUS_TESTER_VERSION);
  CliOptions options;
  AddCliOptions(app, options);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    return code == 0 ? 0 : kUsageError;
  }
  RecordGivenOptions(app, options);

  std::string error;
  if (!CheckCommandLine(options, error)) {
    std::cerr << "modbus-cli: " << error << "\n";
    return kUsageError;
  }
  if (options.Listen) return RunListen(options);
  if (options.Scan) return RunScan(options);
  if (options.Has("--batch")) return RunBatch(options);
  if (options.EntryMode()) return RunEntryClick(options);

  RequestSpec request;
  std::vector<ValueDef> values;
  if (!RequestFromOptions(options, request, error) || !ValuesFromOptions(options, values, error)) {
    std::cerr << "modbus-cli: " << error << "\n";
    return kUsageError;
  }
  std::unique_ptr<CliPollLog> log;
  if (options.Has("--log")) {
    log = std::make_unique<CliPollLog>(values);
    if (!log->Open(options.LogFile, options.LogMaxMb, error)) {
      std::cerr << "modbus-cli: --log: " << error << "\n";
      return kUsageError;
    }
  }
  RunOutcome outcome = RunTransactions(options, request, log.get());
  outcome.Values = values;
  const bool withTimes = options.Has("--count");
  std::cout << (options.Json ? FormatJson(outcome, withTimes) : FormatText(outcome, withTimes));
  // A log that stopped writing is a failed run, whatever the device answered.
  if (outcome.Log && !outcome.Log->Error.empty()) return std::max(ExitCodeOf(outcome), 1);
  return ExitCodeOf(outcome);
}
