// POSIX serial device: a terminal device opened exclusively, raw line settings,
// and the Windows read/write time-out semantics emulated with poll() on a
// monotonic clock.
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>

#include "EComPort.h"
#include "PortTable.h"
#include "PosixArbitraryBaud.h"
#include "PosixPortHolders.h"
#include "PosixTerminalNode.h"
#include "TimedIoPosix.h"
#include "WakeEventPosix.h"
#include "ReadDeadline.h"
#include "SerialDevice.h"

namespace {
using Clock = std::chrono::steady_clock;

[[noreturn]] void Fail(int code, int error) { throw EComPort(code, error); }

std::optional<speed_t> StandardSpeed(uint32_t rate) {
  switch (rate) {
    case 50: return B50;
    case 75: return B75;
    case 110: return B110;
    case 134: return B134;
    case 150: return B150;
    case 200: return B200;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 1800: return B1800;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    case 500000: return B500000;
    case 576000: return B576000;
    case 921600: return B921600;
    case 1000000: return B1000000;
    default: return std::nullopt;
  }
}

// Unix98 pseudo-terminal slaves have majors 136..143.
bool IsPseudoTerminal(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return false;
  const unsigned major = ::major(st.st_rdev);
  return major >= 136 && major <= 143;
}

// A pseudo-terminal has no modem lines; its ioctls fail with one of these.
bool NoModemLines(int error) { return error == ENOTTY || error == EINVAL; }

// Bytes the driver still holds for sending; 0 where it cannot say. A
// pseudo-terminal always says 0: its bytes go straight to the other side.
int OutputQueued(int fd) {
  int queued = 0;
  if (::ioctl(fd, TIOCOUTQ, &queued) != 0 || queued < 0) return 0;
  return queued;
}

// A write completes when its bytes have left, as it does on Windows, so that
// the delays after it and the purge of the next transaction see the line as
// it is. Bounded by the write deadline, or by twice the line time without one.
// Returns what is still queued when the bound ran out (a stalled line).
int WaitUntilSent(int fd, uint32_t baudRate, std::optional<Clock::time_point> deadline, int count) {
  if (!deadline) {
    const uint32_t baud = std::max<uint32_t>(baudRate, 50);
    deadline = Clock::now() + std::chrono::milliseconds(1000 + 2 * 12 * 1000ull * uint64_t(std::max(count, 0)) / baud);
  }
  for (;;) {
    const int queued = OutputQueued(fd);
    if (queued == 0 || Clock::now() >= *deadline) return queued;
    ::poll(nullptr, 0, 1);
  }
}

// Line-error bits as the platform's ClearCommError reports them.
constexpr uint32_t kCeRxOver = 0x0001, kCeOverrun = 0x0002, kCeRxParity = 0x0004,
                   kCeFrame = 0x0008, kCeBreak = 0x0010;
}  // namespace

struct SerialDevice::Impl {
  int fd = -1;
  PosixWakeEvent wake;  // cancels WaitEvent
  // Cancels reads (CancelReads): made with the device, so that another
  // thread can signal it whether the port is open or not.
  PosixWakeEvent readStop;
  termios saved{};
  bool haveSaved = false;
  bool exclusive = false;  // we set TIOCEXCL and clear it on close
  LineSettings line;
  TimeoutValues timeouts;
  uint32_t eventMask = 0;
  serial_icounter_struct lastCounts{};
  bool haveCounts = false;
  // The event wait (SetEventMask, WaitEvent): used by the event thread only,
  // except wakeFd, which CancelWait writes from another thread.
  int epollFd = -1;  // edge-triggered: one report per arrival, none while data just sits
  int outFd = -1;    // duplicate of fd, so output wake-ups get an entry of their own
  bool modemLines = false;
  int modemBits = 0;
  bool haveWaitCounts = false;
  serial_icounter_struct waitCounts{};
  int inQueued = 0;
  bool txDraining = false;
  ChunkSink chunkSink;

  Impl() { readStop.Arm(); }
  ~Impl() {
    EndEventWait();
  }
  void EndEventWait() {
    if (epollFd >= 0) ::close(epollFd);
    if (outFd >= 0) ::close(outFd);
    epollFd = outFd = -1;
  }
  bool NeedsTick() const;
  uint32_t ReceiveEvents();
  uint32_t LineEvents();
};

SerialDevice::SerialDevice() : d_(std::make_unique<Impl>()) {}
SerialDevice::~SerialDevice() { Close(); }

bool SerialDevice::IsOpen() const { return d_->fd >= 0; }

void SerialDevice::Open(const std::string& portName) {
  if (d_->fd >= 0) return;
  const auto path = ResolvePortDevice(portName);
  if (!path) Fail(CError_OpenFailed, ENOENT);
  const int fd = ::open(path->c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) Fail(CError_OpenFailed, errno);
  auto refuse = [fd](int error) {
    ::close(fd);
    Fail(CError_OpenFailed, error);
  };
  // Never write frames into something that is not a serial line: not a
  // file, nor a virtual console or /dev/console (terminals, but no lines).
  struct stat st{};
  if (!::isatty(fd) || ::fstat(fd, &st) != 0 || !IsSerialLineNode(st)) refuse(ENOTTY);
  // Exclusive use: flock keeps out every program that asks, including a
  // second instance of ours; TIOCEXCL keeps other (unprivileged) programs out.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) refuse(errno);
  // A pseudo-terminal does not get TIOCEXCL: the flag lives as long as the
  // terminal, which is as long as its master side, so a holder killed before
  // it could clear it would lock its own user out until the device side
  // restarts. There flock and the holder scan below refuse on their own. A
  // hardware port's flag goes with its last close, whatever ended the holder.
  const bool setExclusive = !IsPseudoTerminal(fd);
  // The flag outlives its setter on a terminal that stays in use, so a flag
  // already set proves nothing; but a refusal must not clear somebody else's.
  int wasExclusive = 0;
  if (::ioctl(fd, TIOCGEXCL, &wasExclusive) != 0) wasExclusive = 0;
  if (setExclusive) ::ioctl(fd, TIOCEXCL);
  // From here on the exclusive flag is ours: a refusal clears it again, or it
  // would outlive this descriptor on a terminal that stays in use.
  auto refuseExclusive = [fd, wasExclusive, setExclusive, &refuse](int error) {
    if (setExclusive && !wasExclusive) ::ioctl(fd, TIOCNXCL);
    refuse(error);
  };
  // Programs that do not ask for flock: looked for once no unprivileged
  // newcomer can open the terminal any more.
  if (PortHeldByAnotherProgram(fd, *path)) refuseExclusive(EBUSY);
  if (::tcgetattr(fd, &d_->saved) != 0) refuseExclusive(errno);
  d_->haveSaved = true;
  termios raw = d_->saved;
  ::cfmakeraw(&raw);
  raw.c_cflag |= CLOCAL | CREAD;
  // VMIN 1 makes a non-blocking read say EAGAIN on an empty queue, so that 0 means hang-up.
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  if (::tcsetattr(fd, TCSANOW, &raw) != 0) refuseExclusive(errno);
  d_->fd = fd;
  d_->exclusive = setExclusive;
  d_->haveCounts = ::ioctl(fd, TIOCGICOUNT, &d_->lastCounts) == 0;
}

bool SerialDevice::Close() {
  if (d_->fd < 0) return true;
  if (d_->haveSaved) ::tcsetattr(d_->fd, TCSANOW, &d_->saved);
  if (d_->exclusive) ::ioctl(d_->fd, TIOCNXCL);
  const int rc = ::close(d_->fd);
  d_->fd = -1;
  d_->haveSaved = false;
  return rc == 0 || errno == EINTR;
}

void SerialDevice::SetupQueues(int inputSize, int outputSize) {
  // The kernel sizes its own queues; the values only shape the flow-control limits.
  if (inputSize < 0 || outputSize < 0) Fail(CError_SetupComFailed, EINVAL);
}

void SerialDevice::SetLineSettings(const LineSettings& s) {
  termios t{};
  if (::tcgetattr(d_->fd, &t) != 0) Fail(CError_SetStateFailed, errno);
  ::cfmakeraw(&t);
  t.c_cflag |= CLOCAL | CREAD;
  t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  switch (s.ByteSize) {
    case 5: t.c_cflag |= CS5; break;
    case 6: t.c_cflag |= CS6; break;
    case 7: t.c_cflag |= CS7; break;
    case 8: t.c_cflag |= CS8; break;
    default: Fail(CError_SetStateFailed, EINVAL);
  }
  switch (s.Parity) {
    case 0: break;
    case 1: t.c_cflag |= PARENB | PARODD; break;
    case 2: t.c_cflag |= PARENB; break;
    case 3: t.c_cflag |= PARENB | CMSPAR | PARODD; break;
    case 4: t.c_cflag |= PARENB | CMSPAR; break;
    default: Fail(CError_SetStateFailed, EINVAL);
  }
  // One and a half stop bits exist only with 5 data bits; POSIX sets them with CSTOPB.
  if (s.StopBits == 1 || s.StopBits == 2) t.c_cflag |= CSTOPB;
  else if (s.StopBits != 0) Fail(CError_SetStateFailed, EINVAL);
  const uint32_t rtsControl = (s.Flags & DcbRtsControlMask) >> 12;
  if ((s.Flags & DcbOutxCtsFlow) || rtsControl == 2) t.c_cflag |= CRTSCTS;
  t.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK | IGNPAR | PARMRK);
  if (s.Flags & DcbOutX) t.c_iflag |= IXON;
  if (s.Flags & DcbInX) t.c_iflag |= IXOFF;
  if (s.Flags & DcbParity) t.c_iflag |= INPCK;
  t.c_cc[VSTART] = static_cast<cc_t>(s.XonChar);
  t.c_cc[VSTOP] = static_cast<cc_t>(s.XoffChar);
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;

  const auto speed = StandardSpeed(s.BaudRate);
  if (speed) {
    ::cfsetispeed(&t, *speed);
    ::cfsetospeed(&t, *speed);
  } else {
    ::cfsetispeed(&t, B38400);
    ::cfsetospeed(&t, B38400);
  }
  if (::tcsetattr(d_->fd, TCSANOW, &t) != 0) {
    // A pseudo-terminal has no character framing: it always carries 8 bits
    // without parity, and some kernels refuse other framing outright.
    if (errno != EINVAL || !IsPseudoTerminal(d_->fd)) Fail(CError_SetStateFailed, errno);
    t.c_cflag = (t.c_cflag & ~(CSIZE | PARENB | PARODD | CMSPAR)) | CS8;
    if (::tcsetattr(d_->fd, TCSANOW, &t) != 0) Fail(CError_SetStateFailed, errno);
  }
  if (!speed && (s.BaudRate == 0 || SetArbitraryBaudRate(d_->fd, s.BaudRate) != 0))
    Fail(CError_SetStateFailed, s.BaudRate == 0 ? EINVAL : errno);

  // DTR and RTS held as asked; a device without modem lines has nothing to hold.
  const uint32_t dtrControl = (s.Flags & DcbDtrControlMask) >> 4;
  int dtr = TIOCM_DTR, rts = TIOCM_RTS;
  ::ioctl(d_->fd, dtrControl == 0 ? TIOCMBIC : TIOCMBIS, &dtr);
  if (rtsControl != 2) ::ioctl(d_->fd, rtsControl == 1 ? TIOCMBIS : TIOCMBIC, &rts);
  if (rtsControl == 3) {
    // RTS raised while sending: the kernel's RS-485 mode, where the driver has it.
    serial_rs485 rs485{};
    rs485.flags = SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND;
    ::ioctl(d_->fd, TIOCSRS485, &rs485);
  }
  d_->line = s;
}

void SerialDevice::SetTimeouts(const TimeoutValues& timeouts) { d_->timeouts = timeouts; }

void SerialDevice::SetChunkSink(ChunkSink sink) { d_->chunkSink = std::move(sink); }

int SerialDevice::Read(void* buffer, int count) {
  return TimedRead(d_->fd, buffer, count, d_->timeouts, (d_->line.Flags & DcbNull) != 0, d_->chunkSink,
                   d_->readStop.Fd());
}

void SerialDevice::CancelReads() { d_->readStop.Signal(); }

void SerialDevice::AllowReads() { d_->readStop.Arm(); }

int SerialDevice::Write(const void* buffer, int count) {
  if (count <= 0) return 0;
  const auto deadline = WriteDeadline(d_->timeouts, count, Clock::now());
  const int sent = TimedWrite(d_->fd, buffer, count, deadline);
  // A stalled line: what is still queued has not been sent, and the count says so.
  const int unsent = std::min(WaitUntilSent(d_->fd, d_->line.BaudRate, deadline, sent), sent);
  return sent - unsent;
}

void SerialDevice::Purge(uint32_t flags) {
  // Reads and writes are synchronous here, so there is never a pending one to abort.
  const bool rx = flags & PurgeRxClear;
  // The transmit queue holds only what a write has not reported as sent (a
  // stalled line). With nothing queued there is nothing to discard, and a
  // flush could only take back a frame already reported as sent: on a
  // pseudo-terminal it drops the bytes the other side has not read yet.
  const bool tx = (flags & PurgeTxClear) && OutputQueued(d_->fd) > 0;
  if (!rx && !tx) return;
  if (::tcflush(d_->fd, rx && tx ? TCIOFLUSH : rx ? TCIFLUSH : TCOFLUSH) != 0)
    Fail(CError_PurgeFailed, errno);
}

int SerialDevice::InputCount() {
  int queued = 0;
  if (::ioctl(d_->fd, FIONREAD, &queued) != 0) Fail(CError_ClearComFailed, errno);
  return queued;
}

uint32_t SerialDevice::ClearErrors() {
  InputCount();
  if (!d_->haveCounts) return 0;
  serial_icounter_struct now{};
  if (::ioctl(d_->fd, TIOCGICOUNT, &now) != 0) return 0;
  const serial_icounter_struct& was = d_->lastCounts;
  uint32_t errors = 0;
  if (now.buf_overrun != was.buf_overrun) errors |= kCeRxOver;
  if (now.overrun != was.overrun) errors |= kCeOverrun;
  if (now.parity != was.parity) errors |= kCeRxParity;
  if (now.frame != was.frame) errors |= kCeFrame;
  if (now.brk != was.brk) errors |= kCeBreak;
  d_->lastCounts = now;
  return errors;
}

ModemStatus SerialDevice::GetModemStatus() {
  int bits = 0;
  if (::ioctl(d_->fd, TIOCMGET, &bits) != 0) {
    if (NoModemLines(errno)) return {};
    Fail(CError_ModemStatFailed, errno);
  }
  return {(bits & TIOCM_CTS) != 0, (bits & TIOCM_DSR) != 0, (bits & TIOCM_RNG) != 0,
          (bits & TIOCM_CAR) != 0};
}

// --- the event thread's wait ---
//
// epoll, edge-triggered, on the port: the receive side reports once per
// arrival of data, so bytes that wait unread in the queue cause no further
// wake-ups (a level-triggered POLLIN would fire without end), and nothing is
// ever read out of the queue. Output wake-ups come through a duplicate
// descriptor so they cannot be taken for received data. An eventfd cancels
// the wait. Modem lines and the driver's line-error counters have no
// descriptor to wait on (TIOCMIWAIT cannot be cancelled), so they are
// sampled every few tens of milliseconds, and only where the device has them;
// a pseudo-terminal has neither and waits without any time-out. An empty
// transmit queue is seen when the driver wakes writers and TIOCOUTQ reads 0;
// a pseudo-terminal, which has no output queue, reports it when a write is
// handed to the other side and again when that side reads it.

namespace {
constexpr uint32_t kEvRxChar = 0x0001, kEvRxFlag = 0x0002, kEvTxEmpty = 0x0004,
                   kEvCts = 0x0008, kEvDsr = 0x0010, kEvRlsd = 0x0020, kEvBreak = 0x0040,
                   kEvErr = 0x0080, kEvRing = 0x0100, kEvRx80Full = 0x0400;
constexpr uint32_t kModemEvents = kEvCts | kEvDsr | kEvRlsd | kEvRing;
constexpr int kLineSampleMs = 40;
// The line discipline's receive buffer; 80 per cent of it is "nearly full".
constexpr int kRx80FullBytes = 4096 * 8 / 10;
enum : uint32_t { kKeyReceive = 1, kKeyOutput = 2, kKeyCancel = 3 };

bool AddToEpoll(int epollFd, int fd, uint32_t events, uint32_t key) {
  epoll_event ev{};
  ev.events = events;
  ev.data.u32 = key;
  return ::epoll_ctl(epollFd, EPOLL_CTL_ADD, fd, &ev) == 0;
}
}  // namespace

bool SerialDevice::Impl::NeedsTick() const {
  const bool lines = (modemLines && (eventMask & kModemEvents)) ||
                     (haveWaitCounts && (eventMask & (kModemEvents | kEvErr | kEvBreak)));
  return lines || (txDraining && (eventMask & kEvTxEmpty));
}

uint32_t SerialDevice::Impl::ReceiveEvents() {
  int queued = 0;
  if (::ioctl(fd, FIONREAD, &queued) != 0) queued = 0;  // e.g. hung up: nothing to report
  uint32_t events = queued > 0 ? kEvRxChar : 0;
  if (queued >= kRx80FullBytes && inQueued < kRx80FullBytes) events |= kEvRx80Full;
  inQueued = queued;
  return events;
}

uint32_t SerialDevice::Impl::LineEvents() {
  uint32_t events = 0;
  int bits = 0;
  if (modemLines && ::ioctl(fd, TIOCMGET, &bits) == 0) {
    const int changed = bits ^ modemBits;
    if (changed & TIOCM_CTS) events |= kEvCts;
    if (changed & TIOCM_DSR) events |= kEvDsr;
    if (changed & TIOCM_CAR) events |= kEvRlsd;
    if (changed & bits & TIOCM_RNG) events |= kEvRing;
    modemBits = bits;
  }
  serial_icounter_struct now{};
  if (haveWaitCounts && ::ioctl(fd, TIOCGICOUNT, &now) == 0) {
    // The counters also catch pulses shorter than the sampling period.
    const serial_icounter_struct& was = waitCounts;
    if (now.cts != was.cts) events |= kEvCts;
    if (now.dsr != was.dsr) events |= kEvDsr;
    if (now.dcd != was.dcd) events |= kEvRlsd;
    if (now.rng != was.rng) events |= kEvRing;
    if (now.brk != was.brk) events |= kEvBreak;
    if (now.frame != was.frame || now.overrun != was.overrun || now.parity != was.parity ||
        now.buf_overrun != was.buf_overrun)
      events |= kEvErr;
    waitCounts = now;
  }
  if (txDraining) {
    int outQueued = 0;
    if (::ioctl(fd, TIOCOUTQ, &outQueued) != 0 || outQueued == 0) {
      events |= kEvTxEmpty;
      txDraining = false;
    }
  }
  return events;
}

void SerialDevice::SetEventMask(uint32_t mask) {
  Impl& d = *d_;
  d.EndEventWait();
  d.eventMask = mask;
  if (mask == 0 || d.fd < 0) return;
  // A failure leaves no wait armed: WaitEvent then returns 0 and the thread ends.
  if (!d.wake.Arm()) return;  // re-armed: an earlier CancelWait is forgotten
  d.epollFd = ::epoll_create1(EPOLL_CLOEXEC);
  d.outFd = ::fcntl(d.fd, F_DUPFD_CLOEXEC, 0);
  if (d.epollFd < 0 || d.outFd < 0 || !AddToEpoll(d.epollFd, d.fd, EPOLLIN | EPOLLET, kKeyReceive) ||
      !AddToEpoll(d.epollFd, d.outFd, EPOLLOUT | EPOLLET, kKeyOutput) ||
      !AddToEpoll(d.epollFd, d.wake.Fd(), EPOLLIN, kKeyCancel)) {
    d.EndEventWait();
    return;
  }
  // Registering reports the present state once; like the platform's mask,
  // the wait is for what happens from now on.
  epoll_event ev[3];
  ::epoll_wait(d.epollFd, ev, 3, 0);
  d.modemLines = ::ioctl(d.fd, TIOCMGET, &d.modemBits) == 0;
  d.haveWaitCounts = ::ioctl(d.fd, TIOCGICOUNT, &d.waitCounts) == 0;
  if (::ioctl(d.fd, FIONREAD, &d.inQueued) != 0) d.inQueued = 0;
  d.txDraining = false;
}

uint32_t SerialDevice::WaitEvent() {
  Impl& d = *d_;
  if (d.epollFd < 0 || d.fd < 0) return 0;
  for (;;) {
    epoll_event ev[3];
    const int n = ::epoll_wait(d.epollFd, ev, 3, d.NeedsTick() ? kLineSampleMs : -1);
    if (n < 0) {
      if (errno == EINTR) continue;
      return 0;  // the wait itself failed
    }
    uint32_t events = 0;
    for (int i = 0; i < n; ++i) {
      // The eventfd is left signalled, so every later wait returns at once too.
      if (ev[i].data.u32 == kKeyCancel) return 0;
      // A hang-up (EPOLLHUP) is reported once by the edge and then stays quiet.
      if (ev[i].data.u32 == kKeyReceive) events |= d.ReceiveEvents();
      if (ev[i].data.u32 == kKeyOutput) d.txDraining = true;  // output moved
    }
    events |= d.LineEvents();
    // The event character cannot be seen without reading the data: kEvRxFlag
    // is never reported here.
    events &= d.eventMask & ~kEvRxFlag;
    if (events != 0) return events;
  }
}

void SerialDevice::CancelWait() { d_->wake.Signal(); }
