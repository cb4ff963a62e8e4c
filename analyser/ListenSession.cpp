#include "ListenSession.h"

#include "EComPort.h"

namespace {
constexpr int kReadWaitMs = 50;
}

ListenSession::~ListenSession() { Stop(); }

void ListenSession::Start(const std::string& name, int32_t baud, const LineFrame& frame) {
  Stop();
  port_.Open(name, baud, frame);
  stop_ = false;
  failure_.clear();
  thread_ = std::thread([this] { Read(); });
}

void ListenSession::Stop() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  port_.Close();
}

std::string ListenSession::Failure() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return failure_;
}

void ListenSession::Read() {
  try {
    while (!stop_) {
      int64_t taken = 0;
      std::vector<uint8_t> bytes = port_.Read(kReadWaitMs, taken);
      if (bytes.empty()) continue;
      std::lock_guard<std::mutex> lock(mutex_);
      chunks_.push_back({taken, std::move(bytes)});
    }
  } catch (const EComPort& e) {
    std::lock_guard<std::mutex> lock(mutex_);
    failure_ = e.what();
  }
}

void ListenSession::TakeInto(LineAnalyser& analyser) {
  std::vector<Chunk> chunks;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    chunks.swap(chunks_);
  }
  for (const Chunk& chunk : chunks) analyser.Feed(chunk.Bytes.data(), chunk.Bytes.size(), chunk.Us);
  analyser.Idle(NowUs());
}
