#include "Endpoint.h"

#include <charconv>

namespace {
bool StartsWith(const std::string& text, const char* prefix) {
  return text.rfind(prefix, 0) == 0;
}

// "HOST:PORT", "[v6]:PORT", or with `defaultPort` also "HOST" and "[v6]".
std::optional<Endpoint> ParseHostPort(const std::string& text, EndpointKind kind,
                                      std::optional<uint16_t> defaultPort) {
  Endpoint endpoint{kind, {}, 0};
  std::string rest;
  if (!text.empty() && text[0] == '[') {
    const auto close = text.find(']');
    if (close == std::string::npos) return std::nullopt;
    endpoint.Host = text.substr(1, close - 1);
    rest = text.substr(close + 1);
    if (!rest.empty() && rest[0] != ':') return std::nullopt;
  } else {
    const auto colon = text.find(':');
    endpoint.Host = text.substr(0, colon);
    if (colon != std::string::npos) rest = text.substr(colon);
    // An IPv6 literal without brackets cannot be told from its port.
    if (rest.find(':', 1) != std::string::npos) return std::nullopt;
  }
  if (endpoint.Host.empty() || endpoint.Host.find_first_of(" /\\@") != std::string::npos)
    return std::nullopt;
  if (rest.empty()) {
    if (!defaultPort) return std::nullopt;
    endpoint.Port = *defaultPort;
    return endpoint;
  }
  const char* first = rest.data() + 1;
  const char* last = rest.data() + rest.size();
  unsigned value = 0;
  const auto [end, error] = std::from_chars(first, last, value);
  if (error != std::errc{} || end != last || first == last || value == 0 || value > 65535)
    return std::nullopt;
  endpoint.Port = static_cast<uint16_t>(value);
  return endpoint;
}
}  // namespace

std::optional<Endpoint> ParseEndpoint(const std::string& name) {
  if (StartsWith(name, kRtuOverTcpScheme))
    return ParseHostPort(name.substr(std::char_traits<char>::length(kRtuOverTcpScheme)),
                         EndpointKind::RtuOverTcp, std::nullopt);
  if (StartsWith(name, kModbusTcpScheme))
    return ParseHostPort(name.substr(std::char_traits<char>::length(kModbusTcpScheme)),
                         EndpointKind::ModbusTcp, kModbusTcpPort);
  if (StartsWith(name, "/") || StartsWith(name, "\\\\.\\"))
    return Endpoint{EndpointKind::DevicePath, {}, 0};
  return Endpoint{EndpointKind::SerialName, {}, 0};
}

bool IsNetworkKind(EndpointKind kind) {
  return kind == EndpointKind::RtuOverTcp || kind == EndpointKind::ModbusTcp;
}

bool HasNetworkScheme(const std::string& name) {
  return StartsWith(name, kRtuOverTcpScheme) || StartsWith(name, kModbusTcpScheme);
}

bool IsEndpointName(const std::string& name) {
  return HasNetworkScheme(name) || StartsWith(name, "/") || StartsWith(name, "\\\\.\\");
}

std::string HostPortText(const Endpoint& endpoint) {
  const bool v6 = endpoint.Host.find(':') != std::string::npos;
  return (v6 ? "[" + endpoint.Host + "]" : endpoint.Host) + ":" + std::to_string(endpoint.Port);
}

std::optional<std::string> ComposeEndpoint(EndpointKind kind, const std::string& address) {
  const auto first = address.find_first_not_of(" \t");
  if (first == std::string::npos) return std::nullopt;
  std::string name = address.substr(first, address.find_last_not_of(" \t") - first + 1);
  if (!IsEndpointName(name)) {
    if (kind == EndpointKind::RtuOverTcp) name = kRtuOverTcpScheme + name;
    else if (kind == EndpointKind::ModbusTcp) name = kModbusTcpScheme + name;
  }
  const auto endpoint = ParseEndpoint(name);
  if (!endpoint || endpoint->Kind == EndpointKind::SerialName) return std::nullopt;
  return name;
}
