// The POSIX port table: registered pseudo-terminals next to (fake) hardware,
// what is never listed nor resolved, the probe, and a real open by COM name.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <climits>
#include <fstream>

#include "ComPort.h"
#include "PortDirectory.h"
#include "PortDirectoryScratch.h"
#include "PortTablePosix.h"
#include "PosixTerminalNode.h"
#include "PtyPair.h"

namespace fs = std::filesystem;

namespace {

std::string Canonical(const std::string& path) {
  char resolved[PATH_MAX];
  return ::realpath(path.c_str(), resolved) ? resolved : "";
}

// Tests see only the hardware they describe, never the machine's.
HardwareSource NoHardware() {
  return [] { return std::vector<HardwarePort>{}; };
}

HardwareSource Hardware(std::vector<HardwarePort> ports) {
  return [ports] { return ports; };
}

std::vector<std::string> Names(const std::vector<PortInfo>& ports) {
  std::vector<std::string> names;
  for (const auto& p : ports) names.push_back(p.Name);
  return names;
}

}  // namespace

TEST(PortTable, RegisteredPtyIsListedResolvedAndProbed) {
  ScratchRuntimeDir scratch;
  PtyPair pty;
  const std::string device = Canonical(pty.SlavePath());
  const auto com7 = RegisterVirtualPort(7, pty.SlavePath());
  ASSERT_TRUE(com7);

  const auto ports = ListSerialPortsFrom(NoHardware());
  ASSERT_EQ(ports.size(), 1u);
  EXPECT_EQ(ports[0].Name, "COM7");
  EXPECT_EQ(ports[0].Device, device);
  EXPECT_EQ(ports[0].Description, "registered: " + device);

  EXPECT_EQ(ResolvePortDeviceFrom("COM7", NoHardware()), device);
  EXPECT_EQ(ResolvePortDeviceFrom("com7", NoHardware()), device);
  EXPECT_EQ(ResolvePortDeviceFrom("COM07", NoHardware()), std::nullopt);
  EXPECT_EQ(ResolvePortDeviceFrom("COM8", NoHardware()), std::nullopt);
  EXPECT_TRUE(ProbePortFrom("COM7", NoHardware()));
  EXPECT_FALSE(ProbePortFrom("COM8", NoHardware()));

  // The public functions see the same registration.
  EXPECT_EQ(ResolvePortDevice("COM7"), device);
  EXPECT_TRUE(ProbePort("COM7"));
  bool found = false;
  for (const auto& p : ListSerialPorts()) found |= p.Name == "COM7" && p.Device == device;
  EXPECT_TRUE(found);
}

TEST(PortTable, EntriesThatAreNoTerminalAreNeverListedNorResolved) {
  ScratchRuntimeDir scratch;
  ASSERT_TRUE(EnsureUserPortDirectory());
  const fs::path plain = scratch.Root() / "plain";
  std::ofstream(plain) << "frames must never land here";
  const fs::path block = scratch.Root() / "block";
  ASSERT_EQ(::mknod(block.c_str(), S_IFBLK | 0600, ::makedev(7, 0)), 0);
  const fs::path console = scratch.Root() / "console";  // a terminal, but no serial line
  ASSERT_EQ(::mknod(console.c_str(), S_IFCHR | 0600, ::makedev(5, 1)), 0);

  scratch.Link("COM1", plain.string());
  scratch.Link("COM2", "/dev/null");
  scratch.Link("COM3", block.string());
  scratch.Link("COM4", (scratch.Root() / "missing").string());
  scratch.Link("COM5", console.string());
  scratch.Link("COM6", "COM6");  // a loop
  std::ofstream(scratch.Ports() / "COM7") << "a file, not a link";
  PtyPair pty;
  scratch.Link("com8", pty.SlavePath());  // only the exact form COM<n> is an entry
  scratch.Link(".COM9", pty.SlavePath());

  EXPECT_TRUE(ListSerialPortsFrom(NoHardware()).empty());
  for (int n = 1; n <= 9; ++n) {
    const std::string name = "COM" + std::to_string(n);
    EXPECT_EQ(ResolvePortDeviceFrom(name, NoHardware()), std::nullopt) << name;
    EXPECT_FALSE(ProbePortFrom(name, NoHardware())) << name;
  }
  EXPECT_TRUE(fs::exists(plain));
  std::ifstream in(plain);
  std::string text;
  std::getline(in, text);
  EXPECT_EQ(text, "frames must never land here");
}

TEST(PortTable, UnsafeDirectoryIsIgnoredWhole) {
  PtyPair pty;
  const auto expectIgnored = [](const char* why) {
    EXPECT_TRUE(ListSerialPortsFrom(NoHardware()).empty()) << why;
    EXPECT_EQ(ResolvePortDeviceFrom("COM3", NoHardware()), std::nullopt) << why;
    EXPECT_FALSE(ProbePortFrom("COM3", NoHardware())) << why;
  };
  {
    ScratchRuntimeDir scratch;
    const auto com3 = RegisterVirtualPort(3, pty.SlavePath());
    ASSERT_TRUE(com3);
    ASSERT_EQ(ListSerialPortsFrom(NoHardware()).size(), 1u);
    fs::permissions(scratch.Ports(), fs::perms(0777));
    expectIgnored("ports writable by all");
    fs::permissions(scratch.Ports(), fs::perms(0700));
    ASSERT_EQ(ListSerialPortsFrom(NoHardware()).size(), 1u);
    fs::permissions(scratch.Parent(), fs::perms(0777));
    expectIgnored("parent writable by all");
  }
  {
    ScratchRuntimeDir scratch;
    const auto com3 = RegisterVirtualPort(3, pty.SlavePath());
    ASSERT_TRUE(com3);
    ASSERT_EQ(::lchown(scratch.Ports().c_str(), 12345, 12345), 0);
    expectIgnored("ports owned by another user");
  }
  {
    ScratchRuntimeDir scratch;
    const auto com3 = RegisterVirtualPort(3, pty.SlavePath());
    ASSERT_TRUE(com3);
    ASSERT_EQ(::lchown(scratch.Parent().c_str(), 12345, 12345), 0);
    expectIgnored("parent owned by another user");
  }
  {
    // The registrations moved elsewhere and the ports level made a symlink to them.
    ScratchRuntimeDir scratch;
    const auto com3 = RegisterVirtualPort(3, pty.SlavePath());
    ASSERT_TRUE(com3);
    fs::rename(scratch.Ports(), scratch.Root() / "moved");
    fs::create_directory_symlink(scratch.Root() / "moved", scratch.Ports());
    expectIgnored("ports is a symlink");
  }
}

TEST(PortTable, SortedByNumberWithRegisteredNamesFirst) {
  ScratchRuntimeDir scratch;
  PtyPair a, b, c;
  const auto com10 = RegisterVirtualPort(10, a.SlavePath());
  ASSERT_TRUE(com10);
  const auto com2 = RegisterVirtualPort(2, b.SlavePath());
  ASSERT_TRUE(com2);
  const auto com100 = RegisterVirtualPort(100, c.SlavePath());
  ASSERT_TRUE(com100);
  EXPECT_EQ(Names(ListSerialPortsFrom(NoHardware())),
            (std::vector<std::string>{"COM2", "COM10", "COM100"}));

  HardwarePort uart{1, "ttyS0", "/dev/ttyS0", "serial8250 (ttyS0)", true};
  HardwarePort usb{10, "ttyS9", "/dev/ttyS9", "serial8250 (ttyS9)", true};
  HardwarePort acm{65, "ttyACM0", "/dev/ttyACM0", "USB: Uno (ttyACM0)", false};
  const auto hardware = Hardware({uart, usb, acm});
  const auto ports = ListSerialPortsFrom(hardware);
  ASSERT_EQ(Names(ports), (std::vector<std::string>{"COM1", "COM2", "COM10", "COM65", "COM100"}));
  EXPECT_EQ(ports[0].Description, "serial8250 (ttyS0)");
  EXPECT_EQ(ports[2].Device, Canonical(a.SlavePath())) << "a registered name hides hardware";
  EXPECT_EQ(ports[3].Device, "/dev/ttyACM0");
  EXPECT_EQ(ResolvePortDeviceFrom("COM10", hardware), Canonical(a.SlavePath()));
  EXPECT_EQ(ResolvePortDeviceFrom("Com65", hardware), "/dev/ttyACM0");
  EXPECT_EQ(ResolvePortDeviceFrom("COM66", hardware), std::nullopt);
}

TEST(PortTable, ProbeFailsWhileAnotherProgramHoldsThePort) {
  ScratchRuntimeDir scratch;
  PtyPair pty;
  const auto com5 = RegisterVirtualPort(5, pty.SlavePath());
  ASSERT_TRUE(com5);
  ASSERT_TRUE(ProbePortFrom("COM5", NoHardware()));

  const int holder = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
  EXPECT_FALSE(ProbePortFrom("COM5", NoHardware()));
  ::flock(holder, LOCK_UN);
  EXPECT_TRUE(ProbePortFrom("COM5", NoHardware())) << "the probe must release its own lock";
  EXPECT_TRUE(ProbePortFrom("COM5", NoHardware()));
  ::close(holder);

  // Held by the component itself, as a second instance of the tool would find it.
  TCustomComPort port;
  port.SetPort("COM5");
  port.Open();
  EXPECT_FALSE(ProbePortFrom("COM5", NoHardware()));
  port.Close();
  EXPECT_TRUE(ProbePortFrom("COM5", NoHardware()));

  // Hardware whose node cannot be opened is listed but does not probe.
  const auto gone = Hardware({{33, "ttyUSB0", (scratch.Root() / "ttyUSB0").string(), "", false}});
  EXPECT_FALSE(ProbePortFrom("COM33", gone));
  // A terminal that is no UART fails the 8250 check.
  const auto fakeUart = Hardware({{1, "ttyS0", Canonical(pty.SlavePath()), "", true}});
  EXPECT_FALSE(ProbePortFrom("COM1", fakeUart));
  const auto notUart = Hardware({{1, "ttyS0", Canonical(pty.SlavePath()), "", false}});
  EXPECT_TRUE(ProbePortFrom("COM1", notUart));
}

TEST(PortTable, AbsolutePathsStandForCharacterDevicesOnly) {
  ScratchRuntimeDir scratch;
  PtyPair pty;
  std::ofstream(scratch.Root() / "plain") << "x";
  EXPECT_EQ(ResolvePortDeviceFrom(pty.SlavePath(), NoHardware()), pty.SlavePath());
  EXPECT_EQ(ResolvePortDeviceFrom("/dev/null", NoHardware()), "/dev/null");
  EXPECT_FALSE(ProbePortFrom("/dev/null", NoHardware())) << "not a terminal";
  EXPECT_TRUE(ProbePortFrom(pty.SlavePath(), NoHardware()));
  EXPECT_EQ(ResolvePortDeviceFrom((scratch.Root() / "plain").string(), NoHardware()),
            std::nullopt);
  EXPECT_EQ(ResolvePortDeviceFrom(scratch.Root().string(), NoHardware()), std::nullopt);
  EXPECT_EQ(ResolvePortDeviceFrom("/nonexistent/tty", NoHardware()), std::nullopt);
  EXPECT_EQ(ResolvePortDeviceFrom("ttyS0", NoHardware()), std::nullopt);
  EXPECT_EQ(ResolvePortDeviceFrom("", NoHardware()), std::nullopt);
}

TEST(PortTable, ComPortOpenedByRegisteredNameReachesThePty) {
  ScratchRuntimeDir scratch;
  PtyPair pty;
  auto com23 = RegisterVirtualPort(23, pty.SlavePath());
  ASSERT_TRUE(com23);
  pty.ReleaseSlave();

  TCustomComPort port;
  port.Timeouts().SetReadInterval(50);
  port.Timeouts().SetReadTotalMultiplier(0);
  port.Timeouts().SetReadTotalConstant(500);
  port.SetPort("COM23");
  port.Open();
  ASSERT_TRUE(port.Connected());
  const auto frame = Bytes({0x01, 0x03, 0x00, 0x00, 0x00, 0x0A, 0xC5, 0xCD});
  EXPECT_EQ(port.Write(frame.data(), static_cast<int>(frame.size())), 8);
  EXPECT_EQ(Hex(pty.Receive(8, std::chrono::seconds(2))), Hex(frame));

  pty.Send(Bytes({0x01, 0x83, 0x02}));
  uint8_t answer[3] = {};
  EXPECT_EQ(port.Read(answer, 3), 3);
  EXPECT_EQ(Hex({answer, answer + 3}), "01 83 02");
  port.Close();

  // Once unregistered the name is gone and opening it fails.
  com23.reset();
  TCustomComPort again;
  again.SetPort("COM23");
  EXPECT_THROW(again.Open(), EComPort);
  EXPECT_FALSE(again.Connected());
}

TEST(PortTable, SerialLineRangesComeFromTheKernelsDriverList) {
  const std::string drivers =
      "/dev/tty             /dev/tty        5       0 system:/dev/tty\n"
      "/dev/console         /dev/console    5       1 system:console\n"
      "/dev/ptmx            /dev/ptmx       5       2 system\n"
      "/dev/vc/0            /dev/vc/0       4       0 system:vtmaster\n"
      "usbserial            /dev/ttyUSB   188 0-511 serial\n"
      "serial               /dev/ttyS       4      64 serial\n"
      "pty_slave            /dev/pts      136 0-1048575 pty:slave\n"
      "pty_master           /dev/ptm      128 0-1048575 pty:master\n"
      "unknown              /dev/tty        4 1-63 console\n"
      "broken line\n";
  const auto ranges = SerialLineRanges(drivers);
  ASSERT_EQ(ranges.size(), 3u);
  EXPECT_EQ(ranges[0].Major, 188u);
  EXPECT_EQ(ranges[0].FirstMinor, 0u);
  EXPECT_EQ(ranges[0].LastMinor, 511u);
  EXPECT_EQ(ranges[1].Major, 4u);
  EXPECT_EQ(ranges[1].FirstMinor, 64u);
  EXPECT_EQ(ranges[1].LastMinor, 64u);
  EXPECT_EQ(ranges[2].Major, 136u);
  EXPECT_EQ(ranges[2].LastMinor, 1048575u);

  // Against the running kernel: a pty slave is a line, its master and /dev/null are not.
  PtyPair pty;
  struct stat st{};
  ASSERT_EQ(::stat(pty.SlavePath().c_str(), &st), 0);
  EXPECT_TRUE(IsSerialLineNode(st));
  ASSERT_EQ(::stat("/dev/null", &st), 0);
  EXPECT_FALSE(IsSerialLineNode(st));
  ASSERT_EQ(::fstat(pty.MasterFd(), &st), 0);
  EXPECT_FALSE(IsSerialLineNode(st));
  ASSERT_EQ(::stat("/dev/tty", &st), 0);
  EXPECT_FALSE(IsSerialLineNode(st));
}
