#include "EntryMode.h"

#include <CLI/CLI.hpp>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>

#include "CliOutput.h"
#include "EntryOutput.h"
#include "GridFile.h"
#include "ShellWords.h"
#include "StopSignals.h"

namespace {
constexpr int kUsageError = 2;
// Far more than any line of click options; an endless line is refused, not collected.
constexpr size_t kMaxBatchLine = 64 * 1024;

enum class LineRead { Line, End, TooLong };

// std::getline with a bound on the line's length.
LineRead ReadLineAtMost(std::istream& in, size_t limit, std::string& line) {
  line.clear();
  for (int c; (c = in.get()) != std::char_traits<char>::eof();) {
    if (c == '\n') return LineRead::Line;
    if (line.size() == limit) return LineRead::TooLong;
    line += static_cast<char>(c);
  }
  return line.empty() ? LineRead::End : LineRead::Line;
}

void PrintPortFailure(const RunOutcome& failure, bool json) {
  std::cout << (json ? FormatJson(failure, false) : FormatText(failure, false)) << std::flush;
}

// A line that cannot be run ends the batch: later lines were written for the
// state this one would have left.
int RefuseLine(int line, const std::string& error) {
  nlohmann::ordered_json out;
  out["line"] = line;
  out["error"] = error;
  out["usage"] = true;
  std::cout << out.dump() << "\n" << std::flush;
  std::cerr << "modbus-cli: batch line " << line << ": " << error << "\n";
  return kUsageError;
}

// The grid goes out only after a click that ended well: a file kept as a
// module's backup must not be replaced by what a failed read left, nor by an
// earlier click's grid.
void WriteGridOut(const CliOptions& options, ClickOutcome& outcome) {
  if (options.GridOut.empty() || options.GridOut == "-") return;
  if (ExitCodeOf(outcome) != 0) {
    outcome.GridNotWritten = options.GridOut;
    return;
  }
  std::string error;
  if (!WriteGridFile(options.GridOut, outcome.Grid, error))
    outcome.Error += (outcome.Error.empty() ? "" : "; ") + error;
}
}  // namespace

bool ClickRequestFrom(const CliOptions& options, ClickRequest& request, std::string& error) {
  if (options.Has("--request")) request.Request = options.RequestText;
  if (options.Has("--dat1")) request.Dat1 = options.Dat1;
  if (options.Has("--dat2")) request.Dat2 = options.Dat2;
  if (options.Has("--grid")) {
    request.Grid = ReadGridFile(options.GridFile, error);
    if (!request.Grid) return false;
  }
  request.Confirm = options.Yes ? MsgResult::Yes : MsgResult::No;
  if (options.Polling()) request.Poll = ClickRequest::Polling{options.Count, options.IntervalMs};
  return true;
}

int RunEntryClick(const CliOptions& options) {
  ClickRequest request;
  std::string error;
  if (!ClickRequestFrom(options, request, error)) {
    std::cerr << "modbus-cli: " << error << "\n";
    return kUsageError;
  }
  EntrySession session(options);
  RunOutcome failure;
  if (!session.Open(failure)) {
    PrintPortFailure(failure, options.Json);
    return ExitCodeOf(failure);
  }
  ClickOutcome outcome = session.Click(request);
  WriteGridOut(options, outcome);
  const int status = ExitCodeOf(outcome);
  if (options.GridOut == "-") {
    // Standard output carries the grid alone, so that it can be piped on;
    // after a failed click it carries nothing.
    if (status != 0) outcome.GridNotWritten = "-";
    std::cerr << FormatEntryText(outcome);
    std::string ignored;
    if (status == 0 && !WriteGridFile("-", outcome.Grid, ignored)) return 1;
    return status;
  }
  std::cout << (options.Json ? FormatEntryJson(outcome) : FormatEntryText(outcome));
  return status;
}

int RunBatch(const CliOptions& options) {
  const bool fromStdin = options.BatchFile == "-";
  std::ifstream file;
  if (!fromStdin) {
    std::error_code ec;
    if (std::filesystem::is_directory(options.BatchFile, ec)) {
      std::cerr << "modbus-cli: the batch file " << options.BatchFile << " is a directory\n";
      return kUsageError;
    }
    file.open(options.BatchFile);
    if (!file) {
      std::cerr << "modbus-cli: cannot read the batch file " << options.BatchFile << "\n";
      return kUsageError;
    }
  }
  std::istream& in = fromStdin ? std::cin : file;

  EntrySession session(options);
  RunOutcome failure;
  if (!session.Open(failure)) {
    PrintPortFailure(failure, true);
    return ExitCodeOf(failure);
  }

  int status = 0;
  int lineNumber = 0;
  std::string text;
  for (;;) {
    if (StopSignals::Requested()) {
      // The lines not run yet are left: say where the batch stopped.
      nlohmann::ordered_json out;
      out["interrupted"] = true;
      out["lines_read"] = lineNumber;
      std::cout << out.dump() << "\n" << std::flush;
      return status == 0 ? 1 : status;
    }
    const LineRead read = ReadLineAtMost(in, kMaxBatchLine, text);
    if (read == LineRead::End) break;
    ++lineNumber;
    if (read == LineRead::TooLong)
      return RefuseLine(lineNumber, "longer than " + std::to_string(kMaxBatchLine) + " bytes");
    // A NUL would cut every text that carries the line on.
    if (text.find('\0') != std::string::npos)
      return RefuseLine(lineNumber, "a NUL byte is not taken on a batch line");
    std::string error;
    auto words = SplitShellWords(text, error);
    if (!words) return RefuseLine(lineNumber, error);
    if (words->empty()) continue;  // blank or a comment

    CLI::App app;
    CliOptions line;
    AddCliOptions(app, line);
    try {
      app.parse(std::vector<std::string>(words->rbegin(), words->rend()));
    } catch (const CLI::CallForHelp&) {
      return RefuseLine(lineNumber, "--help is not taken on a batch line");
    } catch (const CLI::ParseError& e) {
      return RefuseLine(lineNumber, e.what());
    }
    RecordGivenOptions(app, line);
    ClickRequest request;
    if (!CheckBatchLine(line, fromStdin, error) || !ClickRequestFrom(line, request, error))
      return RefuseLine(lineNumber, error);

    session.ApplySettings(line);
    ClickOutcome outcome = session.Click(request);
    WriteGridOut(line, outcome);
    std::cout << FormatEntryJson(outcome, lineNumber) << std::flush;
    status = ExitCodeOf(outcome);
    if (outcome.PortLost) break;  // the window would have closed
  }
  return status;
}
