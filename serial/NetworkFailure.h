// What went wrong with a network endpoint, in the words the port's errors
// add to the component's fixed texts; the same on every operating system.
#pragma once

#include <string>

enum class NetworkFailure {
  HostUnknown,   // the name did not resolve
  Refused,       // nothing listens there
  TimedOut,      // no connection within the connect time-out
  Unreachable,   // no route, network down
  ConnectFailed, // any other reason the connection was not made
  Closed,        // the peer closed the connection
  Reset,         // the peer reset it, or it broke
};

// "connection refused by 127.0.0.1:1502", "no connection to plc:502 within 3000 ms".
std::string NetworkFailureText(NetworkFailure failure, const std::string& where, int connectTimeoutMs);

// "not a network endpoint: tcp://: write rtuovertcp://HOST:PORT or tcp://HOST[:PORT]".
std::string MalformedEndpointText(const std::string& name);
