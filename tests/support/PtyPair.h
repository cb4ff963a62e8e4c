// A pseudo-terminal pair for tests: the slave side is the port under test,
// the master side plays the device on the other end of the line.
//
// On Linux the pair is the test's own (PtyPairPosix.cpp). A test program
// built for Windows runs under Wine and gets its pair from the line host, a
// Linux program that owns the master side, links the slave into the Wine
// prefix as a COM port and relays the device side over a socket
// (PtyPairWine.cpp, tests/portable/LineHost.cpp).
#pragma once

#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

class PtyPair {
public:
  PtyPair();  // raw mode on both sides; throws on failure
  ~PtyPair();
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  // The name the port under test opens: "/dev/pts/5", or "COM21" under Wine.
  const std::string& SlavePath() const;

  // Closes the slave descriptor this pair keeps, so that only the port under test holds it.
  void ReleaseSlave();
  // Closes the device side: the line hangs up for the port under test.
  void CloseMaster();

  // Device side: write bytes, read what the port sent.
  void Send(const std::vector<uint8_t>& bytes);
  // Reads until `count` bytes came or `timeout` passed.
  std::vector<uint8_t> Receive(size_t count, std::chrono::milliseconds timeout);
  // Bytes the port has written that nobody has read yet.
  size_t Pending();

  // For a device played on its own thread: waits until bytes have come
  // (true), `timeout` passed or Interrupt was called (false). An Interrupt
  // with nobody waiting ends the next wait at once.
  bool AwaitInput(std::chrono::milliseconds timeout);
  // What has come, without waiting; `arrived` gets the time the first of
  // these bytes reached the device side of the line.
  std::vector<uint8_t> ReceiveAvailable(std::chrono::steady_clock::time_point* arrived = nullptr);
  void Interrupt();

  // The line settings the terminal has now, as the port under test set them.
  struct LineSettings {
    unsigned Baud = 0;
    bool TwoStopBits = false;
  };
  LineSettings Settings();

#ifdef _WIN32
  // A question to the line host about this line (its libmodbus server, ...).
  std::string AskHost(const std::string& command);
#else
  int MasterFd() const;
#endif

private:
  struct Impl;
  std::unique_ptr<Impl> d_;
};

std::vector<uint8_t> Bytes(std::initializer_list<int> values);
std::string Hex(const std::vector<uint8_t>& bytes);
