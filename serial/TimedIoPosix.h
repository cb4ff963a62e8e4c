// Blocking reads and writes with the Windows time-out rules (ReadDeadline.h)
// on a non-blocking POSIX descriptor: a terminal or a socket.
#pragma once

#include <chrono>
#include <optional>

#include "PortDevice.h"

// Reads up to `count` bytes; a time-out is a short count. End of file (a
// hung-up line, a closed connection) and read errors raise failure code 3.
// `discardNull` drops received zero bytes; `sink` hears of every chunk. A
// readable `stopFd` (an eventfd another thread signals) ends the wait at
// once with what was read.
int TimedRead(int fd, void* buffer, int count, const TimeoutValues& timeouts, bool discardNull,
              const PortDevice::ChunkSink& sink, int stopFd = -1);

// Writes `count` bytes by `deadline` (none: no limit); returns how many the
// system took, short when the deadline ran out. Errors raise failure code 2.
// A socket is written without SIGPIPE: a closed peer is an error, not a signal.
int TimedWrite(int fd, const void* buffer, int count,
               std::optional<std::chrono::steady_clock::time_point> deadline, bool socket = false);
