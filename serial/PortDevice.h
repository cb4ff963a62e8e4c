// What the serial port component needs of the device behind a port: the
// operating system's serial line (SerialDevice.h) or a TCP connection to a
// device server or gateway (NetworkDevice.h). Every failing call raises
// EComPort with the component's failure code and the system's error number.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "ComTypes.h"

class PortDevice {
public:
  virtual ~PortDevice() = default;

  // Opens the port by its name exclusively; failure code 1.
  virtual void Open(const std::string& portName) = 0;
  virtual bool IsOpen() const = 0;
  // Closes the handle; true when it was closed (the handle is then invalid).
  virtual bool Close() = 0;

  virtual void SetupQueues(int inputSize, int outputSize) = 0;     // failure code 9
  virtual void SetLineSettings(const LineSettings& settings) = 0;  // failure code 7
  virtual void SetTimeouts(const TimeoutValues& timeouts) = 0;     // failure code 8

  // Block until count bytes moved or the time-outs in force ran out; a
  // time-out is a short count. Failure codes 3 (read) and 2 (write).
  virtual int Read(void* buffer, int count) = 0;
  virtual int Write(const void* buffer, int count) = 0;
  // From any thread: a read under way ends at once with what it has (a short
  // count), and so does every later read's wait, until AllowReads. For a
  // caller that must not wait out a long time-out to stop.
  virtual void CancelReads() = 0;
  virtual void AllowReads() = 0;

  // Called for each chunk a read takes from the driver, with the time it
  // took it and whether the bytes were already queued when the read began;
  // empty (the default) costs nothing. On Windows a serial read is one chunk.
  using ChunkSink = std::function<void(const uint8_t* data, int count,
                                       std::chrono::steady_clock::time_point when, bool waiting)>;
  virtual void SetChunkSink(ChunkSink sink) = 0;

  virtual void Purge(uint32_t flags) = 0;  // PurgeRxClear etc.; failure code 5
  virtual int InputCount() = 0;  // bytes queued for reading (Windows also clears line errors); code 10
  virtual uint32_t ClearErrors() = 0;        // reads and clears the line-error state; code 10
  virtual ModemStatus GetModemStatus() = 0;  // failure code 11

  // The event thread's wait: SetEventMask, then WaitEvent blocks until one of
  // the masked events occurs (returning its mask) or CancelWait is called from
  // another thread (returning 0).
  // - 0: cancelled (or the wait itself failed): end the loop. Once cancelled,
  //   WaitEvent keeps returning 0 until SetEventMask with a non-zero mask
  //   re-arms it, so call SetEventMask before the thread starts. Also 0 on a
  //   closed device.
  // - NoEventBatch: nothing to dispatch (the event wait failed, or the mask was
  //   changed while waiting); call WaitEvent again. A failure rests ~100 ms
  //   first, so a broken device cannot make the caller spin.
  // CancelWait may be called from any thread while the device is open.
  static constexpr uint32_t NoEventBatch = 0x80000000u;
  virtual void SetEventMask(uint32_t mask) = 0;
  virtual uint32_t WaitEvent() = 0;
  virtual void CancelWait() = 0;
};
