// A file the poll log writes: made new (never one that is there), written a
// whole line at a time, each line handed to the disk before the next poll
// (so a kill or a power cut loses at most the line being written). One
// implementation per system.
#pragma once

#include <cstdint>
#include <string>

class LogFile {
public:
  LogFile() = default;
  ~LogFile() { Close(); }
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;

  // False, with the system's reason, when `path` exists or cannot be made.
  bool Create(const std::string& path, std::string& error);
  // Writes all of `text` and waits until the disk has it.
  bool Append(const std::string& text, std::string& error);
  void Close();
  bool IsOpen() const;

private:
#ifdef _WIN32
  void* handle_ = nullptr;
#else
  int fd_ = -1;
#endif
};

// Whether a file or folder of that name is there.
bool LogPathExists(const std::string& path);
