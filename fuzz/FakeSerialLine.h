// The far side of the fake serial device (SerialDeviceFake.cpp), which takes
// the place of the operating system's device in the fuzz build. A harness
// installs its line; without one, reads time out and writes vanish.
#pragma once

#include <cstdint>

class FakeSerialLine {
public:
  virtual ~FakeSerialLine() = default;
  // The bytes that arrive before the read time-out, at most `count`; fewer is a time-out.
  virtual int Read(uint8_t* buffer, int count) = 0;
  // Takes a whole frame; returns the count written.
  virtual int Write(const uint8_t* bytes, int count) = 0;
  virtual void Purge(uint32_t flags) = 0;
  virtual int InputCount() = 0;
};

// The line every fake device talks to from now on (nullptr: none).
void SetFakeSerialLine(FakeSerialLine* line);
