// Tells from a device number alone, without opening the device, whether a
// node is a serial line: a serial port or the slave side of a pseudo-terminal.
// The kernel's own list of tty drivers (/proc/tty/drivers) is the authority;
// consoles, /dev/tty and pseudo-terminal masters are terminals but no lines.
// Opening is avoided on purpose: opening a real serial port raises DTR.
#pragma once

#include <sys/stat.h>

#include <optional>
#include <string>
#include <vector>

struct TtyDriverRange {
  unsigned Major = 0;
  unsigned FirstMinor = 0;
  unsigned LastMinor = 0;
  bool PtySlave = false;  // pseudo-terminal slaves, whose numbers the kernel hands out again
};

// The device ranges of the serial and pseudo-terminal-slave drivers in a text
// laid out like /proc/tty/drivers.
std::vector<TtyDriverRange> SerialLineRanges(const std::string& procTtyDrivers);

// True when `st` is a character device inside one of those ranges.
bool IsSerialLineNode(const struct stat& st);
// True when `st` is the slave side of a pseudo-terminal.
bool IsPtySlaveNode(const struct stat& st);

// The canonical path of `path` (symlinks resolved) when it names a serial
// line device; nullopt for regular files, other character devices, block
// devices and dangling links.
std::optional<std::string> SerialLinePath(const std::string& path);
