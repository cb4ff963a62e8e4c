// The messages between a test program under Wine and the line host on
// Linux (tests/portable/LineHost.cpp), one connection per line: a kind
// byte, the payload's length as four bytes (least significant first), the
// payload.
//
// Test program to host:
//   Open     "raw <n>" a pseudo-terminal linked as COM<n> (0: any free
//            number); "sim <devices> <busy polls> <busy ms> <seed> <n>
//            <fault 1> ... <fault n>", then on the following lines a reply
//            script in modbus-sim's script form: the simulated device on its
//            own terminal. Answer: the COM name.
//   Write    bytes for the device side to send.
//   Command  "release-slave", "close-master", "sync" (answered once every
//            byte the port has written so far was relayed), "settings"
//            ("<baud> <stop bits>"), "link <n>" (also COM<n>), "modbus <id>"
//            and "modbus-stop" (libmodbus's server on the device side),
//            "coil <i>", "register <i>", "served", "log" (the simulator's
//            lines, one per line), "clock" (the host's monotonic clock in
//            nanoseconds).
// Host to test program:
//   Read     bytes the port under test has written, after the host's
//            monotonic clock in nanoseconds when it read them (8 bytes,
//            least significant first): the device side's arrival time, free
//            of the relay's delay.
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

// A Read message's payload: the clock reading, then the bytes.
std::string ReadPayload(int64_t clockNs, const std::string& bytes);
bool SplitReadPayload(const std::string& payload, int64_t& clockNs, std::string& bytes);

}  // namespace LineHost
