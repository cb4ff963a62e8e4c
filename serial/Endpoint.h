// What a port name stands for. The operator names a port in one of four ways:
//   COM<n>                 a serial port of the port table (PortTable.h)
//   a device path          /dev/ttyUSB0, /dev/pts/7 (POSIX) or \\.\COM12
//                          (Windows): that device, opened as named
//   rtuovertcp://HOST:PORT RTU frames, CRC and all, over a TCP connection
//                          (a serial device server in raw mode)
//   tcp://HOST:PORT        Modbus TCP: the MBAP header in place of address
//                          and CRC; PORT defaults to 502
// HOST is a name, an IPv4 literal or an IPv6 literal in brackets
// ([::1]:1502). Any other name is a serial port name left to the port table,
// which refuses what it does not know.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

enum class EndpointKind {
  SerialName,  // COM<n>, or any name that is none of the others
  DevicePath,  // an absolute device path
  RtuOverTcp,  // rtuovertcp://
  ModbusTcp,   // tcp://
};

struct Endpoint {
  EndpointKind Kind = EndpointKind::SerialName;
  std::string Host;   // network kinds: without brackets ("::1")
  uint16_t Port = 0;  // network kinds
};

inline constexpr uint16_t kModbusTcpPort = 502;
inline constexpr const char* kRtuOverTcpScheme = "rtuovertcp://";
inline constexpr const char* kModbusTcpScheme = "tcp://";

// The kind of `name` and, for a network endpoint, its host and port;
// nullopt for a network name that is malformed (no host, a port outside
// 1..65535, rtuovertcp:// without a port, text after the port).
std::optional<Endpoint> ParseEndpoint(const std::string& name);

// Network kinds go through the network backend, the others through the
// operating system's serial device.
bool IsNetworkKind(EndpointKind kind);

// Whether `name` begins with a network scheme, well formed or not.
bool HasNetworkScheme(const std::string& name);

// Whether `name` is written as an endpoint of its own, beside the COM names:
// a device path or a network scheme, well formed or not.
bool IsEndpointName(const std::string& name);

// "host:port", with IPv6 literals in brackets: the endpoint as messages show it.
std::string HostPortText(const Endpoint& endpoint);

// The port name for an address typed beside a chosen kind: "127.0.0.1:4001"
// with RtuOverTcp gives "rtuovertcp://127.0.0.1:4001"; an address that
// already carries a scheme, or a device path, stays as typed (blanks around
// it trimmed). Nullopt when the result is no well-formed endpoint of a kind
// of its own (a device path, rtuovertcp://, tcp://).
std::optional<std::string> ComposeEndpoint(EndpointKind kind, const std::string& address);
