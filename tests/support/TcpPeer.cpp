#include "TcpPeer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace {
int LoopbackSocket(uint16_t& port, int backlog) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      (backlog >= 0 && ::listen(fd, backlog) != 0) ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    throw std::runtime_error("loopback socket");
  port = ntohs(address.sin_port);
  return fd;
}
}  // namespace

TcpPeer::TcpPeer(Responder responder) : responder_(std::move(responder)) {
  listen_ = LoopbackSocket(port_, 4);
  if (::pipe2(stop_, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  thread_ = std::thread([this] { Serve(); });
}

TcpPeer::~TcpPeer() {
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = ::write(stop_[1], &byte, 1);
  thread_.join();
  ::close(listen_);
  ::close(stop_[0]);
  ::close(stop_[1]);
}

std::vector<PeerBytes> TcpPeer::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

void TcpPeer::Serve() {
  for (;;) {
    pollfd fds[2] = {{stop_[0], POLLIN, 0}, {listen_, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0 && errno != EINTR) return;
    if (fds[0].revents) return;
    if (!(fds[1].revents & POLLIN)) continue;
    const int connection = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection < 0) continue;
    const int on = 1;
    ::setsockopt(connection, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    ++accepted_;
    const bool goOn = ServeConnection(connection);
    ::close(connection);
    if (!goOn) return;
  }
}

bool TcpPeer::ServeConnection(int connection) {
  for (;;) {
    pollfd fds[2] = {{stop_[0], POLLIN, 0}, {connection, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0 && errno != EINTR) return false;
    if (fds[0].revents) return false;
    if (!fds[1].revents) continue;
    uint8_t buffer[4096];
    const ssize_t got = ::recv(connection, buffer, sizeof buffer, 0);
    if (got <= 0) return true;  // the master closed
    const PeerBytes request(buffer, buffer + got);
    {
      std::lock_guard lock(mutex_);
      requests_.push_back(request);
    }
    const PeerAnswer answer = responder_(request);
    for (size_t i = 0; i < answer.segments.size(); ++i) {
      if (i > 0) std::this_thread::sleep_for(answer.gap);
      const PeerBytes& segment = answer.segments[i];
      if (!segment.empty()) ::send(connection, segment.data(), segment.size(), MSG_NOSIGNAL);
    }
    if (answer.then == PeerAnswer::Then::Reset) {
      linger hard{1, 0};
      ::setsockopt(connection, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    }
    if (answer.then != PeerAnswer::Then::StayOpen) return true;
  }
}

uint16_t RefusingPort() {
  uint16_t port = 0;
  const int fd = LoopbackSocket(port, -1);  // bound, never listening
  ::close(fd);
  return port;
}

FullListener::FullListener() {
  listen_ = LoopbackSocket(port_, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port_);
  // Fill the queue until a handshake is no longer answered.
  for (int i = 0; i < 8; ++i) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    queued_.push_back(fd);
    ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    pollfd p{fd, POLLOUT, 0};
    if (::poll(&p, 1, 200) == 0) return;  // this one hangs: the queue is full
  }
  throw std::runtime_error("the accept queue never filled");
}

FullListener::~FullListener() {
  for (int fd : queued_) ::close(fd);
  ::close(listen_);
}
