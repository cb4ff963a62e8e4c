// A pseudo-terminal pair for tests: the slave side is the port under test,
// the master side plays the device on the other end of the line.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

class PtyPair {
public:
  PtyPair();  // raw mode on both sides; aborts the test on failure
  ~PtyPair();
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  const std::string& SlavePath() const { return slavePath_; }
  int MasterFd() const { return master_; }

  // Closes the slave descriptor this object keeps, so that only the port under test holds it.
  void ReleaseSlave();
  // Closes the device side: the line hangs up for the port under test.
  void CloseMaster();

  // Device side: write bytes, read what the port sent.
  void Send(const std::vector<uint8_t>& bytes);
  // Reads until `count` bytes came or `timeout` passed.
  std::vector<uint8_t> Receive(size_t count, std::chrono::milliseconds timeout);
  // Bytes the port has written that nobody has read yet.
  size_t Pending();

private:
  int master_ = -1;
  int slave_ = -1;
  std::string slavePath_;
};

std::vector<uint8_t> Bytes(std::initializer_list<int> values);
std::string Hex(const std::vector<uint8_t>& bytes);
