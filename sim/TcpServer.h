// Serves the bus over TCP, one connection after another: as a serial device
// server in raw mode passes RTU frames (framing "rtu"), or as a Modbus TCP
// device (framing "mbap"). The same devices, faults, script and log as on
// the line; the faults split and drop act here (Faults.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Faults.h"
#include "MbapCodec.h"
#include "SimBus.h"

class TcpServer {
public:
  enum class Framing { Rtu, Mbap };
  TcpServer(SimBus& bus, Framing framing, SimLog log = {});
  ~TcpServer();
  TcpServer(const TcpServer&) = delete;
  TcpServer& operator=(const TcpServer&) = delete;

  // Listens on HOST:PORT ("127.0.0.1:1502", "[::1]:0"; port 0 takes a free
  // one). Throws std::runtime_error when it cannot.
  void Listen(const std::string& hostPort);
  // Where it listens, with the port the system gave: "127.0.0.1:40123".
  std::string Address() const { return address_; }

  // Serves until `stopFd` becomes readable.
  void Run(int stopFd);

private:
  bool Serve(int connection);  // false when told to stop
  // Answers one request (`request` set under Modbus TCP framing); `open`
  // turns false when the answer's fault drops the connection.
  bool Answer(int connection, const std::vector<uint8_t>& rtu, const MbapRequest* request, bool& open);
  bool Send(int connection, const Reply& reply);
  bool Pause(std::chrono::milliseconds time);  // false when told to stop
  void Log(const std::string& text) const;

  SimBus& bus_;
  Framing framing_;
  SimLog log_;
  int listen_ = -1;
  int stop_ = -1;
  std::string address_;
};
