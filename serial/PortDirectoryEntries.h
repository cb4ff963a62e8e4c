// Reading side of the per-user port directory, for the POSIX port table.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct RegisteredPort {
  int Number = 0;      // COM<Number>
  std::string Device;  // canonical path of the terminal device the entry points at
};

// The number of a port name "COM<n>" in any letter case (COM7, com7); nullopt
// for anything else, leading zeros ("COM07") and COM0 included.
std::optional<int> ComPortNumber(const std::string& name);
std::string ComPortName(int number);

// The usable entries of the port directory, by number (the rules are in
// PortDirectory.h): live registrations and hand-made hardware links. Empty
// when the directory is missing or unsafe; dead entries, entries that do not
// resolve to a serial line device and terminals of other users are left out.
std::vector<RegisteredPort> ListRegisteredPorts();
std::optional<RegisteredPort> FindRegisteredPort(int number);
