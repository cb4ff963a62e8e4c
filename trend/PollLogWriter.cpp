#include "PollLogWriter.h"

#include "CsvRecord.h"
#include "LogLine.h"

namespace {
constexpr char kUtf8Bom[] = "\xEF\xBB\xBF";
// Far beyond any real log's count of files: a folder that cannot be written
// must not make the search for a free number endless.
constexpr int kMaxFiles = 1'000'000;
}  // namespace

std::string PollLogWriter::NumberedPath(const std::string& path, int number) {
  if (number <= 1) return path;
  const size_t slash = path.find_last_of("/\\");
  const size_t dot = path.rfind('.');
  const bool hasSuffix = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
  const std::string stem = hasSuffix ? path.substr(0, dot) : path;
  const std::string suffix = hasSuffix ? path.substr(dot) : "";
  return stem + "." + std::to_string(number) + suffix;
}

bool PollLogWriter::Open(const std::string& path, const std::vector<std::string>& valueNames, uint64_t maxBytes,
                   std::string& error) {
  Close();
  path_ = path;
  maxBytes_ = maxBytes;
  titleLine_ = CsvRecord(LogTitles(valueNames));
  lines_ = 0;
  return StartFile(1, error);
}

bool PollLogWriter::StartFile(int fromNumber, std::string& error) {
  file_.Close();
  for (int number = fromNumber; number < kMaxFiles; ++number) {
    const std::string candidate = NumberedPath(path_, number);
    if (LogPathExists(candidate)) continue;
    if (!file_.Create(candidate, error)) return false;
    filePath_ = candidate;
    number_ = number;
    const std::string head = kUtf8Bom + titleLine_;
    if (!file_.Append(head, error)) return false;
    fileBytes_ = head.size();
    fileLines_ = 0;
    return true;
  }
  error = path_ + ": no free file number";
  return false;
}

bool PollLogWriter::Write(const PollRecord& poll, const std::vector<std::string>& valueTexts, std::string& error) {
  if (!file_.IsOpen()) {
    error = "the log is not open";
    return false;
  }
  const std::string line = CsvRecord(LogFields(poll, valueTexts));
  if (maxBytes_ > 0 && fileLines_ > 0 && fileBytes_ + line.size() > maxBytes_ && !StartFile(number_ + 1, error))
    return false;
  if (!file_.Append(line, error)) return false;
  fileBytes_ += line.size();
  ++fileLines_;
  ++lines_;
  return true;
}

void PollLogWriter::Close() {
  file_.Close();
  filePath_.clear();
}
