// The operating system's serial device, one implementation per platform
// (SerialDevicePosix.cpp, SerialDeviceWin32.cpp). Every failing system call
// raises EComPort with the component's failure code and the system's error number.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "ComTypes.h"

class SerialDevice {
public:
  SerialDevice();
  ~SerialDevice();
  SerialDevice(const SerialDevice&) = delete;
  SerialDevice& operator=(const SerialDevice&) = delete;

  // Opens the port by its name (COM3, ...) exclusively; failure code 1.
  void Open(const std::string& portName);
  bool IsOpen() const;
  // Closes the handle; true when it was closed (the handle is then invalid).
  bool Close();

  void SetupQueues(int inputSize, int outputSize);  // failure code 9
  void SetLineSettings(const LineSettings& settings);  // failure code 7
  void SetTimeouts(const TimeoutValues& timeouts);  // failure code 8

  // Block until count bytes moved or the time-outs in force ran out; a
  // time-out is a short count. Failure codes 3 (read) and 2 (write).
  int Read(void* buffer, int count);
  int Write(const void* buffer, int count);
  // From any thread: a read under way ends at once with what it has (a short
  // count), and so does every later read's wait, until AllowReads. For a
  // caller that must not wait out a long time-out to stop.
  void CancelReads();
  void AllowReads();

  // Called for each chunk a read takes from the driver, with the time it
  // took it and whether the bytes were already queued when the read began;
  // empty (the default) costs nothing. On Windows a read is one chunk.
  using ChunkSink = std::function<void(const uint8_t* data, int count,
                                       std::chrono::steady_clock::time_point when, bool waiting)>;
  void SetChunkSink(ChunkSink sink);

  void Purge(uint32_t flags);  // PurgeRxClear etc.; failure code 5
  int InputCount();            // bytes queued for reading (Windows also clears line errors); code 10
  uint32_t ClearErrors();      // reads and clears the line-error state; code 10
  ModemStatus GetModemStatus();  // failure code 11

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
  void SetEventMask(uint32_t mask);
  uint32_t WaitEvent();
  void CancelWait();

private:
  struct Impl;
  std::unique_ptr<Impl> d_;
};
