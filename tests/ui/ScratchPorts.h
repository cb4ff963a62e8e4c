// Pseudo-terminals registered as COM ports in a port directory of the
// test's own (XDG_RUNTIME_DIR pointed at a fresh directory), so the port
// table lists them like the device simulator's.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "PortDirectory.h"
#include "PtyPair.h"

class ScratchPorts {
public:
  ScratchPorts();
  ~ScratchPorts();

  // A new pseudo-terminal registered as COM<number>; the pair plays the device.
  PtyPair& Add(int number);
  // Drops the registration, as when the simulator behind it ends.
  void Remove(int number);
  // Takes the port as another program would (an exclusive lock on its device).
  void Hold(int number);
  // Keeps it open in another process without any lock, as a terminal program may.
  void HoldWithoutLock(int number);

private:
  std::string runtimeDir_;
  std::string oldRuntimeDir_;
  bool hadRuntimeDir_ = false;
  struct Port {
    int number;
    std::unique_ptr<PtyPair> pty;
    std::optional<PortRegistration> registration;
  };
  std::vector<Port> ports_;
  std::vector<int> held_;
  std::vector<std::unique_ptr<ChildProcess>> holders_;
};
