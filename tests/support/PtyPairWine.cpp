// The pair under Wine: the line host on Linux owns the pseudo-terminal and
// links its slave into the Wine prefix as COM<n>; the device side is relayed
// over the connection.
#include <sstream>

#include "LineHostConnection.h"
#include "PtyPair.h"

struct PtyPair::Impl {
  LineHostConnection host;
  std::string name;
};

PtyPair::PtyPair() : d_(std::make_unique<Impl>()) {
  d_->name = d_->host.Ask(LineHost::Open, "raw 0");
}

PtyPair::~PtyPair() = default;

const std::string& PtyPair::SlavePath() const { return d_->name; }

std::string PtyPair::AskHost(const std::string& command) {
  return d_->host.Ask(LineHost::Command, command);
}

void PtyPair::ReleaseSlave() { AskHost("release-slave"); }
void PtyPair::CloseMaster() { AskHost("close-master"); }

void PtyPair::Send(const std::vector<uint8_t>& bytes) { d_->host.Send(bytes); }

std::vector<uint8_t> PtyPair::Receive(size_t count, std::chrono::milliseconds timeout) {
  d_->host.Await(count, timeout, false);
  return d_->host.Take(count);
}

size_t PtyPair::Pending() {
  AskHost("sync");  // everything written before now has been relayed
  return d_->host.Buffered();
}

bool PtyPair::AwaitInput(std::chrono::milliseconds timeout) {
  return d_->host.Await(1, timeout, true);
}

std::vector<uint8_t> PtyPair::ReceiveAvailable(std::chrono::steady_clock::time_point* arrived) {
  return d_->host.Take(SIZE_MAX, arrived);
}

void PtyPair::Interrupt() { d_->host.Interrupt(); }

PtyPair::LineSettings PtyPair::Settings() {
  std::istringstream answer(AskHost("settings"));
  LineSettings s;
  int stopBits = 1;
  answer >> s.Baud >> stopBits;
  s.TwoStopBits = stopBits == 2;
  return s;
}
