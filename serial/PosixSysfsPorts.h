// The serial hardware of a Linux machine as sysfs describes it under
// <root>/class/tty, numbered by the rule documented in PortTable.h.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

struct HardwarePort {
  int Number = 0;           // COM<Number>
  std::string KernelName;   // "ttyUSB0"
  std::string Device;       // "/dev/ttyUSB0"
  std::string Description;  // "USB: FT232R USB UART, FTDI, 0403:6001 (ttyUSB0)"
  bool NeedsUartCheck = false;  // 8250 family: usable only with a real UART
  bool Usb = false;             // the description names a USB adapter, else the driver
  int LatencyTimerMs = -1;      // a USB adapter's latency_timer; -1 where there is none
};

// The COM number of a kernel tty name; nullopt when the rule gives it none.
std::optional<int> HardwarePortNumber(const std::string& kernelName);

// Whether the 8250-family device at `device` has a real UART behind it.
using UartCheck = std::function<bool(const std::string& device)>;

// Scans <sysfsRoot>/class/tty; device nodes are looked for under `devRoot`.
// Sorted by number; 8250-family ports failing `hasRealUart` are left out.
std::vector<HardwarePort> ScanSysfsPorts(const std::string& sysfsRoot, const std::string& devRoot,
                                         const UartCheck& hasRealUart);

// ScanSysfsPorts("/sys", "/dev", HasRealUart).
std::vector<HardwarePort> ScanHardwarePorts();

// The same scan without the UART check, which opens every 8250-family port
// (and so toggles its modem lines). For finding one named port: its caller
// checks that port alone.
std::vector<HardwarePort> ScanHardwarePortsUnchecked();

// TIOCGSERIAL reports a UART type other than PORT_UNKNOWN. The device is
// opened (O_RDWR | O_NOCTTY | O_NONBLOCK) only for the query; a port held
// exclusively by another program (EBUSY) is a real one.
bool HasRealUart(const std::string& device);
bool HasRealUartFd(int fd);
