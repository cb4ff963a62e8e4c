// ser2net in raw mode in front of the simulator's pseudo-terminal: the whole
// path of a serial device server. The link reads and writes through
// rtuovertcp://, and the finder finds the simulator's devices through it.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "DeviceFinder.h"
#include "NetLinkRig.h"
#include "PeerProgram.h"
#include "RunningSim.h"
#include "TcpPeer.h"

namespace {
using namespace std::chrono_literals;

// A loopback port free a moment ago, for ser2net to listen on.
uint16_t FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), length);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);
  return ntohs(address.sin_port);
}

bool Accepts(uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return ok;
}

// ser2net serving `device` at 9600 8N2 in raw mode on a loopback port.
struct DeviceServer {
  std::filesystem::path dir = std::filesystem::temp_directory_path() / ("ser2net-" + std::to_string(::getpid()));
  uint16_t port = FreePort();
  std::unique_ptr<PeerProgram> program;

  explicit DeviceServer(const std::string& device) {
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "ser2net.yaml") << "connection: &sim\n"
                                        << "  accepter: tcp,127.0.0.1," << port << "\n"
                                        << "  connector: serialdev," << device << ",9600n82,local\n"
                                        << "  options:\n"
                                        << "    kickolduser: true\n";
    // ser2net says nothing when it is up: the shell says it started, the
    // test waits until it accepts.
    program = std::make_unique<PeerProgram>(std::vector<std::string>{
        "/bin/sh", "-c",
        "command -v ser2net >/dev/null || { echo 'ser2net is not installed' >&2; exit 1; }; echo started; "
        "exec ser2net -n -u -c " + (dir / "ser2net.yaml").string() + " -P " + (dir / "pid").string()});
    for (int i = 0; i < 200 && !Accepts(port); ++i) std::this_thread::sleep_for(10ms);
    if (!Accepts(port)) throw std::runtime_error("ser2net does not accept on port " + std::to_string(port));
    std::this_thread::sleep_for(50ms);  // the probe connection above is gone
  }
  ~DeviceServer() {
    program.reset();
    std::filesystem::remove_all(dir);
  }
  std::string Endpoint() const { return "rtuovertcp://127.0.0.1:" + std::to_string(port); }
};

SimOptions Devices(std::vector<uint8_t> addresses) {
  SimOptions options;
  options.devices = std::move(addresses);
  return options;
}
}  // namespace

TEST(Ser2netPeer, TheLinkReadsAndWritesThroughADeviceServer) {
  RunningSim sim(Devices({4}));
  DeviceServer server(sim.SlavePath());
  NetLinkRig rig(server.Endpoint());
  // Device 4's holding registers start at 4000.
  ASSERT_EQ(rig.Send(3, {0x00, 0x02, 0x00, 0x05}, 3), 0);
  EXPECT_EQ(RegistersOf(rig.Answer()), (std::vector<int>{4002, 4003, 4004, 4005, 4006}));
  ASSERT_EQ(rig.Send(6, {0x03, 0x10, 0x12, 0x34}, 3), 0);
  ASSERT_EQ(rig.Send(3, {0x03, 0x10, 0x00, 0x01}, 3), 0);
  EXPECT_EQ(RegistersOf(rig.Answer()), std::vector<int>{0x1234});
  // A device-specific code, whole through the server: 67's 128 bytes.
  ASSERT_EQ(rig.Send(67, {0x00, 0x05}, 3), 0);
  EXPECT_EQ(rig.link.AnswerLen, 133);
  EXPECT_EQ(rig.answer[3], 5);
  // Nobody at address 5.
  rig.link.Repeats1 = 1;
  EXPECT_EQ(rig.Send(3, {0x00, 0x00, 0x00, 0x01}, 4), 130);
}

TEST(Ser2netPeer, TheFinderFindsTheSimulatorsDevicesSweepingAddressesOnly) {
  RunningSim sim(Devices({2, 7, 11}));
  DeviceServer server(sim.SlavePath());
  NetLinkRig rig(server.Endpoint());
  ScanPlan plan = DefaultScanPlan();
  plan.Addresses.clear();
  for (int a = 1; a <= 12; ++a) plan.Addresses.push_back(a);
  DeviceFinder finder(rig.port, plan);
  EXPECT_TRUE(finder.AddressesOnly());
  EXPECT_EQ(finder.ProbesPlanned(), 12u) << "one pass, not one per rate and frame";
  while (finder.Step()) {
  }
  std::vector<int> found;
  for (const ProbeResult& r : finder.Devices()) found.push_back(r.Address);
  EXPECT_EQ(found, (std::vector<int>{2, 7, 11}));
  EXPECT_EQ(finder.ProbesDone(), 12u);
}
