// The per-user port directory (POSIX): programs such as the device simulator
// register a terminal device as COM<n> by a symlink named COM<n> in it.
//   $XDG_RUNTIME_DIR/modbus-tester/ports, or /tmp/modbus-tester-<uid>/ports
// where XDG_RUNTIME_DIR is unset, empty or not an absolute path (<uid> is
// the effective user id).
// Every level below $XDG_RUNTIME_DIR or /tmp must be a real directory (not a
// symlink) owned by the user and writable by nobody else; otherwise the
// directory is not used at all.
//
// Which entries are used. An entry COM<n> is used only when it resolves to a
// serial line device (a serial port or a pseudo-terminal slave), and then:
//  - Liveness. The program that registered it holds a write lock (an
//    open-file-description lock, F_OFD_SETLK) on COM<n>.lock beside it for
//    as long as it serves the terminal. A lock file whose lock is free belongs
//    to a program that is gone: its entry is dead, whatever it points at.
//    Readers only test the lock (F_OFD_GETLK) and never take it, so reading
//    can never make a registration fail.
//  - Pseudo-terminals need that live lock: the kernel hands a closed
//    terminal's number to the next program that opens one, so a link left by
//    a dead program would lead into somebody else's terminal. They must also
//    belong to the user the tool runs as (even when that is root).
//  - A hand-made link to serial hardware (no lock file beside it) is used, as
//    hardware numbers are not handed out again; but not when the device
//    belongs to another user than root or us, which is someone's login line.
// Anything else is ignored: not listed, probed nor opened.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

std::filesystem::path UserPortDirectory();

// Creates the directory and its missing parents (mode 0700) when missing.
// False, with a reason, when it cannot be created or a level exists with
// unsafe ownership or permissions or as a symlink.
bool EnsureUserPortDirectory(std::string* error = nullptr);

// A live registration: holds the lock on COM<n>.lock, and removes the entry
// and its lock file when destroyed (a program killed outright leaves them,
// dead, for the next registration to replace).
class PortRegistration {
public:
  PortRegistration(PortRegistration&& other) noexcept;
  PortRegistration& operator=(PortRegistration&& other) noexcept;
  PortRegistration(const PortRegistration&) = delete;
  PortRegistration& operator=(const PortRegistration&) = delete;
  ~PortRegistration();

  int Number() const { return number_; }
  const std::string& Device() const { return device_; }  // canonical path

private:
  friend std::optional<PortRegistration> RegisterVirtualPort(int, const std::string&, std::string*);
  PortRegistration(int directory, int lock, int number, std::string device);
  void Remove();

  int directory_ = -1;  // the checked port directory: all work stays relative to it
  int lock_ = -1;
  int number_ = 0;
  std::string device_;
};

// Registers `device` (a terminal device) as COM<number>, replacing a dead
// entry. Nothing (and a reason) when the name is held by a live registration
// or a hand-made hardware link, the device is no serial line or a terminal
// of another user, or the directory is unsafe.
std::optional<PortRegistration> RegisterVirtualPort(int number, const std::string& device,
                                                    std::string* error = nullptr);
