// modbus-cli's values and poll log: the --value definitions, and the log
// that --log writes, one line per transaction as the link completes it (the
// trend's follower on the link), with each value read from the answer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "AnswerFollower.h"
#include "CliOptions.h"
#include "PollLogWriter.h"
#include "TypedValue.h"

// The --value definitions; false with the reason on a mistake.
bool ValuesFromOptions(const CliOptions& options, std::vector<ValueDef>& values, std::string& error);

// What the log did, for the report.
struct LogSummary {
  std::string FirstFile, LastFile;
  int Files = 0;
  uint64_t Lines = 0;
  std::string Error;  // why it stopped writing, if it did
};

class CliPollLog {
public:
  explicit CliPollLog(std::vector<ValueDef> values);
  // The first file; false with the reason when it cannot be made.
  bool Open(const std::string& path, double maxMb, std::string& error);
  // From now on each transaction of `link` is a line.
  void Follow(TComPortClass& link) { follower_.Attach(link); }
  void StopFollowing() { follower_.Detach(); }
  // False once a line could not be written (the disk full, the file gone).
  bool Healthy() const { return summary_.Error.empty(); }
  LogSummary Summary() const;

private:
  void Write(const PollRecord& poll);

  std::vector<ValueDef> values_;
  PollLogWriter log_;
  AnswerFollower follower_;
  LogSummary summary_;
  int firstNumber_ = 1;
};
