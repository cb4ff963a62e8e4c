// A test program's connection to the line host (Windows builds, run under
// Wine): one line of the host per connection. A reader thread takes the
// bytes the port under test wrote, and the answers to questions, off the
// socket.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "LineHostProtocol.h"

class LineHostConnection {
public:
  LineHostConnection();  // connects to the host named by MODBUS_LINE_HOST; throws
  ~LineHostConnection();
  LineHostConnection(const LineHostConnection&) = delete;
  LineHostConnection& operator=(const LineHostConnection&) = delete;

  // Sends an Open or a Command and waits for its answer; a refusal, or a
  // host that went away, throws std::runtime_error with the reason.
  std::string Ask(LineHost::Kind kind, const std::string& text);
  // Bytes for the device side to send.
  void Send(const std::vector<uint8_t>& bytes);

  // The bytes relayed so far that nobody has taken; Take gives the time the
  // first of them reached the host's end of the line, on this program's clock.
  size_t Buffered();
  std::vector<uint8_t> Take(size_t max, std::chrono::steady_clock::time_point* arrived = nullptr);
  // Waits until `count` bytes are buffered (true) or `timeout` passed; an
  // interruptible wait also ends (false) at an Interrupt, which is kept for
  // the next such wait when nobody waits.
  bool Await(size_t count, std::chrono::milliseconds timeout, bool interruptible);
  void Interrupt();

private:
  struct Chunk {
    std::string bytes;
    std::chrono::steady_clock::time_point arrived;
  };

  void Transmit(const std::string& message);
  void Run();
  // The host's monotonic clock less this program's, from the quickest of a
  // few round trips (both count the same monotonic time under Wine).
  void MeasureClockOffset();

  uintptr_t socket_;
  std::mutex sendMutex_;
  std::mutex askMutex_;  // one question at a time
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Chunk> input_;
  size_t buffered_ = 0;
  std::chrono::nanoseconds clockOffset_{0};
  std::deque<LineHost::Message> answers_;
  bool interrupted_ = false;
  bool gone_ = false;
  std::thread reader_;
};
