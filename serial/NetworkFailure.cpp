#include "NetworkFailure.h"

std::string NetworkFailureText(NetworkFailure failure, const std::string& where, int connectTimeoutMs) {
  switch (failure) {
    case NetworkFailure::HostUnknown: return "host not found: " + where;
    case NetworkFailure::Refused: return "connection refused by " + where;
    case NetworkFailure::TimedOut:
      return "no connection to " + where + " within " + std::to_string(connectTimeoutMs) + " ms";
    case NetworkFailure::Unreachable: return where + " cannot be reached";
    case NetworkFailure::ConnectFailed: return "cannot connect to " + where;
    case NetworkFailure::Closed: return "connection closed by " + where;
    case NetworkFailure::Reset: return "connection to " + where + " lost";
  }
  return where;
}

std::string MalformedEndpointText(const std::string& name) {
  return "not a network endpoint: " + name + ": write rtuovertcp://HOST:PORT or tcp://HOST[:PORT]";
}
