// A device server on loopback for tests, served by a thread: it accepts
// connections one after another and answers each request (one received
// chunk: the link sends a request in one write) as its responder says: in
// segments with a pause between them, then optionally closing the
// connection, gracefully or with a reset.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

using PeerBytes = std::vector<uint8_t>;

struct PeerAnswer {
  std::vector<PeerBytes> segments;  // sent one by one, `gap` apart
  enum class Then { StayOpen, Close, Reset } then = Then::StayOpen;
  std::chrono::milliseconds gap{3};
};

class TcpPeer {
public:
  using Responder = std::function<PeerAnswer(const PeerBytes& request)>;
  explicit TcpPeer(Responder responder);
  ~TcpPeer();
  TcpPeer(const TcpPeer&) = delete;
  TcpPeer& operator=(const TcpPeer&) = delete;

  uint16_t Port() const { return port_; }
  int Accepted() const { return accepted_.load(); }
  std::vector<PeerBytes> Requests() const;

private:
  void Serve();
  bool ServeConnection(int connection);  // false when told to stop

  Responder responder_;
  int listen_ = -1;
  int stop_[2] = {-1, -1};
  uint16_t port_ = 0;
  std::atomic<int> accepted_{0};
  mutable std::mutex mutex_;
  std::vector<PeerBytes> requests_;
  std::thread thread_;
};

// A loopback port on which nothing listens: a connection there is refused.
uint16_t RefusingPort();

// A listening socket whose accept queue is full, so that a further connection
// is never accepted and waits out its connect time-out (the system drops its
// handshakes); lives as long as the object.
class FullListener {
public:
  FullListener();
  ~FullListener();
  FullListener(const FullListener&) = delete;
  FullListener& operator=(const FullListener&) = delete;
  uint16_t Port() const { return port_; }

private:
  int listen_ = -1;
  std::vector<int> queued_;
  uint16_t port_ = 0;
};
