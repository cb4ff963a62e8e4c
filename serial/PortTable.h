// The serial ports present on this machine, named COM1, COM2, ... on every
// operating system, and the probe that says whether a port can be used.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct PortInfo {
  std::string Name;         // "COM3"
  std::string Device;       // the device it stands for: "/dev/ttyUSB0", "\\.\COM3"
  std::string Description;  // for the operator: driver, USB product name, "simulated device"
};

// Every port the system reports, in a stable order (by COM number).
std::vector<PortInfo> ListSerialPorts();

// True when the port can be opened now and is a real serial (RS-232) port.
bool ProbePort(const std::string& name);

// The device path that opening `name` uses; nullopt when no such port exists.
std::optional<std::string> ResolvePortDevice(const std::string& name);
