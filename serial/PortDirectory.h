// The per-user port directory (POSIX): programs such as the device simulator
// register a terminal device as COM<n> by a symlink named COM<n> in it.
//   $XDG_RUNTIME_DIR/modbus-tester/ports, or /tmp/modbus-tester-<uid>/ports
// where XDG_RUNTIME_DIR is unset, empty or not an absolute path (<uid> is
// the effective user id).
// Every level below $XDG_RUNTIME_DIR or /tmp must be a real directory (not a
// symlink) owned by the user and writable by nobody else; otherwise the
// directory is not used at all. An entry is used only when it resolves to a
// serial line device (a serial port or a pseudo-terminal slave).
#pragma once

#include <filesystem>
#include <string>

std::filesystem::path UserPortDirectory();

// Creates the directory and its missing parents (mode 0700) when missing.
// False, with a reason, when it cannot be created or a level exists with
// unsafe ownership or permissions or as a symlink.
bool EnsureUserPortDirectory(std::string* error = nullptr);

// Registers `device` (a terminal device) as COM<number>, replacing an entry
// whose device is gone (left by a program that died). Registering the device
// a name already points at succeeds. False, with a reason, when the name is
// taken by a live entry, the device is no terminal, or the directory is unsafe.
bool RegisterVirtualPort(int number, const std::string& device, std::string* error = nullptr);

// Removes COM<number> if it still points at `device`.
void UnregisterVirtualPort(int number, const std::string& device);
