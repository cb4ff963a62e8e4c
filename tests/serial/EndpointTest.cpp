// Port names: COM names, device paths and the two network schemes.
#include <gtest/gtest.h>

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
