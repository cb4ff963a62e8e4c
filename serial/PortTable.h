// The serial ports present on this machine, named COM1, COM2, ... on every
// operating system, and the probe that says whether a port can be used.
//
// On POSIX systems a COM name stands for, in this order:
//  1. a virtual port registered in the per-user port directory
//     (PortDirectory.h): the symlink COM<n> there, when it resolves to a
//     serial line device and is alive (its registrant still runs; a
//     hand-made link to hardware needs none) and no other user's terminal;
//  2. serial hardware under /sys/class/tty: entries with a device driver;
//     8250-family ports (ttyS*, driver serial8250) only when TIOCGSERIAL
//     reports a real UART, which leaves out the kernel's placeholder ports.
//
// Hardware numbering: the number follows from the kernel name alone, so a
// port keeps its name when other devices come and go. The kernel name is a
// family and an index (ttyUSB3: family ttyUSB, index 3).
//   family    index 0-31        index 32-999
//   ttyS      COM1 + k          COM1000 + k
//   ttyUSB    COM33 + k         COM2000 + k
//   ttyACM    COM65 + k         COM3000 + k
//   ttyAMA    COM97 + k         COM4000 + k
//   ttyXRUSB  COM129 + k        COM5000 + k
//   ttymxc    COM161 + k        COM6000 + k
//   ttySC     COM193 + k        COM7000 + k
//   ttyO      COM225 + k        COM8000 + k
//   ttyPS     COM257 + k        COM9000 + k
//   ttyTHS    COM289 + k        COM10000 + k
//   ttyLP     COM321 + k        COM11000 + k
//   ttyMSM    COM353 + k        COM12000 + k
// So ttyS0 is COM1, ttyUSB0 is COM33, ttyACM1 is COM66, ttyUSB40 is COM2040.
// Any other family f gets COM(100000 + 1000 * (h mod 900) + k) for index
// k 0-999, h being the 32-bit FNV-1a hash of f's name. Names without an index,
// with a leading zero in it or an index of 1000 and more get no number. Only
// two such other families whose hashes meet can claim the same number; the
// kernel name that sorts first keeps it, the other is not listed.
// An absolute path naming a character device stands for itself (expert use).
#pragma once

#include <optional>
#include <string>
#include <vector>

// What a port's description is: the system's own name for it (the Windows
// registry's), a USB adapter's names, the driver of a port on the board, or a
// program's registration. A window words it in its own language from this;
// the description itself is English, for the command line.
enum class PortOrigin { System, Usb, Driver, Registered };

struct PortInfo {
  std::string Name;         // "COM3"
  std::string Device;       // the device it stands for: "/dev/ttyUSB0", "\\.\COM3"
  std::string Description;  // for the operator: "USB: FT232R USB UART, FTDI, 0403:6001 (ttyUSB0),
                            // latency_timer 16 ms", "serial8250 (ttyS0)", "registered: /dev/pts/7"
  PortOrigin Origin = PortOrigin::System;
  int LatencyTimerMs = -1;  // a USB adapter's own delay before it hands bytes over; -1: none known
};

// Who holds a port that is in use, as far as the system lets us see.
struct PortUser {
  bool SystemConsole = false;  // the kernel's console: never a field bus
  int Pid = 0;                 // 0 when not known
  std::string Program;         // "minicom"; empty when not known
};

// Every port the system reports, in a stable order (by COM number, so COM2
// comes before COM10). A registered port hides hardware of the same number.
std::vector<PortInfo> ListSerialPorts();

// True when the port can be opened now, is a terminal device, is held by no
// other program (neither by flock nor as PosixPortHolders.h sees them) and,
// for an 8250-family port, has a real UART. A registered
// pseudo-terminal counts as a serial port.
bool ProbePort(const std::string& name);

// Who holds the port `name` when it exists and is in use (a program, or the
// system console); nullopt when it is free, absent, or nothing can be told.
// Opens the device as the probe does (not on Windows, where a held port
// cannot be opened: the program is then not known).
std::optional<PortUser> FindPortUser(const std::string& name);

// The device path that opening `name` uses; nullopt when no such port exists.
// Does not open the device (except for the UART check of an 8250-family
// port); the caller checks at open that it is a terminal.
std::optional<std::string> ResolvePortDevice(const std::string& name);
