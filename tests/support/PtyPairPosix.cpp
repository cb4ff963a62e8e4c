#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

#include "PtyPair.h"

struct PtyPair::Impl {
  int master = -1;
  int slave = -1;
  int wake = -1;  // eventfd behind Interrupt
  std::string slavePath;
};

PtyPair::PtyPair() : d_(std::make_unique<Impl>()) {
  char name[256] = {};
  termios raw{};
  cfmakeraw(&raw);
  if (openpty(&d_->master, &d_->slave, name, &raw, nullptr) != 0)
    throw std::runtime_error("openpty failed");
  d_->slavePath = name;
  fcntl(d_->master, F_SETFL, fcntl(d_->master, F_GETFL) | O_NONBLOCK);
  fcntl(d_->master, F_SETFD, FD_CLOEXEC);
  fcntl(d_->slave, F_SETFD, FD_CLOEXEC);
  d_->wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (d_->wake < 0) throw std::runtime_error("eventfd failed");
}

PtyPair::~PtyPair() {
  ReleaseSlave();
  CloseMaster();
  close(d_->wake);
}

const std::string& PtyPair::SlavePath() const { return d_->slavePath; }
int PtyPair::MasterFd() const { return d_->master; }

void PtyPair::CloseMaster() {
  if (d_->master >= 0) close(d_->master);
  d_->master = -1;
}

void PtyPair::ReleaseSlave() {
  if (d_->slave >= 0) close(d_->slave);
  d_->slave = -1;
}

void PtyPair::Send(const std::vector<uint8_t>& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(d_->master, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
      return;  // the port side went away
    } else {
      pollfd p{d_->master, POLLOUT, 0};
      poll(&p, 1, 100);
    }
  }
}

std::vector<uint8_t> PtyPair::Receive(size_t count, std::chrono::milliseconds timeout) {
  std::vector<uint8_t> out;
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (out.size() < count) {
    uint8_t buf[512];
    const ssize_t n = read(d_->master, buf, std::min(sizeof buf, count - out.size()));
    if (n > 0) {
      out.insert(out.end(), buf, buf + n);
      continue;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p{d_->master, POLLIN, 0};
    poll(&p, 1, static_cast<int>(left.count()) + 1);
  }
  return out;
}

size_t PtyPair::Pending() {
  int n = 0;
  ioctl(d_->master, FIONREAD, &n);
  return static_cast<size_t>(n);
}

bool PtyPair::AwaitInput(std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd p[2] = {{d_->master, POLLIN, 0}, {d_->wake, POLLIN, 0}};
    const int rc = poll(p, 2, static_cast<int>(std::min<long long>(left.count(), 1 << 30)));
    if (rc < 0 && errno == EINTR) continue;
    if (rc <= 0) return false;
    if (p[1].revents & POLLIN) {
      uint64_t count = 0;
      (void)!read(d_->wake, &count, sizeof count);
      return false;
    }
    if (p[0].revents & POLLIN) return true;
    // POLLHUP without data: no port holds the slave side right now. Look
    // again shortly instead of spinning on the hang-up.
    pollfd w{d_->wake, POLLIN, 0};
    poll(&w, 1, static_cast<int>(std::min<long long>(left.count(), 10)));
  }
}

std::vector<uint8_t> PtyPair::ReceiveAvailable(std::chrono::steady_clock::time_point* arrived) {
  if (arrived) *arrived = std::chrono::steady_clock::now();
  std::vector<uint8_t> out;
  uint8_t buf[512];
  for (ssize_t n; (n = read(d_->master, buf, sizeof buf)) > 0;) out.insert(out.end(), buf, buf + n);
  return out;
}

void PtyPair::Interrupt() {
  const uint64_t one = 1;
  (void)!write(d_->wake, &one, sizeof one);
}

PtyPair::LineSettings PtyPair::Settings() {
  termios t{};
  tcgetattr(d_->master, &t);  // a master reports its slave's settings
  static const struct { speed_t code; unsigned baud; } kSpeeds[] = {
      {B110, 110},     {B300, 300},     {B600, 600},       {B1200, 1200},     {B2400, 2400},
      {B4800, 4800},   {B9600, 9600},   {B19200, 19200},   {B38400, 38400},   {B57600, 57600},
      {B115200, 115200}, {B230400, 230400}};
  LineSettings s;
  const speed_t speed = cfgetospeed(&t);
  for (const auto& k : kSpeeds)
    if (k.code == speed) s.Baud = k.baud;
  s.TwoStopBits = (t.c_cflag & CSTOPB) != 0;
  return s;
}
