// The per-user port directory (POSIX): programs such as the device simulator
// register a terminal device as COM<n> by a symlink named COM<n> in it.
//   $XDG_RUNTIME_DIR/modbus-tester/ports, or /tmp/modbus-tester-<uid>/ports
// The directory must belong to the user and be writable by nobody else; an
// entry is used only when it resolves to a terminal device.
#pragma once

#include <filesystem>
#include <string>

std::filesystem::path UserPortDirectory();

// Creates the directory (mode 0700) when missing. False, with a reason, when
// it cannot be created or exists with unsafe ownership or permissions.
bool EnsureUserPortDirectory(std::string* error = nullptr);

// Registers `device` as COM<number>, replacing an entry whose device is gone
// (left by a program that died). False, with a reason, when the name is taken
// by a live entry or the directory is unsafe.
bool RegisterVirtualPort(int number, const std::string& device, std::string* error = nullptr);

// Removes COM<number> if it still points at `device`.
void UnregisterVirtualPort(int number, const std::string& device);
