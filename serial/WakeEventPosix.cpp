#include "WakeEventPosix.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

PosixWakeEvent::~PosixWakeEvent() {
  if (fd_ >= 0) ::close(fd_);
}

bool PosixWakeEvent::Arm() {
  if (fd_ < 0) {
    fd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    return fd_ >= 0;
  }
  uint64_t count = 0;
  [[maybe_unused]] const ssize_t n = ::read(fd_, &count, sizeof count);
  return true;
}

void PosixWakeEvent::Signal() {
  if (fd_ < 0) return;
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t n = ::write(fd_, &one, sizeof one);
}
