#include "ScriptedDevice.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

#include "Crc16.h"

namespace {
using SteadyClock = std::chrono::steady_clock;

void WriteAll(int fd, const std::vector<uint8_t>& data) {
  size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
      return;  // the port side went away
    } else {
      pollfd p{fd, POLLOUT, 0};
      ::poll(&p, 1, 50);
    }
  }
}
}  // namespace

ScriptedDevice::ScriptedDevice(int masterFd, std::chrono::milliseconds frameGap)
    : master_(masterFd), wake_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), gap_(frameGap) {
  if (wake_ < 0) throw std::runtime_error("eventfd failed");
  thread_ = std::thread([this] { Run(); });
}

ScriptedDevice::~ScriptedDevice() {
  const uint64_t one = 1;
  (void)!::write(wake_, &one, sizeof one);
  thread_.join();
  ::close(wake_);
}

void ScriptedDevice::Push(Reply reply) {
  std::lock_guard lock(mutex_);
  script_.push_back(std::move(reply));
}

void ScriptedDevice::SetResponder(Responder responder) {
  std::lock_guard lock(mutex_);
  responder_ = std::move(responder);
}

std::vector<ScriptedDevice::Request> ScriptedDevice::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

bool ScriptedDevice::WaitForRequests(size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return arrived_.wait_for(lock, timeout, [&] { return requests_.size() >= count; });
}

ScriptedDevice::Bytes ScriptedDevice::WithCrc(Bytes frame) {
  const uint16_t crc = Crc16(static_cast<int32_t>(frame.size()), frame.data());
  frame.push_back(static_cast<uint8_t>(crc & 0xFF));
  frame.push_back(static_cast<uint8_t>(crc >> 8));
  return frame;
}

ScriptedDevice::Bytes ScriptedDevice::WithBadCrc(Bytes frame) {
  frame = WithCrc(std::move(frame));
  frame.back() ^= 0x5A;
  return frame;
}

ScriptedDevice::Reply ScriptedDevice::NextReply(const Bytes& request) {
  std::unique_lock lock(mutex_);
  if (!script_.empty()) {
    Reply reply = std::move(script_.front());
    script_.pop_front();
    return reply;
  }
  Responder responder = responder_;
  lock.unlock();
  return responder ? responder(request) : Reply{};
}

void ScriptedDevice::Run() {
  Bytes frame;
  SteadyClock::time_point first{};
  for (;;) {
    // Inside a frame wait only for the gap that ends it; between frames, for ever.
    pollfd p[2] = {{master_, POLLIN, 0}, {wake_, POLLIN, 0}};
    const int timeout = frame.empty() ? -1 : static_cast<int>(gap_.count());
    const int rc = ::poll(p, 2, timeout);
    if (rc < 0 && errno == EINTR) continue;
    if (rc < 0 || (p[1].revents & POLLIN)) return;
    if (rc > 0 && (p[0].revents & POLLIN)) {
      uint8_t buf[512];
      const ssize_t n = ::read(master_, buf, sizeof buf);
      if (n > 0) {
        if (frame.empty()) first = SteadyClock::now();
        frame.insert(frame.end(), buf, buf + n);
      }
      continue;
    }
    if (rc > 0 && (p[0].revents & (POLLHUP | POLLERR)) && frame.empty()) {
      // No port on the slave side right now: look again shortly.
      ::poll(&p[1], 1, 10);
      if (p[1].revents & POLLIN) return;
      continue;
    }
    // The gap has passed, or the port hung up after its frame: the frame is complete.
    if (frame.empty()) continue;
    {
      std::lock_guard lock(mutex_);
      requests_.push_back({frame, first});
    }
    arrived_.notify_all();
    const Reply reply = NextReply(frame);
    frame.clear();
    if (reply.Delay.count() > 0) {
      pollfd w{wake_, POLLIN, 0};
      if (::poll(&w, 1, static_cast<int>(reply.Delay.count())) > 0) return;
    }
    WriteAll(master_, reply.Data);
  }
}
