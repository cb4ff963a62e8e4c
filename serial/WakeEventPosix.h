// The eventfd that cancels a device's event wait: armed before the wait,
// signalled from any thread, left signalled so that every later wait ends too.
#pragma once

class PosixWakeEvent {
public:
  PosixWakeEvent() = default;
  ~PosixWakeEvent();
  PosixWakeEvent(const PosixWakeEvent&) = delete;
  PosixWakeEvent& operator=(const PosixWakeEvent&) = delete;

  // Made on first use, or cleared of an earlier Signal; false when it cannot be made.
  bool Arm();
  void Signal();
  int Fd() const { return fd_; }

private:
  int fd_ = -1;
};
