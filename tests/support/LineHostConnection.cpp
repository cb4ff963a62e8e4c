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
  return input_.size();
}

std::vector<uint8_t> LineHostConnection::Take(size_t max) {
  std::lock_guard lock(mutex_);
  const size_t n = std::min(max, input_.size());
  std::vector<uint8_t> out(input_.begin(), input_.begin() + static_cast<std::ptrdiff_t>(n));
  input_.erase(input_.begin(), input_.begin() + static_cast<std::ptrdiff_t>(n));
  return out;
}

bool LineHostConnection::Await(size_t count, std::chrono::milliseconds timeout, bool interruptible) {
  std::unique_lock lock(mutex_);
  changed_.wait_for(lock, timeout, [&] {
    return input_.size() >= count || gone_ || (interruptible && interrupted_);
  });
  if (interruptible && interrupted_ && input_.size() < count) {
    interrupted_ = false;
    return false;
  }
  return input_.size() >= count;
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
        if (message.kind == LineHost::Read)
          input_.insert(input_.end(), message.payload.begin(), message.payload.end());
        else
          answers_.push_back(std::move(message));
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
