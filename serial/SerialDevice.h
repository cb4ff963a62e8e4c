// The operating system's serial device, one implementation per platform
// (SerialDevicePosix.cpp, SerialDeviceWin32.cpp).
#pragma once

#include <memory>

#include "PortDevice.h"

class SerialDevice final : public PortDevice {
public:
  SerialDevice();
  ~SerialDevice() override;
  SerialDevice(const SerialDevice&) = delete;
  SerialDevice& operator=(const SerialDevice&) = delete;

  // COM<n> through the port table, or a device path as named.
  void Open(const std::string& portName) override;
  bool IsOpen() const override;
  bool Close() override;

  void SetupQueues(int inputSize, int outputSize) override;
  void SetLineSettings(const LineSettings& settings) override;
  void SetTimeouts(const TimeoutValues& timeouts) override;

  int Read(void* buffer, int count) override;
  int Write(const void* buffer, int count) override;
  void CancelReads() override;
  void AllowReads() override;
  void SetChunkSink(ChunkSink sink) override;

  void Purge(uint32_t flags) override;
  int InputCount() override;
  uint32_t ClearErrors() override;
  ModemStatus GetModemStatus() override;

  void SetEventMask(uint32_t mask) override;
  uint32_t WaitEvent() override;
  void CancelWait() override;

private:
  struct Impl;
  std::unique_ptr<Impl> d_;
};
