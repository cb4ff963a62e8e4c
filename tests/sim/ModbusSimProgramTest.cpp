// The modbus-sim program itself: its port-directory entry (safe, listed by
// the port table, replaced when stale, gone when the program ends), its
// startup line, its options and its log.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "ComPort.h"
#include "PortTable.h"
#include "SimCrc.h"
#include "SimTestSupport.h"

namespace fs = std::filesystem;

namespace {
bool Listed(const std::string& name, const std::string& device) {
  for (const PortInfo& port : ListSerialPorts())
    if (port.Name == name) return port.Device == device;
  return false;
}

// User plus system CPU time of a process, in clock ticks.
long CpuTicks(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::istringstream fields(text.substr(text.rfind(')') + 2));
  std::string field;
  long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i == 14) utime = std::stol(field);
    if (i == 15) stime = std::stol(field);
  }
  return utime + stime;
}
}  // namespace

TEST(ModbusSimProgram, RegistersASafeEntryAndRemovesItOnSigterm) {
  TempRuntimeDir runtime;
  SimProcess sim({});
  ASSERT_TRUE(sim.WaitStarted()) << sim.Output();
  EXPECT_EQ(sim.Name(), "COM9");
  EXPECT_EQ(sim.Device().rfind("/dev/pts/", 0), 0u) << sim.Device();

  const fs::path entry = runtime.Ports() / "COM9";
  ASSERT_TRUE(fs::is_symlink(entry));
  EXPECT_EQ(fs::read_symlink(entry), sim.Device());
  for (const fs::path& dir : {runtime.Ports(), runtime.Ports().parent_path()}) {
    struct stat st {};
    ASSERT_EQ(lstat(dir.c_str(), &st), 0) << dir;
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_uid, geteuid()) << dir;
    EXPECT_EQ(st.st_mode & 0077, 0u) << dir;
  }
  EXPECT_TRUE(Listed("COM9", sim.Device()));
  EXPECT_EQ(ResolvePortDevice("COM9"), sim.Device());

  RawPort port(sim.Device());
  EXPECT_EQ(port.Ask({1, 14}, 4), WithCrc({1, 14}));

  // A second simulator takes the next free number.
  SimProcess second({"--devices", "3"});
  ASSERT_TRUE(second.WaitStarted()) << second.Output();
  EXPECT_EQ(second.Name(), "COM10");
  EXPECT_TRUE(Listed("COM10", second.Device()));
  EXPECT_EQ(second.Stop(SIGINT), 0);
  EXPECT_FALSE(fs::exists(fs::symlink_status(runtime.Ports() / "COM10")));

  EXPECT_EQ(sim.Stop(SIGTERM), 0);
  EXPECT_FALSE(fs::exists(fs::symlink_status(entry)));
  EXPECT_FALSE(Listed("COM9", sim.Device()));
}

TEST(ModbusSimProgram, ALiveNameIsRefusedAndAKilledSimulatorsEntryIsDeadAndTakenAgain) {
  TempRuntimeDir runtime;
  SimProcess first({"--com", "12"});
  ASSERT_TRUE(first.WaitStarted()) << first.Output();
  EXPECT_TRUE(fs::is_regular_file(runtime.Ports() / "COM12.lock"));
  // The name is taken by a live simulator: a second one cannot have it.
  {
    SimProcess clash({"--com", "12"});
    EXPECT_EQ(clash.WaitExit(), 1);
    EXPECT_NE(clash.Output().find("cannot register the port: COM12 is registered for " + first.Device() +
                                  " by a running program"),
              std::string::npos)
        << clash.Output();
  }
  EXPECT_EQ(fs::read_symlink(runtime.Ports() / "COM12"), first.Device());
  EXPECT_TRUE(Listed("COM12", first.Device()));

  kill(first.Pid(), SIGKILL);  // dies without cleaning up
  EXPECT_EQ(first.WaitExit(), 128 + SIGKILL);
  ASSERT_TRUE(fs::is_symlink(runtime.Ports() / "COM12"));
  // Its terminal's number goes to the next program that opens a terminal;
  // here that terminal is ours, in place of the closed one.
  PtyPair reused;
  reused.ReleaseSlave();
  fs::remove(runtime.Ports() / "COM12");
  fs::create_symlink(reused.SlavePath(), runtime.Ports() / "COM12");
  EXPECT_FALSE(Listed("COM12", reused.SlavePath()));
  EXPECT_EQ(ResolvePortDevice("COM12"), std::nullopt);
  EXPECT_FALSE(ProbePort("COM12"));
  TComPort port;
  port.SetPort("COM12");
  EXPECT_THROW(port.Open(), EComPort);
  EXPECT_EQ(reused.Pending(), 0u) << "nothing may reach the other program's terminal";

  SimProcess next({"--com", "12"});
  ASSERT_TRUE(next.WaitStarted()) << next.Output();
  EXPECT_EQ(next.Name(), "COM12");
  EXPECT_EQ(fs::read_symlink(runtime.Ports() / "COM12"), next.Device());
  EXPECT_TRUE(Listed("COM12", next.Device()));
  EXPECT_EQ(next.Stop(SIGTERM), 0);
  EXPECT_FALSE(fs::exists(fs::symlink_status(runtime.Ports() / "COM12")));
  EXPECT_FALSE(fs::exists(runtime.Ports() / "COM12.lock"));

  // The same without --com: the dead COM9 is taken again, not passed over for COM10.
  SimProcess killed({});
  ASSERT_TRUE(killed.WaitStarted()) << killed.Output();
  ASSERT_EQ(killed.Name(), "COM9");
  kill(killed.Pid(), SIGKILL);
  EXPECT_EQ(killed.WaitExit(), 128 + SIGKILL);
  fs::remove(runtime.Ports() / "COM9");
  fs::create_symlink(reused.SlavePath(), runtime.Ports() / "COM9");
  SimProcess again({});
  ASSERT_TRUE(again.WaitStarted()) << again.Output();
  EXPECT_EQ(again.Name(), "COM9");
  EXPECT_EQ(again.Stop(SIGTERM), 0);
}

TEST(ModbusSimProgram, OptionsScriptAndLog) {
  TempRuntimeDir runtime;
  const fs::path script = runtime.Path() / "script.txt";
  std::ofstream(script) << "# first request cut, second exact\npartial:2\nsend 05 03 02 00 2A\nok\n";
  SimProcess sim({"--devices", "5", "--script", script.string(), "--fault", "exception:4", "--busy-polls", "1",
                  "--log", "--seed", "3"});
  ASSERT_TRUE(sim.WaitStarted()) << sim.Output();
  RawPort port(sim.Device());
  const std::vector<uint8_t> read{5, 3, 0, 0, 0, 1};
  EXPECT_EQ(port.Ask(read, 7), Bytes({5, 3}));
  EXPECT_EQ(port.Ask(read, 7), Bytes({5, 3, 2, 0, 0x2A}));
  EXPECT_EQ(port.Ask(read, 7), WithCrc({5, 3, 2, 0x13, 0x88}));
  EXPECT_EQ(port.Ask(read, 7), WithCrc({5, 0x83, 4}));  // script done: --fault applies
  port.Write(WithCrc({1, 3, 0, 0, 0, 1}));  // not served
  EXPECT_TRUE(port.Read(7, 100ms).empty());
  port.Write(WithCrc({0, 70, 30, 15, 12, 7, 12, 0, 0}));
  EXPECT_TRUE(port.Read(7, 100ms).empty());
  EXPECT_EQ(sim.Stop(SIGTERM), 0);

  const std::string out = sim.Output();
  EXPECT_EQ(out.rfind("modbus-sim: COM9 " + sim.Device() + "\n", 0), 0u) << out;
  EXPECT_NE(out.find(" RX " + HexBytes(WithCrc(read)) + "  crc ok\n"), std::string::npos) << out;
  EXPECT_NE(out.find(" TX 05 03  crc bad\n"), std::string::npos) << out;
  EXPECT_NE(out.find(" TX 05 03 02 13 88 "), std::string::npos) << out;
  EXPECT_NE(out.find("device 5: clock set to 12:15:30, day 7, month 12"), std::string::npos) << out;
  // Each log line starts with a time stamp HH:MM:SS.mmm.
  const auto rx = out.find(" RX ");
  ASSERT_NE(rx, std::string::npos);
  const std::string stamp = out.substr(out.rfind('\n', rx) + 1, rx - out.rfind('\n', rx) - 1);
  EXPECT_EQ(stamp.size(), 12u) << stamp;
  EXPECT_EQ(stamp[2], ':');
  EXPECT_EQ(stamp[8], '.');

  for (std::vector<std::string> bad : {std::vector<std::string>{"--fault", "loud"}, {"--devices", "0"},
                                       {"--parity", "X"}, {"--com", "0"}, {"--script", "/nonexistent"},
                                       {"--seed", "x"}, {"--no-such-option"}}) {
    SimProcess refused(bad);
    EXPECT_EQ(refused.WaitExit(), 2) << bad[0] << ": every bad option has the one usage status";
  }
  EXPECT_TRUE(fs::is_empty(runtime.Ports()));
}

TEST(ModbusSimProgram, IdleAfterTheClientClosedThePortUsesNoProcessor) {
  TempRuntimeDir runtime;
  SimProcess sim({});
  ASSERT_TRUE(sim.WaitStarted()) << sim.Output();
  { RawPort port(sim.Device()); }  // opened and closed again: a hang-up must not make it spin
  const long before = CpuTicks(sim.Pid());
  std::this_thread::sleep_for(400ms);
  EXPECT_LE(CpuTicks(sim.Pid()) - before, 3);  // 40 of the 400 ms at most
  RawPort port(sim.Device());
  EXPECT_EQ(port.Ask({1, 14}, 4), WithCrc({1, 14}));
  EXPECT_EQ(sim.Stop(SIGTERM), 0);
}

TEST(ModbusSimProgram, VersionIsTheProjectsAndRegistersNoPort) {
  TempRuntimeDir runtime;
  SimProcess sim({"--version"});
  EXPECT_EQ(sim.WaitExit(), 0);
  EXPECT_EQ(sim.Output(), "modbus-sim " MODBUS_TESTER_VERSION "\n");
  EXPECT_FALSE(fs::exists(runtime.Ports()) && !fs::is_empty(runtime.Ports()));
}
