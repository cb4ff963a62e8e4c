// The poll log: one line per poll as it happens (LogLine.h), each on the
// disk before the next, in files of at most a given size. The first file is
// the name given, the next ones are numbered: run.csv, run.2.csv, run.3.csv,
// …; a log never overwrites, it starts at the first free number (so a run
// started again after a crash goes on in the next file). Each file begins
// with the UTF-8 byte-order mark and the title line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "LogFile.h"
#include "PollRecord.h"

class PollLogWriter {
public:
  // `maxBytes` 0: no limit, one file.
  bool Open(const std::string& path, const std::vector<std::string>& valueNames, uint64_t maxBytes,
            std::string& error);
  // One poll with its values' texts (as many as names were given).
  bool Write(const PollRecord& poll, const std::vector<std::string>& valueTexts, std::string& error);
  void Close();
  bool IsOpen() const { return file_.IsOpen(); }

  const std::string& FilePath() const { return filePath_; }
  int FileNumber() const { return number_; }
  uint64_t Lines() const { return lines_; }  // polls written since Open

  // The file of `number` in the log named `path`: 1 is `path` itself.
  static std::string NumberedPath(const std::string& path, int number);

private:
  bool StartFile(int fromNumber, std::string& error);

  LogFile file_;
  std::string path_, filePath_;
  std::string titleLine_;
  uint64_t maxBytes_ = 0;
  uint64_t fileBytes_ = 0;
  uint64_t fileLines_ = 0;
  uint64_t lines_ = 0;
  int number_ = 0;
};
