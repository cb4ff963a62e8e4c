// The network backend of the serial port component: a TCP connection to a
// serial device server (rtuovertcp://) or a Modbus TCP gateway (tcp://),
// behind the same interface as the serial line. One implementation per
// operating system (NetworkDevicePosix.cpp, NetworkDeviceWin32.cpp).
//
// - Open connects within the connect time-out; a refusal, a time-out or an
//   unknown host raises failure code 1 with a text that says which.
// - Read and Write keep the Windows time-out rules (ReadDeadline.h) over the
//   byte stream: reads end by count or time-out, never at a segment boundary.
// - A connection the peer closes or resets while a read or write waits on it
//   raises failure code 3 or 2: the port is lost. The device stays open, and
//   the next Write connects again. A connection found closed by the purge
//   that starts a transaction (the peer ended an idle connection) is simply
//   made again by that transaction's write.
// - No line settings, no modem lines (all off), no line errors. The event
//   wait reports received data and can be cancelled.
#pragma once

#include <memory>

#include "PortDevice.h"

class NetworkDevice final : public PortDevice {
public:
  explicit NetworkDevice(int connectTimeoutMs);
  ~NetworkDevice() override;
  NetworkDevice(const NetworkDevice&) = delete;
  NetworkDevice& operator=(const NetworkDevice&) = delete;

  // rtuovertcp://HOST:PORT or tcp://HOST:PORT.
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

  // Whether a connection is up now (false after the peer dropped it, until
  // the next write connects again).
  bool Connected() const;

private:
  struct Impl;
  std::unique_ptr<Impl> d_;
};
