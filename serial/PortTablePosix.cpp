// Placeholder until the port table lands: absolute device paths only.
#include "PortTable.h"

std::vector<PortInfo> ListSerialPorts() { return {}; }
bool ProbePort(const std::string&) { return false; }
std::optional<std::string> ResolvePortDevice(const std::string& name) {
  if (!name.empty() && name[0] == '/') return name;
  return std::nullopt;
}
