// libmodbus's RTU server on the master side of a pseudo-terminal: an
// independent Modbus peer for the standard codes 1-6, 15 and 17. Under Wine
// the server runs in the line host, on the Linux side of the line
// (LibmodbusServerWine.cpp).
#pragma once

#include <cstdint>
#include <memory>

#include "PtyPair.h"

class LibmodbusServer {
public:
  static constexpr int kCoils = 256;
  static constexpr int kDiscreteInputs = 256;
  static constexpr int kHoldingRegisters = 1024;
  static constexpr int kInputRegisters = 256;

  // The known contents the server starts with.
  static bool InitialCoil(int i) { return i % 3 == 0; }
  static bool InitialDiscreteInput(int i) { return i % 2 == 1; }
  static uint16_t InitialHoldingRegister(int i) { return static_cast<uint16_t>(0x1000 + i); }
  static uint16_t InitialInputRegister(int i) { return static_cast<uint16_t>(0x2000 + i); }

  // `line` must outlive the server; while it serves, it owns the device side.
  explicit LibmodbusServer(PtyPair& line, int slaveId = 1);
  ~LibmodbusServer();
  LibmodbusServer(const LibmodbusServer&) = delete;
  LibmodbusServer& operator=(const LibmodbusServer&) = delete;

  // The current contents, read under the server's lock.
  bool Coil(int i);
  uint16_t HoldingRegister(int i);
  // Requests answered so far (those for other addresses are ignored).
  int Served();

private:
  struct Impl;
  std::unique_ptr<Impl> d_;
};
