// Windows port table: the serial ports the system registers under
// HKLM\HARDWARE\DEVICEMAP\SERIALCOMM, and a probe through GetCommProperties.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <tuple>

#include "PortTable.h"

namespace {
constexpr const char* kDevicePrefix = "\\\\.\\";
constexpr const char* kSerialCommKey = "HARDWARE\\DEVICEMAP\\SERIALCOMM";

class RegistryKey {
public:
  explicit RegistryKey(HKEY key) : key_(key) {}
  ~RegistryKey() { RegCloseKey(key_); }
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;
  HKEY Get() const { return key_; }

private:
  HKEY key_;
};

// "COM12" -> 12 (either case); 0 for a name of another form.
unsigned long ComNumber(const std::string& name) {
  if (name.size() < 4 || name.size() > 12) return 0;
  for (std::size_t i = 0; i < 3; ++i)
    if (std::toupper(static_cast<unsigned char>(name[i])) != "COM"[i]) return 0;
  unsigned long n = 0;
  for (std::size_t i = 3; i < name.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(name[i]))) return 0;
    n = n * 10 + static_cast<unsigned long>(name[i] - '0');
  }
  return n;
}

// Ports of the COMn form by number, any others after them by name.
bool ComesBefore(const PortInfo& a, const PortInfo& b) {
  const unsigned long na = ComNumber(a.Name), nb = ComNumber(b.Name);
  return std::make_tuple(na == 0, na, a.Name) < std::make_tuple(nb == 0, nb, b.Name);
}

// The registry value's text up to its first terminator (REG_SZ data need not have one).
std::string TextOf(const std::vector<char>& data, DWORD size) {
  const auto end = data.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(size, data.size()));
  return std::string(data.begin(), std::find(data.begin(), end, '\0'));
}

// A name is opened through the device namespace, which COM10 and up require.
std::string DevicePath(const std::string& name) {
  if (name.rfind(kDevicePrefix, 0) == 0) return name;
  return kDevicePrefix + name;
}
}  // namespace

std::vector<PortInfo> ListSerialPorts() {
  HKEY raw = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSerialCommKey, 0, KEY_READ, &raw) != ERROR_SUCCESS)
    return {};
  const RegistryKey key(raw);
  DWORD maxName = 0, maxData = 0;
  if (RegQueryInfoKeyA(key.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       &maxName, &maxData, nullptr, nullptr) != ERROR_SUCCESS)
    return {};
  std::vector<char> name(maxName + 1), data(maxData + 1);

  std::vector<PortInfo> ports;
  // Adapters come and go while we enumerate: a value may outgrow the sizes
  // queried above, so grow and ask again a few times.
  for (DWORD index = 0, retries = 0;;) {
    DWORD nameLen = static_cast<DWORD>(name.size());
    DWORD dataLen = static_cast<DWORD>(data.size());
    DWORD type = 0;
    const LONG rc = RegEnumValueA(key.Get(), index, name.data(), &nameLen, nullptr, &type,
                                  reinterpret_cast<BYTE*>(data.data()), &dataLen);
    if (rc == ERROR_MORE_DATA && retries++ < 4) {
      name.resize(name.size() * 2);
      data.resize(std::max<std::size_t>(data.size() * 2, dataLen + 1));
      continue;
    }
    if (rc != ERROR_SUCCESS) break;  // ERROR_NO_MORE_ITEMS at the end
    ++index;
    retries = 0;
    if (type != REG_SZ) continue;
    const std::string port = TextOf(data, dataLen);
    if (port.empty()) continue;
    ports.push_back({port, DevicePath(port), std::string(name.data(), nameLen)});
  }
  std::stable_sort(ports.begin(), ports.end(), ComesBefore);
  return ports;
}

bool ProbePort(const std::string& name) {
  const std::string path = DevicePath(name);
  // The properties on a handle opened without access, which takes nothing
  // from the port. Where the system will not answer on such a handle (Wine
  // refuses it), the port is asked once more on a handle opened for reading
  // and writing: a port another program holds refuses that open as well, so
  // what is listed stays the same.
  for (const DWORD access : {DWORD{0}, DWORD{GENERIC_READ | GENERIC_WRITE}}) {
    const HANDLE h = CreateFileA(path.c_str(), access, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                 nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    COMMPROP properties{};
    const bool known = GetCommProperties(h, &properties) != FALSE;
    const DWORD error = GetLastError();
    CloseHandle(h);
    if (known) return properties.dwProvSubType == PST_RS232;
    if (access != 0 || error != ERROR_ACCESS_DENIED) return false;
  }
  return false;
}

std::optional<std::string> ResolvePortDevice(const std::string& name) {
  if (name.empty()) return std::nullopt;
  return kDevicePrefix + name;
}

std::optional<PortUser> FindPortUser(const std::string& name) {
  // A port another program holds cannot be opened at all (no sharing), so
  // that program is not known; only that it is there.
  const HANDLE h = CreateFileA(DevicePath(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h != INVALID_HANDLE_VALUE) {
    CloseHandle(h);
    return std::nullopt;
  }
  if (GetLastError() == ERROR_ACCESS_DENIED || GetLastError() == ERROR_SHARING_VIOLATION)
    return PortUser{};
  return std::nullopt;
}
