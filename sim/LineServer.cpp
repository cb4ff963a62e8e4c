#include "LineServer.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

#include "LineSettingsSeen.h"
#include "TapLine.h"

using Clock = std::chrono::steady_clock;

namespace {
timespec ToTimespec(std::chrono::nanoseconds time) {
  if (time.count() < 0) time = {};
  return {static_cast<time_t>(time.count() / 1'000'000'000), static_cast<long>(time.count() % 1'000'000'000)};
}
constexpr auto kHangupPause = std::chrono::milliseconds(50);
}  // namespace

LineServer::LineServer(int lineFd, SimBus& bus, LineTiming timing, SimLog log)
    : line_(lineFd), bus_(bus), timing_(timing), log_(std::move(log)) {}

void LineServer::Log(const std::string& text) const {
  if (log_) log_(text);
}

bool LineServer::WaitFor(std::chrono::nanoseconds time, short lineEvents) {
  const auto deadline = Clock::now() + time;
  for (;;) {
    pollfd fds[2] = {{stop_, POLLIN, 0}, {line_, lineEvents, 0}};
    const timespec left = ToTimespec(deadline - Clock::now());
    const int n = ppoll(fds, lineEvents ? 2 : 1, &left, nullptr);
    if (n < 0 && errno == EINTR) continue;
    if (fds[0].revents) return false;
    if (n <= 0 || Clock::now() >= deadline || (lineEvents && fds[1].revents)) return true;
  }
}

void LineServer::Run(int stopFd) {
  stop_ = stopFd;
  RequestAssembler requests;
  auto lastByte = Clock::now();
  for (;;) {
    pollfd fds[2] = {{stop_, POLLIN, 0}, {line_, POLLIN, 0}};
    timespec silence{};
    const timespec* timeout = nullptr;  // nothing pending: wait for bytes
    if (requests.Pending()) {
      silence = ToTimespec(lastByte + timing_.Silence() - Clock::now());
      timeout = &silence;
    }
    const int n = ppoll(fds, 2, timeout, nullptr);
    if (n < 0 && errno == EINTR) continue;
    if (fds[0].revents) return;
    if (fds[1].revents & POLLIN) {
      uint8_t buffer[512];
      ssize_t got;
      while ((got = read(line_, buffer, sizeof buffer)) > 0) requests.Add(buffer, static_cast<size_t>(got));
      lastByte = Clock::now();
      if (!DrainComplete(requests)) return;
    } else if (fds[1].revents & (POLLHUP | POLLERR)) {
      // No slave is open (cannot happen while PtyLine holds one): do not spin.
      if (!WaitFor(kHangupPause, 0)) return;
    } else if (fds[1].revents & POLLNVAL) {
      return;  // the line is gone: nothing more will come
    } else if (n == 0 && requests.Pending()) {
      if (!Process(*requests.EndBySilence())) return;
      if (!DrainComplete(requests)) return;
    }
  }
}

bool LineServer::DrainComplete(RequestAssembler& requests) {
  while (const auto frame = requests.NextComplete())
    if (!Process(*frame)) return false;
  return true;
}

void LineServer::CheckLineSettings(int slaveFd, bool noise) {
  checkFd_ = slaveFd;
  noise_ = noise;
}

bool LineServer::LineMismatched() {
  if (checkFd_ < 0) return false;
  const auto seen = ReadLineSettings(checkFd_);
  if (!seen || SameLine(timing_, *seen)) return false;
  Log("line " + seen->Text() + " is not the device's " + std::to_string(timing_.baud) + " " +
      timing_.parity + std::to_string(timing_.stopBits) + ": request not understood");
  return true;
}

bool LineServer::Process(const std::vector<uint8_t>& frame) {
  Log(DescribeFrame("RX", frame));
  if (tap_) tap_->Mirror(frame, Clock::now());
  if (LineMismatched()) {
    if (!noise_) return true;
    // What a device makes of characters at the wrong rate: a few odd bytes.
    std::uniform_int_distribution<int> length(1, 6), value(0, 255);
    std::vector<uint8_t> noise(static_cast<size_t>(length(random_)));
    for (auto& b : noise) b = static_cast<uint8_t>(value(random_));
    return Send(noise);
  }
  const Reply reply = bus_.Handle(frame);
  if (reply.delay.count() > 0) {
    Log("delay " + std::to_string(reply.delay.count()) + " ms");
    if (!WaitFor(reply.delay, 0)) return false;
  }
  if (reply.bytes.empty()) return true;
  return Send(reply.bytes);
}

bool LineServer::Send(const std::vector<uint8_t>& bytes) {
  if (tap_) {
    if (!WaitFor(tap_->LineFreeAt() + timing_.Silence() - Clock::now(), 0)) return false;
    tap_->Mirror(bytes, Clock::now());
  }
  const auto charTime = timing_.CharTime();
  const auto start = Clock::now();
  size_t done = 0;
  bool stopped = false;
  while (done < bytes.size()) {
    size_t chunk = bytes.size() - done;
    if (charTime.count() > 0) {
      // Byte k has left the wire one character time after byte k-1.
      if (!WaitFor(start + charTime * static_cast<long>(done + 1) - Clock::now(), 0)) {
        stopped = true;
        break;
      }
      chunk = 1;
    }
    const ssize_t n = write(line_, bytes.data() + done, chunk);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
      break;
    } else if (!WaitFor(std::chrono::milliseconds(100), POLLOUT)) {
      stopped = true;
      break;
    }
  }
  Log(DescribeFrame("TX", std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<long>(done))));
  return !stopped;
}
