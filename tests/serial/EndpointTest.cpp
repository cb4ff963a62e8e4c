// Port names: COM names, device paths and the two network schemes.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "Endpoint.h"

TEST(Endpoint, SerialNamesAndDevicePaths) {
  for (const char* name : {"COM1", "COM12", "com3", "", "tty0", "Com3"})
    EXPECT_EQ(ParseEndpoint(name)->Kind, EndpointKind::SerialName) << name;
  for (const char* name : {"/dev/ttyUSB0", "/dev/pts/7", "\\\\.\\COM12"}) {
    EXPECT_EQ(ParseEndpoint(name)->Kind, EndpointKind::DevicePath) << name;
    EXPECT_TRUE(IsEndpointName(name)) << name;
  }
  EXPECT_FALSE(IsEndpointName("COM1"));
  EXPECT_FALSE(IsEndpointName("tty0"));
  EXPECT_FALSE(IsNetworkKind(EndpointKind::DevicePath));
}

TEST(Endpoint, NetworkNamesGiveKindHostAndPort) {
  struct Case {
    const char* name;
    EndpointKind kind;
    const char* host;
    uint16_t port;
    const char* text;
  };
  const Case cases[] = {
      {"rtuovertcp://127.0.0.1:4001", EndpointKind::RtuOverTcp, "127.0.0.1", 4001, "127.0.0.1:4001"},
      {"rtuovertcp://gw-7.plant:950", EndpointKind::RtuOverTcp, "gw-7.plant", 950, "gw-7.plant:950"},
      {"tcp://192.168.1.20", EndpointKind::ModbusTcp, "192.168.1.20", 502, "192.168.1.20:502"},
      {"tcp://plc:1502", EndpointKind::ModbusTcp, "plc", 1502, "plc:1502"},
      {"tcp://[::1]:1502", EndpointKind::ModbusTcp, "::1", 1502, "[::1]:1502"},
      {"tcp://[fe80::1]", EndpointKind::ModbusTcp, "fe80::1", 502, "[fe80::1]:502"},
      {"rtuovertcp://[::1]:65535", EndpointKind::RtuOverTcp, "::1", 65535, "[::1]:65535"},
  };
  for (const Case& c : cases) {
    const auto e = ParseEndpoint(c.name);
    ASSERT_TRUE(e) << c.name;
    EXPECT_EQ(e->Kind, c.kind) << c.name;
    EXPECT_EQ(e->Host, c.host) << c.name;
    EXPECT_EQ(e->Port, c.port) << c.name;
    EXPECT_EQ(HostPortText(*e), c.text) << c.name;
    EXPECT_TRUE(IsNetworkKind(e->Kind)) << c.name;
    EXPECT_TRUE(IsEndpointName(c.name)) << c.name;
  }
}

TEST(Endpoint, MalformedNetworkNamesAreRefused) {
  for (const char* name :
       {"rtuovertcp://", "rtuovertcp://host", "rtuovertcp://:4001", "tcp://", "tcp://:502", "tcp://h:0",
        "tcp://h:65536", "tcp://h:12x", "tcp://h:", "tcp://::1:502", "tcp://[::1", "tcp://[::1]x",
        "tcp://[]:502", "tcp://a b:502", "tcp://h/x:502", "tcp://h:-1"}) {
    EXPECT_FALSE(ParseEndpoint(name)) << name;
    EXPECT_TRUE(HasNetworkScheme(name)) << name;
    EXPECT_TRUE(IsEndpointName(name)) << name;
  }
  // Schemes are written as the libraries write them: in lower case.
  EXPECT_EQ(ParseEndpoint("TCP://h:502")->Kind, EndpointKind::SerialName);
}

TEST(Endpoint, TypedAddressesBecomePortNamesOfTheirKind) {
  EXPECT_EQ(ComposeEndpoint(EndpointKind::RtuOverTcp, " 10.0.0.5:4001 "), "rtuovertcp://10.0.0.5:4001");
  EXPECT_EQ(ComposeEndpoint(EndpointKind::ModbusTcp, "plc"), "tcp://plc");
  EXPECT_EQ(ComposeEndpoint(EndpointKind::ModbusTcp, "[::1]:1502"), "tcp://[::1]:1502");
  // A typed scheme or a path wins over the kind chosen.
  EXPECT_EQ(ComposeEndpoint(EndpointKind::ModbusTcp, "rtuovertcp://gw:950"), "rtuovertcp://gw:950");
  EXPECT_EQ(ComposeEndpoint(EndpointKind::RtuOverTcp, "/dev/pts/4"), "/dev/pts/4");
  EXPECT_EQ(ComposeEndpoint(EndpointKind::DevicePath, "/dev/ttyUSB1"), "/dev/ttyUSB1");
  for (const auto& [kind, text] : std::vector<std::pair<EndpointKind, const char*>>{
           {EndpointKind::RtuOverTcp, "10.0.0.5"},  // no port
           {EndpointKind::ModbusTcp, "h:70000"},
           {EndpointKind::DevicePath, "ttyUSB0"},
           {EndpointKind::DevicePath, "COM3"},
           {EndpointKind::ModbusTcp, "   "}})
    EXPECT_FALSE(ComposeEndpoint(kind, text)) << text;
}
