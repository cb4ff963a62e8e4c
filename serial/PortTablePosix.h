// The POSIX port table with its hardware source passed in, so that tests can
// run it against a fake sysfs tree. PortTable.h's functions use ScanHardwarePorts.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "PortTable.h"
#include "PosixSysfsPorts.h"

using HardwareSource = std::function<std::vector<HardwarePort>()>;

std::vector<PortInfo> ListSerialPortsFrom(const HardwareSource& hardware);
bool ProbePortFrom(const std::string& name, const HardwareSource& hardware);
std::optional<PortUser> FindPortUserFrom(const std::string& name, const HardwareSource& hardware);
std::optional<std::string> ResolvePortDeviceFrom(const std::string& name,
                                                 const HardwareSource& hardware);
