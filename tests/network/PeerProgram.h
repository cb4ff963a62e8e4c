// Another program as a test's peer (a Modbus server, a device server): it is
// started, its first line of standard output is awaited (the address it
// serves, say), and it is stopped with SIGTERM at destruction. A program
// that is missing or fails to start fails the test with its own words.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

class PeerProgram {
public:
  // Throws std::runtime_error, with what the program wrote on standard
  // error, when no line comes within `wait`.
  PeerProgram(const std::vector<std::string>& argv,
              std::chrono::milliseconds wait = std::chrono::seconds(20));
  ~PeerProgram();
  PeerProgram(const PeerProgram&) = delete;
  PeerProgram& operator=(const PeerProgram&) = delete;

  const std::string& FirstLine() const { return line_; }
  // Standard output after the first line, up to now (a log).
  std::string MoreOutput();

private:
  pid_t pid_ = -1;
  int out_ = -1;
  int err_ = -1;
  std::string line_;
  std::string rest_;
};

// The word `index` (from 0) of a line, blank-separated.
std::string WordOf(const std::string& line, size_t index);
