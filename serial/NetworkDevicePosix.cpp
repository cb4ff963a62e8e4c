// The network backend on POSIX: a non-blocking TCP socket, the time-out
// rules kept with poll(), the event wait on epoll with an eventfd to cancel.
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>

#include "EComPort.h"
#include "Endpoint.h"
#include "NetworkDevice.h"
#include "NetworkFailure.h"
#include "TimedIoPosix.h"
#include "WakeEventPosix.h"
#include "ReadDeadline.h"

namespace {
using Clock = std::chrono::steady_clock;
constexpr uint32_t kEvRxChar = 0x0001;
enum : uint32_t { kKeyReceive = 1, kKeyCancel = 2 };

NetworkFailure ConnectFailureOf(int error) {
  switch (error) {
    case ECONNREFUSED: return NetworkFailure::Refused;
    case ETIMEDOUT: return NetworkFailure::TimedOut;
    case ENETUNREACH:
    case EHOSTUNREACH:
    case ENETDOWN: return NetworkFailure::Unreachable;
    default: return NetworkFailure::ConnectFailed;
  }
}

// One non-blocking connection attempt to `address` by `deadline`: the
// connected socket, or -1 with `error` set.
int ConnectOne(const addrinfo& address, Clock::time_point deadline, int& error) {
  const int fd = ::socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                          address.ai_protocol);
  if (fd < 0) {
    error = errno;
    return -1;
  }
  if (::connect(fd, address.ai_addr, address.ai_addrlen) != 0 && errno != EINPROGRESS) {
    error = errno;
    ::close(fd);
    return -1;
  }
  for (;;) {
    pollfd p{fd, POLLOUT, 0};
    const int rc = ::poll(&p, 1, WaitMilliseconds(deadline));
    if (rc < 0 && errno == EINTR) continue;
    if (rc == 0) {
      error = ETIMEDOUT;
      ::close(fd);
      return -1;
    }
    socklen_t length = sizeof error;
    if (rc < 0 || ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
    if (error != 0) {
      ::close(fd);
      return -1;
    }
    return fd;
  }
}
}  // namespace

struct NetworkDevice::Impl {
  int connectTimeoutMs;
  Endpoint endpoint;
  std::string where;  // "host:port" for the messages
  // One descriptor number for the life of the open device: a reconnection
  // puts the new connection under it (dup3), so the event wait keeps watching
  // the same number. `connected` is false between a drop and the next write.
  int fd = -1;
  std::atomic<bool> connected{false};
  TimeoutValues timeouts;
  ChunkSink chunkSink;
  int epollFd = -1;
  PosixWakeEvent wake;      // cancels WaitEvent
  PosixWakeEvent readStop;  // cancels reads, from any thread: made with the device
  uint32_t eventMask = 0;

  Impl() { readStop.Arm(); }
  ~Impl() {
    EndEventWait();
  }
  void EndEventWait() {
    if (epollFd >= 0) ::close(epollFd);
    epollFd = -1;
  }
  // A new connection; raises `failureCode` with the reason when none is made.
  int Connect(int failureCode) const;
  void Reconnect(int failureCode);
  // The connection is gone: stop using it, keep the descriptor number.
  void Drop() {
    connected = false;
    ::shutdown(fd, SHUT_RDWR);
  }
  [[noreturn]] void Lost(int failureCode, int error) {
    Drop();
    const NetworkFailure failure = error == EIO ? NetworkFailure::Closed : NetworkFailure::Reset;
    throw EComPort(failureCode, error, NetworkFailureText(failure, where, connectTimeoutMs));
  }
};

int NetworkDevice::Impl::Connect(int failureCode) const {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV | AI_ADDRCONFIG;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(endpoint.Port);
  const int rc = ::getaddrinfo(endpoint.Host.c_str(), service.c_str(), &hints, &found);
  if (rc != 0 || found == nullptr) {
    const int error = rc == EAI_SYSTEM ? errno : ENOENT;
    throw EComPort(failureCode, error, NetworkFailureText(NetworkFailure::HostUnknown, endpoint.Host, connectTimeoutMs));
  }
  // Every address the name has, within one time-out for them all.
  const auto deadline = Clock::now() + std::chrono::milliseconds(connectTimeoutMs);
  int error = ETIMEDOUT;
  int socket = -1;
  for (const addrinfo* a = found; a != nullptr && socket < 0 && Clock::now() < deadline; a = a->ai_next)
    socket = ConnectOne(*a, deadline, error);
  ::freeaddrinfo(found);
  if (socket < 0) throw EComPort(failureCode, error, NetworkFailureText(ConnectFailureOf(error), where, connectTimeoutMs));
  // Frames are small and each one waits for its answer: send at once.
  const int on = 1;
  ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  return socket;
}

void NetworkDevice::Impl::Reconnect(int failureCode) {
  const int socket = Connect(failureCode);
  if (::dup3(socket, fd, O_CLOEXEC) < 0) {
    const int error = errno;
    ::close(socket);
    throw EComPort(failureCode, error, NetworkFailureText(NetworkFailure::ConnectFailed, where, connectTimeoutMs));
  }
  ::close(socket);
  if (epollFd >= 0) {
    // The connection under the number is new: the wait must watch it.
    epoll_event ev{};
    ev.events = EPOLLIN | EPOLLET;
    ev.data.u32 = kKeyReceive;
    ::epoll_ctl(epollFd, EPOLL_CTL_ADD, fd, &ev);
  }
  connected = true;
}

NetworkDevice::NetworkDevice(int connectTimeoutMs) : d_(std::make_unique<Impl>()) {
  d_->connectTimeoutMs = connectTimeoutMs;
}
NetworkDevice::~NetworkDevice() { Close(); }

bool NetworkDevice::IsOpen() const { return d_->fd >= 0; }
bool NetworkDevice::Connected() const { return d_->fd >= 0 && d_->connected; }

void NetworkDevice::Open(const std::string& portName) {
  if (d_->fd >= 0) return;
  const auto endpoint = ParseEndpoint(portName);
  if (!endpoint || !IsNetworkKind(endpoint->Kind))
    throw EComPort(CError_OpenFailed, EINVAL, MalformedEndpointText(portName));
  d_->endpoint = *endpoint;
  d_->where = HostPortText(*endpoint);
  d_->fd = d_->Connect(CError_OpenFailed);
  d_->connected = true;
}

bool NetworkDevice::Close() {
  if (d_->fd < 0) return true;
  d_->EndEventWait();
  const int rc = ::close(d_->fd);
  d_->fd = -1;
  d_->connected = false;
  return rc == 0 || errno == EINTR;
}

// Nothing of a serial line applies to a connection.
void NetworkDevice::SetupQueues(int, int) {}
void NetworkDevice::SetLineSettings(const LineSettings&) {}
void NetworkDevice::SetTimeouts(const TimeoutValues& timeouts) { d_->timeouts = timeouts; }
void NetworkDevice::SetChunkSink(ChunkSink sink) { d_->chunkSink = std::move(sink); }

int NetworkDevice::Read(void* buffer, int count) {
  if (d_->fd < 0) throw EComPort(CError_ReadFailed, EBADF);
  if (!d_->connected) throw EComPort(CError_ReadFailed, ENOTCONN, NetworkFailureText(NetworkFailure::Reset, d_->where, d_->connectTimeoutMs));
  try {
    return TimedRead(d_->fd, buffer, count, d_->timeouts, false, d_->chunkSink, d_->readStop.Fd());
  } catch (const EComPort& e) {
    d_->Lost(CError_ReadFailed, e.SystemErrorCode > 0 ? e.SystemErrorCode : EIO);
  }
}

int NetworkDevice::Write(const void* buffer, int count) {
  if (d_->fd < 0) throw EComPort(CError_WriteFailed, EBADF);
  if (!d_->connected) d_->Reconnect(CError_WriteFailed);
  const auto deadline = WriteDeadline(d_->timeouts, count, Clock::now());
  try {
    return TimedWrite(d_->fd, buffer, count, deadline, true);
  } catch (const EComPort& e) {
    d_->Lost(CError_WriteFailed, e.SystemErrorCode > 0 ? e.SystemErrorCode : EIO);
  }
}

void NetworkDevice::Purge(uint32_t flags) {
  // What the kernel has taken for sending cannot be called back; received
  // bytes are read and thrown away. A connection the peer ended meanwhile is
  // noted here and made again by the next write.
  if (!(flags & PurgeRxClear) || !Connected()) return;
  unsigned char discard[512];
  for (;;) {
    const ssize_t n = ::recv(d_->fd, discard, sizeof discard, MSG_DONTWAIT);
    if (n > 0) continue;
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    d_->Drop();  // closed (0) or broken
    return;
  }
}

int NetworkDevice::InputCount() {
  if (!Connected()) return 0;
  int queued = 0;
  if (::ioctl(d_->fd, FIONREAD, &queued) != 0) return 0;
  return queued;
}

uint32_t NetworkDevice::ClearErrors() { return 0; }
ModemStatus NetworkDevice::GetModemStatus() { return {}; }

void NetworkDevice::SetEventMask(uint32_t mask) {
  Impl& d = *d_;
  d.EndEventWait();
  d.eventMask = mask;
  if (mask == 0 || d.fd < 0) return;
  if (!d.wake.Arm()) return;  // re-armed: an earlier CancelWait is forgotten
  d.epollFd = ::epoll_create1(EPOLL_CLOEXEC);
  epoll_event receive{}, cancel{};
  receive.events = EPOLLIN | EPOLLET;  // one report per arrival, none while data just sits
  receive.data.u32 = kKeyReceive;
  cancel.events = EPOLLIN;
  cancel.data.u32 = kKeyCancel;
  if (d.epollFd < 0 || ::epoll_ctl(d.epollFd, EPOLL_CTL_ADD, d.fd, &receive) != 0 ||
      ::epoll_ctl(d.epollFd, EPOLL_CTL_ADD, d.wake.Fd(), &cancel) != 0) {
    d.EndEventWait();
    return;
  }
  epoll_event ev[2];
  ::epoll_wait(d.epollFd, ev, 2, 0);  // the wait is for what happens from now on
}

uint32_t NetworkDevice::WaitEvent() {
  Impl& d = *d_;
  if (d.epollFd < 0 || d.fd < 0) return 0;
  for (;;) {
    epoll_event ev[2];
    const int n = ::epoll_wait(d.epollFd, ev, 2, -1);
    if (n < 0) {
      if (errno == EINTR) continue;
      return 0;
    }
    bool received = false;
    for (int i = 0; i < n; ++i) {
      if (ev[i].data.u32 == kKeyCancel) return 0;
      if (ev[i].data.u32 == kKeyReceive) received = true;
    }
    int queued = 0;
    if (received && (d.eventMask & kEvRxChar) && d.connected && ::ioctl(d.fd, FIONREAD, &queued) == 0 && queued > 0) return kEvRxChar;
  }
}

void NetworkDevice::CancelWait() { d_->wake.Signal(); }
void NetworkDevice::CancelReads() { d_->readStop.Signal(); }
void NetworkDevice::AllowReads() { d_->readStop.Arm(); }
