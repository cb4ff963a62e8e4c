// COM names on POSIX: registered virtual ports first, then serial hardware.
#include "PortTablePosix.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <map>

#include "PortDirectoryEntries.h"
#include "PosixPortHolders.h"
#include "PosixTerminalNode.h"

namespace {

struct Resolved {
  std::string Device;
  bool NeedsUartCheck = false;
};

std::optional<Resolved> Resolve(const std::string& name, const HardwareSource& hardware) {
  if (const auto number = ComPortNumber(name)) {
    if (const auto registered = FindRegisteredPort(*number)) return Resolved{registered->Device};
    for (const HardwarePort& port : hardware()) {
      if (port.Number == *number) return Resolved{port.Device, port.NeedsUartCheck};
    }
    return std::nullopt;
  }
  struct stat st{};
  if (!name.empty() && name[0] == '/' && ::stat(name.c_str(), &st) == 0 && S_ISCHR(st.st_mode))
    return Resolved{name};
  return std::nullopt;
}

}  // namespace

std::vector<PortInfo> ListSerialPortsFrom(const HardwareSource& hardware) {
  std::map<int, PortInfo> byNumber;  // ordered by number: COM2 before COM10
  for (const HardwarePort& port : hardware())
    byNumber[port.Number] = {ComPortName(port.Number), port.Device, port.Description,
                             port.Usb ? PortOrigin::Usb : PortOrigin::Driver, port.LatencyTimerMs};
  for (const RegisteredPort& port : ListRegisteredPorts())
    byNumber[port.Number] = {ComPortName(port.Number), port.Device, "registered: " + port.Device,
                             PortOrigin::Registered};
  std::vector<PortInfo> ports;
  ports.reserve(byNumber.size());
  for (auto& [number, info] : byNumber) ports.push_back(std::move(info));
  return ports;
}

bool ProbePortFrom(const std::string& name, const HardwareSource& hardware) {
  const auto port = Resolve(name, hardware);
  if (!port) return false;
  const int fd = ::open(port->Device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  // The component takes its ports with a non-blocking exclusive flock: a port
  // that another program holds fails the same lock here, and the same look
  // for programs that do not lock.
  struct stat st{};
  bool usable = ::isatty(fd) && ::fstat(fd, &st) == 0 && IsSerialLineNode(st) &&
                ::flock(fd, LOCK_EX | LOCK_NB) == 0;
  if (usable) ::flock(fd, LOCK_UN);
  if (usable) usable = !PortHeldByAnotherProgram(fd, port->Device);
  if (usable && port->NeedsUartCheck) usable = HasRealUartFd(fd);
  ::close(fd);
  return usable;
}

std::optional<PortUser> FindPortUserFrom(const std::string& name, const HardwareSource& hardware) {
  const auto port = Resolve(name, hardware);
  if (!port) return std::nullopt;
  struct stat st{};
  if (::stat(port->Device.c_str(), &st) != 0) return std::nullopt;
  const int fd = ::open(port->Device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    // Refused as busy (another program's exclusive flag): say who, if seen.
    if (errno != EBUSY) return std::nullopt;
    const auto holder = FindPortHolder(st, port->Device);
    return holder ? holder : PortUser{};
  }
  const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
  ::close(fd);
  const auto holder = FindPortHolder(st, port->Device);
  if (holder) return holder;
  if (locked) return PortUser{};  // a holder we cannot see (another user's)
  return std::nullopt;
}

std::optional<std::string> ResolvePortDeviceFrom(const std::string& name,
                                                 const HardwareSource& hardware) {
  const auto port = Resolve(name, hardware);
  if (!port || (port->NeedsUartCheck && !HasRealUart(port->Device))) return std::nullopt;
  return port->Device;
}

// The dialog's list checks every 8250 port; opening or probing one name
// touches that port alone.
std::vector<PortInfo> ListSerialPorts() { return ListSerialPortsFrom(ScanHardwarePorts); }
bool ProbePort(const std::string& name) { return ProbePortFrom(name, ScanHardwarePortsUnchecked); }
std::optional<std::string> ResolvePortDevice(const std::string& name) {
  return ResolvePortDeviceFrom(name, ScanHardwarePortsUnchecked);
}
std::optional<PortUser> FindPortUser(const std::string& name) {
  return FindPortUserFrom(name, ScanHardwarePortsUnchecked);
}
