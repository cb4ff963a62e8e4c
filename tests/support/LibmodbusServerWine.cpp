// libmodbus's server under Wine: the line host runs it on the master side of
// this line's pseudo-terminal, and the test asks it for the server's contents.
#include <string>

#include "LibmodbusServer.h"

struct LibmodbusServer::Impl {
  PtyPair& line;
};

LibmodbusServer::LibmodbusServer(PtyPair& line, int slaveId) : d_(std::make_unique<Impl>(Impl{line})) {
  line.AskHost("modbus " + std::to_string(slaveId));
}

LibmodbusServer::~LibmodbusServer() {
  try {
    d_->line.AskHost("modbus-stop");
  } catch (...) {
    // The host is gone; nothing is left to stop.
  }
}

bool LibmodbusServer::Coil(int i) { return d_->line.AskHost("coil " + std::to_string(i)) == "1"; }

uint16_t LibmodbusServer::HoldingRegister(int i) {
  return static_cast<uint16_t>(std::stoul(d_->line.AskHost("register " + std::to_string(i))));
}

int LibmodbusServer::Served() { return std::stoi(d_->line.AskHost("served")); }
