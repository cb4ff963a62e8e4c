#include "LineHostConnection.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

namespace {
// How long a question may take before the host counts as lost.
constexpr auto kAnswerLimit = std::chrono::seconds(20);

SOCKET Connect() {
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  const char* address = std::getenv(LineHost::kAddressVariable);
  if (!started || !address)
    throw std::runtime_error(std::string(LineHost::kAddressVariable) +
                             " is not set: run the test programs from .ci/windows-tests.sh");
  const std::string text = address;
  const auto colon = text.rfind(':');
  if (colon == std::string::npos) throw std::runtime_error("bad line host address " + text);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<u_short>(std::atoi(text.c_str() + colon + 1)));
  if (inet_pton(AF_INET, text.substr(0, colon).c_str(), &to.sin_addr) != 1)
    throw std::runtime_error("bad line host address " + text);
  const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) throw std::runtime_error("socket failed");
  if (connect(s, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
    closesocket(s);
    throw std::runtime_error("cannot reach the line host at " + text);
  }
  const BOOL noDelay = TRUE;  // each relayed chunk goes out at once, as on a line
  setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
  return s;
}
}  // namespace

LineHostConnection::LineHostConnection() : socket_(Connect()) {
  reader_ = std::thread([this] { Run(); });
  MeasureClockOffset();
}

void LineHostConnection::MeasureClockOffset() {
  using namespace std::chrono;
  nanoseconds bestTrip = nanoseconds::max();
  for (int i = 0; i < 3; ++i) {
    const auto sent = steady_clock::now();
    const nanoseconds host(std::stoll(Ask(LineHost::Command, "clock")));
    const auto answered = steady_clock::now();
    if (answered - sent >= bestTrip) continue;
    bestTrip = answered - sent;
    const auto middle = sent.time_since_epoch() + (answered - sent) / 2;
    std::lock_guard lock(mutex_);  // the reader thread converts with it
    clockOffset_ = host - duration_cast<nanoseconds>(middle);
  }
}

LineHostConnection::~LineHostConnection() {
  shutdown(static_cast<SOCKET>(socket_), SD_BOTH);
  reader_.join();
  closesocket(static_cast<SOCKET>(socket_));
}

void LineHostConnection::Transmit(const std::string& message) {
  std::lock_guard lock(sendMutex_);
  for (size_t done = 0; done < message.size();) {
    const int n = send(static_cast<SOCKET>(socket_), message.data() + done,
                       static_cast<int>(message.size() - done), 0);
    if (n <= 0) throw std::runtime_error("the line host went away");
    done += static_cast<size_t>(n);
  }
}

std::string LineHostConnection::Ask(LineHost::Kind kind, const std::string& text) {
  std::lock_guard ask(askMutex_);
  Transmit(LineHost::Frame(kind, text));
  std::unique_lock lock(mutex_);
  if (!changed_.wait_for(lock, kAnswerLimit, [this] { return !answers_.empty() || gone_; }))
    throw std::runtime_error("the line host did not answer \"" + text + "\"");
  if (answers_.empty()) throw std::runtime_error("the line host went away");
  const LineHost::Message answer = answers_.front();
  answers_.pop_front();
  if (answer.kind != LineHost::Answer)
    throw std::runtime_error("the line host refused \"" + text + "\": " + answer.payload);
  return answer.payload;
}

void LineHostConnection::Send(const std::vector<uint8_t>& bytes) {
  Transmit(LineHost::Frame(LineHost::Write, std::string(bytes.begin(), bytes.end())));
}

size_t LineHostConnection::Buffered() {
  std::lock_guard lock(mutex_);
  return buffered_;
}

std::vector<uint8_t> LineHostConnection::Take(size_t max, std::chrono::steady_clock::time_point* arrived) {
  std::lock_guard lock(mutex_);
  if (arrived) *arrived = input_.empty() ? std::chrono::steady_clock::now() : input_.front().arrived;
  std::vector<uint8_t> out;
  while (out.size() < max && !input_.empty()) {
    Chunk& chunk = input_.front();
    const size_t n = std::min(max - out.size(), chunk.bytes.size());
    out.insert(out.end(), chunk.bytes.begin(), chunk.bytes.begin() + static_cast<std::ptrdiff_t>(n));
    chunk.bytes.erase(0, n);
    if (chunk.bytes.empty()) input_.pop_front();
  }
  buffered_ -= out.size();
  return out;
}

bool LineHostConnection::Await(size_t count, std::chrono::milliseconds timeout, bool interruptible) {
  std::unique_lock lock(mutex_);
  changed_.wait_for(lock, timeout, [&] {
    return buffered_ >= count || gone_ || (interruptible && interrupted_);
  });
  if (interruptible && interrupted_ && buffered_ < count) {
    interrupted_ = false;
    return false;
  }
  return buffered_ >= count;
}

void LineHostConnection::Interrupt() {
  {
    std::lock_guard lock(mutex_);
    interrupted_ = true;
  }
  changed_.notify_all();
}

void LineHostConnection::Run() {
  std::string buffer;
  char chunk[4096];
  for (;;) {
    const int n = recv(static_cast<SOCKET>(socket_), chunk, sizeof chunk, 0);
    if (n <= 0) break;
    buffer.append(chunk, static_cast<size_t>(n));
    LineHost::Message message;
    while (LineHost::TakeMessage(buffer, message)) {
      {
        std::lock_guard lock(mutex_);
        int64_t hostNs = 0;
        std::string bytes;
        if (message.kind != LineHost::Read) {
          answers_.push_back(std::move(message));
        } else if (LineHost::SplitReadPayload(message.payload, hostNs, bytes) && !bytes.empty()) {
          const std::chrono::steady_clock::time_point arrived(
              std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                  std::chrono::nanoseconds(hostNs) - clockOffset_));
          buffered_ += bytes.size();
          input_.push_back({std::move(bytes), arrived});
        }
      }
      changed_.notify_all();
    }
  }
  {
    std::lock_guard lock(mutex_);
    gone_ = true;
  }
  changed_.notify_all();
}
