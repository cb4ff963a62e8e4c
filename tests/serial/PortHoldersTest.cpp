// A terminal already in use by another program is refused, at open and in the
// port probe, also when that program takes no flock: seen through /proc or
// through the UUCP lock files terminal programs leave; while the far end of a
// pseudo-terminal (the device side, as the simulator) is no competitor.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <fstream>
#include <sstream>

#include "ComPort.h"
#include "ChildProcess.h"
#include "PortDirectory.h"
#include "PortDirectoryScratch.h"
#include "PortTable.h"
#include "PosixConsoles.h"
#include "PosixPortHolders.h"
#include "PtyPair.h"

namespace fs = std::filesystem;

namespace {

// Opening `path` fails with code 1 and EBUSY, and leaves the port closed.
void ExpectRefusedAsBusy(const std::string& path) {
  TCustomComPort port;
  port.SetPort(path);
  try {
    port.Open();
    ADD_FAILURE() << path << " was opened while in use";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.FailureCode, 1);
    EXPECT_EQ(e.SystemErrorCode, EBUSY);
    EXPECT_STREQ(e.what(), "Unable to open com port (Error: 16)");
  }
  EXPECT_FALSE(port.Connected());
}

void ExpectOpens(const std::string& path) {
  TCustomComPort port;
  port.SetPort(path);
  EXPECT_NO_THROW(port.Open()) << path;
  EXPECT_TRUE(port.Connected());
}

bool Exclusive(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  int exclusive = -1;
  ::ioctl(fd, TIOCGEXCL, &exclusive);
  ::close(fd);
  return exclusive != 0;
}

// Holds a new terminal's master and slave, as the device simulator does; reports the slave.
std::string HoldBothSides() {
  int master = -1, slave = -1;
  char name[128] = {};
  return ::openpty(&master, &slave, name, nullptr, nullptr) == 0 ? name : "";
}

pid_t DeadPid() {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ::waitpid(child, nullptr, 0);
  return child;
}

// Lock files go to a scratch directory, never to the machine's.
class ScratchLockDirectory {
public:
  ScratchLockDirectory() { SetPortLockDirectories({scratch_.Root().string()}); }
  ~ScratchLockDirectory() { SetPortLockDirectories({}); }
  void WriteAscii(const std::string& name, pid_t pid) const {
    char text[16];
    std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(pid));
    std::ofstream(scratch_.Root() / name) << text;
  }
  void WriteBinary(const std::string& name, pid_t pid) const {
    const int value = pid;
    std::ofstream(scratch_.Root() / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(&value), sizeof value);
  }
  void Remove(const std::string& name) const { fs::remove(scratch_.Root() / name); }

private:
  ScratchRuntimeDir scratch_;
};

std::string PtyNumber(const std::string& slavePath) {
  return slavePath.substr(slavePath.rfind('/') + 1);
}

}  // namespace

TEST(PortHolders, AProgramHoldingTheTerminalWithoutALockKeepsUsOut) {
  PtyPair pty;
  pty.ReleaseSlave();
  const std::string path = pty.SlavePath();
  ASSERT_TRUE(ProbePort(path));
  ExpectOpens(path);
  {
    ChildProcess holder(KeepOpen(path));
    ASSERT_EQ(holder.Report(), "open");
    EXPECT_FALSE(ProbePort(path));
    ExpectRefusedAsBusy(path);
    EXPECT_FALSE(Exclusive(path)) << "the refusal gives the exclusive flag back";
    EXPECT_EQ(pty.Pending(), 0u);
  }
  EXPECT_TRUE(ProbePort(path)) << "free again once the other program ended";
  ExpectOpens(path);

  // Also when it is reached by its COM name.
  ScratchRuntimeDir scratch;
  const auto com405 = RegisterVirtualPort(405, path);
  ASSERT_TRUE(com405);
  ASSERT_TRUE(ProbePort("COM405"));
  ChildProcess holder(KeepOpen(path));
  ASSERT_EQ(holder.Report(), "open");
  EXPECT_FALSE(ProbePort("COM405"));
  ExpectRefusedAsBusy("COM405");
}

TEST(PortHolders, TheFarEndOfAPseudoTerminalIsNoHolder) {
  // Another process holding both sides, as the device simulator does: the line's device end.
  ChildProcess simulator(HoldBothSides);
  const std::string path = simulator.Report();
  ASSERT_FALSE(path.empty());
  EXPECT_TRUE(ProbePort(path));
  ExpectOpens(path);

  // Holding a master is not enough: it must be this terminal's. (Our own
  // process keeps this terminal's master, so that its slave stays.)
  PtyPair line;
  line.ReleaseSlave();
  ChildProcess stranger([&line] {
    const int slave = ::open(line.SlavePath().c_str(), O_RDWR | O_NOCTTY);
    const std::string other = HoldBothSides();
    return slave >= 0 && !other.empty() ? "ok" : "";
  });
  ASSERT_EQ(stranger.Report(), "ok");
  EXPECT_FALSE(ProbePort(line.SlavePath()));
  ExpectRefusedAsBusy(line.SlavePath());

  // Our own process is never a holder, though it keeps the slave open here.
  PtyPair own;
  EXPECT_TRUE(ProbePort(own.SlavePath()));
  ExpectOpens(own.SlavePath());
}

TEST(PortHolders, UucpLockFilesOfLiveProcessesKeepUsOut) {
  EXPECT_EQ(PortLockDirectories(), (std::vector<std::string>{"/var/lock", "/run/lock"}));
  ScratchLockDirectory locks;
  PtyPair pty;
  pty.ReleaseSlave();
  const std::string path = pty.SlavePath();
  const std::string number = PtyNumber(path);
  ChildProcess live(KeepOpen("/dev/null"));  // a live process that holds no terminal

  // The names terminal programs use for /dev/pts/<n>, in ASCII and binary.
  for (const std::string& name : {"LCK.." + number, "LCK..pts_" + number}) {
    locks.WriteAscii(name, live.Pid());
    EXPECT_FALSE(ProbePort(path)) << name;
    ExpectRefusedAsBusy(path);
    locks.WriteBinary(name, live.Pid());
    EXPECT_FALSE(ProbePort(path)) << name << " (binary)";
    ExpectRefusedAsBusy(path);
    locks.Remove(name);
  }
  ExpectOpens(path);

  // Stale locks, ours and rubbish are no holders.
  locks.WriteAscii("LCK..pts_" + number, DeadPid());
  EXPECT_TRUE(ProbePort(path));
  ExpectOpens(path);
  locks.WriteAscii("LCK..pts_" + number, ::getpid());
  ExpectOpens(path);
  locks.WriteAscii("LCK..pts_" + number, 0);
  ExpectOpens(path);
  locks.WriteAscii("LCK..other", live.Pid());
  ExpectOpens(path);
}

namespace {
// In a child: as root, become an ordinary user (nobody) that owns the
// terminal `path`, as a user's own session does; otherwise stay as we are.
bool BecomeOrdinaryOwnerOf(const std::string& path) {
  if (::geteuid() != 0) return true;
  constexpr uid_t kNobody = 65534;
  return ::chown(path.c_str(), kNobody, kNobody) == 0 && ::setgid(kNobody) == 0 &&
         ::setuid(kNobody) == 0;
}

std::function<std::string()> OpenWithTheComponent(const std::string& path) {
  return [path] {
    if (!BecomeOrdinaryOwnerOf(path)) return std::string("no ordinary user");
    auto* port = new TCustomComPort;  // kept open until the process is killed
    port->SetPort(path);
    try {
      port->Open();
    } catch (const EComPort& e) {
      return std::string(e.what());
    }
    return std::string("open");
  };
}
}  // namespace

// A holder killed outright (SIGKILL: none of its clean-up runs) must not
// lock its own user out of the port: the next open by that user works,
// without the device side having to start again.
TEST(PortHolders, AHolderKilledOutrightLeavesThePortToTheNextOne) {
  PtyPair pty;  // the device side stays up throughout
  pty.ReleaseSlave();
  const std::string path = pty.SlavePath();
  {
    ChildProcess first(OpenWithTheComponent(path));
    ASSERT_EQ(first.Report(), "open");
    ChildProcess rival(OpenWithTheComponent(path));
    EXPECT_EQ(rival.Report(), "Unable to open com port (Error: 11)") << "still one holder at a time (flock)";
    first.Kill();
  }
  EXPECT_FALSE(Exclusive(path));
  ChildProcess next(OpenWithTheComponent(path));
  EXPECT_EQ(next.Report(), "open");
}

// Who holds a port, as far as the system shows it: the program and its pid.
TEST(PortHolders, TheHolderIsNamed) {
  PtyPair pty;
  pty.ReleaseSlave();
  const std::string path = pty.SlavePath();
  EXPECT_FALSE(FindPortUser(path)) << "a free port has no user";
  ChildProcess holder(KeepOpen(path));
  ASSERT_EQ(holder.Report(), "open");
  std::ifstream comm("/proc/" + std::to_string(holder.Pid()) + "/comm");
  std::string program;
  std::getline(comm, program);
  const auto user = FindPortUser(path);
  ASSERT_TRUE(user);
  EXPECT_EQ(user->Pid, holder.Pid());
  EXPECT_EQ(user->Program, program);
  EXPECT_FALSE(user->SystemConsole);

  // Through a UUCP lock file, the lock's process.
  holder.Kill();
  ScratchLockDirectory locks;
  ChildProcess live(KeepOpen("/dev/null"));
  locks.WriteAscii("LCK.." + PtyNumber(path), live.Pid());
  const auto locked = FindPortUser(path);
  ASSERT_TRUE(locked);
  EXPECT_EQ(locked->Pid, live.Pid());
}

// The kernel's console is never a line to write frames to, nor are virtual
// consoles, /dev/console or /dev/tty: refused at open, never probed usable.
TEST(PortHolders, SystemConsolesAreNoLines) {
  EXPECT_EQ(ConsoleDevicesIn("ttyS0                -W- (EC  p a)    4:64\n"
                             "tty0                 -WU (E     )    4:1\n"),
            (std::vector<dev_t>{makedev(4, 64), makedev(4, 1)}));
  EXPECT_TRUE(ConsoleDevicesIn("").empty());
  EXPECT_TRUE(ConsoleDevicesIn("netcon0 -W- (E p)\n").empty()) << "a console without a device";

  for (const char* path : {"/dev/console", "/dev/tty", "/dev/tty0"}) {
    struct stat st{};
    if (::stat(path, &st) != 0) continue;  // not every machine has them all
    TCustomComPort port;
    port.SetPort(path);
    EXPECT_THROW(port.Open(), EComPort) << path;
    EXPECT_FALSE(port.Connected()) << path;
    EXPECT_FALSE(ProbePort(path)) << path;
  }

  // Each console of this machine that is a serial port: held by the system.
  std::ifstream consoles("/proc/consoles");
  std::stringstream text;
  text << consoles.rdbuf();
  for (dev_t console : ConsoleDevicesIn(text.str())) {
    for (const PortInfo& port : ListSerialPorts()) {
      struct stat st{};
      if (::stat(port.Device.c_str(), &st) != 0 || st.st_rdev != console) continue;
      EXPECT_FALSE(ProbePort(port.Name)) << port.Name;
      const auto user = FindPortUser(port.Name);
      ASSERT_TRUE(user) << port.Name;
      EXPECT_TRUE(user->SystemConsole) << port.Name;
      TCustomComPort open;
      open.SetPort(port.Name);
      EXPECT_THROW(open.Open(), EComPort) << port.Name;
    }
  }
}
