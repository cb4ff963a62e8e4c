// Helpers for the simulator's tests: the simulator served in-process on a
// thread, the real modbus-sim program as a child process, and a raw client
// on the pseudo-terminal slave.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "PtyPair.h"  // Bytes, Hex
#include "RunningSim.h"

using namespace std::chrono_literals;

std::vector<uint8_t> WithCrc(std::vector<uint8_t> frame);

// A raw-mode client on a terminal device.
class RawPort {
public:
  explicit RawPort(const std::string& path);
  ~RawPort();
  RawPort(const RawPort&) = delete;
  RawPort& operator=(const RawPort&) = delete;
  void Write(const std::vector<uint8_t>& bytes);
  // Reads until `count` bytes came, or `timeout` passed, or (after the first
  // byte) the line was quiet for `gap`.
  std::vector<uint8_t> Read(size_t count, std::chrono::milliseconds timeout = 1000ms,
                            std::chrono::milliseconds gap = 60ms);
  std::vector<uint8_t> Ask(const std::vector<uint8_t>& request, size_t answerLength);

private:
  int fd_ = -1;
};

// A temporary XDG_RUNTIME_DIR for one test; restores the old value after.
class TempRuntimeDir {
public:
  TempRuntimeDir();
  ~TempRuntimeDir();
  const std::filesystem::path& Path() const { return path_; }
  std::filesystem::path Ports() const { return path_ / "modbus-tester" / "ports"; }

private:
  std::filesystem::path path_;
  std::string saved_;
  bool hadValue_ = false;
};

// The real modbus-sim program; its output goes to a file.
class SimProcess {
public:
  explicit SimProcess(const std::vector<std::string>& args);
  ~SimProcess();  // SIGKILL if still running
  // Waits for the startup line "modbus-sim: COM<n> <device>"; false if none came.
  bool WaitStarted(std::chrono::milliseconds timeout = 3000ms);
  const std::string& Name() const { return name_; }
  const std::string& Device() const { return device_; }
  std::string Output() const;
  // Sends `signal` and returns the exit status (-1 if it did not end in time).
  int Stop(int signal, std::chrono::milliseconds timeout = 3000ms);
  int WaitExit(std::chrono::milliseconds timeout = 3000ms);
  pid_t Pid() const { return pid_; }

private:
  pid_t pid_ = -1;
  std::filesystem::path output_;
  std::string name_, device_;
};
