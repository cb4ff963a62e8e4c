// The Windows port table: the ports the registry lists under
// HKLM\HARDWARE\DEVICEMAP\SERIALCOMM, in number order, and the probe.
#include <gtest/gtest.h>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <string>
#include <vector>

#include "PortTable.h"
#include "PtyPair.h"

namespace {
// Values added to the registry's serial-port list for one test, removed after it.
class SerialCommEntries {
public:
  SerialCommEntries() {
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, nullptr,
                        REG_OPTION_VOLATILE, KEY_READ | KEY_WRITE, nullptr, &key_,
                        nullptr) != ERROR_SUCCESS)
      key_ = nullptr;
  }
  ~SerialCommEntries() {
    for (const std::string& value : values_) RegDeleteValueA(key_, value.c_str());
    if (key_) RegCloseKey(key_);
  }
  SerialCommEntries(const SerialCommEntries&) = delete;
  SerialCommEntries& operator=(const SerialCommEntries&) = delete;

  bool Add(const std::string& value, const std::string& port) {
    values_.push_back(value);
    return key_ && RegSetValueExA(key_, value.c_str(), 0, REG_SZ,
                                  reinterpret_cast<const BYTE*>(port.c_str()),
                                  static_cast<DWORD>(port.size() + 1)) == ERROR_SUCCESS;
  }

private:
  HKEY key_ = nullptr;
  std::vector<std::string> values_;
};
}  // namespace

TEST(PortTableWin32, RegisteredPortsAreListedByNumberWithTheirDevices) {
  PtyPair line;  // COM20 and up
  SerialCommEntries entries;
  ASSERT_TRUE(entries.Add("\\Device\\PortTableNamed", "PORTA"));
  ASSERT_TRUE(entries.Add("\\Device\\PortTableTen", "COM10"));
  ASSERT_TRUE(entries.Add("\\Device\\PortTableLine", line.SlavePath()));
  ASSERT_TRUE(entries.Add("\\Device\\PortTableTwo", "COM2"));

  // Other entries (the machine's own ports) may come between ours.
  std::vector<std::string> listed;
  for (const PortInfo& port : ListSerialPorts()) {
    if (port.Description.rfind("\\Device\\PortTable", 0) != 0) continue;
    listed.push_back(port.Name);
    if (port.Name == "COM10") {
      EXPECT_EQ(port.Device, "\\\\.\\COM10");
      EXPECT_EQ(port.Description, "\\Device\\PortTableTen");
    }
  }
  // By number, so COM10 after COM2; names of another form last.
  EXPECT_EQ(listed, (std::vector<std::string>{"COM2", "COM10", line.SlavePath(), "PORTA"}));
  EXPECT_EQ(ResolvePortDevice(line.SlavePath()), "\\\\.\\" + line.SlavePath());
  EXPECT_FALSE(ProbePort("COM10")) << "no device behind it";
}

TEST(PortTableWin32, AFreeSerialPortProbesAsRS232) {
  PtyPair line;
  line.ReleaseSlave();
  EXPECT_TRUE(ProbePort(line.SlavePath()));
}
