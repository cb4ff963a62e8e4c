// Hardware numbering and descriptions against a fake sysfs tree laid out like
// a real one: class/tty entries linking into devices/, drivers under bus/.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "PortDirectoryScratch.h"
#include "PosixSysfsPorts.h"
#include "PtyPair.h"

namespace fs = std::filesystem;

namespace {

class FakeSysfs {
public:
  explicit FakeSysfs(const fs::path& root) : root_(root) {
    fs::create_directories(root_ / "class" / "tty");
  }
  const fs::path& Root() const { return root_; }

  // A device directory under devices/ with attribute files.
  fs::path Device(const std::string& path,
                  std::initializer_list<std::pair<const char*, const char*>> attributes = {}) {
    const fs::path dir = root_ / "devices" / path;
    fs::create_directories(dir);
    for (const auto& [name, value] : attributes) std::ofstream(dir / name) << value << "\n";
    return dir;
  }
  void Driver(const fs::path& device, const std::string& bus, const std::string& driver) {
    const fs::path target = root_ / "bus" / bus / "drivers" / driver;
    fs::create_directories(target);
    fs::create_directory_symlink(fs::relative(target, device), device / "driver");
    fs::create_directory_symlink(fs::relative(root_ / "bus" / bus, device), device / "subsystem");
  }
  // The class entry of a tty whose parent device is `device` (none for virtual ttys).
  void Tty(const std::string& name, const fs::path& device, const std::string& uevent = "") {
    const fs::path node = (device.empty() ? root_ / "devices" / "virtual" : device) / "tty" / name;
    fs::create_directories(node);
    std::ofstream(node / "uevent")
        << (uevent.empty() ? "MAJOR=4\nMINOR=64\nDEVNAME=" + name + "\n" : uevent);
    if (!device.empty()) fs::create_directory_symlink(fs::relative(device, node), node / "device");
    fs::create_directory_symlink(fs::relative(node, root_ / "class" / "tty"),
                                 root_ / "class" / "tty" / name);
  }
  // A USB serial adapter: the USB device with its ids, an interface, the port.
  void UsbAdapter(const std::string& usbPath, const std::string& tty, const std::string& driver,
                  std::initializer_list<std::pair<const char*, const char*>> ids) {
    Device(usbPath, ids);
    const fs::path interface = Device(usbPath + "/" + usbPath.substr(usbPath.rfind('/') + 1) + ":1.0");
    Driver(interface, "usb", driver == "cdc_acm" ? "cdc_acm" : "usbserial_generic");
    fs::path parent = interface;
    if (driver != "cdc_acm") {  // usb-serial puts a port device between interface and tty
      parent = Device((interface / tty).lexically_relative(root_ / "devices").string());
      Driver(parent, "usb-serial", driver);
    }
    Tty(tty, parent);
  }

private:
  fs::path root_;
};

struct Scan {
  std::vector<HardwarePort> ports;
  std::set<std::string> uartChecks;  // devices the 8250 check was asked about
};

Scan ScanWith(const FakeSysfs& sysfs, const std::string& devRoot,
              const std::set<std::string>& realUarts) {
  Scan scan;
  scan.ports = ScanSysfsPorts(sysfs.Root().string(), devRoot, [&](const std::string& device) {
    scan.uartChecks.insert(device);
    return realUarts.count(device) > 0;
  });
  return scan;
}

const HardwarePort* Find(const std::vector<HardwarePort>& ports, const std::string& kernelName) {
  for (const auto& p : ports)
    if (p.KernelName == kernelName) return &p;
  return nullptr;
}

}  // namespace

TEST(PortTableSysfs, NumbersFollowFromTheKernelNameAlone) {
  EXPECT_EQ(HardwarePortNumber("ttyS0"), 1);
  EXPECT_EQ(HardwarePortNumber("ttyS1"), 2);
  EXPECT_EQ(HardwarePortNumber("ttyS31"), 32);
  EXPECT_EQ(HardwarePortNumber("ttyUSB0"), 33);
  EXPECT_EQ(HardwarePortNumber("ttyUSB31"), 64);
  EXPECT_EQ(HardwarePortNumber("ttyACM1"), 66);
  EXPECT_EQ(HardwarePortNumber("ttyAMA0"), 97);
  EXPECT_EQ(HardwarePortNumber("ttyXRUSB2"), 131);
  EXPECT_EQ(HardwarePortNumber("ttyMSM31"), 384);
  EXPECT_EQ(HardwarePortNumber("ttyS32"), 1032);
  EXPECT_EQ(HardwarePortNumber("ttyUSB40"), 2040);
  EXPECT_EQ(HardwarePortNumber("ttyMSM999"), 12999);
  for (const char* none : {"ttyS", "ttyS01", "ttyUSB1000", "42", "", "console"})
    EXPECT_EQ(HardwarePortNumber(none), std::nullopt) << none;

  // Other families land in their own range, the index in the last three digits,
  // and never on a number of the fixed families.
  const auto other = HardwarePortNumber("ttyFOO7");
  ASSERT_TRUE(other);
  EXPECT_GE(*other, 100000);
  EXPECT_LE(*other, 999999);
  EXPECT_EQ(*other % 1000, 7);
  EXPECT_EQ(HardwarePortNumber("ttyFOO8"), *other + 1);
  EXPECT_NE(HardwarePortNumber("ttyBAR7"), other);
}

TEST(PortTableSysfs, ScanListsDriverBackedTtysWithOperatorDescriptions) {
  ScratchRuntimeDir scratch;
  FakeSysfs sysfs(scratch.Root() / "sys");
  const std::string dev = (scratch.Root() / "dev").string();

  // A 16550 on the PNP bus behind the serial-base port/ctrl devices of newer kernels.
  const fs::path pnp = sysfs.Device("pnp0/00:00");
  sysfs.Driver(pnp, "pnp", "serial");
  const fs::path ctrl = sysfs.Device("pnp0/00:00/00:00:0");
  sysfs.Driver(ctrl, "serial-base", "ctrl");
  const fs::path basePort = sysfs.Device("pnp0/00:00/00:00:0/00:00:0.0");
  sysfs.Driver(basePort, "serial-base", "port");
  sysfs.Tty("ttyS0", basePort);
  // Placeholders of the serial8250 platform device: one has no UART behind it.
  const fs::path platform = sysfs.Device("platform/serial8250");
  sysfs.Driver(platform, "platform", "serial8250");
  sysfs.Tty("ttyS1", platform);
  sysfs.Tty("ttyS2", platform);
  // USB adapters and boards.
  sysfs.UsbAdapter("pci0000:00/0000:00:14.0/usb1/1-2", "ttyUSB0", "ftdi_sio",
                   {{"idVendor", "0403"}, {"idProduct", "6001"}, {"product", "FT232R USB UART"},
                    {"manufacturer", "FTDI"}});
  sysfs.UsbAdapter("pci0000:00/0000:00:14.0/usb1/1-3", "ttyACM1", "cdc_acm",
                   {{"idVendor", "2341"}, {"idProduct", "0043"}, {"product", "Arduino Uno"}});
  sysfs.UsbAdapter("pci0000:00/0000:00:14.0/usb1/1-4", "ttyUSB40", "ch341",
                   {{"idVendor", "1a86"}, {"idProduct", "7523"}});
  const fs::path pl011 = sysfs.Device("platform/fe201000.serial");
  sysfs.Driver(pl011, "amba", "uart-pl011");
  sysfs.Tty("ttyAMA0", pl011, "MAJOR=204\nMINOR=64\nDEVNAME=../../etc/passwd\n");
  const fs::path other = sysfs.Device("platform/foo.0");
  sysfs.Driver(other, "platform", "foo-uart");
  sysfs.Tty("ttyFOO3", other, "MAJOR=240\nMINOR=3\nDEVNAME=serial/ttyFOO3\n");
  // Not hardware: virtual terminals, a device without a driver, a name without a number.
  sysfs.Tty("tty0", {});
  sysfs.Tty("ptmx", {});
  sysfs.Tty("ttyUSB5", sysfs.Device("pci0000:00/unbound"));
  sysfs.Tty("ttyname", pl011);

  const Scan scan = ScanWith(sysfs, dev, {dev + "/ttyS0", dev + "/ttyS2"});
  EXPECT_EQ(scan.uartChecks, (std::set<std::string>{dev + "/ttyS0", dev + "/ttyS1", dev + "/ttyS2"}))
      << "only 8250-family ports are checked for a UART";

  std::vector<std::string> order;
  for (const auto& p : scan.ports) order.push_back(p.KernelName);
  EXPECT_EQ(order, (std::vector<std::string>{"ttyS0", "ttyS2", "ttyUSB0", "ttyACM1", "ttyAMA0",
                                             "ttyUSB40", "ttyFOO3"}));

  const HardwarePort* s0 = Find(scan.ports, "ttyS0");
  ASSERT_TRUE(s0);
  EXPECT_EQ(s0->Number, 1);
  EXPECT_EQ(s0->Device, dev + "/ttyS0");
  EXPECT_EQ(s0->Description, "serial (ttyS0)") << "the owning driver, not serial-base's port";
  EXPECT_TRUE(s0->NeedsUartCheck);
  const HardwarePort* s2 = Find(scan.ports, "ttyS2");
  ASSERT_TRUE(s2);
  EXPECT_EQ(s2->Number, 3);
  EXPECT_EQ(s2->Description, "serial8250 (ttyS2)");

  const HardwarePort* usb = Find(scan.ports, "ttyUSB0");
  ASSERT_TRUE(usb);
  EXPECT_EQ(usb->Number, 33);
  EXPECT_EQ(usb->Description, "USB: FT232R USB UART, FTDI, 0403:6001 (ttyUSB0)");
  EXPECT_FALSE(usb->NeedsUartCheck);
  const HardwarePort* acm = Find(scan.ports, "ttyACM1");
  ASSERT_TRUE(acm);
  EXPECT_EQ(acm->Number, 66);
  EXPECT_EQ(acm->Description, "USB: Arduino Uno, 2341:0043 (ttyACM1)");
  const HardwarePort* ch341 = Find(scan.ports, "ttyUSB40");
  ASSERT_TRUE(ch341);
  EXPECT_EQ(ch341->Number, 2040);
  EXPECT_EQ(ch341->Description, "USB: 1a86:7523 (ttyUSB40)");

  const HardwarePort* ama = Find(scan.ports, "ttyAMA0");
  ASSERT_TRUE(ama);
  EXPECT_EQ(ama->Number, 97);
  EXPECT_EQ(ama->Description, "uart-pl011 (ttyAMA0)");
  EXPECT_EQ(ama->Device, dev + "/ttyAMA0") << "a DEVNAME leaving /dev is not followed";
  const HardwarePort* foo = Find(scan.ports, "ttyFOO3");
  ASSERT_TRUE(foo);
  EXPECT_EQ(foo->Device, dev + "/serial/ttyFOO3");
  EXPECT_EQ(foo->Number, HardwarePortNumber("ttyFOO3"));
}

TEST(PortTableSysfs, PluggingInDevicesKeepsEveryNumber) {
  ScratchRuntimeDir scratch;
  FakeSysfs sysfs(scratch.Root() / "sys");
  const std::string dev = (scratch.Root() / "dev").string();
  sysfs.UsbAdapter("usb1/1-2", "ttyUSB1", "ftdi_sio", {{"idVendor", "0403"}, {"idProduct", "6001"}});
  sysfs.UsbAdapter("usb1/1-3", "ttyACM0", "cdc_acm", {{"idVendor", "2341"}, {"idProduct", "0043"}});
  const auto before = ScanWith(sysfs, dev, {}).ports;
  ASSERT_EQ(before.size(), 2u);

  sysfs.UsbAdapter("usb1/1-1", "ttyUSB0", "pl2303", {{"idVendor", "067b"}, {"idProduct", "2303"}});
  sysfs.UsbAdapter("usb1/1-4", "ttyACM3", "cdc_acm", {{"idVendor", "2341"}, {"idProduct", "0043"}});
  const auto after = ScanWith(sysfs, dev, {}).ports;
  ASSERT_EQ(after.size(), 4u);
  for (const auto& old : before) {
    const HardwarePort* now = Find(after, old.KernelName);
    ASSERT_TRUE(now) << old.KernelName;
    EXPECT_EQ(now->Number, old.Number) << old.KernelName;
  }
  EXPECT_EQ(Find(after, "ttyUSB0")->Number, 33);
  EXPECT_EQ(Find(after, "ttyUSB1")->Number, 34);
  EXPECT_EQ(Find(after, "ttyACM3")->Number, 68);
  EXPECT_TRUE(ScanWith(FakeSysfs(scratch.Root() / "empty"), dev, {}).ports.empty());
  EXPECT_TRUE(ScanSysfsPorts((scratch.Root() / "nowhere").string(), dev, {}).empty());
}

TEST(PortTableSysfs, RealUartCheckRefusesWhatIsNoUart) {
  ScratchRuntimeDir scratch;
  // The node of an 8250 port that cannot be opened: not listed.
  FakeSysfs sysfs(scratch.Root() / "sys");
  const fs::path platform = sysfs.Device("platform/serial8250");
  sysfs.Driver(platform, "platform", "serial8250");
  sysfs.Tty("ttyS3", platform);
  EXPECT_TRUE(ScanSysfsPorts(sysfs.Root().string(), (scratch.Root() / "dev").string(), HasRealUart)
                  .empty());
  EXPECT_FALSE(HasRealUart((scratch.Root() / "dev" / "ttyS3").string()));
  // A terminal without a UART (TIOCGSERIAL unsupported), and no terminal at all.
  PtyPair pty;
  EXPECT_FALSE(HasRealUart(pty.SlavePath()));
  EXPECT_FALSE(HasRealUart("/dev/null"));
}

// A USB adapter's latency_timer (on its usb-serial port device) is read and
// named in its description; ports without one have none.
TEST(PortTableSysfs, AUsbAdaptersLatencyTimerIsInItsDescription) {
  ScratchRuntimeDir scratch;
  FakeSysfs sysfs(scratch.Root() / "sys");
  const std::string dev = (scratch.Root() / "dev").string();
  sysfs.UsbAdapter("usb1/1-2", "ttyUSB0", "ftdi_sio",
                   {{"idVendor", "0403"}, {"idProduct", "6001"}, {"product", "FT232R USB UART"}});
  std::ofstream(sysfs.Root() / "devices" / "usb1/1-2/1-2:1.0/ttyUSB0" / "latency_timer") << "16\n";
  sysfs.UsbAdapter("usb1/1-3", "ttyACM0", "cdc_acm", {{"idVendor", "2341"}, {"idProduct", "0043"}});
  const Scan scan = ScanWith(sysfs, dev, {});
  const HardwarePort* ftdi = Find(scan.ports, "ttyUSB0");
  const HardwarePort* acm = Find(scan.ports, "ttyACM0");
  ASSERT_TRUE(ftdi && acm);
  EXPECT_EQ(ftdi->LatencyTimerMs, 16);
  EXPECT_EQ(ftdi->Description, "USB: FT232R USB UART, 0403:6001 (ttyUSB0), latency_timer 16 ms");
  EXPECT_EQ(acm->LatencyTimerMs, -1);
  EXPECT_EQ(acm->Description.find("latency"), std::string::npos);
}
