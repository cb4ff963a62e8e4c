// Another program, for tests: a child process that keeps none of the test's
// descriptors (a pseudo-terminal master among them would make it the far end
// of that line), sets itself up, reports and then waits until it is killed.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>

class ChildProcess {
public:
  // Runs `setup` in the child; what it returns (up to 127 characters) is the report.
  explicit ChildProcess(const std::function<std::string()>& setup);
  ~ChildProcess() { Kill(); }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  const std::string& Report() const { return report_; }
  pid_t Pid() const { return pid_; }
  // SIGKILL, as a program killed outright: nothing of its own clean-up runs.
  void Kill();

private:
  pid_t pid_ = -1;
  std::string report_;
};

// A setup that opens `path` and keeps it open without any lock, as a terminal
// program that knows nothing of flock; reports "open" when it could.
std::function<std::string()> KeepOpen(const std::string& path);
