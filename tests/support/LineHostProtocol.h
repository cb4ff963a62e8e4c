// The messages between a test program under Wine and the line host on
// Linux (tests/portable/LineHost.cpp), one connection per line: a kind
// byte, the payload's length as four bytes (least significant first), the
// payload.
//
// Test program to host:
//   Open     "raw <n>" a pseudo-terminal linked as COM<n> (0: any free
//            number); "sim <devices> <busy polls> <busy ms> <seed>" the
//            simulated device on its own terminal. Answer: the COM name.
//   Write    bytes for the device side to send.
//   Command  "release-slave", "close-master", "sync" (answered once every
//            byte the port has written so far was relayed), "settings"
//            ("<baud> <stop bits>"), "link <n>" (also COM<n>), "modbus <id>"
//            and "modbus-stop" (libmodbus's server on the device side),
//            "coil <i>", "register <i>", "served", "log" (the simulator's
//            lines, one per line).
// Host to test program:
//   Read     bytes the port under test has written.
//   Answer   the answer to Open or Command; Refusal when it failed (the text
//            says why).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace LineHost {

enum Kind : char {
  Open = 'O',
  Write = 'W',
  Command = 'C',
  Read = 'R',
  Answer = 'A',
  Refusal = 'E',
};

// Where a test program finds the host: "127.0.0.1:<port>".
constexpr const char* kAddressVariable = "MODBUS_LINE_HOST";

std::string Frame(Kind kind, const std::string& payload);

struct Message {
  Kind kind{};
  std::string payload;
};

// Takes the first complete message off the front of `buffer`.
bool TakeMessage(std::string& buffer, Message& message);

}  // namespace LineHost
