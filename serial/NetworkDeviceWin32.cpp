// The network backend on Windows: a non-blocking Winsock TCP socket, the
// time-out rules kept with select(), the event wait on WSAEventSelect's event
// and a cancel event.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <atomic>
#include <chrono>

#include "EComPort.h"
#include "Endpoint.h"
#include "NetworkDevice.h"
#include "NetworkFailure.h"
#include "ReadDeadline.h"

namespace {
using Clock = std::chrono::steady_clock;
constexpr uint32_t kEvRxChar = 0x0001;

NetworkFailure ConnectFailureOf(int error) {
  switch (error) {
    case WSAECONNREFUSED: return NetworkFailure::Refused;
    case WSAETIMEDOUT: return NetworkFailure::TimedOut;
    case WSAENETUNREACH:
    case WSAEHOSTUNREACH:
    case WSAENETDOWN: return NetworkFailure::Unreachable;
    default: return NetworkFailure::ConnectFailed;
  }
}

// How often a waiting read looks whether it was cancelled.
constexpr std::chrono::milliseconds kCancelSlice{20};

// Waits until `socket` is readable (or writable) or `limit` passes; true when it is.
bool WaitFor(SOCKET socket, bool write, std::optional<Clock::time_point> limit, int& error) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(socket, &set);
  fd_set failed;
  FD_ZERO(&failed);
  FD_SET(socket, &failed);
  const int ms = WaitMilliseconds(limit);
  timeval tv{ms / 1000, (ms % 1000) * 1000};
  const int rc = ::select(0, write ? nullptr : &set, write ? &set : nullptr, &failed, ms < 0 ? nullptr : &tv);
  if (rc == SOCKET_ERROR) {
    error = ::WSAGetLastError();
    return false;
  }
  if (FD_ISSET(socket, &failed)) {
    int length = sizeof error;
    ::getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length);
    if (error == 0) error = WSAECONNRESET;
    return false;
  }
  error = 0;
  return rc > 0;
}

SOCKET ConnectOne(const addrinfo& address, Clock::time_point deadline, int& error) {
  const SOCKET s = ::socket(address.ai_family, address.ai_socktype, address.ai_protocol);
  if (s == INVALID_SOCKET) {
    error = ::WSAGetLastError();
    return INVALID_SOCKET;
  }
  u_long nonBlocking = 1;
  ::ioctlsocket(s, FIONBIO, &nonBlocking);
  if (::connect(s, address.ai_addr, static_cast<int>(address.ai_addrlen)) == SOCKET_ERROR &&
      ::WSAGetLastError() != WSAEWOULDBLOCK) {
    error = ::WSAGetLastError();
    ::closesocket(s);
    return INVALID_SOCKET;
  }
  if (!WaitFor(s, true, deadline, error)) {
    if (error == 0) error = WSAETIMEDOUT;
    ::closesocket(s);
    return INVALID_SOCKET;
  }
  return s;
}
}  // namespace

struct NetworkDevice::Impl {
  int connectTimeoutMs;
  Endpoint endpoint;
  std::string where;
  bool open = false;
  std::atomic<SOCKET> socket{INVALID_SOCKET};
  std::atomic<bool> connected{false};
  TimeoutValues timeouts;
  ChunkSink chunkSink;
  HANDLE netEvent = nullptr;     // signalled by Winsock on data and close
  HANDLE cancelEvent = nullptr;  // CancelWait
  std::atomic<bool> readsCancelled{false};  // CancelReads
  uint32_t eventMask = 0;
  bool winsock = false;

  Impl() { winsock = ::WSAStartup(MAKEWORD(2, 2), &wsa) == 0; }
  ~Impl() {
    if (netEvent) ::CloseHandle(netEvent);
    if (cancelEvent) ::CloseHandle(cancelEvent);
    if (winsock) ::WSACleanup();
  }
  WSADATA wsa{};

  SOCKET Connect(int failureCode) const;
  void Watch(SOCKET s) const {
    if (netEvent) ::WSAEventSelect(s, netEvent, FD_READ | FD_CLOSE);
  }
  void Reconnect(int failureCode) {
    const SOCKET fresh = Connect(failureCode);
    const SOCKET old = socket.exchange(fresh);
    if (old != INVALID_SOCKET) ::closesocket(old);
    Watch(fresh);
    connected = true;
  }
  void Drop() {
    connected = false;
    ::shutdown(socket.load(), SD_BOTH);
  }
  [[noreturn]] void Lost(int failureCode, int error) {
    Drop();
    const NetworkFailure failure = error == 0 ? NetworkFailure::Closed : NetworkFailure::Reset;
    throw EComPort(failureCode, error, NetworkFailureText(failure, where, connectTimeoutMs));
  }
};

SOCKET NetworkDevice::Impl::Connect(int failureCode) const {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(endpoint.Port);
  if (::getaddrinfo(endpoint.Host.c_str(), service.c_str(), &hints, &found) != 0 || found == nullptr)
    throw EComPort(failureCode, ::WSAGetLastError(),
                   NetworkFailureText(NetworkFailure::HostUnknown, endpoint.Host, connectTimeoutMs));
  const auto deadline = Clock::now() + std::chrono::milliseconds(connectTimeoutMs);
  int error = WSAETIMEDOUT;
  SOCKET s = INVALID_SOCKET;
  for (const addrinfo* a = found; a != nullptr && s == INVALID_SOCKET && Clock::now() < deadline; a = a->ai_next)
    s = ConnectOne(*a, deadline, error);
  ::freeaddrinfo(found);
  if (s == INVALID_SOCKET)
    throw EComPort(failureCode, error, NetworkFailureText(ConnectFailureOf(error), where, connectTimeoutMs));
  const BOOL on = TRUE;
  ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
  return s;
}

NetworkDevice::NetworkDevice(int connectTimeoutMs) : d_(std::make_unique<Impl>()) {
  d_->connectTimeoutMs = connectTimeoutMs;
}
NetworkDevice::~NetworkDevice() { Close(); }

bool NetworkDevice::IsOpen() const { return d_->open; }
bool NetworkDevice::Connected() const { return d_->open && d_->connected; }

void NetworkDevice::Open(const std::string& portName) {
  if (d_->open) return;
  const auto endpoint = ParseEndpoint(portName);
  if (!endpoint || !IsNetworkKind(endpoint->Kind))
    throw EComPort(CError_OpenFailed, ERROR_INVALID_NAME, MalformedEndpointText(portName));
  if (!d_->winsock) throw EComPort(CError_OpenFailed, ::WSAGetLastError(), "Winsock is not available");
  d_->endpoint = *endpoint;
  d_->where = HostPortText(*endpoint);
  d_->socket = d_->Connect(CError_OpenFailed);
  d_->connected = true;
  d_->open = true;
}

bool NetworkDevice::Close() {
  if (!d_->open) return true;
  const SOCKET s = d_->socket.exchange(INVALID_SOCKET);
  const bool closed = s == INVALID_SOCKET || ::closesocket(s) == 0;
  d_->open = false;
  d_->connected = false;
  return closed;
}

void NetworkDevice::SetupQueues(int, int) {}
void NetworkDevice::SetLineSettings(const LineSettings&) {}
void NetworkDevice::SetTimeouts(const TimeoutValues& timeouts) { d_->timeouts = timeouts; }
void NetworkDevice::SetChunkSink(ChunkSink sink) { d_->chunkSink = std::move(sink); }

int NetworkDevice::Read(void* buffer, int count) {
  if (!d_->open) throw EComPort(CError_ReadFailed, ERROR_INVALID_HANDLE);
  if (!d_->connected)
    throw EComPort(CError_ReadFailed, WSAENOTCONN, NetworkFailureText(NetworkFailure::Reset, d_->where, d_->connectTimeoutMs));
  if (count <= 0) return 0;
  auto* out = static_cast<char*>(buffer);
  const ReadDeadline deadline(d_->timeouts, count, Clock::now());
  const SOCKET s = d_->socket;
  int got = 0;
  bool waited = false;
  Clock::time_point lastByte{};
  for (;;) {
    const int n = ::recv(s, out + got, count - got, 0);
    if (n > 0) {
      lastByte = Clock::now();
      if (d_->chunkSink) d_->chunkSink(reinterpret_cast<uint8_t*>(out + got), n, lastByte, !waited);
      got += n;
      if (got == count || (deadline.ReturnsQueued() && got > 0)) return got;
      continue;
    }
    if (n == 0) d_->Lost(CError_ReadFailed, 0);
    const int error = ::WSAGetLastError();
    if (error != WSAEWOULDBLOCK) d_->Lost(CError_ReadFailed, error);
    const auto limit = deadline.Limit(got, lastByte);
    if (d_->readsCancelled || (limit && Clock::now() >= *limit)) return got;
    waited = true;
    // select() cannot wait on the cancel as well: wait in short slices.
    const auto slice = Clock::now() + kCancelSlice;
    int waitError = 0;
    if (!WaitFor(s, false, limit && *limit < slice ? *limit : slice, waitError) && waitError != 0)
      d_->Lost(CError_ReadFailed, waitError);
  }
}

int NetworkDevice::Write(const void* buffer, int count) {
  if (!d_->open) throw EComPort(CError_WriteFailed, ERROR_INVALID_HANDLE);
  if (!d_->connected) d_->Reconnect(CError_WriteFailed);
  if (count <= 0) return 0;
  const auto deadline = WriteDeadline(d_->timeouts, count, Clock::now());
  const auto* in = static_cast<const char*>(buffer);
  const SOCKET s = d_->socket;
  int sent = 0;
  while (sent < count) {
    const int n = ::send(s, in + sent, count - sent, 0);
    if (n > 0) {
      sent += n;
      continue;
    }
    const int error = ::WSAGetLastError();
    if (error != WSAEWOULDBLOCK) d_->Lost(CError_WriteFailed, error);
    if (deadline && Clock::now() >= *deadline) break;
    int waitError = 0;
    if (!WaitFor(s, true, deadline, waitError) && waitError != 0) d_->Lost(CError_WriteFailed, waitError);
  }
  return sent;
}

void NetworkDevice::Purge(uint32_t flags) {
  if (!(flags & PurgeRxClear) || !Connected()) return;
  char discard[512];
  for (;;) {
    const int n = ::recv(d_->socket, discard, sizeof discard, 0);
    if (n > 0) continue;
    if (n == SOCKET_ERROR && ::WSAGetLastError() == WSAEWOULDBLOCK) return;
    d_->Drop();  // closed or broken: the next write connects again
    return;
  }
}

int NetworkDevice::InputCount() {
  if (!Connected()) return 0;
  u_long queued = 0;
  if (::ioctlsocket(d_->socket, FIONREAD, &queued) != 0) return 0;
  return static_cast<int>(queued);
}

uint32_t NetworkDevice::ClearErrors() { return 0; }
ModemStatus NetworkDevice::GetModemStatus() { return {}; }

void NetworkDevice::SetEventMask(uint32_t mask) {
  Impl& d = *d_;
  d.eventMask = mask;
  if (mask == 0 || !d.open) return;
  if (!d.netEvent) d.netEvent = ::WSACreateEvent();
  if (!d.cancelEvent) d.cancelEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ::ResetEvent(d.cancelEvent);  // re-arm: an earlier CancelWait is forgotten
  d.Watch(d.socket);
}

uint32_t NetworkDevice::WaitEvent() {
  Impl& d = *d_;
  if (!d.open || !d.netEvent || !d.cancelEvent) return 0;
  for (;;) {
    const HANDLE events[2] = {d.cancelEvent, d.netEvent};
    const DWORD which = ::WaitForMultipleObjects(2, events, FALSE, INFINITE);
    if (which != WAIT_OBJECT_0 + 1) return 0;  // cancelled, or the wait failed
    WSANETWORKEVENTS seen{};
    ::WSAEnumNetworkEvents(d.socket, d.netEvent, &seen);
    ::ResetEvent(d.netEvent);
    u_long queued = 0;
    if ((d.eventMask & kEvRxChar) && d.connected && ::ioctlsocket(d.socket, FIONREAD, &queued) == 0 && queued > 0)
      return kEvRxChar;
  }
}

void NetworkDevice::CancelWait() {
  if (d_->cancelEvent) ::SetEvent(d_->cancelEvent);
}

void NetworkDevice::CancelReads() { d_->readsCancelled = true; }
void NetworkDevice::AllowReads() { d_->readsCancelled = false; }
