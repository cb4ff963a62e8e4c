// Listening in the background: a thread reads the port (a ListeningPort,
// which cannot write) chunk by chunk with the time each was taken, and the
// owner's thread takes the chunks into its analyser when it likes (the
// window on its timer). Stop (or destruction) ends the thread and closes
// the port.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "LineAnalyser.h"
#include "ListeningPort.h"

class ListenSession {
public:
  ListenSession() = default;
  ~ListenSession();
  ListenSession(const ListenSession&) = delete;
  ListenSession& operator=(const ListenSession&) = delete;

  // Opens the port (EComPort when it cannot) and starts reading.
  void Start(const std::string& name, int32_t baud, const LineFrame& frame);
  void Stop();
  bool Running() const { return thread_.joinable(); }
  // The port failed while reading (its text), or empty.
  std::string Failure() const;

  // Feeds what came since the last call into `analyser`, and tells it how
  // long the line has been quiet.
  void TakeInto(LineAnalyser& analyser);

private:
  struct Chunk {
    int64_t Us;
    std::vector<uint8_t> Bytes;
  };
  void Read();

  ListeningPort port_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  std::vector<Chunk> chunks_;
  std::string failure_;
};
