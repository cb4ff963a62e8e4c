// The per-user port directory: where it is, when it is refused, and how
// programs register and unregister their terminals in it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <functional>

#include "ChildProcess.h"
#include "ComPort.h"
#include "PortDirectory.h"
#include "PortDirectoryEntries.h"
#include "PortDirectoryScratch.h"
#include "PortTable.h"
#include "PortTablePosix.h"
#include "PtyPair.h"

namespace fs = std::filesystem;

namespace {

mode_t ModeOf(const fs::path& path) {
  struct stat st{};
  EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

std::string LinkTarget(const fs::path& path) {
  std::error_code ec;
  return fs::read_symlink(path, ec).string();
}

std::string Canonical(const std::string& path) {
  char resolved[PATH_MAX];
  return ::realpath(path.c_str(), resolved) ? resolved : "";
}

// A device path that can never exist: beyond the pseudo-terminal minor range.
const char* kDeadPty = "/dev/pts/4000000";

HardwareSource NoHardware() {
  return [] { return std::vector<HardwarePort>{}; };
}

// Another program's registration: a child process registers `device` as
// COM<number> and serves it until killed. Reports "registered" when it could.
std::function<std::string()> Registers(int number, const std::string& device) {
  return [number, device]() -> std::string {
    static std::optional<PortRegistration> registration;  // lives until the process is killed
    registration = RegisterVirtualPort(number, device);
    return registration ? "registered" : "";
  };
}

bool RegistersInChild(int number, const std::string& device) {
  return ChildProcess(Registers(number, device)).Report() == "registered";
}

}  // namespace

TEST(PortDirectory, LocationFollowsXdgRuntimeDirOrFallsBackToTmp) {
  ScratchRuntimeDir scratch;
  EXPECT_EQ(UserPortDirectory(), scratch.Root() / "modbus-tester" / "ports");

  const fs::path fallback = "/tmp/modbus-tester-" + std::to_string(::geteuid()) + "/ports";
  ::unsetenv("XDG_RUNTIME_DIR");
  EXPECT_EQ(UserPortDirectory(), fallback);
  ::setenv("XDG_RUNTIME_DIR", "", 1);
  EXPECT_EQ(UserPortDirectory(), fallback);
  ::setenv("XDG_RUNTIME_DIR", "relative/dir", 1);
  EXPECT_EQ(UserPortDirectory(), fallback);

  // Under the shared /tmp the per-user level is ours and private too.
  std::string error;
  ASSERT_TRUE(EnsureUserPortDirectory(&error)) << error;
  struct stat st{};
  ASSERT_EQ(::lstat(fallback.parent_path().c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(st.st_uid, ::geteuid());
  EXPECT_EQ(st.st_mode & (S_IWGRP | S_IWOTH), 0u);
}

TEST(PortDirectory, EnsureCreatesPrivateLevelsAndAcceptsThemAgain) {
  ScratchRuntimeDir scratch;
  ::umask(0);  // the levels must come out private whatever the umask allows
  std::string error;
  ASSERT_TRUE(EnsureUserPortDirectory(&error)) << error;
  ::umask(022);
  EXPECT_EQ(ModeOf(scratch.Parent()), 0700u);
  EXPECT_EQ(ModeOf(scratch.Ports()), 0700u);
  EXPECT_TRUE(EnsureUserPortDirectory(&error)) << error;

  // Readable by others is fine; writable is not.
  fs::permissions(scratch.Ports(), fs::perms(0755));
  EXPECT_TRUE(EnsureUserPortDirectory(&error)) << error;
}

TEST(PortDirectory, EnsureRefusesUnsafeLevels) {
  std::string error;
  {
    ScratchRuntimeDir scratch;
    ASSERT_TRUE(EnsureUserPortDirectory());
    fs::permissions(scratch.Ports(), fs::perms(0777));
    EXPECT_FALSE(EnsureUserPortDirectory(&error));
    EXPECT_NE(error.find("writable by group or others"), std::string::npos) << error;
    fs::permissions(scratch.Ports(), fs::perms(0720));
    EXPECT_FALSE(EnsureUserPortDirectory(&error)) << "group-writable accepted";
  }
  {
    ScratchRuntimeDir scratch;
    ASSERT_TRUE(EnsureUserPortDirectory());
    fs::permissions(scratch.Parent(), fs::perms(0777));
    EXPECT_FALSE(EnsureUserPortDirectory(&error)) << "unsafe parent accepted";
  }
  {
    ScratchRuntimeDir scratch;
    ASSERT_TRUE(EnsureUserPortDirectory());
    ASSERT_EQ(::chown(scratch.Ports().c_str(), 12345, 12345), 0);
    EXPECT_FALSE(EnsureUserPortDirectory(&error));
    EXPECT_NE(error.find("owned by uid 12345"), std::string::npos) << error;
  }
  {
    ScratchRuntimeDir scratch;
    ASSERT_TRUE(EnsureUserPortDirectory());
    ASSERT_EQ(::chown(scratch.Parent().c_str(), 12345, 12345), 0);
    EXPECT_FALSE(EnsureUserPortDirectory(&error)) << "foreign parent accepted";
  }
  {
    // A symlink in place of a level, even to a directory of ours that is safe.
    ScratchRuntimeDir scratch;
    fs::create_directory(scratch.Root() / "elsewhere");
    fs::permissions(scratch.Root() / "elsewhere", fs::perms(0700));
    fs::create_directory(scratch.Parent());
    fs::permissions(scratch.Parent(), fs::perms(0700));
    fs::create_directory_symlink(scratch.Root() / "elsewhere", scratch.Ports());
    EXPECT_FALSE(EnsureUserPortDirectory(&error));
    EXPECT_NE(error.find("symbolic link"), std::string::npos) << error;
  }
  {
    ScratchRuntimeDir scratch;
    fs::create_directory_symlink(scratch.Root(), scratch.Parent());
    EXPECT_FALSE(EnsureUserPortDirectory(&error)) << "symlinked parent accepted";
  }
  {
    ScratchRuntimeDir scratch;
    std::ofstream(scratch.Parent()) << "not a directory";
    EXPECT_FALSE(EnsureUserPortDirectory(&error));
    EXPECT_NE(error.find("not a directory"), std::string::npos) << error;
  }
  {
    // A missing runtime directory is not ours to create.
    ScratchRuntimeDir scratch;
    ::setenv("XDG_RUNTIME_DIR", (scratch.Root() / "gone").c_str(), 1);
    EXPECT_FALSE(EnsureUserPortDirectory(&error));
    EXPECT_FALSE(fs::exists(scratch.Root() / "gone"));
  }
}

TEST(PortDirectory, ARegistrationHoldsItsNameUntilItIsDestroyed) {
  ScratchRuntimeDir scratch;
  PtyPair first, second;
  std::string error;
  auto com7 = RegisterVirtualPort(7, first.SlavePath(), &error);
  ASSERT_TRUE(com7) << error;
  EXPECT_EQ(com7->Number(), 7);
  EXPECT_EQ(com7->Device(), Canonical(first.SlavePath()));
  EXPECT_EQ(LinkTarget(scratch.Ports() / "COM7"), Canonical(first.SlavePath()));
  EXPECT_TRUE(fs::is_regular_file(scratch.Ports() / "COM7.lock"));
  EXPECT_EQ(ModeOf(scratch.Ports() / "COM7.lock"), 0600u);

  // Reading the directory never takes the lock (nor drops it, as closing a
  // classic record lock's file would), so a second registrant, in this
  // process or another, is refused for the live name, whatever its device.
  ASSERT_EQ(ListRegisteredPorts().size(), 1u);
  ASSERT_TRUE(FindRegisteredPort(7));
  for (const std::string& device : {second.SlavePath(), first.SlavePath()}) {
    EXPECT_FALSE(RegisterVirtualPort(7, device, &error));
    EXPECT_NE(error.find("COM7 is registered for " + Canonical(first.SlavePath()) +
                         " by a running program"),
              std::string::npos)
        << error;
  }
  EXPECT_FALSE(RegistersInChild(7, second.SlavePath()));
  EXPECT_EQ(LinkTarget(scratch.Ports() / "COM7"), Canonical(first.SlavePath()));

  auto com12 = RegisterVirtualPort(12, second.SlavePath(), &error);
  ASSERT_TRUE(com12) << error;
  const auto listed = ListRegisteredPorts();
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_EQ(listed[0].Number, 7);
  EXPECT_EQ(listed[1].Number, 12);
  EXPECT_EQ(listed[1].Device, Canonical(second.SlavePath()));

  // Moving hands the registration over; the moved-from object removes nothing.
  std::optional<PortRegistration> moved = std::move(com7);
  com7.reset();
  EXPECT_TRUE(FindRegisteredPort(7));
  // Destroyed: entry and lock file go, and the name is free again.
  moved.reset();
  EXPECT_FALSE(fs::exists(fs::symlink_status(scratch.Ports() / "COM7")));
  EXPECT_FALSE(fs::exists(scratch.Ports() / "COM7.lock"));
  EXPECT_FALSE(FindRegisteredPort(7));
  EXPECT_TRUE(RegisterVirtualPort(7, second.SlavePath(), &error)) << error;
  EXPECT_TRUE(FindRegisteredPort(12)) << "the other registration is untouched";
}

TEST(PortDirectory, AnEntryWhoseRegistrantDiedIsDeadEvenWhenItsTerminalNumberIsInUseAgain) {
  ScratchRuntimeDir scratch;
  // (Numbers from 385 to 999 never stand for hardware; opening one of them
  // cannot reach a real port of the machine.)
  // The terminal a killed simulator had, now opened by another program: the
  // kernel hands a closed terminal's number to the next one that asks.
  PtyPair reused;
  reused.ReleaseSlave();
  ChildProcess child(Registers(409, reused.SlavePath()));
  ASSERT_EQ(child.Report(), "registered");
  // Alive: listed, and nobody else gets the name.
  ASSERT_EQ(FindRegisteredPort(409)->Device, Canonical(reused.SlavePath()));
  PtyPair other;
  std::string error;
  EXPECT_FALSE(RegisterVirtualPort(409, other.SlavePath(), &error));

  child.Kill();  // SIGKILL: the entry and its lock file stay behind
  ASSERT_TRUE(fs::is_symlink(scratch.Ports() / "COM409"));
  ASSERT_TRUE(fs::exists(scratch.Ports() / "COM409.lock"));
  EXPECT_TRUE(ListRegisteredPorts().empty());
  EXPECT_FALSE(FindRegisteredPort(409));
  EXPECT_TRUE(ListSerialPortsFrom(NoHardware()).empty());
  EXPECT_EQ(ResolvePortDevice("COM409"), std::nullopt);
  EXPECT_FALSE(ProbePort("COM409"));
  TCustomComPort port;
  port.SetPort("COM409");
  try {
    port.Open();
    const uint8_t frame[] = {0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A};
    port.Write(frame, sizeof frame);
    ADD_FAILURE() << "a dead entry was opened";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.FailureCode, 1);
  }
  EXPECT_EQ(reused.Pending(), 0u) << "nothing may reach the other program's terminal";

  // The next registrant replaces the dead entry under the same number.
  auto next = RegisterVirtualPort(409, other.SlavePath(), &error);
  ASSERT_TRUE(next) << error;
  EXPECT_EQ(LinkTarget(scratch.Ports() / "COM409"), Canonical(other.SlavePath()));
  ASSERT_TRUE(FindRegisteredPort(409));
  EXPECT_EQ(FindRegisteredPort(409)->Device, Canonical(other.SlavePath()));
}

TEST(PortDirectory, RegisterReplacesDeadEntries) {
  ScratchRuntimeDir scratch;
  PtyPair pty, left;
  const std::string device = Canonical(pty.SlavePath());
  ASSERT_TRUE(EnsureUserPortDirectory());
  std::ofstream(scratch.Root() / "plain") << "x";
  scratch.Link("COM1", kDeadPty);                         // a program died with its terminal
  scratch.Link("COM2", "/dev/null");                      // no terminal
  scratch.Link("COM3", (scratch.Root() / "plain").string());  // a regular file
  std::ofstream(scratch.Ports() / "COM4") << "not a link";
  scratch.Link("COM5", left.SlavePath());  // a live terminal, but no registrant vouches for it
  scratch.Link("COM6", left.SlavePath());
  std::ofstream(scratch.Ports() / "COM6.lock") << "12345\n";  // its registrant is gone

  std::vector<PortRegistration> held;
  for (int n = 1; n <= 6; ++n) {
    std::string error;
    auto registration = RegisterVirtualPort(n, pty.SlavePath(), &error);
    EXPECT_TRUE(registration) << "COM" << n << ": " << error;
    if (registration) held.push_back(std::move(*registration));
    EXPECT_EQ(LinkTarget(scratch.Ports() / ("COM" + std::to_string(n))), device) << n;
  }
  EXPECT_TRUE(fs::exists(scratch.Root() / "plain")) << "replacing must not touch the old target";
  // Nothing left behind from the replacement: each entry and its lock file.
  int entries = 0;
  for (const auto& item : fs::directory_iterator(scratch.Ports())) {
    EXPECT_EQ(item.path().filename().string().rfind("COM", 0), 0u) << item.path();
    ++entries;
  }
  EXPECT_EQ(entries, 12);

  // A directory in the way is not replaced, the failure says so, and no lock file stays.
  fs::create_directory(scratch.Ports() / "COM7");
  std::string error;
  EXPECT_FALSE(RegisterVirtualPort(7, pty.SlavePath(), &error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(fs::exists(scratch.Ports() / "COM7.lock"));
}

TEST(PortDirectory, RegisterRefusesWhatIsNoTerminalOrNoPortNumber) {
  ScratchRuntimeDir scratch;
  std::ofstream(scratch.Root() / "plain") << "x";
  PtyPair pty;
  std::string error;
  EXPECT_FALSE(RegisterVirtualPort(3, "/dev/null", &error));
  EXPECT_NE(error.find("not a terminal device"), std::string::npos) << error;
  EXPECT_FALSE(RegisterVirtualPort(3, (scratch.Root() / "plain").string()));
  EXPECT_FALSE(RegisterVirtualPort(3, kDeadPty));
  EXPECT_FALSE(RegisterVirtualPort(0, pty.SlavePath()));
  EXPECT_FALSE(RegisterVirtualPort(-2, pty.SlavePath()));
  EXPECT_FALSE(fs::exists(scratch.Ports() / "COM3"));

  // An unsafe directory takes no registration.
  ASSERT_TRUE(EnsureUserPortDirectory());
  fs::permissions(scratch.Ports(), fs::perms(0777));
  EXPECT_FALSE(RegisterVirtualPort(3, pty.SlavePath(), &error));
  EXPECT_FALSE(fs::exists(scratch.Ports() / "COM3"));
  EXPECT_FALSE(fs::exists(scratch.Ports() / "COM3.lock"));
}

TEST(PortDirectory, DestroyingARegistrationRemovesOnlyWhatIsStillItsOwn) {
  ScratchRuntimeDir scratch;
  PtyPair mine, other;
  auto registration = RegisterVirtualPort(4, mine.SlavePath());
  ASSERT_TRUE(registration);
  // Somebody pointed the name elsewhere by hand meanwhile: that link stays.
  fs::remove(scratch.Ports() / "COM4");
  scratch.Link("COM4", other.SlavePath());
  registration.reset();
  EXPECT_EQ(LinkTarget(scratch.Ports() / "COM4"), other.SlavePath());
  EXPECT_FALSE(fs::exists(scratch.Ports() / "COM4.lock"));
  EXPECT_FALSE(FindRegisteredPort(4)) << "a hand-made link to a pseudo-terminal is not used";
}

TEST(PortDirectory, TerminalsOfOtherUsersAreNeverUsedAndHandMadeHardwareLinksAre) {
  if (::geteuid() != 0)
    GTEST_SKIP() << "needs root: only root can give a terminal to another user and make device nodes";
  ScratchRuntimeDir scratch;
  const uid_t nobody = 65534;

  // Root's own registration of a terminal that belongs to somebody else.
  PtyPair pty;
  auto com403 = RegisterVirtualPort(403, pty.SlavePath());
  ASSERT_TRUE(com403);
  ASSERT_TRUE(FindRegisteredPort(403));
  ASSERT_EQ(::chown(pty.SlavePath().c_str(), nobody, nobody), 0);
  EXPECT_TRUE(ListRegisteredPorts().empty());
  EXPECT_FALSE(FindRegisteredPort(403));
  EXPECT_FALSE(ProbePort("COM403"));
  TCustomComPort port;
  port.SetPort("COM403");
  EXPECT_THROW(port.Open(), EComPort);
  EXPECT_EQ(pty.Pending(), 0u);
  std::string error;
  PtyPair foreign;
  ASSERT_EQ(::chown(foreign.SlavePath().c_str(), nobody, nobody), 0);
  EXPECT_FALSE(RegisterVirtualPort(4, foreign.SlavePath(), &error));
  EXPECT_NE(error.find("a terminal of uid 65534"), std::string::npos) << error;
  ASSERT_EQ(::chown(pty.SlavePath().c_str(), ::geteuid(), ::getegid()), 0);
  EXPECT_TRUE(FindRegisteredPort(403));

  // A hand-made link to serial hardware (a node of the kernel's serial
  // driver range) needs no registrant, and no registrant takes its name.
  const fs::path uart = scratch.Root() / "ttyS0";
  ASSERT_EQ(::mknod(uart.c_str(), S_IFCHR | 0660, ::makedev(4, 64)), 0);
  scratch.Link("COM5", uart.string());
  ASSERT_TRUE(FindRegisteredPort(5));
  EXPECT_EQ(FindRegisteredPort(5)->Device, uart.string());
  EXPECT_FALSE(RegisterVirtualPort(5, pty.SlavePath(), &error));
  EXPECT_NE(error.find("COM5 is a link to " + uart.string() + " made by hand"), std::string::npos)
      << error;
  // Someone's login line: a device that belongs to another user than root.
  ASSERT_EQ(::chown(uart.c_str(), nobody, nobody), 0);
  EXPECT_FALSE(FindRegisteredPort(5));
  ASSERT_EQ(::chown(uart.c_str(), 0, 0), 0);
  // Left by a registrant that is gone: dead like any other, and replaced.
  std::ofstream(scratch.Ports() / "COM5.lock") << "12345\n";
  EXPECT_FALSE(FindRegisteredPort(5));
  auto com5 = RegisterVirtualPort(5, pty.SlavePath(), &error);
  ASSERT_TRUE(com5) << error;
  EXPECT_EQ(FindRegisteredPort(5)->Device, Canonical(pty.SlavePath()));
}

TEST(PortDirectory, ComNamesAreMatchedInAnyCaseWithoutLeadingZeros) {
  EXPECT_EQ(ComPortNumber("COM1"), 1);
  EXPECT_EQ(ComPortNumber("com10"), 10);
  EXPECT_EQ(ComPortNumber("CoM100"), 100);
  EXPECT_EQ(ComPortNumber("COM123456789"), 123456789);
  for (const char* bad : {"COM", "COM0", "COM07", "COM1a", "COM-1", "CON1", "xCOM1", " COM1",
                          "COM1 ", "COM1234567890", ""}) {
    EXPECT_EQ(ComPortNumber(bad), std::nullopt) << '"' << bad << '"';
  }
  EXPECT_EQ(ComPortName(42), "COM42");
}
