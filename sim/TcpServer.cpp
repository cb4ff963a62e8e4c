#include "TcpServer.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "RequestAssembler.h"
#include "SimCrc.h"

namespace {
using Clock = std::chrono::steady_clock;
// A request whose length its first bytes do not tell ends with this much
// quiet on the connection (a device server passes a frame in one go).
constexpr auto kRequestQuiet = std::chrono::milliseconds(5);
// Between the segments of a split answer: long enough for each to be sent,
// and read, on its own.
constexpr auto kSegmentGap = std::chrono::milliseconds(3);

std::string AddressText(const sockaddr_storage& address) {
  char host[INET6_ADDRSTRLEN] = {};
  char port[8] = {};
  getnameinfo(reinterpret_cast<const sockaddr*>(&address), sizeof address, host, sizeof host, port, sizeof port,
              NI_NUMERICHOST | NI_NUMERICSERV);
  const std::string h = host;
  return (h.find(':') != std::string::npos ? "[" + h + "]" : h) + ":" + port;
}


std::vector<uint8_t> FrameAsMbap(const std::vector<uint8_t>& rtu, bool wrongTransaction, const void* context) {
  return MbapAnswer(*static_cast<const MbapRequest*>(context), rtu, wrongTransaction);
}

int PollMs(Clock::duration left) {
  if (left <= Clock::duration::zero()) return 0;
  return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
}
}  // namespace

TcpServer::TcpServer(SimBus& bus, Framing framing, SimLog log)
    : bus_(bus), framing_(framing), log_(std::move(log)) {}

TcpServer::~TcpServer() {
  if (listen_ >= 0) close(listen_);
}

void TcpServer::Log(const std::string& text) const {
  if (log_) log_(text);
}

void TcpServer::Listen(const std::string& hostPort) {
  std::string host, port;
  if (!hostPort.empty() && hostPort[0] == '[') {
    const auto close = hostPort.find("]:");
    if (close == std::string::npos) throw std::runtime_error("--tcp: HOST:PORT expected, not " + hostPort);
    host = hostPort.substr(1, close - 1);
    port = hostPort.substr(close + 2);
  } else {
    const auto colon = hostPort.rfind(':');
    if (colon == std::string::npos || colon == 0) throw std::runtime_error("--tcp: HOST:PORT expected, not " + hostPort);
    host = hostPort.substr(0, colon);
    port = hostPort.substr(colon + 1);
  }
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0 || !found)
    throw std::runtime_error("--tcp: cannot resolve " + hostPort);
  const int fd = socket(found->ai_family, found->ai_socktype | SOCK_CLOEXEC, found->ai_protocol);
  const int on = 1;
  if (fd >= 0) setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  const bool ok = fd >= 0 && bind(fd, found->ai_addr, found->ai_addrlen) == 0 && listen(fd, 4) == 0;
  const int error = errno;
  freeaddrinfo(found);
  if (!ok) {
    if (fd >= 0) close(fd);
    throw std::runtime_error("--tcp: cannot listen on " + hostPort + ": " + std::string(strerror(error)));
  }
  listen_ = fd;
  sockaddr_storage bound{};
  socklen_t length = sizeof bound;
  getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length);
  address_ = AddressText(bound);
}

void TcpServer::Run(int stopFd) {
  stop_ = stopFd;
  for (;;) {
    pollfd fds[2] = {{stop_, POLLIN, 0}, {listen_, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0 && errno != EINTR) return;
    if (fds[0].revents) return;
    if (!(fds[1].revents & POLLIN)) continue;
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    const int connection = accept4(listen_, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (connection < 0) continue;
    const int on = 1;
    setsockopt(connection, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    Log("connection from " + AddressText(peer));
    const bool goOn = Serve(connection);
    close(connection);
    if (!goOn) return;
  }
}

bool TcpServer::Serve(int connection) {
  RequestAssembler rtuRequests;
  MbapAssembler mbapRequests;
  auto lastByte = Clock::now();
  bool open = true;
  while (open) {
    const bool pending = framing_ == Framing::Rtu && rtuRequests.Pending();
    pollfd fds[2] = {{stop_, POLLIN, 0}, {connection, POLLIN, 0}};
    const int n = poll(fds, 2, pending ? PollMs(lastByte + kRequestQuiet - Clock::now()) : -1);
    if (n < 0 && errno == EINTR) continue;
    if (fds[0].revents) return false;
    if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) {
      uint8_t buffer[512];
      ssize_t got;
      bool ended = false;
      while ((got = read(connection, buffer, sizeof buffer)) > 0) {
        if (framing_ == Framing::Rtu) rtuRequests.Add(buffer, static_cast<size_t>(got));
        else mbapRequests.Add(buffer, static_cast<size_t>(got));
      }
      if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) ended = true;
      lastByte = Clock::now();
      if (framing_ == Framing::Rtu) {
        while (open) {
          const auto frame = rtuRequests.NextComplete();
          if (!frame) break;
          if (!Answer(connection, *frame, nullptr, open)) return false;
        }
      } else {
        while (open) {
          const auto request = mbapRequests.Next();
          if (!request) break;
          if (!Answer(connection, request->rtu, &*request, open)) return false;
        }
      }
      if (ended) {
        Log("connection closed by the master");
        return true;
      }
    } else if (n == 0 && pending) {
      if (!Answer(connection, *rtuRequests.EndBySilence(), nullptr, open)) return false;
    }
  }
  Log("connection dropped");
  return true;
}

bool TcpServer::Answer(int connection, const std::vector<uint8_t>& rtu, const MbapRequest* request, bool& open) {
  Log(request ? "RX " + HexBytes(request->wire) + "  mbap" : DescribeFrame("RX", rtu));
  const Reply reply = request ? bus_.Handle(rtu, FrameAsMbap, request) : bus_.Handle(rtu);
  if (reply.delay.count() > 0) {
    Log("delay " + std::to_string(reply.delay.count()) + " ms");
    if (!Pause(reply.delay)) return false;
  }
  if (!reply.bytes.empty() && !Send(connection, reply)) return false;
  if (reply.drop) {
    // Closed with a reset, as a device server that gives up does.
    linger hard{1, 0};
    setsockopt(connection, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    open = false;
  }
  return true;
}

bool TcpServer::Send(int connection, const Reply& reply) {
  std::vector<size_t> ends = reply.cuts;
  ends.push_back(reply.bytes.size());
  size_t done = 0;
  for (size_t end : ends) {
    if (done > 0 && !Pause(kSegmentGap)) return false;
    while (done < end) {
      const ssize_t n = send(connection, reply.bytes.data() + done, end - done, MSG_NOSIGNAL);
      if (n > 0) {
        done += static_cast<size_t>(n);
        continue;
      }
      if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
        pollfd out{connection, POLLOUT, 0};
        poll(&out, 1, 100);
        continue;
      }
      done = end = reply.bytes.size();  // the master went away
      break;
    }
  }
  const std::vector<uint8_t> sent(reply.bytes.begin(), reply.bytes.begin() + static_cast<long>(done));
  std::string text = framing_ == Framing::Mbap ? "TX " + HexBytes(sent) + "  mbap" : DescribeFrame("TX", sent);
  if (reply.cuts.size() > 0) text += "  in " + std::to_string(reply.cuts.size() + 1) + " segments";
  Log(text);
  return true;
}

bool TcpServer::Pause(std::chrono::milliseconds time) {
  const auto deadline = Clock::now() + time;
  for (;;) {
    pollfd stop{stop_, POLLIN, 0};
    const int n = poll(&stop, 1, PollMs(deadline - Clock::now()));
    if (n < 0 && errno == EINTR) continue;
    if (stop.revents) return false;
    if (Clock::now() >= deadline) return true;
  }
}
