#include "RunningSim.h"

#include <fcntl.h>
#include <unistd.h>

#include <mutex>
#include <stdexcept>
#include <thread>

#include "LineServer.h"
#include "PtyLine.h"

struct RunningSim::Impl {
  PtyLine line;
  std::unique_ptr<SimBus> bus;
  int stop[2] = {-1, -1};
  mutable std::mutex mutex;
  std::vector<std::string> log;
  std::thread thread;

  void Append(const std::string& text) {
    std::lock_guard lock(mutex);
    log.push_back(text);
  }
};

RunningSim::RunningSim(const SimOptions& options, LineTiming timing) : d_(std::make_unique<Impl>()) {
  d_->bus = std::make_unique<SimBus>(options, [this](const std::string& text) { d_->Append(text); });
  if (pipe2(d_->stop, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  d_->thread = std::thread([this, timing] {
    LineServer server(d_->line.MasterFd(), *d_->bus, timing,
                      [this](const std::string& text) { d_->Append(text); });
    server.Run(d_->stop[0]);
  });
}

RunningSim::~RunningSim() {
  const char byte = 1;
  [[maybe_unused]] ssize_t n = write(d_->stop[1], &byte, 1);
  d_->thread.join();
  close(d_->stop[0]);
  close(d_->stop[1]);
}

const std::string& RunningSim::SlavePath() const { return d_->line.SlavePath(); }

std::vector<std::string> RunningSim::Log() const {
  std::lock_guard lock(d_->mutex);
  return d_->log;
}

