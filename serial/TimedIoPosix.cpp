#include "TimedIoPosix.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "EComPort.h"
#include "ReadDeadline.h"

int TimedRead(int fd, void* buffer, int count, const TimeoutValues& timeouts, bool discardNull,
              const PortDevice::ChunkSink& sink, int stopFd) {
  using Clock = std::chrono::steady_clock;
  if (count <= 0) return 0;
  auto* out = static_cast<unsigned char*>(buffer);
  const ReadDeadline deadline(timeouts, count, Clock::now());
  int got = 0;
  bool waited = false;  // bytes read before the first wait were queued before the read
  Clock::time_point lastByte{};
  for (;;) {
    const ssize_t n = ::read(fd, out + got, static_cast<size_t>(count - got));
    if (n > 0) {
      int kept = static_cast<int>(n);
      if (discardNull) kept = static_cast<int>(std::remove(out + got, out + got + n, 0) - (out + got));
      if (kept > 0) {
        lastByte = Clock::now();
        if (sink) sink(out + got, kept, lastByte, !waited);
      }
      got += kept;
      if (got == count || (deadline.ReturnsQueued() && got > 0)) return got;
      continue;
    }
    if (n == 0) throw EComPort(CError_ReadFailed, EIO);  // hung up, or the peer closed
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) throw EComPort(CError_ReadFailed, errno);

    const auto limit = deadline.Limit(got, lastByte);
    if (limit && Clock::now() >= *limit) return got;
    pollfd p[2] = {{fd, POLLIN, 0}, {stopFd, POLLIN, 0}};
    waited = true;
    const int rc = ::poll(p, stopFd >= 0 ? 2 : 1, WaitMilliseconds(limit));
    if (rc < 0 && errno != EINTR) throw EComPort(CError_ReadFailed, errno);
    if (rc > 0 && !(p[0].revents & POLLIN) && (p[0].revents & (POLLHUP | POLLERR | POLLNVAL)))
      throw EComPort(CError_ReadFailed, EIO);
    if (rc > 0 && stopFd >= 0 && (p[1].revents & POLLIN)) return got;  // cancelled
  }
}

int TimedWrite(int fd, const void* buffer, int count,
               std::optional<std::chrono::steady_clock::time_point> deadline, bool socket) {
  if (count <= 0) return 0;
  const auto* in = static_cast<const unsigned char*>(buffer);
  int sent = 0;
  while (sent < count) {
    const size_t left = static_cast<size_t>(count - sent);
    const ssize_t n = socket ? ::send(fd, in + sent, left, MSG_NOSIGNAL) : ::write(fd, in + sent, left);
    if (n > 0) {
      sent += static_cast<int>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) throw EComPort(CError_WriteFailed, errno);
    if (deadline && std::chrono::steady_clock::now() >= *deadline) break;  // stalled: short count
    pollfd p{fd, POLLOUT, 0};
    const int rc = ::poll(&p, 1, WaitMilliseconds(deadline));
    if (rc < 0 && errno != EINTR) throw EComPort(CError_WriteFailed, errno);
    if (rc > 0 && !(p.revents & POLLOUT) && (p.revents & (POLLHUP | POLLERR | POLLNVAL)))
      throw EComPort(CError_WriteFailed, EIO);
  }
  return sent;
}
