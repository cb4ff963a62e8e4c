#include "PosixSysfsPorts.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

// Fixed blocks of 32 numbers, in this order from COM1 (see PortTable.h).
constexpr const char* kFamilies[] = {"ttyS",   "ttyUSB", "ttyACM", "ttyAMA", "ttyXRUSB", "ttymxc",
                                     "ttySC",  "ttyO",   "ttyPS",  "ttyTHS", "ttyLP",    "ttyMSM"};
constexpr int kBlock = 32;
constexpr int kMaxIndex = 999;
constexpr int kOtherFamiliesBase = 100000;
constexpr uint32_t kOtherFamilySlots = 900;

uint32_t Fnv1a(const std::string& text) {
  uint32_t hash = 2166136261u;
  for (unsigned char c : text) {
    hash ^= c;
    hash *= 16777619u;
  }
  return hash;
}

// The first line of a sysfs attribute, without its newline; empty when missing.
std::string ReadAttribute(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' '))
    line.pop_back();
  return line;
}

std::string LinkName(const fs::path& link) {
  std::error_code ec;
  const fs::path target = fs::read_symlink(link, ec);
  return ec ? std::string() : target.filename().string();
}

bool Inside(const fs::path& dir, const fs::path& root) {
  const auto [r, d] = std::mismatch(root.begin(), root.end(), dir.begin(), dir.end());
  return r == root.end() && d != dir.end();
}

// The device's directory and its parents, up to (not including) the sysfs root.
std::vector<fs::path> DeviceChain(const fs::path& device, const fs::path& root) {
  std::vector<fs::path> chain;
  std::error_code ec;
  for (fs::path dir = fs::canonical(device, ec); !ec && Inside(dir, root); dir = dir.parent_path())
    chain.push_back(dir);
  return chain;
}

// Newer kernels put a serial-base "port" and "ctrl" device between the tty and
// the driver that owns the UART; the operator wants the latter.
std::string OwningDriver(const std::vector<fs::path>& chain) {
  for (const fs::path& dir : chain) {
    const std::string driver = LinkName(dir / "driver");
    if (!driver.empty() && LinkName(dir / "subsystem") != "serial-base") return driver;
  }
  return chain.empty() ? std::string() : LinkName(chain.front() / "driver");
}

bool ChainHasDriver(const std::vector<fs::path>& chain, const std::string& name) {
  return std::any_of(chain.begin(), chain.end(),
                     [&](const fs::path& dir) { return LinkName(dir / "driver") == name; });
}

std::string UsbDescription(const std::vector<fs::path>& chain, const std::string& kernelName) {
  for (const fs::path& dir : chain) {
    const std::string vendor = ReadAttribute(dir / "idVendor");
    const std::string product = ReadAttribute(dir / "idProduct");
    if (vendor.empty() || product.empty()) continue;
    std::string text = "USB: ";
    for (const std::string& part : {ReadAttribute(dir / "product"),
                                    ReadAttribute(dir / "manufacturer")}) {
      if (!part.empty()) text += part + ", ";
    }
    return text + vendor + ":" + product + " (" + kernelName + ")";
  }
  return {};
}

// "ttyUSB" of "ttyUSB3": the name without its trailing digits.
std::string Family(const std::string& kernelName) {
  return kernelName.substr(0, kernelName.find_last_not_of("0123456789") + 1);
}

// The node's name below /dev as the kernel announces it (DEVNAME in uevent).
std::string DeviceNodeName(const fs::path& entry, const std::string& kernelName) {
  std::ifstream in(entry / "uevent");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("DEVNAME=", 0) != 0) continue;
    const std::string name = line.substr(8);
    if (name.empty() || name[0] == '/' || name.find("..") != std::string::npos) break;
    return name;
  }
  return kernelName;
}

}  // namespace

std::optional<int> HardwarePortNumber(const std::string& kernelName) {
  const std::string family = Family(kernelName), index = kernelName.substr(family.size());
  if (family.empty() || index.empty()) return std::nullopt;
  if (index.size() > 3 || (index.size() > 1 && index[0] == '0')) return std::nullopt;
  const int k = std::stoi(index);
  if (k > kMaxIndex) return std::nullopt;
  for (size_t f = 0; f < std::size(kFamilies); ++f) {
    if (family != kFamilies[f]) continue;
    const int position = static_cast<int>(f);
    return k < kBlock ? 1 + position * kBlock + k : 1000 * (position + 1) + k;
  }
  return kOtherFamiliesBase + 1000 * static_cast<int>(Fnv1a(family) % kOtherFamilySlots) + k;
}

std::vector<HardwarePort> ScanSysfsPorts(const std::string& sysfsRoot, const std::string& devRoot,
                                         const UartCheck& hasRealUart) {
  std::vector<HardwarePort> ports;
  std::error_code ec;
  const fs::path root = fs::canonical(sysfsRoot, ec);
  if (ec) return ports;
  for (const auto& item : fs::directory_iterator(root / "class" / "tty", ec)) {
    const std::string kernelName = item.path().filename().string();
    const fs::path device = item.path() / "device";
    std::error_code exists;
    if (!fs::exists(device / "driver", exists)) continue;  // virtual terminals, pseudo-terminals
    const auto number = HardwarePortNumber(kernelName);
    if (!number) continue;
    const auto chain = DeviceChain(device, root);
    HardwarePort port;
    port.Number = *number;
    port.KernelName = kernelName;
    port.Device = (fs::path(devRoot) / DeviceNodeName(item.path(), kernelName)).string();
    port.NeedsUartCheck = Family(kernelName) == "ttyS" || ChainHasDriver(chain, "serial8250");
    port.Description = UsbDescription(chain, kernelName);
    port.Usb = !port.Description.empty();
    if (!port.Usb) port.Description = OwningDriver(chain) + " (" + kernelName + ")";
    // USB serial adapters hold received bytes for this long before handing
    // them over (FTDI: 16 ms by default): timing seen through them is theirs.
    const std::string latency = ReadAttribute(device / "latency_timer");
    if (!latency.empty() && latency.find_first_not_of("0123456789") == std::string::npos) {
      port.LatencyTimerMs = std::stoi(latency);
      port.Description += ", latency_timer " + latency + " ms";
    }
    if (port.NeedsUartCheck && !hasRealUart(port.Device)) continue;
    ports.push_back(std::move(port));
  }
  std::sort(ports.begin(), ports.end(), [](const HardwarePort& a, const HardwarePort& b) {
    return a.Number != b.Number ? a.Number < b.Number : a.KernelName < b.KernelName;
  });
  ports.erase(std::unique(ports.begin(), ports.end(),
                          [](const HardwarePort& a, const HardwarePort& b) {
                            return a.Number == b.Number;
                          }),
              ports.end());
  return ports;
}

std::vector<HardwarePort> ScanHardwarePorts() { return ScanSysfsPorts("/sys", "/dev", HasRealUart); }

std::vector<HardwarePort> ScanHardwarePortsUnchecked() {
  return ScanSysfsPorts("/sys", "/dev", [](const std::string&) { return true; });
}

bool HasRealUartFd(int fd) {
  serial_struct info{};
  return ::ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type != PORT_UNKNOWN;
}

bool HasRealUart(const std::string& device) {
  const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno == EBUSY;
  const bool real = HasRealUartFd(fd);
  ::close(fd);
  return real;
}
